// The ANSI code page and walking ANSI strings character by character.
#pragma once

#include "platform/win32/windef.h"

#define CP_ACP 0
#define CP_UTF8 65001

// The program's ANSI code page: 65001 (UTF-8) on this system, unless the
// program set 932 (Japanese Shift-JIS) with SetProgramAnsiCodePage.
UINT GetACP(void);

// Not a platform call: sets the ANSI code page that CharNextA and the window
// texts use. Only 65001 and 932 are known; FALSE for any other.
BOOL SetProgramAnsiCodePage(UINT codepage);

// TRUE when `byte` starts a double-byte character in the ANSI code page
// (in UTF-8: a lead byte of a multi-byte sequence).
BOOL IsDBCSLeadByte(BYTE byte);

// The next character after `p`. Never moves past the terminating zero: at
// the terminator it returns `p`, and a character cut short by the terminator
// ends at the terminator.
LPSTR CharNextA(LPCSTR p);

// The user interface's language.
typedef WORD LANGID;
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((LANGID)((((WORD)(sub)) << 10) | (WORD)(primary)))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)

// English when the locale asks for it (the first of LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG that is set begins with "en"); Japanese otherwise.
LANGID GetUserDefaultUILanguage(void);

// Not a platform call: the rule above for the four variables' values (null
// when one is not set).
LANGID UiLanguageOfLocale(const char* language, const char* lc_all, const char* lc_messages, const char* lang);

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

// The file-open and file-save common dialogs.
#pragma once

#include <cstddef>

#include "platform/win32/winuser.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter; // pairs of description and pattern ("*.bmp;*.dib"), double-null-terminated
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex; // 1-based; 0 picks the first pair
    LPSTR lpstrFile;    // in: a file name to start with, or empty; out: the full path
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt; // save: added (after a dot) to a name typed without an extension
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
typedef OPENFILENAMEA* LPOPENFILENAMEA;

// The structure without the members added in later versions. 76 on the
// 32-bit platform, which is also accepted.
#define OPENFILENAME_SIZE_VERSION_400A ((DWORD)offsetof(OPENFILENAMEA, pvReserved))

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_BUFFERTOOSMALL 0x3003
#define FNERR_INVALIDFILENAME 0x3002

// TRUE when the user chose a file: its full path, zero-terminated, in
// lpstrFile. FALSE on cancel (CommDlgExtendedError 0) or failure (a code;
// FNERR_BUFFERTOOSMALL with the needed size in the first two bytes).
BOOL GetOpenFileNameA(LPOPENFILENAMEA lpofn);
// The same for the file to write: the file need not exist; with
// OFN_OVERWRITEPROMPT the dialog asks before an existing file is chosen.
BOOL GetSaveFileNameA(LPOPENFILENAMEA lpofn);
DWORD CommDlgExtendedError(void);
#define GetOpenFileName GetOpenFileNameA
#define GetSaveFileName GetSaveFileNameA

// Files dropped on a window (SHELL32): a window that accepts files
// (DragAcceptFiles, or WS_EX_ACCEPTFILES) gets WM_DROPFILES with an HDROP
// in wParam when files are dropped on it or on a child that does not accept
// them itself. The receiver reads the names and frees the handle with
// DragFinish.
#pragma once

#include "platform/win32/winuser.h"

struct HDROP__;
typedef HDROP__* HDROP;

void DragAcceptFiles(HWND hWnd, BOOL fAccept);
// iFile 0xFFFFFFFF: the number of files. lpszFile null: the length of name
// iFile without its terminator. Otherwise copies at most cch - 1 bytes of
// the name and a terminator; the bytes copied. 0 for a name that is not
// there. Names are the file system's bytes, as GetOpenFileNameA gives them.
UINT DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch);
// Where the files were dropped, in the receiver's client coordinates; TRUE
// when that is inside its client area.
BOOL DragQueryPoint(HDROP hDrop, POINT* ppt);
void DragFinish(HDROP hDrop);
#define DragQueryFile DragQueryFileA

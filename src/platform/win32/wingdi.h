// The little of GDI the program uses: reading what a window shows into a
// 32-bit DIB section. GetDC gives a window's client area; BitBlt with
// SRCCOPY copies from it into a bitmap selected into a memory DC. A window
// the software Direct3D device presents into shows its last presented
// frame, which is read as it was presented (no frame is drawn for it).
// Only 32-bit BI_RGB DIB sections exist here.
#pragma once

#include "platform/win32/winuser.h"

typedef void* HGDIOBJ;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // positive: rows bottom first; negative: top first
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

#define BI_RGB 0L
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020u

HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// A bitmap whose pixels the caller reads and writes at *ppvBits: rows of
// width DWORDs 0x00RRGGBB (blue byte first), no padding. hSection must be
// NULL.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection, DWORD offset);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL DeleteObject(HGDIOBJ ho);
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);

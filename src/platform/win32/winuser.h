// Windows, dialogs, controls, messages, the message loop, accelerators,
// message boxes and module resources, as the program uses them. Implemented
// on Qt 6 Widgets (varnel_win32); the names, values and behaviour are the
// platform's unless a comment says otherwise.
#pragma once

#include "platform/win32/windef.h"
#include "platform/win32/winnls.h"

#define WINAPI
#define CALLBACK

struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HICON__;
typedef HICON__* HICON;
struct HACCEL__;
typedef HACCEL__* HACCEL;
struct HDC__;
typedef HDC__* HDC;
struct HMENU__;
typedef HMENU__* HMENU;
struct HFONT__;
typedef HFONT__* HFONT;
typedef short SHORT;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))

// ---- Resources --------------------------------------------------------
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

// Not a platform structure. There is no resource section here: the program
// hands its module's resources over once at start with SetModuleResources.
//   RT_DIALOG:      data is a `const DialogTemplate*` (dialog_template.h), size sizeof(DialogTemplate)
//   RT_ACCELERATOR: data is an array of ACCEL, size its byte size; an entry
//                   whose fVirt has ACCEL_END_OF_TABLE ends it early
//   RT_ICON / RT_GROUP_ICON: data is an image file (ICO with 8- or 32-bit
//                   or PNG images, or PNG/BMP), size its byte size
struct RESOURCE_ENTRY {
    LPCSTR type;
    LPCSTR name; // MAKEINTRESOURCE(id) or a name (compared without case)
    const void* data;
    DWORD size;
};
typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

// Not a platform call: makes `entries` (kept by pointer, not copied) the
// resources of the program's module, GetModuleHandleA(NULL).
void SetModuleResources(const RESOURCE_ENTRY* entries, UINT count);

HMODULE GetModuleHandleA(LPCSTR lpModuleName); // NULL: the program; any name: NULL
HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);

#define IDI_APPLICATION MAKEINTRESOURCE(32512)
#define IDI_ERROR MAKEINTRESOURCE(32513)
HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
#define LoadIcon LoadIconA

// ---- Accelerators -----------------------------------------------------
#define FVIRTKEY 0x01
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10
#define ACCEL_END_OF_TABLE 0x80 // the flag that closes a table in a resource

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
typedef ACCEL* LPACCEL;

HACCEL LoadAcceleratorsA(HINSTANCE hInstance, LPCSTR lpTableName);
#define LoadAccelerators LoadAcceleratorsA
HACCEL CreateAcceleratorTableA(const ACCEL* paccel, int cAccel);
BOOL DestroyAcceleratorTable(HACCEL hAccel);

// ---- Messages ---------------------------------------------------------
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_NEXTDLGCTL 0x0028
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_NOTIFY 0x004E
#define WM_CONTEXTMENU 0x007B
#define WM_GETICON 0x007F
#define WM_SETICON 0x0080
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_NCHITTEST 0x0084
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MOUSEWHEEL 0x020A
#define WM_SIZING 0x0214
#define WM_CAPTURECHANGED 0x0215
#define WM_MOUSELEAVE 0x02A3
#define WM_DROPFILES 0x0233
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_CHAR carries the UTF-16 code unit of the typed character here.

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define WMSZ_LEFT 1
#define WMSZ_RIGHT 2
#define WMSZ_TOP 3
#define WMSZ_TOPLEFT 4
#define WMSZ_TOPRIGHT 5
#define WMSZ_BOTTOM 6
#define WMSZ_BOTTOMLEFT 7
#define WMSZ_BOTTOMRIGHT 8

#define SC_CLOSE 0xF060
#define ICON_SMALL 0
#define ICON_BIG 1

#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_THUMBPOSITION 4
#define SB_ENDSCROLL 8

// ---- Styles -----------------------------------------------------------
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_ACCEPTFILES 0x00000010L
#define WS_EX_CLIENTEDGE 0x00000200L

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_CONTROL 0x400L
#define DS_CENTER 0x800L

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_BLACKRECT 0x00000004L
#define SS_TYPEMASK 0x0000001FL
#define SS_NOTIFY 0x00000100L

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_GROUPBOX 0x00000007L
#define BS_TYPEMASK 0x0000000FL

#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_PASSWORD 0x0020L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_NUMBER 0x2000L

#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define BM_CLICK 0x00F5
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_LIMITTEXT 0x00C5
#define EM_SETREADONLY 0x00CF

// A drop-down list of texts (the "ComboBox" class with CBS_DROPDOWNLIST).
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBN_SELCHANGE 1
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E

#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// ---- Window data, placement, painting ---------------------------------
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define GWL_ID GWLP_ID
#define GWL_USERDATA GWLP_USERDATA
#define GWL_WNDPROC GWLP_WNDPROC
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

// Window classes built in here: "Static", "Button", "Edit" and
// "msctls_updown32" (UPDOWN_CLASSA in commctrl.h). Coordinates in pixels.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y, int nWidth,
                     int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL IsWindowVisible(HWND hWnd);
BOOL IsWindowEnabled(HWND hWnd);
BOOL EnableWindow(HWND hWnd, BOOL bEnable);
HWND GetParent(HWND hWnd);
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hWnd);

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex);
LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG GetWindowLongA(HWND hWnd, int nIndex);
LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
#define GetWindowLongPtr GetWindowLongPtrA
#define SetWindowLongPtr SetWindowLongPtrA

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int nExitCode);
#define SendMessage SendMessageA
#define PostMessage PostMessageA
#define SendDlgItemMessage SendDlgItemMessageA

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString);
int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
int GetWindowTextLengthA(HWND hWnd);
BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
#define SetWindowText SetWindowTextA

BOOL GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL ScreenToClient(HWND hWnd, POINT* lpPoint);
BOOL ClientToScreen(HWND hWnd, POINT* lpPoint);
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL IsIconic(HWND hWnd);

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
BOOL ValidateRect(HWND hWnd, const RECT* lpRect);
BOOL UpdateWindow(HWND hWnd);
HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);

HWND SetFocus(HWND hWnd);
HWND GetFocus(void);

// ---- Dialogs ----------------------------------------------------------
struct DialogTemplate;
HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam);
HWND CreateDialogIndirectParamA(HINSTANCE hInstance, const DialogTemplate* lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam);
#define CreateDialogParam CreateDialogParamA
// A modal dialog: its owner takes no input until the dialog procedure calls
// EndDialog, whose result this returns (-1 when the dialog cannot be made;
// IDCANCEL when the session ends first, and at once once it has ended).
INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, const DialogTemplate* lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam);
BOOL EndDialog(HWND hDlg, INT_PTR nResult);
BOOL MapDialogRect(HWND hDlg, LPRECT lpRect);
HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious);

// ---- Message loop -----------------------------------------------------
// What every WM_NOTIFY points to first: who sends it and why.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
    DWORD lPrivate; // the layer's own: which key event a keyboard message came from
};
typedef MSG* LPMSG;

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Keyboard input reaches the program only through the queue: a key pressed
// in any of the program's windows becomes WM_KEYDOWN/WM_KEYUP for the window
// with the focus, and the window's widget sees the key only when the message
// is dispatched to a window procedure that passes it on (DefWindowProc and
// the control classes do). So a key that TranslateAccelerator or
// IsDialogMessage takes never reaches the focused field.
BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
BOOL TranslateMessage(const MSG* lpMsg);
LRESULT DispatchMessageA(const MSG* lpMsg);
int TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg);
BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg);
SHORT GetKeyState(int nVirtKey);
#define GetMessage GetMessageA
#define PeekMessage PeekMessageA
#define DispatchMessage DispatchMessageA
#define TranslateAccelerator TranslateAcceleratorA
#define IsDialogMessage IsDialogMessageA

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F4 0x73

// ---- Mouse ------------------------------------------------------------
// Mouse input comes through the queue too. The window under the pointer is
// asked WM_NCHITTEST; HTTRANSPARENT (a static control without SS_NOTIFY)
// passes the pointer on to its parent. Button and move messages carry the
// point in client coordinates, WM_MOUSEWHEEL and WM_CONTEXTMENU in screen
// coordinates. A move waiting in the queue is replaced by the next move of
// the same window and buttons, so a busy window sees where the pointer is
// now rather than every place it has been. DefWindowProc turns
// WM_RBUTTONUP into WM_CONTEXTMENU and hands WM_CONTEXTMENU and
// WM_MOUSEWHEEL of a child window to its parent. The wheel goes to the
// window under the pointer.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010

#define WHEEL_DELTA 120
#define GET_WHEEL_DELTA_WPARAM(w) ((short)HIWORD(w))
#define GET_KEYSTATE_WPARAM(w) (LOWORD(w))

#define HTTRANSPARENT (-1)
#define HTNOWHERE 0
#define HTCLIENT 1

// While a window holds the capture, every mouse message goes to it,
// wherever the pointer is. The window that loses it gets WM_CAPTURECHANGED
// (lParam: the new holder or NULL).
HWND SetCapture(HWND hWnd);
BOOL ReleaseCapture(void);
HWND GetCapture(void);

// A window that asks with TME_LEAVE gets WM_MOUSELEAVE once, when the
// pointer next leaves it; it asks again to hear of the next time.
#define TME_LEAVE 0x00000002
typedef struct tagTRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
} TRACKMOUSEEVENT, *LPTRACKMOUSEEVENT;
BOOL TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack);

// ---- Menus ------------------------------------------------------------
#define MF_STRING 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_SEPARATOR 0x00000800L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MFT_RADIOCHECK 0x00000200L

#define TPM_LEFTALIGN 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L

HMENU CreatePopupMenu(void);
// With MF_POPUP, uIDNewItem is a menu made by CreatePopupMenu: it opens from
// the item and is destroyed with the menu it was appended to.
BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
BOOL DestroyMenu(HMENU hMenu);
// MF_CHECKED or MF_UNCHECKED on one item, found by its id (MF_BYCOMMAND,
// also in the menus that open from the items) or by its place
// (MF_BYPOSITION); the item's previous state, or (DWORD)-1 when none is there.
DWORD CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck);
// Checks `check` with a radio mark and unchecks the other items from
// `first` to `last` (ids or places, as uFlags says); FALSE when `check` is
// not there.
BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT uFlags);
// Modal. With TPM_RETURNCMD the chosen item's id (0 when the menu was
// dismissed); otherwise the choice is posted to hWnd as WM_COMMAND and the
// result is non-zero when something was chosen. x, y in screen coordinates.
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd, const RECT* prcRect);
#define AppendMenu AppendMenuA

// ---- Cursors ----------------------------------------------------------
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;
#define IDC_ARROW MAKEINTRESOURCE(32512)
#define IDC_WAIT MAKEINTRESOURCE(32514)

// The system's cursors only (hInstance NULL).
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
#define LoadCursor LoadCursorA
// The pointer takes this shape over every window of the program until the
// next call (NULL hides it; the arrow is the windows' own shape); the
// previous one is returned. The new shape is shown at once, also when the
// caller goes on working without returning to the message loop.
HCURSOR SetCursor(HCURSOR hCursor);

// ---- Message boxes ----------------------------------------------------
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_APPLMODAL 0x00000000L
#define MB_TASKMODAL 0x00002000L

// Modal: the owner's window takes no input until the box is answered.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
#define MessageBox MessageBoxA

// ---- Program entry ----------------------------------------------------
// Not a platform call: starts the window system (Qt) for the program, with
// its command line. The window functions start it on first use otherwise.
void InitWindowSystem(int argc, char** argv);

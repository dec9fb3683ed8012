// The registry: keys and values of the current user's and the machine's hive,
// kept in plain text files.
//
// A key "Software\A\B" of HKEY_CURRENT_USER is the file A/B.reg under
// $XDG_CONFIG_HOME (default ~/.config); the program's settings key
// "Software\kestrow\varnel.exe" is ~/.config/kestrow/varnel.exe.reg. Keys of
// HKEY_LOCAL_MACHINE are read the same way from the folders of
// $XDG_CONFIG_DIRS (default /etc/xdg), first match wins, and are never
// written: the machine-wide Direct3D key "Software\Direct3D" is
// /etc/xdg/Direct3D.reg. Only keys below "Software" exist.
//
// A file is the registry editor's text export (REGEDIT4) of its one key:
//
//     REGEDIT4
//
//     [HKEY_CURRENT_USER\Software\kestrow\varnel.exe]
//     "radius"=dword:00000064
//     "data_path"=hex(1):43,3a,5c,00,...
//
// REG_DWORD of 4 bytes as dword:, REG_BINARY as hex:, every other type as
// hex(N): with all of its bytes. Hand-written "name"="text" lines are read
// as REG_SZ too. A file that does not parse, or is unreadable, is a missing
// key. A flush or close replaces the file atomically.
#pragma once

#include "platform/win32/windef.h"
#include "platform/win32/winerror.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define READ_CONTROL 0x00020000L
#define KEY_READ 0x00020019L
#define KEY_WRITE 0x00020006L
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0x000F003FL

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Writes made through a key reach its file together, in one replacement,
// when the key is flushed or closed; until then the key's own queries see
// them. Either returns the result of that replacement.
LSTATUS RegFlushKey(HKEY hKey);
LSTATUS RegCloseKey(HKEY hKey);

// Not a platform call: the file that holds (or would hold) the key `subkey`
// of `root`, written into `path` (size bytes, zero-terminated). For
// HKEY_LOCAL_MACHINE the file that is read, or the first candidate when none
// exists. ERROR_MORE_DATA when the buffer is too small, ERROR_BAD_PATHNAME
// for a key that has no file.
LSTATUS RegGetKeyFileNameA(HKEY root, LPCSTR subkey, LPSTR path, DWORD size);

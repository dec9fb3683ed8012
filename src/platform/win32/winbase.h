// Files of KERNEL32 as the program uses them: a file opened for reading and
// mapped read-only as one block, plus the thread's last error.
//
// Paths are the file system's bytes, as GetOpenFileNameA delivers them.
// Only what reading a mapped file needs is here: CreateFileA opens existing
// files for reading (GENERIC_READ, OPEN_EXISTING), mappings are PAGE_READONLY
// and unnamed, views FILE_MAP_READ. Other requests fail with
// ERROR_INVALID_PARAMETER. The share mode is accepted but cannot keep other
// processes from writing: this system has no such locks.
#pragma once

#include "platform/win32/windef.h"
#include "platform/win32/winerror.h"

typedef size_t SIZE_T;
typedef DWORD* LPDWORD;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u

#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u

// Opens an existing file (not a folder) for reading. INVALID_HANDLE_VALUE on
// failure: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED
// (also for a folder), ERROR_INVALID_PARAMETER, ...
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);

// Low 32 bits of the file's size; the high 32 bits go to *lpFileSizeHigh
// when it is given. INVALID_FILE_SIZE with a last error on failure (with a
// high part, INVALID_FILE_SIZE is also a valid low part: check GetLastError).
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

// An unnamed read-only mapping of the whole file (maximum size 0) or of its
// first bytes. Null on failure; an empty file cannot be mapped
// (ERROR_FILE_INVALID). The mapping keeps the file open after the file's
// handle is closed.
HANDLE CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName);

// A read-only view of the mapping from the offset (a multiple of 65536) on,
// `dwNumberOfBytesToMap` bytes or (0) up to the mapping's end. Null on
// failure. The view stays valid after the mapping's handle is closed, until
// UnmapViewOfFile.
LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                     SIZE_T dwNumberOfBytesToMap);

// Ends a view made by MapViewOfFile; FALSE for any other address.
BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);
// This layer's own: whether the file under a view shrank while it was
// mapped, so that its lost pages read as zeros; FALSE for any other address.
BOOL MappedViewChanged(LPCVOID lpBaseAddress);

// Closes a file or mapping handle; FALSE (ERROR_INVALID_HANDLE) for a handle
// that is not open.
BOOL CloseHandle(HANDLE hObject);

// The calling thread's last error, set by the functions above on failure.
DWORD GetLastError(void);

// Milliseconds since some fixed moment, wrapping after 49.7 days.
DWORD GetTickCount(void);
void SetLastError(DWORD dwErrCode);

// ---- Attributes and full paths ------------------------------------------
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u // here: anything neither a folder nor a regular file

// INVALID_FILE_ATTRIBUTES when the path names nothing (or cannot be looked
// at); FILE_ATTRIBUTE_DIRECTORY for a folder; FILE_ATTRIBUTE_NORMAL or
// FILE_ATTRIBUTE_READONLY for a regular file; FILE_ATTRIBUTE_DEVICE for the
// rest (devices, pipes, sockets). Symbolic links are followed.
DWORD GetFileAttributesA(LPCSTR lpFileName);

// The full path of a file name, relative ones taken from the current folder,
// naming the file the system opens for it: the folder part, where it exists,
// with symbolic links, "." and ".." resolved on the disk. The result's length without its
// terminator when it fits in nBufferLength bytes; otherwise the size needed
// with the terminator, and the buffer untouched; 0 on failure. lpFilePart,
// when given, points at the name after the last '/' in the buffer.
DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);

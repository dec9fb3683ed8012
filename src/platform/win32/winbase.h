// Files and paths, as the program uses them.
#pragma once

#include "platform/win32/windef.h"

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_DEVICE 0x00000040 // here: anything neither a folder nor a regular file
#define FILE_ATTRIBUTE_NORMAL 0x00000080

// INVALID_FILE_ATTRIBUTES when the path names nothing (or cannot be looked
// at); FILE_ATTRIBUTE_DIRECTORY for a folder; FILE_ATTRIBUTE_NORMAL or
// FILE_ATTRIBUTE_READONLY for a regular file; FILE_ATTRIBUTE_DEVICE for the
// rest (devices, pipes, sockets). Symbolic links are followed.
DWORD GetFileAttributesA(LPCSTR lpFileName);

// The full path of a file name, relative ones taken from the current folder,
// with "." and ".." resolved as text. The result's length without its
// terminator when it fits in nBufferLength bytes; otherwise the size needed
// with the terminator, and the buffer untouched; 0 on failure. lpFilePart,
// when given, points at the name after the last '/' in the buffer.
DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);

// File attributes and full paths on the POSIX file system.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/win32/winbase.h"

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    struct stat info;
    if (!lpFileName || !*lpFileName || stat(lpFileName, &info) != 0)
        return INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISREG(info.st_mode))
        return FILE_ATTRIBUTE_DEVICE;
    return access(lpFileName, W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart)
{
    if (!lpFileName || !*lpFileName)
        return 0;
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(lpFileName, error);
    if (error)
        return 0;
    std::string text = full.lexically_normal().string();
    if (text.size() + 1 > nBufferLength || !lpBuffer)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    if (lpFilePart) {
        char* slash = std::strrchr(lpBuffer, '/');
        *lpFilePart = slash ? slash + 1 : lpBuffer;
    }
    return static_cast<DWORD>(text.size());
}

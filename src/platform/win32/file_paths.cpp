// File attributes and full paths on the POSIX file system.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

namespace {

// The full path that names the file the system opens for `name`. The folders
// on the way are resolved on the disk (realpath), as far as they exist:
// there ".." after a symbolic link means the link target's parent, which
// removing ".." as text would get wrong. What follows a folder that does not
// exist is kept as given, less "." and empty parts, so that it fails to open
// just as `name` does. The last part, the file, is never resolved.
bool full_path(const char* name, std::string* full)
{
    std::error_code error;
    const std::string text = std::filesystem::absolute(name, error).string();
    if (error)
        return false;
    std::vector<std::string> parts;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    std::string resolved_so_far = "/";
    size_t next = 0;
    char resolved[PATH_MAX];
    for (; next < parts.size() && (next + 1 < parts.size() || parts[next] == ".."); ++next) {
        const std::string candidate = resolved_so_far + (resolved_so_far.back() == '/' ? "" : "/") + parts[next];
        if (!::realpath(candidate.c_str(), resolved))
            break;
        resolved_so_far = resolved;
    }
    *full = resolved_so_far;
    for (; next < parts.size(); ++next)
        *full += (full->back() == '/' ? "" : "/") + parts[next];
    return true;
}

} // namespace

DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart)
{
    if (!lpFileName || !*lpFileName)
        return 0;
    std::string text;
    if (!full_path(lpFileName, &text))
        return 0;
    if (text.size() + 1 > nBufferLength || !lpBuffer)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    if (lpFilePart) {
        char* slash = std::strrchr(lpBuffer, '/');
        *lpFilePart = slash ? slash + 1 : lpBuffer;
    }
    return static_cast<DWORD>(text.size());
}

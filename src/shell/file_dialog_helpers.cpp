#include "shell/file_dialog_helpers.h"

#include <cstring>

namespace {

OPENFILENAMEA dialog_request(HWND owner, const char* title, const char* initial_dir, char* path, DWORD size,
                             const char* filter)
{
    std::memset(path, 0, size); // the dialog starts without a file name
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = size;
    ofn.lpstrInitialDir = initial_dir && *initial_dir ? initial_dir : nullptr;
    ofn.lpstrTitle = title;
    return ofn;
}

// The last separator of the string, or null.
const char* last_separator(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p; p = CharNextA(p))
        if (*p == '/')
            last = p;
    return last;
}

} // namespace

BOOL open_file_dialog(HWND owner, const char* title, const char* initial_dir, char* path, DWORD size,
                      const char* filter)
{
    OPENFILENAMEA ofn = dialog_request(owner, title, initial_dir, path, size, filter);
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    return GetOpenFileNameA(&ofn);
}

BOOL save_file_dialog(HWND owner, const char* title, const char* initial_dir, char* path, DWORD size,
                      const char* filter, const char* default_ext)
{
    OPENFILENAMEA ofn = dialog_request(owner, title, initial_dir, path, size, filter);
    ofn.lpstrDefExt = default_ext;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetSaveFileNameA(&ofn);
}

const char* file_name_of(const char* path)
{
    const char* last = last_separator(path);
    return last ? last + 1 : path;
}

void cut_to_folder(char* path)
{
    if (const char* last = last_separator(path))
        path[last - path + 1] = '\0';
}

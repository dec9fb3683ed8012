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

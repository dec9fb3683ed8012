#include "texture/image_file.h"

#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "platform/win32/winbase.h"
#include "texture/decoders/decoded_image.h"
#include "texture/image_file_test_hook.h"

namespace {

bool (*g_after_map)(void*) = nullptr;
void* g_after_map_context = nullptr;

} // namespace

void image_file_test_after_map(bool (*after_map)(void* context), void* context)
{
    g_after_map = after_map;
    g_after_map_context = context;
}

MappedImageFile::~MappedImageFile()
{
    if (view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
    if (file_)
        CloseHandle(file_);
}

bool MappedImageFile::changed() const { return view_ && MappedViewChanged(view_); }

HRESULT MappedImageFile::open(const char* path)
{
    if (!path)
        return D3DERR_INVALIDCALL;
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_INVALID_IMAGE_DATA;
    file_ = file;
    // The high part too: a file of 4 GiB or more must not pass for its low
    // 32 bits of size.
    DWORD size_high = 0;
    const DWORD size_low = GetFileSize(file_, &size_high);
    if (size_low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return E_INVALID_IMAGE_DATA;
    const uint64_t size = (uint64_t(size_high) << 32) | size_low;
    if (size == 0)
        return S_OK; // no bytes: the caller refuses them
    if (size > SIZE_MAX)
        return E_INVALID_IMAGE_DATA;
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping_)
        return E_INVALID_IMAGE_DATA;
    view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
    if (!view_)
        return E_INVALID_IMAGE_DATA;
    if (g_after_map)
        g_after_map(g_after_map_context);
    size_ = static_cast<size_t>(size);
    return S_OK;
}

// An image file mapped read-only as one block, as the texture loader reads
// it: decoders may leave pixels inside the mapping, so it stays mapped for
// as long as this record lives.
#pragma once

#include <cstddef>

#include "platform/win32/windef.h"

class MappedImageFile {
public:
    MappedImageFile() = default;
    MappedImageFile(const MappedImageFile&) = delete;
    MappedImageFile& operator=(const MappedImageFile&) = delete;
    ~MappedImageFile();

    // S_OK with the file's bytes in bytes() and size(); an empty file has no
    // bytes (null, 0). D3DERR_INVALIDCALL for a null path; E_INVALID_IMAGE_DATA
    // when the file cannot be opened, sized or mapped.
    HRESULT open(const char* path);

    const void* bytes() const { return view_; }
    size_t size() const { return size_; }
    // The file shrank while it was mapped: its bytes are not the file's.
    bool changed() const;

private:
    HANDLE file_ = nullptr;
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    size_t size_ = 0;
};

// load_texture_file: the file mapped, decoded, its texture's size and format
// chosen, the texture created and every level filled.
#include "texture/texture_loader.h"

#include <cstdio>

#include "texture/decoders/decoded_image.h"
#include "texture/format_choice.h"
#include "texture/image_file.h"
#include "platform/d3d9/interface_ptr.h"
#include "texture/texture_fill.h"

namespace {

// The choices of the general loader. The viewer leaves all of them at their
// defaults; no image description or palette is handed back, since no caller
// asks for them, only why a file was refused.
struct TextureLoadOptions {
    UINT width = TEXTURE_DEFAULT; // smallest power of two not below the image's
    UINT height = TEXTURE_DEFAULT;
    UINT depth = 1;
    UINT mip_levels = TEXTURE_DEFAULT; // the full chain within the device's limits
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN; // from the image
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = 0xFFFFFFFFu;     // level 0: triangle with ordered dither
    DWORD mip_filter = 0xFFFFFFFFu; // further levels: 2 x 2 box
    D3DCOLOR color_key = 0;
    D3DRESOURCETYPE resource_type = D3DRTYPE_TEXTURE;
    DecodeReason* reason = nullptr; // receives why the decoders refused the file
};

constexpr DWORD kDefaultFilter = TEXTURE_FILTER_TRIANGLE | TEXTURE_FILTER_DITHER;
constexpr DWORD kDefaultMipFilter = TEXTURE_FILTER_BOX;

DWORD filter_kind(DWORD filter) { return filter & 0xFFFF; }

// One level of the file as the texture's levels are filled from it: its
// pixels read in the format the palette treatment chose, with the palette
// in use, and of a volume only the first slice.
DecodedImage level_source(const DecodedImage& level, D3DFORMAT pixel_format, const BYTE* palette)
{
    DecodedImage source = level;
    source.format = pixel_format;
    const bool palettised = pixel_format == D3DFMT_P8 || pixel_format == D3DFMT_A8P8;
    source.palette = level.palette || palettised ? palette : nullptr;
    source.depth = 1;
    source.region.back = source.region.front + 1;
    source.next_level = nullptr;
    source.next_face = nullptr;
    return source;
}

HRESULT fill_level(IDirect3DTexture9* texture, UINT level, const DecodedImage& source, DWORD filter, D3DCOLOR color_key)
{
    IDirect3DSurface9* raw = nullptr;
    const HRESULT hr = texture->GetSurfaceLevel(level, &raw);
    InterfacePtr<IDirect3DSurface9> surface(raw);
    if (FAILED(hr))
        return hr;
    // The Windows debug runtime would be muted while locked levels are
    // written; it does not exist here.
    return load_surface_from_image(surface.get(), &source, filter, color_key);
}

// The general loader over the file's bytes. Missing or empty bytes are
// decode_image's to refuse, with its reason.
HRESULT load_texture_from_bytes(IDirect3DDevice9* device, const void* bytes, size_t size,
                                const TextureLoadOptions& options, IDirect3DTexture9** texture_out)
{
    if (!device || !texture_out)
        return D3DERR_INVALIDCALL;
    const DWORD filter = options.filter == 0xFFFFFFFFu ? kDefaultFilter : options.filter;
    const DWORD mip_filter = options.mip_filter == 0xFFFFFFFFu ? kDefaultMipFilter : options.mip_filter;

    OwnedImage decoded;
    HRESULT hr = decoded.decode(bytes, size, TRUE, options.reason);
    if (FAILED(hr))
        return hr;
    UINT file_levels = 1;
    for (const DecodedImage* l = decoded->next_level; l; l = l->next_level)
        ++file_levels;

    UINT width = texture_extent(options.width, decoded->width);
    UINT height = texture_extent(options.height, decoded->height);
    UINT depth = texture_extent(options.depth, decoded->depth);
    D3DCOLOR color_key = options.color_key;
    BYTE palette[1024];
    const D3DFORMAT pixel_format = treat_palette(*decoded, options.format, &color_key, palette);
    D3DFORMAT format = format_before_device(pixel_format, options.format, color_key, palette, options.pool);

    UINT levels = options.mip_levels;
    hr = check_texture_requirements(device, &width, &height, &depth, &levels, options.usage, &format, options.pool,
                                    options.resource_type);
    if (FAILED(hr))
        return hr;

    IDirect3DTexture9* created = nullptr;
    hr = device->CreateTexture(width, height, levels, options.usage, format, options.pool, &created, nullptr);
    InterfacePtr<IDirect3DTexture9> texture(created);
    if (FAILED(hr))
        return hr;
    if (!texture)
        return E_FAIL;

    const UINT texture_levels = texture->GetLevelCount();
    const DecodedImage* file_level = decoded.get();
    DecodedImage last_source{};
    UINT loaded = 0;
    for (; loaded < file_levels && loaded < texture_levels; ++loaded, file_level = file_level->next_level) {
        last_source = level_source(*file_level, pixel_format, palette);
        hr = fill_level(texture.get(), loaded, last_source, filter, color_key);
        if (FAILED(hr))
            return hr;
    }
    if (loaded < texture_levels && filter_kind(filter) != TEXTURE_FILTER_NONE) {
        const DWORD mip_kind = filter_kind(mip_filter);
        if (mip_kind == TEXTURE_FILTER_POINT || mip_kind == TEXTURE_FILTER_BOX) {
            hr = generate_mip_levels(texture.get(), loaded - 1, mip_filter);
        } else {
            for (UINT level = loaded; SUCCEEDED(hr) && level < texture_levels; ++level)
                hr = fill_level(texture.get(), level, last_source, filter, color_key);
        }
        if (FAILED(hr))
            return hr;
    }
    *texture_out = texture.release();
    return S_OK;
}

} // namespace

HRESULT load_texture_file(IDirect3DDevice9* device, const char* path, IDirect3DTexture9** texture_out,
                          DecodeReason* reason)
{
    if (reason)
        reason->text[0] = '\0';
    // The mapping outlives the decoded image: decoders may leave pixels in it.
    MappedImageFile file;
    const HRESULT hr = file.open(path);
    if (FAILED(hr))
        return hr;
    TextureLoadOptions options;
    options.reason = reason;
    const HRESULT loaded = load_texture_from_bytes(device, file.bytes(), file.size(), options, texture_out);
    if (SUCCEEDED(loaded) && file.changed()) {
        (*texture_out)->Release();
        *texture_out = nullptr;
        if (reason)
            std::snprintf(reason->text, sizeof reason->text, "the file changed while it was read");
        return E_INVALID_IMAGE_DATA;
    }
    return loaded;
}

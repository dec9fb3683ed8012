// varnel-cli texture: loads an image file into a texture as the viewer does,
// on the software device, and prints what came out; optionally writes every
// level's texels.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/offscreen_device.h"
#include "texture/format_choice.h"
#include "platform/d3d9/interface_ptr.h"
#include "texture/texture_loader.h"
#include "tools/commands.h"
#include "tools/image_commands.h"

namespace {

// Bytes of one row of texels (or of 4 x 4 blocks) and the number of such rows.
void level_layout(const D3DSURFACE_DESC& desc, size_t* row_bytes, UINT* rows)
{
    const TexelFormatFacts& facts = *texel_format_facts(desc.Format);
    *row_bytes = facts.packed_row_bytes(desc.Width);
    *rows = static_cast<UINT>(facts.unit_rows(desc.Height));
}

// Writes one level's rows, top row first, without the pitch's padding.
bool dump_level(IDirect3DTexture9* texture, UINT level, const std::string& path)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->GetLevelDesc(level, &desc)) ||
        FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) {
        std::fprintf(stderr, "varnel-cli: cannot read level %u\n", level);
        return false;
    }
    size_t row_bytes;
    UINT rows;
    level_layout(desc, &row_bytes, &rows);
    ReplacingFile out;
    if (!open_output(&out, path.c_str())) {
        texture->UnlockRect(level);
        cannot_write(path.c_str(), out.reason());
        return false;
    }
    errno = 0;
    bool ok = true;
    const auto* bits = static_cast<const BYTE*>(locked.pBits);
    for (UINT r = 0; ok && r < rows; ++r)
        ok = std::fwrite(bits + size_t(r) * locked.Pitch, 1, row_bytes, out.stream()) == row_bytes;
    texture->UnlockRect(level);
    if (!ok || !out.commit()) {
        cannot_write(path.c_str(), errno ? std::strerror(errno) : out.reason());
        return false;
    }
    return true;
}

bool dump_levels(IDirect3DTexture9* texture, const std::string& dir)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    for (UINT level = 0; level < texture->GetLevelCount(); ++level)
        if (!dump_level(texture, level, dir + "/level" + std::to_string(level) + ".raw"))
            return false;
    return true;
}

} // namespace

namespace {

// What texture's command line asks for.
struct TextureLine {
    std::optional<std::string> image_path, dump_dir;
};

// texture's options, one row each.
void declare_options(OptionTable& table, TextureLine* line)
{
    add_file_option(table, "--dump", "DIR", "every level's texels, as DIR/levelN.raw", &line->dump_dir);
    add_image_argument(table, &line->image_path);
}

} // namespace

std::string texture_help()
{
    OptionTable table("texture", kTextureUsage);
    TextureLine line;
    declare_options(table, &line);
    return table.help();
}

int texture_command(int argc, char** argv)
{
    OptionTable table("texture", kTextureUsage);
    TextureLine line;
    declare_options(table, &line);
    if (const std::string problem = table.parse(argc, argv); !problem.empty())
        return usage_error(kTextureUsage, problem);
    if (!line.image_path)
        return usage_error(kTextureUsage, "no image file given");
    const char* image_path = line.image_path->c_str();
    const char* dump_dir = line.dump_dir ? line.dump_dir->c_str() : nullptr;

    // The viewer's device, on a window that shows nothing.
    OffscreenDevice device(1, 1);
    if (FAILED(device.result()))
        return report_failure(device.result());

    IDirect3DTexture9* loaded = nullptr;
    DecodeReason reason{};
    HRESULT hr = load_texture_file(device.get(), image_path, &loaded, &reason);
    InterfacePtr<IDirect3DTexture9> texture(loaded);
    if (FAILED(hr))
        return report_failure(hr, &reason);
    D3DSURFACE_DESC desc;
    hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr))
        return report_failure(hr);

    if (dump_dir && !dump_levels(texture.get(), dump_dir))
        return 1;
    // The line says what was loaded and written, so it comes after the files.
    char unknown[16];
    const char* name = printed_format_name(desc.Format, unknown);
    std::printf("format=%s width=%u height=%u levels=%u\n", name, desc.Width, desc.Height,
                static_cast<unsigned>(texture->GetLevelCount()));
    return 0;
}

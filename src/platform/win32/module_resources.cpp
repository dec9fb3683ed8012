// The program module's resources: dialogs, accelerator tables and icons.
#include <QApplication>
#include <QImage>
#include <QStyle>

#include <cstring>
#include <map>
#include <span>

#include "platform/win32/window_internal.h"

struct HINSTANCE__ {
    int unused;
};

namespace win32 {
namespace {

HINSTANCE__ g_program;
const RESOURCE_ENTRY* g_entries = nullptr;
UINT g_count = 0;

bool same_resource_name(LPCSTR a, LPCSTR b)
{
    if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b))
        return IS_INTRESOURCE(a) && IS_INTRESOURCE(b) && a == b;
    return strcasecmp(a, b) == 0;
}

const RESOURCE_ENTRY* find(HMODULE module, LPCSTR name, LPCSTR type)
{
    if (module != &g_program || !name || !type)
        return nullptr;
    for (UINT i = 0; i < g_count; ++i)
        if (same_resource_name(g_entries[i].type, type) && same_resource_name(g_entries[i].name, name))
            return &g_entries[i];
    return nullptr;
}

uint32_t read_le(std::span<const unsigned char> b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

// One image of an icon file: a PNG, or a device-independent bitmap of twice
// the icon's height (the colour rows, then the 1-bit transparency mask).
QImage decode_icon_image(std::span<const unsigned char> image)
{
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (image.size() >= 8 && std::memcmp(image.data(), png, 8) == 0)
        return QImage::fromData(image.data(), static_cast<int>(image.size()), "PNG");
    if (image.size() < 40 || read_le(image, 0, 4) != 40)
        return QImage();
    int32_t width = static_cast<int32_t>(read_le(image, 4, 4));
    int32_t double_height = static_cast<int32_t>(read_le(image, 8, 4));
    uint32_t bits = read_le(image, 14, 2);
    uint32_t compression = read_le(image, 16, 4);
    uint32_t colours_used = read_le(image, 32, 4);
    if (width <= 0 || width > 256 || double_height <= 0 || double_height > 512 || compression != 0 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
        return QImage();
    int height = double_height / 2;
    size_t palette = bits <= 8 ? (colours_used && colours_used <= (1u << bits) ? colours_used : (1u << bits)) : 0;
    size_t colour_stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    size_t mask_stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    size_t colour_at = 40 + palette * 4;
    size_t mask_at = colour_at + colour_stride * static_cast<size_t>(height);
    if (mask_at > image.size())
        return QImage();
    bool has_mask = mask_at + mask_stride * static_cast<size_t>(height) <= image.size();

    QImage out(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        size_t row = colour_at + colour_stride * static_cast<size_t>(height - 1 - y);
        size_t mask_row = mask_at + mask_stride * static_cast<size_t>(height - 1 - y);
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            uint32_t argb;
            size_t ux = static_cast<size_t>(x);
            if (bits <= 8) {
                size_t bit = ux * bits;
                unsigned index = (image[row + bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= palette)
                    index = 0;
                argb = 0xff000000u | (read_le(image, 40 + index * 4, 4) & 0xffffffu);
            } else if (bits == 24) {
                argb = 0xff000000u | read_le(image, row + ux * 3, 3);
            } else {
                argb = read_le(image, row + ux * 4, 4);
            }
            if (has_mask && bits != 32 && ((image[mask_row + ux / 8] >> (7 - ux % 8)) & 1))
                argb = 0;
            dst[x] = argb;
        }
    }
    return out;
}

QIcon decode_icon(std::span<const unsigned char> file)
{
    QIcon icon;
    if (file.size() >= 6 && read_le(file, 0, 2) == 0 && read_le(file, 2, 2) == 1) {
        uint32_t count = read_le(file, 4, 2);
        for (uint32_t i = 0; i < count; ++i) {
            size_t entry = 6 + 16 * static_cast<size_t>(i);
            if (entry + 16 > file.size())
                break;
            uint32_t size = read_le(file, entry + 8, 4);
            uint32_t offset = read_le(file, entry + 12, 4);
            if (offset > file.size() || size > file.size() - offset)
                continue;
            QImage image = decode_icon_image(file.subspan(offset, size));
            if (!image.isNull())
                icon.addPixmap(QPixmap::fromImage(image));
        }
        return icon;
    }
    QImage image = QImage::fromData(file.data(), static_cast<int>(std::min<size_t>(file.size(), INT32_MAX)));
    if (!image.isNull())
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

} // namespace
} // namespace win32

using namespace win32;

void SetModuleResources(const RESOURCE_ENTRY* entries, UINT count)
{
    g_entries = entries;
    g_count = entries ? count : 0;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) { return lpModuleName ? nullptr : &g_program; }

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    return reinterpret_cast<HRSRC>(const_cast<RESOURCE_ENTRY*>(find(hModule ? hModule : &g_program, lpName, lpType)));
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) { return hResInfo; }

LPVOID LockResource(HGLOBAL hResData)
{
    return hResData ? const_cast<void*>(static_cast<const RESOURCE_ENTRY*>(hResData)->data) : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC hResInfo)
{
    return hResInfo ? reinterpret_cast<const RESOURCE_ENTRY*>(hResInfo)->size : 0;
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    ensure_application();
    static auto* cache = new std::map<const RESOURCE_ENTRY*, HICON>;
    if (!hInstance) {
        static HICON standard = nullptr;
        if (!standard && (lpIconName == IDI_APPLICATION || lpIconName == IDI_ERROR))
            standard = new HICON__{QApplication::style()->standardIcon(QStyle::SP_DesktopIcon)};
        return lpIconName == IDI_APPLICATION || lpIconName == IDI_ERROR ? standard : nullptr;
    }
    const RESOURCE_ENTRY* entry = find(hInstance, lpIconName, RT_GROUP_ICON);
    if (!entry)
        entry = find(hInstance, lpIconName, RT_ICON);
    if (!entry || !entry->data)
        return nullptr;
    auto& slot = (*cache)[entry];
    if (!slot) {
        QIcon icon = decode_icon({static_cast<const unsigned char*>(entry->data), entry->size});
        if (icon.isNull())
            return nullptr;
        slot = new HICON__{icon};
    }
    return slot;
}

HACCEL LoadAcceleratorsA(HINSTANCE hInstance, LPCSTR lpTableName)
{
    static auto* cache = new std::map<const RESOURCE_ENTRY*, HACCEL>;
    const RESOURCE_ENTRY* entry = find(hInstance, lpTableName, RT_ACCELERATOR);
    if (!entry || !entry->data || entry->size < sizeof(ACCEL))
        return nullptr;
    auto& slot = (*cache)[entry];
    if (!slot) {
        slot = CreateAcceleratorTableA(static_cast<const ACCEL*>(entry->data),
                                       static_cast<int>(entry->size / sizeof(ACCEL)));
        if (slot)
            slot->from_resource = true;
    }
    return slot;
}

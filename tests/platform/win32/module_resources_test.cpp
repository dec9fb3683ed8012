#include <QIcon>
#include <QWidget>
#include <QImage>

#include <array>
#include <cstring>
#include <vector>

#include "win32_test_support.h"

namespace {

using namespace win32_test;

void put16(std::vector<unsigned char>& b, unsigned v)
{
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
}
void put32(std::vector<unsigned char>& b, unsigned v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// A 4 x 2 icon, top row red, blue, red, blue, bottom row blue, in 8 bits
// (palette index 1 red, 2 blue), 24 or 32 bits (alpha opaque); the mask
// makes the top-left pixel transparent, but a 32-bit icon has its alpha
// instead.
std::vector<unsigned char> tiny_icon(unsigned bits)
{
    std::vector<unsigned char> dib;
    put32(dib, 40);
    put32(dib, 4);
    put32(dib, 4); // twice the height: colours and mask
    put16(dib, 1);
    put16(dib, bits);
    for (int i = 0; i < 6; ++i)
        put32(dib, 0);
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            put32(dib, i == 1 ? 0x00ff0000u : i == 2 ? 0x000000ffu : 0);
    const uint32_t red = 0xff0000, blue = 0x0000ff;
    const std::array<std::array<uint32_t, 4>, 2> rows = {{{blue, blue, blue, blue}, {red, blue, red, blue}}};
    for (const auto& row : rows) // bottom first
        for (int x = 0; x < 4; ++x) {
            if (bits == 8)
                dib.push_back(row[x] == red ? 1 : 2);
            else
                for (unsigned byte = 0; byte < bits / 8; ++byte)
                    dib.push_back(byte < 3 ? (row[x] >> (8 * byte)) & 0xff : 0xff);
        }
    const unsigned char mask_bottom[4] = {0, 0, 0, 0}, mask_top[4] = {0x80, 0, 0, 0};
    dib.insert(dib.end(), mask_bottom, mask_bottom + 4);
    dib.insert(dib.end(), mask_top, mask_top + 4);

    std::vector<unsigned char> ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, 1);
    ico.push_back(4);
    ico.push_back(2);
    ico.push_back(0);
    ico.push_back(0);
    put16(ico, 1);
    put16(ico, bits);
    put32(ico, static_cast<unsigned>(dib.size()));
    put32(ico, 22);
    ico.insert(ico.end(), dib.begin(), dib.end());
    return ico;
}

const ACCEL kTable[] = {{FVIRTKEY, 'H', 1020}, {FVIRTKEY | ACCEL_END_OF_TABLE, 'X', 1025}};

TEST_F(WindowTest, TheModulesResourcesAreFoundByIdAndName)
{
    static const std::vector<unsigned char> icons[] = {tiny_icon(8), tiny_icon(24), tiny_icon(32)};
    static const std::vector<unsigned char> broken = {0, 0, 1, 0,    1,    0, 4, 2,  0, 0, 1,
                                                      0, 8, 0, 0xff, 0xff, 0, 0, 22, 0, 0, 0};
    const RESOURCE_ENTRY entries[] = {
        {RT_DIALOG, MAKEINTRESOURCE(102), &kMainTemplate, sizeof kMainTemplate},
        {RT_DIALOG, MAKEINTRESOURCE(103), &kPanelTemplate, sizeof kPanelTemplate},
        {RT_ACCELERATOR, "VARNEL_ACCELERATOR", kTable, sizeof kTable},
        {RT_GROUP_ICON, MAKEINTRESOURCE(101), icons[0].data(), static_cast<DWORD>(icons[0].size())},
        {RT_GROUP_ICON, MAKEINTRESOURCE(104), broken.data(), static_cast<DWORD>(broken.size())},
        {RT_GROUP_ICON, MAKEINTRESOURCE(124), icons[1].data(), static_cast<DWORD>(icons[1].size())},
        {RT_GROUP_ICON, MAKEINTRESOURCE(132), icons[2].data(), static_cast<DWORD>(icons[2].size())},
    };
    SetModuleResources(entries, 7);
    HINSTANCE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);

    HWND main = keep(CreateDialogParamA(self, MAKEINTRESOURCE(102), nullptr, recording_proc, 0));
    ASSERT_NE(main, nullptr);
    HWND panel = CreateDialogParamA(self, MAKEINTRESOURCE(103), main, recording_proc, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_NE(GetDlgItem(panel, 1017), nullptr);
    EXPECT_EQ(CreateDialogParamA(self, MAKEINTRESOURCE(105), nullptr, recording_proc, 0), nullptr);

    HACCEL a = LoadAcceleratorsA(self, "varnel_accelerator"); // names ignore case
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(LoadAcceleratorsA(self, "VARNEL_ACCELERATOR"), a);
    EXPECT_EQ(LoadAcceleratorsA(self, MAKEINTRESOURCE(1)), nullptr);

    for (int id : {101, 124, 132}) {
        SCOPED_TRACE(id);
        HICON i = LoadIconA(self, MAKEINTRESOURCE(id));
        ASSERT_NE(i, nullptr);
        SendMessageA(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(i));
        QImage image =
            win32_widget_of(main)->windowIcon().pixmap(4, 2).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(4, 2));
        if (id == 132) {
            EXPECT_EQ(image.pixel(0, 0), qRgb(0xff, 0, 0)) << "its alpha, not the mask";
        } else {
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        }
        EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0xff));
        EXPECT_EQ(image.pixel(2, 0), qRgb(0xff, 0, 0));
        EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 0xff));
        EXPECT_EQ(image.pixel(3, 1), qRgb(0, 0, 0xff));
    }
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCE(104)), nullptr); // image data past the end
    SetModuleResources(nullptr, 0);
}

} // namespace

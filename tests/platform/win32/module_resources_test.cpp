#include <QIcon>
#include <QWidget>
#include <QImage>

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

// A 4 x 2 icon with 256 colours: palette index 1 is red, 2 blue; the mask
// makes the top-left pixel transparent.
std::vector<unsigned char> tiny_icon()
{
    std::vector<unsigned char> dib;
    put32(dib, 40);
    put32(dib, 4);
    put32(dib, 4); // twice the height: colours and mask
    put16(dib, 1);
    put16(dib, 8);
    for (int i = 0; i < 6; ++i)
        put32(dib, 0);
    for (int i = 0; i < 256; ++i)
        put32(dib, i == 1 ? 0x00ff0000u : i == 2 ? 0x000000ffu : 0);
    const unsigned char bottom[4] = {2, 2, 2, 2}, top[4] = {1, 2, 1, 2};
    dib.insert(dib.end(), bottom, bottom + 4); // rows bottom first
    dib.insert(dib.end(), top, top + 4);
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
    put16(ico, 8);
    put32(ico, static_cast<unsigned>(dib.size()));
    put32(ico, 22);
    ico.insert(ico.end(), dib.begin(), dib.end());
    return ico;
}

const ACCEL kTable[] = {{FVIRTKEY, 'H', 1020}, {FVIRTKEY | ACCEL_END_OF_TABLE, 'X', 1025}};

TEST_F(WindowTest, TheModulesResourcesAreFoundByIdAndName)
{
    static const std::vector<unsigned char> icon = tiny_icon();
    static const std::vector<unsigned char> broken = {0, 0, 1, 0,    1,    0, 4, 2,  0, 0, 1,
                                                      0, 8, 0, 0xff, 0xff, 0, 0, 22, 0, 0, 0};
    const RESOURCE_ENTRY entries[] = {
        {RT_DIALOG, MAKEINTRESOURCE(102), &kMainTemplate, sizeof kMainTemplate},
        {RT_DIALOG, MAKEINTRESOURCE(103), &kPanelTemplate, sizeof kPanelTemplate},
        {RT_ACCELERATOR, "VARNEL_ACCELERATOR", kTable, sizeof kTable},
        {RT_GROUP_ICON, MAKEINTRESOURCE(101), icon.data(), static_cast<DWORD>(icon.size())},
        {RT_GROUP_ICON, MAKEINTRESOURCE(104), broken.data(), static_cast<DWORD>(broken.size())},
    };
    SetModuleResources(entries, 5);
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

    HICON i = LoadIconA(self, MAKEINTRESOURCE(101));
    ASSERT_NE(i, nullptr);
    SendMessageA(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(i));
    QImage image = win32_widget_of(main)->windowIcon().pixmap(4, 2).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(4, 2));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0xff));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0xff, 0, 0));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 0xff));
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCE(104)), nullptr); // image data past the end
    SetModuleResources(nullptr, 0);
}

} // namespace

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "win32_test_support.h"

namespace {

using namespace win32_test;

class FileDialogTest : public WindowTest {
protected:
    OPENFILENAMEA ofn(HWND owner, char* buffer, DWORD size, LPCSTR filter, LPCSTR folder)
    {
        OPENFILENAMEA o;
        std::memset(&o, 0, sizeof o);
        o.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        o.hwndOwner = owner;
        o.lpstrFilter = filter;
        o.lpstrFile = buffer;
        o.nMaxFile = size;
        o.lpstrInitialDir = folder;
        o.lpstrTitle = "データファイル選択";
        o.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        return o;
    }
};

TEST_F(FileDialogTest, AScriptedChoiceFillsTheCallersBuffer)
{
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    char path[1024] = {};
    OPENFILENAMEA o = ofn(main, path, sizeof path, "all type\0*.*\0", "/data/");
    EXPECT_EQ(o.Flags, 0x1808u);
    win32_script_open_file("/data/run1.txt");
    ASSERT_TRUE(GetOpenFileNameA(&o));
    EXPECT_STREQ(path, "/data/run1.txt");
    EXPECT_EQ(o.nFileOffset, 6);
    EXPECT_EQ(o.nFileExtension, 11);
    ASSERT_EQ(win32_open_file_calls().size(), 1u);
    const FileDialogCall& call = win32_open_file_calls()[0];
    EXPECT_EQ(call.owner, main);
    EXPECT_EQ(call.title, "データファイル選択");
    EXPECT_EQ(call.initial_dir, "/data/");
    EXPECT_EQ(call.filters, (std::vector<std::pair<std::string, std::string>>{{"all type", "*.*"}}));
    EXPECT_EQ(call.max_file, 1024u);

    // Cancelled: FALSE and no error code.
    win32_script_open_file(nullptr);
    EXPECT_FALSE(GetOpenFileNameA(&o));
    EXPECT_EQ(CommDlgExtendedError(), 0u);

    // A path that does not fit is refused, with the size it needs.
    char small[8] = {};
    OPENFILENAMEA s = ofn(main, small, sizeof small, "BITMAP\0*.bmp\0", nullptr);
    win32_script_open_file("/data/texture.bmp");
    EXPECT_FALSE(GetOpenFileNameA(&s));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
    WORD needed;
    std::memcpy(&needed, small, 2);
    EXPECT_EQ(needed, 18);

    // The 32-bit platform's size is accepted; others are not.
    o.lStructSize = 76;
    EXPECT_FALSE(GetOpenFileNameA(&o)); // nothing scripted: cancel
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    o.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&o));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
}

// The chosen path fits when the buffer holds it and its terminator; the
// offsets of the name and of what follows its last dot, and the name
// alone, cut to its buffer.
TEST_F(FileDialogTest, TheChosenPathItsOffsetsAndItsNameFillTheirBuffers)
{
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    const struct {
        const char* chosen;
        DWORD buffer;
        bool fits;
        WORD name_at, extension_at;
        const char* title; // in a 6-byte buffer
    } cases[] = {
        {"/data/run1.txt", 15, true, 6, 11, "run1."}, {"/data/run1.txt", 14, false, 0, 0, ""},
        {"/data/.hidden", 40, true, 6, 7, ".hidd"},   {"/data.d/noext", 40, true, 8, 0, "noext"},
        {"plain", 40, true, 0, 0, "plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        char path[64], title[8];
        std::memset(path, 'x', sizeof path);
        std::memset(title, 'x', sizeof title);
        OPENFILENAMEA o = ofn(main, path, c.buffer, "all\0*.*\0", nullptr);
        o.lpstrFileTitle = title;
        o.nMaxFileTitle = 6;
        win32_script_open_file(c.chosen);
        ASSERT_EQ(GetOpenFileNameA(&o), c.fits);
        EXPECT_EQ(path[c.buffer], 'x') << "past the buffer";
        if (!c.fits) {
            EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
            continue;
        }
        EXPECT_STREQ(path, c.chosen);
        EXPECT_EQ(o.nFileOffset, c.name_at);
        EXPECT_EQ(o.nFileExtension, c.extension_at);
        EXPECT_STREQ(title, c.title);
        EXPECT_EQ(title[6], 'x');
    }
}

TEST_F(FileDialogTest, TheSaveDialogAddsItsExtensionToANameTypedWithoutOne)
{
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    char path[1024] = {};
    OPENFILENAMEA o = ofn(main, path, sizeof path, "PNG\0*.png\0", "/data/");
    o.lpstrDefExt = "png";
    o.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    const std::pair<const char*, const char*> cases[] = {
        {"/data/shot", "/data/shot.png"},
        {"/data/shot.png", "/data/shot.png"},
        {"/data/shot.jpeg", "/data/shot.jpeg"},
        {"/data.old/shot", "/data.old/shot.png"}, // a dot in a folder is no extension
    };
    for (const auto& [typed, delivered] : cases) {
        win32_script_save_file(typed);
        ASSERT_TRUE(GetSaveFileNameA(&o));
        EXPECT_STREQ(path, delivered);
    }
    ASSERT_EQ(win32_save_file_calls().size(), 4u);
    EXPECT_TRUE(win32_open_file_calls().empty()); // the two dialogs keep apart
    EXPECT_EQ(win32_save_file_calls()[0].default_ext, "png");
    EXPECT_EQ(win32_save_file_calls()[0].initial_dir, "/data/");

    // Without a default extension the name stays as typed; the extension
    // may push it past the buffer.
    o.lpstrDefExt = nullptr;
    win32_script_save_file("/data/shot");
    ASSERT_TRUE(GetSaveFileNameA(&o));
    EXPECT_STREQ(path, "/data/shot");
    char small[12] = {};
    OPENFILENAMEA s = ofn(main, small, sizeof small, "PNG\0*.png\0", nullptr);
    s.lpstrDefExt = "png";
    win32_script_save_file("/data/shot"); // 11 bytes with its terminator
    EXPECT_FALSE(GetSaveFileNameA(&s));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
}

// The real dialog, answered by a timer: title, folder, filters and the
// chosen path all go through Qt's own file dialog.
TEST_F(FileDialogTest, TheRealDialogOpensInTheFolderWithTheFilters)
{
    namespace fs = std::filesystem;
    char tmpl[] = "/tmp/varnel-fd-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    fs::path dir = tmpl;
    std::ofstream(dir / "points") << "1 2\n"; // no dot: "*.*" must still show it
    std::string folder = dir.string() + "/";

    win32_answer_dialogs_from_script(false);
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    ShowWindow(main, SW_SHOWNORMAL);
    QString title, shown_dir;
    QStringList filters;
    QString chosen_filter;
    ModalAnswer<QFileDialog> person([&](QFileDialog* d) {
        title = d->windowTitle();
        shown_dir = d->directory().absolutePath();
        filters = d->nameFilters();
        chosen_filter = d->selectedNameFilter();
        d->selectFile((dir / "points").c_str());
        static_cast<QDialog*>(d)->accept();
    });
    char path[1024] = {};
    OPENFILENAMEA o = ofn(main, path, sizeof path, "text\0*.txt\0all type\0*.*\0", folder.c_str());
    o.nFilterIndex = 2; // counted from 1
    BOOL chosen = GetOpenFileNameA(&o);
    win32_answer_dialogs_from_script(true);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(std::string(path), (dir / "points").string());
    EXPECT_EQ(title, QString::fromUtf8("データファイル選択"));
    EXPECT_EQ(shown_dir, QString::fromStdString(dir.string()));
    EXPECT_EQ(filters, (QStringList{"text (*.txt)", "all type (*)"}));
    EXPECT_EQ(chosen_filter, "all type (*)");
    fs::remove_all(dir);
}

} // namespace

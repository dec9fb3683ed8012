// Files dropped on the main window: data as the load button loads it, an
// image as the texture button makes it the texture.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class DropTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        win32_clear_dialog_calls();
    }
    // Drags the files over the main window and lets go; true when the
    // window took the drag.
    bool drop(const std::vector<QUrl>& urls, QPoint at = {30, 30})
    {
        QMimeData data;
        data.setUrls(QList<QUrl>(urls.begin(), urls.end()));
        QWidget* window = win32_widget_of(main_);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &dropped);
        run();
        return dropped.isAccepted();
    }
    bool drop(const std::vector<fs::path>& files)
    {
        std::vector<QUrl> urls;
        for (const fs::path& file : files)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
        return drop(urls);
    }
    fs::path copy_texture(const std::string& name)
    {
        fs::path path = root_ / name;
        fs::create_directories(path.parent_path());
        fs::copy_file(fs::path(VARNEL_SOURCE_DIR) / "examples" / "texture.bmp", path);
        return path;
    }
    std::string folder_of(const fs::path& path) { return path.parent_path().string() + "/"; }
};

TEST_F(DropTest, ADroppedDataFileIsLoadedAsTheButtonLoadsIt)
{
    set_spin(IDC_X_MIN_SPIN, 1000);
    set_spin(IDC_X_MAX_SPIN, 3000);
    fs::path data = write_cloud("runs/run1.txt", 2000, 2000);
    UINT before = frames();
    ASSERT_TRUE(drop({data}));
    EXPECT_EQ(text_of(main_), "Varnel : run1.txt");
    EXPECT_EQ(std::string(state_->settings.data_path), folder_of(data));
    EXPECT_EQ(density_field_counts(state_->field).in_range, 41 * 41);
    EXPECT_GT(frames(), before);
    EXPECT_GT(surface_pixels(picture()), 2000);
    EXPECT_EQ(count(picture(), is_coloured), 0);
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_TRUE(win32_open_file_calls().empty()); // no dialog on the way

    // A file that is not there gives the load button's message and changes
    // nothing.
    ASSERT_TRUE(drop({root_ / "gone.txt"}));
    expect_one_message(std::string(text(TextId::cannot_open)) + "\n" + (root_ / "gone.txt").string() + ": " +
                       std::strerror(ENOENT));
    EXPECT_EQ(text_of(main_), "Varnel : run1.txt");

    // The next start finds the folder.
    close();
    Settings settings;
    load_settings(&settings);
    EXPECT_EQ(std::string(settings.data_path), folder_of(data));
}

TEST_F(DropTest, ADroppedImageBecomesTheTexture)
{
    fs::path data = write_cloud("runs/run1.txt", 2000, 2000);
    ASSERT_TRUE(drop({data}));
    fs::path image = copy_texture("pictures/wood.bmp");
    ASSERT_TRUE(drop({image}));
    EXPECT_GT(count(picture(), is_coloured), 200);
    EXPECT_EQ(std::string(state_->settings.texture_path), folder_of(image));
    EXPECT_EQ(std::string(state_->settings.data_path), folder_of(data));
    EXPECT_EQ(text_of(main_), "Varnel : run1.txt");

    // Named like a bitmap but no image: it is data, like any other file.
    fs::path fake = write_file("pictures/fake.bmp", "2000 2000\n");
    ASSERT_TRUE(drop({fake}));
    EXPECT_EQ(text_of(main_), "Varnel : fake.bmp");
    EXPECT_EQ(std::string(state_->settings.texture_path), folder_of(image));

    close();
    Settings settings;
    load_settings(&settings);
    EXPECT_EQ(std::string(settings.texture_path), folder_of(image));
}

TEST_F(DropTest, OfSeveralFilesTheFirstDataFileAndTheFirstImageAreLoaded)
{
    fs::path first_image = copy_texture("first/a.bmp");
    // A grey 1 x 1 bitmap: as the texture it would leave no colour.
    std::string grey = "BM";
    for (uint32_t field : {58u, 0u, 54u, 40u, 1u, 1u})
        grey.append(reinterpret_cast<const char*>(&field), 4);
    grey += std::string("\1\0\x18\0", 4) + std::string(24, '\0') + std::string("\x80\x80\x80\0", 4);
    fs::path second_image = write_file("second/b.bmp", grey);
    fs::path first_data = write_cloud("one/run1.txt", 2000, 2000);
    fs::path second_data = write_cloud("two/run2.txt", 1000, 1000);
    fs::create_directories(root_ / "folder");
    ASSERT_TRUE(drop({root_ / "folder", first_image, second_image, first_data, second_data}));
    EXPECT_EQ(text_of(main_), "Varnel : run1.txt");
    EXPECT_EQ(std::string(state_->settings.data_path), folder_of(first_data));
    EXPECT_EQ(std::string(state_->settings.texture_path), folder_of(first_image));
    EXPECT_GT(count(picture(), is_coloured), 200);
    EXPECT_TRUE(win32_message_box_calls().empty());

    // Alone, the grey bitmap is an image too, and takes the colour away.
    ASSERT_TRUE(drop({second_image}));
    EXPECT_EQ(count(picture(), is_coloured), 0);
    EXPECT_GT(surface_pixels(picture()), 2000);
}

// The program keeps 1023 bytes of a path: one that long is loaded, one a
// byte longer is refused with its message, never cut and opened.
TEST_F(DropTest, APathIsLoadedUpTo1023BytesAndRefusedBeyond)
{
    for (size_t length : {size_t(1023), size_t(1024)}) {
        SCOPED_TRACE(length);
        fs::path path = root_ / std::to_string(length);
        while (path.string().size() + 1 + 200 < length - 20)
            path /= std::string(200, 'd');
        path /= std::string(length - path.string().size() - 1, 'f');
        ASSERT_EQ(path.string().size(), length);
        fs::create_directories(path.parent_path());
        fs::copy_file(write_cloud("cloud.txt", 2000, 2000), path);
        // The same name a byte shorter is there too: a cut name would open it.
        fs::copy_file(path, path.string().substr(0, length - 1));

        ASSERT_TRUE(drop({path}));
        if (length == 1023) {
            EXPECT_EQ(std::string(state_->settings.data_path), folder_of(path));
            EXPECT_TRUE(win32_message_box_calls().empty());
        } else {
            expect_one_message(text(TextId::path_too_long));
            EXPECT_NE(std::string(state_->settings.data_path), folder_of(path));
        }
    }
}

TEST_F(DropTest, ADragWithoutLocalFilesIsRefusedAndAFolderIsPassedOver)
{
    fs::create_directories(root_ / "folder");
    EXPECT_TRUE(drop({root_ / "folder"}));
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_FALSE(drop(std::vector<QUrl>{QUrl("https://example.com/run1.txt")}));
    EXPECT_FALSE(drop(std::vector<QUrl>{}));
    run();
    EXPECT_EQ(text_of(main_), "Varnel");
    EXPECT_EQ(std::string(state_->settings.data_path), "");
}

} // namespace

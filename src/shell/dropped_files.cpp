#include "shell/dropped_files.h"

#include <cstring>

#include "resources/texts.h"
#include "shell/control_panel.h"
#include "texture/decoders/decoded_image.h"
#include "texture/image_file.h"

namespace {

// An image is what the texture loader would decode; the header says so.
bool is_image_file(const char* path)
{
    MappedImageFile file;
    if (FAILED(file.open(path)) || file.size() == 0)
        return false;
    OwnedImage image;
    return SUCCEEDED(image.decode(file.bytes(), file.size(), FALSE));
}

// Name `index` of the drop in a path buffer of the program's size; false
// for a name too long for it, which is never cut and opened.
bool dropped_name(HDROP drop, UINT index, char (&path)[kPathBytes])
{
    std::memset(path, 0, sizeof path);
    if (DragQueryFileA(drop, index, nullptr, 0) >= sizeof path)
        return false;
    DragQueryFileA(drop, index, path, sizeof path);
    return true;
}

} // namespace

void load_dropped_files(AppState* state, HDROP drop)
{
    char data[kPathBytes], image[kPathBytes];
    bool have_data = false, have_image = false;
    bool too_long = false;
    UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    for (UINT i = 0; i < count && !(have_data && have_image); ++i) {
        char path[kPathBytes];
        if (!dropped_name(drop, i, path)) {
            too_long = true;
            continue;
        }
        // A folder is neither: opened as data it would read as an empty file.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        bool is_image = is_image_file(path);
        if (is_image && !have_image)
            std::memcpy(image, path, sizeof path);
        else if (!is_image && !have_data)
            std::memcpy(data, path, sizeof path);
        have_image = have_image || is_image;
        have_data = have_data || !is_image;
    }
    // Released before anything is loaded: a failed load shows a message.
    DragFinish(drop);
    if (too_long)
        MessageBoxA(state->main_window, text(TextId::path_too_long), text(TextId::data_error_caption),
                    MB_OK | MB_ICONERROR);
    if (have_data)
        load_data_from(state->panel, data);
    if (have_image) {
        load_texture_from(state->panel, image);
        InvalidateRect(state->render_area, nullptr, FALSE);
    }
}

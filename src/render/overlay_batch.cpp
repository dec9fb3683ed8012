// The overlay batch: the glyph atlas kept between builds (rasterised again
// only for a new size or new characters), the overlay laid out from the
// field, the camera and the back buffer's size, and the data file's name.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/d3d9/interface_ptr.h"
#include "render/renderer_state.h"
#include "render/scene_view.h"
#include "render/text/glyph_atlas.h"
#include "render/text/picture_overlay.h"

struct OverlayCache {
    GlyphAtlas atlas;
    int pixel_size = 0;
    std::u32string characters;
};

namespace {

// The atlas for this size and caption, rasterised again (and its texture
// dropped) only when either changed.
OverlayCache* current_atlas(RendererState* s, DrawBatch* batch, unsigned height)
{
    if (!s->overlay)
        s->overlay = new (std::nothrow) OverlayCache;
    OverlayCache* cache = s->overlay;
    if (!cache)
        return nullptr;
    const int pixel_size = overlay_pixel_size(height);
    std::string texts = s->caption ? s->caption : "";
    for (const char* title : s->axis_titles)
        texts += title ? title : "";
    texts += s->scale_title ? s->scale_title : "";
    std::u32string characters = overlay_characters(texts);
    if (cache->atlas.width == 0 || cache->pixel_size != pixel_size || cache->characters != characters) {
        // Without the font the atlas holds its solid cell alone: the scale
        // bar is drawn, no text.
        build_glyph_atlas(default_font_file(), pixel_size, characters, &cache->atlas);
        cache->pixel_size = pixel_size;
        cache->characters = std::move(characters);
        release_interface(batch->texture);
    }
    return cache;
}

} // namespace

void build_overlay(RendererState* s, DrawBatch* batch)
{
    unsigned width = 0, height = 0;
    OverlayCache* cache = scene_size(*s, &width, &height) ? current_atlas(s, batch, height) : nullptr;
    if (!cache) {
        empty_geometry(batch);
        return;
    }
    if (!batch->texture)
        upload_atlas(batch, s->device, cache->atlas);
    OverlayScene scene;
    scene.width = width;
    scene.height = height;
    scene.camera = s->camera;
    scene.range = s->view.range;
    scene.max_weight = s->top_weight;
    scene.log_scale = scale_is_log(*s);
    scene.counts = s->view.counts;
    scene.caption = s->caption ? s->caption : "";
    scene.x_title = s->axis_titles[0] ? s->axis_titles[0] : "";
    scene.y_title = s->axis_titles[1] ? s->axis_titles[1] : "";
    scene.colour_map = s->picture.colour_map;
    scene.map_view = s->picture.map_view;
    const MapShape shape = scene_map_shape(*s);
    scene.scale_foot = shape.scale_foot;
    scene.log_x = shape.log_x;
    scene.log_y = shape.log_y;
    scene.equal_aspect = shape.equal_aspect;
    scene.scale_title = s->scale_title ? s->scale_title : "";
    scene.readout = s->readout ? s->readout : "";
    if (s->band_on)
        scene.band = ScreenBox{int(std::min(s->band.left, s->band.right)), int(std::min(s->band.top, s->band.bottom)),
                               int(std::max(s->band.left, s->band.right)), int(std::max(s->band.top, s->band.bottom))};
    scene.auto_smoothing_cells = s->auto_smoothing_cells;
    upload_overlay(batch, s->device, lay_out_overlay(cache->atlas, scene), cache->atlas);
}

void release_overlay(RendererState* s)
{
    delete s->overlay;
    s->overlay = nullptr;
}

namespace {

// A copy of the text in *kept, freeing the old one; null for none (or no memory).
void keep_text(char** kept, const char* text)
{
    std::free(*kept);
    *kept = nullptr;
    if (text && *text) {
        const size_t bytes = std::strlen(text) + 1;
        *kept = static_cast<char*>(std::malloc(bytes));
        if (*kept)
            std::memcpy(*kept, text, bytes);
    }
}

} // namespace

void set_caption(RendererState* s, const char* name)
{
    keep_text(&s->caption, name);
    rebuild_screen_batches(s);
}

void set_axis_titles(RendererState* s, const char* x, const char* y)
{
    keep_text(&s->axis_titles[0], x);
    keep_text(&s->axis_titles[1], y);
    rebuild_screen_batches(s);
}

void set_readout(RendererState* s, const char* text)
{
    keep_text(&s->readout, text);
    rebuild_screen_batches(s);
}

void set_scale_title(RendererState* s, const char* title)
{
    keep_text(&s->scale_title, title);
    rebuild_screen_batches(s);
}

void set_band(RendererState* s, const RECT* band)
{
    s->band_on = band != nullptr;
    if (band)
        s->band = *band;
    rebuild_screen_batches(s);
}

// What the scene is seen through, read from the renderer's state: the
// map's or the camera's eye and projection, framed where the axes take
// part of the picture, and both set on the device after a change.
#include "render/scene_view.h"

#include "platform/d3d9/interface_ptr.h"
#include "render/text/camera_fit.h"

namespace {

// The back buffer's size; false without one (or its size).
bool back_buffer_size(IDirect3DDevice9* device, unsigned* width, unsigned* height)
{
    IDirect3DSurface9* surface = nullptr;
    const HRESULT got = device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
    const InterfacePtr<IDirect3DSurface9> back_buffer(surface);
    D3DSURFACE_DESC desc;
    if (FAILED(got) || !back_buffer || FAILED(back_buffer->GetDesc(&desc)) || desc.Width == 0 || desc.Height == 0)
        return false;
    *width = desc.Width;
    *height = desc.Height;
    return true;
}

// Without a back buffer (or its size) there is nothing to take the
// aspect from, so the projection is left as it was.
void set_projection(const RendererState& s)
{
    unsigned width = 0, height = 0;
    if (!back_buffer_size(s.device, &width, &height))
        return;
    const D3DMATRIX projection = to_device_matrix(scene_projection(s, width, height));
    s.device->SetTransform(D3DTS_PROJECTION, &projection);
}

HRESULT set_view(RendererState* s)
{
    const CameraVectors v = scene_eye(*s);
    const D3DMATRIX view = to_device_matrix(build_view_matrix(v.eye, v.at, v.up));
    return s->device->SetTransform(D3DTS_VIEW, &view);
}

} // namespace

bool axes_shown(const RendererState& s) { return s.picture.show_axes; }

bool levels_from_least(const FieldView& view) { return view.measure == NodeMeasure::mean || view.least < 0; }

bool scale_is_log(const RendererState& s) { return s.picture.log_scale && !levels_from_least(s.view); }

MapShape scene_map_shape(const RendererState& s)
{
    return MapShape{levels_from_least(s.view) ? s.view.least : 0.0, s.view.log_x, s.view.log_y, s.picture.equal_aspect};
}

// The map's square, or the camera's perspective; with the axes, the
// scale's column and the status band take part of the picture, and the box
// is framed in the rest as the camera sees it.
Matrix4 scene_projection(const RendererState& s, unsigned width, unsigned height)
{
    return s.picture.map_view ? map_projection(width, height,
                                               map_frame(width, height, s.view.range, s.top_weight, scale_is_log(s),
                                                         s.picture.show_axes, scene_map_shape(s)))
        : axes_shown(s)       ? framed_projection(s.camera, width, height)
                              : build_scene_projection(width, height);
}

CameraVectors scene_eye(const RendererState& s) { return s.picture.map_view ? map_camera() : s.camera; }

bool scene_size(const RendererState& s, unsigned* width, unsigned* height)
{
    return back_buffer_size(s.device, width, height);
}

HRESULT apply_view(RendererState* s)
{
    set_projection(*s);
    return set_view(s);
}

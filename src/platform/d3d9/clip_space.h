// Clip space: the planes of the view volume (widened at the sides by a
// guard band), a vertex's outcode against them, a polygon cut by them, and
// the viewport's map from clip space to the screen. The vertex transform
// and primitive assembly share these; they are inline where the transform
// runs them for every vertex.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/rasterizer.h"

// How far beyond the viewport primitives may reach before they are clipped
// against the sides too; the rasterizer's bounding box handles the rest.
constexpr float kGuardBandPixels = 2048.0f;
// Pre-transformed positions beyond this are refused rather than drawn.
constexpr float kMaxScreenCoordinate = 16384.0f;

enum Outcode : uint32_t {
    kNear = 1,
    kFar = 2,
    kLeft = 4,
    kRight = 8,
    kBottom = 16,
    kTop = 32,
    kInvalid = 64, // not drawable at all (pre-transformed and out of range)
};

struct ClipVertex {
    float x, y, z, w;
    float u, v;
    float r, g, b, a;
};

inline float distance_to(uint32_t plane, const ClipVertex& v, float gx, float gy)
{
    switch (plane) {
    case kNear:
        return v.z;
    case kFar:
        return v.w - v.z;
    case kLeft:
        return v.x + gx * v.w;
    case kRight:
        return gx * v.w - v.x;
    case kBottom:
        return v.y + gy * v.w;
    default:
        return gy * v.w - v.y;
    }
}

inline uint32_t outcode_of(const ClipVertex& v, float gx, float gy)
{
    // Written so that a NaN anywhere counts as outside every plane.
    uint32_t code = 0;
    code |= !(v.z >= 0.0f) ? kNear : 0u;
    code |= !(v.w - v.z >= 0.0f) ? kFar : 0u;
    code |= !(v.x + gx * v.w >= 0.0f) ? kLeft : 0u;
    code |= !(gx * v.w - v.x >= 0.0f) ? kRight : 0u;
    code |= !(v.y + gy * v.w >= 0.0f) ? kBottom : 0u;
    code |= !(gy * v.w - v.y >= 0.0f) ? kTop : 0u;
    return code;
}

struct ViewportMap {
    float x, y, half_width, half_height, min_z, depth_range;

    explicit ViewportMap(const D3DVIEWPORT9& vp)
        : x(static_cast<float>(vp.X)),
          y(static_cast<float>(vp.Y)),
          half_width(static_cast<float>(vp.Width) * 0.5f),
          half_height(static_cast<float>(vp.Height) * 0.5f),
          min_z(vp.MinZ),
          depth_range(vp.MaxZ - vp.MinZ)
    {
    }

    // False when the vertex cannot be placed (w not positive, not finite).
    bool map(const ClipVertex& c, RasterVertex* out) const
    {
        if (!(c.w > 0.0f)) {
            return false;
        }
        const float invw = 1.0f / c.w;
        const float sx = x + (1.0f + c.x * invw) * half_width;
        const float sy = y + (1.0f - c.y * invw) * half_height;
        if (!(std::fabs(sx) < kMaxScreenCoordinate && std::fabs(sy) < kMaxScreenCoordinate) || !std::isfinite(invw)) {
            return false;
        }
        out->fx = static_cast<int32_t>(std::lrint(sx * kSubpixel));
        out->fy = static_cast<int32_t>(std::lrint(sy * kSubpixel));
        out->z = min_z + c.z * invw * depth_range;
        out->invw = invw;
        out->uw = c.u * invw;
        out->vw = c.v * invw;
        out->r = c.r;
        out->g = c.g;
        out->b = c.b;
        out->a = c.a;
        return true;
    }
};

// Clip-space extent of the guard band: |x| <= gx w and |y| <= gy w.
inline void guard_band(const D3DVIEWPORT9& vp, float* gx, float* gy)
{
    const float half_w = std::max(1.0f, static_cast<float>(vp.Width) * 0.5f);
    const float half_h = std::max(1.0f, static_cast<float>(vp.Height) * 0.5f);
    *gx = (half_w + kGuardBandPixels) / half_w;
    *gy = (half_h + kGuardBandPixels) / half_h;
}

// Sutherland-Hodgman against the planes in `planes`; returns the count.
int clip_polygon(ClipVertex* poly, int count, uint32_t planes, float gx, float gy);

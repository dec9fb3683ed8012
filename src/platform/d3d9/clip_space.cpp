#include "platform/d3d9/clip_space.h"

#include <algorithm>

namespace {

// The point on edge (inside, outside) where it meets the plane, always
// computed from the inside end so that neighbours sharing the edge get
// exactly the same point.
ClipVertex intersect(const ClipVertex& inside, const ClipVertex& outside, float d_in, float d_out)
{
    const float t = d_in / (d_in - d_out);
    auto mix = [t](float a, float b) { return a + (b - a) * t; };
    return ClipVertex{mix(inside.x, outside.x), mix(inside.y, outside.y), mix(inside.z, outside.z),
                      mix(inside.w, outside.w), mix(inside.u, outside.u), mix(inside.v, outside.v),
                      mix(inside.r, outside.r), mix(inside.g, outside.g), mix(inside.b, outside.b),
                      mix(inside.a, outside.a)};
}

} // namespace

int clip_polygon(ClipVertex* poly, int count, uint32_t planes, float gx, float gy)
{
    ClipVertex buffer[16];
    ClipVertex* in = poly;
    ClipVertex* out = buffer;
    for (uint32_t plane = kNear; plane <= kTop && count >= 3; plane <<= 1) {
        if (!(planes & plane)) {
            continue;
        }
        int written = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = in[i];
            const ClipVertex& b = in[(i + 1) % count];
            const float da = distance_to(plane, a, gx, gy), db = distance_to(plane, b, gx, gy);
            const bool a_in = da >= 0.0f, b_in = db >= 0.0f;
            if (a_in) {
                out[written++] = a;
            }
            if (a_in != b_in) {
                out[written++] = a_in ? intersect(a, b, da, db) : intersect(b, a, db, da);
            }
        }
        std::swap(in, out);
        count = written;
    }
    if (in != poly) {
        std::copy(in, in + count, poly);
    }
    return count;
}

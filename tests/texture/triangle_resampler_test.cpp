// Triangle resampling against a reference written here: the weights as
// exact integrals of the tent (wrapped or clamped), the whole image held in
// doubles (the 100 x 60 -> 128 x 64 case among the shapes, its edges
// wrapped). Also the weight lists' totals and size.
#include "texture/triangle_resampler.h"

#include <algorithm>
#include <cmath>

#include "fill_helpers.h"

namespace {

// Integral of max(0, 1 - |u|) from -infinity to x.
double ramp_area(double x)
{
    if (x <= -1)
        return 0;
    if (x <= 0)
        return (x + 1) * (x + 1) / 2;
    if (x <= 1)
        return 1 - (1 - x) * (1 - x) / 2;
    return 1;
}

// Integral over lo..hi of the tent of height 1 at `centre`, half-width b.
double tent(double lo, double hi, double centre, double b)
{
    return hi <= lo ? 0 : b * (ramp_area((hi - centre) / b) - ramp_area((lo - centre) / b));
}

double overlap(double lo, double hi, double a, double b) { return std::max(0.0, std::min(hi, b) - std::max(lo, a)); }

// w[i][j]: weight of source pixel i for target pixel j.
std::vector<std::vector<double>> reference_weights(UINT s, UINT d, bool clamp)
{
    const double b = double(d) / s, cut = std::min(0.00001, b * 0.01);
    std::vector<std::vector<double>> w(s, std::vector<double>(d, 0.0));
    for (UINT i = 0; i < s; ++i) {
        const double centre = (i + 0.5) * b;
        for (UINT j = 0; j < d; ++j) {
            double sum = 0;
            if (!clamp) {
                for (int k = -1; k <= 1; ++k) {
                    sum += tent(j + k * double(d), j + 1 + k * double(d), centre, b);
                }
            } else {
                // The outer halves of the first and last tents are flat at 1.
                const double left =
                    i == 0 ? overlap(j, j + 1, 0, centre) : tent(j, std::min(j + 1.0, centre), centre, b);
                const double right =
                    i + 1 == s ? overlap(j, j + 1, centre, d) : tent(std::max(double(j), centre), j + 1, centre, b);
                sum = left + right;
            }
            w[i][j] = sum > cut ? sum : 0;
        }
    }
    return w;
}

// The resampled image, channels red, green, blue, alpha, limited to 0..1.
std::vector<double> reference_resample(const TestImage& image, UINT tw, UINT th, DWORD filter)
{
    const UINT sw = image.image.width, sh = image.image.height;
    const auto wx = reference_weights(sw, tw, filter & 0x10000);
    const auto wy = reference_weights(sh, th, filter & 0x20000);
    std::vector<double> out(size_t(tw) * th * 4, 0.0);
    for (UINT y = 0; y < sh; ++y) {
        const uint8_t* row = image.bytes.data() + size_t(y) * image.image.row_pitch;
        for (UINT x = 0; x < sw; ++x) {
            const double pixel[4] = {row[x * 4 + 2] / 255.0, row[x * 4 + 1] / 255.0, row[x * 4] / 255.0,
                                     row[x * 4 + 3] / 255.0};
            for (UINT ty = 0; ty < th; ++ty) {
                for (UINT tx = 0; tx < tw; ++tx) {
                    const double weight = wx[x][tx] * wy[y][ty];
                    for (int c = 0; c < 4; ++c) {
                        out[(size_t(ty) * tw + tx) * 4 + c] += pixel[c] * weight;
                    }
                }
            }
        }
    }
    for (double& v : out) {
        v = std::clamp(v, 0.0, 1.0);
    }
    return out;
}

class TriangleResamplerTest : public FillTest {};

// Random sizes up and down, with and without the edge bits: float levels
// match the reference closely, 8-bit levels within one quantisation step.
TEST_F(TriangleResamplerTest, MatchesTheReference)
{
    use_pitch_padding(8);
    std::mt19937 random(11);
    struct Shape {
        UINT sw, sh, tw, th;
    };
    std::vector<Shape> shapes = {{100, 60, 128, 64}, {1, 3, 64, 5}, {50000, 1, 1, 1}, {3, 1, 1, 2}};
    for (int i = 0; i < 24; ++i) {
        shapes.push_back(
            Shape{UINT(1 + random() % 40), UINT(1 + random() % 40), UINT(1 + random() % 48), UINT(1 + random() % 48)});
    }
    const DWORD filters[] = {4, 0x80004, 0x10004, 0x20004, 0xB0004};
    for (size_t n = 0; n < shapes.size(); ++n) {
        const Shape& s = shapes[n];
        if (s.sw == s.tw && s.sh == s.th) {
            continue;
        }
        const DWORD filter = filters[n % std::size(filters)];
        TestImage image(D3DFMT_A8R8G8B8, s.sw, s.sh, size_t(s.sw) * 4, 4);
        image.randomise(random, size_t(s.sw) * 4);
        const std::vector<double> want = reference_resample(image, s.tw, s.th, filter);
        const std::string shape = std::to_string(s.sw) + "x" + std::to_string(s.sh) + " -> " + std::to_string(s.tw) +
            "x" + std::to_string(s.th) + " filter " + std::to_string(filter);

        IDirect3DTexture9* t = load(image.image, s.tw, s.th, D3DFMT_A32B32G32R32F, filter);
        const std::vector<float> floats = level_floats(t, 0);
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_NEAR(floats[i], want[i], 2e-5) << shape << ", value " << i;
        }
        t->Release();

        t = load(image.image, s.tw, s.th, D3DFMT_A8R8G8B8, filter);
        const std::vector<uint32_t> words = level_words(t, 0);
        for (size_t p = 0; p < words.size(); ++p) {
            const int got[4] = {int(words[p] >> 16 & 255), int(words[p] >> 8 & 255), int(words[p] & 255),
                                int(words[p] >> 24)};
            for (int c = 0; c < 4; ++c) {
                ASSERT_LE(std::abs(got[c] - want[p * 4 + c] * 255), 1.0) << shape << ", pixel " << p;
            }
        }
        t->Release();
    }
}

// Rows of a million pixels are resampled in two halves at once; the
// result is the reference's, whatever the halves' timing.
TEST_F(TriangleResamplerTest, VeryWideRowsMatchTheReference)
{
    constexpr UINT width = 1200003, target = 4096;
    std::mt19937 random(23);
    TestImage image(D3DFMT_P8, width, 1, width);
    image.randomise(random, width);
    std::vector<uint8_t> palette(1024);
    for (uint8_t& b : palette) {
        b = static_cast<uint8_t>(random());
    }
    image.set_palette(palette);
    // Clamped edges; each target pixel only sees the source pixels near it.
    const double b = double(target) / width;
    std::vector<double> want(target * 4, 0.0);
    for (UINT j = 0; j < target; ++j) {
        const int64_t lo = std::max<int64_t>(0, int64_t((double(j) - 1) / b) - 2);
        const int64_t hi = std::min<int64_t>(width, int64_t((j + 2) / b) + 2);
        for (int64_t i = lo; i < hi; ++i) {
            const double centre = (i + 0.5) * b;
            const double left = i == 0 ? overlap(j, j + 1, 0, centre) : tent(j, std::min(j + 1.0, centre), centre, b);
            const double right = i + 1 == width ? overlap(j, j + 1, centre, target)
                                                : tent(std::max(double(j), centre), j + 1, centre, b);
            for (int c = 0; c < 4; ++c) {
                want[j * 4 + c] += (left + right) * palette[image.bytes[i] * 4 + c] / 255.0;
            }
        }
    }
    IDirect3DTexture9* t = load(image.image, target, 1, D3DFMT_A32B32G32R32F, 0x30004);
    const std::vector<float> got = level_floats(t, 0);
    t->Release();
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_NEAR(got[i], std::min(want[i], 1.0), 1e-4) << i;
    }
}

// Every target pixel receives a total weight of 1, and the lists grow with
// the target, not with the source: 2^28 rows into 4096 take a few segments
// per target row.
TEST(TriangleWeights, TotalsAreOneAndListsStaySmall)
{
    std::mt19937 random(13);
    struct Axis {
        UINT s, d;
        bool clamp;
    };
    std::vector<Axis> axes = {{268435456, 4096, false}, {4194311, 4096, true}, {1, 4096, false}, {200000, 1, false}};
    for (int i = 0; i < 40; ++i) {
        axes.push_back(Axis{UINT(1 + random() % 3000), UINT(1 + random() % 3000), bool(random() & 1)});
    }
    for (const Axis& a : axes) {
        AxisWeights weights;
        ASSERT_TRUE(build_axis_weights(a.s, a.d, a.clamp, &weights));
        std::vector<double> total(a.d, 0.0);
        UINT next = 0;
        for (const AxisSegment& segment : weights.segments) {
            ASSERT_EQ(segment.first, next) << "segments cover the source in order";
            next += segment.count;
            for (UINT t = segment.tap_begin; t < segment.tap_end; ++t) {
                total[weights.taps[t].target] += double(weights.taps[t].weight) * segment.count;
            }
        }
        ASSERT_EQ(next, a.s);
        for (UINT j = 0; j < a.d; ++j) {
            ASSERT_NEAR(total[j], 1.0, 1e-4) << a.s << " -> " << a.d << " at " << j;
        }
        EXPECT_LE(weights.segments.size(), 4 * size_t(std::min(a.s, a.d)) + 8) << a.s << " -> " << a.d;
    }
}

} // namespace

// Points kept as short decimals: their digits give back the very doubles a
// parser reads from the same text, a number that is no such decimal is
// never held as one, and a chunk of kept points comes back bit for bit
// whatever mix of decimals and other numbers it was given.
#include "field/decimal_points.h"
#include "field/kept_points.h"
#include "field/sources/chunk_ring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every number of up to nine places that fits the digits, against strtod
// reading it as text: the value is the text's, and the text's value is
// held with the digits it was written with.
TEST(DecimalPoints, DigitsGiveTheDoubleTheirTextReadsAs)
{
    std::mt19937 random(5);
    for (int trial = 0; trial < 200000; ++trial) {
        const int places = trial % (kMostDecimalPlaces + 1);
        const auto digits = static_cast<std::int32_t>(random() % 4294967295u - 2147483647u);
        const std::string text = std::to_string(digits) + "e-" + std::to_string(places);
        const double read = std::strtod(text.c_str(), nullptr);
        ASSERT_TRUE(same_bits(decimal_value(digits, places), read)) << text;
        std::int32_t held = 0;
        ASSERT_TRUE(as_decimal(read, places, &held)) << text;
        EXPECT_EQ(held, digits) << text;
    }
}

TEST(DecimalPoints, ANumberThatIsNoShortDecimalIsNotHeldAsOne)
{
    const double none[] = {-0.0,    std::nan(""), HUGE_VAL,      -HUGE_VAL,    1e-300, 0.1 + 0.2,
                           1.0 / 3, 3e9,          -2147483648.0, 2147483647.5, 1e-10};
    for (const double v : none)
        for (int places = 0; places <= kMostDecimalPlaces; ++places) {
            std::int32_t digits;
            EXPECT_FALSE(as_decimal(v, places, &digits)) << v << " at " << places;
        }
}

// Collects the points a source hands out, and their weights, in their order.
struct Collected {
    struct Part {
        std::vector<Point> points;
        std::vector<double> weights;
    };
    Part all;
    static void* make(void*) { return new Part; }
    static void take(void*, void* partial, const Point* p, std::size_t n)
    {
        auto& part = *static_cast<Part*>(partial);
        part.points.insert(part.points.end(), p, p + n);
    }
    static void take_values(void* context, void* partial, const Point* p, const PointValues* v, std::size_t n)
    {
        take(context, partial, p, n);
        for (std::size_t k = 0; k < n; ++k)
            static_cast<Part*>(partial)->weights.push_back(v[k].weight);
    }
    static void add(void* context, void* partial)
    {
        auto& part = *static_cast<Part*>(partial);
        auto& all = static_cast<Collected*>(context)->all;
        all.points.insert(all.points.end(), part.points.begin(), part.points.end());
        all.weights.insert(all.weights.end(), part.weights.begin(), part.weights.end());
    }
    static void clear(void*, void* partial) { *static_cast<Part*>(partial) = Part{}; }
    static void destroy(void*, void* partial) { delete static_cast<Part*>(partial); }
};

// Batches of points kept into one chunk and read back: decimals whose
// places grow from batch to batch, digits that outgrow 32 bits once more
// places are taken, and numbers that are no decimals, which turn the chunk
// to doubles, before or after decimals; more than one batch's worth read
// back.
TEST(DecimalPoints, KeptPointsComeBackToTheBit)
{
    const double nan = std::nan("");
    struct Case {
        const char* name;
        std::vector<std::vector<Point>> batches;
        bool decimals; // whether the chunk still holds decimals
    } cases[] = {
        {"places grow on each axis", {{{2000.1, 5}, {-3, 7.5}}, {{2000.123, -7.25}}, {{1, 0.000001}}}, true},
        {"x's digits outgrow 32 bits", {{{3000000, 1}}, {{0.001, 2}}}, false},
        {"no decimal first", {{{0.1 + 0.2, 1}, {2, 3}}}, false},
        {"no decimal after decimals", {{{1.5, 2}, {3, 4}}, {{5, 6}, {7, nan}, {8, 9}}}, false},
        {"minus zero", {{{1, 2}}, {{-0.0, 2}}}, false},
        {"many", {std::vector<Point>(10001, Point{123.456, -0.5})}, true},
        {"many doubles", {std::vector<Point>(10001, Point{0.1 + 0.2, -0.5})}, false},
    };
    for (const Case& c : cases)
        for (const bool with_values : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (with_values ? ", with weights" : ""));
            KeptPoints kept;
            kept.start(KeptPointsKey{}, with_values);
            KeptChunk chunk;
            std::vector<Point> want;
            for (const std::vector<Point>& batch : c.batches) {
                std::vector<PointValues> values;
                for (std::size_t k = 0; k < batch.size(); ++k)
                    values.push_back(PointValues{double(want.size() + k), 0.0});
                keep_points(kept, chunk, batch.data(), values.data(), batch.size());
                want.insert(want.end(), batch.begin(), batch.end());
            }
            if (decimals_at_hand())
                EXPECT_EQ(chunk.points.empty(), c.decimals);
            kept.add_chunk(std::move(chunk));
            kept.finish(ReadCounts{});
            Collected got;
            const auto source = kept_point_source(kept);
            ChunkSink sink{Collected::make,  Collected::take,    Collected::add,
                           Collected::clear, Collected::destroy, &got};
            if (with_values)
                sink.take_values = Collected::take_values;
            read_source(*source, sink, 1);
            ASSERT_EQ(got.all.points.size(), want.size());
            for (std::size_t k = 0; k < want.size(); ++k) {
                ASSERT_TRUE(same_bits(got.all.points[k].x, want[k].x) && same_bits(got.all.points[k].y, want[k].y))
                    << k << ": " << got.all.points[k].x << " " << got.all.points[k].y;
                if (with_values)
                    ASSERT_EQ(got.all.weights[k], double(k)) << k;
            }
        }
}

} // namespace

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

// How a chunk's points are kept: without weights, with each point's
// index as its weight, or with weights asked for but none given (1 each).
enum class Weights { none, indices, ones };

struct ReadBack {
    Collected::Part part;
    bool decimals; // whether the chunk still held decimals
};

// The batches kept into one chunk, then read back from the kept points.
ReadBack keep_and_read_back(const std::vector<std::vector<Point>>& batches, Weights weights)
{
    KeptPoints kept;
    kept.start(KeptPointsKey{}, weights != Weights::none);
    KeptChunk chunk;
    std::size_t count = 0;
    for (const std::vector<Point>& batch : batches) {
        std::vector<PointValues> values;
        for (std::size_t k = 0; k < batch.size(); ++k)
            values.push_back(PointValues{double(count + k), 0.0});
        keep_points(kept, chunk, batch.data(), weights == Weights::indices ? values.data() : nullptr, batch.size());
        count += batch.size();
    }
    const bool decimals = chunk.points.empty();
    kept.add_chunk(std::move(chunk));
    kept.finish(ReadCounts{});
    Collected got;
    const auto source = kept_point_source(kept);
    ChunkSink sink{Collected::make, Collected::take, Collected::add, Collected::clear, Collected::destroy, &got};
    if (weights != Weights::none)
        sink.take_values = Collected::take_values;
    read_source(*source, sink, 1);
    return ReadBack{std::move(got.all), decimals};
}

// The points read back are the batches' to the bit, with their weights.
void expect_read_back(const std::vector<std::vector<Point>>& batches, Weights weights, const ReadBack& got)
{
    std::vector<Point> want;
    for (const std::vector<Point>& batch : batches)
        want.insert(want.end(), batch.begin(), batch.end());
    ASSERT_EQ(got.part.points.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
        ASSERT_TRUE(same_bits(got.part.points[k].x, want[k].x) && same_bits(got.part.points[k].y, want[k].y))
            << k << ": " << got.part.points[k].x << " " << got.part.points[k].y << " for " << want[k].x << " "
            << want[k].y;
        if (weights != Weights::none) {
            ASSERT_EQ(got.part.weights[k], weights == Weights::indices ? double(k) : 1.0) << k;
        }
    }
}

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
        {"nine places", {{{0.5, 1}}, {{0.123456789, -1}}}, true},
        {"x's digits outgrow 32 bits", {{{3000000, 1}}, {{0.001, 2}}}, false},
        {"no decimal first", {{{0.1 + 0.2, 1}, {2, 3}}}, false},
        {"no decimal after decimals", {{{1.5, 2}, {3, 4}}, {{5, 6}, {7, nan}, {8, 9}}}, false},
        {"decimals after doubles", {{{0.1 + 0.2, 1}}, {{1.5, 2}, {3, 4}}}, false},
        {"minus zero", {{{1, 2}}, {{-0.0, 2}}}, false},
        {"many", {std::vector<Point>(10001, Point{123.456, -0.5})}, true},
        {"many doubles", {std::vector<Point>(10001, Point{0.1 + 0.2, -0.5})}, false},
    };
    for (const Case& c : cases)
        for (const Weights weights : {Weights::none, Weights::indices, Weights::ones}) {
            SCOPED_TRACE(testing::Message() << c.name << ", weights " << int(weights));
            const ReadBack got = keep_and_read_back(c.batches, weights);
            if (decimals_at_hand()) {
                EXPECT_EQ(got.decimals, c.decimals);
            }
            expect_read_back(c.batches, weights, got);
        }
}

// Batches of random lengths mixing decimals of random places, digits too
// many for 32 bits, numbers that are no decimals, NaN and -0: every point
// of a step of the wide forms meets each kind somewhere.
TEST(DecimalPoints, RandomMixesComeBackToTheBit)
{
    std::mt19937 random(11);
    const auto number = [&]() {
        const unsigned kind = random() % 256;
        if (kind == 0)
            return 0.1 * double(random() % 1000) + 1.0 / 3;
        if (kind == 1)
            return double(random()) * 1e3 + 0.5;
        if (kind == 2)
            return std::nan("");
        if (kind == 3)
            return -0.0;
        // At most 1e9 at the most places taken: held, whatever the mix.
        const long digits = long(random() % 199999) - 99999;
        const std::string text = std::to_string(digits) + "e-" + std::to_string(random() % 5);
        return std::strtod(text.c_str(), nullptr);
    };
    int held = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<std::vector<Point>> batches(1 + random() % 4);
        for (std::vector<Point>& batch : batches) {
            batch.resize(random() % 41);
            for (Point& p : batch)
                p = Point{number(), number()};
        }
        const Weights weights = static_cast<Weights>(trial % 3);
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        const ReadBack got = keep_and_read_back(batches, weights);
        held += got.decimals;
        expect_read_back(batches, weights, got);
        if (testing::Test::HasFatalFailure())
            return;
    }
    // Both ends of a chunk's life are met.
    if (decimals_at_hand()) {
        EXPECT_GT(held, 300);
    }
    EXPECT_LT(held, 2700);
}

} // namespace

// The quick way through the usual line of a data file: two decimals,
// "1234.5678 -8.5" or "1.234568e+03 -8.5e-01", within its first 32 bytes. The bytes are classed a
// vector at a time, and a number's digits are made an integer without a
// multiplication per digit, giving exactly the value the general parser
// would. Lines laid out like lines met before, up to 64 bytes and with
// exponents and long mantissas too, are read by the layout kept for them.
// Anything unusual is left to that parser. For the point reader's use
// alone.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include <fast_float/fast_float.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace usual_lines {

// The bytes classed at once, and the bytes that must be readable from
// where they start: sixteen more, for a number that begins at the last.
constexpr int kLookBytes = 32;
constexpr std::ptrdiff_t kReadableBytes = kLookBytes + 16;

// The powers of ten a double holds exactly.
constexpr double kExactTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMostExactTen = 22;

// Where the digits and the line feeds lie among the 32 bytes at a line's
// or a number's start, bit i for byte i. Bits from 32 on are clear.
struct ByteClasses {
    std::uint64_t digits;
    std::uint64_t line_feeds;
};

// A number's place among the bytes classed: its first digit, and how many
// digits it has before and after its point.
struct DigitRun {
    int first;
    int whole;
    int fraction;
};

// An exponent's digits: the first, how many (none: no exponent), and its
// sign.
struct ExponentRun {
    int first = 0;
    int digits = 0;
    bool negative = false;
};

// Where a number of a kept layout lies: its digits and point, its sign,
// and its exponent.
struct NumberLayout {
    DigitRun run;
    DigitRun head; // its first fifteen digits at most, read at once
    ExponentRun exponent;
    bool negative;
};

// Where a line's two numbers lie.
struct LineLayout {
    NumberLayout x, y;
    int end; // the byte after the second number
};

// For whole and fraction digit counts, the byte each of sixteen takes:
// the digits at the right, in order, the point skipped; zero (a byte
// with its top bit set) before them.
using DigitOrder = std::array<std::int8_t, 16>;
alignas(16) constexpr auto kDigitOrders = [] {
    std::array<std::array<DigitOrder, 9>, 9> orders{};
    for (int whole = 0; whole <= 8; ++whole)
        for (int fraction = 0; fraction <= 8; ++fraction) {
            const int digits = whole + fraction;
            for (int j = 0; j < 16; ++j) {
                const int k = j - (16 - digits);
                orders[whole][fraction][j] =
                    digits > 15 || k < 0 ? std::int8_t(-128) : std::int8_t(k < whole ? k : k + 1);
            }
        }
    return orders;
}();

// A kept layout; where both numbers are usual (no exponent, at most eight
// digits on either side of the point and fifteen in all), made ready for
// reading both at once.
struct PairPlan {
    alignas(32) DigitOrder orders[2]; // x's digits lined up from x's first, y's from y's
    alignas(16) double tens[2];       // the powers of ten x and y are divided by
    alignas(16) double signs[2];      // their sign bits
    LineLayout layout;
    bool usual;

    explicit PairPlan(const LineLayout& line) : layout(line), usual(is_usual(line.x) && is_usual(line.y))
    {
        if (!usual)
            return;
        orders[0] = kDigitOrders[line.x.run.whole][line.x.run.fraction];
        orders[1] = kDigitOrders[line.y.run.whole][line.y.run.fraction];
        tens[0] = kExactTens[line.x.run.fraction];
        tens[1] = kExactTens[line.y.run.fraction];
        signs[0] = line.x.negative ? -0.0 : 0.0;
        signs[1] = line.y.negative ? -0.0 : 0.0;
    }
    PairPlan() = default;

    static bool is_usual(const NumberLayout& number)
    {
        return number.exponent.digits == 0 && number.run.fraction <= 8 && number.run.whole + number.run.fraction <= 15;
    }
};

// The value of a number without an exponent: its digits, then one
// division by an exact power of ten.
template <class Scan>
inline double plain_decimal(const char* p, DigitRun run)
{
    return static_cast<double>(static_cast<std::int64_t>(Scan::integer(p, run))) / kExactTens[run.fraction];
}

// On any processor: two 16-byte compares (or a byte at a time where there
// are no vectors), and eight digits at a time in a 64-bit word.
struct PlainScan {
    static ByteClasses classify(const char* p)
    {
#if defined(__x86_64__)
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i line_feed = _mm_set1_epi8('\n');
        return {bits_of(digit_bytes(low), digit_bytes(high)),
                bits_of(_mm_cmpeq_epi8(low, line_feed), _mm_cmpeq_epi8(high, line_feed))};
#else
        ByteClasses c{};
        for (int i = 0; i < kLookBytes; ++i) {
            c.digits |= std::uint64_t(p[i] >= '0' && p[i] <= '9') << i;
            c.line_feeds |= std::uint64_t(p[i] == '\n') << i;
        }
        return c;
#endif
    }

    // Bit i set where byte i differs from `bytes`, for the 32 bytes at p.
    static std::uint32_t differing(const char* p, const char* bytes)
    {
#if defined(__x86_64__)
        const auto same = [](const char* a, const char* b) {
            return static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                                 _mm_load_si128(reinterpret_cast<const __m128i*>(b)))));
        };
        return ~(same(p, bytes) | same(p + 16, bytes + 16) << 16);
#else
        std::uint32_t bits = 0;
        for (int i = 0; i < kLookBytes; ++i)
            bits |= std::uint32_t(p[i] != bytes[i]) << i;
        return bits;
#endif
    }

    static bool other_pair(const char* p, const LineLayout& line, double& x, double& y);

    // Both numbers of a line laid out as planned.
    static void pair(const char* p, const PairPlan& plan, double& x, double& y)
    {
        x = plain_decimal<PlainScan>(p, plan.layout.x.run);
        y = plain_decimal<PlainScan>(p, plan.layout.y.run);
        x = plan.layout.x.negative ? -x : x;
        y = plan.layout.y.negative ? -y : y;
    }

    // The run's digits as one integer, the point left out.
    static std::uint64_t integer(const char* p, DigitRun run)
    {
        const std::uint64_t whole = eight_digits(p + run.first, run.whole);
        if (run.fraction == 0)
            return whole;
        return whole * kWholeTens[run.fraction] + eight_digits(p + run.first + run.whole + 1, run.fraction);
    }

    static constexpr std::uint64_t kWholeTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

    // The value of the n digits at p (1 to 8), eight bytes being readable
    // there.
    static std::uint64_t eight_digits(const char* p, int n)
    {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        // The first digit is the lowest byte. Shifted up, the bytes after
        // the digits fall out and zero bytes, leading zero digits, come in
        // below. Subtracted first: a byte after the digits may borrow from
        // the byte above it, but those all fall out.
        word = (word - 0x3030303030303030u) << (8 * (8 - n));
        // Neighbouring digits into pairs, pairs into fours, fours into eight.
        word = word * 10 + (word >> 8);
        constexpr std::uint64_t kPairs = 0x000000FF000000FF;
        return ((word & kPairs) * (100 + (1000000ull << 32)) + ((word >> 16) & kPairs) * (1 + (10000ull << 32))) >> 32;
    }

private:
#if defined(__x86_64__)
    static std::uint64_t bits_of(__m128i low, __m128i high)
    {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(high))) << 16;
    }

    static __m128i digit_bytes(__m128i bytes)
    {
        return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                             _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    }
#endif
};

#if defined(__x86_64__)
// On processors with AVX2: the 32 bytes in one compare, and a number's
// sixteen bytes shuffled so that its digits stand at the right, the point
// left out, then joined by three multiply-adds.
struct WideScan {
    [[gnu::target("avx2")]] static ByteClasses classify(const char* p)
    {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i digits = _mm256_and_si256(_mm256_cmpgt_epi8(bytes, _mm256_set1_epi8('0' - 1)),
                                                _mm256_cmpgt_epi8(_mm256_set1_epi8('9' + 1), bytes));
        const __m256i line_feeds = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'));
        return {static_cast<std::uint32_t>(_mm256_movemask_epi8(digits)),
                static_cast<std::uint32_t>(_mm256_movemask_epi8(line_feeds))};
    }

    [[gnu::target("avx2")]] static std::uint32_t differing(const char* p, const char* bytes)
    {
        const __m256i same = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                               _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes)));
        return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(same));
    }

    [[gnu::target("avx2")]] static std::uint64_t integer(const char* p, DigitRun run)
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + run.first));
        const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        const __m128i order =
            _mm_load_si128(reinterpret_cast<const __m128i*>(kDigitOrders[run.whole][run.fraction].data()));
        // Byte pairs, then pairs of pairs, then fours of them: the high
        // eight digits in the first 32 bits, the low eight in the second.
        const __m128i digits = _mm_shuffle_epi8(values, order);
        const __m128i pairs = _mm_maddubs_epi16(digits, _mm_set1_epi16(1 << 8 | 10));
        const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(1 << 16 | 100));
        const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours), _mm_set1_epi32(1 << 16 | 10000));
        const std::uint64_t high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
        const std::uint64_t low = static_cast<std::uint32_t>(_mm_extract_epi32(eights, 1));
        return high * 100000000 + low;
    }

    [[gnu::target("avx2")]] static bool other_pair(const char* p, const LineLayout& line, double& x, double& y);

    // The same for both numbers at once, one in each half, and both
    // divided at once; the same values as one at a time.
    [[gnu::target("avx2")]] static void pair(const char* p, const PairPlan& plan, double& x, double& y)
    {
        const __m256i bytes = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + plan.layout.x.run.first))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + plan.layout.y.run.first)), 1);
        const __m256i values = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
        const __m256i digits =
            _mm256_shuffle_epi8(values, _mm256_load_si256(reinterpret_cast<const __m256i*>(plan.orders)));
        const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(1 << 8 | 10));
        const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(1 << 16 | 100));
        const __m256i eights = _mm256_madd_epi16(_mm256_packus_epi32(fours, fours), _mm256_set1_epi32(1 << 16 | 10000));
        // x's high and low eight digits, then y's; high * 1e8 + low is
        // exact, the fifteen digits at most being below 2^53.
        const __m128i halves = _mm256_castsi256_si128(_mm256_permute4x64_epi64(eights, 0x08));
        const __m256d parts = _mm256_mul_pd(_mm256_cvtepi32_pd(halves), _mm256_setr_pd(1e8, 1, 1e8, 1));
        const __m128d integers = _mm_hadd_pd(_mm256_castpd256_pd128(parts), _mm256_extractf128_pd(parts, 1));
        const __m128d values_xy = _mm_xor_pd(_mm_div_pd(integers, _mm_load_pd(plan.tens)), _mm_load_pd(plan.signs));
        _mm_storel_pd(&x, values_xy);
        _mm_storeh_pd(&y, values_xy);
    }
};
#endif

// Characters that would carry a number on past its digits: a second point,
// an exponent mark, the x of a hexadecimal "0x".
constexpr auto kGoesOn = [] {
    std::array<bool, 256> goes_on{};
    for (unsigned char c : {'.', 'e', 'E', 'x', 'X'})
        goes_on[c] = true;
    return goes_on;
}();

// The first byte from i on that is not among `bits`; 32 or more when all
// the bytes looked at are.
inline int first_not(std::uint64_t bits, int i) { return i + std::countr_zero(~bits >> i); }

// The exponent after the mark at byte `mark` of the bytes classed: maybe
// a sign, then one to three digits; false for anything else.
inline bool exponent_run(const char* p, const ByteClasses& c, int mark, ExponentRun& run)
{
    int j = mark + 1;
    run.negative = p[j] == '-';
    j += run.negative || p[j] == '+';
    if (j >= 64) // past any bytes classed
        return false;
    run.first = j;
    run.digits = first_not(c.digits, j) - j;
    return run.digits - 1u <= 2u;
}

// Its value.
inline int exponent_value(const char* p, const ExponentRun& run)
{
    const char* e = p + run.first;
    int value = e[0] - '0';
    if (run.digits > 1)
        value = value * 10 + (e[1] - '0');
    if (run.digits > 2)
        value = value * 10 + (e[2] - '0');
    return run.negative ? -value : value;
}

// An exponent mark and its digits at byte i of the bytes classed: "e",
// "E", then maybe a sign, then one to three digits. On success i moves past
// them; false for anything else.
inline bool scan_exponent(const char* p, const ByteClasses& c, int& i, int& exponent)
{
    ExponentRun run;
    if (!exponent_run(p, c, i, run))
        return false;
    exponent = exponent_value(p, run);
    i = run.first + run.digits;
    return true;
}

// The usual number at byte i of the bytes classed: one to eight digits,
// maybe a point and one to eight more, no more than fifteen in all, and
// with `Exponent` maybe an exponent (a second try, for lines that have
// them, so that the usual number's way stays as short as it can be). Its
// digits make an integer a double holds; when that and the power of ten
// it is scaled by are both exact, one division or multiplication rounds it
// as the general parser does. On success i moves past the number; false
// for anything else.
template <class Scan, bool Exponent = false>
inline bool scan_decimal(const char* p, const ByteClasses& c, int& i, double& value)
{
    DigitRun run{i, first_not(c.digits, i) - i, 0};
    if (run.whole - 1u > 7u)
        return false;
    int end = i + run.whole;
    if (p[end] == '.') {
        run.fraction = first_not(c.digits, end + 1) - (end + 1);
        if (run.fraction - 1u > 7u || run.whole + run.fraction > 15)
            return false;
        end += 1 + run.fraction;
    }
    int scale = -run.fraction;
    if constexpr (Exponent) {
        int exponent;
        if ((p[end] | 0x20) == 'e') {
            if (!scan_exponent(p, c, end, exponent))
                return false;
            scale += exponent;
            if (scale < -kMostExactTen || scale > kMostExactTen)
                return false;
        }
    }
    // The byte after the number must have been looked at, and must not
    // carry it on.
    if (end >= kLookBytes || kGoesOn[static_cast<unsigned char>(p[end])])
        return false;
    if constexpr (Exponent) {
        const double digits = static_cast<double>(static_cast<std::int64_t>(Scan::integer(p, run)));
        value = scale <= 0 ? digits / kExactTens[-scale] : digits * kExactTens[scale];
    } else {
        value = plain_decimal<Scan>(p, run);
    }
    i = end;
    return true;
}

inline bool is_space_or_tab(char c) { return c == ' ' || c == '\t'; }

inline bool is_separator(char c) { return c == ',' || c == ';'; }

// Past the spaces and tabs from byte i, up to `limit`.
inline void skip_blanks(const char* p, int& i, int limit)
{
    while (i < limit && is_space_or_tab(p[i]))
        ++i;
}

// Past what may stand between two numbers: spaces or tabs, and maybe a
// comma or a semicolon among them.
inline void skip_separation(const char* p, int& i, int limit)
{
    skip_blanks(p, i, limit);
    if (i < limit && is_separator(p[i])) {
        ++i;
        skip_blanks(p, i, limit);
    }
}

// The usual line at p: two numbers as above, the second after spaces or
// tabs and maybe a comma or a semicolon, either maybe negative. The digits'
// places come from the bytes' classes, so the line waits on few loads.
// kReadableBytes must be readable at p. On success `stop` is where the
// second number ended, and `layout`, if given, where the numbers lie;
// false sends the line the slow way.
template <class Scan, bool Exponent = false>
inline bool scan_pair(const char* p, const ByteClasses& c, double& x, double& y, const char*& stop,
                      LineLayout* layout = nullptr)
{
    int i = 0;
    skip_blanks(p, i, kLookBytes);
    const bool x_negative = p[i] == '-';
    i += x_negative;
    const int x_first = i;
    if (!scan_decimal<Scan, Exponent>(p, c, i, x))
        return false;
    const int x_end = i;
    skip_separation(p, i, kLookBytes);
    const bool y_negative = p[i] == '-';
    i += y_negative;
    const int y_first = i;
    if (!scan_decimal<Scan, Exponent>(p, c, i, y))
        return false;
    x = x_negative ? -x : x;
    y = y_negative ? -y : y;
    stop = p + i;
    if (layout) {
        // Without exponents, a number is its digits, maybe split by a point.
        auto number = [&](int first, int end, bool negative) {
            const int whole = first_not(c.digits, first) - first;
            const DigitRun run{first, whole, end == first + whole ? 0 : end - first - whole - 1};
            return NumberLayout{run, run, ExponentRun{}, negative};
        };
        *layout = LineLayout{number(x_first, x_end, x_negative), number(y_first, i, y_negative), i};
    }
    return true;
}

// The bytes a kept layout covers, and those that must be readable from
// a line's start to use one: a line of two numbers of nineteen digits, as
// "%.18e %.18e" writes them, is 50 bytes.
constexpr int kLayoutBytes = 64;
constexpr std::ptrdiff_t kLayoutReadable = kLayoutBytes + 16;

// A number of a kept layout at byte i of a line's 64 bytes: maybe a sign,
// one to eight digits, maybe a point and one or more digits, nineteen
// digits at most in all, maybe an exponent mark, a sign and one to three
// digits. On success i moves past it.
inline bool number_layout(const char* p, const ByteClasses& c, int& i, NumberLayout& number)
{
    if (i >= kLayoutBytes)
        return false;
    number.negative = p[i] == '-';
    i += p[i] == '-' || p[i] == '+';
    if (i >= kLayoutBytes)
        return false;
    number.run = DigitRun{i, first_not(c.digits, i) - i, 0};
    if (number.run.whole - 1u > 7u)
        return false;
    int end = i + number.run.whole;
    if (p[end] == '.') {
        if (end + 1 >= kLayoutBytes)
            return false;
        number.run.fraction = first_not(c.digits, end + 1) - (end + 1);
        if (number.run.fraction < 1 || number.run.whole + number.run.fraction > 19)
            return false;
        end += 1 + number.run.fraction;
    }
    const int head_fraction = std::min({number.run.fraction, 8, 15 - number.run.whole});
    number.head = DigitRun{i, number.run.whole, head_fraction};
    number.exponent = ExponentRun{};
    if (end < kLayoutBytes && (p[end] | 0x20) == 'e') {
        if (!exponent_run(p, c, end, number.exponent))
            return false;
        end = number.exponent.first + number.exponent.digits;
    }
    if (end >= kLayoutBytes || kGoesOn[static_cast<unsigned char>(p[end])])
        return false;
    i = end;
    return true;
}

// The layout of the line at p, when its two numbers are of the kind kept,
// with what scan_pair allows around them.
inline bool line_layout(const char* p, const ByteClasses& c, LineLayout& line)
{
    int i = 0;
    skip_blanks(p, i, kLayoutBytes);
    if (!number_layout(p, c, i, line.x))
        return false;
    skip_separation(p, i, kLayoutBytes);
    if (!number_layout(p, c, i, line.y))
        return false;
    line.end = i;
    return true;
}

// The value of a number of a kept layout, as the general parser rounds it:
// its digits as an integer w and its power of ten q, then w itself scaled
// by an exact power of ten where both are exact, else the same
// multiplication by a 128-bit power of five the general parser does. False
// for the rare number that needs more than that.
template <class Scan>
inline bool number_value(const char* p, const NumberLayout& number, double& value)
{
    std::uint64_t w = Scan::integer(p, number.head);
    const char* digits = p + number.head.first + number.head.whole + 1 + number.head.fraction;
    for (int left = number.run.fraction - number.head.fraction; left > 0;) {
        const int n = left < 8 ? left : 8;
        w = w * PlainScan::kWholeTens[n] + PlainScan::eight_digits(digits, n);
        digits += n;
        left -= n;
    }
    const int q = (number.exponent.digits > 0 ? exponent_value(p, number.exponent) : 0) - number.run.fraction;
    if (w <= (std::uint64_t(1) << 53) && q >= -kMostExactTen && q <= kMostExactTen) {
        value = q < 0 ? static_cast<double>(w) / kExactTens[-q] : static_cast<double>(w) * kExactTens[q];
    } else {
        const fast_float::adjusted_mantissa scaled = fast_float::compute_float<fast_float::binary_format<double>>(q, w);
        if (scaled.power2 < 0)
            return false;
        fast_float::to_float(false, scaled, value);
    }
    value = number.negative ? -value : value;
    return true;
}

// Both numbers of a line whose layout is kept but not usual, each scan's
// own way; apart, so that the usual lines' loop stays small.
[[gnu::noinline]] inline bool PlainScan::other_pair(const char* p, const LineLayout& line, double& x, double& y)
{
    return number_value<PlainScan>(p, line.x, x) && number_value<PlainScan>(p, line.y, y);
}

#if defined(__x86_64__)
[[gnu::target("avx2"), gnu::noinline]] inline bool WideScan::other_pair(const char* p, const LineLayout& line,
                                                                        double& x, double& y)
{
    return number_value<WideScan>(p, line.x, x) && number_value<WideScan>(p, line.y, y);
}
#endif

// Lines laid out alike, as most of a file written with one format is. The
// layouts of the lines read are kept by their digits' places; a line whose
// digits lie where a kept line's did, and whose other bytes up to the end
// of its second number are that line's, has the same layout, and is read
// without a scan. Which lines are kept changes how fast a line is read,
// never what it reads as.
class LayoutMemo {
public:
    LayoutMemo()
    {
        for (Entry& entry : entries_)
            entry.digits = kEmpty;
    }

    // x and y of the line at p when a kept layout fits it, and where the
    // next line starts; kLayoutReadable bytes must be readable at p. The
    // second 32 bytes are looked at only for a line that reaches them.
    template <class Scan>
    bool read(const char* p, double& x, double& y, const char*& next) const
    {
        const ByteClasses c = classes_of<Scan>(p);
        const std::uint64_t digits = key(c);
        const Entry& entry = entries_[slot(digits)];
        if (entry.digits != digits)
            return false;
        if (entry.short_and_usual) {
            if ((Scan::differing(p, entry.bytes) & entry.fixed) != 0)
                return false;
            Scan::pair(p, entry.plan, x, y);
        } else {
            const std::uint64_t differ = Scan::differing(p, entry.bytes) |
                std::uint64_t(Scan::differing(p + kLookBytes, entry.bytes + kLookBytes)) << kLookBytes;
            if ((differ & entry.fixed) != 0)
                return false;
            if (entry.plan.usual)
                Scan::pair(p, entry.plan, x, y);
            else if (!Scan::other_pair(p, entry.plan.layout, x, y))
                return false;
        }
        next = p + std::countr_zero(c.line_feeds) + 1;
        return true;
    }

    // Keeps the layout of the line at p, if it is of the kind kept: the
    // one given, which the usual scan found, or else the line's own.
    // `first_bytes` are the classes of its first 32 bytes. Only for a line
    // that read as a point; kLayoutReadable bytes must be readable at p.
    template <class Scan>
    void learn(const char* p, const ByteClasses& first_bytes, const LineLayout* found)
    {
        const ByteClasses c = first_bytes.line_feeds != 0 ? first_bytes : classes_of<Scan>(p);
        const std::uint64_t digits = key(c);
        if (digits == kNoKey)
            return;
        LineLayout line;
        if (found)
            line = *found;
        else if (!line_layout(p, c, line))
            return;
        Entry& entry = entries_[slot(digits)];
        std::memcpy(entry.bytes, p, kLayoutBytes);
        entry.digits = digits;
        entry.fixed = ((std::uint64_t(2) << line.end) - 1) & ~digits;
        entry.plan = PairPlan(line);
        entry.short_and_usual = entry.plan.usual && (entry.fixed >> kLookBytes) == 0;
    }

private:
    static constexpr int kSlotBits = 8;
    // Neither is any line's key, which has no bit at or above its line
    // feed's: the key of a line without a line feed among the bytes
    // classed, and that of an entry not yet learnt.
    static constexpr std::uint64_t kNoKey = ~std::uint64_t(0);
    static constexpr std::uint64_t kEmpty = std::uint64_t(1) << 63;

    struct Entry {
        alignas(32) char bytes[kLayoutBytes]; // the line the layout was learnt from
        std::uint64_t digits;                 // its digits' places before its line feed
        std::uint64_t fixed;                  // its other bytes up to its second number's end, and the one after
        PairPlan plan;
        bool short_and_usual; // within the first 32 bytes, and read the usual way
    };

    // The classes of the bytes at p up to its line feed: 32 bytes, or 64
    // for a line that reaches past them.
    template <class Scan>
    static ByteClasses classes_of(const char* p)
    {
        const ByteClasses low = Scan::classify(p);
        if (low.line_feeds != 0)
            return low;
        const ByteClasses high = Scan::classify(p + kLookBytes);
        return ByteClasses{low.digits | high.digits << kLookBytes, high.line_feeds << kLookBytes};
    }

    // The digits' places before the line feed; none without a line feed
    // among the bytes classed.
    static std::uint64_t key(const ByteClasses& c)
    {
        if (c.line_feeds == 0)
            return kNoKey;
        return c.digits & ((c.line_feeds & (0 - c.line_feeds)) - 1);
    }

    static unsigned slot(std::uint64_t digits)
    {
        return static_cast<unsigned>((digits * 0x9E3779B97F4A7C15u) >> (64 - kSlotBits));
    }

    Entry entries_[1 << kSlotBits];
};

} // namespace usual_lines

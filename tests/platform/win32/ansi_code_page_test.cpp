#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/winnls.h"

namespace {

// The byte offsets CharNextA visits, up to and including the terminator.
std::vector<int> steps(const char* s)
{
    std::vector<int> offsets;
    const char* p = s;
    while (*p) {
        const char* next = CharNextA(p);
        EXPECT_GT(next, p);
        p = next;
        offsets.push_back(static_cast<int>(p - s));
    }
    EXPECT_EQ(CharNextA(p), p); // the terminator stays put
    return offsets;
}

TEST(AnsiCodePage, Utf8SequencesAreOneCharacter)
{
    ASSERT_EQ(GetACP(), UINT(CP_UTF8));
    struct {
        const char* text;
        std::vector<int> offsets;
    } cases[] = {
        {"a\\b", {1, 2, 3}},
        {"\xE8\xA1\xA8\\", {3, 4}},         // 表 then a backslash
        {"\xC3\xA9x", {2, 3}},              // é
        {"\xF0\x9F\x98\x80", {4}},          // four bytes
        {"\xE8\xA1", {1, 2}},               // cut short by the terminator
        {"\x80\xFF", {1, 2}},               // stray bytes
        {"\xC0\xAF", {1, 2}},               // overlong slash is no character
        {"\xED\xA0\x80", {1, 2, 3}},        // surrogate
        {"\xE0\x9F\xBF", {1, 2, 3}},        // overlong three bytes
        {"\xE0\xA0\x80", {3}},              // U+0800, the first of three bytes
        {"\xF0\x8F\xBF\xBF", {1, 2, 3, 4}}, // overlong four bytes
        {"\xF4\x8F\xBF\xBF", {4}},          // U+10FFFF, the last character
        {"\xF4\x90\x80\x80", {1, 2, 3, 4}}, // past U+10FFFF
    };
    for (const auto& c : cases)
        EXPECT_EQ(steps(c.text), c.offsets) << c.text;
}

TEST(AnsiCodePage, Cp932KeepsTheTrailByteOfADoubleByteCharacter)
{
    ASSERT_TRUE(SetProgramAnsiCodePage(932));
    EXPECT_EQ(GetACP(), 932u);
    // 表 is 0x95 0x5C: its second byte is not a backslash.
    EXPECT_EQ(steps("C:\\\x95\x5C\\a"), (std::vector<int>{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(steps("\x81"), (std::vector<int>{1}));            // lead byte before the terminator
    EXPECT_EQ(steps("\xA0\xE0\x40"), (std::vector<int>{1, 3})); // half-width kana is single
    EXPECT_TRUE(IsDBCSLeadByte(0x95));
    EXPECT_FALSE(IsDBCSLeadByte(0x5C));
    EXPECT_FALSE(SetProgramAnsiCodePage(1252));
    EXPECT_EQ(GetACP(), 932u);
    ASSERT_TRUE(SetProgramAnsiCodePage(CP_UTF8));
    EXPECT_EQ(CharNextA(nullptr), nullptr);
}

} // namespace

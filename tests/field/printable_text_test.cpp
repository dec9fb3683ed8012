// Text from a file or a server as a terminal is given it: checked on a
// table of hostile and harmless texts, and on random bytes against the C
// library's own UTF-8 decoder.
#include "field/printable_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <string_view>

namespace {

TEST(PrintableTextTest, ControlsAndBrokenUtf8AreEscapedAndTheRestKept)
{
    const struct {
        std::string text, printable;
    } cases[] = {
        {"plain, ascii ~", "plain, ascii ~"},
        {"\x1B]0;title\x07", "\\x1B]0;title\\x07"},   // a window title and a bell
        {"\x1B[2J\r\n\t", "\\x1B[2J\\x0D\\x0A\\x09"}, // a cleared screen, line ends, a tab
        {std::string("a\0b", 3), "a\\x00b"},          // a NUL does not end the text
        {"\x7F", "\\x7F"},                            // DEL
        {"\xC2\x9B"
         "31m",
         "\\xC2\\x9B31m"},                                                // the 8-bit CSI, as UTF-8
        {"\xC2\xA0\xC3\xA9t\xC3\xA9", "\xC2\xA0\xC3\xA9t\xC3\xA9"},       // NBSP, été
        {"\xE6\x97\xA5\xF0\x9F\x98\x80", "\xE6\x97\xA5\xF0\x9F\x98\x80"}, // three and four bytes
        {"\x9B", "\\x9B"},                                                // a lone continuation byte
        {"\xC0\xAF", "\\xC0\\xAF"},                                       // an overlong slash
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},                              // overlong in three bytes
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                              // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                     // past U+10FFFF
        {"\xE6\x97", "\\xE6\\x97"},                                       // cut short at the end
        {"\xE6\x97x", "\\xE6\\x97x"},                                     // cut short by the next character
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable_text(c.text), c.printable) << c.printable;
    // A view cut inside a character: the bytes past its end are not its own.
    const std::string whole = "\xE6\x97\xA5";
    EXPECT_EQ(printable_text(std::string_view(whole).substr(0, 2)), "\\xE6\\x97");
}

// Any bytes: the result is well-formed UTF-8 by the C library's reckoning,
// free of controls, unchanged when escaped again, and the text itself when
// that already was all of these.
TEST(PrintableTextTest, RandomBytesGiveSafeTextThatEscapesToItself)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const auto safe = [](const std::string& text) {
        std::mbstate_t state{};
        for (std::size_t at = 0; at < text.size();) {
            wchar_t c = 0;
            const std::size_t used = std::mbrtowc(&c, text.data() + at, text.size() - at, &state);
            // The library takes UTF-8's old forms too: Unicode's range is checked here.
            if (used == 0 || used > text.size() - at || c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
                (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
                return false;
            at += used;
        }
        return true;
    };
    std::mt19937 random(45);
    for (int k = 0; k < 20000; ++k) {
        std::string text(random() % 12, '\0');
        for (char& byte : text) // mostly the bytes of UTF-8 and controls
            byte = char(random() % 4 == 0 ? random() % 0x20 : 0x80 + random() % 0x80);
        const std::string printable = printable_text(text);
        ASSERT_TRUE(safe(printable)) << printable;
        ASSERT_EQ(printable_text(printable), printable);
        if (safe(text)) {
            ASSERT_EQ(printable, text);
        }
    }
    std::setlocale(LC_CTYPE, "C");
}

} // namespace

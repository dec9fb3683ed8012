#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/win32/winnls.h"
#include "resources/texts.h"

namespace {

// The printf conversions of a text, in order ("%.*s", "%s", ...).
std::vector<std::string> conversions(const char* text)
{
    std::vector<std::string> found;
    for (const char* p = text; *p; ++p) {
        if (*p != '%')
            continue;
        const char* start = p++;
        while (*p && !std::isalpha(static_cast<unsigned char>(*p)) && *p != '%')
            ++p;
        if (!*p)
            break;
        found.emplace_back(start, p + 1);
    }
    return found;
}

// The parts of a filter up to its double zero: name, pattern, name, ...
std::vector<std::string> filter_parts(const char* filter)
{
    std::vector<std::string> parts;
    for (const char* p = filter; *p; p += parts.back().size() + 1)
        parts.emplace_back(p);
    return parts;
}

bool is_filter(TextId id) { return id == TextId::data_filter || id == TextId::texture_filter; }

// Each language has every text, taking the same arguments, and the file
// dialogs offer the same patterns under translated names.
TEST(TextsTest, EveryLanguageHasEveryTextWithTheSameArguments)
{
    const auto japanese = text_table(UiLanguage::japanese);
    const auto english = text_table(UiLanguage::english);
    ASSERT_EQ(japanese.size(), static_cast<size_t>(kTextCount));
    ASSERT_EQ(english.size(), static_cast<size_t>(kTextCount));
    for (int i = 0; i < kTextCount; ++i) {
        EXPECT_EQ(conversions(japanese[i].text), conversions(english[i].text)) << "text " << i;
        if (!is_filter(TextId(i)))
            continue;
        const auto ja = filter_parts(japanese[i].text), en = filter_parts(english[i].text);
        ASSERT_EQ(ja.size(), en.size()) << "text " << i;
        ASSERT_EQ(ja.size() % 2, 0u) << "text " << i;
        for (size_t k = 1; k < ja.size(); k += 2)
            EXPECT_EQ(ja[k], en[k]) << "text " << i;
    }
    // A printf conversion in a text that takes none would read past the arguments.
    EXPECT_EQ(conversions(text_table(UiLanguage::japanese)[int(TextId::cannot_save_format)].text),
              std::vector<std::string>{"%s"});
}

TEST(TextsTest, TheLocaleChoosesEnglishOrJapanese)
{
    struct Case {
        const char *language, *lc_all, *lc_messages, *lang;
        WORD expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, nullptr, LANG_JAPANESE},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", LANG_ENGLISH},
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", LANG_JAPANESE},
        {nullptr, nullptr, nullptr, "C.UTF-8", LANG_JAPANESE},
        {nullptr, nullptr, "en_GB", "ja_JP", LANG_ENGLISH},
        {nullptr, "ja_JP", "en_GB", "en_GB", LANG_JAPANESE},
        {"en:ja", "ja_JP", nullptr, nullptr, LANG_ENGLISH},
        {"", "", "", "en", LANG_ENGLISH}, // an empty one is not set
        {"de", nullptr, nullptr, "en_US", LANG_JAPANESE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PRIMARYLANGID(UiLanguageOfLocale(c.language, c.lc_all, c.lc_messages, c.lang)), c.expected)
            << (c.lang ? c.lang : "-");
}

} // namespace

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

// The facts a text states hold in both languages: the path and number
// limits the program keeps to, which field or axis it names, X before Y.
// The English table is English: plain ASCII but for its dash.
TEST(TextsTest, EveryLanguageStatesTheSameFacts)
{
    const struct {
        TextId id;
        std::vector<std::string> parts; // in this order
    } facts[] = {
        {TextId::path_too_long, {"1023"}},
        {TextId::none_in_range_format, {"X %s..%s, Y %s..%s"}},
        {TextId::title_format, {"Varnel : %.*s"}},
        {TextId::x_min_field, {"X[min]"}},
        {TextId::x_max_field, {"X[max]"}},
        {TextId::y_min_field, {"Y[min]"}},
        {TextId::y_max_field, {"Y[max]"}},
        {TextId::x_marker_field, {" X"}},
        {TextId::y_marker_field, {" Y"}},
        {TextId::axis_x_name, {"X"}},
        {TextId::axis_y_name, {"Y"}},
    };
    for (UiLanguage language : {UiLanguage::japanese, UiLanguage::english}) {
        const auto table = text_table(language);
        for (const auto& fact : facts) {
            const std::string text = table[int(fact.id)].text;
            size_t at = 0;
            for (const std::string& part : fact.parts) {
                at = text.find(part, at);
                EXPECT_NE(at, std::string::npos) << text << " lacks " << part;
            }
        }
    }
    for (const TextRow& row : text_table(UiLanguage::english)) {
        std::string text = row.text;
        if (const size_t dash = text.find("\u2014"); dash != std::string::npos)
            text.erase(dash, 3);
        for (char c : text)
            EXPECT_TRUE(static_cast<unsigned char>(c) < 128) << row.text;
    }
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

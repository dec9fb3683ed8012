// The interface's language from the locale's variables, as programs take
// their messages' language.
#include <gtest/gtest.h>

#include "platform/win32/winnls.h"

namespace {

TEST(UserLanguage, TheFirstVariableSetDecides)
{
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
    const LANGID japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    const struct {
        const char *language, *lc_all, *lc_messages, *lang;
        LANGID wanted;
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr, japanese},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", english},
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", japanese},
        {nullptr, nullptr, nullptr, "C", japanese},
        {"en", "ja_JP.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", english},
        {"ja", "en_GB.UTF-8", "en_GB.UTF-8", "en_GB.UTF-8", japanese},
        {"", "en_GB.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", english},
        {"", "", "en_GB.UTF-8", "ja_JP.UTF-8", english},
        {nullptr, "", "", "en_US", english},
        {"", "", "", "", japanese},
        {nullptr, nullptr, "ja_JP", "en_US", japanese},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UiLanguageOfLocale(c.language, c.lc_all, c.lc_messages, c.lang), c.wanted)
            << (c.language ? c.language : "-") << " " << (c.lc_all ? c.lc_all : "-") << " "
            << (c.lc_messages ? c.lc_messages : "-") << " " << (c.lang ? c.lang : "-");
}

} // namespace

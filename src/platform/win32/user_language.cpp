// The user interface's language, from the locale's variables.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/win32/winnls.h"

LANGID UiLanguageOfLocale(const char* language, const char* lc_all, const char* lc_messages, const char* lang)
{
    // The first one set decides, as for a program's messages; an empty one
    // counts as not set.
    for (const char* value : {language, lc_all, lc_messages, lang}) {
        if (value && value[0])
            return MAKELANGID(std::strncmp(value, "en", 2) == 0 ? LANG_ENGLISH : LANG_JAPANESE, SUBLANG_DEFAULT);
    }
    return MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
}

LANGID GetUserDefaultUILanguage(void)
{
    return UiLanguageOfLocale(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                              std::getenv("LANG"));
}

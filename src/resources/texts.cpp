#include "resources/texts.h"

#include "platform/win32/winnls.h"

std::span<const TextRow> text_table(UiLanguage language)
{
    return language == UiLanguage::english ? std::span<const TextRow>(kEnglishTexts)
                                           : std::span<const TextRow>(kJapaneseTexts);
}

UiLanguage ui_language()
{
    static const UiLanguage language =
        PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ENGLISH ? UiLanguage::english : UiLanguage::japanese;
    return language;
}

const char* text(TextId id) { return text_table(ui_language())[static_cast<int>(id)].text; }

// The installer's texts for the tests, in UTF-8, the ANSI code page and UTF-16.
#include "tests/win32/ui_texts.h"
#include "ui_texts_data.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

Language expected_language()
{
    const char *value = getenv("KAVLIN_TEST_LANGUAGE");
    if (!value || !*value)
        value = getenv("LANG");
    if (value && strncmp(value, "cs", 2) == 0)
        return CZECH;
    if (value && strncmp(value, "sk", 2) == 0)
        return SLOVAK;
    return ENGLISH;
}

const char *language_name(Language language)
{
    static const char *const names[] = { "cs", "sk", "en" };
    return names[language];
}

std::string ui_utf8(int id, Language language)
{
    for (const UiTextRow &row : UI_TEXT_ROWS)
        if (row.id == id && row.language == language)
            return row.utf8;
    return "(no text " + std::to_string(id) + ")";
}

std::wstring ui_wide(int id, Language language)
{
    std::string utf8 = ui_utf8(id, language);
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    std::wstring wide(count, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], count);
    wide.resize(count - 1);
    return wide;
}

std::string ansi(const std::string &utf8)
{
    int wide_count = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    std::wstring wide(wide_count, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], wide_count);
    int count = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string result(count, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &result[0], count, NULL, NULL);
    result.resize(count - 1);
    return result;
}

std::string ui_ansi(int id, Language language)
{
    return ansi(ui_utf8(id, language));
}

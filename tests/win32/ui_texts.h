// The installer's texts as the tests expect them, taken at build time from the string table's
// source (res/strings.rc), so that no test keeps a copy of its own. Tests name texts by their
// IDS_ names (res/resource.h).
#ifndef KAVLIN_TESTS_UI_TEXTS_H
#define KAVLIN_TESTS_UI_TEXTS_H

#include "res/resource.h"

#include <string>

enum Language { CZECH, SLOVAK, ENGLISH };

// The language the run expects: from KAVLIN_TEST_LANGUAGE ("cs", "sk", "en") when the test
// registration sets it, else from LANG; English otherwise. Never worked out from the locale
// the code under test sees.
Language expected_language();

// "cs", "sk" or "en".
const char *language_name(Language language = expected_language());

// The text of the Czech id `id` in `language`: as written in the source (UTF-8), in the ANSI
// code page of the running locale (as the installer's windows and LoadStringA give it), and
// as UTF-16.
std::string ui_utf8(int id, Language language = expected_language());
std::string ui_ansi(int id, Language language = expected_language());
std::wstring ui_wide(int id, Language language = expected_language());

// A UTF-8 text in the ANSI code page of the running locale.
std::string ansi(const std::string &utf8);

#endif

// Localised strings, and the message box that plays the sound of its icon. Every text is named
// by its Czech id (res/resource.h); the loader adds the offset of the user's language.
#ifndef KAVLIN_APP_STRINGS_H
#define KAVLIN_APP_STRINGS_H

#include <windows.h>

enum {
    LANGUAGE_CZECH = 0,
    LANGUAGE_SLOVAK = 1000,
    LANGUAGE_ENGLISH = 2000,
    LANGUAGE_ID_SIZE = 10,      // the locale's language id, four hex digits as a rule
    LOADED_TEXT_SIZE = 1025,    // 1024 characters and the terminator
    CAPTION_SIZE = 256,         // the caption: the installer's title
    // A message: a text, a blank and a path, and a line with the system's reason under them.
    MESSAGE_TEXT_SIZE = 1024
};

// Language offset for a locale's language id as GetLocaleInfoA gives it ("0405", "041b"...):
// Czech, Slovak (in either letter case) or, for anything else or no answer, English.
int language_offset(const char *language_id);

// Text of `id` in the user's language, in the loader's one buffer (valid until the next load),
// or NULL when there is no such string. The language is asked anew on every load.
const char *load_string(int id);

// Name of the system sound for the icon bits of message-box flags, or NULL when the icon bits
// name none (a plain beep is played then).
const char *icon_sound(UINT flags);

// Plays the icon's sound and shows a modal message box owned by `owner` (NULL: none),
// captioned with the installer's title. A text too long for the box is cut. Returns the pressed
// button's id.
int message_box(HWND owner, const char *text, UINT flags);

// Shows, with the stop icon, the text of `id`, a blank and `detail` (a loaded text or a path),
// and under them, when `system_error` is not 0, the system's own text for that error.
void show_failure(HWND owner, int id, const char *detail, DWORD system_error = 0);

#endif

// Localised strings, message boxes that play the sound of their icon, and dialog centring.
// Every text is named by its Czech id; the loader adds the offset of the user's language.
#ifndef KAVLIN_APP_STRINGS_H
#define KAVLIN_APP_STRINGS_H

#include "archive/report.h"

#include <windows.h>

enum {
    LANGUAGE_CZECH = 0,
    LANGUAGE_SLOVAK = 1000,
    LANGUAGE_ENGLISH = 2000,
    LOADED_TEXT_SIZE = 1025,    // 1024 characters and the terminator
    MESSAGE_TEXT_SIZE = 256,
    ICON_STOP = 0x10,           // failures
    ICON_WARNING = 0x30         // notices
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

// Plays the icon's sound and shows a modal message box captioned with the installer's title,
// owned by the main dialog while it exists. Returns the pressed button's id.
int message_box(const char *text, UINT flags);

// Shows the text of `id`, a blank and `detail` (a second text, which may be a loaded one, or a
// path) with the stop icon.
void show_failure(int id, const char *detail);

// The message for a failure of the archive walks: the id of its text and the id of the text
// that follows it, or 0 when the problem's own detail (a name or a path) follows.
void archive_problem_text(const ArchiveProblem *problem, int *text_id, int *detail_id);

// Shows that message with the stop icon.
void show_archive_problem(const ArchiveProblem *problem);

// Moves a window so that its outer rectangle is centred on the primary screen.
void center_window(HWND window);

#endif

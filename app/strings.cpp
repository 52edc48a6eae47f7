// Localised strings and message boxes with sound.
#include "app/strings.h"
#include "app/state.h"
#include "base/system_library.h"
#include "base/text.h"
#include "res/resource.h"

int language_offset(const char *language_id)
{
    // Windows and Wine spell the hex digits of a language id in either case ("041B", "041b").
    if (text_equal_nocase(language_id, "0405"))
        return LANGUAGE_CZECH;
    if (text_equal_nocase(language_id, "041B"))
        return LANGUAGE_SLOVAK;
    return LANGUAGE_ENGLISH;
}

const char *load_string(int id)
{
    static char loaded[LOADED_TEXT_SIZE];
    char language[LANGUAGE_ID_SIZE];

    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, language, sizeof language))
        language[0] = 0;
    if (LoadStringA(installer.module_instance, (UINT)(id + language_offset(language)), loaded,
                    LOADED_TEXT_SIZE) < 1)
        return NULL;
    return loaded;
}

const char *icon_sound(UINT flags)
{
    switch (flags & 0xF0) {
    case 0x00: return "SystemDefault";
    case 0x10: return "SystemHand";
    case 0x20: return "SystemQuestion";
    case 0x30: return "SystemExclamation";
    case 0x40: return "SystemAsterisk";
    default: return NULL;
    }
}

enum { SOUND_ASYNC = 0x0001 };     // SND_ASYNC: play the sound and return at once

// Plays a named system sound through winmm.dll, loaded at the first sound. False when there is
// no such library or function: the caller beeps instead. (Whether the sound itself played is
// not examined.)
static bool play_sound(const char *sound, UINT flags)
{
    typedef BOOL(WINAPI *PlaySoundProc)(LPCSTR, UINT);
    static PlaySoundProc play;
    static bool looked_up;
    if (!looked_up) {
        play = reinterpret_cast<PlaySoundProc>(system_procedure("winmm.dll", "sndPlaySoundA"));
        looked_up = true;
    }
    if (!play)
        return false;
    play(sound, flags);
    return true;
}

int message_box(HWND owner, const char *text, UINT flags)
{
    char message[MESSAGE_TEXT_SIZE];
    char caption[CAPTION_SIZE];
    const char *sound;
    const char *title;
    size_t n;

    play_sound(NULL, 0);     // stops a sound still playing
    // The text is often the loader's buffer, which loading the caption overwrites: copy first.
    // A text too long for the box is cut at its last whole character.
    n = text ? strlen(text) : 0;
    if (n >= sizeof message)
        n = sizeof message - 1;
    for (size_t i = 0; i < n; i++)
        message[i] = text[i];
    message[n] = 0;
    title = load_string(IDS_TITLE);
    if (!title || !text_copy(caption, title, sizeof caption))
        caption[0] = 0;

    sound = icon_sound(flags);
    if (!sound || !play_sound(sound, SOUND_ASYNC))
        MessageBeep(flags);
    return MessageBoxA(owner, message, caption, flags);
}

void show_failure(HWND owner, int id, const char *detail, DWORD system_error)
{
    // The detail may be a loaded text, which the next load overwrites: copy it first.
    char second[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    const char *first;

    if (!text_copy(second, detail ? detail : "", sizeof second))
        second[0] = 0;
    first = load_string(id);
    if (!text_copy(text, first ? first : "", sizeof text))
        text[0] = 0;
    text_append(text, " ", sizeof text);
    text_append(text, second, sizeof text);
    if (system_error != 0) {
        // The system's reason (a full disk, a file in use), in the system's own language.
        size_t used = strlen(text);
        if (used + 2 < sizeof text
            && FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                              system_error, 0, text + used + 2,
                              (DWORD)(sizeof text - used - 2), NULL)) {
            text[used] = '\r';
            text[used + 1] = '\n';
            for (size_t end = strlen(text); end > used + 2 && (unsigned char)text[end - 1] <= ' ';)
                text[--end] = 0;
        }
    }
    message_box(owner, text, MB_OK | MB_ICONHAND);
}

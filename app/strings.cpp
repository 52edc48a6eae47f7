// Localised strings, message boxes with sound, and centring.
#include "app/strings.h"
#include "app/state.h"
#include "base/system_library.h"
#include "res/resource.h"
#include "base/text.h"


enum { TITLE_ID = 101 };

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
    char language[10];

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

int message_box(const char *text, UINT flags)
{
    char message[MESSAGE_TEXT_SIZE];
    char caption[MESSAGE_TEXT_SIZE];
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
    title = load_string(TITLE_ID);
    if (!title || !text_copy(caption, title, sizeof caption))
        caption[0] = 0;

    sound = icon_sound(flags);
    if (!sound || !play_sound(sound, SOUND_ASYNC))
        MessageBeep(flags);
    return MessageBoxA(installer.main_dialog_window, message, caption, flags);
}

void show_failure(int id, const char *detail)
{
    // The detail may be a loaded text, which the next load overwrites: copy it first.
    char second[MESSAGE_TEXT_SIZE];
    char text[2 * MESSAGE_TEXT_SIZE];
    const char *first;

    if (!text_copy(second, detail ? detail : "", sizeof second))
        second[0] = 0;
    first = load_string(id);
    if (!text_copy(text, first ? first : "", sizeof text))
        text[0] = 0;
    text_append(text, " ", sizeof text);
    text_append(text, second, sizeof text);
    message_box(text, MB_OK | ICON_STOP);
}

void archive_problem_text(const ArchiveProblem *problem, int *text_id, int *detail_id)
{
    *detail_id = 0;
    switch (problem->kind) {
    case ARCHIVE_BAD_ENTRY:
        *text_id = IDS_ARCHIVE_ERROR;
        *detail_id = IDS_ARCHIVE_READ_ERROR;
        break;
    case ARCHIVE_PATH_TOO_LONG:
    case ARCHIVE_CREATE_FAILED:
        *text_id = IDS_CANNOT_OPEN_FILE;
        break;
    case ARCHIVE_FOLDER_FAILED:
        *text_id = IDS_DIRECTORY_ERROR;
        break;
    case ARCHIVE_UNKNOWN_METHOD:
        *text_id = IDS_EXTRACTION_ERROR;
        *detail_id = IDS_UNKNOWN_METHOD;
        break;
    case ARCHIVE_CLOSE_FAILED:
        *text_id = IDS_CANNOT_CLOSE_FILE;
        break;
    default:
        // The entry's data could not be decoded, checked or written in full.
        *text_id = IDS_EXTRACTION_ERROR;
        break;
    }
}

void show_archive_problem(const ArchiveProblem *problem)
{
    int text_id, detail_id;
    archive_problem_text(problem, &text_id, &detail_id);
    show_failure(text_id, detail_id ? load_string(detail_id) : problem->detail);
}

void center_window(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    int x = (GetSystemMetrics(SM_CXSCREEN) - outer.right + outer.left) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - outer.bottom + outer.top) / 2;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

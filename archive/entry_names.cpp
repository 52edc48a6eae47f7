// Entry name rules and destination paths.
#include "archive/entry_names.h"
#include "base/text.h"

namespace {

// True for a component that Windows would read as a parent folder: dots and blanks only, with
// at least two dots ("..", "...", ".. ").
bool is_dot_component(const char *start, const char *end)
{
    int dots = 0;
    for (const char *p = start; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

// True when the `length` characters at `start` spell `word` in any letter case.
bool spells(const char *start, size_t length, const char *word)
{
    size_t i = 0;
    for (; i < length && word[i]; i++)
        if (text_upper(start[i]) != word[i])
            return false;
    return i == length && word[i] == 0;
}

// True for a component that names a DOS device, with or without an extension and trailing
// blanks: a file of that name would be the device, not a file on the disk.
bool is_device_component(const char *start, const char *end)
{
    static const char *const devices[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" };
    size_t n = 0;
    while (start + n < end && start[n] != '.')
        n++;
    while (n > 0 && start[n - 1] == ' ')
        n--;
    for (const char *device : devices)
        if (spells(start, n, device))
            return true;
    if (n != 4 || !(spells(start, 3, "COM") || spells(start, 3, "LPT")))
        return false;
    // COM0-COM9 and LPT0-LPT9, and with the superscripts 1, 2 and 3 of the ANSI code pages.
    unsigned char digit = (unsigned char)start[3];
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Characters that no file name may hold, or that would change what the name means.
bool is_forbidden_char(unsigned char c)
{
    return c == 0x7F || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?'
           || c == '*';
}

} // namespace

ArchiveCause entry_name_cause(const char *name, size_t length, unsigned flags)
{
    bool ascii = true;
    if (length == 0)
        return CAUSE_NAME_EMPTY;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 0x20)
            return CAUSE_NAME_CONTROL;
        if (c > 0x7F)
            ascii = false;
    }
    if ((flags & ZIP_FLAG_UTF8_NAME) && !ascii)
        return CAUSE_NAME_UTF8;
    if (is_path_separator(name[0]))
        return CAUSE_NAME_OUTSIDE;
    const char *start = name;
    for (const char *p = name;; p++) {
        if (*p && is_forbidden_char((unsigned char)*p))
            return CAUSE_NAME_CHARACTER;
        if (is_path_separator(*p) || *p == 0) {
            if (is_dot_component(start, p))
                return CAUSE_NAME_OUTSIDE;
            if (is_device_component(start, p))
                return CAUSE_NAME_DEVICE;
            if (*p == 0)
                return CAUSE_NONE;
            start = p + 1;
        }
    }
}

const char *name_part(const char *path)
{
    const char *start = path;
    for (const char *p = path; *p; p++)
        if (is_path_separator(*p) || *p == ':')
            start = p + 1;
    return start;
}

char *strip_trailing_backslash(char *path)
{
    size_t n = strlen(path);
    if (n > 0 && path[n - 1] == '\\')
        path[n - 1] = 0;
    return path;
}

bool entry_destination(const char *destination, const char *name, char *path, size_t size)
{
    if (!text_copy(path, destination, size) || !text_append(path, "\\", size)
        || !text_append(path, name, size)) {
        if (size)
            path[0] = 0;
        return false;
    }
    to_backslashes(path);
    return strlen(path) <= ENTRY_PATH_MAX;
}

char *normalize_destination(char *destination)
{
    return strip_trailing_backslash(to_backslashes(destination));
}

// Path helpers and folder creation.
#include "archive/paths.h"
#include "archive/entry_names.h"
#include "base/text.h"

#include <windows.h>

#include <string.h>

// Where a path splits: at '\' or '/', and after a drive designation's ':'.
static bool splits_path(char c)
{
    return is_path_separator(c) || c == ':';
}

bool path_exists(char *path)
{
    WIN32_FIND_DATAA found;
    HANDLE search;
    size_t length = strlen(path);

    if (length == 0)
        return false;
    if (path[length - 1] == '\\') {
        // A folder written with a trailing backslash exists when anything is found inside it.
        char pattern[PATH_SIZE];
        if (length + 3 >= sizeof pattern)
            return false;
        text_copy(pattern, path, sizeof pattern);
        text_append(pattern, "*.*", sizeof pattern);
        to_backslashes(pattern);
        search = FindFirstFileA(pattern, &found);
    } else {
        to_backslashes(path);
        search = FindFirstFileA(path, &found);
    }
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool attributes_exist(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != 0xFFFFFFFF && attributes != 0;
}

// Writes `count` characters of `text` from index `start` into `result`.
static bool copy_part(const char *text, size_t start, size_t count, char *result, size_t size)
{
    if (count >= size) {
        if (size)
            result[0] = 0;
        return false;
    }
    memmove(result, text + start, count);
    result[count] = 0;
    return true;
}

bool parent_path(const char *path, char *parent, size_t size)
{
    size_t n = strlen(path);
    size_t k = 0;

    if (n == 3 && (path[1] == ':' || path[2] == ':'))
        return copy_part(path, 0, n, parent, size);
    for (size_t i = n; i > 1; i--) {
        if (splits_path(path[i - 1])) {
            k = i - 1;
            break;
        }
    }
    if (n == 0)
        return copy_part(path, 0, 0, parent, size);
    if (is_path_separator(path[k])) {
        // The separator is dropped, except after a drive designation at index 2 ("AB:\x").
        if (k == 3 && path[2] == ':')
            return copy_part(path, 0, 4, parent, size);
        return copy_part(path, 0, k, parent, size);
    }
    // ':' at k, or no separator at all: keep up to and including character k.
    return copy_part(path, 0, k + 1, parent, size);
}


void make_dirs(char *path)
{
    char folder[PATH_SIZE];
    char parent[PATH_SIZE];

    strip_trailing_backslash(path);
    if (strlen(path) < 3)
        return;
    if (path_exists(path))
        return;
    if (!text_copy(folder, path, sizeof folder))
        return;
    // Only a strictly shorter parent is followed, so a drive root (its own parent) ends the
    // descent.
    if (parent_path(folder, parent, sizeof parent) && strlen(parent) < strlen(folder))
        make_dirs(parent);
    CreateDirectoryA(folder, NULL);
}

FoldersMade create_path_folders(const char *path, bool (*made)(void *context, const char *folder),
                                void *context)
{
    char folder[PATH_SIZE];
    unsigned short ends[PATH_SIZE];     // where each folder of the path ends
    size_t n = strlen(path);
    int count = 0;

    if (n >= sizeof folder)
        return FOLDERS_MADE;
    for (size_t i = 2; i < n; i++)
        if (path[i] == '\\' && path[i - 1] != ':')
            ends[count++] = (unsigned short)i;
    // The deepest folder that exists, probed from the file's own folder upwards: mostly the
    // first probe finds it, however deep the path.
    int missing = count;
    while (missing > 0) {
        memcpy(folder, path, ends[missing - 1]);
        folder[ends[missing - 1]] = 0;
        if (attributes_exist(folder))
            break;
        missing--;
    }
    for (int k = missing; k < count; k++) {
        memcpy(folder, path, ends[k]);
        folder[ends[k]] = 0;
        CreateDirectoryA(folder, NULL);
        if (!made(context, folder))
            return FOLDERS_STOPPED;
    }
    return count > 0 && missing == count ? FOLDERS_EXISTED : FOLDERS_MADE;
}

// Path helpers and folder creation.
#include "archive/paths.h"
#include "archive/install_log.h"
#include "app/state.h"
#include "app/text.h"

#include <string.h>

enum { MAKE_DIRS_PATH_SIZE = 260 };

static bool is_separator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

bool attributes_exist(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != 0xFFFFFFFF && attributes != 0;
}

char *substring(const char *text, size_t start, size_t count)
{
    char *result = installer.scratch_text;
    if (count > SCRATCH_SIZE - 1)
        count = SCRATCH_SIZE - 1;
    memmove(result, text + start, count);   // the text may lie in scratch_text itself
    result[count] = 0;
    return result;
}

char *parent_path(char *path)
{
    size_t n = text_length(path);
    size_t k = 0;

    if (n == 3 && (path[1] == ':' || path[2] == ':'))
        return path;
    for (size_t i = n; i > 1; i--) {
        if (is_separator(path[i - 1])) {
            k = i - 1;
            break;
        }
    }
    if (n == 0)
        return substring(path, 0, 0);
    if (path[k] == '\\' || path[k] == '/') {
        // The separator is dropped, except after a drive designation at index 2 ("AB:\x").
        if (k == 3 && path[2] == ':')
            return substring(path, 0, 4);
        return substring(path, 0, k);
    }
    // ':' at k, or no separator at all: keep up to and including character k.
    return substring(path, 0, k + 1);
}

char *name_part(const char *path)
{
    size_t n = text_length(path);
    size_t start = 0;
    for (size_t i = 0; i < n; i++)
        if (is_separator(path[i]))
            start = i + 1;
    return substring(path, start, n - start);
}

char *strip_trailing_backslash(char *path)
{
    size_t n = text_length(path);
    if (n > 0 && path[n - 1] == '\\')
        path[n - 1] = 0;
    return path;
}

void make_dirs(char *path)
{
    char folder[MAKE_DIRS_PATH_SIZE];
    char parent[MAKE_DIRS_PATH_SIZE];

    strip_trailing_backslash(path);
    if (text_length(path) < 3)
        return;
    if (path_exists(path))
        return;
    if (!text_copy(folder, path, sizeof folder))
        return;
    // parent_path answers in scratch_text, which the recursion reuses: take a copy. Only a
    // strictly shorter parent is followed, so a drive root (its own parent) ends the descent.
    if (text_copy(parent, parent_path(folder), sizeof parent)
        && text_length(parent) < text_length(folder))
        make_dirs(parent);
    CreateDirectoryA(folder, NULL);
}

void create_path_folders(const char *path)
{
    char folder[TEXT_SIZE];
    size_t n = text_length(path);

    if (n >= sizeof folder)
        return;
    for (size_t i = 2; i < n; i++) {
        if (path[i] != '\\' || path[i - 1] == ':')
            continue;
        memcpy(folder, path, i);
        folder[i] = 0;
        if (attributes_exist(folder))
            continue;
        CreateDirectoryA(folder, NULL);
        if (!text_equal(folder, installer.destination_folder))
            append_install_log(installer.destination_folder, "DIR:", folder);
    }
}

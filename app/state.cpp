// The installer state and the two file operations everything builds on.
#include "app/state.h"
#include "app/text.h"

InstallerState installer;

bool path_exists(char *path)
{
    WIN32_FIND_DATAA found;
    HANDLE search;
    size_t length = text_length(path);

    if (length == 0)
        return false;
    if (path[length - 1] == '\\') {
        // A folder written with a trailing backslash exists when anything is found inside it.
        char pattern[TEXT_SIZE];
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

void seek_archive(DWORD offset)
{
    DWORD reached = SetFilePointer(installer.archive_file, (LONG)offset, NULL, FILE_BEGIN);
    if (reached == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        installer.archive_position = -1;
    else
        installer.archive_position = (LONG)reached;
}

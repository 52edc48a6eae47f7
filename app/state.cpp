// The installer state and the positioning of the staged archive.
#include "app/state.h"

InstallerState installer;

void seek_archive(DWORD offset)
{
    DWORD reached = SetFilePointer(installer.archive_file, (LONG)offset, NULL, FILE_BEGIN);
    if (reached == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        installer.archive_position = -1;
    else
        installer.archive_position = (LONG)reached;
}

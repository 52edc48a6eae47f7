// The installer state and the positioning of the staged archive.
#include "app/state.h"
#include "base/file_io.h"

InstallerState installer;

void seek_archive(DWORD offset)
{
    installer.archive_position = seek_file(installer.archive_file, offset) ? (LONG)offset : -1;
}

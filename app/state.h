// The installer state: the one process-wide record of shared state. It is zero at process
// start and used without locks, since the installer runs on one thread.
#ifndef KAVLIN_APP_STATE_H
#define KAVLIN_APP_STATE_H

#include "base/text.h"

#include <windows.h>

// What more than one part of the installer reads. What one part alone needs lives in that part.
struct InstallerState {
    HINSTANCE module_instance;      // source of strings, dialog templates and the payload
    DWORD archive_size;             // payload size: bytes while staging, then whole KiB
    HANDLE archive_file;            // the staged archive, open for reading
    LONG archive_position;          // offset reached by the last seek_archive, -1 on failure
    char destination_folder[PATH_SIZE];
};

extern InstallerState installer;

// Moves the staged archive's read position to `offset` from its start and records the offset
// reached in archive_position, or -1 when the move failed.
void seek_archive(DWORD offset);

#endif

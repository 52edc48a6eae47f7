// Start-up: stages the payload archive, runs the main dialog, and cleans up.
#ifndef KAVLIN_APP_STARTUP_H
#define KAVLIN_APP_STARTUP_H

#include <windows.h>

// Runs the whole installer for the module `instance`; returns the exit code, always 0.
int run_installer(HINSTANCE instance);

// Sends the registered message "Kavlin" (43, 43) to all top-level windows when the mutex
// "Kavlin" existed already. The mutex handle stays open until the process ends.
void announce_start(void);

// Writes `size` bytes of payload to the staged archive, checks the count written and reopens
// the file for reading at offset 0. Shows the failure and returns false when it cannot.
bool stage_archive(const void *payload, DWORD size);

// The path of the staged archive (empty before staging).
const char *staged_archive_path(void);

// Closes and deletes the staged archive.
void remove_staged_archive(void);

#endif

// Start-up: stages the payload archive, runs the main dialog, and cleans up.
#ifndef KAVLIN_APP_STARTUP_H
#define KAVLIN_APP_STARTUP_H

#include <windows.h>

// Runs the whole installer for the module `instance`; returns the exit code, always 0.
int run_installer(HINSTANCE instance);

// Sends the registered message "Kavlin" (43, 43) to all top-level windows when the mutex
// "Kavlin" existed already. The mutex handle stays open until the process ends.
void announce_start(void);

// Writes `size` bytes of payload to a freshly created staged archive in the temporary folder,
// checks the count written and positions the same handle at offset 0 for reading. Shows the
// failure (201) and returns false when it cannot; nothing is left behind then.
bool stage_archive(const void *payload, DWORD size);

// The path of the staged archive (empty before staging).
const char *staged_archive_path(void);

// Closes and deletes the staged archive.
void remove_staged_archive(void);

#endif

// Start-up: stages the payload archive, runs the main dialog, and cleans up.
#ifndef KAVLIN_APP_STARTUP_H
#define KAVLIN_APP_STARTUP_H

#include <windows.h>

// Runs the whole installer for the module `instance`; returns the exit code, always 0.
int run_installer(HINSTANCE instance);

// Creates the mutex "Kavlin" and, when it existed already (another installer, or the product,
// runs), sends the registered message "Kavlin" (43, 43) to all top-level windows and returns
// true. The mutex handle stays open until the process ends.
bool announce_start(void);

// Writes `size` bytes of payload to a freshly created staged archive in the temporary folder,
// checks the count written and positions the same handle at offset 0 for reading. When
// "Kavlin.zip" cannot be had, a unique name in the same folder serves instead, unless
// `others_running` says that another installer may be holding it: then, as when anything else
// fails, the failure is shown (201, the path and the system's reason) and false returned;
// nothing is left behind.
bool stage_archive(const void *payload, DWORD size, bool others_running);

// The path of the staged archive (empty before staging).
const char *staged_archive_path(void);

// Closes and deletes the staged archive.
void remove_staged_archive(void);

#endif

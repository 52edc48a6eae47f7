// The installer state: the one process-wide record of shared state. It is zero at process
// start and used without locks, since the installer runs on one thread.
#ifndef KAVLIN_APP_STATE_H
#define KAVLIN_APP_STATE_H

#include <windows.h>
#include <shlobj.h>

enum { TEXT_SIZE = 256, SCRATCH_SIZE = 520, LOCAL_HEADER_SIZE = 30 };

struct InstallerState {
    // Shared between the parts of the installer.
    HINSTANCE module_instance;      // source of strings, dialog templates and the payload
    DWORD archive_size;             // payload size: bytes while staging, then whole KiB
    HANDLE archive_file;            // the staged archive: write handle, then read-only
    DWORD archive_start;            // offset of the archive in the staged file (always 0)
    LONG archive_position;          // offset reached by the last seek_archive, -1 on failure
    HWND main_dialog_window;        // owner of message boxes while the main dialog exists
    HWND progress_bar;              // created by Install, positioned by the extraction
    char destination_folder[TEXT_SIZE];
    bool extract_succeeded;         // result of the last extraction
    bool extracting;                // an extraction is running (commands are held off)
    bool abort_requested;           // Abort pressed during an extraction: stop at next file

    // Private to start-up.
    HRSRC payload_resource;
    DWORD bytes_staged;
    char temp_folder[TEXT_SIZE];
    char staged_archive_path[TEXT_SIZE];

    // Private to the main dialog.
    BROWSEINFOA browse_request;

    // Private to the extraction.
    LONG entry_remaining;           // data bytes of the current entry not yet read
    HANDLE output_file;             // the file being written
    BYTE local_header[LOCAL_HEADER_SIZE];
    DWORD expected_signature;
    char scratch_text[SCRATCH_SIZE];
};

extern InstallerState installer;

// True when a directory search finds a file or folder of that name. A path that ends in a
// backslash is searched for any entry inside it. Turns '/' into '\' in the caller's string.
bool path_exists(char *path);

// Moves the staged archive's read position to `offset` from its start and records the offset
// reached in archive_position, or -1 when the move failed.
void seek_archive(DWORD offset);

#endif

// How the archive walk tells its caller what it does: the front end (the main dialog, a test,
// the build-time check) passes these callbacks in and turns each report into what its user
// sees. Portable: no user interface here.
#ifndef KAVLIN_ARCHIVE_REPORT_H
#define KAVLIN_ARCHIVE_REPORT_H

#include "archive/zip.h"

#include <stdint.h>

// A failure with what the user is told about it.
struct ArchiveProblem {
    ArchiveFailure kind;
    ArchiveCause cause;         // why, for ARCHIVE_BAD_ENTRY
    InflateResult reason;       // the decoder's result, for ARCHIVE_BAD_DATA
    uint16_t method;            // the entry's compression method, for ARCHIVE_UNKNOWN_METHOD
    uint32_t system_error;      // the system's reason for a failed file operation, or 0
    const char *detail;         // the folder (ARCHIVE_FOLDER_FAILED) or the path concerned; ""
                                // when the message names none
    const char *entry;          // the name of the entry concerned, as far as it was read; ""
                                // when the failure concerns the archive as a whole
};

struct ArchiveReport {
    // The file about to be written (its full path), and its size once written (a measure of
    // how long writing it will take).
    void (*status)(void *context, const char *path, uint32_t size);
    // The walk reached the entry whose local header is at `kib` KiB into the archive.
    void (*progress)(void *context, uint32_t kib);
    // A failure. Every kind but ARCHIVE_CLOSE_FAILED ends the walk; ARCHIVE_NO_FILES and
    // ARCHIVE_ABORTED are never reported, only returned.
    void (*problem)(void *context, const ArchiveProblem *problem);
    // Called once per file entry, before its data is read: lets the user interface run (one
    // message) and returns true when the user asked to stop; the walk then ends before the
    // next entry.
    bool (*stop_requested)(void *context);
    void *context;
};

#endif

// How the archive walks tell their caller what they do: the front end (the main dialog, a
// test, the build-time check) passes these callbacks in and turns each report into what its
// user sees. Portable: no user interface here.
#ifndef KAVLIN_ARCHIVE_REPORT_H
#define KAVLIN_ARCHIVE_REPORT_H

#include "archive/zip.h"

#include <stdint.h>

// A failure with what the user is told about it.
struct ArchiveProblem {
    ArchiveFailure kind;
    InflateResult reason;       // the decoder's result, for ARCHIVE_BAD_DATA
    const char *detail;         // the entry's name (ARCHIVE_PATH_TOO_LONG), the folder
                                // (ARCHIVE_FOLDER_FAILED) or the file's path; "" for the others
    const char *entry;          // the name of the entry concerned, as far as it was read; ""
                                // when the failure concerns no entry (the archive's end)
};

struct ArchiveReport {
    // The file about to be written (its full path), and how many bytes of the archive its data
    // takes (a measure of how long writing it will take).
    void (*status)(void *context, const char *path, uint32_t data_bytes);
    // The walk reached the entry whose local header is at `kib` KiB into the archive.
    void (*progress)(void *context, uint32_t kib);
    // A failure. Every kind but ARCHIVE_CLOSE_FAILED ends the walk; ARCHIVE_NO_FILES and
    // ARCHIVE_ABORTED are never reported, only returned.
    void (*problem)(void *context, const ArchiveProblem *problem);
    // Called once per file entry, before its data is read: lets the user interface run (one
    // message) and answers true when the user asked to stop; the walk then ends before the
    // next entry.
    bool (*between_files)(void *context);
    void *context;
};

// Checks the whole archive as the extraction would unpack it under `destination`, writing
// nothing: every entry's name passes the name and path rules, every entry decodes completely
// to its declared size and CRC-32, and the archive is not cut short inside an entry. Reports
// progress per entry, calls between_files per file entry, and reports the first failure as the
// extraction would (without the failures only the disk can cause). Returns that failure, or
// ARCHIVE_NO_FILES, ARCHIVE_ABORTED or ARCHIVE_OK.
ArchiveFailure check_archive(const ZipSource *source, const char *destination,
                             const ArchiveReport *report);

#endif

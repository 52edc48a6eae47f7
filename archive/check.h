// The whole-archive check: the payload checked completely before anything is written, at
// install time and, by kavlin-zipcheck, when the installer is built. Portable.
#ifndef KAVLIN_ARCHIVE_CHECK_H
#define KAVLIN_ARCHIVE_CHECK_H

#include "archive/report.h"

// Checks the archive as the extraction would unpack it under `destination`, writing nothing:
// its end record and central directory are whole and list exactly the entries that the
// local-header walk meets, with the same names, flags, methods, CRC-32s and sizes; every
// entry's name passes the name and path rules; every file entry decodes completely to its
// declared size and CRC-32. Reports progress per entry, asks between files whether to stop,
// and reports the first failure (problems of the end record and the central directory first,
// then the entries in file order). Returns that failure, or ARCHIVE_NO_FILES, ARCHIVE_ABORTED
// or ARCHIVE_OK.
//
// A probe, when given, is asked for every file entry with its destination path before its data
// is verified (the installer probes the file it would replace); a failure it describes is
// reported as the check's own.
struct FileProbe {
    ArchiveFailure (*probe)(void *context, const ZipEntry *entry, const char *path,
                            ArchiveProblem *problem);
    void *context;
};
ArchiveFailure check_archive(const ZipSource *source, const char *destination,
                             const ArchiveReport *report, const FileProbe *probe = nullptr);

#endif

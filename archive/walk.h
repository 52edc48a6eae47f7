// The one walk over the payload archive: its local headers in file order, every entry's name
// held to the name rules and turned into its destination path, with what is done for each
// entry passed in. The whole-archive check and the extraction are two handlers of this walk,
// so both find the same failures, in the same order, and one place reports them. Portable.
#ifndef KAVLIN_ARCHIVE_WALK_H
#define KAVLIN_ARCHIVE_WALK_H

#include "archive/report.h"

// What a walk does for the archive and its entries. Each step returns ARCHIVE_OK or the
// failure it found, which it describes in *problem (kind, cause, reason, detail; the walk adds
// the entry's name unless the step named another). Steps left NULL do nothing.
struct WalkHandler {
    // Before the first entry: the archive as a whole.
    ArchiveFailure (*begin)(void *context, ArchiveProblem *problem);
    // Each entry (folder or file) as soon as its header and name are read, before the name is
    // judged. The source must be left at the entry's data.
    ArchiveFailure (*entry)(void *context, const ZipEntry *entry, ArchiveProblem *problem);
    // A file entry whose name and destination path passed: ready its output.
    ArchiveFailure (*open)(void *context, const ZipEntry *entry, const char *path,
                           ArchiveProblem *problem);
    // Then, after the user interface has had its turn, its data, from the source's position.
    // ARCHIVE_CLOSE_FAILED is reported and the walk goes on.
    ArchiveFailure (*data)(void *context, const ZipEntry *entry, const char *path,
                           ArchiveProblem *problem);
    // The walk reached the first record that is no local header, at `cursor`.
    ArchiveFailure (*end)(void *context, const ZipCursor *cursor, ArchiveProblem *problem);
    void *context;
};

// Walks the archive from its first byte under `destination` (a folder path without a trailing
// backslash), reporting through `report`: the progress for every entry, the first failure
// (and any ARCHIVE_CLOSE_FAILED), and a stop requested between files. Returns ARCHIVE_OK when
// every entry passed and at least one was a file, ARCHIVE_NO_FILES when none was,
// ARCHIVE_ABORTED when the user stopped it, else the failure reported.
ArchiveFailure walk_archive(const ZipSource *source, const char *destination,
                            const ArchiveReport *report, const WalkHandler *handler);

#endif

// The extraction: unpacks the staged payload archive into the destination folder.
#ifndef KAVLIN_ARCHIVE_EXTRACT_H
#define KAVLIN_ARCHIVE_EXTRACT_H

#include "archive/report.h"

#include <windows.h>

// Makes `source` read the open archive file `file` (reads and absolute seeks on the handle).
void file_source(ZipSource *source, HANDLE file);

// Walks the archive's local headers from its start and writes every file entry under
// `destination` (a folder path without a trailing backslash: see normalize_destination),
// creating the folders it needs and recording files and folders in the folder's install log.
// Reports progress per entry, the path of each file before its data, and every failure (see
// ArchiveReport); a failure ends the walk except ARCHIVE_CLOSE_FAILED. Between files the
// report's hook may stop it (ARCHIVE_ABORTED). Returns ARCHIVE_OK when every entry was
// written and at least one was a file, ARCHIVE_NO_FILES when none was, else the failure.
// Files written before a failure stay on disk and in the log.
ArchiveFailure extract_archive(const ZipSource *source, const char *destination,
                               const ArchiveReport *report);

#endif

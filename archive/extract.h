// The extraction driver: unpacks the staged payload archive into destination_folder.
#ifndef KAVLIN_ARCHIVE_EXTRACT_H
#define KAVLIN_ARCHIVE_EXTRACT_H

#include <windows.h>

// Walks the archive's local headers from archive_start and writes every file entry under
// destination_folder, logging each in UInstall.uif, showing each path in control 103 of
// `dialog` and moving progress_bar. Every failure is shown where it happens; the result is
// extract_succeeded. Stops before the next file when abort_requested is set.
void extract_archive(HWND dialog);

#endif

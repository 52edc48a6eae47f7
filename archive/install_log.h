// The install log, UInstall.uif in the destination folder: one line per file the installer
// wrote ("FIL:") and per folder it created ("DIR:"), so that an uninstaller can remove them.
// A line is the kind, blanks up to a width of ten, one blank and the full path, so the path
// starts at the twelfth character; CR LF ends it on disk:
//     FIL:       C:\Program Files\Kavlin\ReadMe.txt
// The log is only appended to, and a record already present (compared case-insensitively)
// is not written again, so repeated installations leave one line per file. Lines beginning
// with '/' are comments and, like empty lines, are passed over when the log is searched.
#ifndef KAVLIN_ARCHIVE_INSTALL_LOG_H
#define KAVLIN_ARCHIVE_INSTALL_LOG_H

#include <windows.h>

enum {
    LOG_LINE_SIZE = 255,        // a line as read: at most 254 characters and the terminator
    LOG_PATH_OFFSET = 11,       // kind, padding and separator before the path
    // The longest path whose line, with its line end, is still read back as one line.
    LOG_PATH_MAX = LOG_LINE_SIZE - 1 - LOG_PATH_OFFSET - 1,
    LOG_BUFFER_SIZE = 4096
};

// An install log open for reading, read through a buffer of its own.
struct LogFile {
    HANDLE file;
    DWORD filled;               // bytes in buffer
    DWORD next;                 // index of the next unread byte in buffer
    bool ended;                 // the end of the file was reached
    bool failed;                // a read failed: the rest of the file is unknown
    unsigned char last;         // the last byte read from the file (0 before any)
    unsigned char buffer[LOG_BUFFER_SIZE];
};

// Starts reading `file` at its current position.
void open_log_reader(LogFile *log, HANDLE file);

// Reads the next line that neither begins with '/' nor is empty into `line` (LOG_LINE_SIZE
// bytes), as a text-mode read gives it: CR LF comes back as "\n", and the line end is kept.
// A line longer than 254 characters comes back in pieces, each of which counts as a line.
// Returns false at the end of the log.
bool read_log_line(LogFile *log, char *line);

// Adds the record (kind "DIR:" or "FIL:", path) to the log in `folder` unless a line equal to
// it, ignoring letter case, is there already. A log that cannot be opened or written (a
// missing folder, a read-only file) is passed over silently. `path` may lie in scratch_text.
void append_install_log(const char *folder, const char *kind, const char *path);

#endif

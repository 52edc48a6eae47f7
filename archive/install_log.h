// The install log, UInstall.uif in the destination folder: one line per file the installer
// wrote ("FIL:") and per folder it created ("DIR:"), so that an uninstaller can remove them.
// A line is the kind, blanks up to a width of ten, one blank and the full path, so the path
// starts at the twelfth character; CR LF ends it on disk:
//     FIL:       C:\Program Files\Kavlin\ReadMe.txt
// The log is only appended to, and a record already present (compared case-insensitively on
// the whole line) is not written again, so repeated installations leave one line per file.
// Lines beginning with '/' are comments and, like empty lines, are passed over.
//
// One extraction keeps the log open from before its first file to its end: the lines already
// there are read once, into a set, and every record written is added to it, so each record
// costs one look-up and one write however long the log grows.
#ifndef KAVLIN_ARCHIVE_INSTALL_LOG_H
#define KAVLIN_ARCHIVE_INSTALL_LOG_H

#include "archive/entry_names.h"

#include <windows.h>

enum {
    LOG_LINE_SIZE = 255,        // a line as read: at most 254 characters and the terminator
    LOG_PATH_OFFSET = 11,       // kind, padding and separator before the path
    // The longest path whose line, with its line end, is still read back as one line.
    LOG_PATH_MAX = LOG_LINE_SIZE - 1 - LOG_PATH_OFFSET - 1,
    LOG_BUFFER_SIZE = 4096
};
static_assert((int)LOG_PATH_MAX == (int)ENTRY_PATH_MAX, "an entry's path must fit one log line");

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

// The lines of one log, as a set that ignores ASCII letter case: the lines are kept one after
// the other in `text`, and `slots` (a power of two in size, at most half full) holds for each
// line its offset in `text` plus one, 0 marking a free slot.
struct LogLineSet {
    char *text;
    size_t text_used;
    size_t text_size;
    DWORD *slots;
    size_t slot_count;
    size_t line_count;
};

// The log of one extraction.
struct InstallLog {
    char name[PATH_SIZE];       // folder "\UInstall.uif"; empty when it does not fit
    HANDLE file;                // open from install_log_open on; INVALID_HANDLE_VALUE before
    bool created;               // this run created the log file
    bool end_last_line;         // the log's last line lacks its line end: CR LF goes first
    DWORD error;                // the system's reason for the last failure
    LogLineSet lines;
};

// Prepares the log in `folder`; nothing is opened yet (the folder may not exist so far).
void install_log_begin(InstallLog *log, const char *folder);

// Opens the log for appending (creating it when missing, never truncating it) and reads its
// lines into the set. False, with the system's reason in `error`, when it cannot be opened
// for writing or read whole.
bool install_log_open(InstallLog *log);

// Adds the record (kind "DIR:" or "FIL:", path) unless an equal line is there already; opens
// the log first if it is not open. A record is written whole or not at all: after a failed or
// short write the log is cut back to its length before the record, and the record does not
// count as present. False, with the system's reason in `error`, when the record could not be
// written. (A record too long to read back as one line is not written; no path the walk makes
// is that long.)
bool install_log_add(InstallLog *log, const char *kind, const char *path);

// Closes the log and releases the set.
void install_log_end(InstallLog *log);

#endif

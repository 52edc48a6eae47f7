// The install log: search and append over Win32 file calls, with the line conventions of a
// text-mode stream (CR LF on disk, "\n" in memory).
#include "archive/install_log.h"
#include "app/state.h"
#include "app/text.h"

#include <string.h>

static const char log_name[] = "\\UInstall.uif";
static const char padding[] = "          ";     // the kind and its padding are ten wide

void open_log_reader(LogFile *log, HANDLE file)
{
    log->file = file;
    log->filled = 0;
    log->next = 0;
    log->ended = false;
    log->failed = false;
    log->last = 0;
}

// The next byte of the file, or -1 at its end.
static int next_byte(LogFile *log)
{
    if (log->next == log->filled) {
        DWORD got = 0;
        if (log->ended)
            return -1;
        if (!ReadFile(log->file, log->buffer, sizeof log->buffer, &got, NULL)) {
            log->failed = true;
            got = 0;
        }
        log->filled = got;
        log->next = 0;
        if (got == 0) {
            log->ended = true;
            return -1;
        }
    }
    log->last = log->buffer[log->next];
    return log->buffer[log->next++];
}

// The next character as a text-mode read gives it: CR LF becomes LF; a lone CR stays.
static int next_char(LogFile *log)
{
    int c = next_byte(log);
    if (c != '\r')
        return c;
    int following = next_byte(log);
    if (following == '\n')
        return '\n';
    if (following >= 0)
        log->next--;    // not part of a line end: read it again next time
    return c;
}

// One line or piece of at most LOG_LINE_SIZE - 1 characters, line end included; false when
// nothing was left to read.
static bool read_raw_line(LogFile *log, char *line)
{
    int n = 0;
    int c;
    while (n < LOG_LINE_SIZE - 1 && (c = next_char(log)) >= 0) {
        line[n++] = (char)c;
        if (c == '\n')
            break;
    }
    line[n] = 0;
    return n > 0;
}

bool read_log_line(LogFile *log, char *line)
{
    while (read_raw_line(log, line)) {
        if (line[0] != '/' && !(line[0] == '\n' && line[1] == 0))
            return true;
    }
    return false;
}

// Builds the record's line without its line end; false when it would be too long to be read
// back as one line.
static bool build_line(char *line, const char *kind, const char *path)
{
    size_t kind_length = text_length(kind);
    size_t pad = kind_length < 10 ? 10 - kind_length : 0;

    if (kind_length + pad + 1 + text_length(path) + 1 > LOG_LINE_SIZE - 1)
        return false;
    line[0] = 0;
    text_append(line, kind, LOG_LINE_SIZE);
    text_append(line, padding + (sizeof padding - 1 - pad), LOG_LINE_SIZE);
    text_append(line, " ", LOG_LINE_SIZE);
    text_append(line, path, LOG_LINE_SIZE);
    return true;
}

void append_install_log(const char *folder, const char *kind, const char *path)
{
    char name[TEXT_SIZE];
    char line[LOG_LINE_SIZE + 2];   // the record, then CR LF
    char found[LOG_LINE_SIZE];
    LogFile log;
    bool present = false;
    HANDLE file;

    // The path may lie in scratch_text; nothing here overwrites that before it is copied.
    if (!build_line(line, kind, path))
        return;
    if (!text_copy(name, folder, sizeof name) || !text_append(name, log_name, sizeof name))
        return;

    // Opened once for searching and appending; created when missing, never truncated.
    file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;

    // The whole line is compared, line end included, as a line read in text mode ends.
    size_t length = text_length(line);
    line[length] = '\n';
    line[length + 1] = 0;
    open_log_reader(&log, file);
    while (!present && read_log_line(&log, found))
        present = text_equal_nocase(found, line);

    if (!present && !log.failed) {
        DWORD size = SetFilePointer(file, 0, NULL, FILE_END);
        DWORD written;
        // A last line without a line end is ended first, so that the new record stands on a
        // line of its own and neither record is spoilt.
        if (size != 0 && size != INVALID_SET_FILE_POINTER && log.last != '\n')
            WriteFile(file, "\r\n", 2, &written, NULL);
        line[length] = '\r';
        line[length + 1] = '\n';
        WriteFile(file, line, (DWORD)length + 2, &written, NULL);
    }
    CloseHandle(file);
}

// The install log: reading, the set of its lines and appending, over Win32 file calls, with
// the line conventions of a text-mode stream (CR LF on disk, "\n" in memory).
#include "archive/install_log.h"
#include "base/text.h"

#include <stdlib.h>
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

// Builds the record's line with its "\n" line end, as a line read back gives it; false when
// it would be too long to be read back as one line.
static bool build_line(char *line, const char *kind, const char *path)
{
    size_t kind_length = strlen(kind);
    size_t pad = kind_length < 10 ? 10 - kind_length : 0;

    if (kind_length + pad + 1 + strlen(path) + 1 > LOG_LINE_SIZE - 1)
        return false;
    line[0] = 0;
    text_append(line, kind, LOG_LINE_SIZE);
    text_append(line, padding + (sizeof padding - 1 - pad), LOG_LINE_SIZE);
    text_append(line, " ", LOG_LINE_SIZE);
    text_append(line, path, LOG_LINE_SIZE);
    text_append(line, "\n", LOG_LINE_SIZE);
    return true;
}

// FNV-1a over the line with ASCII letters in upper case, so that lines equal but for letter
// case fall into the same slot.
static DWORD line_hash(const char *line)
{
    DWORD hash = 2166136261u;
    for (; *line; line++)
        hash = (hash ^ (unsigned char)text_upper(*line)) * 16777619u;
    return hash;
}

// The slot that holds `line`, or the free slot where it would go.
static DWORD *find_slot(const LogLineSet *set, const char *line)
{
    size_t mask = set->slot_count - 1;
    for (size_t i = line_hash(line) & mask;; i = (i + 1) & mask) {
        DWORD *slot = &set->slots[i];
        if (*slot == 0 || text_equal_nocase(set->text + *slot - 1, line))
            return slot;
    }
}

// Doubles the slot table (or makes the first one) and puts every line into it again.
static bool grow_slots(LogLineSet *set)
{
    size_t count = set->slot_count ? set->slot_count * 2 : 1024;
    DWORD *slots = (DWORD *)malloc(count * sizeof *slots);
    if (!slots)
        return false;
    memset(slots, 0, count * sizeof *slots);
    LogLineSet grown = *set;
    grown.slots = slots;
    grown.slot_count = count;
    for (size_t i = 0; i < set->slot_count; i++)
        if (set->slots[i])
            *find_slot(&grown, set->text + set->slots[i] - 1) = set->slots[i];
    free(set->slots);
    *set = grown;
    return true;
}

// True when the set holds a line equal to `line` but for letter case.
static bool set_contains(const LogLineSet *set, const char *line)
{
    return set->slot_count && *find_slot(set, line) != 0;
}

// Adds a line that the set does not hold; false when there is no memory for it.
static bool set_add(LogLineSet *set, const char *line)
{
    size_t length = strlen(line) + 1;
    if ((set->line_count + 1) * 2 > set->slot_count && !grow_slots(set))
        return false;
    if (set->text_used + length > set->text_size) {
        size_t size = set->text_size ? set->text_size * 2 : 16384;
        while (size < set->text_used + length)
            size *= 2;
        char *text = (char *)malloc(size);
        if (!text)
            return false;
        if (set->text_used)
            memcpy(text, set->text, set->text_used);
        free(set->text);
        set->text = text;
        set->text_size = size;
    }
    memcpy(set->text + set->text_used, line, length);
    *find_slot(set, line) = (DWORD)(set->text_used + 1);
    set->text_used += length;
    set->line_count++;
    return true;
}

void install_log_begin(InstallLog *log, const char *folder)
{
    memset(log, 0, sizeof *log);
    log->file = INVALID_HANDLE_VALUE;
    if (!text_copy(log->name, folder, sizeof log->name)
        || !text_append(log->name, log_name, sizeof log->name))
        log->name[0] = 0;
}

// Records a failure with its reason; returns false.
static bool failed(InstallLog *log, DWORD error)
{
    log->error = error ? error : ERROR_WRITE_FAULT;
    return false;
}

bool install_log_open(InstallLog *log)
{
    char line[LOG_LINE_SIZE];

    if (log->file != INVALID_HANDLE_VALUE)
        return true;
    if (log->name[0] == 0)
        return failed(log, ERROR_FILENAME_EXCED_RANGE);
    log->file = CreateFileA(log->name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log->file == INVALID_HANDLE_VALUE)
        return failed(log, GetLastError());
    log->created = GetLastError() != ERROR_ALREADY_EXISTS;
    // The lines already there: without all of them a record could be written twice.
    LogFile *reader = (LogFile *)malloc(sizeof *reader);
    if (!reader)
        return failed(log, ERROR_NOT_ENOUGH_MEMORY);
    open_log_reader(reader, log->file);
    bool whole = true;
    while (whole && read_log_line(reader, line))
        whole = set_contains(&log->lines, line) || set_add(&log->lines, line);
    DWORD size = SetFilePointer(log->file, 0, NULL, FILE_END);
    log->end_last_line = size != 0 && size != INVALID_SET_FILE_POINTER && reader->last != '\n';
    bool read_failed = reader->failed;
    free(reader);
    if (!whole)
        return failed(log, ERROR_NOT_ENOUGH_MEMORY);
    if (read_failed || size == INVALID_SET_FILE_POINTER)
        return failed(log, GetLastError());
    return true;
}

bool install_log_add(InstallLog *log, const char *kind, const char *path)
{
    char line[2 + LOG_LINE_SIZE + 1];   // CR LF ending the last line, the record and CR LF
    char *record = line + 2;
    DWORD written = 0;

    if (!build_line(record, kind, path))
        return true;
    if (!install_log_open(log))
        return false;
    if (set_contains(&log->lines, record))
        return true;
    DWORD before = SetFilePointer(log->file, 0, NULL, FILE_END);
    if (before == INVALID_SET_FILE_POINTER)
        return failed(log, GetLastError());
    // The record as it goes to disk, in one write: CR LF first when the last line lacks its
    // end (so that the new record stands on a line of its own), and CR LF for "\n".
    size_t length = strlen(record) - 1;
    const char *start = log->end_last_line ? line : record;
    line[0] = '\r';
    line[1] = '\n';
    record[length] = '\r';
    record[length + 1] = '\n';
    DWORD count = (DWORD)(record + length + 2 - start);
    if (!WriteFile(log->file, start, count, &written, NULL) || written != count) {
        DWORD error = written != count && GetLastError() == NO_ERROR ? ERROR_DISK_FULL : GetLastError();
        // Cut back to the log as it was: no torn record stays behind.
        SetFilePointer(log->file, (LONG)before, NULL, FILE_BEGIN);
        SetEndOfFile(log->file);
        return failed(log, error);
    }
    log->end_last_line = false;
    record[length] = '\n';
    record[length + 1] = 0;
    set_add(&log->lines, record);   // without memory for it only a later duplicate could follow
    return true;
}

void install_log_end(InstallLog *log)
{
    if (log->file != INVALID_HANDLE_VALUE)
        CloseHandle(log->file);
    log->file = INVALID_HANDLE_VALUE;
    free(log->lines.text);
    free(log->lines.slots);
    memset(&log->lines, 0, sizeof log->lines);
}

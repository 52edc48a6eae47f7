// The extraction driver: walks the staged archive's local headers in file order and writes
// each file entry under the destination folder. The central directory is never read: the
// first record that is not a local header ends the walk.
#include "archive/extract.h"
#include "archive/install_log.h"
#include "archive/local_header.h"
#include "archive/output.h"
#include "archive/paths.h"
#include "app/state.h"
#include "app/strings.h"
#include "app/text.h"
#include "res/resource.h"

#include <commctrl.h>
#include <string.h>

enum {
    NAME_BUFFER_SIZE = 258,                 // the longest entry name and its terminator
    DATA_DESCRIPTOR_SIGNATURE = 0x08074B50,
    SHORT_SIGNATURE = 0x50000000,           // accepted as a local header as well
    LARGEST_OFFSET = 0x7FFFFFFF             // archive offsets are signed 32-bit
};

WORD header_word(int offset)
{
    const BYTE *p = installer.local_header + offset;
    return (WORD)(p[0] | p[1] << 8);
}

DWORD header_dword(int offset)
{
    const BYTE *p = installer.local_header + offset;
    return (DWORD)p[0] | (DWORD)p[1] << 8 | (DWORD)p[2] << 16 | (DWORD)p[3] << 24;
}

bool read_local_header()
{
    for (;;) {
        DWORD got;
        memset(installer.local_header, 0, sizeof installer.local_header);
        ReadFile(installer.archive_file, installer.local_header, sizeof installer.local_header,
                 &got, NULL);
        DWORD signature = header_dword(HEADER_SIGNATURE);
        if (signature == installer.expected_signature || signature == SHORT_SIGNATURE) {
            installer.entry_remaining = (LONG)header_dword(HEADER_COMPRESSED_SIZE);
            return true;
        }
        installer.entry_remaining = 0;
        if (signature != DATA_DESCRIPTOR_SIGNATURE)
            return false;
        // The record just read starts where the last seek went.
        seek_archive((DWORD)installer.archive_position + DATA_DESCRIPTOR_SIZE);
    }
}

static void show_archive_error()
{
    show_failure(IDS_ARCHIVE_ERROR, load_string(IDS_ARCHIVE_READ_ERROR));
}

// Reads the entry name that follows the header; false when it does not fit the buffer or the
// archive ends inside it.
static bool read_entry_name(char *name, WORD length)
{
    DWORD got = 0;
    if (length >= NAME_BUFFER_SIZE)
        return false;
    if (length && (!ReadFile(installer.archive_file, name, length, &got, NULL) || got != length))
        return false;
    name[length] = 0;
    return true;
}

// True for a component that Windows would read as a parent folder: dots and blanks only,
// with at least two dots ("..", "...", ".. ").
static bool is_dot_component(const char *start, const char *end)
{
    int dots = 0;
    for (const char *p = start; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

static char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// True for a component that names a DOS device (CON, PRN, AUX, NUL, COM1-9, LPT1-9), with or
// without an extension: a file of that name would be written to the device, not the disk.
static bool is_device_component(const char *start, const char *end)
{
    static const char *const devices[] = { "CON", "PRN", "AUX", "NUL" };
    size_t n = 0;
    while (start + n < end && start[n] != '.')
        n++;
    while (n > 0 && start[n - 1] == ' ')
        n--;
    if (n == 4 && (upper(start[3]) >= '1' && upper(start[3]) <= '9')) {
        if ((upper(start[0]) == 'C' && upper(start[1]) == 'O' && upper(start[2]) == 'M')
            || (upper(start[0]) == 'L' && upper(start[1]) == 'P' && upper(start[2]) == 'T'))
            return true;
    }
    if (n != 3)
        return false;
    for (size_t d = 0; d < sizeof devices / sizeof devices[0]; d++)
        if (upper(start[0]) == devices[d][0] && upper(start[1]) == devices[d][1]
            && upper(start[2]) == devices[d][2])
            return true;
    return false;
}

// True when the entry name stays inside the destination folder: it does not start with a
// separator, holds no drive or stream colon, and has no parent-folder or device component.
static bool entry_name_safe(const char *name)
{
    const char *start = name;
    if (name[0] == '/' || name[0] == '\\')
        return false;
    for (const char *p = name;; p++) {
        if (*p == ':')
            return false;
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (is_dot_component(start, p) || is_device_component(start, p))
                return false;
            if (*p == 0)
                return true;
            start = p + 1;
        }
    }
}

// Lets the dialog's queue run once between files: one message of the thread, if any.
static void pump_one_message()
{
    MSG message;
    if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Creates the missing folders of a new file's destination path, recording them in the log,
// and checks that its parent folder exists. False after showing 207 when it does not.
static bool prepare_folders(char *destination, char *parent)
{
    // path_exists also turns every '/' of the destination into '\'.
    if (path_exists(destination))
        return true;
    create_path_folders(destination);
    text_copy(parent, parent_path(destination), TEXT_SIZE);
    make_dirs(parent);
    if (path_exists(parent))
        return true;
    show_failure(IDS_DIRECTORY_ERROR, parent);
    return false;
}

// Writes the entry's data to the open output file and checks it against the local header.
// A method other than stored or deflated shows 208 and 209; damaged, cut-short or unwritten
// data shows 208 and the path. The output file is closed in every case; false after a
// message.
static bool write_entry(const char *destination)
{
    EntryOutput output;
    bool written;
    WORD method = header_word(HEADER_METHOD);

    begin_entry_output(&output);
    installer.entry_remaining = (LONG)header_dword(HEADER_COMPRESSED_SIZE);
    if (method == METHOD_STORED) {
        written = copy_stored_entry(&output);
    } else if (method == METHOD_DEFLATED) {
        written = inflate_entry(&output);
    } else {
        CloseHandle(installer.output_file);
        show_failure(IDS_EXTRACTION_ERROR, load_string(IDS_UNKNOWN_METHOD));
        return false;
    }
    written = written && output.size == header_dword(HEADER_UNCOMPRESSED_SIZE)
              && output.crc == header_dword(HEADER_CRC32);
    if (!written) {
        CloseHandle(installer.output_file);
        show_failure(IDS_EXTRACTION_ERROR, destination);
        return false;
    }
    if (!CloseHandle(installer.output_file))
        show_failure(IDS_CANNOT_CLOSE_FILE, destination);
    return true;
}

// Handles the file entry `name` whose header is in installer.local_header; the read position
// is at its data. False after a failure has been shown.
static bool extract_file(HWND dialog, const char *name)
{
    char destination[TEXT_SIZE];
    char parent[TEXT_SIZE];

    if (header_word(HEADER_FLAGS) & FLAG_ENCRYPTED) {
        // The installer holds no password.
        show_archive_error();
        return false;
    }
    to_backslashes(installer.destination_folder);
    strip_trailing_backslash(installer.destination_folder);
    // The path must fit a path buffer and a log line that reads back whole.
    if (!text_copy(destination, installer.destination_folder, sizeof destination)
        || !text_append(destination, "\\", sizeof destination)
        || !text_append(destination, name, sizeof destination)
        || text_length(destination) > LOG_PATH_MAX) {
        show_failure(IDS_CANNOT_OPEN_FILE, name);
        return false;
    }
    if (!prepare_folders(destination, parent))
        return false;

    installer.output_file = CreateFileA(destination, GENERIC_WRITE, FILE_SHARE_WRITE, NULL,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (installer.output_file == INVALID_HANDLE_VALUE) {
        show_failure(IDS_CANNOT_OPEN_FILE, destination);
        return false;
    }
    SetDlgItemTextA(dialog, IDC_STATUS, destination);
    append_install_log(installer.destination_folder, "FIL:", destination);
    pump_one_message();
    return write_entry(destination);
}

void extract_archive(HWND dialog)
{
    // Formed at run time, so that the signature's four bytes stand nowhere in the program
    // but in the payload archive it carries.
    volatile DWORD signature_base = 0x04034B51;
    char name[NAME_BUFFER_SIZE];
    bool entry_ok = false;

    installer.extract_succeeded = false;
    installer.expected_signature = signature_base - 1;

    seek_archive(installer.archive_start);
    if (installer.archive_position == -1) {
        show_archive_error();
        return;
    }
    memset(name, 0, sizeof name);
    while (!installer.abort_requested && read_local_header()) {
        DWORD header_offset = (DWORD)installer.archive_position;
        WORD name_length = header_word(HEADER_NAME_LENGTH);
        WORD extra_length = header_word(HEADER_EXTRA_LENGTH);
        bool name_read = read_entry_name(name, name_length);
        SetFilePointer(installer.archive_file, extra_length, NULL, FILE_CURRENT);

        if (installer.progress_bar)
            SendMessageA(installer.progress_bar, PBM_SETPOS, header_offset / 1024, 0);
        if (!name_read || name[0] == 0 || !entry_name_safe(name)) {
            show_archive_error();
            return;
        }
        if (name_part(name)[0] != 0) {
            // A file entry; a directory entry creates nothing: its folder comes into being
            // with the first file inside it.
            if (!extract_file(dialog, name))
                return;
            entry_ok = true;
        }

        unsigned long long next = (unsigned long long)header_offset + LOCAL_HEADER_SIZE
                                  + name_length + extra_length
                                  + header_dword(HEADER_COMPRESSED_SIZE);
        if (next > LARGEST_OFFSET) {
            // A size that runs past any archive the installer can read.
            show_archive_error();
            return;
        }
        seek_archive((DWORD)next);
        memset(name, 0, sizeof name);
    }
    if (entry_ok && !installer.abort_requested)
        installer.extract_succeeded = true;
}

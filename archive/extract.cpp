// The extraction: the archive walk with a handler that writes each file entry to its file under
// the destination folder, with its folders and its records in the install log.
#include "archive/extract.h"
#include "archive/entry_names.h"
#include "archive/install_log.h"
#include "archive/paths.h"
#include "archive/walk.h"
#include "base/file_io.h"
#include "base/text.h"

namespace {

enum { MOST_FOLDERS = PATH_SIZE / 2 };     // a path of 255 characters has at most this many

// The file being written, and the system's reason when a write to it failed.
struct OutputFile {
    HANDLE handle;
    DWORD error;
};

// One run of the extraction: where the files go, the install log, and the file being written.
struct ExtractionState {
    const ZipSource *source;
    const char *destination;
    const ArchiveReport *report;
    InstallLog log;
    char known_folder[PATH_SIZE];           // the last file's folder, which surely exists
    char failed_folder[PATH_SIZE];          // a folder that could not be made, for its message
    OutputFile output;
    bool prepared;                          // the destination and the log are ready
    // The folders made for the destination before the first file: the length of each path.
    unsigned short made[MOST_FOLDERS];
    int made_count;
};

// A failure of the install log: its path, and the system's reason.
ArchiveFailure log_failure(ExtractionState *state, ArchiveFailure kind, ArchiveProblem *problem)
{
    problem->detail = state->log.name;
    problem->system_error = state->log.error;
    return kind;
}

bool remember_made(void *context, const char *folder)
{
    ExtractionState *state = (ExtractionState *)context;
    if (state->made_count < MOST_FOLDERS)
        state->made[state->made_count++] = (unsigned short)strlen(folder);
    return true;
}

// Removes the folders made for the destination, deepest first (each only if it is empty).
void remove_made_folders(ExtractionState *state)
{
    char folder[PATH_SIZE];
    while (state->made_count > 0) {
        unsigned short length = state->made[--state->made_count];
        memcpy(folder, state->log.name, length);
        folder[length] = 0;
        RemoveDirectoryA(folder);
    }
}

// Before the first folder or file of the payload: the destination folder (never recorded) and
// the install log, open for appending. Without a log that takes records no file may be
// written, for an uninstaller could never remove it: then what this step made is removed
// again.
ArchiveFailure prepare_destination(ExtractionState *state, ArchiveProblem *problem)
{
    char folder[PATH_SIZE];

    if (state->log.name[0] == 0) {
        state->log.error = ERROR_FILENAME_EXCED_RANGE;
        return log_failure(state, ARCHIVE_LOG_FAILED, problem);
    }
    create_path_folders(state->log.name, remember_made, state);
    text_copy(folder, state->destination, sizeof folder);
    if (!attributes_exist(folder)) {
        // A drive that is missing, say: what the user sees is the folder that cannot be made.
        remove_made_folders(state);
        text_copy(state->failed_folder, folder, sizeof state->failed_folder);
        problem->detail = state->failed_folder;
        return ARCHIVE_FOLDER_FAILED;
    }
    if (!install_log_open(&state->log)) {
        bool created = state->log.created;
        install_log_end(&state->log);
        if (created)
            DeleteFileA(state->log.name);
        remove_made_folders(state);
        return log_failure(state, ARCHIVE_LOG_FAILED, problem);
    }
    state->prepared = true;
    return ARCHIVE_OK;
}

// Records a folder that the walk made for a file, unless it is the destination itself. A
// folder whose record cannot be written is removed again.
bool record_folder(void *context, const char *folder)
{
    ExtractionState *state = (ExtractionState *)context;
    if (text_equal(folder, state->destination) || install_log_add(&state->log, "DIR:", folder))
        return true;
    RemoveDirectoryA(folder);
    return false;
}

// Makes sure the folder of the file at `path` exists, creating and recording the missing ones.
// Files of one folder mostly come one after the other: a folder that the previous file had is
// not probed again.
ArchiveFailure prepare_folders(ExtractionState *state, const char *path, ArchiveProblem *problem)
{
    char parent[PATH_SIZE];

    parent_path(path, parent, sizeof parent);
    if (parent[0] && text_equal(parent, state->known_folder))
        return ARCHIVE_OK;
    text_copy(state->failed_folder, parent, sizeof state->failed_folder);
    FoldersMade made = create_path_folders(path, record_folder, state);
    if (made == FOLDERS_STOPPED)
        return log_failure(state, ARCHIVE_RECORD_FAILED, problem);
    if (made == FOLDERS_MADE) {
        // Made just now (or a drive's root): make_dirs is the fallback the check relies on.
        make_dirs(state->failed_folder);
        if (!path_exists(state->failed_folder)) {
            problem->detail = state->failed_folder;
            return ARCHIVE_FOLDER_FAILED;
        }
    }
    text_copy(state->known_folder, parent, sizeof state->known_folder);
    return ARCHIVE_OK;
}

// The file entry's folders and file, its path in the status line and its record in the log.
// The file is created afresh (an older one is truncated) and shared for reading only: nobody
// else writes it at the same time.
ArchiveFailure open_output(void *context, const ZipEntry *entry, const char *path,
                           ArchiveProblem *problem)
{
    ExtractionState *state = (ExtractionState *)context;
    ArchiveFailure result = ARCHIVE_OK;
    if ((!state->prepared && (result = prepare_destination(state, problem)) != ARCHIVE_OK)
        || (result = prepare_folders(state, path, problem)) != ARCHIVE_OK)
        return result;
    state->output.handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD error = GetLastError();
    if (state->output.handle == INVALID_HANDLE_VALUE) {
        problem->detail = path;
        problem->system_error = error;
        return ARCHIVE_CREATE_FAILED;
    }
    bool existed = error == ERROR_ALREADY_EXISTS;
    state->report->status(state->report->context, path, entry->uncompressed_size);
    if (!install_log_add(&state->log, "FIL:", path)) {
        // An unrecorded file is one that an uninstaller would never remove.
        CloseHandle(state->output.handle);
        state->output.handle = INVALID_HANDLE_VALUE;
        if (!existed)
            DeleteFileA(path);
        return log_failure(state, ARCHIVE_RECORD_FAILED, problem);
    }
    return ARCHIVE_OK;
}

bool write_output_bytes(void *context, const unsigned char *data, unsigned long count)
{
    OutputFile *output = (OutputFile *)context;
    DWORD written = 0;
    if (WriteFile(output->handle, data, count, &written, NULL) && written == count)
        return true;
    output->error = written == count ? GetLastError() : ERROR_DISK_FULL;
    return false;
}

// The entry's data, decoded into its file, which is then closed.
ArchiveFailure write_output(void *context, const ZipEntry *entry, const char *path,
                            ArchiveProblem *problem)
{
    ExtractionState *state = (ExtractionState *)context;
    const ZipSink sink = { write_output_bytes, &state->output };
    state->output.error = 0;
    ArchiveFailure result = zip_read_data(state->source, entry, &sink, &problem->reason);
    problem->method = entry->method;
    problem->detail = path;
    if (result == ARCHIVE_WRITE_FAILED)
        problem->system_error = state->output.error;
    BOOL closed = CloseHandle(state->output.handle);
    state->output.handle = INVALID_HANDLE_VALUE;
    if (result == ARCHIVE_OK && !closed) {
        problem->system_error = GetLastError();
        return ARCHIVE_CLOSE_FAILED;
    }
    return result;
}

} // namespace

void file_source(ZipSource *source, HANDLE file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    source->read = read_file;
    source->seek = seek_file;
    source->context = file;
    source->size = (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
                       ? 0 : ((uint64_t)high << 32 | low);
}

ArchiveFailure extract_archive(const ZipSource *source, const char *destination,
                               const ArchiveReport *report)
{
    ExtractionState state;
    state.source = source;
    state.destination = destination;
    state.report = report;
    state.known_folder[0] = 0;
    state.output.handle = INVALID_HANDLE_VALUE;
    state.prepared = false;
    state.made_count = 0;
    install_log_begin(&state.log, destination);
    const WalkHandler handler = { NULL, NULL, open_output, write_output, NULL, &state };
    ArchiveFailure result = walk_archive(source, destination, report, &handler);
    install_log_end(&state.log);
    return result;
}

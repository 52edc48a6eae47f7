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

// One run of the extraction: where the files go, and the file being written.
struct ExtractionState {
    const ZipSource *source;
    const char *destination;
    const ArchiveReport *report;
    InstallLog log;
    char known_folder[ENTRY_PATH_SIZE];     // the last file's folder, which surely exists
    char failed_folder[ENTRY_PATH_SIZE];    // a folder that could not be made, for its message
    HANDLE file;                            // the output file, from its creation to its closing
};

// Makes sure the folder of the file at `path` exists, creating and recording the missing ones.
// Files of one folder mostly come one after the other: a folder that the previous file had is
// not probed again.
ArchiveFailure prepare_folders(ExtractionState *state, const char *path, ArchiveProblem *problem)
{
    char parent[ENTRY_PATH_SIZE];

    parent_path(path, parent, sizeof parent);
    if (parent[0] && text_equal(parent, state->known_folder))
        return ARCHIVE_OK;
    text_copy(state->failed_folder, parent, sizeof state->failed_folder);
    if (!create_path_folders(path, state->destination, &state->log)) {
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
ArchiveFailure open_output(void *context, const ZipEntry *entry, const char *path,
                           ArchiveProblem *problem)
{
    ExtractionState *state = (ExtractionState *)context;
    ArchiveFailure result = prepare_folders(state, path, problem);
    if (result != ARCHIVE_OK)
        return result;
    state->file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (state->file == INVALID_HANDLE_VALUE) {
        problem->detail = path;
        return ARCHIVE_CREATE_FAILED;
    }
    state->report->status(state->report->context, path, entry->uncompressed_size);
    install_log_add(&state->log, "FIL:", path);
    return ARCHIVE_OK;
}

// The entry's data, decoded into its file, which is then closed.
ArchiveFailure write_output(void *context, const ZipEntry *entry, const char *path,
                            ArchiveProblem *problem)
{
    ExtractionState *state = (ExtractionState *)context;
    const ZipSink sink = { write_file, state->file };
    ArchiveFailure result = zip_read_data(state->source, entry, &sink, &problem->reason);
    problem->method = entry->method;
    problem->detail = path;
    BOOL closed = CloseHandle(state->file);
    state->file = INVALID_HANDLE_VALUE;
    if (result == ARCHIVE_OK && !closed)
        return ARCHIVE_CLOSE_FAILED;
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
    state.file = INVALID_HANDLE_VALUE;
    install_log_begin(&state.log, destination);
    const WalkHandler handler = { NULL, NULL, open_output, write_output, NULL, &state };
    ArchiveFailure result = walk_archive(source, destination, report, &handler);
    install_log_end(&state.log);
    return result;
}

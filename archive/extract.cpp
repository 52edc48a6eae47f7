// The extraction driver: the archive walk with a sink that writes each file entry to its file
// under the destination folder.
#include "archive/extract.h"
#include "archive/entry_names.h"
#include "archive/install_log.h"
#include "archive/paths.h"
#include "base/text.h"

namespace {

unsigned long read_file(void *context, unsigned char *buffer, unsigned long count)
{
    DWORD got = 0;
    if (!ReadFile((HANDLE)context, buffer, count, &got, NULL))
        return 0;
    return got;
}

bool seek_file(void *context, uint32_t offset)
{
    DWORD reached = SetFilePointer((HANDLE)context, (LONG)offset, NULL, FILE_BEGIN);
    return !(reached == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool write_file(void *context, const unsigned char *data, unsigned long count)
{
    DWORD written = 0;
    return WriteFile((HANDLE)context, data, count, &written, NULL) && written == count;
}

// One run of the extraction.
struct Extraction {
    const ZipSource *source;
    const char *destination;
    const ArchiveReport *report;
    const ZipEntry *entry;                  // the entry being handled
    InstallLog log;
    char known_folder[ENTRY_PATH_SIZE];     // the last file's folder, which surely exists
};

ArchiveFailure report_problem(Extraction *x, ArchiveFailure kind, InflateResult reason,
                              const char *detail)
{
    ArchiveProblem problem = { kind, reason, detail, x->entry ? x->entry->name : "" };
    x->report->problem(x->report->context, &problem);
    return kind;
}

// Makes sure the folder of the file at `path` exists, creating and recording the missing ones.
// Files of one folder mostly come one after the other: a folder that the previous file had is
// not probed again.
ArchiveFailure prepare_folders(Extraction *x, char *path)
{
    char parent[ENTRY_PATH_SIZE];
    char folder[ENTRY_PATH_SIZE];

    parent_path(path, parent, sizeof parent);
    if (parent[0] && text_equal(parent, x->known_folder))
        return ARCHIVE_OK;
    text_copy(folder, parent, sizeof folder);
    if (!create_path_folders(path, x->destination, &x->log)) {
        // Made just now (or a drive's root): make_dirs is the fallback the check relies on.
        make_dirs(folder);
        if (!path_exists(folder))
            return report_problem(x, ARCHIVE_FOLDER_FAILED, INFLATE_OK, folder);
    }
    text_copy(x->known_folder, parent, sizeof x->known_folder);
    return ARCHIVE_OK;
}

// Writes the file entry whose data the source stands at. `stop` is set when the user asked
// to stop after this file.
ArchiveFailure extract_file(Extraction *x, const ZipEntry *entry, bool *stop)
{
    char path[ENTRY_PATH_SIZE];
    ArchiveFailure result;
    InflateResult reason;

    if (entry->flags & ZIP_FLAG_ENCRYPTED)     // the installer holds no password
        return report_problem(x, ARCHIVE_BAD_ENTRY, INFLATE_OK, "");
    if (!entry_destination(x->destination, entry->name, path, sizeof path))
        return report_problem(x, ARCHIVE_PATH_TOO_LONG, INFLATE_OK, entry->name);
    if ((result = prepare_folders(x, path)) != ARCHIVE_OK)
        return result;

    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return report_problem(x, ARCHIVE_CREATE_FAILED, INFLATE_OK, path);
    x->report->status(x->report->context, path, entry->compressed_size);
    install_log_add(&x->log, "FIL:", path);
    *stop = x->report->between_files(x->report->context);

    // The source's position is the entry's data still: the hook reads no archive.
    const ZipSink sink = { write_file, file };
    result = zip_read_data(x->source, entry, &sink, &reason);
    if (result != ARCHIVE_OK) {
        CloseHandle(file);
        return report_problem(x, result, reason, path);
    }
    if (!CloseHandle(file))
        report_problem(x, ARCHIVE_CLOSE_FAILED, INFLATE_OK, path);
    return ARCHIVE_OK;
}

ArchiveFailure walk(Extraction *x)
{
    ZipWalk walk;
    ZipEntry entry;
    ZipStep step;
    bool any_file = false;
    bool stop = false;

    zip_walk_start(&walk, x->source);
    entry.name[0] = 0;
    x->entry = &entry;
    while (!stop && (step = zip_next_entry(&walk, &entry)) != ZIP_STEP_END) {
        x->report->progress(x->report->context, entry.offset / 1024);
        if (step == ZIP_STEP_UNREADABLE || !entry_name_safe(entry.name))
            return report_problem(x, ARCHIVE_BAD_ENTRY, INFLATE_OK, "");
        if (name_part(entry.name)[0] != 0) {
            // A folder entry creates nothing: its folder comes with the first file inside it.
            ArchiveFailure result = extract_file(x, &entry, &stop);
            if (result != ARCHIVE_OK)
                return result;
            any_file = true;
        }
        if (!zip_step_past(&walk, &entry))
            return report_problem(x, ARCHIVE_BAD_ENTRY, INFLATE_OK, "");
    }
    if (stop)
        return ARCHIVE_ABORTED;
    return any_file ? ARCHIVE_OK : ARCHIVE_NO_FILES;
}

} // namespace

void file_source(ZipSource *source, HANDLE file)
{
    source->read = read_file;
    source->seek = seek_file;
    source->context = file;
}

ArchiveFailure extract_archive(const ZipSource *source, const char *destination,
                               const ArchiveReport *report)
{
    Extraction x;
    x.source = source;
    x.destination = destination;
    x.report = report;
    x.known_folder[0] = 0;
    install_log_begin(&x.log, destination);
    ArchiveFailure result = walk(&x);
    install_log_end(&x.log);
    return result;
}

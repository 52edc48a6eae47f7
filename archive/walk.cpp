// The one walk over the local headers, with its handler's steps for each entry.
#include "archive/walk.h"
#include "archive/entry_names.h"

namespace {

// The walk's run: where it reports, and the problem being described.
struct WalkRun {
    const ArchiveReport *report;
    const WalkHandler *handler;
    const ZipEntry *entry;      // the entry being handled; NULL before the first
    ArchiveProblem problem;
    char long_path[2 * PATH_SIZE];  // a destination path too long to write, for its message
};

// Clears the problem before a step describes one.
ArchiveProblem *fresh_problem(WalkRun *run)
{
    ArchiveProblem blank = { ARCHIVE_OK, CAUSE_NONE, INFLATE_OK, 0, 0, "", NULL };
    run->problem = blank;
    return &run->problem;
}

// Reports the problem that a step described (the entry's name added unless the step named
// one) and returns its kind.
ArchiveFailure report(WalkRun *run, ArchiveFailure kind)
{
    ArchiveProblem *problem = &run->problem;
    problem->kind = kind;
    if (!problem->entry)
        problem->entry = run->entry ? run->entry->name : "";
    run->report->problem(run->report->context, problem);
    return kind;
}

// Reports a refusal of the walk's own: the entry (or the archive) is not one it unpacks.
ArchiveFailure refuse(WalkRun *run, ArchiveCause cause)
{
    fresh_problem(run)->cause = cause;
    return report(run, ARCHIVE_BAD_ENTRY);
}

// A file entry: its path, the handler's output, a turn for the user interface, its data.
ArchiveFailure handle_file(WalkRun *run, const char *destination, const ZipEntry *entry,
                           bool *stop)
{
    const WalkHandler *handler = run->handler;
    char path[PATH_SIZE];
    ArchiveFailure result;

    if (entry->flags & (ZIP_FLAG_ENCRYPTED | ZIP_FLAG_STRONG_ENCRYPTION))
        return refuse(run, CAUSE_ENCRYPTED);   // the installer holds no password
    if (!entry_destination(destination, entry->name, path, sizeof path)) {
        // The message names the whole path that would be too long.
        entry_destination(destination, entry->name, run->long_path, sizeof run->long_path);
        fresh_problem(run)->detail = run->long_path;
        return report(run, ARCHIVE_PATH_TOO_LONG);
    }
    if (handler->open
        && (result = handler->open(handler->context, entry, path, fresh_problem(run))) != ARCHIVE_OK)
        return report(run, result);
    *stop = run->report->stop_requested(run->report->context);
    result = handler->data(handler->context, entry, path, fresh_problem(run));
    if (result == ARCHIVE_CLOSE_FAILED) {
        report(run, result);
        result = ARCHIVE_OK;
    }
    return result == ARCHIVE_OK ? ARCHIVE_OK : report(run, result);
}

} // namespace

ArchiveFailure walk_archive(const ZipSource *source, const char *destination,
                            const ArchiveReport *archive_report, const WalkHandler *handler)
{
    WalkRun run;
    ZipCursor cursor;
    ZipEntry entry;
    ZipStep step;
    ArchiveFailure result;
    bool any_file = false;
    bool stop = false;

    run.report = archive_report;
    run.handler = handler;
    run.entry = NULL;
    if (handler->begin && (result = handler->begin(handler->context, fresh_problem(&run))) != ARCHIVE_OK)
        return report(&run, result);

    zip_cursor_start(&cursor, source);
    entry.name[0] = 0;
    while (!stop && (step = zip_next_entry(&cursor, &entry)) != ZIP_STEP_END) {
        run.entry = &entry;
        archive_report->progress(archive_report->context, entry.offset / 1024);
        if (step == ZIP_STEP_UNREADABLE)
            return refuse(&run, CAUSE_NAME_UNREADABLE);
        if (handler->entry
            && (result = handler->entry(handler->context, &entry, fresh_problem(&run))) != ARCHIVE_OK)
            return report(&run, result);
        ArchiveCause cause = entry_name_cause(entry.name, entry.name_length, entry.flags);
        if (cause != CAUSE_NONE)
            return refuse(&run, cause);
        // A folder entry creates nothing: its folder comes with the first file inside it.
        if (name_part(entry.name)[0] != 0) {
            if ((result = handle_file(&run, destination, &entry, &stop)) != ARCHIVE_OK)
                return result;
            any_file = true;
        }
        if (!zip_step_past(&cursor, &entry))
            return refuse(&run, CAUSE_TOO_FAR);
    }
    if (stop)
        return ARCHIVE_ABORTED;
    run.entry = NULL;
    if (handler->end && (result = handler->end(handler->context, &cursor, fresh_problem(&run))) != ARCHIVE_OK)
        return report(&run, result);
    return any_file ? ARCHIVE_OK : ARCHIVE_NO_FILES;
}

// The whole archive checked before anything is written: the extraction's walk with a sink
// that discards the decoded bytes.
#include "archive/report.h"
#include "archive/entry_names.h"

namespace {

ArchiveFailure report_problem(const ArchiveReport *report, ArchiveFailure kind,
                              InflateResult reason, const char *detail, const char *entry)
{
    ArchiveProblem problem = { kind, reason, detail, entry };
    report->problem(report->context, &problem);
    return kind;
}

} // namespace

ArchiveFailure check_archive(const ZipSource *source, const char *destination,
                             const ArchiveReport *report)
{
    const ZipSink discard = { nullptr, nullptr };
    char path[ENTRY_PATH_SIZE];
    ZipEntry entry;
    entry.name[0] = 0;
    ZipWalk walk;
    ZipStep step;
    bool any_file = false;
    bool stop = false;

    zip_walk_start(&walk, source);
    while (!stop && (step = zip_next_entry(&walk, &entry)) != ZIP_STEP_END) {
        report->progress(report->context, entry.offset / 1024);
        if (step == ZIP_STEP_UNREADABLE || !entry_name_safe(entry.name))
            return report_problem(report, ARCHIVE_BAD_ENTRY, INFLATE_OK, "", entry.name);
        if (name_part(entry.name)[0] != 0) {
            if (entry.flags & ZIP_FLAG_ENCRYPTED)
                return report_problem(report, ARCHIVE_BAD_ENTRY, INFLATE_OK, "", entry.name);
            if (!entry_destination(destination, entry.name, path, sizeof path))
                return report_problem(report, ARCHIVE_PATH_TOO_LONG, INFLATE_OK, entry.name,
                                      entry.name);
            stop = report->between_files(report->context);
            InflateResult reason;
            ArchiveFailure result = zip_read_data(source, &entry, &discard, &reason);
            if (result != ARCHIVE_OK)
                return report_problem(report, result, reason, path, entry.name);
            any_file = true;
        }
        if (!zip_step_past(&walk, &entry))
            return report_problem(report, ARCHIVE_BAD_ENTRY, INFLATE_OK, "", entry.name);
    }
    if (stop)
        return ARCHIVE_ABORTED;
    if (!zip_walk_complete(&walk))
        return report_problem(report, ARCHIVE_BAD_ENTRY, INFLATE_OK, "", "");
    return any_file ? ARCHIVE_OK : ARCHIVE_NO_FILES;
}

// The whole-archive check: the walk with a handler that holds every local header to the
// central directory and decodes every file entry into nothing, verifying it.
#include "archive/check.h"
#include "archive/directory.h"
#include "archive/walk.h"

#include <stdlib.h>

namespace {

struct Check {
    const ZipSource *source;
    const FileProbe *probe;
    CentralDirectory directory;
    unsigned char *extra;               // room for the longest local extra field
    char unlisted[ZIP_NAME_SIZE];       // the name of a record that the walk did not meet
};

ArchiveFailure bad_entry(ArchiveProblem *problem, ArchiveCause cause)
{
    problem->cause = cause;
    return ARCHIVE_BAD_ENTRY;
}

ArchiveFailure read_directory(void *context, ArchiveProblem *problem)
{
    Check *check = (Check *)context;
    check->extra = (unsigned char *)malloc(ZIP_LONGEST_EXTRA);
    if (!check->extra)
        return ARCHIVE_NO_MEMORY;
    return directory_read(&check->directory, check->source, &problem->cause);
}

// True when the local extra field holds ZIP64 sizes.
bool local_zip64(Check *check, const ZipEntry *entry)
{
    const ZipSource *source = check->source;
    if (entry->compressed_size == 0xFFFFFFFF || entry->uncompressed_size == 0xFFFFFFFF)
        return true;
    return entry->extra_length >= 4
           && source->seek(source->context, entry->offset + ZIP_HEADER_SIZE + entry->name_length)
           && zip_read_fully(source, check->extra, entry->extra_length) == entry->extra_length
           && zip_extra_has_zip64(check->extra, entry->extra_length);
}

// The data descriptor that follows an entry with flag bit 3: the walk steps over signed
// descriptors only, and this one must repeat the local header's CRC-32 and sizes.
ArchiveCause judge_descriptor(Check *check, const ZipEntry *entry)
{
    const ZipSource *source = check->source;
    unsigned char descriptor[ZIP_DESCRIPTOR_SIZE] = { 0 };
    uint64_t at = (uint64_t)zip_data_offset(entry) + entry->compressed_size;
    if (at > ZIP_LARGEST_OFFSET || !source->seek(source->context, (uint32_t)at))
        return CAUSE_TOO_FAR;
    zip_read_fully(source, descriptor, sizeof descriptor);
    if (zip_get32(descriptor) != ZIP_DESCRIPTOR_SIGNATURE)
        return CAUSE_DESCRIPTOR_UNSIGNED;
    if (zip_get32(descriptor + 4) != entry->crc32
        || zip_get32(descriptor + 8) != entry->compressed_size
        || zip_get32(descriptor + 12) != entry->uncompressed_size)
        return CAUSE_DESCRIPTOR_DIFFERS;
    return CAUSE_NONE;
}

ArchiveFailure hold_to_directory(void *context, const ZipEntry *entry, ArchiveProblem *problem)
{
    Check *check = (Check *)context;
    const ZipSource *source = check->source;
    ArchiveCause cause = CAUSE_NONE;

    if (local_zip64(check, entry))
        cause = CAUSE_ZIP64;
    if (cause == CAUSE_NONE)
        cause = directory_match(&check->directory, source, entry);
    if (cause == CAUSE_NONE && (entry->flags & ZIP_FLAG_DESCRIPTOR))
        cause = judge_descriptor(check, entry);
    source->seek(source->context, zip_data_offset(entry));
    return cause == CAUSE_NONE ? ARCHIVE_OK : bad_entry(problem, cause);
}

ArchiveFailure probe_file(void *context, const ZipEntry *entry, const char *path,
                          ArchiveProblem *problem)
{
    const FileProbe *probe = ((Check *)context)->probe;
    return probe ? probe->probe(probe->context, entry, path, problem) : ARCHIVE_OK;
}

ArchiveFailure verify_data(void *context, const ZipEntry *entry, const char *path,
                           ArchiveProblem *problem)
{
    const ZipSink discard = { nullptr, nullptr };
    ArchiveFailure result = zip_read_data(((Check *)context)->source, entry, &discard,
                                          &problem->reason);
    problem->method = entry->method;
    problem->detail = path;
    return result;
}

ArchiveFailure judge_end(void *context, const ZipCursor *cursor, ArchiveProblem *problem)
{
    Check *check = (Check *)context;
    if (cursor->next_offset != check->directory.start)
        return bad_entry(problem, CAUSE_WALK_END);
    ArchiveCause cause = directory_all_met(&check->directory, check->source, check->unlisted);
    problem->entry = check->unlisted;
    return cause == CAUSE_NONE ? ARCHIVE_OK : bad_entry(problem, cause);
}

} // namespace

ArchiveFailure check_archive(const ZipSource *source, const char *destination,
                             const ArchiveReport *report, const FileProbe *probe)
{
    Check check;
    check.source = source;
    check.probe = probe;
    check.directory.records = NULL;
    check.directory.count = 0;
    check.extra = NULL;
    const WalkHandler handler = { read_directory, hold_to_directory, probe_file, verify_data,
                                  judge_end, &check };
    ArchiveFailure result = walk_archive(source, destination, report, &handler);
    directory_release(&check.directory);
    free(check.extra);
    return result;
}

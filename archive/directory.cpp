// The end record and the central directory, read and held to the local headers.
#include "archive/directory.h"

#include <stdlib.h>
#include <string.h>

namespace {

enum {
    END_RECORD_SIZE = 22,
    LONGEST_COMMENT = 65535,
    RECORD_SIZE = 46,
    LOCATOR_SIZE = 20,          // the ZIP64 end locator, just before the end record
    READ_AHEAD = 4096,
    NO_16 = 0xFFFF,             // a 16-bit field that defers to ZIP64
    NO_32 = 0xFFFFFFFF          // a 32-bit field that defers to ZIP64
};

// The central directory read front to back through a buffer of its own.
struct DirectoryReader {
    const ZipSource *source;
    unsigned char *extra;       // room for the longest extra field
    uint32_t left;              // bytes of the directory not yet in the buffer
    uint32_t filled;
    uint32_t next;
    unsigned char buffer[READ_AHEAD];
};

// Takes the next `count` bytes of the directory into `out` (NULL: passes over them); false
// when the directory ends first.
bool take(DirectoryReader *reader, unsigned char *out, uint32_t count)
{
    while (count > 0) {
        if (reader->next == reader->filled) {
            uint32_t want = reader->left < READ_AHEAD ? reader->left : READ_AHEAD;
            if (want == 0 || zip_read_fully(reader->source, reader->buffer, want) != want)
                return false;
            reader->left -= want;
            reader->filled = want;
            reader->next = 0;
        }
        uint32_t n = reader->filled - reader->next;
        if (n > count)
            n = count;
        if (out) {
            memcpy(out, reader->buffer + reader->next, n);
            out += n;
        }
        reader->next += n;
        count -= n;
    }
    return true;
}

// Reads one record into `record`; CAUSE_NONE, or why the directory cannot be taken.
ArchiveCause read_record(DirectoryReader *reader, uint32_t offset, DirectoryRecord *record)
{
    unsigned char fixed[RECORD_SIZE];
    if (!take(reader, fixed, sizeof fixed) || zip_get32(fixed) != ZIP_DIRECTORY_SIGNATURE)
        return CAUSE_DIRECTORY_DAMAGED;
    zip_take_shared_fields(fixed + 8, record);
    record->local_offset = zip_get32(fixed + 42);
    record->record_offset = offset;
    record->met = false;
    uint32_t extra_length = zip_get16(fixed + 30);
    if (!take(reader, NULL, record->name_length) || !take(reader, reader->extra, extra_length)
        || !take(reader, NULL, zip_get16(fixed + 32)))
        return CAUSE_DIRECTORY_DAMAGED;
    bool zip64 = zip_extra_has_zip64(reader->extra, extra_length);
    if (zip64 || record->compressed_size == NO_32 || record->uncompressed_size == NO_32
        || record->local_offset == NO_32)
        return CAUSE_ZIP64;
    if (zip_get16(fixed + 34) != 0)
        return CAUSE_SPANNED;
    return CAUSE_NONE;
}

// Sorts the records by the offset of their local headers (heapsort: no recursion, no extra
// memory, and no worse than n log n for any order a writer chose).
void sift_down(DirectoryRecord *records, uint32_t root, uint32_t count)
{
    for (;;) {
        uint32_t child = 2 * root + 1;
        if (child >= count)
            return;
        if (child + 1 < count && records[child + 1].local_offset > records[child].local_offset)
            child++;
        if (records[root].local_offset >= records[child].local_offset)
            return;
        DirectoryRecord swap = records[root];
        records[root] = records[child];
        records[child] = swap;
        root = child;
    }
}

void sort_records(DirectoryRecord *records, uint32_t count)
{
    for (uint32_t i = count / 2; i > 0; i--)
        sift_down(records, i - 1, count);
    for (uint32_t end = count; end > 1; end--) {
        DirectoryRecord swap = records[0];
        records[0] = records[end - 1];
        records[end - 1] = swap;
        sift_down(records, 0, end - 1);
    }
}

// Finds the end record in the archive's last bytes: the last signature from which the
// record and its comment reach exactly to the archive's end. Writes its 22 bytes to `record`
// and its offset to *offset; else says why there is none: CAUSE_TRAILING_BYTES when a record
// is there but bytes follow its comment (a stream padded to whole blocks, say).
ArchiveCause find_end_record(const ZipSource *source, unsigned char *record, uint32_t *offset,
                             bool *no_memory)
{
    uint32_t size = (uint32_t)source->size;
    uint32_t tail = size < END_RECORD_SIZE + LONGEST_COMMENT ? size : END_RECORD_SIZE + LONGEST_COMMENT;
    if (tail < END_RECORD_SIZE)
        return CAUSE_NO_END_RECORD;
    unsigned char *bytes = (unsigned char *)malloc(tail);
    if (!bytes) {
        *no_memory = true;
        return CAUSE_NONE;
    }
    ArchiveCause cause = CAUSE_NO_END_RECORD;
    if (source->seek(source->context, size - tail) && zip_read_fully(source, bytes, tail) == tail) {
        const uint32_t signature = ZIP_END_SIGNATURE;
        for (uint32_t i = tail - END_RECORD_SIZE + 1; i-- > 0 && cause != CAUSE_NONE;) {
            if (zip_get32(bytes + i) != signature)
                continue;
            uint32_t reach = i + END_RECORD_SIZE + zip_get16(bytes + i + 20);
            if (reach == tail) {
                memcpy(record, bytes + i, END_RECORD_SIZE);
                *offset = size - tail + i;
                cause = CAUSE_NONE;
            } else if (reach < tail) {
                cause = CAUSE_TRAILING_BYTES;
            }
        }
    }
    free(bytes);
    return cause;
}

// The four bytes at `offset`, or 0 where they cannot be read.
uint32_t signature_at(const ZipSource *source, uint32_t offset)
{
    unsigned char bytes[4] = { 0, 0, 0, 0 };
    if (source->seek(source->context, offset))
        zip_read_fully(source, bytes, sizeof bytes);
    return zip_get32(bytes);
}

// Judges the end record at `end` against the archive: where the central directory lies.
ArchiveCause judge_end_record(const ZipSource *source, const unsigned char *record, uint32_t end,
                              uint32_t *start, uint32_t *count)
{
    uint32_t entries = zip_get16(record + 10);
    uint32_t size = zip_get32(record + 12);
    uint32_t offset = zip_get32(record + 16);
    if (entries == NO_16 || zip_get16(record + 8) == NO_16 || size == NO_32 || offset == NO_32
        || (end >= LOCATOR_SIZE && signature_at(source, end - LOCATOR_SIZE) == ZIP64_LOCATOR_SIGNATURE))
        return CAUSE_ZIP64;
    if (zip_get16(record + 4) != 0 || zip_get16(record + 6) != 0 || zip_get16(record + 8) != entries)
        return CAUSE_SPANNED;
    if (size > end || (uint64_t)offset + size > end)
        return CAUSE_DIRECTORY_DAMAGED;
    if (offset + size != end) {
        // An empty directory's offset says nothing; the local headers must end at its end
        // record all the same.
        if (size == 0 && entries == 0)
            offset = end;
        // The directory does lie just before its end record, but its offsets count from a
        // later start: the archive was put behind other bytes (a self-extractor's stub).
        else if (size > 0 && signature_at(source, end - size) == ZIP_DIRECTORY_SIGNATURE)
            return CAUSE_PREFIX;
        else
            return CAUSE_DIRECTORY_DAMAGED;
    }
    *start = offset;
    *count = entries;
    return CAUSE_NONE;
}

// Reads the directory's records, from its start up to `end`, where its end record stands.
ArchiveCause read_records(CentralDirectory *directory, const ZipSource *source, uint32_t end,
                          unsigned char *extra)
{
    DirectoryReader read_ahead;
    DirectoryReader *reader = &read_ahead;
    reader->source = source;
    reader->extra = extra;
    reader->left = end - directory->start;
    reader->filled = 0;
    reader->next = 0;
    ArchiveCause cause = CAUSE_NONE;
    if (!source->seek(source->context, directory->start))
        cause = CAUSE_DIRECTORY_DAMAGED;
    uint32_t offset = directory->start;
    for (uint32_t i = 0; i < directory->count && cause == CAUSE_NONE; i++) {
        DirectoryRecord *record = &directory->records[i];
        uint32_t before = reader->left + reader->filled - reader->next;
        cause = read_record(reader, offset, record);
        if (cause == CAUSE_DIRECTORY_DAMAGED && before == 0)
            cause = CAUSE_DIRECTORY_COUNT;      // fewer records than the end record counts
        offset += before - (reader->left + reader->filled - reader->next);
    }
    if (cause == CAUSE_NONE && offset != end)
        cause = CAUSE_DIRECTORY_COUNT;          // more records than the end record counts
    return cause;
}

} // namespace

ArchiveFailure directory_read(CentralDirectory *directory, const ZipSource *source,
                              ArchiveCause *cause)
{
    unsigned char record[END_RECORD_SIZE];
    uint32_t end = 0;
    bool no_memory = false;

    directory->records = NULL;
    directory->count = 0;
    directory->start = 0;
    uint32_t first = signature_at(source, 0);
    if (first == ZIP_DESCRIPTOR_SIGNATURE || first == ZIP_SPLIT_MARKER)
        *cause = CAUSE_SPANNED;
    else if (source->size > ZIP_LARGEST_OFFSET)
        *cause = CAUSE_TOO_FAR;
    else if ((*cause = find_end_record(source, record, &end, &no_memory)) == CAUSE_NONE && !no_memory)
        *cause = judge_end_record(source, record, end, &directory->start, &directory->count);
    if (no_memory)
        return ARCHIVE_NO_MEMORY;
    if (*cause != CAUSE_NONE)
        return ARCHIVE_BAD_ENTRY;

    // The first local header stands at the archive's first byte; anything else there (an
    // executable stub, say) is no entry the local-header walk can read.
    if (first != ZIP_LOCAL_SIGNATURE && first != ZIP_SHORT_SIGNATURE
        && !(directory->count == 0 && (first == ZIP_DIRECTORY_SIGNATURE || first == ZIP_END_SIGNATURE))) {
        *cause = CAUSE_PREFIX;
        return ARCHIVE_BAD_ENTRY;
    }
    if (directory->count > 0) {
        directory->records = (DirectoryRecord *)malloc(directory->count * sizeof *directory->records);
        unsigned char *extra = (unsigned char *)malloc(ZIP_LONGEST_EXTRA);
        if (directory->records && extra)
            *cause = read_records(directory, source, end, extra);
        free(extra);
        if (!directory->records || !extra)
            return ARCHIVE_NO_MEMORY;
        if (*cause != CAUSE_NONE)
            return ARCHIVE_BAD_ENTRY;
        sort_records(directory->records, directory->count);
        for (uint32_t i = 1; i < directory->count; i++)
            if (directory->records[i].local_offset == directory->records[i - 1].local_offset) {
                *cause = CAUSE_DIRECTORY_DUPLICATE;
                return ARCHIVE_BAD_ENTRY;
            }
    }
    return ARCHIVE_OK;
}

namespace {

DirectoryRecord *find_record(CentralDirectory *directory, uint32_t local_offset)
{
    uint32_t low = 0, high = directory->count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (directory->records[middle].local_offset < local_offset)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < directory->count && directory->records[low].local_offset == local_offset)
        return &directory->records[low];
    return NULL;
}

// Reads the record's name into `name` (ZIP_NAME_SIZE bytes), terminated; false when it is
// too long or cannot be read.
bool read_record_name(const ZipSource *source, const DirectoryRecord *record, char *name)
{
    memset(name, 0, ZIP_NAME_SIZE);
    return record->name_length < ZIP_NAME_SIZE
           && source->seek(source->context, record->record_offset + RECORD_SIZE)
           && zip_read_fully(source, (unsigned char *)name, record->name_length)
                  == record->name_length;
}

// True when a field of the local header is 0 where the directory has a value: the writer
// could not go back to fill it in, and the value stands only in the data descriptor.
bool deferred(uint32_t local, uint32_t listed)
{
    return local == 0 && listed != 0;
}

} // namespace

ArchiveCause directory_match(CentralDirectory *directory, const ZipSource *source,
                             const ZipEntry *entry)
{
    char name[ZIP_NAME_SIZE];
    DirectoryRecord *record = find_record(directory, entry->offset);
    if (!record)
        return CAUSE_NOT_LISTED;
    record->met = true;
    if (record->name_length != entry->name_length || !read_record_name(source, record, name)
        || memcmp(name, entry->name, entry->name_length) != 0)
        return CAUSE_DIFFERENT_NAME;
    if ((entry->flags & ZIP_FLAG_DESCRIPTOR)
        && (deferred(entry->crc32, record->crc32)
            || deferred(entry->compressed_size, record->compressed_size)
            || deferred(entry->uncompressed_size, record->uncompressed_size)))
        return CAUSE_DESCRIPTOR_ONLY;
    if (record->flags != entry->flags)
        return CAUSE_DIFFERENT_FLAGS;
    if (record->method != entry->method)
        return CAUSE_DIFFERENT_METHOD;
    if (record->crc32 != entry->crc32)
        return CAUSE_DIFFERENT_CRC;
    if (record->compressed_size != entry->compressed_size)
        return CAUSE_DIFFERENT_COMPRESSED_SIZE;
    if (record->uncompressed_size != entry->uncompressed_size)
        return CAUSE_DIFFERENT_UNCOMPRESSED_SIZE;
    return CAUSE_NONE;
}

ArchiveCause directory_all_met(const CentralDirectory *directory, const ZipSource *source,
                               char *name)
{
    for (uint32_t i = 0; i < directory->count; i++) {
        if (!directory->records[i].met) {
            if (!read_record_name(source, &directory->records[i], name))
                name[0] = 0;
            return CAUSE_NOT_FOUND;
        }
    }
    return CAUSE_NONE;
}

void directory_release(CentralDirectory *directory)
{
    free(directory->records);
    directory->records = NULL;
    directory->count = 0;
}

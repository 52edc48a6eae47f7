// The local-header cursor and the decoding and checking of one entry's data.
#include "archive/zip.h"
#include "archive/crc32.h"

#include <stdlib.h>
#include <string.h>

uint32_t zip_signature(uint32_t neighbour)
{
    volatile uint32_t value = neighbour;
    return value - 1;
}

uint16_t zip_get16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t zip_get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

unsigned long zip_read_fully(const ZipSource *source, unsigned char *buffer, unsigned long count)
{
    unsigned long total = 0;
    while (total < count) {
        unsigned long got = source->read(source->context, buffer + total, count - total);
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

bool zip_extra_has_zip64(const unsigned char *extra, uint32_t length)
{
    for (uint32_t at = 0; at + 4 <= length; at += 4 + zip_get16(extra + at + 2))
        if (zip_get16(extra + at) == ZIP64_EXTRA_ID)
            return true;
    return false;
}

namespace {

// The output of one entry as it goes to the sink: counted, checked against the declared size
// before anything past it is written, and summed into the CRC-32.
struct EntryOutput {
    const ZipSink *sink;
    uint64_t size;
    uint64_t declared;
    uint32_t crc;
    bool overrun;
};

// The entry's checking writer (a ByteWriter over an EntryOutput), which the decoder writes to
// directly.
bool put_output(void *context, const unsigned char *data, unsigned long count)
{
    EntryOutput *output = (EntryOutput *)context;
    if (output->size + count > output->declared) {
        output->overrun = true;
        return false;
    }
    if (output->sink->write && !output->sink->write(output->sink->context, data, count))
        return false;
    output->crc = crc32_update(output->crc, data, count);
    output->size += count;
    return true;
}

// The entry's compressed data as the decoder reads it: the archive, bounded by the compressed
// size, so that a stream that needs more is cut short there.
struct EntryInput {
    const ZipSource *source;
    uint32_t remaining;
};

unsigned long read_entry_data(void *context, unsigned char *buffer, unsigned long count)
{
    EntryInput *input = (EntryInput *)context;
    if (count > input->remaining)
        count = input->remaining;
    if (count == 0)
        return 0;
    unsigned long got = input->source->read(input->source->context, buffer, count);
    if (got > count)
        got = count;
    input->remaining -= got;
    return got;
}

ArchiveFailure copy_stored(const ZipSource *source, uint32_t remaining, EntryOutput *output)
{
    unsigned char *buffer;
    ArchiveFailure result = ARCHIVE_OK;

    if (remaining == 0)
        return ARCHIVE_OK;
    const uint32_t chunk = ZIP_CHUNK;
    buffer = (unsigned char *)malloc(remaining < chunk ? remaining : chunk);
    if (!buffer)
        return ARCHIVE_NO_MEMORY;
    while (remaining > 0) {
        unsigned long want = remaining < chunk ? remaining : chunk;
        unsigned long got = source->read(source->context, buffer, want);
        if (got == 0) {
            result = ARCHIVE_TRUNCATED;     // the archive ends inside the entry
            break;
        }
        remaining -= got;
        if (!put_output(output, buffer, got)) {
            result = output->overrun ? ARCHIVE_OVERRUN : ARCHIVE_WRITE_FAILED;
            break;
        }
    }
    free(buffer);
    return result;
}

ArchiveFailure inflate_data(const ZipSource *source, uint32_t compressed, EntryOutput *output,
                            InflateResult *reason)
{
    // Offsets and counts are signed 32-bit: a size past 2 GiB reads as nothing, and the stream
    // is then cut short.
    EntryInput input = { source, compressed > ZIP_LARGEST_OFFSET ? 0 : compressed };
    InflateIo io = { read_entry_data, &input, put_output, output };

    InflateResult result = inflate_stream(&io);
    if (result == INFLATE_OK)
        return ARCHIVE_OK;
    if (result == INFLATE_WRITE_FAILED)
        return output->overrun ? ARCHIVE_OVERRUN : ARCHIVE_WRITE_FAILED;
    if (result == INFLATE_NO_MEMORY)
        return ARCHIVE_NO_MEMORY;
    *reason = result;
    return ARCHIVE_BAD_DATA;
}

} // namespace

void zip_cursor_start(ZipCursor *cursor, const ZipSource *source)
{
    cursor->source = source;
    cursor->next_offset = 0;
    cursor->end_signature = 0;
}

ZipStep zip_next_entry(ZipCursor *cursor, ZipEntry *entry)
{
    const uint32_t local_signature = ZIP_LOCAL_SIGNATURE;
    const ZipSource *source = cursor->source;
    unsigned char header[ZIP_HEADER_SIZE];

    for (;;) {
        memset(header, 0, sizeof header);
        if (cursor->next_offset > ZIP_LARGEST_OFFSET
            || !source->seek(source->context, (uint32_t)cursor->next_offset))
            return ZIP_STEP_UNREADABLE;
        zip_read_fully(source, header, sizeof header);
        uint32_t signature = zip_get32(header);
        if (signature == local_signature || signature == ZIP_SHORT_SIGNATURE)
            break;
        if (signature != ZIP_DESCRIPTOR_SIGNATURE) {
            cursor->end_signature = signature;
            return ZIP_STEP_END;
        }
        cursor->next_offset += ZIP_DESCRIPTOR_SIZE;
    }

    entry->offset = (uint32_t)cursor->next_offset;
    zip_take_shared_fields(header + 6, entry);
    entry->extra_length = zip_get16(header + 28);
    // A name too long for the buffer is still read as far as it fits, so that a refusal can
    // name the entry.
    memset(entry->name, 0, sizeof entry->name);
    unsigned long readable = entry->name_length < ZIP_NAME_SIZE ? entry->name_length : ZIP_NAME_SIZE - 1;
    if (zip_read_fully(source, (unsigned char *)entry->name, readable) != readable
        || entry->name_length >= ZIP_NAME_SIZE)
        return ZIP_STEP_UNREADABLE;
    source->seek(source->context, zip_data_offset(entry));
    return ZIP_STEP_ENTRY;
}

uint32_t zip_data_offset(const ZipEntry *entry)
{
    return entry->offset + ZIP_HEADER_SIZE + entry->name_length + entry->extra_length;
}

bool zip_step_past(ZipCursor *cursor, const ZipEntry *entry)
{
    cursor->next_offset = (uint64_t)zip_data_offset(entry) + entry->compressed_size;
    return cursor->next_offset <= ZIP_LARGEST_OFFSET;
}

ArchiveFailure zip_read_data(const ZipSource *source, const ZipEntry *entry, const ZipSink *sink,
                             InflateResult *reason)
{
    EntryOutput output = { sink, 0, entry->uncompressed_size, 0, false };
    ArchiveFailure result;

    *reason = INFLATE_OK;
    if (entry->method == ZIP_METHOD_STORED) {
        // Stored data is its own output: two sizes that differ mean a damaged header.
        if (entry->compressed_size != entry->uncompressed_size)
            return ARCHIVE_SIZE_MISMATCH;
        result = copy_stored(source, entry->compressed_size, &output);
    } else if (entry->method == ZIP_METHOD_DEFLATED) {
        result = inflate_data(source, entry->compressed_size, &output, reason);
    } else {
        return ARCHIVE_UNKNOWN_METHOD;
    }
    if (result != ARCHIVE_OK)
        return result;
    if (output.size != entry->uncompressed_size)
        return ARCHIVE_SIZE_MISMATCH;
    if (output.crc != entry->crc32)
        return ARCHIVE_CRC_MISMATCH;
    return ARCHIVE_OK;
}

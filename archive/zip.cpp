// The local-header walk and the decoding and checking of one entry's data.
#include "archive/zip.h"
#include "archive/crc32.h"

#include <stdlib.h>
#include <string.h>

namespace {

enum {
    DATA_DESCRIPTOR_SIGNATURE = 0x08074B50,
    SHORT_SIGNATURE = 0x50000000,       // accepted as a local header as well
    LARGEST_OFFSET = 0x7FFFFFFF
};

uint16_t get16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Reads as much of `count` bytes as the source gives, in as many reads as it takes; returns
// the count read.
unsigned long read_fully(const ZipSource *source, unsigned char *buffer, unsigned long count)
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
    EntryInput input = { source, compressed > LARGEST_OFFSET ? 0 : compressed };
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

void zip_walk_start(ZipWalk *walk, const ZipSource *source)
{
    walk->source = source;
    walk->next_offset = 0;
    walk->end_signature = 0;
}

ZipStep zip_next_entry(ZipWalk *walk, ZipEntry *entry)
{
    // Formed at run time, so that the signature's four bytes stand nowhere in the program but
    // in the payload archive it carries.
    volatile uint32_t signature_base = 0x04034B51;
    const uint32_t local_signature = signature_base - 1;
    const ZipSource *source = walk->source;
    unsigned char header[ZIP_HEADER_SIZE];

    for (;;) {
        memset(header, 0, sizeof header);
        if (walk->next_offset > LARGEST_OFFSET
            || !source->seek(source->context, (uint32_t)walk->next_offset))
            return ZIP_STEP_UNREADABLE;
        read_fully(source, header, sizeof header);
        uint32_t signature = get32(header);
        if (signature == local_signature || signature == SHORT_SIGNATURE)
            break;
        if (signature != DATA_DESCRIPTOR_SIGNATURE) {
            walk->end_signature = signature;
            return ZIP_STEP_END;
        }
        walk->next_offset += ZIP_DESCRIPTOR_SIZE;
    }

    entry->offset = (uint32_t)walk->next_offset;
    entry->flags = get16(header + 6);
    entry->method = get16(header + 8);
    entry->crc32 = get32(header + 14);
    entry->compressed_size = get32(header + 18);
    entry->uncompressed_size = get32(header + 22);
    entry->name_length = get16(header + 26);
    entry->extra_length = get16(header + 28);
    memset(entry->name, 0, sizeof entry->name);
    if (entry->name_length >= ZIP_NAME_SIZE
        || read_fully(source, (unsigned char *)entry->name, entry->name_length)
               != entry->name_length)
        return ZIP_STEP_UNREADABLE;
    entry->name[entry->name_length] = 0;
    source->seek(source->context, entry->offset + ZIP_HEADER_SIZE + entry->name_length
                                  + entry->extra_length);
    return ZIP_STEP_ENTRY;
}

bool zip_walk_complete(const ZipWalk *walk)
{
    // Formed at run time, like the local-header signature.
    volatile uint32_t base = 0x02014B51;
    const uint32_t central_directory = base - 1;
    const uint32_t end_record = central_directory + 0x04040000;
    return walk->end_signature == central_directory || walk->end_signature == end_record;
}

bool zip_step_past(ZipWalk *walk, const ZipEntry *entry)
{
    walk->next_offset = (uint64_t)entry->offset + ZIP_HEADER_SIZE + entry->name_length
                        + entry->extra_length + entry->compressed_size;
    return walk->next_offset <= LARGEST_OFFSET;
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

// The payload archive as the installer reads it: the ZIP local headers in file order (ZIP
// application note, 4.3.7), each followed by its name, its extra field and its data. The
// extraction reads nothing else: the first record that is neither a local header nor a data
// descriptor ends it. (The whole-archive check also reads the central directory, to hold the
// local headers to it: archive/directory.h.) Portable: the bytes come through a caller's
// source, so the same code serves the installer (over its staged file) and the build-time
// payload check.
//
// The local header, little-endian:
//   offset width field
//        0     4 signature                   (50 4B 03 04; 00 00 00 50 is taken as well)
//        4     2 version needed to extract   (not used)
//        6     2 general-purpose flags       (bit 0: encrypted; bit 3: CRC-32 and sizes also
//                                             in a data descriptor after the data; bit 11:
//                                             the name is UTF-8)
//        8     2 compression method          (0 stored, 8 deflated)
//       10     4 last-modification time/date (not used)
//       14     4 CRC-32 of the entry's data
//       18     4 compressed size             (bytes of data; also the step to the next header)
//       22     4 uncompressed size
//       26     2 file-name length
//       28     2 extra-field length
#ifndef KAVLIN_ARCHIVE_ZIP_H
#define KAVLIN_ARCHIVE_ZIP_H

#include "inflate/inflate.h"

#include <stdint.h>

enum {
    ZIP_HEADER_SIZE = 30,
    ZIP_DESCRIPTOR_SIZE = 16,   // signature, CRC-32, compressed and uncompressed size
    ZIP_NAME_SIZE = 258,        // the longest entry name taken (257) and its terminator
    ZIP_LONGEST_EXTRA = 65535,
    ZIP_FLAG_ENCRYPTED = 0x0001,
    ZIP_FLAG_DESCRIPTOR = 0x0008,
    ZIP_FLAG_STRONG_ENCRYPTION = 0x0040,
    ZIP_FLAG_UTF8_NAME = 0x0800,
    ZIP_METHOD_STORED = 0,
    ZIP_METHOD_DEFLATED = 8,
    ZIP_CHUNK = 32768,          // the most bytes read or written at once
    ZIP_LARGEST_OFFSET = 0x7FFFFFFF  // archive offsets are signed 32-bit
};

// Record signatures (ZIP application note, 4.3). They are formed at run time from a neighbour
// value, so that these four bytes stand nowhere in the installer but in the archive it
// carries: a search for them in the installer finds its payload, not its code.
uint32_t zip_signature(uint32_t neighbour);
#define ZIP_LOCAL_SIGNATURE zip_signature(0x04034B51)
#define ZIP_DIRECTORY_SIGNATURE zip_signature(0x02014B51)
#define ZIP_END_SIGNATURE zip_signature(0x06054B51)
enum {
    ZIP_SHORT_SIGNATURE = 0x50000000,       // taken as a local header as well
    ZIP_DESCRIPTOR_SIGNATURE = 0x08074B50,  // also the marker that opens a spanned archive
    ZIP_SPLIT_MARKER = 0x30304B50,          // "PK00": a split archive that fitted one part
    ZIP64_LOCATOR_SIGNATURE = 0x07064B50,
    ZIP64_EXTRA_ID = 0x0001
};

// Where the archive's bytes come from.
struct ZipSource {
    // Reads up to `count` bytes at the current position; returns the count read, 0 at the end
    // of the archive or on failure.
    ByteReader read;
    // Moves to `offset` from the archive's start; false when that failed.
    bool (*seek)(void *context, uint32_t offset);
    void *context;
    uint64_t size;              // bytes in the archive
};

// Where an entry's decoded bytes go. A NULL `write` discards them (they are still counted
// and checked).
struct ZipSink {
    // Writes `count` bytes; false when not all of them were written.
    ByteWriter write;
    void *context;
};

// What went wrong, and which message the installer shows for it (the front end turns each
// kind into its message).
enum ArchiveFailure {
    ARCHIVE_OK = 0,
    ARCHIVE_BAD_ENTRY,          // the archive or an entry is not one the installer unpacks: the
                                // cause (ArchiveCause) says why
    ARCHIVE_PATH_TOO_LONG,      // the entry's destination path does not fit
    ARCHIVE_FOLDER_FAILED,      // the file's folder could not be made (detail: the folder)
    ARCHIVE_CREATE_FAILED,      // the file could not be created (detail: its path)
    ARCHIVE_UNKNOWN_METHOD,     // neither stored nor deflated
    ARCHIVE_BAD_DATA,           // the decoder failed (its reason comes with it; detail: path)
    ARCHIVE_TRUNCATED,          // stored data cut short by the end of the archive
    ARCHIVE_SIZE_MISMATCH,      // sizes that disagree: a stored entry whose two sizes differ,
                                // or output other than the declared size
    ARCHIVE_OVERRUN,            // the data decodes to more than its declared size; stopped
                                // before writing past it
    ARCHIVE_CRC_MISMATCH,       // the output's CRC-32 is not the header's
    ARCHIVE_WRITE_FAILED,       // a write failed or was short (a full disk)
    ARCHIVE_NO_MEMORY,          // no buffer could be had
    ARCHIVE_CLOSE_FAILED,       // the file could not be closed: reported, the walk goes on
    ARCHIVE_LOG_FAILED,         // the install log cannot be opened for appending (detail: its
                                // path): found before the first file, nothing is written
    ARCHIVE_RECORD_FAILED,      // a record could not be written to the install log (detail: the
                                // log's path)
    ARCHIVE_NO_FILES,           // the archive holds no file entry: nothing to install
    ARCHIVE_ABORTED             // the user stopped the walk between files
};

// Why an archive or an entry is refused as ARCHIVE_BAD_ENTRY: one cause per thing the vendor
// must fix in the payload.
enum ArchiveCause {
    CAUSE_NONE = 0,
    // The archive as a whole (no entry concerned).
    CAUSE_NO_END_RECORD,        // no end-of-central-directory record: cut short, or no ZIP
    CAUSE_TRAILING_BYTES,       // bytes after the end record and its comment
    CAUSE_ZIP64,                // ZIP64 records, extra fields or 0xFFFFFFFF sizes and offsets
    CAUSE_SPANNED,              // a spanned or split archive
    CAUSE_PREFIX,               // a stub or other bytes before the first local header
    CAUSE_DIRECTORY_DAMAGED,    // the central directory cannot be read as one
    CAUSE_DIRECTORY_COUNT,      // its record count is not the end record's
    CAUSE_DIRECTORY_DUPLICATE,  // two of its records point at one local header
    CAUSE_WALK_END,             // the local headers do not end where the central directory
                                // starts: cut short, or bytes that belong to no entry
    // One entry: the local header and the central directory disagree.
    CAUSE_NOT_LISTED,           // no central-directory record points at this local header
    CAUSE_NOT_FOUND,            // a central-directory record points where no local header is
    CAUSE_DIFFERENT_NAME,
    CAUSE_DIFFERENT_FLAGS,
    CAUSE_DIFFERENT_METHOD,
    CAUSE_DIFFERENT_CRC,
    CAUSE_DIFFERENT_COMPRESSED_SIZE,
    CAUSE_DIFFERENT_UNCOMPRESSED_SIZE,
    // One entry: its data descriptor.
    CAUSE_DESCRIPTOR_ONLY,      // sizes or CRC-32 only in a data descriptor
    CAUSE_DESCRIPTOR_UNSIGNED,  // a data descriptor without its signature
    CAUSE_DESCRIPTOR_DIFFERS,   // a data descriptor that disagrees with the local header
    // One entry: its name and what it is.
    CAUSE_NAME_UNREADABLE,      // longer than 257 bytes, or cut short by the archive's end
    CAUSE_NAME_EMPTY,
    CAUSE_NAME_CONTROL,         // a control character, NUL included
    CAUSE_NAME_CHARACTER,       // one of : < > " | ? * or DEL
    CAUSE_NAME_OUTSIDE,         // starts with a separator or climbs out with a ".." component
    CAUSE_NAME_DEVICE,          // a component names a DOS device
    CAUSE_NAME_UTF8,            // flagged as UTF-8 and not plain ASCII
    CAUSE_ENCRYPTED,
    CAUSE_TOO_FAR               // the entry would end past 2 GiB
};

// One entry's local header and name.
struct ZipEntry {
    uint32_t offset;            // of its local header in the archive
    uint16_t flags;
    uint16_t method;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t name_length;
    uint16_t extra_length;
    char name[ZIP_NAME_SIZE];   // NUL-terminated after name_length bytes
};

// Where the next local header is looked for.
struct ZipCursor {
    const ZipSource *source;
    uint64_t next_offset;       // where the next record starts
    uint32_t end_signature;     // signature of the record that ended the walk (0 where the
                                // archive's bytes ran out)
};

enum ZipStep {
    ZIP_STEP_ENTRY,             // an entry was read; the source stands at its data
    ZIP_STEP_END,               // the record there is no local header: the archive ends
    ZIP_STEP_UNREADABLE         // the entry's name does not fit or is cut short, or the
                                // archive could not be positioned
};

// Starts a cursor at the archive's first byte.
void zip_cursor_start(ZipCursor *cursor, const ZipSource *source);

// Reads the record at the cursor, passing over data descriptors, and, for a local header, the
// entry's name; then positions the source at the entry's data. A record cut short by the
// archive's end reads as zeros past its end, never as fields of an earlier header.
ZipStep zip_next_entry(ZipCursor *cursor, ZipEntry *entry);

// The offset of the entry's data.
uint32_t zip_data_offset(const ZipEntry *entry);

// Steps the cursor past the entry's data; false when the next record would lie beyond 2 GiB,
// which no archive the installer reads has.
bool zip_step_past(ZipCursor *cursor, const ZipEntry *entry);

// Reads the entry's data from the source's position (as zip_next_entry left it), decodes it
// by its method into `sink`, and checks it against the header: never more output than the
// declared size, then the size and the CRC-32. Counts in 64 bits. On ARCHIVE_BAD_DATA
// *reason is the decoder's result; otherwise it is INFLATE_OK.
ArchiveFailure zip_read_data(const ZipSource *source, const ZipEntry *entry, const ZipSink *sink,
                             InflateResult *reason);

// True when the extra field of `length` bytes holds a ZIP64 field (id 0x0001). The field is a
// run of (id, size, data) blocks; bytes that do not form a whole block (some writers pad) are
// passed over.
bool zip_extra_has_zip64(const unsigned char *extra, uint32_t length);

// Little-endian fields of records read into memory.
uint16_t zip_get16(const unsigned char *p);
uint32_t zip_get32(const unsigned char *p);

// The fields that a local header and a central-directory record share, in the same order from
// the flags on (flags, method, time and date, CRC-32, the two sizes, the name's length), taken
// from `fields` (where the flags stand) into a record with members of these names.
template <class Record> void zip_take_shared_fields(const unsigned char *fields, Record *record)
{
    record->flags = zip_get16(fields);
    record->method = zip_get16(fields + 2);
    record->crc32 = zip_get32(fields + 8);
    record->compressed_size = zip_get32(fields + 12);
    record->uncompressed_size = zip_get32(fields + 16);
    record->name_length = zip_get16(fields + 20);
}

// Reads as much of `count` bytes as the source gives, in as many reads as it takes; returns
// the count read.
unsigned long zip_read_fully(const ZipSource *source, unsigned char *buffer, unsigned long count);

#endif

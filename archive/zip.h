// The payload archive as the installer reads it: the ZIP local headers in file order (ZIP
// application note, 4.3.7), each followed by its name, its extra field and its data. The
// central directory is never read: the first record that is neither a local header nor a data
// descriptor ends the archive. Portable: the bytes come through a caller's source, so the same
// walk serves the installer (over its staged file) and the build-time payload check.
//
// The local header, little-endian:
//   offset width field
//        0     4 signature
//        4     2 version needed to extract   (not used)
//        6     2 general-purpose flags       (bit 0: encrypted; bit 3, sizes in a trailing
//                                             data descriptor, is not consulted: the sizes are
//                                             always those of the local header)
//        8     2 compression method          (0 stored, 8 deflated)
//       10     4 last-modification time/date (not used)
//       14     4 CRC-32 of the entry's data
//       18     4 compressed size             (bytes of data; also the step to the next header)
//       22     4 uncompressed size
//       26     2 file-name length
//       28     2 extra-field length          (skipped unread)
#ifndef KAVLIN_ARCHIVE_ZIP_H
#define KAVLIN_ARCHIVE_ZIP_H

#include "inflate/inflate.h"

#include <stdint.h>

enum {
    ZIP_HEADER_SIZE = 30,
    ZIP_DESCRIPTOR_SIZE = 16,   // signature, CRC-32, compressed and uncompressed size
    ZIP_NAME_SIZE = 258,        // the longest entry name taken (257) and its terminator
    ZIP_FLAG_ENCRYPTED = 0x0001,
    ZIP_METHOD_STORED = 0,
    ZIP_METHOD_DEFLATED = 8,
    ZIP_CHUNK = 32768           // the most bytes read or written at once
};

// Where the archive's bytes come from.
struct ZipSource {
    // Reads up to `count` bytes at the current position; returns the count read, 0 at the end
    // of the archive or on failure.
    ByteReader read;
    // Moves to `offset` from the archive's start; false when that failed.
    bool (*seek)(void *context, uint32_t offset);
    void *context;
};

// Where an entry's decoded bytes go. A NULL `write` discards them (they are still counted
// and checked).
struct ZipSink {
    // Writes `count` bytes; false when not all of them were written.
    ByteWriter write;
    void *context;
};

// What went wrong, and what the installer tells the user for it (the front end turns each
// kind into its message).
enum ArchiveFailure {
    ARCHIVE_OK = 0,
    ARCHIVE_BAD_ENTRY,          // a name that is unreadable, empty, unsafe or too long, an
                                // encrypted entry, or a size that runs past any archive
    ARCHIVE_PATH_TOO_LONG,      // the entry's destination path does not fit (detail: the name)
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
    ARCHIVE_NO_FILES,           // the archive holds no file entry: nothing to install
    ARCHIVE_ABORTED             // the user stopped the walk between files
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
    char name[ZIP_NAME_SIZE];   // NUL-terminated
};

// A walk over the local headers.
struct ZipWalk {
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

// Starts a walk at the archive's first byte.
void zip_walk_start(ZipWalk *walk, const ZipSource *source);

// Reads the record at the walk's position, passing over data descriptors, and, for a local
// header, the entry's name; then positions the source at the entry's data. A record cut short
// by the archive's end reads as zeros past its end, never as fields of an earlier header.
ZipStep zip_next_entry(ZipWalk *walk, ZipEntry *entry);

// True when the walk ended at the archive's central directory (or its end record), as every
// whole archive does: an archive that ends anywhere else lost its end, or holds an entry whose
// sizes stand only in a data descriptor, so that the walk lost its way.
bool zip_walk_complete(const ZipWalk *walk);

// Steps the walk past the entry's data; false when the next record would lie beyond 2 GiB
// (archive offsets are signed 32-bit), which no archive the installer reads has.
bool zip_step_past(ZipWalk *walk, const ZipEntry *entry);

// Reads the entry's data from the source's position (as zip_next_entry left it), decodes it
// by its method into `sink`, and checks it against the header: never more output than the
// declared size, then the size and the CRC-32. Counts in 64 bits. On ARCHIVE_BAD_DATA
// *reason is the decoder's result; otherwise it is INFLATE_OK.
ArchiveFailure zip_read_data(const ZipSource *source, const ZipEntry *entry, const ZipSink *sink,
                             InflateResult *reason);

#endif

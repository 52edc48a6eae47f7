// The archive's own list of its entries: the end-of-central-directory record and the central
// directory it points to (ZIP application note, 4.3.12 and 4.3.16). The extraction never reads
// them; the whole-archive check does, to hold the local headers to them, so that the installer
// installs exactly the entries that every ZIP reader lists, and nothing that hides between
// them. Of each record only a small fixed summary is kept; a name is read again from the
// archive when it is compared. Portable.
//
// A central-directory record, little-endian:
//   offset width field                        offset width field
//        0     4 signature 50 4B 01 02            28     2 file-name length
//        4     2 version made by                  30     2 extra-field length
//        6     2 version needed to extract        32     2 comment length
//        8     2 general-purpose flags            34     2 disk number where it starts
//       10     2 compression method               36     2 internal attributes
//       12     4 last-modification time/date      38     4 external attributes
//       16     4 CRC-32                           42     4 offset of its local header
//       20     4 compressed size                  46       file name, extra field, comment
//       24     4 uncompressed size
#ifndef KAVLIN_ARCHIVE_DIRECTORY_H
#define KAVLIN_ARCHIVE_DIRECTORY_H

#include "archive/zip.h"

// What the central directory says of one entry.
struct DirectoryRecord {
    uint32_t local_offset;      // where the entry's local header is
    uint32_t record_offset;     // where this record is: its name is read again from there
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t flags;
    uint16_t method;
    uint16_t name_length;
    bool met;                   // the walk reached its local header
};

struct CentralDirectory {
    DirectoryRecord *records;   // sorted by local_offset
    uint32_t count;
    uint32_t start;             // where the central directory starts: the local headers end here
};

// Finds the end record (searching back over an archive comment of up to 65,535 bytes), reads
// the central directory it points to and checks the two against each other and against the
// archive's first bytes. ARCHIVE_OK, ARCHIVE_BAD_ENTRY with *cause, or ARCHIVE_NO_MEMORY. The
// directory is to be released in every case.
ArchiveFailure directory_read(CentralDirectory *directory, const ZipSource *source,
                              ArchiveCause *cause);

// Holds the entry's local header (and its name, read again from the central directory) to
// the record that points at it: CAUSE_NONE when there is one and they agree, else the first
// field that disagrees. Leaves the source's position anywhere.
ArchiveCause directory_match(CentralDirectory *directory, const ZipSource *source,
                             const ZipEntry *entry);

// After the walk: CAUSE_NONE when the walk met the local header of every record; else
// CAUSE_NOT_FOUND, with the first such record's name in `name` (ZIP_NAME_SIZE bytes).
ArchiveCause directory_all_met(const CentralDirectory *directory, const ZipSource *source,
                               char *name);

void directory_release(CentralDirectory *directory);

#endif

// The ZIP local header as the extraction reads it (ZIP application note, 4.3.7). All numbers
// are little-endian; the fields are read from the image in installer.local_header:
//
//   offset width field
//        0     4 signature (the local-header signature, see read_local_header)
//        4     2 version needed to extract   (not used)
//        6     2 general-purpose flags       (bit 0: encrypted)
//        8     2 compression method          (0 stored, 8 deflated)
//       10     2 last-modification time      (not used)
//       12     2 last-modification date      (not used: files get their creation time)
//       14     4 CRC-32 of the entry's data
//       18     4 compressed size             (bytes of data; also the step to the next header)
//       22     4 uncompressed size
//       26     2 file-name length            (name bytes after the header)
//       28     2 extra-field length          (bytes after the name, skipped unread)
//
// The name, the extra field and the data follow in that order; the next record follows the
// data. Bit 3 of the flags (sizes in a trailing data descriptor) is not consulted: the sizes
// are always those of the local header.
#ifndef KAVLIN_ARCHIVE_LOCAL_HEADER_H
#define KAVLIN_ARCHIVE_LOCAL_HEADER_H

#include <windows.h>

enum {
    HEADER_SIGNATURE = 0,
    HEADER_FLAGS = 6,
    HEADER_METHOD = 8,
    HEADER_CRC32 = 14,
    HEADER_COMPRESSED_SIZE = 18,
    HEADER_UNCOMPRESSED_SIZE = 22,
    HEADER_NAME_LENGTH = 26,
    HEADER_EXTRA_LENGTH = 28,

    FLAG_ENCRYPTED = 0x0001,
    METHOD_STORED = 0,
    METHOD_DEFLATED = 8,
    DATA_DESCRIPTOR_SIZE = 16   // signature, CRC-32, compressed and uncompressed size
};

// A 16- or 32-bit field of installer.local_header.
WORD header_word(int offset);
DWORD header_dword(int offset);

// Reads the record at the archive's read position into installer.local_header. True when it
// is a local header: installer.entry_remaining is then its compressed size. Data descriptors
// met on the way are passed over. False otherwise, with entry_remaining 0. The whole image is
// cleared before each read, so a record cut short by the end of the archive reads as zeros
// past its end, never as fields of the previous header.
bool read_local_header();

#endif

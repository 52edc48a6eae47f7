// CRC-32 of the ZIP format (ISO 3309 / ITU-T V.42: polynomial 0xEDB88320 reflected, initial
// value and final complement 0xFFFFFFFF), with which every extracted entry is checked against
// the value in its local header. Portable: no Windows header.
#ifndef KAVLIN_ARCHIVE_CRC32_H
#define KAVLIN_ARCHIVE_CRC32_H

#include <stdint.h>

// Continues the CRC-32 `crc` (0 for a fresh start) over `count` bytes and returns it. Feeding
// a buffer in pieces gives the same result as feeding it at once.
uint32_t crc32_update(uint32_t crc, const unsigned char *data, unsigned long count);

#endif

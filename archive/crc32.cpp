// Table-driven CRC-32, one table lookup per byte. The table is computed by the compiler, so the
// program carries it as constant data and runs no code to build it.
#include "archive/crc32.h"

namespace {

struct Crc32Table {
    uint32_t entry[256];    // CRC-32 of the byte value i fed through eight shift steps
};

constexpr Crc32Table make_crc32_table()
{
    Crc32Table table = {};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; bit++)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table.entry[i] = value;
    }
    return table;
}

constexpr Crc32Table crc32_table = make_crc32_table();

} // namespace

uint32_t crc32_update(uint32_t crc, const unsigned char *data, unsigned long count)
{
    crc = ~crc;
    while (count--)
        crc = crc32_table.entry[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

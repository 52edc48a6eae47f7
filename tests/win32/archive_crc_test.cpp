// The CRC-32 of the ZIP format against a bitwise reference.
#include "archive/crc32.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

static uint32_t crc_of(const std::string &data)
{
    return crc32_update(0, (const unsigned char *)data.data(), (unsigned long)data.size());
}

TEST(Crc32, KnownVectors)
{
    EXPECT_EQ(0x00000000u, crc_of(""));
    EXPECT_EQ(0xCBF43926u, crc_of("123456789"));    // the standard check value
    EXPECT_EQ(0x414FA339u, crc_of("The quick brown fox jumps over the lazy dog"));
    EXPECT_EQ(0xD202EF8Du, crc_of(std::string(1, '\0')));
}

TEST(Crc32, AgreesWithBitwiseReferenceOverEveryByteValueAndInPieces)
{
    std::string data = noise_content(100000, 7);
    for (int i = 0; i < 256; i++)
        data += (char)i;
    uint32_t whole = crc_of(data);
    EXPECT_EQ(reference_crc32(data), whole);

    // Fed in uneven pieces, as the output chunks arrive.
    uint32_t crc = 0;
    size_t at = 0;
    for (size_t piece = 1; at < data.size(); piece = piece * 3 + 1) {
        size_t n = piece < data.size() - at ? piece : data.size() - at;
        crc = crc32_update(crc, (const unsigned char *)data.data() + at, (unsigned long)n);
        at += n;
    }
    EXPECT_EQ(whole, crc);
}

// Block types: the example streams of the format, stored, fixed and dynamic blocks, and
// streams that mix them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "tests/unit/inflate_test_support.h"

namespace {

TEST(BlockTypes, ShortestStreamsOfStoredAndFixedBlocksDecodeToTheirBytes)
{
    struct Case {
        const char *hex;
        Bytes expected;
    } cases[] = {
        {"4B 4C 4A 06 00", from_string("abc")},             // one final fixed block
        {"01 03 00 FC FF 61 62 63", from_string("abc")},    // one final stored block
        {"01 00 00 FF FF", Bytes()},                         // one final, empty stored block
        {"4B 4C 1C F1 00 00", Bytes(259, 'a')},              // 'a', then length 258 distance 1
    };
    for (const Case &c : cases) {
        DecodeOutcome d = decode(from_hex(c.hex));
        EXPECT_EQ(d.result, INFLATE_OK) << c.hex;
        EXPECT_EQ(d.output, c.expected) << c.hex;
        EXPECT_EQ(d.write_sizes.size(), c.expected.empty() ? 0u : 1u) << "nothing written for an empty stream";
    }
}

TEST(BlockTypes, OneFixedBlockOfMatchesAndLiterals)
{
    Bytes input = from_string("Kavlin measures traffic. Kavlin measures traffic!");
    Bytes stream = zlib_deflate(input, 9, Z_FIXED);
    ASSERT_EQ((stream[0] >> 1) & 3, 1) << "zlib made a fixed block";
    DecodeOutcome d = decode(stream);
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, input);
}

TEST(BlockTypes, HandMadeFixedBlockWithOverlappingMatchesOfEveryShortPeriod)
{
    // For distances 1 to 9 and lengths around the copy's piece sizes: `distance` distinct
    // literals, then the match.
    for (unsigned distance = 1; distance <= 9; distance++) {
        for (unsigned length : {3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 40u, 258u}) {
            BitWriter w;
            w.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
            Bytes expected;
            for (unsigned i = 0; i < distance; i++) {
                fixed_symbol(w, 'a' + i);
                expected.push_back((unsigned char)('a' + i));
            }
            fixed_match(w, length, distance);
            for (unsigned i = 0; i < length; i++)
                expected.push_back(expected[expected.size() - distance]);
            fixed_symbol(w, 256); // end of block
            DecodeOutcome d = decode(w.finish());
            ASSERT_EQ(d.result, INFLATE_OK) << distance << " " << length;
            ASSERT_EQ(d.output, expected) << distance << " " << length;
        }
    }
}

TEST(BlockTypes, TwoFixedBlocksInOneStream)
{
    Bytes first = text_input(3000, 7), second = text_input(2000, 8);
    z_stream z;
    memset(&z, 0, sizeof z);
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_FIXED), Z_OK);
    Bytes stream(20000);
    z.next_out = stream.data();
    z.avail_out = (uInt)stream.size();
    z.next_in = first.data();
    z.avail_in = (uInt)first.size();
    ASSERT_EQ(deflate(&z, Z_BLOCK), Z_OK); // ends the first block without an empty stored one
    z.next_in = second.data();
    z.avail_in = (uInt)second.size();
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_EQ(stream[0] & 7, 2) << "first block: BFINAL 0, BTYPE 01";

    DecodeOutcome d = decode(stream);
    ASSERT_EQ(d.result, INFLATE_OK);
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(d.output, both);
}

TEST(BlockTypes, DynamicBlocksMixedWithStoredBlocks)
{
    Bytes text1 = text_input(20000, 11), noise = random_input(40000, 12), text2 = text_input(15000, 13);
    z_stream z;
    memset(&z, 0, sizeof z);
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes stream(200000);
    z.next_out = stream.data();
    z.avail_out = (uInt)stream.size();
    z.next_in = text1.data();
    z.avail_in = (uInt)text1.size();
    ASSERT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK); // a dynamic block, an empty stored block
    size_t stored_at = z.total_out;
    ASSERT_EQ(deflateParams(&z, 0, Z_DEFAULT_STRATEGY), Z_OK); // level 0: stored blocks
    z.next_in = noise.data();
    z.avail_in = (uInt)noise.size();
    ASSERT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
    ASSERT_EQ(deflateParams(&z, 6, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = text2.data();
    z.avail_in = (uInt)text2.size();
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_EQ(stream[0] & 6, 4) << "the stream starts with a dynamic block";
    ASSERT_EQ(stream[stored_at] & 7, 0) << "a non-final stored block follows the sync point";
    ASSERT_EQ(stream[stored_at + 1] ^ stream[stored_at + 3], 0xff) << "LEN and NLEN";

    Bytes all = text1;
    all.insert(all.end(), noise.begin(), noise.end());
    all.insert(all.end(), text2.begin(), text2.end());
    // Whole reads, and stored blocks that straddle short reads (the dynamic block before them
    // ends with input bytes taken ahead into the bit buffer).
    for (unsigned long short_reads : {0ul, 1ul, 7ul, 1000ul}) {
        DecodeOutcome d = decode(stream, short_reads);
        EXPECT_EQ(d.result, INFLATE_OK) << short_reads;
        EXPECT_EQ(d.output, all) << short_reads;
    }
}

TEST(BlockTypes, StoredBlockStartsAtTheByteBoundaryAfterItsHeader)
{
    // A fixed block, then a stored block whose header ends mid-byte: its LEN starts at the
    // next byte boundary.
    BitWriter w;
    w.bits(0, 1).bits(1, 2); // BFINAL 0, BTYPE 01 (fixed)
    fixed_symbol(w, 'x');    // literal 'x'
    fixed_symbol(w, 256);    // end of block
    w.bits(1, 1).bits(0, 2); // BFINAL 1, BTYPE 00 (stored)
    w.align();               // pad bits up to the byte boundary
    w.bits(2, 16);           // LEN 2
    w.bits(0xfffd, 16);      // NLEN = ~2
    w.byte('y').byte('z');   // the two stored bytes
    DecodeOutcome d = decode(w.finish());
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, from_string("xyz"));
}

// A dynamic block whose first code-length symbol is 16: it repeats length 0.
//   literal/length code: 'a' (97) and end of block, 1 bit each; no distance code.
//   code-length code: symbols 0, 1, 16, 18 with 2 bits each: 0 = 00, 1 = 01, 16 = 10, 18 = 11.
TEST(BlockTypes, RepeatFirstInADynamicBlockRepeatsLengthZero)
{
    BitWriter w;
    w.bits(1, 1).bits(2, 2); // BFINAL 1, BTYPE 10 (dynamic)
    w.bits(0, 5);            // HLIT 257
    w.bits(0, 5);            // HDIST 1
    w.bits(14, 4);           // HCLEN 18: the lengths up to symbol 1 in the storage order
    // Code-length code lengths in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
    const unsigned cl[18] = {2, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    for (unsigned l : cl)
        w.bits(l, 3);
    w.code(2, 2).bits(3, 2);   // 16: repeat the previous length (0 at the start) 3 + 3 = 6 times
    w.code(3, 2).bits(80, 7);  // 18: 11 + 80 = 91 zeros (symbols 6..96)
    w.code(1, 2);              // 1: symbol 97 ('a') has length 1
    w.code(3, 2).bits(127, 7); // 18: 138 zeros (98..235)
    w.code(3, 2).bits(9, 7);   // 18: 20 zeros (236..255)
    w.code(1, 2);              // 1: symbol 256 has length 1
    w.code(0, 2);              // 0: the one distance length is 0 (no distance code)
    w.code(0, 1).code(0, 1).code(0, 1); // 'a' 'a' 'a'
    w.code(1, 1);                       // end of block
    DecodeOutcome d = decode(w.finish());
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, from_string("aaa"));
}

} // namespace

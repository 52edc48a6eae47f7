// Window and flush: the sizes of the writes and reads, and matches that meet the window's end
// with their destination or their source.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/unit/inflate_test_support.h"

namespace {

typedef std::vector<unsigned long> Sizes;

// A non-final stored block holding `data` (at most 65535 bytes), from a byte boundary.
void stored_block(BitWriter &w, const Bytes &data)
{
    w.bits(0, 1).bits(0, 2).align(); // BFINAL 0, BTYPE 00, pad to the byte boundary
    w.bits((uint32_t)data.size(), 16).bits(~(uint32_t)data.size() & 0xffff, 16); // LEN, NLEN
    for (unsigned char b : data)
        w.byte(b);
}

// Appends a match to `expected` the way the format defines it, one byte after the other.
void expand_match(Bytes &expected, unsigned length, unsigned distance)
{
    for (unsigned i = 0; i < length; i++)
        expected.push_back(expected[expected.size() - distance]);
}

// `history` as a stored block, then a final fixed block with one match, and `literals_after`
// literals after it: none, so that the match is among the stream's last bytes (decoded by the
// careful path), or enough that the fast path decodes it.
DecodeOutcome history_then_match(const Bytes &history, unsigned length, unsigned distance, Bytes *expected,
                                 unsigned literals_after = 0)
{
    BitWriter w;
    stored_block(w, history);
    w.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_match(w, length, distance);
    *expected = history;
    expand_match(*expected, length, distance);
    for (unsigned i = 0; i < literals_after; i++) {
        fixed_symbol(w, 'A' + i % 26);
        expected->push_back((unsigned char)('A' + i % 26));
    }
    fixed_symbol(w, 256); // end of block
    return decode(w.finish());
}

TEST(WindowAndFlush, WritesAreWholeWindowsThenOneShorterWrite)
{
    struct Case {
        size_t size;
        Sizes writes;
    } cases[] = {
        {0, {}},
        {1, {1}},
        {32767, {32767}},
        {32768, {32768}},
        {32769, {32768, 1}},
        {65536, {32768, 32768}},
        {70000, {32768, 32768, 4464}},
    };
    for (const Case &c : cases) {
        for (int level : {0, 1, 6}) { // stored blocks and two kinds of compressed blocks
            Bytes input = text_input(c.size, 21);
            DecodeOutcome d = decode(zlib_deflate(input, level));
            EXPECT_EQ(d.result, INFLATE_OK) << c.size << " level " << level;
            EXPECT_EQ(d.output, input) << c.size << " level " << level;
            EXPECT_EQ(d.write_sizes, c.writes) << c.size << " level " << level;
        }
    }
}

TEST(WindowAndFlush, ReadsAskWholeChunksAndStopAtTheFinalBlock)
{
    // Stored and dynamic blocks, served whole or in short reads whose ends fall anywhere in
    // a code, so that the input runs out at every kind of place (the fast path's refills stop
    // short of it, the careful path reads on).
    Bytes input = random_input(70000, 22);
    Bytes text = text_input(100000, 22);
    for (const Bytes *data : {&input, &text}) {
        for (int level : {0, 6}) {
            Bytes stream = zlib_deflate(*data, level);
            for (unsigned long short_limit : {0ul, 1ul, 7ul, 12ul, 24ul, 25ul, 1000ul}) {
                // Bytes after the stream (the rest of an archive): reads that reach them are
                // made only while the stream still needs bytes.
                MemoryIo m;
                m.data = stream;
                Bytes after(40000, 0x5a);
                m.data.insert(m.data.end(), after.begin(), after.end());
                m.short_read_limit = short_limit;
                InflateIo io = m.io();
                ASSERT_EQ(inflate_stream(&io), INFLATE_OK) << level << " " << short_limit;
                ASSERT_EQ(m.output, *data) << level << " " << short_limit;
                for (unsigned long request : m.read_requests)
                    ASSERT_EQ(request, (unsigned long)INFLATE_INPUT_CHUNK) << level << " " << short_limit;
                ASSERT_FALSE(m.read_sizes.empty());
                EXPECT_LT(m.read_pos - m.read_sizes.back(), stream.size())
                    << "the last read was needed: level " << level << " reads of " << short_limit;
                EXPECT_GE(m.read_pos, stream.size());
            }
        }
    }
}

TEST(WindowAndFlush, MatchThatReachesTheWindowEndIsSplitByAFlush)
{
    // The match starts 10 bytes before the window's end and is 20 bytes long.
    Bytes expected;
    DecodeOutcome d = history_then_match(text_input(32758, 24), 20, 100, &expected);
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, expected);
    EXPECT_EQ(d.write_sizes, (Sizes{32768, 10}));
}

TEST(WindowAndFlush, MatchWhoseSourceWrapsFromTheWindowEnd)
{
    // 100 bytes into the second window a match of distance 105: its source starts 5 bytes
    // before the window's end and continues at the window's start.
    Bytes history = text_input(32868, 25);
    Bytes expected;
    DecodeOutcome d = history_then_match(history, 20, 105, &expected);
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, expected);
    EXPECT_EQ(d.write_sizes, (Sizes{32768, 120}));
}

TEST(WindowAndFlush, MatchesAcrossBothEndsAtOnce)
{
    // Distances that wrap, overlap the destination, and reach exactly 32768, at positions
    // just before the window's end, ending exactly at it, and just after its start; each
    // decoded by the careful path and by the fast path.
    for (size_t history_size : {32509ul, 32510ul, 32756ul, 32760ul, 32765ul, 32767ul, 32768ul, 32769ul, 40000ul, 65535ul}) {
        for (unsigned distance : {1u, 3u, 9u, 300u, 32767u, 32768u}) {
            if (distance > history_size)
                continue;
            for (unsigned length : {3u, 12u, 258u}) {
                for (unsigned literals_after : {0u, 40u}) {
                    Bytes history = binary_input(history_size, (uint32_t)distance);
                    Bytes expected;
                    DecodeOutcome d = history_then_match(history, length, distance, &expected, literals_after);
                    std::string what = std::to_string(history_size) + " " + std::to_string(distance) + " " +
                                       std::to_string(length) + " " + std::to_string(literals_after);
                    ASSERT_EQ(d.result, INFLATE_OK) << what;
                    ASSERT_EQ(d.output, expected) << what;
                    for (size_t i = 0; i + 1 < d.write_sizes.size(); i++)
                        ASSERT_EQ(d.write_sizes[i], 32768u) << what;
                }
            }
        }
    }
}

TEST(WindowAndFlush, MatchesLeaveTheHistoryAfterThemUntouched)
{
    // Every match is followed by one of distance 32768, which copies the 20 bytes that stood
    // right after the first match's end a window ago: a copy that wrote past its end (word
    // copies do, unless they stop exactly or put those bytes back) would have changed them.
    Bytes history = binary_input(40000, 61);
    BitWriter w;
    stored_block(w, history);
    w.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    Bytes expected = history;
    for (unsigned distance : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 13u, 100u, 1000u, 30000u, 32767u}) {
        for (unsigned length = 3; length <= 40; length++) {
            fixed_match(w, length, distance);
            expand_match(expected, length, distance);
            fixed_match(w, 20, 32768);
            expand_match(expected, 20, 32768);
        }
        for (unsigned length : {64u, 100u, 257u, 258u}) {
            fixed_match(w, length, distance);
            expand_match(expected, length, distance);
            fixed_match(w, 20, 32768);
            expand_match(expected, 20, 32768);
        }
    }
    fixed_symbol(w, 256); // end of block
    for (unsigned long short_reads : {0ul, 5ul}) {
        DecodeOutcome d = decode(w.finish(), short_reads);
        ASSERT_EQ(d.result, INFLATE_OK) << short_reads;
        ASSERT_TRUE(d.output == expected) << short_reads;
    }
}

} // namespace

// Window and flush: the sizes of the writes and reads, the entry bound, and matches that meet
// the window's end with their destination or their source.
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

// `history` as a stored block, then a final fixed block with one match.
DecodeOutcome history_then_match(const Bytes &history, unsigned length, unsigned distance, Bytes *expected)
{
    BitWriter w;
    stored_block(w, history);
    w.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_match(w, length, distance);
    fixed_symbol(w, 256); // end of block
    *expected = history;
    expand_match(*expected, length, distance);
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

TEST(WindowAndFlush, ReadsAreChunksOfTheEntryLeftAndStayWithinTheEntry)
{
    Bytes input = random_input(100000, 22);
    Bytes stream = zlib_deflate(input, 0);
    for (unsigned long short_limit : {0ul, 1000ul, 1ul}) {
        // Bytes after the entry's data belong to the next entry: they must not be read.
        MemoryIo m;
        m.data = stream;
        Bytes next_entry(40000, 0x5a);
        m.data.insert(m.data.end(), next_entry.begin(), next_entry.end());
        m.short_read_limit = short_limit;
        InflateIo io = m.io();
        long remaining = (long)stream.size();
        ASSERT_EQ(inflate_stream(&io, &remaining), INFLATE_OK);
        EXPECT_EQ(m.output, input);
        EXPECT_EQ(m.read_pos, stream.size()) << "read up to the entry's end, not past it";
        // Every request is the smaller of the entry bytes not yet read and 32768.
        long unread = (long)stream.size();
        for (size_t i = 0; i < m.read_requests.size(); i++) {
            unsigned long expected = unread < 32768 ? (unsigned long)unread : 32768ul;
            ASSERT_EQ(m.read_requests[i], expected) << "read " << i << " limit " << short_limit;
            unread -= (long)(short_limit && expected > short_limit ? short_limit : expected);
        }
        EXPECT_EQ(unread, 0);
        EXPECT_EQ(remaining, 0);
    }
}

TEST(WindowAndFlush, EntryRemainingCountsTheBytesNotTaken)
{
    // Trailing bytes inside the entry after the final block: not decoded, and counted as
    // remaining except for the few the bit reader took ahead of need.
    Bytes input = text_input(50000, 23);
    Bytes stream = zlib_deflate(input, 6);
    Bytes entry = stream;
    entry.insert(entry.end(), 100, 0xee);
    DecodeOutcome d = decode(entry);
    EXPECT_EQ(d.result, INFLATE_OK);
    EXPECT_EQ(d.output, input);
    EXPECT_LE(d.entry_remaining, 100);
    EXPECT_GE(d.entry_remaining, 100 - (long)sizeof(long));
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
    // just before the window's end and just after its start.
    for (size_t history_size : {32760ul, 32767ul, 32768ul, 32769ul, 40000ul, 65535ul}) {
        for (unsigned distance : {1u, 3u, 9u, 300u, 32767u, 32768u}) {
            if (distance > history_size)
                continue;
            for (unsigned length : {3u, 12u, 258u}) {
                Bytes history = binary_input(history_size, (uint32_t)distance);
                Bytes expected;
                DecodeOutcome d = history_then_match(history, length, distance, &expected);
                ASSERT_EQ(d.result, INFLATE_OK) << history_size << " " << distance << " " << length;
                ASSERT_EQ(d.output, expected) << history_size << " " << distance << " " << length;
                for (size_t i = 0; i + 1 < d.write_sizes.size(); i++)
                    ASSERT_EQ(d.write_sizes[i], 32768u);
            }
        }
    }
}

} // namespace

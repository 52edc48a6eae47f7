// Malformed streams, built bit by bit: each ends the stream with its own result, writes nothing
// it has not decoded from real data, and leaks nothing. Also failed writes.
#include <gtest/gtest.h>

#include "tests/unit/inflate_test_support.h"

namespace {

void expect_failure(const Bytes &stream, InflateResult expected, const char *what)
{
    DecodeOutcome d = decode(stream);
    EXPECT_EQ(d.result, expected) << what;
    EXPECT_TRUE(d.output.empty()) << what << ": nothing of a failed short entry is written";
}

TEST(MalformedStreams, ReservedBlockType)
{
    BitWriter w;
    w.bits(1, 1); // BFINAL 1
    w.bits(3, 2); // BTYPE 11: reserved
    expect_failure(w.finish(), INFLATE_BAD_BLOCK_TYPE, "type 3 as the only block");

    BitWriter after;
    after.bits(0, 1).bits(1, 2); // BFINAL 0, BTYPE 01 (fixed)
    fixed_symbol(after, 'a');    // literal 'a'
    fixed_symbol(after, 256);    // end of block
    after.bits(1, 1);            // BFINAL 1
    after.bits(3, 2);            // BTYPE 11: reserved
    expect_failure(after.finish(), INFLATE_BAD_BLOCK_TYPE, "type 3 after a good block");
}

TEST(MalformedStreams, StoredLengthWithoutItsComplement)
{
    BitWriter w;
    w.bits(1, 1).bits(0, 2); // BFINAL 1, BTYPE 00 (stored)
    w.align();               // 5 pad bits
    w.bits(3, 16);           // LEN 3
    w.bits(0xfffd, 16);      // NLEN 0xfffd: not ~3 (0xfffc)
    w.byte('a').byte('b').byte('c');
    expect_failure(w.finish(), INFLATE_BAD_STORED_LENGTH, "NLEN");
}

TEST(MalformedStreams, CountsAboveTheFormatsLimits)
{
    struct Case {
        unsigned hlit, hdist;
        const char *what;
    } cases[] = {
        {30, 0, "HLIT 287"}, {31, 0, "HLIT 288"}, {0, 30, "HDIST 31"}, {0, 31, "HDIST 32"},
    };
    for (const Case &c : cases) {
        BitWriter w;
        w.bits(1, 1).bits(2, 2); // BFINAL 1, BTYPE 10 (dynamic)
        w.bits(c.hlit, 5);       // HLIT - 257
        w.bits(c.hdist, 5);      // HDIST - 1
        w.bits(0, 4);            // HCLEN 4
        w.bits(0, 12);           // four code-length code lengths of 0
        expect_failure(w.finish(), INFLATE_BAD_COUNTS, c.what);
    }
}

TEST(MalformedStreams, RepeatPastTheAnnouncedLengths)
{
    // Code-length code: symbols 1 and 18 with 1-bit codes 0 and 1.
    BitWriter w;
    w.bits(1, 1).bits(2, 2); // BFINAL 1, BTYPE 10 (dynamic)
    w.bits(0, 5);            // HLIT 257
    w.bits(0, 5);            // HDIST 1: 258 lengths in all
    w.bits(14, 4);           // HCLEN 18
    // Lengths in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1: 18 and 1 get 1 bit.
    const unsigned cl[18] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (unsigned l : cl)
        w.bits(l, 3);
    w.code(1, 1).bits(127, 7); // 18: 138 zeros (138 of 258)
    w.code(1, 1).bits(127, 7); // 18: 138 more zeros: 276 runs past 258
    expect_failure(w.finish(), INFLATE_BAD_COUNTS, "repeat past HLIT + HDIST");
}

TEST(MalformedStreams, BadCodeLengthCodes)
{
    struct Case {
        unsigned lengths[4]; // of code-length symbols 16, 17, 18, 0 (HCLEN 4)
        InflateResult expected;
        const char *what;
    } cases[] = {
        {{1, 1, 1, 0}, INFLATE_BAD_CODE_LENGTHS, "three codes of 1 bit: over-subscribed"},
        {{2, 2, 2, 0}, INFLATE_BAD_CODE_LENGTHS, "three codes of 2 bits: incomplete"},
        {{0, 0, 0, 0}, INFLATE_BAD_CODE_LENGTHS, "no code-length code at all"},
    };
    for (const Case &c : cases) {
        BitWriter w;
        w.bits(1, 1).bits(2, 2); // BFINAL 1, BTYPE 10 (dynamic)
        w.bits(0, 5).bits(0, 5); // HLIT 257, HDIST 1
        w.bits(0, 4);            // HCLEN 4: the lengths of 16, 17, 18, 0
        for (unsigned l : c.lengths)
            w.bits(l, 3);
        w.bits(0, 16); // some data after the header
        expect_failure(w.finish(), c.expected, c.what);
    }
}

TEST(MalformedStreams, UnusedHalfOfASingleCodeLengthCode)
{
    // A code-length code of one 1-bit code (symbol 18 = 0) is accepted, but the code 1 is
    // invalid.
    BitWriter w;
    w.bits(1, 1).bits(2, 2);            // BFINAL 1, BTYPE 10 (dynamic)
    w.bits(0, 5).bits(0, 5).bits(0, 4); // HLIT 257, HDIST 1, HCLEN 4
    w.bits(0, 3).bits(0, 3);            // 16 and 17: no code
    w.bits(1, 3);                       // 18: 1 bit
    w.bits(0, 3);                       // 0: no code
    w.code(1, 1);                       // the unused code 1
    w.bits(0, 16);                      // more data
    expect_failure(w.finish(), INFLATE_BAD_CODE, "op 99 in the code-length code");
}

// A dynamic block header whose code-length code has symbols 0, 1, 2 and 18, with the 2-bit
// codes 00, 01, 10 and 11 (canonical order, RFC 1951 3.2.2), followed by the given lengths:
// literal/length lengths for symbols 0..hlit-1, then distance lengths. Runs of zeros are
// written with 18 (11..138 zeros) and single zeros with 0.
void dynamic_header(BitWriter &w, const std::vector<unsigned> &lengths, unsigned hlit)
{
    w.bits(1, 1).bits(2, 2);                             // BFINAL 1, BTYPE 10 (dynamic)
    w.bits(hlit - 257, 5);                               // HLIT
    w.bits((unsigned)lengths.size() - hlit - 1, 5);      // HDIST
    w.bits(14, 4);                                       // HCLEN 18
    const unsigned cl[18] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (unsigned l : cl)                                // order 16 17 18 0 8 7 9 6 10 5 11 4
        w.bits(l, 3);                                    // 12 3 13 2 14 1: 18, 0, 2, 1 get 2
    for (size_t i = 0; i < lengths.size();) {
        size_t run = 0;
        while (i + run < lengths.size() && lengths[i + run] == 0 && run < 138)
            run++;
        if (run >= 11) {
            w.code(3, 2).bits((uint32_t)run - 11, 7); // 18: `run` zeros
            i += run;
        } else {
            w.code(lengths[i], 2); // 0, 1 or 2 itself: codes 00, 01, 10
            i++;
        }
    }
}

// Lengths of a literal/length code over symbols 0..hlit-1, given as (symbol, length) pairs,
// followed by the distance lengths.
std::vector<unsigned> code_lengths(unsigned hlit, std::initializer_list<std::pair<unsigned, unsigned>> literal,
                                   std::vector<unsigned> distance)
{
    std::vector<unsigned> l(hlit, 0);
    for (auto p : literal)
        l[p.first] = p.second;
    l.insert(l.end(), distance.begin(), distance.end());
    return l;
}

TEST(MalformedStreams, BadLiteralAndDistanceCodes)
{
    struct Case {
        std::vector<unsigned> lengths;
        InflateResult expected;
        const char *what;
    } cases[] = {
        {code_lengths(257, {{'a', 1}, {'b', 1}}, {1}), INFLATE_BAD_CODE_LENGTHS, "no end-of-block code"},
        {code_lengths(257, {{'a', 1}, {256, 2}}, {1}), INFLATE_BAD_CODE_LENGTHS, "incomplete literal code"},
        {code_lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}, {1}), INFLATE_BAD_CODE_LENGTHS, "over-subscribed literals"},
        {code_lengths(257, {{'a', 1}, {256, 1}}, {1, 1, 1}), INFLATE_BAD_CODE_LENGTHS, "over-subscribed distances"},
        {code_lengths(257, {{'a', 1}, {256, 1}}, {1, 2}), INFLATE_BAD_CODE_LENGTHS, "incomplete distance code"},
        {code_lengths(257, {{'a', 1}, {256, 1}}, {2}), INFLATE_BAD_CODE_LENGTHS, "single distance code of 2 bits"},
        {code_lengths(257, {{'a', 1}, {256, 1}}, {1}), INFLATE_OK, "control: single 1-bit distance code"},
        {code_lengths(257, {{'a', 1}, {256, 1}}, {0}), INFLATE_OK, "control: no distance code"},
    };
    for (const Case &c : cases) {
        BitWriter w;
        dynamic_header(w, c.lengths, 257);
        w.code(0, 1); // 'a' (code 0 in every case)
        w.code(1, 1); // end of block where it is the 1-bit code 1
        w.bits(0, 8); // padding
        DecodeOutcome d = decode(w.finish());
        EXPECT_EQ(d.result, c.expected) << c.what;
        if (c.expected == INFLATE_OK) {
            EXPECT_EQ(d.output, from_string("a")) << c.what;
        } else {
            EXPECT_TRUE(d.output.empty()) << c.what;
        }
    }
}

TEST(MalformedStreams, MatchInABlockWithoutDistanceCode)
{
    // Literal/length code: 'a' = 0, end of block = 10, length 3 (symbol 257) = 11.
    std::vector<unsigned> lengths = code_lengths(258, {{'a', 1}, {256, 2}, {257, 2}}, {0});
    BitWriter w;
    dynamic_header(w, lengths, 258);
    w.code(0, 1); // 'a'
    w.code(3, 2); // symbol 257: a match of length 3, which needs a distance code
    w.bits(0, 8);
    expect_failure(w.finish(), INFLATE_BAD_CODE_LENGTHS, "match without distance code");
}

TEST(MalformedStreams, InvalidFixedCodes)
{
    BitWriter literal;
    literal.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_symbol(literal, 'a');    // 'a'
    fixed_symbol(literal, 286);    // 11000110: symbol 286, which the format reserves
    fixed_symbol(literal, 256);    // end of block
    expect_failure(literal.finish(), INFLATE_BAD_CODE, "literal/length 286");

    BitWriter distance;
    distance.bits(1, 1).bits(1, 2);           // BFINAL 1, BTYPE 01 (fixed)
    fixed_symbol(distance, 'a');              // 'a'
    fixed_symbol(distance, 257);              // length 3
    distance.code(31, 5);                     // 11111: distance symbol 31, reserved
    fixed_symbol(distance, 256);              // end of block
    expect_failure(distance.finish(), INFLATE_BAD_CODE, "distance 31");
}

TEST(MalformedStreams, DistanceBeforeTheEntrysFirstByte)
{
    BitWriter at_start;
    at_start.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_match(at_start, 3, 1);    // length 3, distance 1: nothing decoded yet
    fixed_symbol(at_start, 256);    // end of block
    expect_failure(at_start.finish(), INFLATE_BAD_DISTANCE, "match first");

    BitWriter one_too_far;
    one_too_far.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_symbol(one_too_far, 'a');    // 'a'
    fixed_symbol(one_too_far, 'b');    // 'b'
    fixed_match(one_too_far, 3, 3);    // distance 3 with 2 bytes decoded
    fixed_symbol(one_too_far, 256);    // end of block
    expect_failure(one_too_far.finish(), INFLATE_BAD_DISTANCE, "one byte too far");

    // After 30000 bytes of an earlier stored block, 30001 reaches before the start.
    BitWriter far;
    far.bits(0, 1).bits(0, 2).align();   // BFINAL 0, BTYPE 00 (stored), pad
    far.bits(30000, 16).bits(~30000u & 0xffff, 16); // LEN 30000, NLEN
    for (int i = 0; i < 30000; i++)
        far.byte((uint8_t)i);
    far.bits(1, 1).bits(1, 2);          // BFINAL 1, BTYPE 01 (fixed)
    fixed_match(far, 10, 30001);        // one byte before the entry's start
    fixed_symbol(far, 256);             // end of block
    expect_failure(far.finish(), INFLATE_BAD_DISTANCE, "after a stored block");
}

TEST(MalformedStreams, DataThatEndsBeforeTheFinalBlock)
{
    expect_failure(Bytes(), INFLATE_TRUNCATED, "no data at all");

    BitWriter header;
    header.bits(1, 1); // BFINAL 1; the byte's 7 zero bits read as BTYPE 00 (stored) and pad,
                       // and the data ends before LEN
    expect_failure(header.finish(), INFLATE_TRUNCATED, "stored block without LEN");

    // A fixed block without its end-of-block code. Past the end every bit reads as 1, which
    // in a fixed block would be literal 255 without end: none of it may be decoded.
    BitWriter fixed;
    fixed.bits(1, 1).bits(1, 2); // BFINAL 1, BTYPE 01 (fixed)
    fixed_symbol(fixed, 'a');    // 'a'
    fixed_symbol(fixed, 'b');    // 'b', and the data ends
    expect_failure(fixed.finish(), INFLATE_TRUNCATED, "fixed block without end of block");

    BitWriter stored;
    stored.bits(1, 1).bits(0, 2).align(); // BFINAL 1, BTYPE 00 (stored), pad
    stored.bits(10, 16).bits(~10u & 0xffff, 16); // LEN 10, NLEN
    stored.byte(1).byte(2).byte(3);              // 3 of the 10 bytes
    expect_failure(stored.finish(), INFLATE_TRUNCATED, "stored block cut short");
}

TEST(MalformedStreams, EveryCutOfAValidStreamIsTruncated)
{
    for (int level : {0, 1, 6, 9}) {
        Bytes input = text_input(3000, 31);
        Bytes stream = zlib_deflate(input, level);
        for (size_t cut = 0; cut < stream.size(); cut++) {
            Bytes part(stream.begin(), stream.begin() + (long)cut);
            DecodeOutcome d = decode(part);
            ASSERT_EQ(d.result, INFLATE_TRUNCATED) << "level " << level << " cut " << cut;
            ASSERT_TRUE(d.output.empty());
            // The same cut served a byte at a time: the end found by the careful path's reads.
            DecodeOutcome bytewise = decode(part, 1);
            ASSERT_EQ(bytewise.result, INFLATE_TRUNCATED) << "level " << level << " cut " << cut << " bytewise";
        }
    }
}

TEST(MalformedStreams, CutOfALargeStreamWritesOnlyWholeWindows)
{
    Bytes input = text_input(200000, 32);
    Bytes stream = zlib_deflate(input, 6);
    Bytes part(stream.begin(), stream.begin() + (long)stream.size() / 2);
    DecodeOutcome d = decode(part);
    EXPECT_EQ(d.result, INFLATE_TRUNCATED);
    ASSERT_FALSE(d.write_sizes.empty());
    for (unsigned long size : d.write_sizes)
        EXPECT_EQ(size, 32768u);
    EXPECT_TRUE(std::equal(d.output.begin(), d.output.end(), input.begin())) << "what was written is right";
}

TEST(FailedWrites, EndTheEntryAtOnce)
{
    Bytes input = text_input(100000, 33);
    Bytes stream = zlib_deflate(input, 6);
    for (long failing = 0; failing < 4; failing++) {
        MemoryIo m;
        m.data = stream;
        m.fail_write_at = failing;
        InflateIo io = m.io();
        EXPECT_EQ(inflate_stream(&io), INFLATE_WRITE_FAILED) << failing;
        EXPECT_EQ((long)m.write_sizes.size(), failing) << "no write after the failed one";
    }
}

} // namespace

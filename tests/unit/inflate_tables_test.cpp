// Table building: the tables build_decode_table makes for small codes, entry by entry, the
// decoding of every code of canonical codes through them, the shapes it refuses, and the
// table sizes at their worst case.
#include <gtest/gtest.h>

#include <vector>

#include "inflate/inflate_tables.h"

namespace {

typedef std::vector<unsigned char> Lengths;

// A table with room to spare, filled with a marker so that unwritten entries show.
struct Built {
    int result = -1;
    std::vector<DecodeEntry> table;
    unsigned root_bits = 0;
};

const DecodeEntry UNWRITTEN = 0x7fff0fffu;

void build(Built &b, const Lengths &lengths, unsigned root_bits, Alphabet alphabet = ALPHABET_CODE_LENGTHS,
           unsigned table_size = 1u << 16)
{
    b.table.assign(table_size, UNWRITTEN);
    b.root_bits = root_bits;
    b.result = build_decode_table(b.table.data(), table_size, root_bits, lengths.data(), (unsigned)lengths.size(),
                                  alphabet);
}

Lengths fixed_literal_lengths()
{
    Lengths l(288);
    for (unsigned s = 0; s < 288; s++)
        l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return l;
}

// The canonical code of RFC 1951 3.2.2, computed independently of the builder, returned
// bit-reversed (as the stream holds it, first bit in bit 0).
std::vector<unsigned> reversed_codes(const Lengths &lengths)
{
    unsigned count[17] = {0}, next[17] = {0};
    for (unsigned l : lengths)
        count[l]++;
    count[0] = 0;
    unsigned code = 0;
    for (int bits = 1; bits <= 16; bits++) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<unsigned> out(lengths.size());
    for (size_t s = 0; s < lengths.size(); s++) {
        unsigned l = lengths[s];
        if (l == 0)
            continue;
        unsigned c = next[l]++, r = 0;
        for (unsigned i = 0; i < l; i++)
            r |= ((c >> i) & 1) << (l - 1 - i);
        out[s] = r;
    }
    return out;
}

// Decodes `stream` (next bit in bit 0) through the tables as the decoder does; returns the
// final entry and sets *used to the bits of the code (extra bits not counted).
DecodeEntry walk(const Built &b, uint32_t stream, unsigned *used)
{
    DecodeEntry e = b.table[stream & ((1u << b.root_bits) - 1)];
    *used = 0;
    if (e & ENTRY_LINK) {
        EXPECT_EQ(entry_total_bits(e), b.root_bits) << "a link takes the root's bits";
        *used = b.root_bits;
        stream >>= b.root_bits;
        e = b.table[entry_value(e) + (stream & ((1u << entry_code_length(e)) - 1))];
        EXPECT_FALSE(e & ENTRY_LINK) << "one level of sub-tables";
    }
    *used += entry_code_length(e);
    return e;
}

// A decoded code: its entry, its value with the extra bits added (the literal byte, the length
// or distance), and all the bits it took, extra bits included.
struct Decoded {
    DecodeEntry entry;
    unsigned value;
    unsigned bits;
};

Decoded decode_one(const Built &b, uint32_t stream)
{
    unsigned used;
    Decoded d;
    d.entry = walk(b, stream, &used);
    unsigned extra = entry_total_bits(d.entry) - entry_code_length(d.entry);
    d.value = entry_value(d.entry) + ((stream >> used) & ((1u << extra) - 1));
    d.bits = used + extra;
    return d;
}

// An entry for a plain symbol (code-length code) of a code of `length` bits at its table.
DecodeEntry plain(unsigned symbol, unsigned length)
{
    return symbol << ENTRY_VALUE_SHIFT | length << ENTRY_LENGTH_SHIFT | length;
}

TEST(TableBuilding, FourPlainSymbolsAtWidthTwoUseOneSubTable)
{
    // Codes: 1 = 0, 0 = 10, 2 = 110, 3 = 111; in the stream's bit order 0, 01, 011, 111.
    Built b;
    build(b, {2, 1, 3, 3}, 2);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.table[0], plain(1, 1)) << "index 0: symbol 1";
    EXPECT_EQ(b.table[1], plain(0, 2)) << "index 1: symbol 0";
    EXPECT_EQ(b.table[2], plain(1, 1)) << "index 2: symbol 1";
    // Index 3: a link to a 1-bit sub-table right after the root, taking the root's 2 bits.
    EXPECT_EQ(b.table[3], ENTRY_LINK | 4u << ENTRY_VALUE_SHIFT | 1u << ENTRY_LENGTH_SHIFT | 2u);
    EXPECT_EQ(b.table[4], plain(2, 1)) << "sub-table index 0: symbol 2, 1 bit after the root";
    EXPECT_EQ(b.table[5], plain(3, 1)) << "sub-table index 1: symbol 3";
    EXPECT_EQ(b.table[6], UNWRITTEN) << "nothing beyond the sub-table";
}

TEST(TableBuilding, FourPlainSymbolsAtWidthThreeFitTheRoot)
{
    Built b;
    build(b, {2, 1, 3, 3}, 3);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    const unsigned symbol_at[8] = {1, 0, 1, 2, 1, 0, 1, 3};
    const unsigned bits_at[8] = {1, 2, 1, 3, 1, 2, 1, 3};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(b.table[i], plain(symbol_at[i], bits_at[i])) << "index " << i;
    EXPECT_EQ(b.table[8], UNWRITTEN) << "no sub-table";
}

// Every length code of `lengths` with every value of its extra bits (a few for many bits), as
// the stream holds them: the code reversed, the extra bits after it.
template <typename Check>
void for_each_extra_value(const std::vector<unsigned> &codes, unsigned symbol, unsigned length, unsigned extra,
                          Check check)
{
    for (unsigned value : {0u, 1u, 2u, 3u, (1u << extra) / 2, (1u << extra) - 1}) {
        if (value >= (1u << extra))
            continue;
        check(codes[symbol] | value << length, value);
    }
}

TEST(TableBuilding, FixedLiteralLengthCodeWithExtraBitsAndInvalid286And287)
{
    Built b;
    Lengths lengths = fixed_literal_lengths();
    build(b, lengths, LITERAL_ROOT_BITS, ALPHABET_LITERAL_LENGTH, LITERAL_TABLE_SIZE);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    std::vector<unsigned> codes = reversed_codes(lengths);
    for (unsigned s = 0; s < 288; s++) {
        Decoded d = decode_one(b, codes[s]);
        if (s < 256) {
            EXPECT_EQ(d.entry & (ENTRY_EXCEPTIONAL | ENTRY_LITERAL), (unsigned)ENTRY_LITERAL) << "symbol " << s;
            EXPECT_EQ(d.value, s);
            EXPECT_EQ(d.bits, lengths[s]) << "symbol " << s;
        } else if (s == 256) {
            EXPECT_EQ(d.entry & (ENTRY_EXCEPTIONAL | ENTRY_LITERAL), (unsigned)ENTRY_END_OF_BLOCK);
            EXPECT_EQ(d.bits, 7u);
        } else if (s < 286) {
            unsigned extra = length_extra[s - 257];
            for_each_extra_value(codes, s, lengths[s], extra, [&](uint32_t stream, unsigned value) {
                Decoded length = decode_one(b, stream);
                EXPECT_EQ(length.entry & (ENTRY_EXCEPTIONAL | ENTRY_LITERAL), 0u) << "symbol " << s;
                EXPECT_EQ(length.value, length_base[s - 257] + value) << "symbol " << s << " extra " << value;
                EXPECT_EQ(length.bits, lengths[s] + extra) << "code and extra bits, symbol " << s;
                // Whole in the root where code and extra bits fit it.
                EXPECT_EQ((length.entry & ENTRY_EXTRA) != 0, lengths[s] + extra > LITERAL_ROOT_BITS) << s;
            });
        } else {
            EXPECT_EQ(d.entry & (ENTRY_EXCEPTIONAL | ENTRY_LITERAL), (unsigned)ENTRY_INVALID) << "symbol " << s;
            EXPECT_EQ(entry_code_length(d.entry), 8u);
        }
    }
}

TEST(TableBuilding, FixedDistanceCodeWithInvalid30And31)
{
    Built b;
    Lengths lengths(32, 5);
    build(b, lengths, DISTANCE_ROOT_BITS, ALPHABET_DISTANCE, DISTANCE_TABLE_SIZE);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    std::vector<unsigned> codes = reversed_codes(lengths);
    for (unsigned s = 0; s < 30; s++) {
        for_each_extra_value(codes, s, 5, distance_extra[s], [&](uint32_t stream, unsigned value) {
            Decoded d = decode_one(b, stream);
            EXPECT_EQ(d.entry & ENTRY_EXCEPTIONAL, 0u) << s;
            EXPECT_EQ(d.value, distance_base[s] + value) << s << " extra " << value;
            EXPECT_EQ(d.bits, 5u + distance_extra[s]) << s;
        });
    }
    // Codes 11110 and 11111 (the 5-bit codes of symbols 30 and 31), reversed: 01111, 11111.
    EXPECT_EQ(b.table[0x0f] & ENTRY_EXCEPTIONAL, (unsigned)ENTRY_INVALID);
    EXPECT_EQ(b.table[0x1f] & ENTRY_EXCEPTIONAL, (unsigned)ENTRY_INVALID);
    EXPECT_EQ(entry_code_length(b.table[0x1f]), 5u);
}

TEST(TableBuilding, ShapesThatBuildNothing)
{
    struct Case {
        Lengths lengths;
        int result;
        const char *what;
    } cases[] = {
        {{1, 1, 1}, BUILD_OVERSUBSCRIBED, "three codes of 1 bit"},
        {{1, 16}, BUILD_OVERSUBSCRIBED, "a length above 15"},
        {{2, 2, 2}, BUILD_INCOMPLETE, "three codes of 2 bits"},
        {{6, 6, 7, 7, 8, 8}, BUILD_INCOMPLETE, "a sparse distance code"},
        {{2}, BUILD_INCOMPLETE, "a single code of 2 bits"},
    };
    for (const Case &c : cases) {
        Built b;
        build(b, c.lengths, 7);
        EXPECT_EQ(b.result, c.result) << c.what;
        for (DecodeEntry e : b.table)
            ASSERT_EQ(e, UNWRITTEN) << c.what << ": no entry written";
    }
}

TEST(TableBuilding, SingleCodeOfLengthOneIsCompleteWithAnInvalidSecondCode)
{
    Lengths lengths(30, 0);
    lengths[3] = 1;
    Built b;
    build(b, lengths, DISTANCE_ROOT_BITS, ALPHABET_DISTANCE);
    EXPECT_EQ(b.result, BUILD_COMPLETE);
    for (unsigned i = 0; i < (1u << DISTANCE_ROOT_BITS); i += 2) {
        ASSERT_EQ(entry_value(b.table[i]), distance_base[3]) << i;
        ASSERT_EQ(entry_total_bits(b.table[i]), 1u + distance_extra[3]) << i;
        ASSERT_EQ(b.table[i + 1] & ENTRY_EXCEPTIONAL, (unsigned)ENTRY_INVALID) << i + 1;
        ASSERT_EQ(entry_code_length(b.table[i + 1]), 1u) << "the unused code has 1 bit";
    }
}

TEST(TableBuilding, AllLengthsZeroFillTheRootWithNoCode)
{
    Built b;
    build(b, Lengths(30, 0), DISTANCE_ROOT_BITS, ALPHABET_DISTANCE);
    EXPECT_EQ(b.result, BUILD_EMPTY);
    for (unsigned i = 0; i < (1u << DISTANCE_ROOT_BITS); i++) {
        ASSERT_TRUE(entry_is_no_code(b.table[i])) << i;
        ASSERT_EQ(entry_total_bits(b.table[i]), 0u) << i << ": takes no bits";
    }
    EXPECT_EQ(b.table[1u << DISTANCE_ROOT_BITS], UNWRITTEN);
}

TEST(TableBuilding, EndOfBlockTakesExactlyItsOwnBits)
{
    // A complete literal/length code with a 7-bit end-of-block code: 1/128 + 253/256 + 2/512
    // fills the code space. Whatever bits follow it, it takes 7.
    Lengths lengths(257, 0);
    lengths[256] = 7;
    for (int s = 0; s < 253; s++)
        lengths[s] = 8;
    lengths[253] = 9;
    lengths[254] = 9;
    Built b;
    build(b, lengths, LITERAL_ROOT_BITS, ALPHABET_LITERAL_LENGTH, LITERAL_TABLE_SIZE);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    std::vector<unsigned> codes = reversed_codes(lengths);
    for (unsigned after = 0; after < 8; after++) {
        unsigned used;
        DecodeEntry e = walk(b, codes[256] | after << 7, &used);
        EXPECT_TRUE(e & ENTRY_END_OF_BLOCK);
        EXPECT_EQ(used, 7u);
        EXPECT_EQ(entry_total_bits(e), 7u);
    }
}

TEST(TableBuilding, EveryCodeOfRandomCompleteCodesDecodesToItsSymbol)
{
    // Complete codes from random Huffman-like splits, at root widths from 1 to 10.
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 200; round++) {
        // Start with two codes of length 1 and split random leaves until enough symbols.
        std::vector<unsigned> leaves = {1, 1};
        unsigned wanted = 2 + next() % 280;
        while (leaves.size() < wanted) {
            size_t i = next() % leaves.size();
            if (leaves[i] >= 15)
                continue;
            leaves[i]++;
            leaves.push_back(leaves[i]);
        }
        // Scatter them over a larger alphabet with some zero lengths.
        Lengths lengths;
        for (unsigned l : leaves) {
            if (next() % 4 == 0 && lengths.size() < 287)
                lengths.push_back(0);
            lengths.push_back((unsigned char)l);
        }
        if (lengths.size() > 288)
            continue;
        std::vector<unsigned> codes = reversed_codes(lengths);
        for (unsigned root = 1; root <= 10; root += 3) {
            Built b;
            build(b, lengths, root, ALPHABET_LITERAL_LENGTH);
            ASSERT_EQ(b.result, BUILD_COMPLETE);
            for (size_t s = 0; s < lengths.size(); s++) {
                if (!lengths[s])
                    continue;
                // Random bits after the code (its extra bits, then the next code's) decode
                // as the extra bits they are and no further.
                uint32_t after = next();
                Decoded d = decode_one(b, codes[s] | (after << lengths[s]));
                unsigned extra = s > 256 && s < 286 ? length_extra[s - 257] : 0;
                ASSERT_EQ(d.bits, lengths[s] + extra) << "round " << round << " root " << root;
                if (s < 256) {
                    ASSERT_TRUE(d.entry & ENTRY_LITERAL);
                    ASSERT_EQ(d.value, s) << "round " << round << " root " << root;
                } else if (s == 256) {
                    ASSERT_TRUE(d.entry & ENTRY_END_OF_BLOCK);
                } else if (s < 286) {
                    ASSERT_EQ(d.value, length_base[s - 257] + (after & ((1u << extra) - 1)));
                } else {
                    ASSERT_TRUE(d.entry & ENTRY_INVALID);
                }
            }
        }
    }
}

TEST(TableBuilding, WorstCaseCodesFillTheTablesExactly)
{
    // The codes that need the largest tables at these root widths, as zlib's
    // examples/enough.c finds them: the sizes of inflate_tables.h are reached, and one entry
    // less is refused rather than overrun.
    struct Case {
        std::vector<std::pair<unsigned, unsigned>> counts; // (codes, length)
        unsigned root_bits, table_size;
        Alphabet alphabet;
    } cases[] = {
        {{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 11}, {229, 12}, {49, 13}, {1, 14}, {2, 15}},
         LITERAL_ROOT_BITS, LITERAL_TABLE_SIZE, ALPHABET_LITERAL_LENGTH},
        {{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 9}, {9, 10}, {9, 11}, {1, 12}, {1, 13}, {1, 14},
          {2, 15}},
         DISTANCE_ROOT_BITS, DISTANCE_TABLE_SIZE, ALPHABET_DISTANCE},
    };
    for (const Case &c : cases) {
        Lengths lengths;
        for (auto p : c.counts)
            lengths.insert(lengths.end(), p.first, (unsigned char)p.second);
        ASSERT_LE(lengths.size(), c.alphabet == ALPHABET_DISTANCE ? 30u : 286u);
        Built fits, short_by_one;
        build(fits, lengths, c.root_bits, c.alphabet, c.table_size);
        EXPECT_EQ(fits.result, BUILD_COMPLETE) << c.table_size;
        build(short_by_one, lengths, c.root_bits, c.alphabet, c.table_size - 1);
        EXPECT_EQ(short_by_one.result, BUILD_OVERSUBSCRIBED) << c.table_size;
    }
}

TEST(ConstantTables, MatchTheFormat)
{
    // RFC 1951 3.2.5: lengths 3..258 from symbols 257..285, each base the previous base plus
    // the span of the previous extra bits (285 is the exception: 258 with no extra bits).
    for (int s = 1; s < 28; s++)
        EXPECT_EQ(length_base[s], length_base[s - 1] + (1 << length_extra[s - 1])) << s;
    EXPECT_EQ(length_base[28], 258);
    EXPECT_EQ(length_extra[28], 0);
    for (int s = 1; s < 30; s++)
        EXPECT_EQ(distance_base[s], distance_base[s - 1] + (1 << distance_extra[s - 1])) << s;
    EXPECT_EQ(distance_base[29] + (1 << distance_extra[29]) - 1, 32768);
    bool seen[19] = {false};
    for (int j = 0; j < 19; j++)
        seen[code_length_order[j]] = true;
    for (int s = 0; s < 19; s++)
        EXPECT_TRUE(seen[s]);
}

} // namespace

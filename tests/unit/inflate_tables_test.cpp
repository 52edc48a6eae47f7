// Table building: the tables build_decode_table makes for the documented examples, entry by
// entry, and the decoding of every code of canonical codes through them.
#include <gtest/gtest.h>

#include <vector>

#include "inflate/inflate_tables.h"

namespace {

// Owns the tables of one build.
struct Built {
    int result = -1;
    DecodeEntry *root = nullptr;
    DecodeEntry *list = nullptr;
    int width = 0;
    ~Built() { release_decode_tables(list); }
};

void build(Built &b, const std::vector<unsigned> &lengths, unsigned plain_count, int preferred,
           const unsigned short *bases = nullptr, const unsigned char *extras = nullptr)
{
    b.width = preferred;
    b.result = build_decode_table(lengths.data(), (unsigned)lengths.size(), plain_count, bases, extras, &b.root,
                                  &b.list, &b.width);
}

std::vector<unsigned> fixed_literal_lengths()
{
    std::vector<unsigned> l(288);
    for (unsigned s = 0; s < 288; s++)
        l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return l;
}

// The canonical code of RFC 1951 3.2.2, computed independently of the builder, returned
// bit-reversed (as the stream holds it, first bit in bit 0).
std::vector<unsigned> reversed_codes(const std::vector<unsigned> &lengths)
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
// final entry and sets *used to the bits it took.
const DecodeEntry *walk(const DecodeEntry *root, int width, uint32_t stream, unsigned *used)
{
    const DecodeEntry *t = &root[stream & bit_mask[width]];
    *used = 0;
    while (t->op > DECODE_OP_PLAIN && t->op != DECODE_OP_INVALID) {
        *used += t->bits;
        stream >>= t->bits;
        t = &t->subtable[stream & bit_mask[t->op - DECODE_OP_PLAIN]];
    }
    *used += t->bits;
    return t;
}

int count_tables(DecodeEntry *list)
{
    int n = 0;
    for (; list; list = (list - 1)->subtable)
        n++;
    return n;
}

void expect_entry(const DecodeEntry &e, unsigned op, unsigned bits, unsigned value, const char *what)
{
    EXPECT_EQ(e.op, op) << what;
    EXPECT_EQ(e.bits, bits) << what;
    EXPECT_EQ(e.value, value) << what;
}

TEST(TableBuilding, FourPlainSymbolsAtWidthTwoUseOneSubTable)
{
    Built b;
    build(b, {2, 1, 3, 3}, 4, 2);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.width, 2);
    expect_entry(b.root[0], 16, 1, 1, "index 0: symbol 1");
    expect_entry(b.root[1], 16, 2, 0, "index 1: symbol 0");
    expect_entry(b.root[2], 16, 1, 1, "index 2: symbol 1");
    EXPECT_EQ(b.root[3].op, 17);
    EXPECT_EQ(b.root[3].bits, 2);
    const DecodeEntry *sub = b.root[3].subtable;
    ASSERT_NE(sub, nullptr);
    expect_entry(sub[0], 16, 1, 2, "sub-table index 0: symbol 2");
    expect_entry(sub[1], 16, 1, 3, "sub-table index 1: symbol 3");
    EXPECT_EQ(count_tables(b.list), 2);
    EXPECT_EQ(b.list, sub) << "the newest table heads the release list";
    EXPECT_EQ((b.list - 1)->subtable, b.root) << "the root comes last";
}

TEST(TableBuilding, FourPlainSymbolsAtWidthThreeFitTheRoot)
{
    Built b;
    build(b, {2, 1, 3, 3}, 4, 3);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.width, 3);
    const unsigned symbol_at[8] = {1, 0, 1, 2, 1, 0, 1, 3};
    const unsigned bits_at[8] = {1, 2, 1, 3, 1, 2, 1, 3};
    for (int i = 0; i < 8; i++)
        expect_entry(b.root[i], 16, bits_at[i], symbol_at[i], ("index " + std::to_string(i)).c_str());
    EXPECT_EQ(count_tables(b.list), 1);
}

TEST(TableBuilding, FixedLiteralLengthCodeHasASevenBitRootAndInvalid286And287)
{
    for (int preferred : {7, 9}) {
        Built b;
        std::vector<unsigned> lengths = fixed_literal_lengths();
        build(b, lengths, 257, preferred, length_base, length_extra);
        ASSERT_EQ(b.result, BUILD_COMPLETE);
        EXPECT_EQ(b.width, 7) << "cut to the end-of-block code's 7 bits, preferred " << preferred;
        std::vector<unsigned> codes = reversed_codes(lengths);
        for (unsigned s = 0; s < 288; s++) {
            unsigned used;
            const DecodeEntry *e = walk(b.root, b.width, codes[s], &used);
            EXPECT_EQ(used, lengths[s]) << "symbol " << s;
            if (s < 256) {
                expect_entry(*e, 16, e->bits, s, "literal");
            } else if (s == 256) {
                EXPECT_EQ(e->op, 15);
                EXPECT_EQ(e->value, 256);
            } else if (s < 286) {
                EXPECT_EQ(e->op, length_extra[s - 257]) << "symbol " << s;
                EXPECT_EQ(e->value, length_base[s - 257]) << "symbol " << s;
            } else {
                EXPECT_EQ(e->op, 99) << "symbol " << s;
            }
        }
    }
}

TEST(TableBuilding, FixedDistanceCodeIsIncompleteWithInvalid30And31)
{
    Built b;
    std::vector<unsigned> lengths(30, 5);
    build(b, lengths, 0, 5, distance_base, distance_extra);
    EXPECT_EQ(b.result, BUILD_INCOMPLETE);
    EXPECT_EQ(b.width, 5);
    EXPECT_EQ(count_tables(b.list), 1);
    std::vector<unsigned> codes = reversed_codes(lengths);
    for (unsigned s = 0; s < 30; s++) {
        EXPECT_EQ(b.root[codes[s]].op, distance_extra[s]) << s;
        EXPECT_EQ(b.root[codes[s]].value, distance_base[s]) << s;
        EXPECT_EQ(b.root[codes[s]].bits, 5) << s;
    }
    // Codes 11110 and 11111 (the 5-bit codes of symbols 30 and 31), reversed: 01111, 11111.
    EXPECT_EQ(b.root[0x0f].op, 99);
    EXPECT_EQ(b.root[0x1f].op, 99);
}

TEST(TableBuilding, SparseDistanceCodeRaisesTheRootWidthByOne)
{
    std::vector<unsigned> lengths(30, 0);
    const unsigned used[6] = {6, 6, 7, 7, 8, 8};
    for (int s = 0; s < 6; s++)
        lengths[s] = used[s];
    Built b;
    build(b, lengths, 0, 6, distance_base, distance_extra);
    EXPECT_EQ(b.result, BUILD_INCOMPLETE);
    EXPECT_EQ(b.width, 7);
    std::vector<unsigned> codes = reversed_codes(lengths);
    for (unsigned s = 0; s < 6; s++) {
        unsigned bits_used;
        const DecodeEntry *e = walk(b.root, b.width, codes[s], &bits_used);
        EXPECT_EQ(e->value, distance_base[s]) << s;
        EXPECT_EQ(bits_used, lengths[s]) << s;
    }
}

TEST(TableBuilding, OverSubscribedCodeMakesNoTableAndLeavesTheRoot)
{
    Built b;
    DecodeEntry sentinel[1];
    b.root = sentinel;
    build(b, {1, 1, 1}, 3, 7);
    EXPECT_EQ(b.result, BUILD_OVERSUBSCRIBED);
    EXPECT_EQ(b.root, sentinel);
    EXPECT_EQ(b.list, nullptr);
}

TEST(TableBuilding, SingleCodeOfLengthOneIsCompleteWithAnInvalidSecondEntry)
{
    std::vector<unsigned> lengths(30, 0);
    lengths[3] = 1;
    Built b;
    build(b, lengths, 0, 6, distance_base, distance_extra);
    EXPECT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.width, 1);
    expect_entry(b.root[0], distance_extra[3], 1, distance_base[3], "the one code");
    EXPECT_EQ(b.root[1].op, 99);
    EXPECT_EQ(b.root[1].bits, 1);
}

TEST(TableBuilding, AllLengthsZeroMakeNoTable)
{
    Built b;
    DecodeEntry sentinel[1];
    b.root = sentinel;
    build(b, std::vector<unsigned>(19, 0), 19, 7);
    EXPECT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.root, nullptr);
    EXPECT_EQ(b.width, 0);
    EXPECT_EQ(b.list, nullptr);
}

TEST(TableBuilding, ShortEndOfBlockCodeCutsTheRoot)
{
    // A complete literal/length code with a 7-bit end-of-block code: 1/128 + 253/256 + 2/512
    // fills the code space.
    std::vector<unsigned> lengths(257, 0);
    lengths[256] = 7;
    for (int s = 0; s < 253; s++)
        lengths[s] = 8;
    lengths[253] = 9;
    lengths[254] = 9;
    Built b;
    build(b, lengths, 257, 9, length_base, length_extra);
    ASSERT_EQ(b.result, BUILD_COMPLETE);
    EXPECT_EQ(b.width, 7);
    std::vector<unsigned> codes = reversed_codes(lengths);
    unsigned used;
    const DecodeEntry *e = walk(b.root, b.width, codes[256], &used);
    EXPECT_EQ(e->op, 15);
    EXPECT_EQ(used, 7u);
    EXPECT_EQ(e, &b.root[codes[256]]) << "end of block resolves in the root";
}

TEST(TableBuilding, PreferredWidthIsClampedBetweenShortestAndLongest)
{
    // Longest code 6 bits: a preferred 9 gives 6.
    std::vector<unsigned> lengths = {1, 2, 3, 4, 5, 6, 6};
    Built wide;
    build(wide, lengths, 7, 9);
    EXPECT_EQ(wide.result, BUILD_COMPLETE);
    EXPECT_EQ(wide.width, 6);
    // Shortest code 3 bits, 8 of them: a preferred 1 is raised to 3.
    Built narrow;
    build(narrow, std::vector<unsigned>(8, 3), 8, 1);
    EXPECT_EQ(narrow.result, BUILD_COMPLETE);
    EXPECT_EQ(narrow.width, 3);
}

TEST(TableBuilding, EveryCodeOfRandomCompleteCodesDecodesToItsSymbol)
{
    // Complete codes from random Huffman-like splits, at every preferred width.
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
        std::vector<unsigned> lengths;
        for (unsigned l : leaves) {
            if (next() % 4 == 0 && lengths.size() < 287)
                lengths.push_back(0);
            lengths.push_back(l);
        }
        if (lengths.size() > 288)
            continue;
        std::vector<unsigned> codes = reversed_codes(lengths);
        for (int preferred = 1; preferred <= 10; preferred += 3) {
            Built b;
            build(b, lengths, (unsigned)lengths.size(), preferred);
            ASSERT_EQ(b.result, BUILD_COMPLETE);
            for (size_t s = 0; s < lengths.size(); s++) {
                if (!lengths[s])
                    continue;
                // Random bits after the code must not matter.
                uint32_t stream = codes[s] | (next() << lengths[s]);
                unsigned used;
                const DecodeEntry *e = walk(b.root, b.width, stream, &used);
                ASSERT_EQ(e->value, s) << "round " << round << " preferred " << preferred;
                ASSERT_EQ(used, lengths[s]);
            }
        }
    }
}

TEST(TableBuilding, AllocationFailureReleasesWhatTheBuildMade)
{
    std::vector<unsigned> lengths = fixed_literal_lengths();
    Built whole;
    build(whole, lengths, 257, 7, length_base, length_extra);
    int tables = count_tables(whole.list);
    ASSERT_GT(tables, 2);
    for (int allowed = 0; allowed < tables; allowed++) {
        inflate_allocations_before_failure = allowed;
        Built b;
        build(b, lengths, 257, 7, length_base, length_extra);
        inflate_allocations_before_failure = -1;
        EXPECT_EQ(b.result, BUILD_NO_MEMORY) << allowed;
        EXPECT_EQ(b.list, nullptr) << "released (the leak checker would see the rest)";
        EXPECT_EQ(b.root, nullptr);
    }
}

TEST(TableBuilding, LengthsAboveSixteenAreRejected)
{
    Built b;
    build(b, {1, 17}, 2, 7);
    EXPECT_EQ(b.result, BUILD_OVERSUBSCRIBED);
    EXPECT_EQ(b.list, nullptr);
}

TEST(ConstantTables, MatchTheFormat)
{
    // RFC 1951 3.2.5: lengths 3..258 from symbols 257..285, each base the previous base plus
    // the span of the previous extra bits (285 is the exception: 258 with no extra bits).
    for (int s = 1; s < 28; s++)
        EXPECT_EQ(length_base[s], length_base[s - 1] + (1 << length_extra[s - 1])) << s;
    EXPECT_EQ(length_base[28], 258);
    EXPECT_EQ(length_extra[28], 0);
    EXPECT_EQ(length_extra[29], 99);
    EXPECT_EQ(length_extra[30], 99);
    for (int s = 1; s < 30; s++)
        EXPECT_EQ(distance_base[s], distance_base[s - 1] + (1 << distance_extra[s - 1])) << s;
    EXPECT_EQ(distance_base[29] + (1 << distance_extra[29]) - 1, 32768);
    for (int n = 0; n <= 16; n++)
        EXPECT_EQ(bit_mask[n], (1u << n) - 1);
    bool seen[19] = {false};
    for (int j = 0; j < 19; j++)
        seen[code_length_order[j]] = true;
    for (int s = 0; s < 19; s++)
        EXPECT_TRUE(seen[s]);
}

} // namespace

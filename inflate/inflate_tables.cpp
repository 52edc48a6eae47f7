// Huffman decoding tables: the constant tables of DEFLATE and the builder of the two-level
// lookup tables of a canonical Huffman code given by its code lengths.
//
// Format notes (RFC 1951):
// - 3.1.1: Huffman codes are packed starting with the most significant bit of the code, but
//   the stream is read least significant bit first, so a table is indexed by the code's bits
//   in reverse. The builder therefore counts the codes in bit-reversed order.
// - 3.2.2: the code is canonical: shorter codes precede longer ones, and codes of one length
//   are consecutive in increasing symbol order. Given the lengths, the code is fixed.
// - 3.2.5: the base values and extra bits of the length and distance symbols.
// - 3.2.7: the order of the code-length code's lengths in a dynamic block header; a distance
//   code of a single symbol has one code of one bit, the other one-bit code unused.
#include "inflate/inflate_tables.h"

const unsigned short length_base[29] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned char length_extra[29] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned short distance_base[30] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const unsigned char distance_extra[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const unsigned char code_length_order[19] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

namespace {

enum { MAX_SYMBOLS = 288 }; // the largest alphabet: literal/length symbols 0..287

// What a symbol's entries say, without the code's length: the flags, the value, and in the
// low bits the extra bits that follow the code.
DecodeEntry symbol_meaning(Alphabet alphabet, unsigned symbol)
{
    unsigned base, extra;
    if (alphabet == ALPHABET_CODE_LENGTHS)
        return symbol << ENTRY_VALUE_SHIFT;
    if (alphabet == ALPHABET_LITERAL_LENGTH) {
        if (symbol < 256)
            return ENTRY_LITERAL | symbol << ENTRY_VALUE_SHIFT;
        if (symbol == 256)
            return ENTRY_END_OF_BLOCK;
        if (symbol >= 286)
            return ENTRY_INVALID;
        base = length_base[symbol - 257];
        extra = length_extra[symbol - 257];
    } else {
        if (symbol >= 30)
            return ENTRY_INVALID;
        base = distance_base[symbol];
        extra = distance_extra[symbol];
    }
    return base << ENTRY_VALUE_SHIFT | (extra ? ENTRY_EXTRA | extra : 0);
}

// The entry of a code of `length` bits at its table.
DecodeEntry code_entry(DecodeEntry meaning, unsigned length)
{
    return meaning + (length << ENTRY_LENGTH_SHIFT) + length;
}

// Stores `entry` at every index of a table of 2^width entries whose low `length` bits are
// `code`, so that whatever bits follow the code, the lookup finds it.
void repeat_entry(DecodeEntry *table, unsigned width, unsigned code, unsigned length, DecodeEntry entry)
{
    for (unsigned index = code; index < (1u << width); index += 1u << length)
        table[index] = entry;
}

// Stores the entries of a length or distance code of `length` bits whose extra bits fit the
// root with it: one for each value of the extra bits, holding the length or distance itself,
// and taking the code's and the extra bits together.
void repeat_with_extra_bits(DecodeEntry *table, unsigned root_bits, unsigned code, unsigned length,
                            DecodeEntry meaning)
{
    unsigned extra = meaning & 31;
    unsigned total = length + extra;
    DecodeEntry first = (meaning & ~(DecodeEntry)(ENTRY_EXTRA | 31)) + (total << ENTRY_LENGTH_SHIFT) + total;
    for (unsigned value = 0; value < (1u << extra); value++)
        repeat_entry(table, root_bits, code | value << length, total, first + (value << ENTRY_VALUE_SHIFT));
}

// Counts the codes of each length into length_count[0..15] and says what shape the code has:
// complete (the lengths' Kraft sum is exactly 1), incomplete, over-subscribed, or empty. A
// single code of one bit counts as complete (RFC 1951 3.2.7 allows it for distance codes).
int count_code_lengths(const unsigned char *lengths, unsigned count, unsigned length_count[MAX_CODE_BITS + 1])
{
    for (unsigned length = 0; length <= MAX_CODE_BITS; length++)
        length_count[length] = 0;
    for (unsigned symbol = 0; symbol < count; symbol++) {
        if (lengths[symbol] > MAX_CODE_BITS)
            return BUILD_OVERSUBSCRIBED; // no code of DEFLATE is that long
        length_count[lengths[symbol]]++;
    }
    if (length_count[0] == count)
        return BUILD_EMPTY;
    // `unused` counts the codes of each length not yet taken, from one bit to fifteen.
    int unused = 1;
    for (unsigned length = 1; length <= MAX_CODE_BITS; length++) {
        unused = unused * 2 - (int)length_count[length];
        if (unused < 0)
            return BUILD_OVERSUBSCRIBED;
    }
    if (unused == 0)
        return BUILD_COMPLETE;
    bool single_one_bit_code = length_count[1] == 1 && length_count[0] == count - 1;
    return single_one_bit_code ? BUILD_COMPLETE : BUILD_INCOMPLETE;
}

// Lists the symbols that have a code in the order of their codes (RFC 1951 3.2.2): by length,
// and within one length by symbol. Returns how many there are.
unsigned sort_symbols_by_code(const unsigned char *lengths, unsigned count,
                              const unsigned length_count[MAX_CODE_BITS + 1], unsigned short *sorted)
{
    unsigned start[MAX_CODE_BITS + 1];
    start[1] = 0;
    for (unsigned length = 1; length < MAX_CODE_BITS; length++)
        start[length + 1] = start[length] + length_count[length];
    unsigned total = start[MAX_CODE_BITS] + length_count[MAX_CODE_BITS];
    for (unsigned symbol = 0; symbol < count; symbol++)
        if (lengths[symbol] != 0)
            sorted[start[lengths[symbol]]++] = (unsigned short)symbol;
    return total;
}

// The code after `code` among the codes of `length` bits, both bit-reversed as the stream
// holds them (RFC 1951 3.1.1): adding 1 at the code's last bit, which is bit length - 1 here.
unsigned next_reversed_code(unsigned code, unsigned length)
{
    unsigned bit = 1u << (length - 1);
    while (code & bit) {
        code ^= bit;
        bit >>= 1;
    }
    return code | bit;
}

// The index width of a sub-table whose first code has `length` bits: the fewest bits (above
// the root's) that hold every code still to come with the same root prefix, given the counts
// of codes of each length not yet placed. The codes are placed in order, so those of one
// prefix come together and fill the sub-table exactly (the code is complete).
unsigned sub_table_width(unsigned length, unsigned root_bits, const unsigned left[MAX_CODE_BITS + 1])
{
    unsigned width = length - root_bits;
    int room = 1 << width;
    while (root_bits + width < MAX_CODE_BITS) {
        room -= (int)left[root_bits + width];
        if (room <= 0)
            break;
        width++;
        room <<= 1;
    }
    return width;
}

// Fills the root and the sub-tables with the codes of `sorted` in code order. Returns false
// when the tables would not fit `table_size` entries (never for codes of DEFLATE's alphabets
// with the table sizes of inflate_tables.h; checked all the same).
bool fill_tables(DecodeEntry *table, unsigned table_size, unsigned root_bits, const unsigned char *lengths,
                 const unsigned short *sorted, unsigned total, const unsigned length_count[MAX_CODE_BITS + 1],
                 Alphabet alphabet)
{
    unsigned left[MAX_CODE_BITS + 1]; // codes of each length not yet placed
    for (unsigned length = 0; length <= MAX_CODE_BITS; length++)
        left[length] = length_count[length];
    unsigned next_free = 1u << root_bits; // where the next sub-table goes
    unsigned prefix = ~0u;                // the root bits of the current sub-table
    unsigned sub_start = 0, sub_width = 0;
    unsigned code = 0; // the current code, bit-reversed

    for (unsigned i = 0; i < total; i++) {
        unsigned symbol = sorted[i];
        unsigned length = lengths[symbol];
        DecodeEntry meaning = symbol_meaning(alphabet, symbol);
        if (length + (meaning & 31) <= root_bits && (meaning & ENTRY_EXTRA)) {
            repeat_with_extra_bits(table, root_bits, code, length, meaning);
        } else if (length <= root_bits) {
            repeat_entry(table, root_bits, code, length, code_entry(meaning, length));
        } else {
            unsigned root_index = code & ((1u << root_bits) - 1);
            if (root_index != prefix) {
                // The first code of a new prefix: open its sub-table and link it from the root.
                prefix = root_index;
                sub_start = next_free;
                sub_width = sub_table_width(length, root_bits, left);
                next_free += 1u << sub_width;
                if (next_free > table_size)
                    return false;
                table[root_index] = ENTRY_LINK | sub_start << ENTRY_VALUE_SHIFT | sub_width << ENTRY_LENGTH_SHIFT | root_bits;
            }
            repeat_entry(table + sub_start, sub_width, code >> root_bits, length - root_bits,
                         code_entry(meaning, length - root_bits));
        }
        left[length]--;
        if (i + 1 < total)
            code = next_reversed_code(code, length);
    }
    // A single one-bit code leaves the other one-bit code unused: it decodes as invalid.
    if (total == 1)
        repeat_entry(table, root_bits, 1, 1, code_entry(ENTRY_INVALID, 1));
    return true;
}

} // namespace

int build_decode_table(DecodeEntry *table, unsigned table_size, unsigned root_bits,
                       const unsigned char *lengths, unsigned count, Alphabet alphabet)
{
    unsigned length_count[MAX_CODE_BITS + 1];
    unsigned short sorted[MAX_SYMBOLS];
    if (count > MAX_SYMBOLS || table_size < (1u << root_bits))
        return BUILD_OVERSUBSCRIBED;
    int shape = count_code_lengths(lengths, count, length_count);
    if (shape == BUILD_EMPTY) {
        repeat_entry(table, root_bits, 0, 0, ENTRY_INVALID);
        return BUILD_EMPTY;
    }
    if (shape != BUILD_COMPLETE)
        return shape;
    unsigned total = sort_symbols_by_code(lengths, count, length_count, sorted);
    if (!fill_tables(table, table_size, root_bits, lengths, sorted, total, length_count, alphabet))
        return BUILD_OVERSUBSCRIBED;
    return BUILD_COMPLETE;
}

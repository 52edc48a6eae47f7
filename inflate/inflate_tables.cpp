// Huffman decoding tables: the constant tables of DEFLATE and the builder of multi-level
// lookup tables for a canonical Huffman code given by its code lengths.
//
// Format notes (RFC 1951):
// - 3.1.1: Huffman codes are packed starting with the most significant bit of the code, but
//   the stream is read least significant bit first, so a table is indexed by the code's bits
//   in reverse. The builder therefore walks the codes of each length in bit-reversed order.
// - 3.2.2: the code is canonical: shorter codes precede longer ones, and codes of one length
//   are consecutive in increasing symbol order. Given the lengths, the code is fixed.
// - 3.2.5: the base values and extra bits of the length and distance symbols.
// - 3.2.7: the order of the code-length code's lengths in a dynamic block header.
#include "inflate/inflate_tables.h"

#include <stdlib.h>
#include <string.h>

const unsigned short length_base[31] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
const unsigned char length_extra[31] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const unsigned short distance_base[30] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const unsigned char distance_extra[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const unsigned short bit_mask[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000f, 0x001f, 0x003f, 0x007f, 0x00ff,
    0x01ff, 0x03ff, 0x07ff, 0x0fff, 0x1fff, 0x3fff, 0x7fff, 0xffff};
const unsigned char code_length_order[19] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

#ifdef KAVLIN_INFLATE_FAULT_INJECTION
long inflate_allocations_before_failure = -1;
#endif

void *inflate_allocate(unsigned long size)
{
#ifdef KAVLIN_INFLATE_FAULT_INJECTION
    if (inflate_allocations_before_failure == 0)
        return 0;
    if (inflate_allocations_before_failure > 0)
        inflate_allocations_before_failure--;
#endif
    return malloc(size);
}

void inflate_release(void *block)
{
    free(block);
}

enum {
    MAX_CODE_LENGTH = 16, // the builder counts lengths 0..16
    MAX_SYMBOLS = 288     // the largest alphabet: literal/length symbols 0..287
};

// Releases the tables pushed on *release_list since it was `stop`, and resets the list to it.
static void release_tables_since(DecodeEntry **release_list, DecodeEntry *stop)
{
    DecodeEntry *table = *release_list;
    while (table != stop && table) {
        DecodeEntry *header = table - 1;
        DecodeEntry *next = header->subtable;
        inflate_release(header);
        table = next;
    }
    *release_list = stop;
}

int release_decode_tables(DecodeEntry *list_head)
{
    release_tables_since(&list_head, 0);
    return 0;
}

// Allocates a table of 2^width entries behind its header record and pushes it on the release
// list. Every entry starts as an invalid code, so that even an entry the fill below did not
// reach could never lead anywhere; the fill writes every entry of a well-formed build.
static DecodeEntry *allocate_table(unsigned width, DecodeEntry **release_list)
{
    unsigned entries = 1u << width;
    DecodeEntry *header = (DecodeEntry *)inflate_allocate((entries + 1) * (unsigned long)sizeof(DecodeEntry));
    if (!header)
        return 0;
    DecodeEntry *table = header + 1;
    for (unsigned index = 0; index < entries; index++) {
        table[index].op = DECODE_OP_INVALID;
        table[index].bits = 0;
        table[index].value = 0;
        table[index].subtable = 0;
    }
    header->op = 0;
    header->bits = 0;
    header->value = 0;
    header->subtable = *release_list;
    *release_list = table;
    return table;
}

int build_decode_table(const unsigned *lengths, unsigned count, unsigned plain_count,
                       const unsigned short *bases, const unsigned char *extras,
                       DecodeEntry **root, DecodeEntry **release_list, int *lookup_bits)
{
    unsigned length_count[MAX_CODE_LENGTH + 1];  // c[L]: codes of length L (then the dummies)
    unsigned offset[MAX_CODE_LENGTH + 1];        // x[L]: where length L starts in `symbols`
    unsigned symbols[MAX_SYMBOLS];               // v: the symbols in code order
    unsigned level_width[MAX_CODE_LENGTH + 2];   // l[h] at index h + 1, so that l[-1] = 0
    DecodeEntry *level_table[MAX_CODE_LENGTH + 1]; // u[h]
    unsigned saved_code[MAX_CODE_LENGTH + 1];    // the code prefix of the table at level h

    if (count > MAX_SYMBOLS)
        return BUILD_OVERSUBSCRIBED;

    // Step 1: the length of the end-of-block code, at which a table is cut so that the
    // end-of-block code never takes more bits than its own.
    unsigned end_of_block_length = count > 256 ? lengths[256] : 16;

    // Step 2: count the codes of each length.
    memset(length_count, 0, sizeof length_count);
    for (unsigned s = 0; s < count; s++) {
        if (lengths[s] > MAX_CODE_LENGTH)
            return BUILD_OVERSUBSCRIBED; // no table can hold such a code
        length_count[lengths[s]]++;
    }

    // Step 3: no codes at all.
    if (length_count[0] == count) {
        *root = 0;
        *lookup_bits = 0;
        return BUILD_COMPLETE;
    }

    // Step 4: the shortest (k) and longest (g) code length; the root width lies between them.
    unsigned shortest = 1;
    while (length_count[shortest] == 0)
        shortest++;
    unsigned longest = MAX_CODE_LENGTH;
    while (length_count[longest] == 0)
        longest--;
    unsigned width_limit = (unsigned)*lookup_bits;
    if (*lookup_bits < (int)shortest)
        width_limit = shortest;
    if (width_limit > longest)
        width_limit = longest;
    *lookup_bits = (int)width_limit;

    // Step 5: check the code space and fill what is left over with dummy codes of the
    // longest length. `left` is the number of unused codes of each length in turn.
    int left = 1 << shortest;
    for (unsigned length = shortest; length < longest; length++) {
        left -= (int)length_count[length];
        if (left < 0)
            return BUILD_OVERSUBSCRIBED;
        left *= 2;
    }
    left -= (int)length_count[longest];
    if (left < 0)
        return BUILD_OVERSUBSCRIBED;
    length_count[longest] += (unsigned)left;

    // Steps 6 and 7: the symbols in code order (canonical order, RFC 1951 3.2.2).
    offset[1] = 0;
    for (unsigned length = 1; length < longest; length++)
        offset[length + 1] = offset[length] + length_count[length];
    unsigned real_symbols = 0;
    for (unsigned s = 0; s < count; s++) {
        if (lengths[s] != 0) {
            symbols[offset[lengths[s]]++] = s;
            real_symbols++;
        }
    }

    // Step 8: make the tables, walking the codes from the shortest to the longest.
    DecodeEntry *const list_at_start = *release_list;
    unsigned code = 0;        // i: the current code, bit-reversed
    int level = -1;           // h: the current table level
    unsigned decoded = 0;     // w: bits decoded by the tables above `level`
    unsigned entries = 0;     // z: entries of the current table
    DecodeEntry *table = 0;   // q: the table made last
    unsigned next_symbol = 0; // index into `symbols`
    DecodeEntry entry;        // the value entry being placed; kept between codes
    entry.op = 0;
    entry.bits = 0;
    entry.value = 0;
    entry.subtable = 0;
    level_width[0] = 0;
    saved_code[0] = 0;
    *root = 0;

    for (unsigned length = shortest; length <= longest; length++) {
        unsigned codes_left = length_count[length]; // a + 1 for the code being placed
        while (codes_left-- > 0) {
            // Step 8.1: open table levels until this code ends within the current table.
            while (length > decoded + level_width[level + 1]) {
                decoded += level_width[level + 1];
                level++;
                // 8.1.2 and 8.1.3: the narrowest table of at most `limit` bits that the
                // codes of this and the following lengths fill.
                unsigned limit = longest - decoded < width_limit ? longest - decoded : width_limit;
                unsigned width = length - decoded;
                unsigned fill = 1u << width;
                if (fill > codes_left + 1) {
                    fill -= codes_left + 1;
                    unsigned longer = length;
                    for (;;) {
                        width++;
                        if (width >= limit)
                            break;
                        longer++;
                        fill <<= 1;
                        if (fill <= length_count[longer])
                            break;
                        fill -= length_count[longer];
                    }
                }
                // 8.1.4: the end-of-block code ends exactly at the last bit of a table.
                if (decoded + width > end_of_block_length && decoded < end_of_block_length)
                    width = end_of_block_length - decoded;
                // 8.1.5 to 8.1.7
                entries = 1u << width;
                level_width[level + 1] = width;
                table = allocate_table(width, release_list);
                if (!table) {
                    release_tables_since(release_list, list_at_start);
                    *root = 0;
                    return BUILD_NO_MEMORY;
                }
                if (!*root)
                    *root = table;
                level_table[level] = table;
                // 8.1.8: link the new table from its parent.
                if (level > 0) {
                    saved_code[level] = code;
                    unsigned parent_width = level_width[level];
                    DecodeEntry link;
                    link.op = (unsigned short)(DECODE_OP_PLAIN + width);
                    link.bits = (unsigned short)parent_width;
                    link.value = 0;
                    link.subtable = table;
                    level_table[level - 1][(code & ((1u << decoded) - 1)) >> (decoded - parent_width)] = link;
                }
            }

            // Step 8.2: this code's entry.
            entry.bits = (unsigned short)(length - decoded);
            if (next_symbol >= real_symbols) {
                entry.op = DECODE_OP_INVALID; // a dummy code
            } else {
                unsigned s = symbols[next_symbol++];
                if (s < plain_count) {
                    entry.op = s < 256 ? DECODE_OP_PLAIN : DECODE_OP_END_OF_BLOCK;
                    entry.value = (unsigned short)s;
                } else {
                    entry.op = extras[s - plain_count];
                    entry.value = bases[s - plain_count];
                }
            }

            // Step 8.3: every index whose low bits are this code.
            unsigned step = 1u << (length - decoded);
            for (unsigned index = code >> decoded; index < entries; index += step)
                table[index] = entry;

            // Step 8.4: the next code of this length, counting in bit-reversed order.
            unsigned bit = 1u << (length - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            // Step 8.5: back up over the tables this code completed.
            while ((code & ((1u << decoded) - 1)) != saved_code[level]) {
                level--;
                decoded -= level_width[level + 1];
            }
        }
    }

    // Steps 9 and 10.
    *lookup_bits = (int)level_width[1];
    return (left != 0 && longest != 1) ? BUILD_INCOMPLETE : BUILD_COMPLETE;
}

// Huffman decoding tables of the DEFLATE decoder and the constant tables of the format
// (RFC 1951, 3.2.2 and 3.2.5). Used by inflate.cpp; visible to the tests so that they can pin
// the tables the builder makes.
#ifndef KAVLIN_INFLATE_INFLATE_TABLES_H
#define KAVLIN_INFLATE_INFLATE_TABLES_H

// One entry of a decoding table. A code is decoded by indexing a table with the next stream
// bits (least significant first); the entry tells what the code means and how many bits it
// used at that table's level.
//
//   op       what the entry is:
//              0..13  a length or distance symbol: read `op` extra bits after the code and
//                     add them to `value` (the base length or base distance)
//              15     end of block (literal/length symbol 256); `value` 256
//              16     a plain symbol: a literal byte 0..255, or a code-length symbol 0..18
//              17..32 a link: the code continues in `subtable`, which is indexed by the next
//                     (op - 16) bits
//              99     an invalid code: a dummy that fills an incomplete code's unused space,
//                     or literal/length symbol 286 or 287. `value` is not meaningful.
//   bits     for a value entry, the bits of the code that remain at this level; for a link,
//            the index width of the table that holds the link (the bits to drop before
//            indexing the sub-table)
//   value    the literal byte, the symbol, the base length or the base distance
//   subtable for a link, the sub-table; null in every other entry the builder makes
//
// A table is one allocation: a header record (whose `subtable` links the release list)
// followed by 2^n entries indexed by n stream bits. Every entry of a built table is written.
struct DecodeEntry {
    unsigned short op;
    unsigned short bits;
    unsigned short value;
    DecodeEntry *subtable;
};

enum {
    DECODE_OP_END_OF_BLOCK = 15,
    DECODE_OP_PLAIN = 16,
    DECODE_OP_INVALID = 99
};

// Results of build_decode_table.
enum {
    BUILD_COMPLETE = 0,       // complete, a single code of length 1, or every length 0
    BUILD_INCOMPLETE = 1,     // code space left over; the unused codes decode as op 99
    BUILD_OVERSUBSCRIBED = 2, // more codes than the code space allows (or a length above 16)
    BUILD_NO_MEMORY = 3       // a table could not be allocated; this build made nothing
};

// Literal/length symbols 257..287: base lengths, and extra-bit counts (99 for the two symbols
// 286 and 287, which RFC 1951 3.2.6 reserves, so that they decode as invalid codes).
extern const unsigned short length_base[31];
extern const unsigned char length_extra[31];
// Distance symbols 0..29: base distances and extra-bit counts.
extern const unsigned short distance_base[30];
extern const unsigned char distance_extra[30];
// bit_mask[n] = 2^n - 1 for n = 0..16.
extern const unsigned short bit_mask[17];
// The order in which a dynamic block stores the code-length code's lengths (RFC 1951 3.2.7).
extern const unsigned char code_length_order[19];

// Builds the decoding tables of the canonical Huffman code given by `lengths` (one per symbol,
// 0 for no code, at most 16). Symbols below `plain_count` are plain (op 16, or op 15 for symbol
// 256 and above); symbol s at or above it gets value bases[s - plain_count] and op
// extras[s - plain_count]. *lookup_bits is the preferred root width on the way in and the
// width used on the way out. Every table made is pushed on *release_list (the caller empties
// it before the build); *root is the root table, or null when every length is 0.
// At most 288 symbols. Returns one of the BUILD_ results.
int build_decode_table(const unsigned *lengths, unsigned count, unsigned plain_count,
                       const unsigned short *bases, const unsigned char *extras,
                       DecodeEntry **root, DecodeEntry **release_list, int *lookup_bits);

// Releases every table on a release list (null does nothing). Returns 0.
int release_decode_tables(DecodeEntry *list_head);

// The decoder's allocation primitive: malloc, or in the native fault-injection build a malloc
// that fails once a countdown runs out.
void *inflate_allocate(unsigned long size);
void inflate_release(void *block);

#ifdef KAVLIN_INFLATE_FAULT_INJECTION
// Test builds only: the number of allocations that still succeed; negative never fails.
extern long inflate_allocations_before_failure;
#endif

#endif

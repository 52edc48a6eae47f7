// Huffman decoding tables of the DEFLATE decoder and the constant tables of the format
// (RFC 1951, 3.2.2 and 3.2.5). Used by inflate.cpp; visible to the tests so that they can pin
// the tables the builder makes.
#ifndef KAVLIN_INFLATE_INFLATE_TABLES_H
#define KAVLIN_INFLATE_INFLATE_TABLES_H

// One entry of a decoding table, 32 bits. A code is decoded by indexing a table with the next
// stream bits (least significant first); the entry tells what the code means and how many
// bits it takes. Codes no longer than the table's root width resolve in the root, where an
// entry is repeated at every index whose low bits are its code; a longer code's root entry is
// a link to a sub-table indexed by the bits after the root's.
//
//   bits 31..16  the value: the literal byte, the length (3..258) or distance (1..32768), or
//                its base when ENTRY_EXTRA is set, the code-length symbol (0..18), or for a
//                link the index of its sub-table in the same array
//   bit  15      ENTRY_LITERAL: a literal byte
//   bit  14      ENTRY_LINK: the code continues in the sub-table at `value`
//   bit  13      ENTRY_END_OF_BLOCK: literal/length symbol 256
//   bit  12      ENTRY_INVALID: a code no symbol has (the unused half of a single one-bit
//                code), or a symbol RFC 1951 reserves (literal/length 286 and 287, distance
//                30 and 31); with a code length of 0, a code that has no symbols at all (a
//                distance code of zero lengths, allowed in a block of literals only)
//   bits 11..8   the code's length at this table (for a sub-table entry, the bits after the
//                root's): the bits after which the extra bits stand; for a link, the index
//                width of its sub-table
//   bit  6       ENTRY_EXTRA: extra bits (RFC 1951 3.2.5) follow the code; their value is
//                added to `value`
//   bits  4..0   the bits the entry takes: the code's length, plus the extra bits; for a link,
//                the root width
//
// Where a length or distance code and its extra bits fit the root together, the root holds
// one entry for every value of the extra bits, with the length or distance itself: such an
// entry has no ENTRY_EXTRA, and its code length counts the extra bits. So one lookup and one
// shift decode most lengths and short distances whole. Bit 5 is 0 in every entry, so that its
// low 6 bits are the bits it takes.
typedef unsigned int DecodeEntry;

enum {
    ENTRY_LITERAL = 0x8000,
    ENTRY_LINK = 0x4000,
    ENTRY_END_OF_BLOCK = 0x2000,
    ENTRY_INVALID = 0x1000,
    ENTRY_EXCEPTIONAL = ENTRY_LINK | ENTRY_END_OF_BLOCK | ENTRY_INVALID,
    ENTRY_EXTRA = 0x40,
    ENTRY_VALUE_SHIFT = 16,
    ENTRY_LENGTH_SHIFT = 8
};

// The value, the code's length at its table, and the bits the entry takes.
inline unsigned entry_value(DecodeEntry e) { return e >> ENTRY_VALUE_SHIFT; }
inline unsigned entry_code_length(DecodeEntry e) { return (e >> ENTRY_LENGTH_SHIFT) & 15; }
inline unsigned entry_total_bits(DecodeEntry e) { return e & 31; }
// An invalid entry that takes no bits: the code has no symbols.
inline bool entry_is_no_code(DecodeEntry e) { return (e & ENTRY_INVALID) && entry_code_length(e) == 0; }

// Root widths, chosen by measurement (docs/benchmarks.md), and the largest tables the codes
// of DEFLATE can need with them. The bounds are those of zlib's examples/enough.c, which
// searches every complete code of up to 15 bits for the one whose sub-tables take the most
// room, with sub-tables sized as build_decode_table sizes them:
//   enough 286 10 15 -> 1332 (a dynamic literal/length code: at most 286 symbols, HLIT)
//   enough 30 8 15   -> 400  (a dynamic distance code: at most 30 symbols, HDIST)
// The fixed codes (RFC 1951 3.2.6: 288 and 32 symbols, at most 9 and 5 bits) fit their roots.
// The code-length code has at most 7 bits: its root is the whole table.
enum {
    LITERAL_ROOT_BITS = 10,
    LITERAL_TABLE_SIZE = 1332,
    DISTANCE_ROOT_BITS = 8,
    DISTANCE_TABLE_SIZE = 400,
    CODE_LENGTH_ROOT_BITS = 7,
    CODE_LENGTH_TABLE_SIZE = 1 << CODE_LENGTH_ROOT_BITS,
    MAX_CODE_BITS = 15 // RFC 1951 3.2.7: code lengths are 0..15
};

// Which symbols a code has, and so what its entries say.
enum Alphabet {
    ALPHABET_CODE_LENGTHS,   // 0..18: the code-length code of a dynamic block (RFC 1951 3.2.7)
    ALPHABET_LITERAL_LENGTH, // 0..255 literals, 256 end of block, 257..285 lengths, 286..287 reserved
    ALPHABET_DISTANCE        // 0..29 distances, 30..31 reserved
};

// Results of build_decode_table.
enum {
    BUILD_COMPLETE = 0,       // the code fills its code space, or is a single one-bit code
    BUILD_INCOMPLETE = 1,     // code space left over: nothing built
    BUILD_OVERSUBSCRIBED = 2, // more codes than the code space allows, or a length above 15:
                              // nothing built
    BUILD_EMPTY = 3           // no symbol has a code: every root entry is invalid and takes no bits
};

// Literal/length symbols 257..285: base lengths and extra-bit counts (RFC 1951 3.2.5).
extern const unsigned short length_base[29];
extern const unsigned char length_extra[29];
// Distance symbols 0..29: base distances and extra-bit counts.
extern const unsigned short distance_base[30];
extern const unsigned char distance_extra[30];
// The order in which a dynamic block stores the code-length code's lengths (RFC 1951 3.2.7).
extern const unsigned char code_length_order[19];

// Builds into `table` (room for `table_size` entries) the decoding table of the canonical
// Huffman code given by `lengths` (one per symbol of `alphabet`, in symbol order, 0 for no
// code): a root of 2^root_bits entries and the sub-tables behind it. Allocates nothing.
// Returns one of the BUILD_ results; the table is usable after BUILD_COMPLETE and BUILD_EMPTY.
int build_decode_table(DecodeEntry *table, unsigned table_size, unsigned root_bits,
                       const unsigned char *lengths, unsigned count, Alphabet alphabet);

#endif

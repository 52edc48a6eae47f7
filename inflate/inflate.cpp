// The DEFLATE decoder: decodes one raw DEFLATE stream (RFC 1951) block by block into a
// 32768-byte sliding window that doubles as the output buffer.
//
// Format notes (RFC 1951):
// - 3.1.1: bits are packed into bytes starting with the least significant bit; data elements
//   other than Huffman codes (header fields, extra bits, stored lengths) are read least
//   significant bit first as numbers. The bit reader keeps unread bits in a word, the next
//   bit in bit 0.
// - 3.2.3: each block starts with 3 header bits: BFINAL, then BTYPE (0 stored, 1 fixed
//   Huffman codes, 2 dynamic Huffman codes, 3 reserved and an error).
// - 3.2.4: a stored block skips to the next byte boundary, then holds LEN, NLEN (the one's
//   complement of LEN) and LEN literal bytes.
// - 3.2.5: compressed data is a sequence of literal bytes and <length, backward distance>
//   pairs; a distance may not reach before the start of the data, and a match may overlap
//   its own output (distance smaller than the length), which repeats bytes.
// - 3.2.6: the fixed codes; literal/length symbols 286 and 287 and distance symbols 30 and 31
//   never occur in valid data.
// - 3.2.7: a dynamic block header: HLIT, HDIST, HCLEN, the code-length code's lengths, then
//   the literal/length and distance code lengths encoded with that code, with the repeat
//   symbols 16 (previous length 3..6 times), 17 (zero 3..10 times), 18 (zero 11..138 times);
//   repeats may cross from the literal/length lengths into the distance lengths.
//
// Two paths decode the literals and matches of a block. The fast path runs while the input
// buffer holds enough bytes for a whole step and the window has room for the longest match:
// it refills the bit buffer a whole word at a time, resolves most codes with one table lookup
// (the extra bits taken with the code), and copies matches a word at a time without calls
// (a short match as four words with no branch on its length, the window's bytes after it put
// back, since they are history).
// The careful path decodes one literal or match at a time near the ends of the input and of
// the window, taking input bytes one by one, checking every bit against the end of the data
// and flushing the window when it fills. Both give the bytes and results of decoding bit by
// bit.
#include "inflate/inflate.h"
#include "inflate/inflate_tables.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

// The bit buffer: a machine word (64 bits natively, 32 in the 32-bit installer). Native tests
// also build the 32-bit variant, by defining KAVLIN_INFLATE_32_BIT_WORD.
#ifdef KAVLIN_INFLATE_32_BIT_WORD
typedef unsigned int BitWord;
#else
typedef unsigned long BitWord;
#endif

enum {
    WORD_BYTES = (int)sizeof(BitWord),
    WORD_BITS = WORD_BYTES * 8,
    // A refill of the fast path leaves at least this many bits in the buffer.
    REFILL_MIN_BITS = WORD_BITS - 8,
    // The fast path runs while the input buffer holds this many bytes: a step (one literal/
    // length code and what follows it) refills at most three times, each loading one word and
    // moving on by less than a word ...
    FAST_INPUT_MARGIN = 3 * WORD_BYTES,
    // ... and while a step, at most the longest match (RFC 1951 3.2.5), cannot fill the window.
    LONGEST_MATCH = 258,
    FAST_WINDOW_LIMIT = INFLATE_WINDOW_SIZE - LONGEST_MATCH,
    // Room for the code lengths of a dynamic block: 286 literal/length and 30 distance codes.
    MAX_LITERAL_CODES = 286,
    MAX_DISTANCE_CODES = 30
};

// The tables of one block's literal/length and distance codes, side by side so that the fast
// path reaches both from one pointer.
struct HuffmanTables {
    DecodeEntry literal[LITERAL_TABLE_SIZE];
    DecodeEntry distance[DISTANCE_TABLE_SIZE];
};

// The current block's codes, in static storage: the fast path then reaches them at a fixed
// address, which leaves one more of the 80386's seven registers to the decoding. They hold the
// fixed codes while `block_tables_fixed` is set, so that a run of fixed blocks (or of entries
// with fixed blocks) builds them once. The decoder is therefore not reentrant.
static HuffmanTables block_tables;
static bool block_tables_fixed;

// Internal outcome of a decoding step: the block goes on, ends, or fails with an
// InflateResult (all values of InflateResult but INFLATE_OK are failures).
enum { CODES_CONTINUE = -1, CODES_END_OF_BLOCK = INFLATE_OK };

// The state of decoding one stream, allocated once per stream.
struct DecoderState {
    const InflateIo *io;

    // Input: the bytes of the last read not yet taken into the bit buffer, and that buffer:
    // bits taken from the input and not yet used, the next one in bit 0. Above the
    // `bit_count` valid bits every bit is 0.
    const unsigned char *in;
    const unsigned char *in_end;
    BitWord bit_buffer;
    unsigned bit_count;
    unsigned input_ended; // nonzero once a read gave nothing: the data has ended and is not
                          // read again

    // Output: the sliding window holds the most recent output. Positions below window_pos are
    // not yet written; those above it are older, written output that still serves as history
    // for matches.
    unsigned window_pos;     // next position to fill; 0..32767 between steps
    unsigned window_wrapped; // nonzero once a whole window was written: every distance up to
                             // 32768 then reaches decoded bytes of this stream

    DecodeEntry code_length_table[CODE_LENGTH_TABLE_SIZE]; // its code-length code
    // The two buffers, the window last and 8-byte aligned, so that it ends the allocation: a
    // write past it is one past the block, which the sanitizers of the native builds report.
    alignas(8) unsigned char input_buffer[INFLATE_INPUT_CHUNK];
    unsigned char window[INFLATE_WINDOW_SIZE];
};
static_assert(sizeof(DecoderState) == offsetof(DecoderState, window) + INFLATE_WINDOW_SIZE,
              "no padding after the window");

// bit_mask[n] = 2^n - 1 for n = 0..31: the fast path masks extra bits and sub-table indexes
// with a lookup, which keeps the shift register free.
static const unsigned int bit_mask[32] = {
    0x0, 0x1, 0x3, 0x7, 0xf, 0x1f, 0x3f, 0x7f, 0xff, 0x1ff, 0x3ff, 0x7ff, 0xfff, 0x1fff, 0x3fff, 0x7fff,
    0xffff, 0x1ffff, 0x3ffff, 0x7ffff, 0xfffff, 0x1fffff, 0x3fffff, 0x7fffff, 0xffffff, 0x1ffffff, 0x3ffffff,
    0x7ffffff, 0xfffffff, 0x1fffffff, 0x3fffffff, 0x7fffffff};

// (1 << n) - 1 for n below the word's width.
static inline BitWord low_bits(unsigned n)
{
    return ((BitWord)1 << n) - 1;
}

// ---------------------------------------------------------------------------------------------
// Input and bit reader of the careful path.

// Reads the next chunk once every byte of the last one has been taken. Returns false at the
// end of the data.
static bool read_input(DecoderState *s)
{
    if (s->input_ended)
        return false;
    unsigned long got = s->io->read(s->io->read_context, s->input_buffer, INFLATE_INPUT_CHUNK);
    if (got > INFLATE_INPUT_CHUNK)
        got = INFLATE_INPUT_CHUNK; // a reader that claims more than it was asked is not believed
    s->in = s->input_buffer;
    s->in_end = s->input_buffer + got;
    if (got == 0)
        s->input_ended = 1;
    return got != 0;
}

// Takes input bytes into the bit buffer until it holds n bits (n <= 16), or the data ends.
// Returns whether it holds them.
static bool need_bits(DecoderState *s, unsigned n)
{
    while (s->bit_count < n) {
        if (s->in == s->in_end && !read_input(s))
            return false;
        s->bit_buffer |= (BitWord)*s->in++ << s->bit_count;
        s->bit_count += 8;
    }
    return true;
}

static void drop_bits(DecoderState *s, unsigned n)
{
    s->bit_buffer >>= n;
    s->bit_count -= n;
}

// Reads n bits (n <= 16) as a number (RFC 1951 3.1.1). Returns false when the data ends first.
static bool read_bits(DecoderState *s, unsigned n, unsigned *value)
{
    if (!need_bits(s, n))
        return false;
    *value = (unsigned)(s->bit_buffer & low_bits(n));
    drop_bits(s, n);
    return true;
}

// Decodes the next code with `table` (root of 2^root_bits entries) and drops its bits, not
// the extra bits that follow it. Takes input bytes only as the code needs them, so that no
// read is made after the stream's last byte: the lookup sees the bits there are (those above
// read as 0) and the code decodes as soon as its own bits are all there, since every index
// that shares a code's bits leads to the same entry.
static InflateResult decode_symbol(DecoderState *s, const DecodeEntry *table, unsigned root_bits,
                                   DecodeEntry *out)
{
    for (;;) {
        DecodeEntry entry = table[s->bit_buffer & low_bits(root_bits)];
        unsigned code_bits = entry_code_length(entry);
        if (entry & ENTRY_LINK) {
            unsigned width = code_bits;
            entry = table[entry_value(entry) + ((s->bit_buffer >> root_bits) & low_bits(width))];
            code_bits = root_bits + entry_code_length(entry);
        }
        if (code_bits <= s->bit_count) {
            if (entry & ENTRY_INVALID) // a match where the distance code is empty, or a code no
                                       // symbol has
                return entry_is_no_code(entry) ? INFLATE_BAD_CODE_LENGTHS : INFLATE_BAD_CODE;
            drop_bits(s, code_bits);
            *out = entry;
            return INFLATE_OK;
        }
        if (!need_bits(s, s->bit_count + 1))
            return INFLATE_TRUNCATED;
    }
}

// Reads the extra bits of a length or distance entry and adds them to its base value.
static bool read_value(DecoderState *s, DecodeEntry entry, unsigned *value)
{
    unsigned extra;
    if (!read_bits(s, entry_total_bits(entry) - entry_code_length(entry), &extra))
        return false;
    *value = entry_value(entry) + extra;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Window, flush and match copies.

// Writes window[0 .. n) to the output.
static InflateResult flush_window(DecoderState *s, unsigned n)
{
    if (!s->io->write(s->io->write_context, s->window, n))
        return INFLATE_WRITE_FAILED;
    return INFLATE_OK;
}

// Called whenever window_pos has advanced: writes the window when it has just become full.
static InflateResult window_advanced(DecoderState *s)
{
    if (s->window_pos < INFLATE_WINDOW_SIZE)
        return INFLATE_OK;
    s->window_pos = 0;
    s->window_wrapped = 1;
    return flush_window(s, INFLATE_WINDOW_SIZE);
}

static inline BitWord load_word(const unsigned char *p)
{
    BitWord word;
    memcpy(&word, p, sizeof word); // one load: the copy of a constant size is no call
    return word;
}

// Copies 4 bytes, read before any of them is written.
static inline void copy_4(unsigned char *to, const unsigned char *from)
{
    unsigned int word;
    memcpy(&word, from, 4);
    memcpy(to, &word, 4);
}

// Copies `length` bytes from `from` to `to` as a forward byte-by-byte copy would, where the two
// lie at least 4 bytes apart (either way round): 4 bytes at a time, the last piece ending at
// the copy's end. That piece may write again bytes of the piece before it, with the same
// values: its source is final (4 or more bytes before the destination), or not yet written
// (after it). Writes no byte outside [to, to + length).
static inline void copy_apart(unsigned char *to, const unsigned char *from, unsigned length)
{
    if (length < 4) {
        for (; length > 0; length--)
            *to++ = *from++;
        return;
    }
    unsigned char *const last = to + length - 4;
    const unsigned char *const last_from = from + length - 4;
    for (; length > 8; length -= 8, to += 8, from += 8) {
        copy_4(to, from);
        copy_4(to + 4, from + 4);
    }
    // 1 to 8 bytes left: the last piece copies the last 4 of them (or of the copy).
    if (length > 4)
        copy_4(to, from);
    copy_4(last, last_from);
}

// A match whose distance is below 4 (RFC 1951 3.2.5: it repeats its last `distance` bytes):
// writes its first 4 bytes (6 for distance 3) byte by byte, or the whole match when shorter,
// after which the match repeats with that longer period as well. Advances *to and lowers
// *length past them and returns the period the rest repeats with.
static inline unsigned write_first_period(unsigned char **to, unsigned distance, unsigned *length)
{
    const unsigned char *from = *to - distance;
    unsigned period = distance == 3 ? 6 : 4;
    unsigned first = *length < period ? *length : period;
    for (unsigned i = 0; i < first; i++)
        (*to)[i] = from[i];
    *to += first;
    *length -= first;
    return period;
}

// Copies a match of `length` bytes from `distance` bytes back (RFC 1951 3.2.5) as a byte-by-
// byte forward copy would: when the distance is smaller than the length, the bytes just
// written are copied again, repeating the last `distance` bytes. Writes no byte outside
// [to, to + length): the bytes after the match are history still needed.
static inline void copy_match(unsigned char *to, unsigned distance, unsigned length)
{
    if (distance < 4)
        distance = write_first_period(&to, distance, &length);
    copy_apart(to, to - distance, length);
}

// Copies a match at `to`, which lies in `window` with room for the match before the window's
// end, when the distance reaches decoded bytes. The source may start in the older history at
// the window's end and continue at its start (window positions are taken modulo 32768, RFC
// 1951's largest distance).
static inline void copy_match_in_window(unsigned char *window, unsigned char *to, unsigned distance,
                                        unsigned length)
{
    unsigned window_pos = (unsigned)(to - window);
    if (distance <= window_pos) {
        copy_match(to, distance, length);
        return;
    }
    // The older history lies 32768 - distance bytes after the destination.
    unsigned tail = distance - window_pos;
    unsigned first = tail < length ? tail : length;
    const unsigned char *from = window + INFLATE_WINDOW_SIZE - tail;
    if (INFLATE_WINDOW_SIZE - distance >= 4) {
        copy_apart(to, from, first);
    } else {
        for (unsigned i = 0; i < first; i++)
            to[i] = from[i];
    }
    if (length > first)
        copy_match(to + tail, distance, length - first);
}

enum {
    // The fast path copies a match of up to this many bytes as four whole 4-byte words, with
    // no branch on its length.
    SHORT_MATCH = 16
};

// Copies a match as copy_match does, where the window has room for SHORT_MATCH bytes after
// it: a match of up to SHORT_MATCH bytes (once its period is 4 or more) is copied as
// SHORT_MATCH bytes, every word read lying at least 4 bytes before the word written, so final;
// the bytes after the match, which may be older history still needed (a later match can reach
// them from up to 32768 bytes on), are read first and put back. Writes no byte outside
// [to, to + length) for good.
static inline void copy_match_fast(unsigned char *to, unsigned distance, unsigned length)
{
    if (distance < 4)
        distance = write_first_period(&to, distance, &length);
    const unsigned char *from = to - distance;
    if (length > SHORT_MATCH) {
        copy_apart(to, from, length);
        return;
    }
    unsigned char *const end = to + length;
    unsigned int after0, after1, after2, after3;
    memcpy(&after0, end, 4);
    memcpy(&after1, end + 4, 4);
    memcpy(&after2, end + 8, 4);
    memcpy(&after3, end + 12, 4);
    copy_4(to, from);
    copy_4(to + 4, from + 4);
    copy_4(to + 8, from + 8);
    copy_4(to + 12, from + 12);
    memcpy(end, &after0, 4);
    memcpy(end + 4, &after1, 4);
    memcpy(end + 8, &after2, 4);
    memcpy(end + 12, &after3, 4);
}

// Copies a match anywhere in the window, in runs that end where the source or the destination
// reaches the window's end: the destination wraps through a flush of the full window, the
// source by taking its position modulo 32768.
static InflateResult copy_match_with_flush(DecoderState *s, unsigned distance, unsigned length)
{
    unsigned source = (s->window_pos - distance) & (INFLATE_WINDOW_SIZE - 1);
    while (length > 0) {
        unsigned furthest = source > s->window_pos ? source : s->window_pos;
        unsigned run = INFLATE_WINDOW_SIZE - furthest;
        if (run > length)
            run = length;
        if (source < s->window_pos) {
            copy_match(s->window + s->window_pos, s->window_pos - source, run);
        } else {
            // The source at or after the destination: a forward copy, byte by byte where the
            // two are closer than 4 bytes.
            unsigned char *to = s->window + s->window_pos;
            const unsigned char *from = s->window + source;
            if (source - s->window_pos >= 4) {
                copy_apart(to, from, run);
            } else {
                for (unsigned i = 0; i < run; i++)
                    to[i] = from[i];
            }
        }
        source = (source + run) & (INFLATE_WINDOW_SIZE - 1);
        s->window_pos += run;
        length -= run;
        InflateResult r = window_advanced(s);
        if (r != INFLATE_OK)
            return r;
    }
    return INFLATE_OK;
}

// ---------------------------------------------------------------------------------------------
// Literals and matches.

// Decodes one literal, match or end of block the careful way.
static int decode_step(DecoderState *s)
{
    const HuffmanTables *const tables = &block_tables;
    DecodeEntry entry;
    InflateResult r = decode_symbol(s, tables->literal, LITERAL_ROOT_BITS, &entry);
    if (r != INFLATE_OK)
        return r;
    if (entry & ENTRY_LITERAL) {
        s->window[s->window_pos++] = (unsigned char)entry_value(entry);
        r = window_advanced(s);
        return r == INFLATE_OK ? (int)CODES_CONTINUE : (int)r;
    }
    if (entry & ENTRY_END_OF_BLOCK)
        return CODES_END_OF_BLOCK;

    unsigned length, distance;
    if (!read_value(s, entry, &length))
        return INFLATE_TRUNCATED;
    r = decode_symbol(s, tables->distance, DISTANCE_ROOT_BITS, &entry);
    if (r != INFLATE_OK)
        return r;
    if (!read_value(s, entry, &distance))
        return INFLATE_TRUNCATED;
    if (distance > s->window_pos && !s->window_wrapped)
        return INFLATE_BAD_DISTANCE;
    r = copy_match_with_flush(s, distance, length);
    return r == INFLATE_OK ? (int)CODES_CONTINUE : (int)r;
}

// The fast path: decodes literals and matches while the input buffer holds FAST_INPUT_MARGIN
// bytes and the window has room for the longest match, so that no step can reach the end of
// the data or fill the window. Each refill tops the bit buffer up to at least REFILL_MIN_BITS
// bits with one word load, taking whole bytes from the input buffer; the entry of the next
// code is looked up as soon as its bits are there. Returns CODES_CONTINUE when a condition
// ends, or the end of block or a failure.
static int decode_codes_fast(DecoderState *s)
{
    const HuffmanTables *const tables = &block_tables;
    if (s->in_end - s->in < FAST_INPUT_MARGIN || s->window_pos >= FAST_WINDOW_LIMIT)
        return CODES_CONTINUE;
    const unsigned char *in = s->in;
    const unsigned char *const in_last = s->in_end - FAST_INPUT_MARGIN;
    unsigned char *const window = s->window;
    unsigned char *out = window + s->window_pos;
    unsigned char *const out_last = window + FAST_WINDOW_LIMIT;
    // A distance may reach this far before the window's position.
    const unsigned history = s->window_wrapped ? INFLATE_WINDOW_SIZE : 0;
    BitWord bits = s->bit_buffer;
    unsigned count = s->bit_count;
    int result = CODES_CONTINUE;

// Only the low bits of the bit count are kept: dropping an entry's bits subtracts the whole
// entry, whose low 6 bits are the number of bits it takes, so that no mask is needed first;
// `count & COUNT_MASK` is the number of valid bits.
#define COUNT_MASK (WORD_BITS - 1)
// Tops the bit buffer up: the word at `in` goes above the valid bits; only the bytes that fit
// whole are taken (the bits of a partly fitting byte are the same stream bits and are ORed in
// again by the next refill).
#define REFILL()                                          \
    do {                                                  \
        bits |= load_word(in) << (count & COUNT_MASK);    \
        in += (~count & COUNT_MASK) >> 3;                 \
        count |= REFILL_MIN_BITS;                         \
    } while (0)
// Drops the bits an entry takes.
#define DROP(entry)                          \
    do {                                     \
        bits >>= (entry) & COUNT_MASK;       \
        count -= (entry);                    \
    } while (0)
// Drops n bits.
#define DROP_BITS(n)        \
    do {                    \
        bits >>= (n);       \
        count -= (n);       \
    } while (0)
#define LITERAL_ENTRY() tables->literal[bits & low_bits(LITERAL_ROOT_BITS)]

    REFILL();
    DecodeEntry entry = LITERAL_ENTRY();
    do {
        // Here the bit buffer holds at least REFILL_MIN_BITS bits: a literal/length code and
        // its extra bits (at most 15 + 5), or two literals of the root (2 * 10), or on a
        // 64-bit word three.
        if (entry & ENTRY_LITERAL) {
            DROP(entry);
            *out++ = (unsigned char)(entry >> ENTRY_VALUE_SHIFT);
            entry = LITERAL_ENTRY();
            if (entry & ENTRY_LITERAL) {
                DROP(entry);
                *out++ = (unsigned char)(entry >> ENTRY_VALUE_SHIFT);
                if (WORD_BITS >= 64) {
                    entry = LITERAL_ENTRY();
                    if (entry & ENTRY_LITERAL) {
                        DROP(entry);
                        *out++ = (unsigned char)(entry >> ENTRY_VALUE_SHIFT);
                    }
                }
            }
            REFILL();
            entry = LITERAL_ENTRY();
            continue;
        }
        if (entry & ENTRY_EXCEPTIONAL) {
            if (entry & ENTRY_LINK) {
                DROP(entry);
                if (WORD_BITS < 64)
                    REFILL(); // so that a length leaves the distance code's root bits
                entry = tables->literal[entry_value(entry) + ((unsigned)bits & bit_mask[entry_code_length(entry)])];
                if (entry & ENTRY_LITERAL) {
                    DROP(entry);
                    *out++ = (unsigned char)(entry >> ENTRY_VALUE_SHIFT);
                    REFILL();
                    entry = LITERAL_ENTRY();
                    continue;
                }
            }
            if (entry & ENTRY_END_OF_BLOCK) {
                DROP(entry);
                result = CODES_END_OF_BLOCK;
                break;
            }
            if (entry & ENTRY_INVALID) {
                result = INFLATE_BAD_CODE;
                break;
            }
        }
        // A length, or its base plus the extra bits above the code's.
        BitWord saved = bits;
        DROP(entry);
        unsigned length = entry_value(entry);
        if (entry & ENTRY_EXTRA)
            length += ((unsigned)saved & bit_mask[entry_total_bits(entry)]) >> entry_code_length(entry);

        // The distance code (at most 15 bits) and its extra bits (at most 13). A 64-bit refill
        // holds them along with the length. After a 32-bit one, at least the root's 8 bits are
        // left (a length taken through a sub-table refilled on the way): a second refill is
        // made only when the distance code and its extra bits need more.
        entry = tables->distance[bits & low_bits(DISTANCE_ROOT_BITS)];
        if (entry & ENTRY_EXCEPTIONAL) {
            if (entry & ENTRY_LINK) {
                DROP(entry);
                if (WORD_BITS < 64)
                    REFILL();
                entry = tables->distance[entry_value(entry) + ((unsigned)bits & bit_mask[entry_code_length(entry)])];
            }
            if (entry & ENTRY_EXCEPTIONAL) {
                // A match where the distance code is empty, or a reserved distance symbol.
                result = entry_is_no_code(entry) ? INFLATE_BAD_CODE_LENGTHS : INFLATE_BAD_CODE;
                break;
            }
        }
        if (WORD_BITS < 64 && (count & COUNT_MASK) < entry_total_bits(entry))
            REFILL();
        saved = bits;
        DROP(entry);
        unsigned distance = entry_value(entry);
        if (entry & ENTRY_EXTRA)
            distance += ((unsigned)saved & bit_mask[entry_total_bits(entry)]) >> entry_code_length(entry);
        REFILL();
        unsigned window_pos = (unsigned)(out - window);
        if (distance <= window_pos) {
            entry = LITERAL_ENTRY();
            copy_match_fast(out, distance, length);
        } else {
            if (distance > window_pos + history) {
                result = INFLATE_BAD_DISTANCE;
                break;
            }
            copy_match_in_window(window, out, distance, length);
            entry = LITERAL_ENTRY();
        }
        out += length;
    } while (in <= in_last && out < out_last);
#undef REFILL
#undef DROP
#undef DROP_BITS
#undef LITERAL_ENTRY

    // Hand the state back to the careful path, with the bits above the valid ones cleared.
    count &= COUNT_MASK;
#undef COUNT_MASK
    s->in = in;
    s->bit_buffer = bits & low_bits(count);
    s->bit_count = count;
    s->window_pos = (unsigned)(out - window);
    return result;
}

// Decodes literal/length and distance codes with the block's tables until the end-of-block
// code. Returns INFLATE_OK at the end of the block, or the failure.
static InflateResult decode_codes(DecoderState *s)
{
    for (;;) {
        int r = decode_codes_fast(s);
        if (r == CODES_CONTINUE)
            r = decode_step(s);
        if (r != CODES_CONTINUE)
            return (InflateResult)r;
    }
}

// ---------------------------------------------------------------------------------------------
// Blocks.

// A stored block (RFC 1951 3.2.4), after its 3 header bits.
static InflateResult decode_stored_block(DecoderState *s)
{
    drop_bits(s, s->bit_count & 7); // to the byte boundary
    unsigned length, complement;
    if (!read_bits(s, 16, &length) || !read_bits(s, 16, &complement))
        return INFLATE_TRUNCATED;
    if (complement != (~length & 0xffffu))
        return INFLATE_BAD_STORED_LENGTH;

    // First the whole bytes the bit reader took ahead, then straight from the input buffer.
    for (; length > 0 && s->bit_count >= 8; length--) {
        s->window[s->window_pos++] = (unsigned char)s->bit_buffer;
        drop_bits(s, 8);
        InflateResult r = window_advanced(s);
        if (r != INFLATE_OK)
            return r;
    }
    while (length > 0) {
        if (s->in == s->in_end && !read_input(s))
            return INFLATE_TRUNCATED;
        unsigned n = (unsigned)(s->in_end - s->in);
        if (n > length)
            n = length;
        if (n > INFLATE_WINDOW_SIZE - s->window_pos)
            n = INFLATE_WINDOW_SIZE - s->window_pos;
        memcpy(s->window + s->window_pos, s->in, n);
        s->in += n;
        s->window_pos += n;
        length -= n;
        InflateResult r = window_advanced(s);
        if (r != INFLATE_OK)
            return r;
    }
    return INFLATE_OK;
}

// Makes the block's tables those of the fixed codes (RFC 1951 3.2.6), unless they already are.
static void use_fixed_codes()
{
    if (!block_tables_fixed) {
        unsigned char lengths[288];
        unsigned symbol = 0;
        for (; symbol < 144; symbol++)
            lengths[symbol] = 8;
        for (; symbol < 256; symbol++)
            lengths[symbol] = 9;
        for (; symbol < 280; symbol++)
            lengths[symbol] = 7;
        for (; symbol < 288; symbol++)
            lengths[symbol] = 8;
        // Both codes are complete: 286, 287, 30 and 31 have codes that decode as invalid.
        build_decode_table(block_tables.literal, LITERAL_TABLE_SIZE, LITERAL_ROOT_BITS, lengths, 288,
                           ALPHABET_LITERAL_LENGTH);
        for (symbol = 0; symbol < 32; symbol++)
            lengths[symbol] = 5;
        build_decode_table(block_tables.distance, DISTANCE_TABLE_SIZE, DISTANCE_ROOT_BITS, lengths, 32,
                           ALPHABET_DISTANCE);
        block_tables_fixed = true;
    }
}

// Reads the literal/length and distance code lengths of a dynamic block with the block's
// code-length code (RFC 1951 3.2.7) into lengths[0 .. total).
static InflateResult read_code_lengths(DecoderState *s, unsigned char *lengths, unsigned total)
{
    unsigned stored = 0;
    unsigned previous = 0; // a 16 first in a block repeats length 0
    while (stored < total) {
        DecodeEntry entry;
        InflateResult r = decode_symbol(s, s->code_length_table, CODE_LENGTH_ROOT_BITS, &entry);
        if (r != INFLATE_OK)
            return r;
        unsigned symbol = entry_value(entry);
        if (symbol < 16) {
            lengths[stored++] = (unsigned char)symbol;
            previous = symbol;
            continue;
        }
        unsigned repeat, value = 0;
        bool read;
        if (symbol == 16) {
            read = read_bits(s, 2, &repeat);
            repeat += 3;
            value = previous;
        } else if (symbol == 17) {
            read = read_bits(s, 3, &repeat);
            repeat += 3;
        } else {
            read = read_bits(s, 7, &repeat);
            repeat += 11;
        }
        if (!read)
            return INFLATE_TRUNCATED;
        if (repeat > total - stored)
            return INFLATE_BAD_COUNTS;
        while (repeat-- > 0)
            lengths[stored++] = (unsigned char)value;
        previous = value;
    }
    return INFLATE_OK;
}

// A block with dynamic codes (RFC 1951 3.2.7), after its 3 header bits.
static InflateResult decode_dynamic_block(DecoderState *s)
{
    unsigned literal_count, distance_count, length_code_count;
    if (!read_bits(s, 5, &literal_count) || !read_bits(s, 5, &distance_count) ||
        !read_bits(s, 4, &length_code_count))
        return INFLATE_TRUNCATED;
    literal_count += 257;    // HLIT
    distance_count += 1;     // HDIST
    length_code_count += 4;  // HCLEN
    if (literal_count > MAX_LITERAL_CODES || distance_count > MAX_DISTANCE_CODES)
        return INFLATE_BAD_COUNTS;

    // The code-length code: complete, or a single one-bit code.
    unsigned char lengths[MAX_LITERAL_CODES + MAX_DISTANCE_CODES];
    for (unsigned j = 0; j < 19; j++) {
        unsigned length = 0;
        if (j < length_code_count && !read_bits(s, 3, &length))
            return INFLATE_TRUNCATED;
        lengths[code_length_order[j]] = (unsigned char)length;
    }
    if (build_decode_table(s->code_length_table, CODE_LENGTH_TABLE_SIZE, CODE_LENGTH_ROOT_BITS, lengths, 19,
                           ALPHABET_CODE_LENGTHS) != BUILD_COMPLETE)
        return INFLATE_BAD_CODE_LENGTHS;
    InflateResult r = read_code_lengths(s, lengths, literal_count + distance_count);
    if (r != INFLATE_OK)
        return r;

    // The literal/length code: complete (or a single code), with an end-of-block code. From
    // here on the tables are no longer the fixed codes', whatever the outcome.
    block_tables_fixed = false;
    if (build_decode_table(block_tables.literal, LITERAL_TABLE_SIZE, LITERAL_ROOT_BITS, lengths, literal_count,
                           ALPHABET_LITERAL_LENGTH) != BUILD_COMPLETE ||
        lengths[256] == 0)
        return INFLATE_BAD_CODE_LENGTHS;

    // The distance code: complete, a single code, or none at all (a block of literals only).
    int built = build_decode_table(block_tables.distance, DISTANCE_TABLE_SIZE, DISTANCE_ROOT_BITS,
                                   lengths + literal_count, distance_count, ALPHABET_DISTANCE);
    if (built != BUILD_COMPLETE && built != BUILD_EMPTY)
        return INFLATE_BAD_CODE_LENGTHS;

    return decode_codes(s);
}

// Reads a block header (RFC 1951 3.2.3) and decodes the block; sets *last to its BFINAL bit.
static InflateResult decode_block(DecoderState *s, bool *last)
{
    unsigned final_bit, type;
    if (!read_bits(s, 1, &final_bit) || !read_bits(s, 2, &type))
        return INFLATE_TRUNCATED;
    *last = final_bit != 0;
    switch (type) {
    case 0:
        return decode_stored_block(s);
    case 1:
        use_fixed_codes();
        return decode_codes(s);
    case 2:
        return decode_dynamic_block(s);
    default:
        return INFLATE_BAD_BLOCK_TYPE;
    }
}

InflateResult inflate_stream(const InflateIo *io)
{
    DecoderState *s = (DecoderState *)malloc(sizeof(DecoderState));
    if (!s)
        return INFLATE_NO_MEMORY;
    s->io = io;
    s->in = s->in_end = s->input_buffer;
    s->input_ended = 0;
    s->bit_buffer = 0;
    s->bit_count = 0;
    s->window_pos = 0;
    s->window_wrapped = 0;

    InflateResult r;
    bool last = false;
    do {
        r = decode_block(s, &last);
    } while (r == INFLATE_OK && !last);
    if (r == INFLATE_OK && s->window_pos > 0)
        r = flush_window(s, s->window_pos);
    free(s);
    return r;
}

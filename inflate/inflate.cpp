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
//   pairs; a distance may not reach before the start of the data (here: of the entry), and a
//   match may overlap its own output (distance smaller than the length), which repeats bytes.
// - 3.2.6: the fixed codes; literal/length symbols 286 and 287 and distance symbols 30 and 31
//   never occur in valid data.
// - 3.2.7: a dynamic block header: HLIT, HDIST, HCLEN, the code-length code's lengths, then
//   the literal/length and distance code lengths encoded with that code, with the repeat
//   symbols 16 (previous length 3..6 times), 17 (zero 3..10 times), 18 (zero 11..138 times);
//   repeats may cross from the literal/length lengths into the distance lengths.
//
// Observable behaviour kept exactly: reads of min(remaining, 32768) bytes made only when the
// input buffer is empty; writes of exactly 32768 bytes while decoding and one shorter write
// at the end; every failure a distinct result. For speed, the bit reader fetches up to a
// machine word at a time while the buffer holds enough bytes, and matches are copied in
// blocks; both give the bytes and results of the byte-at-a-time definition.
#include "inflate/inflate.h"
#include "inflate/inflate_tables.h"

#include <string.h>

// The bit buffer: a machine word (64 bits natively, 32 in the 32-bit installer). Native tests
// also build the 32-bit variant, by defining KAVLIN_INFLATE_32_BIT_WORD.
#ifdef KAVLIN_INFLATE_32_BIT_WORD
typedef unsigned int BitWord;
#else
typedef unsigned long BitWord;
#endif
enum {
    BIT_WORD_BITS = (int)(sizeof(BitWord) * 8),
    // Bits after a fast refill: at least this many are valid.
    REFILL_MIN_BITS = BIT_WORD_BITS - 8,
    // The fast loop runs while the input buffer holds at least this many bytes (enough for
    // the refills of one symbol, a whole word loaded each time) ...
    FAST_INPUT_MARGIN = 16,
    // ... and while a literal or the longest match (258) cannot fill the window.
    LONGEST_MATCH = 258,
    FAST_WINDOW_LIMIT = INFLATE_WINDOW_SIZE - LONGEST_MATCH,
    // Room for the code lengths of a dynamic block: 286 literal/length and 30 distance codes.
    MAX_LITERAL_CODES = 286,
    MAX_DISTANCE_CODES = 30
};

// Internal outcome of decode_codes and the slow decoding step: a block went on, ended, or
// failed with an InflateResult (all values of InflateResult but INFLATE_OK are failures).
enum { CODES_CONTINUE = -1, CODES_END_OF_BLOCK = INFLATE_OK };

// The state of decoding one entry. Nothing carries over from one entry to the next.
struct DecoderState {
    // Input: the compressed bytes of the entry.
    const InflateIo *io;
    unsigned char *input_buffer; // 32768 bytes: the last chunk read
    unsigned input_pos;          // index of the next byte of input_buffer to deliver
    unsigned input_count;        // number of bytes the last read put into input_buffer
    long unread;                 // entry bytes not yet read into input_buffer

    // Bit reader: bits taken from the input and not yet used, the next one in bit 0.
    BitWord bit_buffer;
    unsigned bit_count;   // valid bits in bit_buffer (above them every bit is 0)
    unsigned bits_past_end; // how many of the top valid bits are 1 bits that stand for data
                            // past the end of the entry: look-ahead only, never decoded

    // Output: the sliding window, which holds the most recent output. Positions below
    // window_pos are not yet written; those above it are older, written output that still
    // serves as history for matches.
    unsigned char *window; // 32768 bytes
    unsigned window_pos;   // next position to fill; 0..32767 between steps
    int window_wrapped;    // nonzero once a whole window was written: every distance up to
                           // 32768 then reaches decoded bytes of this entry

    // The fixed codes (RFC 1951 3.2.6), built at the entry's first fixed block and kept until
    // its end.
    DecodeEntry *fixed_literal_table;
    DecodeEntry *fixed_literal_list;
    int fixed_literal_width;
    DecodeEntry *fixed_distance_table;
    DecodeEntry *fixed_distance_list;
    int fixed_distance_width;
};

// ---------------------------------------------------------------------------------------------
// Byte source: the entry's data, read in chunks of at most 32768 bytes, each read only when
// every byte of the previous chunk has been delivered, and never past the entry's end.

// Bytes of the entry not yet delivered to the bit reader.
static long entry_remaining(const DecoderState *s)
{
    return s->unread + (long)(s->input_count - s->input_pos);
}

// Returns the next byte of the input buffer, refilling it from the archive when every byte
// has been delivered; -1 when the read yields nothing.
static int fetch_archive_byte(DecoderState *s)
{
    if (s->input_pos >= s->input_count) {
        unsigned long wanted = s->unread < INFLATE_INPUT_CHUNK ? (unsigned long)s->unread : (unsigned long)INFLATE_INPUT_CHUNK;
        unsigned long got = s->io->read(s->io->context, s->input_buffer, wanted);
        if (got > wanted)
            got = wanted; // a reader that claims more than it was asked is not believed
        s->input_count = (unsigned)got;
        s->input_pos = 0;
        s->unread -= (long)got;
        if (got == 0) {
            s->unread = 0;
            return -1;
        }
    }
    return s->input_buffer[s->input_pos++];
}

// Returns the next byte of the entry's data, or -1 at its end.
static int next_entry_byte(DecoderState *s)
{
    if (entry_remaining(s) <= 0)
        return -1;
    return fetch_archive_byte(s);
}

// ---------------------------------------------------------------------------------------------
// Bit reader. need_bits asks for at most 16 bits. Past the entry's end it supplies 1 bits
// (as look-ahead for the last code of a stream, whose table lookup may ask for more bits than
// the code has) and counts them in bits_past_end; using any of them is the end of the data.

static void need_bits(DecoderState *s, unsigned n)
{
    while (s->bit_count < n) {
        int b = next_entry_byte(s);
        if (b < 0) {
            b = 0xff;
            s->bits_past_end += 8;
        }
        s->bit_buffer |= (BitWord)b << s->bit_count;
        s->bit_count += 8;
    }
}

static void drop_bits(DecoderState *s, unsigned n)
{
    s->bit_buffer >>= n;
    s->bit_count -= n;
}

// The value of the next n bits (n <= 16).
static unsigned peek_bits(const DecoderState *s, unsigned n)
{
    return (unsigned)(s->bit_buffer & bit_mask[n]);
}

// Nonzero when bits past the end of the data have been used.
static int used_past_end(const DecoderState *s)
{
    return s->bit_count < s->bits_past_end;
}

// Reads n bits as a number (RFC 1951 3.1.1); sets *truncated when they were not all there.
static unsigned read_bits(DecoderState *s, unsigned n, int *truncated)
{
    need_bits(s, n);
    unsigned value = peek_bits(s, n);
    drop_bits(s, n);
    if (used_past_end(s))
        *truncated = 1;
    return value;
}

// ---------------------------------------------------------------------------------------------
// Window and flush.

// Writes window[0 .. n) to the output.
static InflateResult flush_window(DecoderState *s, unsigned n)
{
    if (!s->io->write(s->io->context, s->window, n))
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

// Copies `length` bytes from `from` to `to` as a byte-by-byte forward copy would, where `to`
// lies after `from` (to - from is the match distance): when the distance is smaller than the
// length, the bytes just written are copied again, repeating the last `distance` bytes.
// Writes no byte outside [to, to + length).
static inline void copy_match(unsigned char *to, const unsigned char *from, unsigned length)
{
    unsigned long distance = (unsigned long)(to - from);
    if (distance >= 8) {
        // Each 8-byte piece lies wholly before its destination: its bytes are final. (Also
        // the quickest copy of the short matches that dominate, without a call.)
        while (length >= 8) {
            memcpy(to, from, 8);
            to += 8;
            from += 8;
            length -= 8;
        }
        while (length-- > 0)
            *to++ = *from++;
    } else if (distance == 1) {
        memset(to, *from, length);
    } else {
        // A short period: double the repeated pattern with each copy.
        const unsigned char *pattern = from;
        while (length > 0) {
            unsigned piece = (unsigned)(to - pattern);
            if (piece > length)
                piece = length;
            memcpy(to, pattern, piece);
            to += piece;
            length -= piece;
        }
    }
}

// Copies a match of `length` bytes from `distance` bytes back into the window at window_pos
// when it cannot fill the window (window_pos + length < 32768) and the distance is valid.
// The source may wrap from the window's end to its start (window positions are taken modulo
// 32768, RFC 1951's largest distance).
static inline void copy_match_in_window(unsigned char *window, unsigned window_pos,
                                        unsigned distance, unsigned length)
{
    if (distance <= window_pos) {
        copy_match(window + window_pos, window + window_pos - distance, length);
        return;
    }
    // The source starts in the older history at the window's end. Those bytes lie at or after
    // the destination, so a forward copy of them is a memmove.
    unsigned tail = distance - window_pos;
    const unsigned char *from = window + INFLATE_WINDOW_SIZE - tail;
    if (tail >= length) {
        memmove(window + window_pos, from, length);
        return;
    }
    memmove(window + window_pos, from, tail);
    copy_match(window + window_pos + tail, window, length - tail);
}

// Copies a match anywhere in the window, in runs that end where the source or the destination
// reaches the window's end: the destination wraps through a flush of the full window, the
// source by taking its position modulo 32768 (RFC 1951's 32 KiB window).
static InflateResult copy_match_with_flush(DecoderState *s, unsigned distance, unsigned length)
{
    unsigned source = (s->window_pos - distance) & (INFLATE_WINDOW_SIZE - 1);
    while (length > 0) {
        unsigned furthest = source > s->window_pos ? source : s->window_pos;
        unsigned run = INFLATE_WINDOW_SIZE - furthest;
        if (run > length)
            run = length;
        if (source < s->window_pos)
            copy_match(s->window + s->window_pos, s->window + source, run);
        else // the source at or after the destination: a forward copy is a memmove
            memmove(s->window + s->window_pos, s->window + source, run);
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
// Blocks.

// Walks a decoding table from its root to the entry of the next code and drops the code's
// bits. Returns INFLATE_OK with *out set, or the failure: the code is invalid, or it uses
// bits past the end of the data.
static InflateResult decode_symbol(DecoderState *s, const DecodeEntry *table, unsigned width,
                                   const DecodeEntry **out)
{
    need_bits(s, width);
    const DecodeEntry *t = &table[peek_bits(s, width)];
    while (t->op > DECODE_OP_PLAIN) {
        if (t->op == DECODE_OP_INVALID)
            break;
        drop_bits(s, t->bits);
        unsigned n = t->op - DECODE_OP_PLAIN;
        need_bits(s, n);
        t = &t->subtable[peek_bits(s, n)];
    }
    // A code that needed bits past the end means the data ended, whatever the look-ahead
    // bits decoded to.
    if (t->bits > s->bit_count - s->bits_past_end || used_past_end(s))
        return INFLATE_TRUNCATED;
    if (t->op == DECODE_OP_INVALID)
        return INFLATE_BAD_CODE;
    drop_bits(s, t->bits);
    *out = t;
    return INFLATE_OK;
}

// Decodes one literal, match or end of block the careful way: byte by byte from the input,
// every step checked against the end of the data, the window flushed whenever it fills.
static int decode_step(DecoderState *s, const DecodeEntry *literal_table, const DecodeEntry *distance_table,
                       unsigned literal_width, unsigned distance_width)
{
    const DecodeEntry *t;
    InflateResult r = decode_symbol(s, literal_table, literal_width, &t);
    if (r != INFLATE_OK)
        return r;
    if (t->op == DECODE_OP_PLAIN) {
        s->window[s->window_pos++] = (unsigned char)t->value;
        r = window_advanced(s);
        return r == INFLATE_OK ? (int)CODES_CONTINUE : (int)r;
    }
    if (t->op == DECODE_OP_END_OF_BLOCK)
        return CODES_END_OF_BLOCK;

    int truncated = 0;
    unsigned length = t->value + read_bits(s, t->op, &truncated);
    if (truncated)
        return INFLATE_TRUNCATED;
    if (!distance_table)
        return INFLATE_BAD_CODE_LENGTHS; // a match in a block whose distance code is empty
    r = decode_symbol(s, distance_table, distance_width, &t);
    if (r != INFLATE_OK)
        return r;
    unsigned distance = t->value + read_bits(s, t->op, &truncated);
    if (truncated)
        return INFLATE_TRUNCATED;
    if (distance > s->window_pos && !s->window_wrapped)
        return INFLATE_BAD_DISTANCE;
    r = copy_match_with_flush(s, distance, length);
    return r == INFLATE_OK ? (int)CODES_CONTINUE : (int)r;
}

// Loads 8 (or 4) input bytes as a little-endian word.
static inline BitWord load_word(const unsigned char *p)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    BitWord word;
    memcpy(&word, p, sizeof word);
    return word;
#else
    BitWord word = 0;
    for (unsigned i = 0; i < sizeof(BitWord); i++)
        word |= (BitWord)p[i] << (8 * i);
    return word;
#endif
}

// The fast loop of decode_codes: runs while the input buffer holds FAST_INPUT_MARGIN bytes
// and the window has room for the longest match, so that no step can reach the end of the
// data or fill the window. Each refill tops the bit buffer up to at least REFILL_MIN_BITS
// bits with one word load, taking whole bytes from the input buffer. Returns
// CODES_CONTINUE when a condition ends, or the end of block or a failure.
static int decode_codes_fast(DecoderState *s, const DecodeEntry *literal_table, const DecodeEntry *distance_table,
                             unsigned literal_width, unsigned distance_width)
{
    const unsigned char *in = s->input_buffer + s->input_pos;
    const unsigned char *const in_end = s->input_buffer + s->input_count;
    unsigned char *const window = s->window;
    unsigned window_pos = s->window_pos;
    BitWord bits = s->bit_buffer;
    unsigned count = s->bit_count;
    const BitWord literal_mask = bit_mask[literal_width];
    const BitWord distance_mask = bit_mask[distance_width];
    int result = CODES_CONTINUE;

// Tops the bit buffer up: the word at `in` goes above the valid bits; only the bytes that fit
// whole are taken (the bits of a partly fitting byte are the same stream bits and are
// ORed in again by the next refill).
#define REFILL()                                                  \
    do {                                                          \
        bits |= load_word(in) << count;                           \
        in += (BIT_WORD_BITS - 1 - count) >> 3;                   \
        count |= REFILL_MIN_BITS;                                 \
    } while (0)
#define DROP(n)          \
    do {                 \
        bits >>= (n);    \
        count -= (n);    \
    } while (0)

    while (in_end - in >= FAST_INPUT_MARGIN && window_pos < FAST_WINDOW_LIMIT) {
        REFILL();
        // Literal/length code (at most 15 bits over all table levels).
        const DecodeEntry *t = &literal_table[bits & literal_mask];
        unsigned op = t->op;
        if (op == DECODE_OP_PLAIN) {
            DROP(t->bits);
            window[window_pos++] = (unsigned char)t->value;
            // A second literal fits in the bits of the same refill on a 64-bit word.
            if (BIT_WORD_BITS >= 64) {
                t = &literal_table[bits & literal_mask];
                if (t->op != DECODE_OP_PLAIN)
                    continue;
                DROP(t->bits);
                window[window_pos++] = (unsigned char)t->value;
            }
            continue;
        }
        while (op > DECODE_OP_PLAIN) {
            if (op == DECODE_OP_INVALID) {
                result = INFLATE_BAD_CODE;
                goto done;
            }
            DROP(t->bits);
            t = &t->subtable[bits & bit_mask[op - DECODE_OP_PLAIN]];
            op = t->op;
        }
        DROP(t->bits);
        if (op == DECODE_OP_PLAIN) {
            window[window_pos++] = (unsigned char)t->value;
            continue;
        }
        if (op == DECODE_OP_END_OF_BLOCK) {
            result = CODES_END_OF_BLOCK;
            goto done;
        }
        // Length: base plus `op` extra bits (at most 5).
        unsigned length = t->value + (unsigned)(bits & bit_mask[op]);
        DROP(op);
        if (!distance_table) {
            result = INFLATE_BAD_CODE_LENGTHS;
            goto done;
        }
        if (BIT_WORD_BITS < 64)
            REFILL();
        // Distance code (at most 15 bits) and its extra bits (at most 13).
        t = &distance_table[bits & distance_mask];
        op = t->op;
        while (op > DECODE_OP_PLAIN) {
            if (op == DECODE_OP_INVALID) {
                result = INFLATE_BAD_CODE;
                goto done;
            }
            DROP(t->bits);
            t = &t->subtable[bits & bit_mask[op - DECODE_OP_PLAIN]];
            op = t->op;
        }
        DROP(t->bits);
        if (BIT_WORD_BITS < 64)
            REFILL();
        unsigned distance = t->value + (unsigned)(bits & bit_mask[op]);
        DROP(op);
        if (distance > window_pos && !s->window_wrapped) {
            result = INFLATE_BAD_DISTANCE;
            goto done;
        }
        copy_match_in_window(window, window_pos, distance, length);
        window_pos += length;
    }
#undef REFILL
#undef DROP

done:
    // Hand the state back to the careful path. Bits above the valid ones are cleared, since it
    // ORs new bytes in above them.
    s->input_pos = (unsigned)(in - s->input_buffer);
    s->bit_buffer = bits & (((BitWord)1 << count) - 1);
    s->bit_count = count;
    s->window_pos = window_pos;
    return result;
}

// Decodes literal/length and distance codes until the end-of-block code. Returns INFLATE_OK
// at the end of the block, or the failure.
static InflateResult decode_codes(DecoderState *s, const DecodeEntry *literal_table, const DecodeEntry *distance_table,
                                  int literal_width, int distance_width)
{
    for (;;) {
        int r = decode_codes_fast(s, literal_table, distance_table, (unsigned)literal_width, (unsigned)distance_width);
        if (r == CODES_CONTINUE)
            r = decode_step(s, literal_table, distance_table, (unsigned)literal_width, (unsigned)distance_width);
        if (r != CODES_CONTINUE)
            return (InflateResult)r;
    }
}

// A stored block (RFC 1951 3.2.4), after its 3 header bits.
static InflateResult decode_stored_block(DecoderState *s)
{
    drop_bits(s, s->bit_count & 7); // to the byte boundary (past-end bits come in whole bytes)
    int truncated = 0;
    unsigned length = read_bits(s, 16, &truncated);
    unsigned complement = read_bits(s, 16, &truncated);
    if (truncated)
        return INFLATE_TRUNCATED;
    if (complement != (~length & 0xffffu))
        return INFLATE_BAD_STORED_LENGTH;

    while (length > 0) {
        unsigned room = INFLATE_WINDOW_SIZE - s->window_pos;
        if (s->bit_count >= 8) {
            // Whole bytes the bit reader already took.
            if (s->bit_count - s->bits_past_end < 8)
                return INFLATE_TRUNCATED;
            s->window[s->window_pos++] = (unsigned char)peek_bits(s, 8);
            drop_bits(s, 8);
            length--;
        } else if (s->input_pos < s->input_count) {
            // Straight from the input buffer.
            unsigned n = s->input_count - s->input_pos;
            if (n > length)
                n = length;
            if (n > room)
                n = room;
            memcpy(s->window + s->window_pos, s->input_buffer + s->input_pos, n);
            s->input_pos += n;
            s->window_pos += n;
            length -= n;
        } else {
            int b = next_entry_byte(s);
            if (b < 0)
                return INFLATE_TRUNCATED;
            s->window[s->window_pos++] = (unsigned char)b;
            length--;
        }
        InflateResult r = window_advanced(s);
        if (r != INFLATE_OK)
            return r;
    }
    return INFLATE_OK;
}

// A block with the fixed codes (RFC 1951 3.2.6), after its 3 header bits. The tables are
// built at the entry's first fixed block and reused by the later ones.
static InflateResult decode_fixed_block(DecoderState *s)
{
    if (!s->fixed_literal_table) {
        unsigned lengths[288];
        unsigned symbol = 0;
        for (; symbol < 144; symbol++)
            lengths[symbol] = 8;
        for (; symbol < 256; symbol++)
            lengths[symbol] = 9;
        for (; symbol < 280; symbol++)
            lengths[symbol] = 7;
        for (; symbol < 288; symbol++)
            lengths[symbol] = 8;
        s->fixed_literal_width = 7;
        s->fixed_literal_list = 0;
        int built = build_decode_table(lengths, 288, 257, length_base, length_extra, &s->fixed_literal_table,
                                       &s->fixed_literal_list, &s->fixed_literal_width);
        if (built != BUILD_COMPLETE) {
            s->fixed_literal_table = 0; // only lack of memory can fail these builds
            return INFLATE_NO_MEMORY;
        }
        for (symbol = 0; symbol < 30; symbol++)
            lengths[symbol] = 5;
        s->fixed_distance_width = 5;
        s->fixed_distance_list = 0;
        // Incomplete by construction: the codes of distance symbols 30 and 31 are left over.
        built = build_decode_table(lengths, 30, 0, distance_base, distance_extra, &s->fixed_distance_table,
                                   &s->fixed_distance_list, &s->fixed_distance_width);
        if (built != BUILD_INCOMPLETE) {
            release_decode_tables(s->fixed_literal_list);
            s->fixed_literal_list = 0;
            s->fixed_literal_table = 0;
            s->fixed_distance_table = 0;
            return INFLATE_NO_MEMORY;
        }
    }
    return decode_codes(s, s->fixed_literal_table, s->fixed_distance_table, s->fixed_literal_width,
                        s->fixed_distance_width);
}

// Reads the literal/length and distance code lengths of a dynamic block with the block's
// code-length code (RFC 1951 3.2.7) into lengths[0 .. total).
static InflateResult read_code_lengths(DecoderState *s, const DecodeEntry *table, int width, unsigned *lengths,
                                       unsigned total)
{
    unsigned stored = 0;
    unsigned previous = 0; // a 16 first in a block repeats length 0
    while (stored < total) {
        const DecodeEntry *t;
        InflateResult r = decode_symbol(s, table, (unsigned)width, &t);
        if (r != INFLATE_OK)
            return r;
        unsigned symbol = t->value;
        if (symbol < 16) {
            lengths[stored++] = symbol;
            previous = symbol;
            continue;
        }
        int truncated = 0;
        unsigned repeat;
        unsigned value = previous;
        if (symbol == 16) {
            repeat = 3 + read_bits(s, 2, &truncated);
        } else if (symbol == 17) {
            repeat = 3 + read_bits(s, 3, &truncated);
            value = 0;
        } else {
            repeat = 11 + read_bits(s, 7, &truncated);
            value = 0;
        }
        if (truncated)
            return INFLATE_TRUNCATED;
        if (repeat > total - stored)
            return INFLATE_BAD_COUNTS;
        while (repeat-- > 0)
            lengths[stored++] = value;
        previous = value;
    }
    return INFLATE_OK;
}

// A block with dynamic codes (RFC 1951 3.2.7), after its 3 header bits.
static InflateResult decode_dynamic_block(DecoderState *s)
{
    int truncated = 0;
    unsigned literal_count = 257 + read_bits(s, 5, &truncated);  // HLIT
    unsigned distance_count = 1 + read_bits(s, 5, &truncated);   // HDIST
    unsigned length_code_count = 4 + read_bits(s, 4, &truncated); // HCLEN
    if (truncated)
        return INFLATE_TRUNCATED;
    if (literal_count > MAX_LITERAL_CODES || distance_count > MAX_DISTANCE_CODES)
        return INFLATE_BAD_COUNTS;

    // The code-length code.
    unsigned lengths[MAX_LITERAL_CODES + MAX_DISTANCE_CODES];
    for (unsigned j = 0; j < 19; j++)
        lengths[code_length_order[j]] = j < length_code_count ? read_bits(s, 3, &truncated) : 0;
    if (truncated)
        return INFLATE_TRUNCATED;
    DecodeEntry *length_table = 0;
    DecodeEntry *length_list = 0;
    int length_width = 7;
    int built = build_decode_table(lengths, 19, 19, 0, 0, &length_table, &length_list, &length_width);
    if (built == BUILD_NO_MEMORY)
        return INFLATE_NO_MEMORY;
    if (built != BUILD_COMPLETE || !length_table) {
        release_decode_tables(length_list);
        return INFLATE_BAD_CODE_LENGTHS;
    }
    InflateResult r = read_code_lengths(s, length_table, length_width, lengths, literal_count + distance_count);
    release_decode_tables(length_list);
    if (r != INFLATE_OK)
        return r;

    // The literal/length code: complete (or a single code), with an end-of-block code.
    DecodeEntry *literal_table = 0;
    DecodeEntry *literal_list = 0;
    int literal_width = 9;
    built = build_decode_table(lengths, literal_count, 257, length_base, length_extra, &literal_table, &literal_list,
                               &literal_width);
    if (built == BUILD_NO_MEMORY)
        return INFLATE_NO_MEMORY;
    if (built != BUILD_COMPLETE || lengths[256] == 0) {
        release_decode_tables(literal_list);
        return INFLATE_BAD_CODE_LENGTHS;
    }

    // The distance code: complete, a single code, or none at all (a block of literals only).
    DecodeEntry *distance_table = 0;
    DecodeEntry *distance_list = 0;
    int distance_width = 6;
    built = build_decode_table(lengths + literal_count, distance_count, 0, distance_base, distance_extra,
                               &distance_table, &distance_list, &distance_width);
    if (built != BUILD_COMPLETE) {
        release_decode_tables(distance_list);
        release_decode_tables(literal_list);
        return built == BUILD_NO_MEMORY ? INFLATE_NO_MEMORY : INFLATE_BAD_CODE_LENGTHS;
    }

    r = decode_codes(s, literal_table, distance_table, literal_width, distance_width);
    release_decode_tables(distance_list);
    release_decode_tables(literal_list);
    return r;
}

// Reads a block header (RFC 1951 3.2.3) and decodes the block; sets *last to its BFINAL bit.
static InflateResult decode_block(DecoderState *s, int *last)
{
    int truncated = 0;
    *last = (int)read_bits(s, 1, &truncated);
    unsigned type = read_bits(s, 2, &truncated);
    if (truncated)
        return INFLATE_TRUNCATED;
    switch (type) {
    case 0:
        return decode_stored_block(s);
    case 1:
        return decode_fixed_block(s);
    case 2:
        return decode_dynamic_block(s);
    default:
        return INFLATE_BAD_BLOCK_TYPE;
    }
}

InflateResult inflate_stream(const InflateIo *io, long *entry_remaining_count)
{
    DecoderState s;
    memset(&s, 0, sizeof s);
    s.io = io;
    s.unread = *entry_remaining_count > 0 ? *entry_remaining_count : 0;

    // One spare byte each, as the buffers of the format's definition have.
    s.input_buffer = (unsigned char *)inflate_allocate(INFLATE_INPUT_CHUNK + 1);
    s.window = (unsigned char *)inflate_allocate(INFLATE_WINDOW_SIZE + 1);
    InflateResult r = INFLATE_NO_MEMORY;
    if (s.input_buffer && s.window) {
        int last = 0;
        do {
            r = decode_block(&s, &last);
        } while (r == INFLATE_OK && !last);
        if (r == INFLATE_OK && s.window_pos > 0)
            r = flush_window(&s, s.window_pos);
    }

    release_decode_tables(s.fixed_literal_list);
    release_decode_tables(s.fixed_distance_list);
    inflate_release(s.window);
    inflate_release(s.input_buffer);
    if (*entry_remaining_count > 0)
        *entry_remaining_count = entry_remaining(&s);
    return r;
}

// Helpers of the decoder tests: an in-memory reader and writer that record every call, a bit
// writer for hand-made streams, and zlib as the reference encoder.
#ifndef KAVLIN_TESTS_UNIT_INFLATE_TEST_SUPPORT_H
#define KAVLIN_TESTS_UNIT_INFLATE_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "inflate/inflate.h"

typedef std::vector<unsigned char> Bytes;

// Serves `data` through InflateIo's read and collects the output, recording the count asked
// and the count given of every read and the size of every write.
struct MemoryIo {
    Bytes data;
    size_t read_pos = 0;
    unsigned long short_read_limit = 0; // nonzero: no read gives more than this
    std::vector<unsigned long> read_requests;
    std::vector<unsigned long> read_sizes;
    Bytes output;
    std::vector<unsigned long> write_sizes;
    long fail_write_at = -1; // index of the write that fails, -1 for none

    InflateIo io();
};

struct DecodeOutcome {
    InflateResult result;
    Bytes output;
    std::vector<unsigned long> write_sizes;
    std::vector<unsigned long> read_requests;
    std::vector<unsigned long> read_sizes;
};

// Decodes `stream`, served in reads of at most `short_read_limit` bytes when it is nonzero.
DecodeOutcome decode(const Bytes &stream, unsigned long short_read_limit = 0);

// Builds a stream bit by bit, least significant bit first (RFC 1951 3.1.1).
class BitWriter {
public:
    // Appends `count` bits of `value`, least significant first (header fields, extra bits).
    BitWriter &bits(uint32_t value, unsigned count);
    // Appends a Huffman code of `length` bits, most significant bit first.
    BitWriter &code(uint32_t code, unsigned length);
    // Pads with 0 bits to the next byte boundary.
    BitWriter &align();
    BitWriter &byte(uint8_t b) { return bits(b, 8); }
    Bytes finish() const { return out_; }
    size_t bit_length() const { return bit_count_; }

private:
    Bytes out_;
    size_t bit_count_ = 0;
};

// Appends the fixed code (RFC 1951 3.2.6) of literal/length symbol `symbol`.
BitWriter &fixed_symbol(BitWriter &w, unsigned symbol);

// Appends a match with the fixed codes: its length symbol and extra bits, then the 5-bit
// distance code and its extra bits (RFC 1951 3.2.5).
BitWriter &fixed_match(BitWriter &w, unsigned length, unsigned distance);

// Raw DEFLATE by zlib (windowBits -15) with the given level, strategy and memory level.
Bytes zlib_deflate(const Bytes &input, int level, int strategy = 0, int mem_level = 8);

// Deterministic test inputs.
Bytes text_input(size_t size, uint32_t seed = 1);
Bytes binary_input(size_t size, uint32_t seed = 2);
Bytes random_input(size_t size, uint32_t seed = 3);
Bytes runs_input(size_t size, uint32_t seed = 4);

Bytes from_string(const std::string &s);
Bytes from_hex(const std::string &hex);

#endif

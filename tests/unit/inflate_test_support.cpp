// Helpers of the decoder's tests: streams built bit by bit, zlib as the reference encoder,
// and runs of the decoder over memory.
#include "tests/unit/inflate_test_support.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

static unsigned long memory_read(void *context, unsigned char *buffer, unsigned long count)
{
    MemoryIo *m = static_cast<MemoryIo *>(context);
    m->read_requests.push_back(count);
    size_t available = m->data.size() - m->read_pos;
    size_t n = count < available ? count : available;
    if (m->short_read_limit != 0 && n > m->short_read_limit)
        n = m->short_read_limit;
    if (n > 0)
        memcpy(buffer, m->data.data() + m->read_pos, n);
    m->read_pos += n;
    m->read_sizes.push_back(n);
    return n;
}

static bool memory_write(void *context, const unsigned char *data, unsigned long count)
{
    MemoryIo *m = static_cast<MemoryIo *>(context);
    if (m->fail_write_at == (long)m->write_sizes.size())
        return false;
    m->write_sizes.push_back(count);
    m->output.insert(m->output.end(), data, data + count);
    return true;
}

InflateIo MemoryIo::io()
{
    InflateIo io;
    io.read = memory_read;
    io.read_context = this;
    io.write = memory_write;
    io.write_context = this;
    return io;
}

DecodeOutcome decode(const Bytes &stream, unsigned long short_read_limit)
{
    MemoryIo m;
    m.data = stream;
    m.short_read_limit = short_read_limit;
    InflateIo io = m.io();
    DecodeOutcome outcome;
    outcome.result = inflate_stream(&io);
    outcome.output = m.output;
    outcome.write_sizes = m.write_sizes;
    outcome.read_requests = m.read_requests;
    outcome.read_sizes = m.read_sizes;
    return outcome;
}

BitWriter &BitWriter::bits(uint32_t value, unsigned count)
{
    for (unsigned i = 0; i < count; i++) {
        if (bit_count_ % 8 == 0)
            out_.push_back(0);
        if ((value >> i) & 1)
            out_.back() |= (uint8_t)(1u << (bit_count_ % 8));
        bit_count_++;
    }
    return *this;
}

BitWriter &BitWriter::code(uint32_t code, unsigned length)
{
    for (unsigned i = length; i-- > 0;)
        bits((code >> i) & 1, 1);
    return *this;
}

BitWriter &BitWriter::align()
{
    while (bit_count_ % 8 != 0)
        bits(0, 1);
    return *this;
}

BitWriter &fixed_symbol(BitWriter &w, unsigned symbol)
{
    if (symbol < 144)
        return w.code(0x30 + symbol, 8);
    if (symbol < 256)
        return w.code(0x190 + symbol - 144, 9);
    if (symbol < 280)
        return w.code(symbol - 256, 7);
    return w.code(0xc0 + symbol - 280, 8);
}

BitWriter &fixed_match(BitWriter &w, unsigned length, unsigned distance)
{
    // RFC 1951 3.2.5, written out independently of the decoder's tables.
    static const unsigned length_start[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const unsigned length_bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const unsigned distance_start[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                                                6145, 8193, 12289, 16385, 24577};
    static const unsigned distance_bits[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int l = 28;
    while (length_start[l] > length)
        l--;
    fixed_symbol(w, 257 + l);
    w.bits(length - length_start[l], length_bits[l]);
    int d = 29;
    while (distance_start[d] > distance)
        d--;
    w.code(d, 5);
    w.bits(distance - distance_start[d], distance_bits[d]);
    return w;
}

Bytes zlib_deflate(const Bytes &input, int level, int strategy, int mem_level)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, level, Z_DEFLATED, -15, mem_level, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, input.size()) + 64);
    z.next_in = const_cast<unsigned char *>(input.data());
    z.avail_in = (uInt)input.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

namespace {
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed * 2654435761u + 1) {}
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};
} // namespace

Bytes text_input(size_t size, uint32_t seed)
{
    static const char *const words[] = {
        "the", "installer", "copies", "every", "file", "of", "archive", "into", "destination",
        "folder", "and", "records", "it", "in", "log", "interface", "traffic", "measures",
        "network", "window", "\n", "Kavlin", "data", "bytes", "a", "is", "to", "with"};
    Random r(seed);
    Bytes out;
    while (out.size() < size) {
        const char *word = words[r.next() % (sizeof words / sizeof *words)];
        out.insert(out.end(), word, word + strlen(word));
        out.push_back(r.next() % 9 == 0 ? ',' : ' ');
    }
    out.resize(size);
    return out;
}

Bytes binary_input(size_t size, uint32_t seed)
{
    // Structured binary: little-endian records with small counters, pointers and padding,
    // as in executables and databases.
    Random r(seed);
    Bytes out;
    uint32_t counter = 0x401000;
    while (out.size() < size) {
        counter += r.next() % 64;
        for (int i = 0; i < 4; i++)
            out.push_back((uint8_t)(counter >> (8 * i)));
        out.push_back((uint8_t)(r.next() % 8));
        out.push_back(0);
        out.push_back(0x8b);
        out.push_back((uint8_t)(r.next() & 0xff));
    }
    out.resize(size);
    return out;
}

Bytes random_input(size_t size, uint32_t seed)
{
    Random r(seed);
    Bytes out(size);
    for (auto &b : out)
        b = (uint8_t)(r.next() >> 24);
    return out;
}

Bytes runs_input(size_t size, uint32_t seed)
{
    Random r(seed);
    Bytes out;
    while (out.size() < size) {
        uint8_t b = (uint8_t)r.next();
        size_t run = 1 + r.next() % 2000;
        out.insert(out.end(), run, b);
    }
    out.resize(size);
    return out;
}

Bytes from_string(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

Bytes from_hex(const std::string &hex)
{
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (isxdigit((unsigned char)c))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back((uint8_t)std::stoul(digits.substr(i, 2), nullptr, 16));
    return out;
}

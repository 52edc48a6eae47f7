// libFuzzer target of the DEFLATE decoder. The first input byte chooses how the input is
// served (short reads, a tighter entry bound, a failing write); the rest is the stream.
// Beyond the sanitizers' checks it asserts the decoder's contract:
// - a stream that zlib decodes completely decodes here too, to the same bytes;
// - every write but the last is a whole window of 32768 bytes;
// - no read asks for more than min(entry bytes left, 32768), and none goes past the entry;
// - a failing write gives INFLATE_WRITE_FAILED and no further write.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "inflate/inflate.h"

namespace {

struct Source {
    const uint8_t *data;
    size_t size;
    size_t pos;
    unsigned long short_read; // 0: reads give all they are asked
    long unread;              // the bound the reads must respect
    std::vector<uint8_t> output;
    size_t writes;
    size_t failing_write; // SIZE_MAX for none
    bool partial_write_seen;
};

unsigned long fuzz_read(void *context, unsigned char *buffer, unsigned long count)
{
    Source *s = static_cast<Source *>(context);
    unsigned long allowed = s->unread < 32768 ? (unsigned long)s->unread : 32768ul;
    if (count != allowed)
        abort(); // a read of another size than the documented chunk
    size_t n = count;
    if (n > s->size - s->pos)
        n = s->size - s->pos;
    if (s->short_read && n > s->short_read)
        n = s->short_read;
    memcpy(buffer, s->data + s->pos, n);
    s->pos += n;
    s->unread -= (long)n;
    if (n == 0)
        s->unread = 0;
    return n;
}

int fuzz_write(void *context, const unsigned char *buffer, unsigned long count)
{
    Source *s = static_cast<Source *>(context);
    if (s->partial_write_seen)
        abort(); // a write after a write shorter than a window
    if (count != 32768)
        s->partial_write_seen = true;
    if (s->writes++ == s->failing_write)
        return 0;
    s->output.insert(s->output.end(), buffer, buffer + count);
    return 1;
}

// zlib's verdict on the stream: true and its output when it decodes completely.
bool zlib_inflate(const uint8_t *data, size_t size, std::vector<uint8_t> *out)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    z.next_in = const_cast<uint8_t *>(data);
    z.avail_in = (uInt)size;
    uint8_t chunk[65536];
    int r;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        r = inflate(&z, Z_NO_FLUSH);
        out->insert(out->end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (r == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t options = data[0];
    data++;
    size--;
    static const unsigned long short_reads[4] = {0, 1, 7, 4096};

    Source s;
    s.data = data;
    s.size = size;
    s.pos = 0;
    s.short_read = short_reads[options & 3];
    // Bit 2: the entry ends 3 bytes before the data does (the rest belongs to a next entry).
    long entry = (options & 4) && size >= 3 ? (long)size - 3 : (long)size;
    s.unread = entry;
    s.writes = 0;
    // Bit 3: the write numbered by bits 4..5 fails.
    s.failing_write = (options & 8) ? (size_t)((options >> 4) & 3) : SIZE_MAX;
    s.partial_write_seen = false;

    InflateIo io = {fuzz_read, fuzz_write, &s};
    long remaining = entry;
    InflateResult r = inflate_stream(&io, &remaining);

    if (s.pos > (size_t)entry || remaining < 0 || remaining > entry)
        abort(); // read past the entry, or a bound that does not add up
    if (s.failing_write != SIZE_MAX && s.writes > s.failing_write && r != INFLATE_WRITE_FAILED)
        abort(); // a failed write that was not reported
    if (r == INFLATE_WRITE_FAILED && s.writes != s.failing_write + 1)
        abort(); // a write failure out of nowhere, or writes after it

    if (s.failing_write == SIZE_MAX) {
        std::vector<uint8_t> reference;
        bool zlib_ok = zlib_inflate(data, (size_t)entry, &reference);
        if (zlib_ok && (r != INFLATE_OK || s.output != reference))
            abort(); // zlib decodes it and this decoder does not, or differently
        if (r != INFLATE_OK && s.output.size() % 32768 != 0)
            abort(); // a failed entry may only have whole windows written
    }
    return 0;
}

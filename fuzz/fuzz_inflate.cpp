// libFuzzer target of the DEFLATE decoder. The first input byte chooses how the input is
// served (short reads, a reader that ends early, a failing write); the rest is the stream.
// Beyond the sanitizers' checks it asserts the decoder's contract:
// - a stream that zlib decodes completely decodes here too, to the same bytes, and the reads
//   stop with the one that gave the stream's last byte;
// - every write but the last is a whole window of 32768 bytes;
// - every read asks for 32768 bytes, and none follows a read that gave nothing;
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
    size_t end;               // the reader gives nothing past this
    size_t before_last_read;  // pos before the last read
    bool ended;               // a read gave nothing
    std::vector<uint8_t> output;
    size_t writes;
    size_t failing_write; // SIZE_MAX for none
    bool partial_write_seen;
};

unsigned long fuzz_read(void *context, unsigned char *buffer, unsigned long count)
{
    Source *s = static_cast<Source *>(context);
    if (count != 32768)
        abort(); // a read of another size than the documented chunk
    if (s->ended)
        abort(); // a read after the end of the data
    size_t n = count;
    if (n > s->end - s->pos)
        n = s->end - s->pos;
    if (s->short_read && n > s->short_read)
        n = s->short_read;
    if (n > 0)
        memcpy(buffer, s->data + s->pos, n);
    s->before_last_read = s->pos;
    s->pos += n;
    s->ended = n == 0;
    return n;
}

bool fuzz_write(void *context, const unsigned char *buffer, unsigned long count)
{
    Source *s = static_cast<Source *>(context);
    if (s->partial_write_seen)
        abort(); // a write after a write shorter than a window
    if (count != 32768)
        s->partial_write_seen = true;
    if (s->writes++ == s->failing_write)
        return false;
    s->output.insert(s->output.end(), buffer, buffer + count);
    return true;
}

// zlib's verdict on the stream: true, its output and the bytes the stream takes when it
// decodes completely.
bool zlib_inflate(const uint8_t *data, size_t size, std::vector<uint8_t> *out, size_t *used)
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
    *used = z.total_in;
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
    // Bit 2: the reader ends 3 bytes before the data does (as a bound on an archive entry).
    size_t entry = (options & 4) && size >= 3 ? size - 3 : size;
    s.end = entry;
    s.before_last_read = 0;
    s.ended = false;
    s.writes = 0;
    // Bit 3: the write numbered by bits 4..5 fails.
    s.failing_write = (options & 8) ? (size_t)((options >> 4) & 3) : SIZE_MAX;
    s.partial_write_seen = false;

    InflateIo io = {fuzz_read, &s, fuzz_write, &s};
    InflateResult r = inflate_stream(&io);

    if (s.failing_write != SIZE_MAX && s.writes > s.failing_write && r != INFLATE_WRITE_FAILED)
        abort(); // a failed write that was not reported
    if (r == INFLATE_WRITE_FAILED && s.writes != s.failing_write + 1)
        abort(); // a write failure out of nowhere, or writes after it

    if (s.failing_write == SIZE_MAX) {
        std::vector<uint8_t> reference;
        size_t used = 0;
        bool zlib_ok = zlib_inflate(data, entry, &reference, &used);
        if (zlib_ok && (r != INFLATE_OK || s.output != reference))
            abort(); // zlib decodes it and this decoder does not, or differently
        if (zlib_ok && (s.before_last_read >= used || s.pos < used))
            abort(); // a read after the stream's last byte, or the stream not read whole
        if (r != INFLATE_OK && s.output.size() % 32768 != 0)
            abort(); // a failed entry may only have whole windows written
    }
    return 0;
}

// kavlin-inflate: decodes a raw DEFLATE stream (RFC 1951, no zlib or gzip wrapper) from a file,
// or from standard input, to standard output through the installer's own decoder.
//   kavlin-inflate [FILE]
// Exit status 0 when the stream decoded completely; 1 with a one-line reason on standard
// error when the data is malformed; 2 when the file cannot be read or the output written.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "inflate/inflate.h"

namespace {

struct Files {
    FILE *in;
    FILE *out;
    bool read_failed;
};

unsigned long read_input(void *context, unsigned char *buffer, unsigned long count)
{
    Files *f = static_cast<Files *>(context);
    size_t n = fread(buffer, 1, count, f->in);
    if (n < count && ferror(f->in))
        f->read_failed = true;
    return n;
}

bool write_output(void *context, const unsigned char *data, unsigned long count)
{
    Files *f = static_cast<Files *>(context);
    return fwrite(data, 1, count, f->out) == count;
}

const char *reason(InflateResult r)
{
    switch (r) {
    case INFLATE_OK:
        return "ok";
    case INFLATE_TRUNCATED:
        return "the data ends before the final block is complete";
    case INFLATE_BAD_BLOCK_TYPE:
        return "invalid block type 3";
    case INFLATE_BAD_STORED_LENGTH:
        return "stored block length does not match its complement";
    case INFLATE_BAD_COUNTS:
        return "too many length or distance codes, or a repeat past them";
    case INFLATE_BAD_CODE_LENGTHS:
        return "invalid code lengths: a code over-subscribed, incomplete or missing";
    case INFLATE_BAD_CODE:
        return "invalid literal/length or distance code";
    case INFLATE_BAD_DISTANCE:
        return "distance reaches before the start of the data";
    case INFLATE_NO_MEMORY:
        return "out of memory";
    case INFLATE_WRITE_FAILED:
        return "cannot write the output";
    }
    return "unknown failure";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help")))) {
        fprintf(stderr, "usage: kavlin-inflate [FILE]  (raw DEFLATE in, decoded bytes to standard output)\n");
        return 2;
    }
    Files files = {stdin, stdout, false};
    if (argc == 2 && strcmp(argv[1], "-") != 0) {
        files.in = fopen(argv[1], "rb");
        if (!files.in) {
            fprintf(stderr, "kavlin-inflate: cannot open %s: %s\n", argv[1], strerror(errno));
            return 2;
        }
    }
    InflateIo io = {read_input, &files, write_output, &files};
    InflateResult r = inflate_stream(&io);
    if (files.in != stdin)
        fclose(files.in);
    if (fflush(stdout) != 0 && r == INFLATE_OK)
        r = INFLATE_WRITE_FAILED;
    if (files.read_failed) {
        fprintf(stderr, "kavlin-inflate: cannot read the input\n");
        return 2;
    }
    if (r != INFLATE_OK) {
        fprintf(stderr, "kavlin-inflate: %s\n", reason(r));
        return r == INFLATE_WRITE_FAILED || r == INFLATE_NO_MEMORY ? 2 : 1;
    }
    return 0;
}

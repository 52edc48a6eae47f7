// zlib-raw: compresses standard input to a raw DEFLATE stream on standard output with zlib
// (level from the first argument, 6 by default). Test data for kavlin-inflate.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    int level = argc > 1 ? atoi(argv[1]) : 6;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 2;
    unsigned char in[65536], out[65536];
    int flush;
    do {
        z.avail_in = (uInt)fread(in, 1, sizeof in, stdin);
        z.next_in = in;
        flush = feof(stdin) ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            deflate(&z, flush);
            fwrite(out, 1, sizeof out - z.avail_out, stdout);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return ferror(stdout) ? 2 : 0;
}

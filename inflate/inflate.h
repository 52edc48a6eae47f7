// The installer's DEFLATE decoder (RFC 1951): decodes one raw DEFLATE stream, taking its bytes
// from a read callback and handing the decoded bytes to a write callback, so that the same
// source runs in the installer (behind the archive walk) and natively (tests, fuzzing,
// benchmark). It knows nothing of archives or files. Portable: no Windows header, no C
// runtime beyond memcpy and malloc/free.
#ifndef KAVLIN_INFLATE_INFLATE_H
#define KAVLIN_INFLATE_INFLATE_H

// Reads up to `count` bytes into `buffer`; returns the count read, 0 at the end of the data
// or on failure.
typedef unsigned long (*ByteReader)(void *context, unsigned char *buffer, unsigned long count);

// Writes `count` bytes of `data`; returns false when not all of them were written.
typedef bool (*ByteWriter)(void *context, const unsigned char *data, unsigned long count);

// The outcome of decoding one stream. Every failure ends the stream at once; bytes already
// written (whole 32768-byte windows) stay written.
enum InflateResult {
    INFLATE_OK = 0,            // the final block was decoded and every byte written
    INFLATE_TRUNCATED,         // the data ended before the final block was complete
    INFLATE_BAD_BLOCK_TYPE,    // block type 3
    INFLATE_BAD_STORED_LENGTH, // NLEN is not the one's complement of LEN
    INFLATE_BAD_COUNTS,        // HLIT > 286, HDIST > 30, or a repeat past HLIT + HDIST
    INFLATE_BAD_CODE_LENGTHS,  // a code over-subscribed, incomplete where no valid stream has one, or missing
    INFLATE_BAD_CODE,          // an invalid code in the data: an unused code or a reserved symbol
    INFLATE_BAD_DISTANCE,      // a distance before the stream's first decoded byte
    INFLATE_NO_MEMORY,         // the decoder's state could not be allocated
    INFLATE_WRITE_FAILED       // the write callback reported a failed or short write
};

// Where the compressed bytes come from and where the decoded bytes go, each callback with its
// own context.
struct InflateIo {
    ByteReader read;
    void *read_context;
    ByteWriter write;
    void *write_context;
};

// Sizes shared with the callers: the input chunk and the output window.
enum {
    INFLATE_INPUT_CHUNK = 32768, // the count asked of every read
    INFLATE_WINDOW_SIZE = 32768  // the sliding window; also the size of every write but the last
};

// Decodes one raw DEFLATE stream. Reads through io->read, asking INFLATE_INPUT_CHUNK bytes
// each time and only when every byte of the previous read has been taken; a read of 0 bytes
// is the end of the data, after which it reads no more. Writes through io->write in writes of
// exactly 32768 bytes while decoding and one shorter write at the end (none for an empty
// stream). Bytes after the final block, in the last read, are left unused. On a failure
// nothing of the window that is not yet written is written.
//
// Allocates its state (about 65 KiB: the input buffer, the window and the code-length code's
// table) once per call. The current block's decoding tables live in static storage (7 KiB),
// where the fixed codes' tables stay built until a dynamic block replaces them, so the decoder
// is not reentrant (the installer decodes on one thread, one stream at a time).
InflateResult inflate_stream(const InflateIo *io);

#endif

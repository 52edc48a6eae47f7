// The installer's DEFLATE decoder (RFC 1951): decodes the raw DEFLATE stream of one deflated
// archive entry (ZIP compression method 8) through two small callbacks, so that the same
// source runs in the installer (over ReadFile/WriteFile) and natively (tests, fuzzing,
// benchmark). Portable: no Windows header, no C runtime beyond memcpy/memmove/memset and
// malloc/free.
#ifndef KAVLIN_INFLATE_INFLATE_H
#define KAVLIN_INFLATE_INFLATE_H

// The outcome of decoding one stream. Every failure ends the entry at once; bytes of the
// entry already written (whole 32768-byte windows) stay written.
enum InflateResult {
    INFLATE_OK = 0,            // the final block was decoded and every byte written
    INFLATE_TRUNCATED,         // the data ended before the final block was complete
    INFLATE_BAD_BLOCK_TYPE,    // block type 3
    INFLATE_BAD_STORED_LENGTH, // NLEN is not the one's complement of LEN
    INFLATE_BAD_COUNTS,        // HLIT > 286, HDIST > 30, or a repeat past HLIT + HDIST
    INFLATE_BAD_CODE_LENGTHS,  // a code over-subscribed, incomplete where no valid stream has one, or missing
    INFLATE_BAD_CODE,          // an invalid code (op 99) in the data
    INFLATE_BAD_DISTANCE,      // a distance before the entry's first decoded byte
    INFLATE_NO_MEMORY,         // an allocation failed
    INFLATE_WRITE_FAILED       // the output callback reported a failed or short write
};

// The callback styles that carry bytes between the decoder, the archive code and files: a read
// returns the count it put into `buffer` (0 at the end of the data or on failure); a write
// returns false when not all `count` bytes were written.
typedef unsigned long (*ByteReader)(void *context, unsigned char *buffer, unsigned long count);
typedef bool (*ByteWriter)(void *context, const unsigned char *data, unsigned long count);

// The decoder's only contact with files: where the compressed bytes come from and where the
// decoded bytes go.
struct InflateIo {
    // Reads up to `count` bytes of the entry's data into `buffer`; returns the count read,
    // 0 at the end of the data or on failure.
    unsigned long (*read)(void *context, unsigned char *buffer, unsigned long count);
    // Writes `count` bytes; returns nonzero when all of them were written.
    int (*write)(void *context, const unsigned char *buffer, unsigned long count);
    void *context;
};

// Sizes shared with the callers: the input chunk and the output window.
enum {
    INFLATE_INPUT_CHUNK = 32768, // the most bytes asked of one read
    INFLATE_WINDOW_SIZE = 32768  // the sliding window; also the size of every write but the last
};

// Decodes one raw DEFLATE stream of at most *entry_remaining bytes. Reads through io.read in
// chunks of min(*entry_remaining, 32768) bytes, only when every buffered byte has been
// delivered, and counts *entry_remaining down by each byte it takes from the buffer; writes
// through io.write in writes of exactly 32768 bytes while decoding and one shorter write at the end.
//
// The bit reader takes whole bytes from the buffer ahead of need (at most one machine word),
// so on return *entry_remaining may be a few bytes below the count of bytes the stream did
// not use; it never goes below the bytes still unread in the file. An *entry_remaining of 0 or
// less reads nothing (and gives INFLATE_TRUNCATED). On a failure nothing of the window that
// is not yet written is written.
InflateResult inflate_stream(const InflateIo *io, long *entry_remaining);

#endif

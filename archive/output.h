// The file side of extraction: the output file of the current entry, the tally that checks
// what was written against the entry's local header, and the plain copy of stored entries.
#ifndef KAVLIN_ARCHIVE_OUTPUT_H
#define KAVLIN_ARCHIVE_OUTPUT_H

#include <windows.h>
#include <stdint.h>

enum { ENTRY_CHUNK = 32768 };   // the most bytes read or written at once

// What has been written to installer.output_file for the current entry.
struct EntryOutput {
    uint32_t crc;               // CRC-32 of the bytes written
    DWORD size;                 // count of the bytes written
};

// Starts the tally of a new entry.
void begin_entry_output(EntryOutput *output);

// Writes `count` bytes to installer.output_file and adds them to the tally. False when the
// write failed or wrote fewer bytes (a full disk); the tally then counts only what was
// surely written.
bool write_entry_output(EntryOutput *output, const unsigned char *data, DWORD count);

// Copies installer.entry_remaining bytes from the archive's read position to the output
// file, in chunks of at most ENTRY_CHUNK bytes, counting entry_remaining down; an
// entry_remaining of 0 or less copies nothing. False when the archive ended first, a write
// failed or no copy buffer could be had.
bool copy_stored_entry(EntryOutput *output);

// Decodes the current entry's raw DEFLATE data from the archive's read position, at most
// installer.entry_remaining bytes of it, into the output file. False when the decoder failed
// (damaged or cut-short data, no memory) or a write failed.
bool inflate_entry(EntryOutput *output);

#endif

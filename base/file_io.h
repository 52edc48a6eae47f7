// Reads, writes and absolute seeks on an open file handle, in the callback style the archive
// code and the decoder share (the handle is the context), so that every part of the installer
// moves file bytes the same way. A short write counts as a failure.
#ifndef KAVLIN_BASE_FILE_IO_H
#define KAVLIN_BASE_FILE_IO_H

#include <windows.h>
#include <stdint.h>

// Reads up to `count` bytes from the file `handle`; the count read, 0 at its end or on failure.
unsigned long read_file(void *handle, unsigned char *buffer, unsigned long count);

// Writes `count` bytes to the file `handle`; false when not all of them were written.
bool write_file(void *handle, const unsigned char *data, unsigned long count);

// Moves the file's position to `offset` from its start; false when that failed.
bool seek_file(void *handle, uint32_t offset);

#endif

// Small helpers over 8-bit, NUL-terminated texts in fixed buffers, shared by every part of the
// installer and by its build-time tools. They need no Windows, and every one that writes is
// told the size of its destination and never writes past it. Lengths come from strlen.
#ifndef KAVLIN_BASE_TEXT_H
#define KAVLIN_BASE_TEXT_H

#include <stddef.h>
#include <string.h>

enum {
    // A path, or one of the short texts the installer keeps in fixed buffers: 255 characters and
    // the terminator.
    PATH_SIZE = 256
};

// Copies `source` into `target` of `size` bytes. Returns false, leaving `target` empty, when
// the text and its terminator do not fit.
bool text_copy(char *target, const char *source, size_t size);

// Appends `source` to the text in `target` of `size` bytes. Returns false, leaving `target`
// as it was, when the result and its terminator do not fit.
bool text_append(char *target, const char *source, size_t size);

// The character with ASCII letters turned to upper case; other bytes stay as they are.
char text_upper(char c);

// Byte-for-byte comparison; and a comparison that folds ASCII letters to upper case.
bool text_equal(const char *a, const char *b);
bool text_equal_nocase(const char *a, const char *b);

// The one rule for path separators: '\' is the file system's, '/' the archive's and is
// accepted in its place. (':' ends a drive designation; the helpers that split paths treat it
// as a separator too, and say so.)
bool is_path_separator(char c);

// Turns every '/' of the text into '\', in place; returns the text.
char *to_backslashes(char *text);

#endif

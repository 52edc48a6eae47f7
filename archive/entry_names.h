// The rules an entry name of the payload archive must pass before anything is written for it,
// and the path it is written to under the destination folder. Portable: the installer and the
// build-time payload check apply the very same rules.
#ifndef KAVLIN_ARCHIVE_ENTRY_NAMES_H
#define KAVLIN_ARCHIVE_ENTRY_NAMES_H

#include "archive/zip.h"
#include "base/text.h"

#include <stddef.h>

enum {
    // The longest destination path of a file or folder: its install log line ("FIL:", padding,
    // a blank and the path; 254 characters at most) must read back whole, so that the search
    // for duplicates stays exact.
    ENTRY_PATH_MAX = 242
};

// Why the entry name (its `length` stored bytes, with the entry's general-purpose `flags`) is
// not one the installer writes, or CAUSE_NONE: it must not be empty, hold a control character
// (NUL included) or one of : < > " | ? * and DEL, be flagged as UTF-8 (bit 11) unless it is
// plain ASCII (the installer writes names through the ANSI calls, in the Windows code page),
// start with a separator, or have a component that is a parent-folder reference (dots and
// blanks only, with at least two dots) or a DOS device name (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM0-9, LPT0-9 and COM/LPT with a superscript digit, with or without an extension),
// which Windows would read as something other than a file under the destination folder.
ArchiveCause entry_name_cause(const char *name, size_t length, unsigned flags);

// The text after the last '\', '/' or ':' of the path (a pointer into it), or the whole path
// when it has none; empty when the path ends in a separator, as a folder entry's name does (a
// folder entry creates nothing by itself).
const char *name_part(const char *path);

// Removes one trailing '\' from the path, in place; an empty path stays as it is.
char *strip_trailing_backslash(char *path);

// Turns the destination folder as the user typed it into the form the walks take: every '/'
// turned into '\' and one trailing '\' removed, in place.
char *normalize_destination(char *destination);

// Writes `destination` "\" `name` into `path` (`size` bytes) with every '/' turned into '\'.
// False when it is longer than ENTRY_PATH_MAX (the path is left in `path` all the same when
// it fits there, for a message to name it), or leaving `path` empty, when it does not fit.
bool entry_destination(const char *destination, const char *name, char *path, size_t size);

#endif

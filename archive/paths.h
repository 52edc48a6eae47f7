// Path helpers of the extraction: existence by attributes, folder creation, and the small
// splitters that return their result in installer.scratch_text (each call overwrites the
// previous result: copy it before the next helper call if it is still needed).
//
// Paths are 8-bit texts of at most 255 characters. '\' separates components; '/' is accepted
// in its place (to_backslashes, app/text.h, turns it into '\'); ':' ends a drive designation
// and counts as a separator when a path is split. A drive root is "X:\" (three characters).
#ifndef KAVLIN_ARCHIVE_PATHS_H
#define KAVLIN_ARCHIVE_PATHS_H

#include <stddef.h>

// True when the path's attributes can be read and are not 0.
bool attributes_exist(const char *path);

// `count` characters of `text` from index `start`, terminated, in scratch_text. The caller
// keeps start and count within the text; `text` may itself lie in scratch_text.
char *substring(const char *text, size_t start, size_t count);

// The path without its last component, in scratch_text:
//   C:\A\B -> C:\A    C:\A -> C:    C: -> C:    abc -> a    \abc -> (empty)
// A three-character path with ':' as its second or third character (a drive root such as
// C:\) comes back as the argument itself, not as a copy.
char *parent_path(char *path);

// The text after the last '\', '/' or ':' of the path, or the whole path when it has none;
// empty when the path ends in a separator. In scratch_text.
char *name_part(const char *path);

// Removes one trailing '\' from the path, in place; an empty path stays as it is.
char *strip_trailing_backslash(char *path);

// Creates the folder and its missing ancestors, from the top down. Removes one trailing '\'
// from the caller's path and turns its '/' into '\' (both in place). Stops at an existing
// folder or at a path shorter than three characters (a drive designation is never created).
// Records nothing in the install log; failures are not examined here (the caller tests the
// folder afterwards).
void make_dirs(char *path);

// Creates every folder of a file's destination path that is still missing, from the top down,
// and records each as a DIR: line in the install log of destination_folder, except the
// destination folder itself, which is created when missing but never recorded. The root of a
// drive is never treated as a folder. The line is written whether or not the creation
// succeeded (a failed creation shows up when the file itself cannot be created).
void create_path_folders(const char *path);

#endif

// Path helpers of the extraction: existence tests, folder creation, and the small splitters,
// which write their results into buffers their callers pass.
//
// Paths are 8-bit texts of at most 255 characters. '\' separates components; '/' is accepted
// in its place (to_backslashes, base/text.h, turns it into '\'); ':' ends a drive
// designation and counts as a separator when a path is split. A drive root is "X:\" (three
// characters).
#ifndef KAVLIN_ARCHIVE_PATHS_H
#define KAVLIN_ARCHIVE_PATHS_H

#include "base/text.h"

#include <stddef.h>

// True when a directory search finds a file or folder of that name. A path that ends in a
// backslash is searched for any entry inside it. Turns '/' into '\' in the caller's string.
bool path_exists(char *path);

// True when the path's attributes can be read and are not 0.
bool attributes_exist(const char *path);

// Writes the path without its last component into `parent` (`size` bytes):
//   C:\A\B -> C:\A    C:\A -> C:    C: -> C:    abc -> a    \abc -> (empty)
// A three-character path with ':' as its second or third character (a drive root such as
// C:\) comes back whole. False, with `parent` empty, when the result does not fit.
bool parent_path(const char *path, char *parent, size_t size);

// Creates the folder and its missing ancestors, from the top down. Removes one trailing '\'
// from the caller's path and turns its '/' into '\' (both in place). Stops at an existing
// folder or at a path shorter than three characters (a drive designation is never created).
// Records nothing in the install log; failures are not examined here (the caller tests the
// folder afterwards).
void make_dirs(char *path);

// Creates every folder of a file's destination path that is still missing, from the top down,
// and hands each one it makes to `made` (the extraction records it in the install log, unless
// it is the destination folder itself), whether or not the creation succeeded: a failed
// creation shows up when the file itself cannot be created. The root of a drive is never
// treated as a folder. The folders are probed from the file's own folder upwards, so a folder
// that exists costs one probe. `made` returns false to stop the walk at once.
enum FoldersMade {
    FOLDERS_EXISTED,            // the file's folder was there: nothing was made
    FOLDERS_MADE,               // missing folders were made (or this is a drive's root)
    FOLDERS_STOPPED             // `made` stopped the walk
};
FoldersMade create_path_folders(const char *path, bool (*made)(void *context, const char *folder),
                                void *context);

#endif

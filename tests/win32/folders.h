// Clean-up of the folders that the Windows and end-to-end tests make: a folder removed with
// everything in it. Linked into every Windows test program.
#ifndef KAVLIN_TESTS_FOLDERS_H
#define KAVLIN_TESTS_FOLDERS_H

#include <string>

// Removes the folder `path` and everything in it, read-only files and folders included. What
// cannot be removed (a file still open) stays; there is no result.
void remove_tree(const std::string &path);

#endif

// The failures that can be foreseen before anything is written, so that an update that cannot
// complete leaves the installed files as they were: every file the payload replaces must be
// one that can be replaced, and the destination's drive must have room for the payload.
// Probing creates and changes nothing.
#ifndef KAVLIN_ARCHIVE_PREFLIGHT_H
#define KAVLIN_ARCHIVE_PREFLIGHT_H

#include "archive/check.h"
#include "base/text.h"

#include <windows.h>

struct Preflight {
    uint32_t cluster;           // bytes per allocation unit of the destination's drive
    bool space_known;           // the drive's free space could be asked
    uint64_t free_bytes;
    uint64_t needed;            // what the payload's files and the log's growth will occupy
    uint64_t replaced;          // what the files they replace occupy now
    char last_folder[PATH_SIZE];    // the previous file's folder (one record per new folder)
};

// Asks the destination's drive (through the nearest folder that exists) for its free space
// and its allocation unit. GetDiskFreeSpaceExA where the system has it, else GetDiskFreeSpaceA
// with the drive's root; a drive that answers neither is not checked for room.
void preflight_begin(Preflight *preflight, const char *destination);

// The whole-archive check's probe of each file entry at `path`: an existing file must open for
// writing as the extraction opens it, and must be neither read-only, hidden nor system (the
// extraction's CREATE_ALWAYS fails on those) nor a folder; else ARCHIVE_CREATE_FAILED with the
// system's reason. Counts the room the file takes and frees.
FileProbe preflight_probe(Preflight *preflight);

// After the check: false when the drive has less room than the payload needs, with both in
// KiB (rounded up and down) for the message. True when it has room or its room is unknown.
bool preflight_room(const Preflight *preflight, DWORD *needed_kib, DWORD *free_kib);

#endif

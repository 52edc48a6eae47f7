// Probing the destination before anything is written.
#include "archive/preflight.h"
#include "archive/install_log.h"
#include "archive/paths.h"

namespace {

enum { FALLBACK_CLUSTER = 4096 };

// Rounds up to whole allocation units (a power of two on every file system the installer
// meets: see preflight_begin).
uint64_t whole_clusters(uint64_t bytes, uint32_t cluster)
{
    return (bytes + cluster - 1) & ~(uint64_t)(cluster - 1);
}

// The root of the path's drive ("C:\", or "\\server\share\") in `root`; false for a relative
// path, which names no drive.
bool drive_root(const char *path, char *root, size_t size)
{
    size_t n;
    if (path[0] && path[1] == ':') {
        n = 2;
    } else if (is_path_separator(path[0]) && is_path_separator(path[1])) {
        // Up to the separator after the share's name.
        int separators = 0;
        for (n = 2; path[n]; n++)
            if (is_path_separator(path[n]) && ++separators == 2)
                break;
        if (separators == 0)
            return false;
    } else {
        return false;
    }
    if (n + 2 > size)
        return false;
    memcpy(root, path, n);
    root[n] = '\\';
    root[n + 1] = 0;
    return true;
}

typedef BOOL(WINAPI *FreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

ArchiveFailure probe_file(void *context, const ZipEntry *entry, const char *path,
                          ArchiveProblem *problem)
{
    Preflight *preflight = (Preflight *)context;
    char parent[PATH_SIZE];

    // The log's growth: a record for the file, and one for each folder it may need.
    uint64_t growth = LOG_PATH_OFFSET + strlen(path) + 2;
    if (parent_path(path, parent, sizeof parent) && !text_equal(parent, preflight->last_folder)) {
        growth += LOG_PATH_OFFSET + strlen(parent) + 2;
        text_copy(preflight->last_folder, parent, sizeof preflight->last_folder);
    }
    preflight->needed += whole_clusters(entry->uncompressed_size, preflight->cluster) + growth;

    DWORD attributes = GetFileAttributesA(path);
    if (attributes == 0xFFFFFFFF)
        return ARCHIVE_OK;      // a new file
    DWORD error = ERROR_ACCESS_DENIED;
    if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN
                        | FILE_ATTRIBUTE_SYSTEM))) {
        // Opened as the extraction opens it, but without truncating it.
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD high = 0;
            DWORD low = GetFileSize(file, &high);
            if (!(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR))
                preflight->replaced += whole_clusters((uint64_t)high << 32 | low, preflight->cluster);
            CloseHandle(file);
            return ARCHIVE_OK;
        }
        error = GetLastError();
    }
    problem->detail = path;
    problem->system_error = error;
    return ARCHIVE_CREATE_FAILED;
}

} // namespace

void preflight_begin(Preflight *preflight, const char *destination)
{
    char folder[PATH_SIZE];
    char root[PATH_SIZE];
    char parent[PATH_SIZE];
    DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;

    memset(preflight, 0, sizeof *preflight);
    preflight->cluster = FALLBACK_CLUSTER;
    bool rooted = drive_root(destination, root, sizeof root);
    bool counted = rooted && GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters);
    DWORD cluster = sectors * bytes;
    if (counted && cluster && (cluster & (cluster - 1)) == 0)
        preflight->cluster = cluster;

    // The nearest folder that exists: the destination may not be there yet.
    if (!text_copy(folder, destination, sizeof folder))
        return;
    while (!attributes_exist(folder) && parent_path(folder, parent, sizeof parent)
           && strlen(parent) < strlen(folder))
        text_copy(folder, parent, sizeof folder);
    FreeSpaceExProc free_space_ex = (FreeSpaceExProc)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA");
    ULARGE_INTEGER available, total, total_free;
    if (free_space_ex && free_space_ex(folder, &available, &total, &total_free)) {
        preflight->free_bytes = available.QuadPart;
        preflight->space_known = true;
    } else if (counted) {
        preflight->free_bytes = (uint64_t)free_clusters * preflight->cluster;
        preflight->space_known = true;
    }
}

FileProbe preflight_probe(Preflight *preflight)
{
    FileProbe probe = { probe_file, preflight };
    return probe;
}

bool preflight_room(const Preflight *preflight, DWORD *needed_kib, DWORD *free_kib)
{
    uint64_t needed = preflight->needed > preflight->replaced
                          ? preflight->needed - preflight->replaced : 0;
    needed = whole_clusters(needed, preflight->cluster);
    uint64_t most = 0xFFFFFFFF;
    uint64_t needed_k = (needed + 1023) >> 10;
    uint64_t free_k = preflight->free_bytes >> 10;
    *needed_kib = (DWORD)(needed_k < most ? needed_k : most);
    *free_kib = (DWORD)(free_k < most ? free_k : most);
    return !preflight->space_known || needed <= preflight->free_bytes;
}

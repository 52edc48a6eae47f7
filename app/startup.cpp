// Start-up: the entry point's work. Signals other installers, stages the payload archive in
// the temporary folder, runs the main dialog, and removes the staged archive afterwards.
#include "app/startup.h"
#include "app/main_dialog.h"
#include "app/state.h"
#include "app/strings.h"
#include "base/system_library.h"
#include "base/text.h"
#include "res/resource.h"

static const char PRODUCT_NAME[] = "Kavlin";
enum { ANNOUNCE_PARAMETER = 43, ANNOUNCE_TIMEOUT_MS = 1000 };

// The staged copy of the payload, which start-up alone creates and removes.
static char staged_path[PATH_SIZE];

const char *staged_archive_path(void)
{
    return staged_path;
}

bool announce_start(void)
{
    CreateMutexA(NULL, FALSE, PRODUCT_NAME);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (existed) {
        // A window that does not answer must not hold the installer up: hung windows are
        // passed over, and each of the others gets a second at most.
        UINT message = RegisterWindowMessageA(PRODUCT_NAME);
        DWORD_PTR answer;
        SendMessageTimeoutA(HWND_BROADCAST, message, ANNOUNCE_PARAMETER, ANNOUNCE_PARAMETER,
                            SMTO_ABORTIFHUNG, ANNOUNCE_TIMEOUT_MS, &answer);
    }
    return existed;
}

// On Windows NT the system removes the staged file when the installer's handle closes,
// whatever way the process ends (killed, say); Windows 95 and 98 have no such flag, and the
// explicit removal at the end is all there is.
static DWORD staged_file_flags(void)
{
    bool windows_nt = (GetVersion() & 0x80000000) == 0;
    return FILE_ATTRIBUTE_NORMAL | (windows_nt ? FILE_FLAG_DELETE_ON_CLOSE : 0);
}

// Creates the staged file afresh, readable and writable by the installer and by nobody else
// while it is open, so that no other program can swap the archive between its writing and its
// unpacking. "Kavlin.zip" in the temporary folder is replaced. When that name cannot be had
// and no other installer runs, nobody of ours holds it (a folder, a read-only file, a stale
// file that cannot be deleted, a file some other program holds): a unique name in the same
// folder serves instead. Another installer's Kavlin.zip is never taken over.
static HANDLE create_staged_file(const char *temp_folder, bool others_running, DWORD *error)
{
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    HANDLE file = INVALID_HANDLE_VALUE;

    *error = ERROR_FILENAME_EXCED_RANGE;
    if (text_copy(staged_path, temp_folder, sizeof staged_path)
        && text_append(staged_path, "Kavlin.zip", sizeof staged_path)) {
        DeleteFileA(staged_path);
        file = CreateFileA(staged_path, access, FILE_SHARE_READ, NULL, CREATE_NEW,
                           staged_file_flags(), NULL);
        *error = GetLastError();
        if (file != INVALID_HANDLE_VALUE || others_running)
            return file;
    }
    // GetTempFileNameA creates the file, empty, under a name nobody has used.
    char unique[PATH_SIZE];
    if (GetTempFileNameA(temp_folder, "Kav", 0, unique) == 0) {
        *error = GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    text_copy(staged_path, unique, sizeof staged_path);
    file = CreateFileA(staged_path, access, FILE_SHARE_READ, NULL, TRUNCATE_EXISTING,
                       staged_file_flags(), NULL);
    *error = GetLastError();
    if (file == INVALID_HANDLE_VALUE)
        DeleteFileA(staged_path);
    return file;
}

bool stage_archive(const void *payload, DWORD size, bool others_running)
{
    InstallerState &s = installer;
    char temp_folder[PATH_SIZE];
    DWORD bytes_staged = 0;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;

    // A failed query or a folder that does not fit is a failure, never the current folder.
    DWORD length = GetTempPathA(sizeof temp_folder, temp_folder);
    s.archive_file = INVALID_HANDLE_VALUE;
    staged_path[0] = 0;
    if (length == 0)
        error = GetLastError();
    if (length > 0 && length < sizeof temp_folder && payload)
        s.archive_file = create_staged_file(temp_folder, others_running, &error);
    s.archive_size = size;
    if (s.archive_file != INVALID_HANDLE_VALUE
        && (!WriteFile(s.archive_file, payload, size, &bytes_staged, NULL) || bytes_staged != size))
        error = bytes_staged == size || GetLastError() == NO_ERROR ? ERROR_DISK_FULL : GetLastError();
    if (s.archive_file == INVALID_HANDLE_VALUE || bytes_staged != size) {
        if (s.archive_file != INVALID_HANDLE_VALUE) {
            CloseHandle(s.archive_file);
            DeleteFileA(staged_path);
        }
        s.archive_file = INVALID_HANDLE_VALUE;
        if (!staged_path[0] && length > 0 && length < sizeof temp_folder)
            text_copy(staged_path, temp_folder, sizeof staged_path);
        show_failure(NULL, IDS_CANNOT_OPEN, staged_path, error);
        return false;
    }
    s.archive_size >>= 10;  // whole KiB from here on
    // The archive is read back through the same handle: the file is never closed between.
    seek_archive(0);
    return true;
}

void remove_staged_archive(void)
{
    if (!CloseHandle(installer.archive_file))
        message_box(NULL, load_string(IDS_CANNOT_CLOSE), MB_OK | MB_ICONHAND);
    installer.archive_file = INVALID_HANDLE_VALUE;
    DeleteFileA(staged_path);
}

int run_installer(HINSTANCE instance)
{
    const void *payload = NULL;
    DWORD size = 0;

    installer.module_instance = instance;
    restrict_dll_search();
    bool others_running = announce_start();

    HRSRC resource = FindResourceA(instance, "IDR_ZIP", RT_RCDATA);
    if (resource) {
        size = SizeofResource(instance, resource);
        HGLOBAL loaded = LoadResource(instance, resource);
        payload = loaded ? LockResource(loaded) : NULL;
    }
    if (!stage_archive(payload, size, others_running))
        return 0;

    DialogBoxParamA(instance, "MAINDIALOG", NULL, main_dialog_proc, 0);
    remove_staged_archive();
    return 0;
}

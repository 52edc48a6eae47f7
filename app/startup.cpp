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
static char staged_path[TEXT_SIZE];

const char *staged_archive_path(void)
{
    return staged_path;
}

void announce_start(void)
{
    CreateMutexA(NULL, FALSE, PRODUCT_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // A window that does not answer must not hold the installer up: hung windows are
        // passed over, and each of the others gets a second at most.
        UINT message = RegisterWindowMessageA(PRODUCT_NAME);
        DWORD_PTR answer;
        SendMessageTimeoutA(HWND_BROADCAST, message, ANNOUNCE_PARAMETER, ANNOUNCE_PARAMETER,
                            SMTO_ABORTIFHUNG, ANNOUNCE_TIMEOUT_MS, &answer);
    }
}

// Creates the staged file afresh, readable and writable by the installer and by nobody else
// while it is open, so that no other program can swap the archive between its writing and its
// unpacking. "Kavlin.zip" in the temporary folder is replaced; when that name cannot be had
// (held open, read-only, a folder) a unique name in the same folder serves instead.
static HANDLE create_staged_file(const char *temp_folder)
{
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    HANDLE file;

    if (text_copy(staged_path, temp_folder, sizeof staged_path)
        && text_append(staged_path, "Kavlin.zip", sizeof staged_path)) {
        DeleteFileA(staged_path);
        file = CreateFileA(staged_path, access, FILE_SHARE_READ, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
    }
    // GetTempFileNameA creates the file, empty, under a name nobody has used.
    if (GetTempFileNameA(temp_folder, "Kav", 0, staged_path) == 0) {
        staged_path[0] = 0;
        return INVALID_HANDLE_VALUE;
    }
    file = CreateFileA(staged_path, access, FILE_SHARE_READ, NULL, TRUNCATE_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(staged_path);
        staged_path[0] = 0;
    }
    return file;
}

bool stage_archive(const void *payload, DWORD size)
{
    InstallerState &s = installer;
    char temp_folder[TEXT_SIZE];
    DWORD bytes_staged = 0;

    // A failed query or a folder that does not fit is a failure, never the current folder.
    DWORD length = GetTempPathA(sizeof temp_folder, temp_folder);
    s.archive_file = INVALID_HANDLE_VALUE;
    staged_path[0] = 0;
    if (length > 0 && length < sizeof temp_folder && payload)
        s.archive_file = create_staged_file(temp_folder);
    s.archive_size = size;
    if (s.archive_file != INVALID_HANDLE_VALUE)
        WriteFile(s.archive_file, payload, size, &bytes_staged, NULL);
    if (s.archive_file == INVALID_HANDLE_VALUE || bytes_staged != size) {
        if (s.archive_file != INVALID_HANDLE_VALUE) {
            CloseHandle(s.archive_file);
            DeleteFileA(staged_path);
        }
        s.archive_file = INVALID_HANDLE_VALUE;
        message_box(load_string(IDS_CANNOT_OPEN), MB_OK | ICON_STOP);
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
        message_box(load_string(IDS_CANNOT_CLOSE), MB_OK | ICON_STOP);
    installer.archive_file = INVALID_HANDLE_VALUE;
    DeleteFileA(staged_path);
}

int run_installer(HINSTANCE instance)
{
    const void *payload = NULL;
    DWORD size = 0;

    installer.module_instance = instance;
    restrict_dll_search();
    announce_start();

    HRSRC resource = FindResourceA(instance, "IDR_ZIP", RT_RCDATA);
    if (resource) {
        size = SizeofResource(instance, resource);
        HGLOBAL loaded = LoadResource(instance, resource);
        payload = loaded ? LockResource(loaded) : NULL;
    }
    if (!stage_archive(payload, size))
        return 0;

    DialogBoxParamA(instance, "MAINDIALOG", NULL, main_dialog_proc, 0);
    // Message boxes shown from here on have no owner.
    installer.main_dialog_window = NULL;
    remove_staged_archive();
    return 0;
}

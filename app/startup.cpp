// Start-up: the entry point's work. Signals other installers, stages the payload archive in
// the temporary folder, runs the main dialog, and removes the staged archive afterwards.
#include "app/startup.h"
#include "app/main_dialog.h"
#include "app/state.h"
#include "app/strings.h"
#include "archive/text.h"
#include "res/resource.h"

static const char PRODUCT_NAME[] = "Kavlin";
enum { ANNOUNCE_PARAMETER = 43 };

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
        UINT message = RegisterWindowMessageA(PRODUCT_NAME);
        SendMessageA(HWND_BROADCAST, message, ANNOUNCE_PARAMETER, ANNOUNCE_PARAMETER);
    }
}

bool stage_archive(const void *payload, DWORD size)
{
    InstallerState &s = installer;
    char temp_folder[TEXT_SIZE];
    DWORD bytes_staged = 0;

    GetTempPathA(sizeof temp_folder, temp_folder);
    if (!text_copy(staged_path, temp_folder, sizeof staged_path) ||
        !text_append(staged_path, "Kavlin.zip", sizeof staged_path)) {
        message_box(load_string(IDS_CANNOT_OPEN), MB_OK | ICON_STOP);
        return false;
    }

    s.archive_file = CreateFileA(staged_path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    s.archive_size = size;
    bytes_staged = 0;
    if (s.archive_file != INVALID_HANDLE_VALUE && payload)
        WriteFile(s.archive_file, payload, size, &bytes_staged, NULL);
    if (s.archive_file == INVALID_HANDLE_VALUE || !payload || bytes_staged != s.archive_size) {
        if (s.archive_file != INVALID_HANDLE_VALUE)
            CloseHandle(s.archive_file);
        s.archive_file = INVALID_HANDLE_VALUE;
        message_box(load_string(IDS_CANNOT_OPEN), MB_OK | ICON_STOP);
        return false;
    }
    s.archive_size >>= 10;  // whole KiB from here on

    if (!CloseHandle(s.archive_file))
        message_box(load_string(IDS_CANNOT_CLOSE), MB_OK | ICON_STOP);
    s.archive_file = CreateFileA(staged_path, GENERIC_READ, FILE_SHARE_READ, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (s.archive_file == INVALID_HANDLE_VALUE) {
        message_box(load_string(IDS_CANNOT_OPEN), MB_OK | ICON_STOP);
        return false;
    }
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

// The main dialog (MAINDIALOG) and the install flow it runs from its Install command.
//
// Controls: 102 product paragraph, 101 destination folder, 1 Install, 2 Abort (also Esc and
// the close box), 100 Browse, 103 about line, and during the extraction the file being written.
#include "app/main_dialog.h"
#include "app/archive_messages.h"
#include "app/interface_choice.h"
#include "app/registry.h"
#include "app/state.h"
#include "app/strings.h"
#include "app/version.h"
#include "app/window_position.h"
#include "archive/check.h"
#include "archive/entry_names.h"
#include "archive/extract.h"
#include "archive/preflight.h"
#include "base/system_library.h"
#include "base/text.h"
#include "res/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

static const char DEFAULT_DESTINATION[] = "C:\\PROGRAM FILES\\KAVLIN";

// The dialog's own state while it runs (there is one main dialog per process).
static struct {
    HWND window;            // the dialog: owner of every message box while it exists
    HWND progress_bar;      // created by Install, moved by the archive walks
    DWORD bar_blocks;       // how many blocks the bar draws when full
    int bar_block;          // the block the bar last reached; -1 before any
    DWORD status_shown;     // tick count when the status line last changed; 0 before any
    char pending[PATH_SIZE];    // a file's path not shown yet (see report_status); "" when none
    DWORD pumped;           // tick count of the last message pumped between files; 0 before any
    bool extracting;        // the walks run: Install and Browse are held off
    bool abort_requested;   // Abort pressed during the walks: they stop before the next file
} dialog_state;

// Sets a control's text to a loaded string, or empties it when there is none.
static void set_loaded_text(HWND dialog, int control, int id)
{
    const char *text = load_string(id);
    SetDlgItemTextA(dialog, control, text ? text : "");
}

static BOOL on_init(HWND dialog)
{
    char title[PATH_SIZE];
    char about[PATH_SIZE];
    char preset[REGISTRY_TEXT_SIZE + 1];
    const char *loaded = load_string(IDS_TITLE);

    if (!text_copy(title, loaded ? loaded : "", sizeof title))
        title[0] = 0;
    center_window(dialog);
    SetWindowTextA(dialog, title);
    set_loaded_text(dialog, IDC_PRODUCT_TEXT, IDS_PRODUCT);

    text_copy(about, title, sizeof about);
    text_append(about, KAVLIN_VERSION_SHORT, sizeof about);
    text_append(about, "\r\n", sizeof about);
    text_append(about, KAVLIN_NOTICE, sizeof about);
    SetDlgItemTextA(dialog, IDC_STATUS, about);

    set_loaded_text(dialog, IDC_INSTALL, IDS_INSTALL);
    set_loaded_text(dialog, IDC_ABORT, IDS_ABORT);
    set_loaded_text(dialog, IDC_BROWSE, IDS_BROWSE);

    HKEY key = open_product_key(HKEY_CURRENT_USER);
    bool found = find_product_value(key, "Current_Dir", preset);
    SetDlgItemTextA(dialog, IDC_DESTINATION, found ? preset : DEFAULT_DESTINATION);
    if (key)
        RegCloseKey(key);

    GetDlgItemTextA(dialog, IDC_DESTINATION, installer.destination_folder, PATH_SIZE);
    dialog_state.window = dialog;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// The archive walks as the user sees them: the file being written in the status line, the
// progress bar, failures in message boxes, and one message of the dialog's queue between files.
//
// Redrawing costs far more than unpacking a small file, and thousands of redraws a second show
// the user nothing: a small file's path waits until the line has stood for STATUS_INTERVAL_MS
// (it is shown at the next file after that, before any failure, and when the walk ends, so the
// line never stays on an older file for long), while a file large enough to take a while always
// has its path shown at once; and the bar moves when it reaches a new block (the bar draws
// blocks two thirds of its height wide). Looking at the queue is costly too (the window system
// is asked each time): between small files it is looked at every PUMP_INTERVAL_MS, which keeps
// Abort and repainting prompt.
enum { STATUS_INTERVAL_MS = 40, LARGE_FILE_BYTES = 65536, PUMP_INTERVAL_MS = 20 };

// True, and the time noted, when `*last` lies `interval` or more ticks back (or was never set).
static bool interval_passed(DWORD *last, DWORD interval)
{
    DWORD now = GetTickCount();
    if (*last && now - *last < interval)
        return false;
    *last = now ? now : 1;
    return true;
}

// Shows the path that waits for the status line, if any.
static void show_pending_status(void)
{
    if (!dialog_state.pending[0])
        return;
    // Drawn at once, and the queue looked at after this file whatever the interval, so that
    // what was drawn also reaches the screen where the window system waits for the queue.
    HWND line = GetDlgItem(dialog_state.window, IDC_STATUS);
    SetWindowTextA(line, dialog_state.pending);
    UpdateWindow(line);
    dialog_state.pending[0] = 0;
    dialog_state.pumped = 0;
}

static void report_status(void *context, const char *path, uint32_t size)
{
    text_copy(dialog_state.pending, path, sizeof dialog_state.pending);
    if (size >= LARGE_FILE_BYTES || interval_passed(&dialog_state.status_shown, STATUS_INTERVAL_MS))
        show_pending_status();
}

static void report_progress(void *context, uint32_t kib)
{
    DWORD range = installer.archive_size & 0xFFFF;
    if (!dialog_state.progress_bar)
        return;
    int block = range ? (int)((unsigned long long)kib * dialog_state.bar_blocks / range) : 0;
    if (block == dialog_state.bar_block)
        return;
    dialog_state.bar_block = block;
    SendMessageA(dialog_state.progress_bar, PBM_SETPOS, kib, 0);
    UpdateWindow(dialog_state.progress_bar);
    dialog_state.pumped = 0;
}

static void report_problem(void *context, const ArchiveProblem *problem)
{
    show_pending_status();
    show_archive_problem(dialog_state.window, problem);
}

static bool stop_requested(void *context)
{
    MSG message;
    if (dialog_state.pending[0] && interval_passed(&dialog_state.status_shown, STATUS_INTERVAL_MS))
        show_pending_status();
    if (interval_passed(&dialog_state.pumped, PUMP_INTERVAL_MS)
        && PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return dialog_state.abort_requested;
}

// Tells the user that the drive lacks room: how much the installation needs and how much is
// free, in KiB.
static void show_no_space(DWORD needed_kib, DWORD free_kib)
{
    char format[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    const char *loaded = load_string(IDS_NO_SPACE);
    if (!text_copy(format, loaded ? loaded : "", sizeof format))
        format[0] = 0;
    wsprintfA(text, format, needed_kib, free_kib);
    message_box(dialog_state.window, text, MB_OK | MB_ICONHAND);
}

// Checks the whole archive, and probes the files it replaces and the drive's room, then unpacks
// it: a damaged payload, a file that cannot be replaced and a drive too small are found before
// anything is written, and the destination stays as it was. True when every file was written.
static bool install_files(void)
{
    const ArchiveReport report = { report_status, report_progress, report_problem, stop_requested,
                                   NULL };
    const char *destination = installer.destination_folder;
    ZipSource source;
    Preflight preflight;
    DWORD needed_kib, free_kib;

    file_source(&source, installer.archive_file);
    preflight_begin(&preflight, destination);
    const FileProbe probe = preflight_probe(&preflight);
    ArchiveFailure result = check_archive(&source, destination, &report, &probe);
    if (result == ARCHIVE_OK && !preflight_room(&preflight, &needed_kib, &free_kib)) {
        show_no_space(needed_kib, free_kib);
        return false;
    }
    if (result == ARCHIVE_OK) {
        // The bar showed the check; it starts again for the unpacking.
        dialog_state.bar_block = -1;
        report_progress(NULL, 0);
        result = extract_archive(&source, destination, &report);
    }
    // The last file's path stays in the line.
    show_pending_status();
    return result == ARCHIVE_OK;
}

// ---------------------------------------------------------------------------------------------
// The steps of Install.

// A rectangle given in dialog units, in pixels of the dialog's client area: controls added at
// run time then grow with the dialog's font (Large Fonts) as the template's controls do.
static RECT dialog_units_rect(HWND dialog, int left, int top, int width, int height)
{
    RECT r = {left, top, left + width, top + height};
    MapDialogRect(dialog, &r);
    return r;
}

// Empties the status line and moves it under the frame, and puts the progress bar above it,
// ranging over the archive's KiB.
static void show_progress(HWND dialog)
{
    // Under the frame, as wide as it: with the dialog's font at 96 DPI the bar lies at (12, 154),
    // 284 x 10 pixels, and the line at (12, 166), 284 x 14.
    HWND status = GetDlgItem(dialog, IDC_STATUS);
    SetWindowTextA(status, "");
    RECT line = dialog_units_rect(dialog, 8, 102, 189, 9);
    SetWindowPos(status, NULL, line.left, line.top, line.right - line.left, line.bottom - line.top,
                 SWP_NOZORDER);

    // The progress bar's class comes from comctl32.dll; without it the extraction runs barless.
    typedef void(WINAPI *InitProc)(void);
    InitProc init =
        reinterpret_cast<InitProc>(system_procedure("comctl32.dll", "InitCommonControls"));
    if (init)
        init();
    RECT area = dialog_units_rect(dialog, 8, 95, 189, 6);
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, NULL, WS_CHILD | WS_VISIBLE, area.left,
                               area.top, area.right - area.left, area.bottom - area.top, dialog,
                               NULL, installer.module_instance, NULL);
    dialog_state.progress_bar = bar;
    LONG block_width = (area.bottom - area.top) * 2 / 3;
    if (block_width < 1)
        block_width = 1;
    dialog_state.bar_blocks = (DWORD)((area.right - area.left) / block_width);
    dialog_state.bar_block = -1;
    dialog_state.status_shown = 0;
    dialog_state.pending[0] = 0;
    dialog_state.pumped = 0;
    SendMessageA(bar, PBM_SETRANGE, 0, (LPARAM)((installer.archive_size & 0xFFFF) << 16));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
}

static void hide_progress(void)
{
    DestroyWindow(dialog_state.progress_bar);
    dialog_state.progress_bar = NULL;
}

static void enable_commands(HWND dialog, BOOL enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL), enable);
    EnableWindow(GetDlgItem(dialog, IDC_BROWSE), enable);
}

// Runs the walks. They pump messages between files: a second Install and a change of the
// destination are held off while they run; Abort asks them to stop at the next file.
static bool run_walks(HWND dialog)
{
    enable_commands(dialog, FALSE);
    dialog_state.extracting = true;
    dialog_state.abort_requested = false;
    bool installed = install_files();
    dialog_state.extracting = false;
    return installed;
}

// First installation on this machine: ask for the interface and keep the choice.
static void record_interface(HWND dialog)
{
    char data[REGISTRY_TEXT_SIZE + 1];
    HKEY key = open_product_key(HKEY_LOCAL_MACHINE);

    if (!find_product_value(key, "InterfaceIndex", data)) {
        SetupDialogRequest request;
        ask_for_interface(dialog, &request);
        if (request.chosen && key) {
            DWORD index = request.chosen_index;
            RegSetValueExA(key, "InterfaceIndex", 0, REG_DWORD, (const BYTE *)&index, sizeof index);
        }
    }
    if (key)
        RegCloseKey(key);
}

// Opens `name` in the destination folder with its associated program, unless the path would
// not fit a path buffer.
static void open_installed(const char *name, const char *parameters)
{
    char path[PATH_SIZE];
    if (text_copy(path, installer.destination_folder, sizeof path) &&
        text_append(path, name, sizeof path))
        ShellExecuteA(NULL, "open", path, parameters, installer.destination_folder, SW_SHOWNORMAL);
}

static void on_install(HWND dialog)
{
    GetDlgItemTextA(dialog, IDC_DESTINATION, installer.destination_folder, PATH_SIZE);
    normalize_destination(installer.destination_folder);
    show_progress(dialog);
    bool installed = run_walks(dialog);
    if (!installed)
        message_box(dialog, load_string(IDS_ABORTED), MB_OK | MB_ICONWARNING);
    hide_progress();
    EndDialog(dialog, IDC_INSTALL);
    if (!installed)
        return;
    // The dialog closes when this handler returns; until then it owns the setup dialog's
    // reminder.
    record_interface(dialog);
    open_installed("\\Kavlin.exe", "/install");
    open_installed("\\ReadMe.txt", NULL);
}

static void on_abort(HWND dialog)
{
    if (dialog_state.extracting) {
        // The running walk stops before its next file; Install then tells the user.
        dialog_state.abort_requested = true;
        return;
    }
    message_box(dialog, load_string(IDS_ABORTED), MB_OK | MB_ICONWARNING);
    EndDialog(dialog, IDC_ABORT);
}

// Frees a folder item of the shell through the shell's allocator (there is no CoTaskMemFree
// on every system the installer runs on without OLE).
static void free_item(LPITEMIDLIST item)
{
    IMalloc *allocator;
    if (SHGetMalloc(&allocator) == NOERROR) {
        allocator->Free(item);
        allocator->Release();
    }
}

static void on_browse(HWND dialog)
{
    static char browse_title[PATH_SIZE];
    char display_name[MAX_PATH];
    char chosen[MAX_PATH];
    BROWSEINFOA request;
    const char *title = load_string(IDS_SELECT_FOLDER);

    GetDlgItemTextA(dialog, IDC_DESTINATION, installer.destination_folder, PATH_SIZE);
    if (!text_copy(browse_title, title ? title : "", sizeof browse_title))
        browse_title[0] = 0;
    memset(&request, 0, sizeof request);
    request.hwndOwner = dialog;
    request.pidlRoot = NULL;
    request.pszDisplayName = display_name;  // the browser writes up to MAX_PATH characters
    request.lpszTitle = browse_title;
    request.ulFlags = BIF_RETURNONLYFSDIRS;

    LPITEMIDLIST item = SHBrowseForFolderA(&request);
    if (item) {
        // A path too long for the destination buffer leaves the field as it was.
        if (SHGetPathFromIDListA(item, chosen) &&
            !text_copy(installer.destination_folder, chosen, PATH_SIZE))
            GetDlgItemTextA(dialog, IDC_DESTINATION, installer.destination_folder, PATH_SIZE);
        free_item(item);
    }
    SetDlgItemTextA(dialog, IDC_DESTINATION, installer.destination_folder);
}

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG)
        return on_init(window);
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wparam)) {
    case IDC_INSTALL:
        if (!dialog_state.extracting)
            on_install(window);
        break;
    case IDC_ABORT:
        on_abort(window);
        break;
    case IDC_BROWSE:
        if (!dialog_state.extracting)
            on_browse(window);
        break;
    }
    return FALSE;
}

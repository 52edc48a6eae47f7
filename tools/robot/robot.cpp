// The robot's window finding and control access. Every call that talks to a window of another
// thread or process uses a time-out, so that a hung installer fails a test instead of hanging it.
#include "tools/robot/robot.h"

enum { MESSAGE_TEXT_ID = 0xFFFF, SEND_TIMEOUT_MS = 5000, POLL_MS = 30 };

struct FindRequest {
    DWORD process_id;
    const char *title;
    RobotKind kind;
    HWND except;
    HWND found;
};

// A message box holds its text in a static of id 0xFFFF. Dialogs may have statics of that id
// too (id -1, such as a frame), so the static must also be one that shows text.
bool robot_is_message_box(HWND window)
{
    HWND text = GetDlgItem(window, MESSAGE_TEXT_ID);
    if (!text)
        return false;
    LONG type = GetWindowLongA(text, GWL_STYLE) & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
           type == SS_LEFTNOWORDWRAP;
}

static BOOL CALLBACK match_window(HWND window, LPARAM parameter)
{
    FindRequest *request = (FindRequest *)parameter;
    DWORD process_id = 0;
    char name[64];
    char title[512];

    if (request->process_id) {
        GetWindowThreadProcessId(window, &process_id);
        if (process_id != request->process_id)
            return TRUE;
    }
    if (window == request->except || !IsWindowVisible(window) ||
        !GetClassNameA(window, name, sizeof name) || lstrcmpA(name, "#32770") != 0)
        return TRUE;
    if (request->title) {
        GetWindowTextA(window, title, sizeof title);
        if (lstrcmpA(title, request->title) != 0)
            return TRUE;
    }
    if ((request->kind == ROBOT_DIALOG && robot_is_message_box(window)) ||
        (request->kind == ROBOT_MESSAGE_BOX && !robot_is_message_box(window)))
        return TRUE;
    request->found = window;
    return FALSE;
}

HWND robot_window_of(DWORD process_id, const char *title, RobotKind kind, HWND except)
{
    FindRequest request = {process_id, title, kind, except, NULL};
    EnumWindows(match_window, (LPARAM)&request);
    return request.found;
}

void robot_wait_ready(HWND window, DWORD timeout_ms)
{
    DWORD process_id = 0;
    DWORD_PTR result;
    GetWindowThreadProcessId(window, &process_id);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (process) {
        WaitForInputIdle(process, timeout_ms);
        CloseHandle(process);
    }
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &result);
}

HWND robot_find_in(DWORD process_id, const char *title, RobotKind kind, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = robot_window_of(process_id, title, kind, NULL);
        if (window) {
            robot_wait_ready(window, SEND_TIMEOUT_MS);
            return window;
        }
        if (GetTickCount() - start >= timeout_ms)
            return NULL;
        Sleep(POLL_MS);
    }
}

HWND robot_find(const char *title, RobotKind kind, DWORD timeout_ms)
{
    return robot_find_in(0, title, kind, timeout_ms);
}

bool robot_wait_gone(const char *title, RobotKind kind, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (robot_window_of(0, title, kind, NULL)) {
        if (GetTickCount() - start >= timeout_ms)
            return false;
        Sleep(POLL_MS);
    }
    return true;
}

static HWND control_of(HWND window, int control_id)
{
    return control_id == 0 ? window : GetDlgItem(window, control_id);
}

bool robot_text(HWND window, int control_id, char *text, int size)
{
    DWORD_PTR copied = 0;
    HWND control = control_of(window, control_id);
    text[0] = 0;
    if (!control)
        return false;
    return SendMessageTimeoutA(control, WM_GETTEXT, (WPARAM)size, (LPARAM)text, SMTO_ABORTIFHUNG,
                               SEND_TIMEOUT_MS, &copied) != 0;
}

bool robot_set_text(HWND window, int control_id, const char *text)
{
    DWORD_PTR result = 0;
    HWND control = control_of(window, control_id);
    return control && SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG,
                                          SEND_TIMEOUT_MS, &result) != 0;
}

bool robot_click(HWND window, int control_id)
{
    // A posted WM_COMMAND reaches the dialog as a click would, whether or not it is active.
    HWND button = GetDlgItem(window, control_id);
    if (!button)
        return false;
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(control_id, BN_CLICKED), (LPARAM)button) != 0;
}

bool robot_message_text(HWND box, char *text, int size)
{
    return robot_text(box, MESSAGE_TEXT_ID, text, size);
}

bool robot_close(HWND window)
{
    if (robot_is_message_box(window))
        return robot_click(window, IDOK) || robot_click(window, IDCANCEL);
    return PostMessageA(window, WM_CLOSE, 0, 0) != 0;
}

bool robot_rect(HWND window, HWND control, RECT *rect)
{
    if (!control)
        return GetClientRect(window, rect) != 0;
    if (!GetWindowRect(control, rect))
        return false;
    MapWindowPoints(NULL, window, (POINT *)rect, 2);
    return true;
}

void robot_list(HWND window, void (*visit)(HWND control, int id, const char *class_name,
                                           const char *text, void *context), void *context)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64];
        char text[1100];
        DWORD_PTR copied = 0;
        GetClassNameA(child, name, sizeof name);
        text[0] = 0;
        SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                            SEND_TIMEOUT_MS, &copied);
        visit(child, GetDlgCtrlID(child), name, text, context);
    }
}

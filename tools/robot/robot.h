// The robot: finds the installer's windows, reads and sets their controls' texts, presses
// buttons and reads and closes message boxes, as a user would. Used in-process by the Windows
// tests (from a thread of their own while the code under test runs a modal loop) and by the
// command-line robot of the end-to-end tests.
#ifndef KAVLIN_TOOLS_ROBOT_H
#define KAVLIN_TOOLS_ROBOT_H

#include <windows.h>

enum RobotKind { ROBOT_ANY, ROBOT_DIALOG, ROBOT_MESSAGE_BOX };

// Looks once, without waiting, for a visible top-level dialog (class "#32770") of the process
// `process_id` (any process when 0), titled `title` (any title when NULL), of the given kind (a
// message box is told by its static 0xFFFF), other than `except`. Returns NULL when there is
// none.
HWND robot_window_of(DWORD process_id, const char *title, RobotKind kind, HWND except);

// Waits up to `timeout_ms` for such a dialog of any process (robot_find) or of the process
// `process_id` (robot_find_in), then until it is ready for input. Returns NULL on time-out.
HWND robot_find(const char *title, RobotKind kind, DWORD timeout_ms);
HWND robot_find_in(DWORD process_id, const char *title, RobotKind kind, DWORD timeout_ms);

// Waits up to `timeout_ms` until the window's process has finished its initialisation and the
// window answers messages.
void robot_wait_ready(HWND window, DWORD timeout_ms);

// Waits until no visible window of that title and kind is left; false on time-out.
bool robot_wait_gone(const char *title, RobotKind kind, DWORD timeout_ms);

// Text of a control of `window` (id 0 reads the window's own title); false when there is none.
bool robot_text(HWND window, int control_id, char *text, int size);

// Sets a control's text (WM_SETTEXT).
bool robot_set_text(HWND window, int control_id, const char *text);

// Presses a button: posts BM_CLICK, so that a click that opens a modal box does not block.
bool robot_click(HWND window, int control_id);

// True when the window is a message box: a dialog whose text is a static of id 0xFFFF (a
// dialog's frame of id -1 does not count).
bool robot_is_message_box(HWND window);

// Text of a message box (its static 0xFFFF).
bool robot_message_text(HWND box, char *text, int size);

// Closes a message box with its OK button, or a dialog with WM_CLOSE.
bool robot_close(HWND window);

// Rectangle of `control` in the client coordinates of `window` (its parent dialog), as placed
// on the screen; with `control` NULL, the client area of `window` itself.
bool robot_rect(HWND window, HWND control, RECT *rect);

// Calls `visit` for each control of `window`, in z-order (the template's order).
void robot_list(HWND window, void (*visit)(HWND control, int id, const char *class_name,
                                           const char *text, void *context), void *context);

#endif

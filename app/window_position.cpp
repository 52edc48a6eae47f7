// Centring a dialog on the primary screen.
#include "app/window_position.h"

void center_window(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    // Signed arithmetic, truncating toward zero: a window wider than the screen gets a
    // negative place.
    int x = (GetSystemMetrics(SM_CXSCREEN) - outer.right + outer.left) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - outer.bottom + outer.top) / 2;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Where the installer's dialogs go on the screen.
#ifndef KAVLIN_APP_WINDOW_POSITION_H
#define KAVLIN_APP_WINDOW_POSITION_H

#include <windows.h>

// Moves a window so that its outer rectangle is centred on the primary screen, keeping its
// size and its place in the z-order.
void center_window(HWND window);

#endif

// Screenshots of the installer's windows, for the documentation: the window's rectangle as the
// screen shows it, saved as a 24-bit BMP file (the test script turns them into PNG files).
#ifndef KAVLIN_TESTS_E2E_SCREENSHOT_H
#define KAVLIN_TESTS_E2E_SCREENSHOT_H

#include <windows.h>

bool save_screenshot(HWND window, const char *path);

#endif

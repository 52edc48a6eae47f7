// The main dialog (template MAINDIALOG) and the install flow it runs.
#ifndef KAVLIN_APP_MAIN_DIALOG_H
#define KAVLIN_APP_MAIN_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif

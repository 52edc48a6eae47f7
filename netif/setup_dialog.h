// The interface setup dialog (template SETUPDIALOG): the user picks the network interface
// that Kavlin is to measure.
#ifndef KAVLIN_NETIF_SETUP_DIALOG_H
#define KAVLIN_NETIF_SETUP_DIALOG_H

#include <windows.h>

// On OK: sets chosen_interface to the position of the chosen record, and, when there was a
// record to choose, interface_chosen and chosen_index (the record's index, kept past the
// release of the list); ends the dialog with 1.
INT_PTR CALLBACK setup_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif

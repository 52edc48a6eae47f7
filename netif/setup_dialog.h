// The interface setup dialog (template SETUPDIALOG): the user picks the network interface
// that Kavlin is to measure.
#ifndef KAVLIN_NETIF_SETUP_DIALOG_H
#define KAVLIN_NETIF_SETUP_DIALOG_H

#include <windows.h>

struct SetupDialogRequest {
    const char *title;          // in: the window title, in the user's language
    const char *request;        // in: the request text above the list
    void (*remind)(void);       // in: Esc and the close box: reminds the user to confirm with OK
    void (*place)(HWND window); // in: puts the dialog where the installer's dialogs go; NULL
                                //     leaves it where the system put it
    bool chosen;                // out: a record was chosen
    LONG chosen_interface;      // out: its position in the interface list; -1 when none
    WORD chosen_index;          // out: its index (the low 16 bits of ifIndex)
};

// Opens the dialog modally (no owner) and returns when the user has confirmed with OK. The
// dialog reads the interface list through the SNMP extension agent while it initialises, shows
// the failures of that in message boxes of their own (caption "Chyba") before it appears, and
// releases the list on OK; only the choice is left, in `request`.
void run_setup_dialog(HINSTANCE instance, SetupDialogRequest *request);

// The dialog procedure. Its initial parameter is the dialog's own data, which run_setup_dialog
// provides. On OK it fills the request's choice and ends the dialog with 1.
INT_PTR CALLBACK setup_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif

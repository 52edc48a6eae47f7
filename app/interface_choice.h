// The first installation's question: which network interface Kavlin is to measure. The setup
// dialog asks it in the user's language, centred like the installer's other dialogs.
#ifndef KAVLIN_APP_INTERFACE_CHOICE_H
#define KAVLIN_APP_INTERFACE_CHOICE_H

#include "netif/setup_dialog.h"

#include <windows.h>

// Runs the setup dialog with its texts and its reminder (a message box owned by `owner`, the
// main dialog while it exists); returns when the user has confirmed, with the choice in
// `request`.
void ask_for_interface(HWND owner, SetupDialogRequest *request);

#endif

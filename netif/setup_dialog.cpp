// The interface setup dialog (SETUPDIALOG): 102 request text, 1 OK, 101 drop-down list of the
// interfaces. It builds the interface list while it initialises, shows one line per listed
// record and, on OK, keeps the chosen record and releases the list. It cannot be cancelled:
// Esc and the close box only remind the user to confirm with OK.
#include "netif/setup_dialog.h"
#include "netif/interfaces.h"
#include "app/state.h"
#include "app/strings.h"
#include "archive/text.h"
#include "res/resource.h"

namespace {

const char OK_CAPTION[] = "OK";

// A record gets a line when the walk filled it and it is not a loopback interface.
bool record_listed(const InterfaceRecord *record)
{
    return record->filled && record->type != INTERFACE_LOOPBACK_TYPE;
}

LONG record_count()
{
    return installer.interfaces ? installer.interface_count : 0;
}

void fill_interface_list(HWND window)
{
    HWND list = GetDlgItem(window, IDC_INTERFACES);

    for (LONG i = 0; i < record_count(); i++) {
        const InterfaceRecord *record = &installer.interfaces[i];
        if (record_listed(record))
            SendMessageA(list, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)record->description);
    }
    SendMessageA(list, CB_SETCURSEL, 0, 0);
}

// Position in the list of the record shown on `line`: the lines keep the records' order and
// leave out the unlisted ones. No line (an empty list) stands for the first record.
LONG record_of_line(LRESULT line)
{
    if (line < 0)
        return 0;
    for (LONG i = 0; i < record_count(); i++) {
        if (record_listed(&installer.interfaces[i]) && line-- == 0)
            return i;
    }
    return 0;
}

void initialise(HWND window)
{
    char title[TEXT_SIZE];
    const char *text;

    interface_agent_open();
    interface_table_walk();

    text = load_string(IDS_SETUP_TITLE);
    if (!text || !text_copy(title, text, sizeof title))
        title[0] = 0;
    center_window(window);
    SetWindowTextA(window, title);
    text = load_string(IDS_SETUP_REQUEST);
    SetDlgItemTextA(window, IDC_SETUP_TEXT, text ? text : "");
    SetDlgItemTextA(window, IDC_SETUP_OK, OK_CAPTION);
    installer.setup_dialog_window = window;
    fill_interface_list(window);
}

// Keeps the chosen record, taking its index before the list is released. With no record that
// the walk filled there is nothing to choose: the choice is left unmade.
void confirm(HWND window)
{
    LRESULT line = SendDlgItemMessageA(window, IDC_INTERFACES, CB_GETCURSEL, 0, 0);
    LONG position = record_of_line(line);

    if (position < record_count() && installer.interfaces[position].filled) {
        installer.chosen_interface = position;
        installer.chosen_index = installer.interfaces[position].index;
        installer.interface_chosen = true;
    } else {
        installer.chosen_interface = -1;
        installer.interface_chosen = false;
    }
    interface_agent_close();
    EndDialog(window, IDC_SETUP_OK);
}

} // namespace

INT_PTR CALLBACK setup_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        initialise(window);
        return TRUE;
    case WM_COMMAND:
        // By the control id alone; the notification code is not looked at.
        if (LOWORD(wparam) == IDC_SETUP_OK)
            confirm(window);
        else if (LOWORD(wparam) == IDCANCEL)
            message_box(load_string(IDS_SETUP_REMINDER), MB_OK | ICON_WARNING);
        return FALSE;
    default:
        return FALSE;
    }
}

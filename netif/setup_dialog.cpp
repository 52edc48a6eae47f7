// The interface setup dialog (SETUPDIALOG): 102 request text, 1 OK (IDOK), 101 drop-down list of
// the interfaces. It builds the interface list while it initialises, shows one line per listed
// record and, on OK, keeps the chosen record and releases the list. It cannot be cancelled:
// Esc and the close box only remind the user to confirm with OK. The failures of the
// enumeration are shown here too, before the dialog appears.
//
// The dialog's data (the caller's request and the interface list) lives in run_setup_dialog's
// frame and is reached through the window (DWLP_USER).
#include "netif/setup_dialog.h"
#include "netif/interfaces.h"
#include "res/resource.h"

#include <ipifcons.h>

namespace {

const char OK_CAPTION[] = "OK";
const char FAILURE_CAPTION[] = "Chyba";

struct SetupDialog {
    SetupDialogRequest *request;
    InterfaceEnumeration enumeration;
};

// A failure of the enumeration: its fixed Czech text in a box of its own, owned by no window,
// with the exclamation icon and no sound, whatever the user's language.
void show_enumeration_failure(const char *text)
{
    MessageBoxA(NULL, text, FAILURE_CAPTION, MB_ICONWARNING);
}

SetupDialog *dialog_data(HWND window)
{
    return reinterpret_cast<SetupDialog *>(GetWindowLongA(window, DWLP_USER));
}

// A record gets a line when the walk filled what the line shows and the choice stores (its
// description, type and index) and it is not a loopback interface. A record the agent's answers
// did not fill is not listed, so no line ever names nothing.
bool record_listed(const InterfaceRecord *record)
{
    return (record->answered & ANSWERED_LINE_FIELDS) == ANSWERED_LINE_FIELDS &&
           record->type != IF_TYPE_SOFTWARE_LOOPBACK;
}

LONG records_held(const InterfaceEnumeration *enumeration)
{
    return enumeration->interfaces ? enumeration->interface_count : 0;
}

void fill_interface_list(HWND window, const InterfaceEnumeration *enumeration)
{
    HWND list = GetDlgItem(window, IDC_INTERFACES);

    for (LONG i = 0; i < records_held(enumeration); i++) {
        const InterfaceRecord *record = &enumeration->interfaces[i];
        if (record_listed(record))
            SendMessageA(list, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)record->description);
    }
    SendMessageA(list, CB_SETCURSEL, 0, 0);
}

// Position in the list of the record shown on `line`: the lines keep the records' order and
// leave out the unlisted ones. No line (an empty list) stands for the first record.
LONG record_of_line(const InterfaceEnumeration *enumeration, LRESULT line)
{
    if (line < 0)
        return 0;
    for (LONG i = 0; i < records_held(enumeration); i++) {
        if (record_listed(&enumeration->interfaces[i]) && line-- == 0)
            return i;
    }
    return 0;
}

void on_init_dialog(HWND window, SetupDialog *data)
{
    const SetupDialogRequest *request = data->request;

    SetWindowLongA(window, DWLP_USER, reinterpret_cast<LONG>(data));
    interface_agent_open(&data->enumeration, show_enumeration_failure);
    interface_table_walk(&data->enumeration);

    if (request->place)
        request->place(window);
    SetWindowTextA(window, request->title ? request->title : "");
    SetDlgItemTextA(window, IDC_SETUP_TEXT, request->request ? request->request : "");
    SetDlgItemTextA(window, IDOK, OK_CAPTION);
    fill_interface_list(window, &data->enumeration);
}

// Keeps the chosen record, taking its index before the list is released. With no line the
// first record stands for the choice, but only when the agent's answers named it wholly (a list
// of loopback interfaces alone): a record they left partly or wholly unfilled is never chosen,
// and the choice is then left unmade.
void on_ok(HWND window, SetupDialog *data)
{
    SetupDialogRequest *request = data->request;
    const InterfaceEnumeration *enumeration = &data->enumeration;
    LRESULT line = SendDlgItemMessageA(window, IDC_INTERFACES, CB_GETCURSEL, 0, 0);
    LONG position = record_of_line(enumeration, line);

    if (position < records_held(enumeration) &&
        (enumeration->interfaces[position].answered & ANSWERED_LINE_FIELDS) ==
            ANSWERED_LINE_FIELDS) {
        request->chosen = true;
        request->chosen_interface = position;
        request->chosen_index = enumeration->interfaces[position].index;
    } else {
        request->chosen = false;
        request->chosen_interface = -1;
        request->chosen_index = 0;
    }
    interface_agent_close(&data->enumeration);
    EndDialog(window, IDOK);
}

} // namespace

void run_setup_dialog(HINSTANCE instance, SetupDialogRequest *request)
{
    SetupDialog data;

    data.request = request;
    request->chosen = false;
    request->chosen_interface = -1;
    request->chosen_index = 0;
    DialogBoxParamA(instance, "SETUPDIALOG", NULL, setup_dialog_proc,
                    reinterpret_cast<LPARAM>(&data));
}

INT_PTR CALLBACK setup_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    SetupDialog *data;

    switch (message) {
    case WM_INITDIALOG:
        on_init_dialog(window, reinterpret_cast<SetupDialog *>(lparam));
        return TRUE;
    case WM_COMMAND:
        // By the control id alone; the notification code is not looked at.
        data = dialog_data(window);
        if (!data)
            return FALSE;
        if (LOWORD(wparam) == IDOK)
            on_ok(window, data);
        else if (LOWORD(wparam) == IDCANCEL && data->request->remind)
            data->request->remind();
        return FALSE;
    default:
        return FALSE;
    }
}

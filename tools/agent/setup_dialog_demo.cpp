// Opens the interface setup dialog as the main dialog does and prints the choice it leaves:
// for trying the dialog out against the installed agent, and for pictures of it. When
// KAVLIN_DEMO_CONFIRM_MS is set, the dialog confirms itself with OK after that many
// milliseconds.
#include "netif/setup_dialog.h"
#include "app/state.h"
#include "res/resource.h"

#include <stdio.h>
#include <stdlib.h>

static DWORD WINAPI confirm_later(void *delay)
{
    Sleep((DWORD)(UINT_PTR)delay);
    HWND dialog = installer.setup_dialog_window;
    if (dialog)
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETUP_OK, BN_CLICKED),
                     (LPARAM)GetDlgItem(dialog, IDC_SETUP_OK));
    return 0;
}

int main()
{
    char delay[16];
    installer.module_instance = GetModuleHandleA(NULL);
    DWORD length = GetEnvironmentVariableA("KAVLIN_DEMO_CONFIRM_MS", delay, sizeof delay);
    if (length > 0 && length < sizeof delay) {
        UINT_PTR ms = strtoul(delay, NULL, 10);
        CloseHandle(CreateThread(NULL, 0, confirm_later, (void *)ms, 0, NULL));
    }
    INT_PTR result = DialogBoxParamA(installer.module_instance, "SETUPDIALOG", NULL,
                                     setup_dialog_proc, 0);
    printf("result %d\nchosen_interface %ld\nchosen_index %u\ninterface_chosen %d\n",
           (int)result, (long)installer.chosen_interface, (unsigned)installer.chosen_index,
           installer.interface_chosen ? 1 : 0);
    return 0;
}

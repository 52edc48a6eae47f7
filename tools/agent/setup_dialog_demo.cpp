// Opens the interface setup dialog as the main dialog does and prints the choice it leaves:
// for trying the dialog out against the installed agent, and for pictures of it. When
// KAVLIN_DEMO_CONFIRM_MS is set, the dialog confirms itself with OK after that many
// milliseconds.
#include "netif/setup_dialog.h"
#include "app/state.h"
#include "app/strings.h"
#include "base/text.h"
#include "res/resource.h"

#include <stdio.h>
#include <stdlib.h>

static char title[TEXT_SIZE];

static DWORD WINAPI confirm_later(void *delay)
{
    Sleep((DWORD)(UINT_PTR)delay);
    HWND dialog = FindWindowA(MAKEINTATOM(32770), title);
    if (dialog)
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETUP_OK, BN_CLICKED),
                     (LPARAM)GetDlgItem(dialog, IDC_SETUP_OK));
    return 0;
}

static void copy_loaded(char *target, int id)
{
    const char *text = load_string(id);
    if (!text || !text_copy(target, text, TEXT_SIZE))
        target[0] = 0;
}

int main()
{
    char delay[16];
    char request_text[TEXT_SIZE];
    installer.module_instance = GetModuleHandleA(NULL);
    copy_loaded(title, IDS_SETUP_TITLE);
    copy_loaded(request_text, IDS_SETUP_REQUEST);
    DWORD length = GetEnvironmentVariableA("KAVLIN_DEMO_CONFIRM_MS", delay, sizeof delay);
    if (length > 0 && length < sizeof delay) {
        UINT_PTR ms = strtoul(delay, NULL, 10);
        CloseHandle(CreateThread(NULL, 0, confirm_later, (void *)ms, 0, NULL));
    }
    SetupDialogRequest request = {};
    request.title = title;
    request.request = request_text;
    request.remind = [] { message_box(load_string(IDS_SETUP_REMINDER), MB_OK | MB_ICONWARNING); };
    request.place = center_window;
    run_setup_dialog(installer.module_instance, &request);
    printf("chosen %d\nchosen_interface %ld\nchosen_index %u\n", request.chosen ? 1 : 0,
           (long)request.chosen_interface, (unsigned)request.chosen_index);
    return 0;
}

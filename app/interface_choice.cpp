// The setup dialog, asked from the installer: its texts, its reminder, its place.
#include "app/interface_choice.h"
#include "app/state.h"
#include "app/strings.h"
#include "app/window_position.h"
#include "res/resource.h"

// The owner of the reminder while the dialog runs (the dialog's reminder takes no context).
static HWND reminder_owner;

static void remind(void)
{
    message_box(reminder_owner, load_string(IDS_SETUP_REMINDER), MB_OK | MB_ICONWARNING);
}

// Copies the text of `id` into `target` (PATH_SIZE bytes): the loader has one shared buffer.
static void copy_loaded(char *target, int id)
{
    const char *text = load_string(id);
    if (!text || !text_copy(target, text, PATH_SIZE))
        target[0] = 0;
}

void ask_for_interface(HWND owner, SetupDialogRequest *request)
{
    char title[PATH_SIZE];
    char request_text[PATH_SIZE];

    copy_loaded(title, IDS_SETUP_TITLE);
    copy_loaded(request_text, IDS_SETUP_REQUEST);
    memset(request, 0, sizeof *request);
    request->title = title;
    request->request = request_text;
    request->remind = remind;
    request->place = center_window;
    reminder_owner = owner;
    run_setup_dialog(installer.module_instance, request);
    request->title = NULL;
    request->request = NULL;
}

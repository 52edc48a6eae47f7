// The command-line robot, for scripts: finds a dialog by title and reads, sets or presses its
// controls, or reads and closes message boxes. Titles and texts are given and printed in UTF-8
// and converted to and from the ANSI code page of the locale the robot runs in.
//
//   robot wait TITLE [dialog|message|any] [MS]   wait until the window is up
//   robot gone TITLE [dialog|message|any] [MS]   wait until it is gone
//   robot list TITLE                             print "id class text" per control
//   robot text TITLE ID                          print a control's text (ID 0: the title)
//   robot set TITLE ID TEXT                      set a control's text
//   robot click TITLE ID                         press a button
//   robot rect TITLE ID                          print "left top right bottom" of a control in
//                                                the dialog's client area (ID 0: the area)
//   robot message [TITLE] [MS]                   print the text of a message box
//   robot close-message [TITLE] [MS]             close a message box with OK
//   robot close-window CLASS [MS]                close a top-level window of that class
// Exit status: 0 done, 1 window or control not found, 2 usage.
#include "tools/robot/robot.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char *convert(const char *text, UINT from, UINT to)
{
    int wide_count = MultiByteToWideChar(from, 0, text, -1, NULL, 0);
    wchar_t *wide = (wchar_t *)malloc(sizeof(wchar_t) * (wide_count + 1));
    MultiByteToWideChar(from, 0, text, -1, wide, wide_count);
    int count = WideCharToMultiByte(to, 0, wide, -1, NULL, 0, NULL, NULL);
    char *result = (char *)malloc(count + 1);
    WideCharToMultiByte(to, 0, wide, -1, result, count, NULL, NULL);
    free(wide);
    return result;
}

static void print_text(const char *ansi)
{
    char *utf8 = convert(ansi, CP_ACP, CP_UTF8);
    fputs(utf8, stdout);
    fputc('\n', stdout);
    free(utf8);
}

static RobotKind kind_of(const char *word)
{
    if (word && strcmp(word, "message") == 0)
        return ROBOT_MESSAGE_BOX;
    if (word && strcmp(word, "any") == 0)
        return ROBOT_ANY;
    return ROBOT_DIALOG;
}

static void print_control(HWND, int id, const char *class_name, const char *text, void *)
{
    char *utf8 = convert(text, CP_ACP, CP_UTF8);
    printf("%d %s %s\n", id, class_name, utf8);
    free(utf8);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *command = argv[1];
    char *title = argc > 2 && argv[2][0] ? convert(argv[2], CP_UTF8, CP_ACP) : NULL;
    DWORD timeout = 10000;
    char text[2048];

    if (strcmp(command, "message") == 0 || strcmp(command, "close-message") == 0) {
        if (argc > 3)
            timeout = (DWORD)atol(argv[3]);
        HWND box = robot_find(title, ROBOT_MESSAGE_BOX, timeout);
        if (!box)
            return 1;
        if (command[0] == 'm') {
            robot_message_text(box, text, sizeof text);
            print_text(text);
            return 0;
        }
        return robot_close(box) ? 0 : 1;
    }
    if (!title)
        return 2;
    if (strcmp(command, "close-window") == 0) {
        // Windows that are no dialogs, such as the viewer a document opened in.
        if (argc > 3)
            timeout = (DWORD)atol(argv[3]);
        for (DWORD waited = 0;; waited += 100) {
            HWND window = FindWindowA(title, NULL);
            if (window)
                return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
            if (waited >= timeout)
                return 1;
            Sleep(100);
        }
    }
    if (strcmp(command, "wait") == 0 || strcmp(command, "gone") == 0) {
        if (argc > 4)
            timeout = (DWORD)atol(argv[4]);
        RobotKind kind = kind_of(argc > 3 ? argv[3] : NULL);
        if (command[0] == 'g')
            return robot_wait_gone(title, kind, timeout) ? 0 : 1;
        return robot_find(title, kind, timeout) ? 0 : 1;
    }

    HWND window = robot_find(title, ROBOT_DIALOG, timeout);
    if (!window)
        return 1;
    if (strcmp(command, "list") == 0) {
        robot_list(window, print_control, NULL);
        return 0;
    }
    if (argc < 4)
        return 2;
    int id = atoi(argv[3]);
    if (strcmp(command, "text") == 0) {
        if (!robot_text(window, id, text, sizeof text))
            return 1;
        print_text(text);
        return 0;
    }
    if (strcmp(command, "set") == 0 && argc > 4) {
        char *value = convert(argv[4], CP_UTF8, CP_ACP);
        return robot_set_text(window, id, value) ? 0 : 1;
    }
    if (strcmp(command, "click") == 0)
        return robot_click(window, id) ? 0 : 1;
    if (strcmp(command, "rect") == 0) {
        RECT r;
        HWND control = id ? GetDlgItem(window, id) : NULL;
        if ((id && !control) || !robot_rect(window, control, &r))
            return 1;
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    return 2;
}

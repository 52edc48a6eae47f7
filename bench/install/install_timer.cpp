// The stopwatch of the install-time benchmark. It runs inside the Wine prefix being measured,
// starts the installer as a child process and drives it itself, so that no robot process has to
// start between the events it times (a process start costs more than a small installation).
//
//   install-timer kavlin SETUP.EXE FOLDER [LAUNCH_MS [LIMIT_MS]]
//       Starts the installer, waits for its main dialog, puts FOLDER in the destination field and
//       presses Install; confirms the interface setup dialog if one appears; waits for the
//       process to end; then closes what the installation started: the installed program's
//       message box "Kavlin" and Notepad with the read-me (waiting up to LAUNCH_MS for them).
//   install-timer run PROGRAM [ARGUMENT...]
//       Starts PROGRAM with the arguments (joined by blanks, as given) and waits for its end.
//   install-timer noop
//       Ends at once: the empty process whose start the benchmark prints beside its figures.
//
// Prints one line of NAME=VALUE fields; times are milliseconds since the call that starts the
// child process:
//   kavlin: dialog (main dialog ready), pressed (Install pressed), extracted (the main dialog
//           closed: the extraction is over), setup (setup dialog shown, 0 when none), end
//           (process ended), closed (which of kavlin/notepad were closed), failed (the text of
//           a message box the installer showed during the extraction, if any);
//   run:    end, exit (exit code).
// Exit status: 0 done, 1 failure (the installer reported one, or a time-out), 2 usage.
#include "tools/robot/robot.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The main dialog appears once the payload archive is staged: long for a large one under qemu.
enum { POLL_MS = 5, READY_MS = 10000, DIALOG_MS = 600000 };

static LARGE_INTEGER frequency, started;

static void start_clock(void)
{
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
}

static double elapsed_ms(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - started.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

static bool start_process(char *command_line, PROCESS_INFORMATION *info)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    start_clock();
    if (!CreateProcessA(NULL, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, info)) {
        printf("failed=cannot start (error %lu)\n", GetLastError());
        return false;
    }
    CloseHandle(info->hThread);
    return true;
}

// Closes the installed program's message box and Notepad once they are up; true for each one
// that was closed.
static void close_launched(DWORD wait_ms, bool *box_closed, bool *notepad_closed)
{
    DWORD start = GetTickCount();
    *box_closed = *notepad_closed = false;
    while (!(*box_closed && *notepad_closed) && GetTickCount() - start < wait_ms) {
        if (!*box_closed) {
            HWND box = robot_find("Kavlin", ROBOT_MESSAGE_BOX, 0);
            if (box)
                *box_closed = robot_close(box) && robot_wait_gone("Kavlin", ROBOT_MESSAGE_BOX, READY_MS);
        }
        if (!*notepad_closed) {
            HWND notepad = FindWindowA("Notepad", NULL);
            if (notepad && IsWindowVisible(notepad)) {
                PostMessageA(notepad, WM_CLOSE, 0, 0);
                DWORD closing = GetTickCount();
                while (IsWindow(notepad) && GetTickCount() - closing < READY_MS)
                    Sleep(20);
                *notepad_closed = !IsWindow(notepad);
            }
        }
        Sleep(50);
    }
}

static int time_kavlin(const char *setup, const char *folder, DWORD launch_ms, DWORD limit_ms)
{
    char command_line[MAX_PATH + 3];
    PROCESS_INFORMATION info;
    double dialog = 0, pressed = 0, extracted = 0, setup_shown = 0, end = 0;
    char failure[512] = "";

    _snprintf(command_line, sizeof command_line, "\"%s\"", setup);
    command_line[sizeof command_line - 1] = 0;
    if (!start_process(command_line, &info))
        return 1;

    HWND main_dialog = NULL;
    while (!main_dialog) {
        if (WaitForSingleObject(info.hProcess, POLL_MS) == WAIT_OBJECT_0 || elapsed_ms() > DIALOG_MS) {
            printf("failed=no main dialog\n");
            TerminateProcess(info.hProcess, 1);
            return 1;
        }
        main_dialog = robot_window_of(info.dwProcessId, NULL, ROBOT_DIALOG, NULL);
    }
    robot_wait_ready(main_dialog, READY_MS);
    dialog = elapsed_ms();
    robot_set_text(main_dialog, 101, folder);
    pressed = elapsed_ms();
    robot_click(main_dialog, 1);

    // The main dialog closes when the extraction is over, before the installer goes on to the
    // setup dialog (first installation only) and the launches. A failure shows a message box
    // first.
    unsigned polls = 0;
    bool timed_out = false;
    while (WaitForSingleObject(info.hProcess, POLL_MS) == WAIT_TIMEOUT) {
        if (!extracted && !IsWindowVisible(main_dialog))
            extracted = elapsed_ms();
        // A failure's message box, and the abort notice after it: keep the first text, close
        // every box so that the installer can end.
        if ((!extracted || failure[0]) && ++polls % 20 == 0) {
            HWND box = robot_window_of(info.dwProcessId, NULL, ROBOT_MESSAGE_BOX, NULL);
            if (box) {
                if (!failure[0]) {
                    robot_message_text(box, failure, sizeof failure);
                    if (!failure[0])
                        lstrcpyA(failure, "(message box)");
                }
                robot_close(box);
            }
        }
        if (extracted && !setup_shown) {
            HWND setup_dialog = robot_window_of(info.dwProcessId, NULL, ROBOT_DIALOG, main_dialog);
            if (setup_dialog) {
                setup_shown = elapsed_ms();
                robot_wait_ready(setup_dialog, READY_MS);
                robot_click(setup_dialog, 1);
            }
        }
        if (elapsed_ms() > limit_ms) {
            timed_out = true;
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, READY_MS);
            break;
        }
    }
    end = elapsed_ms();
    if (!extracted)
        extracted = end;   // the process ended between two looks

    bool box_closed = false, notepad_closed = false;
    if (!timed_out && !failure[0])
        close_launched(launch_ms, &box_closed, &notepad_closed);
    printf("dialog=%.1f pressed=%.1f extracted=%.1f setup=%.1f end=%.1f closed=%s%s%s",
           dialog, pressed, extracted, setup_shown, end, box_closed ? "kavlin" : "",
           box_closed && notepad_closed ? "+" : "", notepad_closed ? "notepad" : "");
    if (timed_out)
        printf(" failed=time-out after %lu ms", limit_ms);
    else if (failure[0]) {
        for (char *p = failure; *p; p++)
            if (*p == '\r' || *p == '\n')
                *p = ' ';
        printf(" failed=%s", failure);
    }
    printf("\n");
    CloseHandle(info.hProcess);
    return timed_out || failure[0] ? 1 : 0;
}

static int time_run(int count, char **arguments)
{
    char command_line[4096];
    PROCESS_INFORMATION info;
    DWORD exit_code = 0;

    int used = _snprintf(command_line, sizeof command_line, "\"%s\"", arguments[0]);
    for (int i = 1; i < count && used > 0 && used < (int)sizeof command_line; i++)
        used += _snprintf(command_line + used, sizeof command_line - used, " %s", arguments[i]);
    if (used <= 0 || used >= (int)sizeof command_line)
        return 2;
    if (!start_process(command_line, &info))
        return 1;
    WaitForSingleObject(info.hProcess, INFINITE);
    double end = elapsed_ms();
    GetExitCodeProcess(info.hProcess, &exit_code);
    CloseHandle(info.hProcess);
    printf("end=%.1f exit=%lu\n", end, exit_code);
    return 0;
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc >= 2 && strcmp(argv[1], "noop") == 0)
        return 0;
    if (argc >= 4 && strcmp(argv[1], "kavlin") == 0)
        return time_kavlin(argv[2], argv[3], argc > 4 ? (DWORD)atol(argv[4]) : 30000,
                           argc > 5 ? (DWORD)atol(argv[5]) : 4 * 3600 * 1000UL);
    if (argc >= 3 && strcmp(argv[1], "run") == 0)
        return time_run(argc - 2, argv + 2);
    fprintf(stderr, "usage: install-timer kavlin SETUP.EXE FOLDER [LAUNCH_MS [LIMIT_MS]]\n"
                    "       install-timer run PROGRAM [ARGUMENT...]\n"
                    "       install-timer noop\n");
    return 2;
}

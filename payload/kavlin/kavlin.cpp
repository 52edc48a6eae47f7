// Kavlin.exe as the installer ships it for now: a small window that says the program is
// installed and which arguments it was started with. Built with KAVLIN_RECORD_START it is the
// tests' payload program instead: it writes its command line and working directory to
// "KavlinStarted.txt" in its working directory and ends at once. Like the installer it links no
// C runtime (whose start-up code needs a newer processor than the 80386 the product runs on):
// kavlin_program_start is the process's first code.
#include <windows.h>

static const char *arguments_of(const char *command_line)
{
    // Skip the program name, quoted or not, and the blanks after it.
    const char *p = command_line;
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p)
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

#ifdef KAVLIN_RECORD_START
static int run(void)
{
    char directory[MAX_PATH];
    char record[3 * MAX_PATH];
    DWORD written;

    GetCurrentDirectoryA(sizeof directory, directory);
    wsprintfA(record, "arguments=%s\r\ndirectory=%s\r\n", arguments_of(GetCommandLineA()), directory);
    HANDLE file = CreateFileA("KavlinStarted.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    WriteFile(file, record, lstrlenA(record), &written, NULL);
    CloseHandle(file);
    return 0;
}
#else
static int run(void)
{
    char text[512];
    const char *arguments = arguments_of(GetCommandLineA());
    wsprintfA(text, "Kavlin is installed.\n\nArguments: %s", *arguments ? arguments : "(none)");
    MessageBoxA(NULL, text, "Kavlin", MB_OK | MB_ICONINFORMATION);
    return 0;
}
#endif

extern "C" void WINAPI kavlin_program_start(void)
{
    ExitProcess((UINT)run());
}

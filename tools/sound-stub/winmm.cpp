// A stand-in for winmm.dll's sndPlaySoundA, for the tests: it plays nothing and appends the
// name of each sound asked for to the file that KAVLIN_SOUND_LOG names, so that a test can see
// which sound a message box asked for. Where Wine runs 32-bit programs through qemu, its own
// sound thread racing a message box crashes the process; without that thread nothing does.
#include <windows.h>

extern "C" BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags)
{
    char path[MAX_PATH];
    DWORD written;
    if (!sound || !GetEnvironmentVariableA("KAVLIN_SOUND_LOG", path, sizeof path))
        return TRUE;
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return TRUE;
    WriteFile(log, sound, lstrlenA(sound), &written, NULL);
    WriteFile(log, "\r\n", 2, &written, NULL);
    CloseHandle(log);
    return TRUE;
}

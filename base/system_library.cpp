// Loading of system DLLs by full path.
#include "base/system_library.h"
#include "base/text.h"

typedef BOOL(WINAPI *SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL(WINAPI *SetDllDirectoryProc)(LPCSTR);

enum { SEARCH_SYSTEM32 = 0x00000800 };     // LOAD_LIBRARY_SEARCH_SYSTEM32

void restrict_dll_search(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc set_default = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        GetProcAddress(kernel, "SetDefaultDllDirectories"));
    if (set_default && set_default(SEARCH_SYSTEM32))
        return;
    SetDllDirectoryProc set_directory =
        reinterpret_cast<SetDllDirectoryProc>(GetProcAddress(kernel, "SetDllDirectoryA"));
    if (set_directory)
        set_directory("");
}

HMODULE load_system_library(const char *file)
{
    char path[MAX_PATH + 32];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !text_append(path, "\\", sizeof path)
        || !text_append(path, file, sizeof path))
        return NULL;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC system_procedure(const char *file, const char *name)
{
    HMODULE library = load_system_library(file);
    return library ? GetProcAddress(library, name) : NULL;
}

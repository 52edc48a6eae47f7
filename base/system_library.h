// The system's DLLs that the installer needs beyond the few every process has (kernel32,
// user32, gdi32, advapi32, shell32), loaded by their full path in the system folder at first
// use. A DLL named in the import table would be looked for in the installer's own folder first
// (a download folder, where anybody can leave a DLL of that name) before any of the
// installer's code runs.
#ifndef KAVLIN_APP_SYSTEM_LIBRARY_H
#define KAVLIN_APP_SYSTEM_LIBRARY_H

#include <windows.h>

// Keeps later loads out of the installer's folder and the current folder where the system can:
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), else SetDllDirectoryA(""). Windows
// 95 and NT 4.0 have neither; there, every DLL is loaded by its full path anyway.
void restrict_dll_search(void);

// Loads `file` (e.g. "comctl32.dll") from the system folder, its own imports resolved from
// there as well; NULL when it cannot be loaded.
HMODULE load_system_library(const char *file);

// The entry point `name` of the system DLL `file`, or NULL when either is missing. The DLL
// stays loaded for the rest of the process.
FARPROC system_procedure(const char *file, const char *name);

#endif

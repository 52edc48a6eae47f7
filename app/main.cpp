// The entry point. The installer links no C runtime, so this is the process's first code.
#include "app/startup.h"

extern "C" void WINAPI kavlin_start(void)
{
    ExitProcess((UINT)run_installer(GetModuleHandleA(NULL)));
}

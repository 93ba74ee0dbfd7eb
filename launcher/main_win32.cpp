// Tovinel: the Windows entry point, in place of a C runtime's start-up code.
// Gathers the command line and the instance, runs the launcher entry and ends the process.
#include <windows.h>

#include "startup.h"

// Named as the linker's entry symbol (see the build); stdcall and no arguments, as Windows calls it.
extern "C" void WINAPI tovinel_start()
{
    const char* tail = command_line_tail(GetCommandLineA());
    // The show state is ignored by the entry, so none is asked of the platform.
    ExitProcess(launcher_entry(GetModuleHandleA(nullptr), nullptr, tail, SW_SHOWDEFAULT));
}

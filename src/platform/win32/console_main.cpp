// stravikc.exe: the removal for deployment tools. It runs the window's own
// operations without a window, prints what became of each target, appends
// a record of the run to a log, and says how it went in its exit code.

#include <vector>

#include "console/console_program.h"
#include "platform/win32/console_host.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_libraries.h"
#include "platform/win32/win32_platform.h"

int wmain(int argc, wchar_t** argv) {
    // Run elevated or as SYSTEM: no library may come from the program's
    // folder or the current directory.
    stravik::win32::restrictLibrarySearchToSystemDirectory();
    const stravik::win32::ComApartment apartment;
    stravik::win32::Win32Platform machine;
    const auto host = stravik::win32::makeConsoleHost();
    return stravik::console::runConsoleProgram(*host, machine,
                                               std::vector<stravik::Text>(argv + 1, argv + argc));
}

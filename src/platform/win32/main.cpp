// stravik.exe: removes the Halvoran OCX and its traces from this PC.

#include "platform/win32/handles.h"
#include "platform/win32/main_window.h"
#include "platform/win32/system_libraries.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The program runs elevated: no library may come from its own folder
    // or the current directory.
    stravik::win32::restrictLibrarySearchToSystemDirectory();

    const stravik::win32::ComApartment apartment;
    stravik::win32::Win32Platform platform;
    stravik::win32::MainWindow window(instance, platform);
    return window.run(showCommand);
}

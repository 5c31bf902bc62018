#pragma once

// stravikc, whole: the command line, the log and its record of the run,
// the console, the removal through the machine's platform, and the exit
// code. The system it runs on supplies a ConsoleHost and the platform.

#include <vector>

#include "console/console_host.h"
#include "platform/platform_services.h"

namespace stravik::console {

// `arguments` are those after the program's name. The platform's messages
// go to the console and the record instead of message boxes.
int runConsoleProgram(ConsoleHost& host, PlatformServices& machine,
                      const std::vector<Text>& arguments);

}  // namespace stravik::console

#pragma once

// The console program's system on the stand-in machine's host, POSIX: log
// paths are the host's own, relative to the current directory; the
// console is UTF-8, which the host's terminals show.

#include <memory>
#include <string>
#include <vector>

#include "console/console_host.h"

namespace stravik::portable {

// `arguments` are the program's, its name first, as main has them; the
// command line is their words joined by spaces, a word with a space (or
// none at all) in double quotes.
std::unique_ptr<console::ConsoleHost> makeConsoleHost(std::vector<std::string> arguments);

}  // namespace stravik::portable

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "console/console_program.h"
#include "platform/portable/console_host.h"
#include "platform/portable/portable_platform.h"
#include "platform/portable/utf8.h"

// The portable stravikc: the current directory is the whole machine.
int main(int argc, char** argv) {
    std::vector<stravik::Text> arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.push_back(stravik::portable::decodeUtf8(argv[index]));
    }
    const auto host =
        stravik::portable::makeConsoleHost(std::vector<std::string>(argv, argv + argc));
    const auto machine = stravik::portable::makePortablePlatform(
        std::filesystem::current_path(), ::geteuid() == 0, std::cin, std::cout);
    return stravik::console::runConsoleProgram(*host, *machine, arguments);
}

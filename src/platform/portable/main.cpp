#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "platform/portable/portable_platform.h"

// The portable removal tool: the current directory is the whole machine.
int main() {
    return stravik::portable::runPortableProgram(std::filesystem::current_path(), ::geteuid() == 0,
                                                 std::cin, std::cout);
}

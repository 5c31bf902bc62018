#pragma once

// The platform of the portable build: a stand-in machine rooted at a folder
// (registry.reg, drive_<letter>/ folders), its window and message boxes
// drawn as text on a console and answered with lines of input.

#include <filesystem>
#include <iosfwd>
#include <memory>

#include "platform/platform_services.h"

namespace stravik::portable {

// `administrator` is what the shell's administrator test answers; the
// program passes whether it runs as root.
std::unique_ptr<PlatformServices> makePortablePlatform(std::filesystem::path machineRoot,
                                                       bool administrator, std::istream& input,
                                                       std::ostream& output);

// The window's life on such a platform: creates the form, delivers load,
// then the clicks read from the console ("r" Remove, "e" Exit) until the
// program is ended or the input ends (the window is closed by its title
// bar). Returns the exit status.
int runPortableProgram(std::filesystem::path machineRoot, bool administrator, std::istream& input,
                       std::ostream& output);

}  // namespace stravik::portable

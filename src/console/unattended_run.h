#pragma once

// The console program's run: the window's own operations, driven without
// a window, with an account of every target and an exit code that the
// tools running it unattended understand.

#include <string_view>

#include "console/command_line.h"
#include "platform/platform_services.h"

namespace stravik::console {

// Where the run's lines go (the console and the log). The platform's
// messages go there too.
class Output {
public:
    virtual ~Output() = default;
    virtual void line(const Text& text) = 0;
};

namespace exitCode {
constexpr int nothingLeft = 0;
constexpr int found = 1;
constexpr int badCommandLine = 87;
constexpr int elevationRequired = 740;
constexpr int restartNeeded = 3010;
}  // namespace exitCode

// Runs a check or a remove through RemovalForm on `platform`, telling
// `output` what became of each target, and returns the exit code.
int runCommand(PlatformServices& platform, const CommandLine& command, Output& output);

// "removed", "not there", ... as the account says it.
std::wstring_view fateText(Fate fate);

}  // namespace stravik::console

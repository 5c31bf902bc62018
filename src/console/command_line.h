#pragma once

// The console program's command line:
//   stravikc check  [/machine | /user] [/drive X] [/log FILE] [/quiet]
//   stravikc remove [/machine | /user] [/drive X] [/log FILE] [/quiet]
//   stravikc /?
// Options may be written /name, -name or --name, in any case.

#include <optional>
#include <string_view>
#include <vector>

#include "shell/target_report.h"

namespace stravik::console {

enum class Action { check, remove, help };

struct CommandLine {
    Action action = Action::help;
    Scope scope = Scope::everything;
    // The install drive's letter (upper case), or empty for the one the
    // machine records.
    Text installDrive;
    std::optional<Text> logPath;
    bool quiet = false;
};

// The arguments after the program's name. None when they make no command:
// the caller prints the usage to standard error and touches nothing.
std::optional<CommandLine> parseCommandLine(const std::vector<Text>& arguments);

// The usage and the exit codes, as `/?` prints them.
extern const std::wstring_view usageText;

}  // namespace stravik::console

#pragma once

// The console program's command line:
//   stravikc check  [/machine | /user] [/drive X | /root PATH | /homes PATH] [/log FILE] [/quiet]
//   stravikc remove [/machine | /user] [/drive X | /root PATH | /homes PATH] [/log FILE] [/quiet]
//   stravikc report FOLDER [FOLDER ...] [/csv FILE] [/html FILE] [/computers FILE] [/days N]
//                   [/trustnames]
//   stravikc /?
// Options may be written /name, -name or --name, in any case.

#include <optional>
#include <string_view>
#include <vector>

#include "shell/target_report.h"

namespace stravik::console {

enum class Action { check, remove, report, help };

// `report`: the folders of logs to read, and where to put the views.
struct ReportRequest {
    std::vector<Text> folders;
    std::optional<Text> csvPath;
    std::optional<Text> htmlPath;
    std::optional<Text> computersPath;
    std::optional<int> staleDays;
    // Logs trusted by their place alone, without their owners: for a share
    // on a file system that keeps none.
    bool trustPlaces = false;
};

struct CommandLine {
    Action action = Action::help;
    Scope scope = Scope::everything;
    // The install drive's letter (upper case), or empty for the one the
    // machine records.
    Text installDrive;
    // /root: the folder that holds Halvoran\template\, ending in its
    // separator (the user's part only). /homes: the folder whose every
    // folder is a home folder holding one, ending in its separator.
    Text templateRoot;
    Text homesFolder;
    std::optional<Text> logPath;
    bool quiet = false;
    ReportRequest report;
};

// The arguments after the program's name. None when they make no command:
// the caller prints the usage to standard error and touches nothing.
// `slashBeginsPaths`: where "/" is the root of every absolute path, a
// report's "/name" that is no option of its names a folder.
std::optional<CommandLine> parseCommandLine(const std::vector<Text>& arguments,
                                            bool slashBeginsPaths = false);

// The usage and the exit codes, as `/?` prints them.
extern const std::wstring_view usageText;

}  // namespace stravik::console

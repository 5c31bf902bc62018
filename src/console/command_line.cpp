#include "console/command_line.h"

#include <algorithm>
#include <cwctype>

#include "platform/folder_names.h"
#include "platform/windows_path.h"

namespace stravik::console {

const std::wstring_view usageText =
    L"Removes the Halvoran OCX, its templates and its registration from this PC.\n"
    L"\n"
    L"  stravikc check  [/machine | /user] [/drive X | /root PATH | /homes PATH]\n"
    L"                  [/log FILE] [/quiet]\n"
    L"  stravikc remove [/machine | /user] [/drive X | /root PATH | /homes PATH]\n"
    L"                  [/log FILE] [/quiet]\n"
    L"  stravikc report FOLDER [FOLDER ...] [/csv FILE] [/html FILE] [/computers FILE]\n"
    L"                  [/days N] [/trustnames]\n"
    L"\n"
    L"  check     lists every target and whether it is there; changes nothing\n"
    L"  remove    removes them, as the window's Remove does, saying what became of each\n"
    L"  /machine  only the files in the Windows directory and the registry entries\n"
    L"  /user     only the files in the template folder\n"
    L"  /drive    the template folder is on drive X (X:\\Halvoran\\template\\), whatever\n"
    L"            the registration says; not with /machine\n"
    L"  /root     the template folder is PATH\\Halvoran\\template\\ (a folder or a\n"
    L"            \\\\server\\share\\folder); only the user's part\n"
    L"  /homes    every folder in PATH is a home folder: each one's template folder\n"
    L"            is emptied (or checked) in turn; only the user's part\n"
    L"  /log      appends a record of the run to FILE (UTF-8)\n"
    L"  /quiet    prints nothing\n"
    L"  report    reads the logs in the folders and below them: every computer's and\n"
    L"            user's state; exit code 0 when all are clean, 1 when not\n"
    L"  /csv, /html  also writes the rows to FILE as CSV or as a web page\n"
    L"  /computers   names the computers that must have reported, one a line\n"
    L"  /days     a computer without a run for N days is stale\n"
    L"  /trustnames  trusts each log by its folder and name alone, not by its owner\n"
    L"               (for a share on a file system that records no owners)\n"
    L"\n"
    L"Exit codes:\n"
    L"  0     nothing of Halvoran is left in the scope\n"
    L"  1     check found something there (or could not reach the template folder)\n"
    L"  2     never returned by stravikc: the deployment scripts' own\n"
    L"  3010  removed; a file in use is deleted at the next restart\n"
    L"  740   machine-wide targets are there but the program was not run as an "
    L"administrator\n"
    L"  87    the command line is wrong; nothing was touched\n"
    L"  1622  the log could not be opened, nor a new one beside it; nothing was touched\n"
    L"  other the number of the first error, as in its \"Error #\" message; a failure\n"
    L"        without one exits with its HRESULT (negative)\n";

namespace {

Text lowerCase(std::wstring_view text) {
    Text lower(text);
    for (wchar_t& character : lower) {
        character = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(character)));
    }
    return lower;
}

// The option's name without its "/", "-" or "--", or none for a word.
std::optional<Text> optionName(const Text& argument) {
    for (const std::wstring_view prefix : {L"--", L"-", L"/"}) {
        if (argument.size() > prefix.size() && argument.starts_with(prefix)) {
            return lowerCase(std::wstring_view(argument).substr(prefix.size()));
        }
    }
    return std::nullopt;
}

// "H", "h:" and the like: the drive's letter in upper case, else none.
std::optional<Text> driveLetter(const Text& argument) {
    const bool letter = !argument.empty() && ((argument[0] >= L'A' && argument[0] <= L'Z') ||
                                              (argument[0] >= L'a' && argument[0] <= L'z'));
    if (!letter || argument.size() > 2 || (argument.size() == 2 && argument[1] != L':')) {
        return std::nullopt;
    }
    return Text(1, static_cast<wchar_t>(std::towupper(static_cast<wint_t>(argument[0]))));
}

// The folder named by /root or /homes, ending in its separator, or none
// when it is not a whole path: a drive's "X:\" or a "\\server\share",
// without wildcards. "X:\" in double quotes comes as X:" (the quote
// escaped by the backslash before it), and any such closing quote is read
// as the separator it stood beside.
std::optional<Text> folderPath(Text argument) {
    if (argument.ends_with(L'"')) {
        argument.back() = L'\\';
    }
    if (argument.find_first_of(L"*?\"<>|") != Text::npos || !splitWindowsPath(argument)) {
        return std::nullopt;
    }
    return folderPrefixOf(argument);
}

constexpr std::wstring_view reportOptions[] = {L"csv", L"html", L"computers", L"days",
                                               L"trustnames"};

// `report`'s arguments, after the word.
std::optional<CommandLine> parseReport(const std::vector<Text>& arguments, bool slashBeginsPaths) {
    CommandLine command;
    command.action = Action::report;
    ReportRequest& report = command.report;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const Text& argument = arguments[index];
        std::optional<Text> option = optionName(argument);
        const bool valueFollows = index + 1 < arguments.size() && !arguments[index + 1].empty();
        if (option && slashBeginsPaths && argument.starts_with(L"/") &&
            std::ranges::find(reportOptions, *option) == std::end(reportOptions)) {
            option.reset();
        }
        if (!option) {
            if (argument.empty()) {
                return std::nullopt;
            }
            report.folders.push_back(argument);
            continue;
        }
        std::optional<Text>* path = *option == L"csv"         ? &report.csvPath
                                    : *option == L"html"      ? &report.htmlPath
                                    : *option == L"computers" ? &report.computersPath
                                                              : nullptr;
        if (path != nullptr && !*path && valueFollows) {
            *path = arguments[++index];
        } else if (*option == L"trustnames" && !report.trustPlaces) {
            report.trustPlaces = true;
        } else if (*option == L"days" && !report.staleDays && valueFollows) {
            const Text& days = arguments[++index];
            if (days.size() > 5 || days.find_first_not_of(L"0123456789") != Text::npos ||
                std::stoi(days) == 0) {
                return std::nullopt;
            }
            report.staleDays = std::stoi(days);
        } else {
            return std::nullopt;
        }
    }
    if (report.folders.empty()) {
        return std::nullopt;
    }
    return command;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<Text>& arguments,
                                            bool slashBeginsPaths) {
    if (!arguments.empty() && lowerCase(arguments.front()) == L"report") {
        return parseReport(arguments, slashBeginsPaths);
    }
    CommandLine command;
    std::optional<Action> action;
    bool machine = false;
    bool user = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const Text& argument = arguments[index];
        const std::optional<Text> option = optionName(argument);
        if (!option) {
            const Text word = lowerCase(argument);
            if (action || (word != L"check" && word != L"remove")) {
                return std::nullopt;
            }
            action = word == L"check" ? Action::check : Action::remove;
        } else if (*option == L"?" || *option == L"help") {
            if (arguments.size() != 1) {
                return std::nullopt;
            }
            return command;
        } else if (*option == L"machine" && !machine) {
            machine = true;
        } else if (*option == L"user" && !user) {
            user = true;
        } else if (*option == L"quiet" && !command.quiet) {
            command.quiet = true;
        } else if (*option == L"drive" && command.installDrive.empty() &&
                   index + 1 < arguments.size() && driveLetter(arguments[index + 1])) {
            command.installDrive = *driveLetter(arguments[++index]);
        } else if ((*option == L"root" || *option == L"homes") && command.templateRoot.empty() &&
                   command.homesFolder.empty() && index + 1 < arguments.size()) {
            const std::optional<Text> folder = folderPath(arguments[++index]);
            if (!folder) {
                return std::nullopt;
            }
            (*option == L"root" ? command.templateRoot : command.homesFolder) = *folder;
        } else if (*option == L"log" && !command.logPath && index + 1 < arguments.size() &&
                   !arguments[index + 1].empty()) {
            command.logPath = arguments[++index];
        } else {
            return std::nullopt;
        }
    }
    // The machine's part has no template folder to find; a folder named is
    // only the user's part, and one way of naming it at a time.
    const bool folderNamed = !command.templateRoot.empty() || !command.homesFolder.empty();
    if (!action || (machine && user) || (machine && !command.installDrive.empty()) ||
        (folderNamed && (machine || !command.installDrive.empty()))) {
        return std::nullopt;
    }
    command.action = *action;
    command.scope = machine               ? Scope::machine
                    : user || folderNamed ? Scope::user
                                          : Scope::everything;
    return command;
}

}  // namespace stravik::console

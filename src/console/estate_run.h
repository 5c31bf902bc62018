#pragma once

// `stravikc report`: the logs in the folders given, read from the machine
// through ReportHost and summed up by EstateReport, on the console and,
// when asked, as CSV and as a web page.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "console/command_line.h"

namespace stravik::console {

// What the report needs of the machine. Failures raise RaisedError.
class ReportHost {
public:
    virtual ~ReportHost() = default;
    // Calls `file` with the path of every file in `folder` and the folders
    // below it, folders before their files in name order. Raises 76 when
    // the folder is not there.
    virtual void listFiles(const Text& folder, const std::function<void(const Text&)>& file) = 0;
    // Calls `line` with each line of the file, without its line end, in
    // order; a line longer than the bound of one buffer comes in pieces.
    virtual void readLines(const Text& path, const std::function<void(std::string_view)>& line) = 0;
    virtual std::string readFile(const Text& path) = 0;
    // Creates or replaces the file.
    virtual void writeFile(const Text& path, std::string_view bytes) = 0;
    // UTF-8 text for standard output.
    virtual void print(std::string_view text) = 0;
    virtual void printError(const Text& text) = 0;
    // "2026-12-09T10:15:00Z"
    virtual std::string utcNow() = 0;
    // Letters and digits no page can guess, for the page's one script.
    virtual std::string nonce() = 0;
    // UTF-8 for the paths the views name.
    virtual std::string utf8(const Text& text) = 0;
};

// Returns 0 when every computer is clean, 1 when any is not or no run was
// found at all, and the error's number when a folder is not there or a
// view cannot be written.
int runReport(const ReportRequest& request, ReportHost& host);

}  // namespace stravik::console

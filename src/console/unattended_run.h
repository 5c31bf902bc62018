#pragma once

// The console program's run: the window's own operations, driven without
// a window, with an account of every target and an exit code that the
// tools running it unattended understand.

#include <cstdint>
#include <optional>
#include <string_view>

#include "console/command_line.h"
#include "platform/platform_services.h"

namespace stravik::console {

// Where the run's lines go: the console and the log's record of the run.
// The platform's messages go there too.
class Output {
public:
    virtual ~Output() = default;
    // For the console and the record.
    virtual void line(const Text& text) = 0;
    // For the console only: a target that is not there. The record counts
    // them instead, so that a clean PC's record stays a few lines long.
    virtual void consoleOnly(const Text& text) = 0;
    // For the record only.
    virtual void recordOnly(const Text& text) = 0;
};

namespace exitCode {
constexpr int nothingLeft = 0;
constexpr int found = 1;
constexpr int badCommandLine = 87;
constexpr int elevationRequired = 740;
// No log could be opened: Windows Installer's number for the same failure.
constexpr int logUnavailable = 1622;
constexpr int restartNeeded = 3010;
// A failure that came with no number of its own (E_FAIL), so that it
// never reads as success.
constexpr int unspecifiedFailure = static_cast<int>(0x80004005u);
}  // namespace exitCode

// What a run came to, from which its exit code follows.
struct RunOutcome {
    // The first failure reported; its number is the exit code.
    std::optional<ErrorInfo> firstError;
    // Neither the install drive nor the Windows directory was found.
    bool locationsUnknown = false;
    // Something is there, or the template folder's drive cannot be reached.
    bool anyPresent = false;
    bool anyLeft = false;
    // Only meaningful when something was left.
    bool administrator = true;
    bool anyScheduled = false;
};

// The one rule for the exit code.
int exitCodeFor(const RunOutcome& outcome);

// How a run ended: its exit code, and the failure that stopped it.
struct RunResult {
    int exitCode = 0;
    std::optional<ErrorInfo> firstError;
    Text stoppedAt;
};

// Runs a check or a remove through RemovalForm on `platform`, telling
// `output` what became of each target.
RunResult runCommand(PlatformServices& platform, const CommandLine& command, Output& output);

// The one event a run leaves in the Application log: its ID by outcome,
// and one line naming the command, the scope, the exit code and the first
// failure with the target it stopped at. The IDs lie within 1 to 1000,
// the IDs whose message is the event's own text in the message file the
// source is registered with.
namespace eventId {
constexpr unsigned nothingLeft = 100;
constexpr unsigned found = 101;
constexpr unsigned restartNeeded = 102;
constexpr unsigned elevationRequired = 103;
constexpr unsigned logUnavailable = 104;
constexpr unsigned failed = 105;
}  // namespace eventId
unsigned eventIdFor(int exitCode);
Text eventText(const CommandLine& command, const RunResult& result);

}  // namespace stravik::console

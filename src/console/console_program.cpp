#include "console/console_program.h"

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "console/command_line.h"
#include "console/estate_run.h"
#include "console/run_log.h"
#include "console/run_record.h"
#include "console/unattended_run.h"
#include "platform/classic_errors.h"
#include "shell/removal_form.h"

namespace stravik::console {
namespace {

constexpr std::wstring_view programVersion = L"" STRAVIK_VERSION;

// The console, and the log's record with every line prefixed by the run's
// start, the computer and the process.
class ConsoleOutput final : public Output {
public:
    ConsoleOutput(ConsoleHost& host, bool quiet, std::optional<RunLog> log, const UtcTime& start)
        : host_(host),
          quiet_(quiet),
          log_(std::move(log)),
          prefix_(record::linePrefix(isoTime(start), host.computerName(), host.processId())) {}

    void line(const Text& text) override {
        consoleOnly(text);
        recordOnly(text);
    }

    void consoleOnly(const Text& text) override {
        if (!quiet_) {
            host_.write(ConsoleHost::Stream::output, text + L"\n");
        }
    }

    void recordOnly(const Text& text) override {
        if (log_) {
            log_->write(prefix_, text);
        }
    }

private:
    ConsoleHost& host_;
    bool quiet_;
    std::optional<RunLog> log_;
    Text prefix_;
};

// The one component of a sweep, lent to each home folder's form.
class LentComponent final : public FileSystemComponent {
public:
    explicit LentComponent(FileSystemComponent& component) : component_(component) {}
    void GetFolder(const Text& folderPath) override { component_.GetFolder(folderPath); }
    void DeleteFile(const Text& filePath, bool force) override {
        component_.DeleteFile(filePath, force);
    }
    bool FileExists(const Text& filePath) override { return component_.FileExists(filePath); }

private:
    FileSystemComponent& component_;
};

// The machine's platform with its messages on the console and in the
// record instead of in message boxes, and no window to unload or end. In a
// sweep over home folders, only the error messages (each home folder's
// finished message would be a line for every home folder, which its own
// line says better), and one component for all of them (making one costs
// more than the rest of an empty home folder's work).
class ConsolePlatform final : public PlatformServices {
public:
    ConsolePlatform(PlatformServices& machine, Output& output, bool sweep)
        : machine_(machine), output_(output), sweep_(sweep) {}

    NarrowText narrow(const Text& text) override { return machine_.narrow(text); }
    Text widen(const NarrowText& text) override { return machine_.widen(text); }
    std::int32_t RegOpenKeyA(RegistryRoot root, const NarrowText& subKey,
                             RegistryHandle& key) override {
        return machine_.RegOpenKeyA(root, subKey, key);
    }
    std::int32_t RegQueryValueExA(RegistryHandle key, const NarrowText& valueName,
                                  std::uint32_t reserved, std::uint32_t& type, std::span<char> data,
                                  std::uint32_t& dataLength) override {
        return machine_.RegQueryValueExA(key, valueName, reserved, type, data, dataLength);
    }
    std::int32_t RegCloseKey(RegistryHandle key) override { return machine_.RegCloseKey(key); }
    std::int32_t SHDeleteKeyA(RegistryRoot root, const NarrowText& subKey) override {
        return machine_.SHDeleteKeyA(root, subKey);
    }
    std::int32_t SHDeleteValueA(RegistryRoot root, const NarrowText& subKey,
                                const NarrowText& valueName) override {
        return machine_.SHDeleteValueA(root, subKey, valueName);
    }
    std::uint32_t GetWindowsDirectoryA(std::span<char> buffer) override {
        return machine_.GetWindowsDirectoryA(buffer);
    }
    std::int32_t isAdministrator() override { return machine_.isAdministrator(); }
    std::unique_ptr<FileSystemComponent> createObject(const Text& programmaticId) override {
        if (!sweep_) {
            return machine_.createObject(programmaticId);
        }
        if (!component_) {
            component_ = machine_.createObject(programmaticId);
        }
        return std::make_unique<LentComponent>(*component_);
    }
    std::unique_ptr<PinnedFolderPath> pinFolderPath(const Text& folderPath) override {
        return machine_.pinFolderPath(folderPath);
    }
    std::unique_ptr<PinnedFolderPath> pinFolderPathAsBackup(const Text& folderPath) override {
        return machine_.pinFolderPathAsBackup(folderPath);
    }
    bool scheduleDeletionIfInUse(const Text& filePath) override {
        return machine_.scheduleDeletionIfInUse(filePath);
    }

    void showMessage(const Text& text) override {
        if (!sweep_ || text.starts_with(L"Error #")) {
            output_.line(text);
        }
    }
    void unloadWindow() override {}
    void endProgram() override {}

private:
    PlatformServices& machine_;
    Output& output_;
    bool sweep_;
    std::unique_ptr<FileSystemComponent> component_;
};

// One event for each run, as Windows Installer writes one for each product
// it installs or removes, so that event forwarding or a management agent
// sees every PC's outcome without a share.
void reportEvent(ConsoleHost& host, const CommandLine& command, const RunResult& result) {
    const ConsoleHost::EventType type =
        result.exitCode == exitCode::nothingLeft || result.exitCode == exitCode::found
            ? ConsoleHost::EventType::information
        : result.exitCode == exitCode::restartNeeded ? ConsoleHost::EventType::warning
                                                     : ConsoleHost::EventType::error;
    host.reportEvent(type, eventIdFor(result.exitCode), eventText(command, result));
}

int run(ConsoleHost& host, PlatformServices& machine, const std::vector<Text>& arguments) {
    const std::optional<CommandLine> command = parseCommandLine(arguments, host.slashBeginsPaths());
    if (!command) {
        host.write(ConsoleHost::Stream::error,
                   L"The command line is not one stravikc knows.\n\n" + Text(usageText));
        return exitCode::badCommandLine;
    }
    if (command->action == Action::help) {
        host.write(ConsoleHost::Stream::output, Text(usageText));
        return exitCode::nothingLeft;
    }
    if (command->action == Action::report) {
        return runReport(command->report, host);
    }
    // The log first: a run that cannot leave its record removes nothing.
    const UtcTime start = host.utcNow();
    std::optional<RunLog> log;
    Text logNotice;
    if (command->logPath) {
        OpenedRunLog opened = openRunLog(host, *command->logPath, start);
        if (!opened.log) {
            host.write(ConsoleHost::Stream::error, opened.notice);
            reportEvent(host, *command,
                        {exitCode::logUnavailable, opened.error, *command->logPath});
            return exitCode::logUnavailable;
        }
        log = std::move(opened.log);
        logNotice = std::move(opened.notice);
    }
    ConsoleOutput output(host, command->quiet, std::move(log), start);
    const bool sweep = !command->homesFolder.empty();
    ConsolePlatform platform(machine, output, sweep);
    const bool elevated = platform.isAdministrator() != 0;
    output.recordOnly(record::startText({isoTime(start), Text(programVersion),
                                         command->action == Action::check ? L"check" : L"remove",
                                         sweep                              ? L"home"
                                         : command->scope == Scope::machine ? L"machine"
                                         : command->scope == Scope::user    ? L"user"
                                                                            : L"everything",
                                         host.userName(), elevated, host.commandLine()}));
    if (!logNotice.empty()) {
        output.line(logNotice);
    }
    const RunResult result = runCommand(platform, *command, output);
    output.recordOnly(record::endText(isoTime(host.utcNow()), result.exitCode));
    // Only a run that may change the machine registers the source: check
    // changes nothing, and a standard user could not.
    if (command->action == Action::remove && elevated) {
        host.registerEventSource();
    }
    reportEvent(host, *command, result);
    return result.exitCode;
}

}  // namespace

int runConsoleProgram(ConsoleHost& host, PlatformServices& machine,
                      const std::vector<Text>& arguments) {
    try {
        return run(host, machine, arguments);
    } catch (const std::bad_alloc&) {
        const ErrorInfo memory = classicError(classic::outOfMemory);
        host.write(ConsoleHost::Stream::error, formatErrorMessage(memory) + L"\n");
        return memory.number;
    } catch (...) {
        const ErrorInfo internal = classicError(classic::internalError);
        host.write(ConsoleHost::Stream::error, formatErrorMessage(internal) + L"\n");
        return internal.number;
    }
}

}  // namespace stravik::console

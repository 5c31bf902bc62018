// stravikc.exe: the removal for deployment tools. It runs the window's own
// operations without a window, prints what became of each target, appends
// a record of the run to a log, and says how it went in its exit code.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/unattended_run.h"
#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"
#include "shell/removal_form.h"

namespace stravik::win32 {
namespace {

std::string utf8(const Text& text) { return encoded(text, CP_UTF8); }

// Text for a console window as it is (any letter shows), UTF-8 for a file
// or a pipe, which is what tools that keep the output read.
void writeTo(HANDLE stream, const Text& text) {
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = utf8(text);
        WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

Text utcNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    return text;
}

Text computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Text(name, size) : Text(L"?");
}

Text userName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) && size > 0 ? Text(name, size - 1) : Text(L"?");
}

// The log: opened for appending only, so that every write lands at the
// end of the file as one piece, even with many PCs writing to one share
// at once. Each line goes in one write and names its run.
class Log {
public:
    static Log open(const Text& path) {
        UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            raiseLastError();
        }
        return Log(std::move(file));
    }

    void write(const Text& prefix, const Text& text) {
        std::size_t start = 0;
        do {
            const std::size_t end = text.find(L'\n', start);
            const Text line = text.substr(start, end == Text::npos ? Text::npos : end - start);
            const std::string bytes = utf8(prefix + line + L"\r\n");
            DWORD written = 0;
            // A log that cannot be written does not stop a removal under way.
            WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr);
            start = end == Text::npos ? end : end + 1;
        } while (start != Text::npos);
    }

private:
    explicit Log(UniqueFile file) : file_(std::move(file)) {}
    UniqueFile file_;
};

class ConsoleOutput final : public console::Output {
public:
    ConsoleOutput(bool quiet, std::optional<Log> log)
        : quiet_(quiet),
          log_(std::move(log)),
          prefix_(utcNow() + L" " + computerName() + L"[" + std::to_wstring(GetCurrentProcessId()) +
                  L"] ") {}

    void line(const Text& text) override {
        if (!quiet_) {
            writeTo(GetStdHandle(STD_OUTPUT_HANDLE), text + L"\n");
        }
        logOnly(text);
    }

    void logOnly(const Text& text) {
        if (log_) {
            log_->write(prefix_, text);
        }
    }

private:
    bool quiet_;
    std::optional<Log> log_;
    Text prefix_;
};

// The Windows platform with its messages on the console and in the log
// instead of in message boxes, and no window to unload or end.
class ConsolePlatform final : public Win32Platform {
public:
    explicit ConsolePlatform(console::Output& output) : output_(output) {}
    void showMessage(const Text& text) override { output_.line(text); }
    void unloadWindow() override {}
    void endProgram() override {}

private:
    console::Output& output_;
};

int run(const std::vector<Text>& arguments) {
    const std::optional<console::CommandLine> command = console::parseCommandLine(arguments);
    if (!command) {
        writeTo(GetStdHandle(STD_ERROR_HANDLE),
                L"The command line is not one stravikc knows.\n\n" + Text(console::usageText));
        return console::exitCode::badCommandLine;
    }
    if (command->action == console::Action::help) {
        writeTo(GetStdHandle(STD_OUTPUT_HANDLE), Text(console::usageText));
        return console::exitCode::nothingLeft;
    }
    // The log first: a run that cannot leave its record removes nothing.
    std::optional<Log> log;
    if (command->logPath) {
        try {
            log = Log::open(*command->logPath);
        } catch (const RaisedError& error) {
            const Text message = formatErrorMessage(error.info());
            writeTo(GetStdHandle(STD_ERROR_HANDLE),
                    L"Cannot open the log " + *command->logPath + L": " + message + L"\n");
            return error.info().number;
        }
    }
    ConsoleOutput output(command->quiet, std::move(log));
    ConsolePlatform platform(output);
    output.logOnly(L"start " + utcNow() + L", user " + userName() + L", elevated " +
                   (platform.isAdministrator() != 0 ? L"yes" : L"no") + L", command line: " +
                   GetCommandLineW());
    const int code = console::runCommand(platform, *command, output);
    output.logOnly(L"end " + utcNow() + L", exit code " + std::to_wstring(code));
    return code;
}

}  // namespace
}  // namespace stravik::win32

int wmain(int argc, wchar_t** argv) {
    // Run elevated or as SYSTEM: no library may come from the program's
    // folder or the current directory.
    stravik::win32::restrictLibrarySearchToSystemDirectory();
    const stravik::win32::ComApartment apartment;
    try {
        return stravik::win32::run(std::vector<stravik::Text>(argv + 1, argv + argc));
    } catch (...) {
        const stravik::ErrorInfo internal = stravik::classicError(stravik::classic::internalError);
        stravik::win32::writeTo(GetStdHandle(STD_ERROR_HANDLE),
                                stravik::formatErrorMessage(internal) + L"\n");
        return internal.number;
    }
}

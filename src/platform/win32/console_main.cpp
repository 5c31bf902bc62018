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
#include "platform/win32/system_libraries.h"
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

// The record's layout: a reader tells formats apart by this number on
// every start line.
constexpr int recordFormat = 1;
constexpr std::wstring_view programVersion = L"" STRAVIK_VERSION;

SYSTEMTIME utcTime() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return now;
}

// "2026-12-09T10:15:00Z"
Text isoTime(const SYSTEMTIME& time) {
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", time.wYear, time.wMonth, time.wDay,
             time.wHour, time.wMinute, time.wSecond);
    return text;
}

// "20261209T101500Z", for a file name.
Text compactTime(const SYSTEMTIME& time) {
    wchar_t text[32];
    swprintf(text, 32, L"%04u%02u%02uT%02u%02u%02uZ", time.wYear, time.wMonth, time.wDay,
             time.wHour, time.wMinute, time.wSecond);
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

// The log, kept on a share that many PCs append to at once. Each line goes
// in one write to the end of the file, under an exclusive lock on a byte
// far beyond any end of file that every run takes around its append: a
// file system that does not append each write whole (some NAS servers,
// Wine) would otherwise let two lines overwrite each other.
class Log {
public:
    // Opens `path` for appending, making it when it is not there.
    static Log open(const Text& path, DWORD disposition) {
        // A byte-range lock needs read or write access; append-only
        // access keeps every write at the end of the file.
        UniqueFile file(CreateFileW(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
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
            append(utf8(prefix + line + L"\r\n"), prefix);
            start = end == Text::npos ? end : end + 1;
        } while (start != Text::npos);
    }

private:
    explicit Log(UniqueFile file) : file_(std::move(file)) {}

    static constexpr DWORD lockWaitMilliseconds = 10000;
    static constexpr DWORD lockRetryMilliseconds = 5;

    void append(const std::string& bytes, const Text& prefix) {
        const bool locked = locking_ && lock();
        if (locking_ && !locked) {
            // Once without the lock, the rest of the run goes without it
            // too, rather than waiting again at every line.
            locking_ = false;
            append(
                utf8(prefix + L"log: the log could not be locked within 10 s; this run's lines are "
                              L"written without the lock from here on\r\n"),
                prefix);
        }
        DWORD written = 0;
        // A log that cannot be written does not stop a removal under way.
        WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        if (locked) {
            OVERLAPPED range = lockRange();
            UnlockFileEx(file_.get(), 0, 1, 0, &range);
        }
    }

    // Waits a bounded time for the lock; false when it is not had.
    bool lock() {
        const DWORD started = GetTickCount();
        for (;;) {
            OVERLAPPED range = lockRange();
            if (LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                           0, &range)) {
                return true;
            }
            const DWORD error = GetLastError();
            // Held by another run: wait. Anything else (a file system
            // without locks): no use waiting.
            if ((error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) ||
                GetTickCount() - started >= lockWaitMilliseconds) {
                return false;
            }
            Sleep(lockRetryMilliseconds);
        }
    }

    // One byte at 2^62, beyond the end of any log.
    static OVERLAPPED lockRange() {
        OVERLAPPED range{};
        range.OffsetHigh = 0x40000000u;
        return range;
    }

    UniqueFile file_;
    bool locking_ = true;
};

// `path` with its extension replaced by "-<time>-<process>.log": the name
// of a new file beside a log that someone else holds.
Text besideName(const Text& path, const SYSTEMTIME& time) {
    const std::size_t folderEnd = path.find_last_of(L"\\/");
    const std::size_t nameStart = folderEnd == Text::npos ? 0 : folderEnd + 1;
    const std::size_t dot = path.rfind(L'.');
    const Text stem = dot == Text::npos || dot <= nameStart ? path : path.substr(0, dot);
    return stem + L"-" + compactTime(time) + L"-" + std::to_wstring(GetCurrentProcessId()) +
           L".log";
}

class ConsoleOutput final : public console::Output {
public:
    ConsoleOutput(bool quiet, std::optional<Log> log, const SYSTEMTIME& start)
        : quiet_(quiet),
          log_(std::move(log)),
          prefix_(isoTime(start) + L" " + computerName() + L"[" +
                  std::to_wstring(GetCurrentProcessId()) + L"] ") {}

    void line(const Text& text) override {
        consoleOnly(text);
        recordOnly(text);
    }

    void consoleOnly(const Text& text) override {
        if (!quiet_) {
            writeTo(GetStdHandle(STD_OUTPUT_HANDLE), text + L"\n");
        }
    }

    void recordOnly(const Text& text) override {
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
    // A log that someone else made first and keeps from us does not stop
    // the run either: its record goes to a new file beside it.
    const SYSTEMTIME start = utcTime();
    std::optional<Log> log;
    Text logNotice;
    if (command->logPath) {
        const Text& path = *command->logPath;
        try {
            log = Log::open(path, OPEN_ALWAYS);
        } catch (const RaisedError& error) {
            const Text beside = besideName(path, start);
            const Text cause = formatErrorMessage(error.info());
            try {
                log = Log::open(beside, CREATE_NEW);
                logNotice = L"log: cannot open " + path + L" (" + cause +
                            L"); this run's record is in " + beside;
            } catch (const RaisedError& besideError) {
                writeTo(GetStdHandle(STD_ERROR_HANDLE),
                        L"Cannot open the log " + path + L": " + cause + L"\nNor a new one, " +
                            beside + L": " + formatErrorMessage(besideError.info()) +
                            L"\nNothing was touched.\n");
                return console::exitCode::logUnavailable;
            }
        }
    }
    ConsoleOutput output(command->quiet, std::move(log), start);
    ConsolePlatform platform(output);
    output.recordOnly(L"start " + isoTime(start) + L", version " + Text(programVersion) +
                      L", format " + std::to_wstring(recordFormat) + L", user " + userName() +
                      L", elevated " + (platform.isAdministrator() != 0 ? L"yes" : L"no") +
                      L", command line: " + GetCommandLineW());
    if (!logNotice.empty()) {
        output.line(logNotice);
    }
    const int code = console::runCommand(platform, *command, output);
    output.recordOnly(L"end " + isoTime(utcTime()) + L", exit code " + std::to_wstring(code));
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

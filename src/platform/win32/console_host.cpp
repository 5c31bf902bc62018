#include "platform/win32/console_host.h"

#include <utility>

#include "platform/win32/error_info.h"
#include "platform/win32/event_log.h"
#include "platform/win32/handles.h"
#include "platform/win32/report_files.h"
#include "platform/win32/win32_platform.h"

namespace stravik::win32 {
namespace {

class AppendingHandle final : public console::AppendingFile {
public:
    explicit AppendingHandle(UniqueFile file) : file_(std::move(file)) {}

    Lock tryLock() override {
        OVERLAPPED range = lockRange();
        if (LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &range)) {
            return Lock::taken;
        }
        const DWORD error = GetLastError();
        return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Lock::heldElsewhere
                                                                          : Lock::unavailable;
    }

    void unlock() override {
        OVERLAPPED range = lockRange();
        UnlockFileEx(file_.get(), 0, 1, 0, &range);
    }

    void append(const Text& text) override {
        const std::string bytes = encoded(text, CP_UTF8);
        DWORD written = 0;
        WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    // One byte at 2^62, beyond the end of any log.
    static OVERLAPPED lockRange() {
        OVERLAPPED range{};
        range.OffsetHigh = 0x40000000u;
        return range;
    }

    UniqueFile file_;
};

class Win32ConsoleHost final : public console::ConsoleHost {
public:
    std::unique_ptr<console::AppendingFile> openForAppending(const Text& path,
                                                             Opening opening) override {
        // A byte-range lock needs read or write access; append-only access
        // keeps every write at the end of the file.
        UniqueFile file(CreateFileW(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    opening == Opening::newOnly ? CREATE_NEW : OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            raiseLastError();
        }
        return std::make_unique<AppendingHandle>(std::move(file));
    }

    void write(Stream stream, const Text& text) override {
        const HANDLE handle =
            GetStdHandle(stream == Stream::error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
            return;
        }
        DWORD written = 0;
        DWORD mode = 0;
        if (GetConsoleMode(handle, &mode)) {
            WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            const std::string bytes = encoded(text, CP_UTF8);
            WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }

    console::UtcTime utcNow() override {
        SYSTEMTIME now{};
        GetSystemTime(&now);
        return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    }

    std::uint32_t milliseconds() override { return GetTickCount(); }

    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }

    Text computerName() override {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        return GetComputerNameW(name, &size) ? Text(name, size) : Text(L"?");
    }

    Text userName() override {
        wchar_t name[257];
        DWORD size = 257;
        return GetUserNameW(name, &size) && size > 0 ? Text(name, size - 1) : Text(L"?");
    }

    std::uint32_t processId() override { return GetCurrentProcessId(); }

    Text commandLine() override { return GetCommandLineW(); }

    void reportEvent(EventType type, std::uint32_t id, const Text& text) override {
        win32::reportEvent(type == EventType::information ? EVENTLOG_INFORMATION_TYPE
                           : type == EventType::warning   ? EVENTLOG_WARNING_TYPE
                                                          : EVENTLOG_ERROR_TYPE,
                           id, text);
    }
    void registerEventSource() override { win32::registerEventSource(); }

    void listLogs(const Text& folder,
                  const std::function<void(console::ListedLog&)>& entry) override {
        win32::listLogs(folder, owners_, entry);
    }
    bool slashBeginsPaths() override { return false; }
    std::string readFile(const Text& path) override { return win32::readFile(path); }
    void writeFile(const Text& path, std::string_view bytes) override {
        win32::writeFile(path, bytes);
    }
    std::string randomHex() override { return win32::randomHex(); }
    std::string utf8(const Text& text) override { return encoded(text, CP_UTF8); }
    Text fromUtf8(std::string_view text) override { return decoded(text, CP_UTF8); }

private:
    FileOwners owners_;
};

}  // namespace

std::unique_ptr<console::ConsoleHost> makeConsoleHost() {
    return std::make_unique<Win32ConsoleHost>();
}

}  // namespace stravik::win32

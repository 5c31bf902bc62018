#include "console/run_log.h"

#include <string>
#include <utility>

#include "shell/removal_form.h"

namespace stravik::console {
namespace {

constexpr std::uint32_t lockWaitMilliseconds = 10000;
constexpr std::uint32_t lockRetryMilliseconds = 5;

Text digits(int number, std::size_t width) {
    Text text = std::to_wstring(number);
    return Text(text.size() < width ? width - text.size() : 0, L'0') + text;
}

// "20261209T101500Z", for a file name.
Text compactTime(const UtcTime& time) {
    return digits(time.year, 4) + digits(time.month, 2) + digits(time.day, 2) + L"T" +
           digits(time.hour, 2) + digits(time.minute, 2) + digits(time.second, 2) + L"Z";
}

// `path` with its extension replaced by "-<time>-<process>.log": the name
// of a new file beside a log that someone else holds.
Text besideName(const Text& path, const UtcTime& time, std::uint32_t process) {
    const std::size_t folderEnd = path.find_last_of(L"\\/");
    const std::size_t nameStart = folderEnd == Text::npos ? 0 : folderEnd + 1;
    const std::size_t dot = path.rfind(L'.');
    const Text stem = dot == Text::npos || dot <= nameStart ? path : path.substr(0, dot);
    return stem + L"-" + compactTime(time) + L"-" + std::to_wstring(process) + L".log";
}

}  // namespace

Text isoTime(const UtcTime& time) {
    return digits(time.year, 4) + L"-" + digits(time.month, 2) + L"-" + digits(time.day, 2) + L"T" +
           digits(time.hour, 2) + L":" + digits(time.minute, 2) + L":" + digits(time.second, 2) +
           L"Z";
}

RunLog::RunLog(ConsoleHost& host, std::unique_ptr<AppendingFile> file)
    : host_(&host), file_(std::move(file)) {}

void RunLog::write(const Text& prefix, const Text& text) {
    std::size_t start = 0;
    do {
        const std::size_t end = text.find(L'\n', start);
        append(prefix + text.substr(start, end == Text::npos ? Text::npos : end - start) + L"\r\n",
               prefix);
        start = end == Text::npos ? end : end + 1;
    } while (start != Text::npos);
}

// One write to the end of the file under the lock: a file system that does
// not append each write whole (some NAS servers, Wine) would otherwise let
// two runs' lines overwrite each other.
void RunLog::append(const Text& line, const Text& prefix) {
    const bool locked = locking_ && lock();
    if (locking_ && !locked) {
        // Once without the lock, the rest of the run goes without it too,
        // rather than waiting again at every line.
        locking_ = false;
        append(prefix +
                   L"log: the log could not be locked within 10 s; this run's lines are "
                   L"written without the lock from here on\r\n",
               prefix);
    }
    file_->append(line);
    if (locked) {
        file_->unlock();
    }
}

// Waits a bounded time for the lock; false when it is not had.
bool RunLog::lock() {
    const std::uint32_t started = host_->milliseconds();
    for (;;) {
        switch (file_->tryLock()) {
            case AppendingFile::Lock::taken:
                return true;
            case AppendingFile::Lock::unavailable:
                // A file system without locks: no use waiting.
                return false;
            case AppendingFile::Lock::heldElsewhere:
                break;
        }
        if (host_->milliseconds() - started >= lockWaitMilliseconds) {
            return false;
        }
        host_->sleep(lockRetryMilliseconds);
    }
}

OpenedRunLog openRunLog(ConsoleHost& host, const Text& path, const UtcTime& start) {
    using Opening = ConsoleHost::Opening;
    try {
        return {RunLog(host, host.openForAppending(path, Opening::existingOrNew)), Text(), {}};
    } catch (const RaisedError& error) {
        const Text beside = besideName(path, start, host.processId());
        const Text cause = formatErrorMessage(error.info());
        try {
            return {RunLog(host, host.openForAppending(beside, Opening::newOnly)),
                    L"log: cannot open " + path + L" (" + cause + L"); this run's record is in " +
                        beside,
                    {}};
        } catch (const RaisedError& besideError) {
            return {std::nullopt,
                    L"Cannot open the log " + path + L": " + cause + L"\nNor a new one, " + beside +
                        L": " + formatErrorMessage(besideError.info()) +
                        L"\nNothing was touched.\n",
                    error.info()};
        }
    }
}

}  // namespace stravik::console

#pragma once

// What the console program needs of the system it runs on besides the
// machine's platform: a file to append its record to, the console, the
// clock, and who and where it runs. Each operation is a system call or
// two; which file to open, how long to wait for a lock and what each line
// says are the console program's own decisions.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform_services.h"

namespace stravik::console {

// A moment in UTC, to the second.
struct UtcTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A file opened for appending; closed with its owner.
class AppendingFile {
public:
    virtual ~AppendingFile() = default;

    // One try for the exclusive lock on a byte far beyond any end of file,
    // which every run that appends to the file takes around each line.
    enum class Lock { taken, heldElsewhere, unavailable };
    virtual Lock tryLock() = 0;
    virtual void unlock() = 0;

    // Writes `text` as UTF-8 to the end of the file in one write. A failure
    // is not reported: a log that cannot be written does not stop a removal.
    virtual void append(const Text& text) = 0;
};

class ConsoleHost {
public:
    virtual ~ConsoleHost() = default;

    // Opens `path` for appending: the file as it is or made new
    // (`existingOrNew`), or only made new, never an existing one
    // (`newOnly`). Raises RaisedError when it cannot.
    enum class Opening { existingOrNew, newOnly };
    virtual std::unique_ptr<AppendingFile> openForAppending(const Text& path, Opening opening) = 0;

    // Writes `text` to standard output or standard error: to a console as
    // it is (any letter shows), as UTF-8 to a file or a pipe.
    enum class Stream { output, error };
    virtual void write(Stream stream, const Text& text) = 0;

    virtual UtcTime utcNow() = 0;
    // A clock for waiting: milliseconds since some moment, wrapping around.
    virtual std::uint32_t milliseconds() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;

    virtual Text computerName() = 0;
    virtual Text userName() = 0;
    virtual std::uint32_t processId() = 0;
    // The command line the program was started with, as a whole.
    virtual Text commandLine() = 0;

    // One event in the system's log of applications for each run, with the
    // running user.
    enum class EventType { information, warning, error };
    virtual void reportEvent(EventType type, std::uint32_t id, const Text& text) = 0;
    // Makes the events' source known to the log, so that its viewers show
    // their text; for elevated runs that change the machine. Quietly does
    // nothing where it cannot.
    virtual void registerEventSource() = 0;

    // For the report over the logs on a share. Calls `file` with the path
    // of every file in `folder` and the folders below it (no link
    // followed), each folder's files in name order before its folders;
    // raises 76 when the folder is not there.
    virtual void listFiles(const Text& folder, const std::function<void(const Text&)>& file) = 0;
    // Calls `piece` with the file's bytes in order, a bounded piece at a
    // time. A file that cannot be read gives none.
    virtual void readPieces(const Text& path,
                            const std::function<void(std::string_view)>& piece) = 0;
    virtual std::string readFile(const Text& path) = 0;
    // Creates or replaces the file.
    virtual void writeFile(const Text& path, std::string_view bytes) = 0;
    // Hexadecimal digits that no one can guess beforehand.
    virtual std::string randomHex() = 0;
    virtual std::string utf8(const Text& text) = 0;
    virtual Text fromUtf8(std::string_view text) = 0;
};

}  // namespace stravik::console

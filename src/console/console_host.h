#pragma once

// What the console program needs of the system it runs on besides the
// machine's platform: a file to append its record to, the console, the
// clock, and who and where it runs. Each operation is a system call or
// two; which file to open, how long to wait for a lock and what each line
// says are the console program's own decisions.

#include <cstdint>
#include <memory>

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
};

}  // namespace stravik::console

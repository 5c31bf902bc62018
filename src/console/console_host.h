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

// Who owns a file, as its file system records it: the default owner of
// the account that created it, which appending never changes.
struct FileOwner {
    enum class Kind {
        machine,     // SYSTEM (S-1-5-18) or Administrators (S-1-5-32-544); root on POSIX
        account,     // any other account, by its name
        unresolved,  // an owner that names no account known here
        none,        // no owner recorded, or none could be read
    };
    Kind kind = Kind::none;
    Text domain;  // for an account: its domain or computer, when it has one
    Text name;    // an account's name ("PC1$", "anna"); "SYSTEM" or "Administrators"
    Text id;      // the SID ("S-1-5-21-...") or "uid 1001"; for none, why
};

// A log opened for the report; its owner is read on the handle it is read
// through, so a file swapped after listing cannot lend another its owner.
class ReportFile {
public:
    virtual ~ReportFile() = default;
    virtual const FileOwner& owner() const = 0;
    // Calls `piece` with the file's bytes in order, a bounded piece at a
    // time, no more than its size when it was opened. Raises RaisedError,
    // with the system's own text, when a read fails.
    virtual void read(const std::function<void(std::string_view)>& piece) = 0;
};

// A folder met while listing logs, or a file with what came of opening it.
struct ListedLog {
    Text path;
    bool folder = false;
    std::unique_ptr<ReportFile> file;  // none for a folder, or when it could not be opened
    Text error;                        // why not, in the system's words
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

    // For the report over the logs on a share. Calls `entry` with `folder`
    // and every folder below it, each before its files (in name order) and
    // then its folders, and with every other entry opened for reading as a
    // regular file: a link is never followed nor a pipe waited on, but
    // comes with the reason it could not be opened, as does a folder that
    // could not be listed. Raises 76 when `folder` is not there.
    virtual void listLogs(const Text& folder, const std::function<void(ListedLog&)>& entry) = 0;
    // Whether "/name" on the command line may be a path (the POSIX root)
    // rather than an option, when no option has that name.
    virtual bool slashBeginsPaths() = 0;
    // The whole of a small file. Raises RaisedError, with the classic
    // number of the system's reason, when it cannot be read, as does
    // writeFile when it cannot write.
    virtual std::string readFile(const Text& path) = 0;
    // Creates or replaces the file.
    virtual void writeFile(const Text& path, std::string_view bytes) = 0;
    // Hexadecimal digits that no one can guess beforehand.
    virtual std::string randomHex() = 0;
    virtual std::string utf8(const Text& text) = 0;
    virtual Text fromUtf8(std::string_view text) = 0;
};

}  // namespace stravik::console

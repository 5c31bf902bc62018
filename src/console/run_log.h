#pragma once

// The log that stravikc appends its record of a run to, often on a share
// that many PCs append to at once.

#include <memory>
#include <optional>

#include "console/console_host.h"

namespace stravik::console {

// "2026-12-09T10:15:00Z"
Text isoTime(const UtcTime& time);

class RunLog {
public:
    RunLog(ConsoleHost& host, std::unique_ptr<AppendingFile> file);

    // Appends each line of `text`, `prefix` first, as one write under the
    // file's lock.
    void write(const Text& prefix, const Text& text);

private:
    void append(const Text& line, const Text& prefix);
    bool lock();

    ConsoleHost* host_;
    std::unique_ptr<AppendingFile> file_;
    bool locking_ = true;
};

struct OpenedRunLog {
    std::optional<RunLog> log;
    // With a log: empty, or why the record is in a new file beside the one
    // named, for the console and the record. Without: why none opened, for
    // standard error.
    Text notice;
    // Without a log: why the file named would not open.
    std::optional<ErrorInfo> error;
};

// Opens `path` for appending, made when it is not there. When it exists
// but will not open (someone else made it first and keeps it from this
// run, or holds it open), opens a new file beside it instead, named after
// `start` and the process, which must not exist yet.
OpenedRunLog openRunLog(ConsoleHost& host, const Text& path, const UtcTime& start);

}  // namespace stravik::console

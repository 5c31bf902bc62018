#pragma once

// A log's lines read back into the runs they record. Lines of runs that
// wrote to one file at once interleave, so each line goes to the run its
// first part names; a run is handed on when its end line comes, or, never
// ended (killed, or the PC went off), when the file ends. A file is taken
// for a log only when one of its first lines starts a run in the format
// known here; a binary file, another program's log or another format's is
// skipped whole. Every text kept from a log is cut to a bounded length.
//
// A sweep of home folders names each folder's fate on a line of its own,
// after that folder's targets and messages: each such line is handed on
// as it comes, with what the run said of that folder, so that a sweep of
// thousands of folders costs no more than one.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/run_record.h"

namespace stravik::console {

// A run as its lines told it.
struct Run {
    std::uint64_t position = 0;  // of its start line, among all lines read
    std::string computer, user, version, elevated, scope;
    std::string start, end;
    std::optional<std::int64_t> exitCode;
    std::string errorNumber, errorText, failedTarget;
    record::FateCounts counts{};
    bool summarised = false;
    // A sweep's: the homes folder its line names, and what was said since
    // the last home folder's line. An error left when the run ends is the
    // homes folder's own.
    std::string homesFolder;
    std::string homeErrorNumber, homeErrorText, homeFailedTarget;
    record::FateCounts homeCounts{};
};

// One home folder's line in a sweep, with the messages before it.
struct HomeLine {
    std::uint64_t position = 0;
    record::HomeFate fate = record::HomeFate::clean;
    std::int64_t errorNumber = 0;
    bool backupPrivileges = false;
    std::string folder, name;  // the homes folder as its line names it; the home folder's name
    std::string errorText;     // of the "Error #" line before it, if any
    std::string failedTarget;
    record::FateCounts counts{};  // its targets' fates
};

class RunReader {
public:
    // `run` is called with each run of the file, as it ends or, never
    // ended, when the file does.
    // `home` with each home folder's line of a sweep, as it comes.
    RunReader(std::function<void(const Run&)> run,
              std::function<void(const Run&, const HomeLine&)> home)
        : run_(std::move(run)), home_(std::move(home)) {}

    // The file's lines in order, without their line ends; `position` grows
    // with every line the report reads.
    void line(std::string_view bytes, std::uint64_t position);
    // Hands on the runs never ended.
    void finish();

    bool isLog() const { return decided_; }
    // Lines that belong to no run: cut short, or not in the record's shape.
    std::int64_t tornLines() const { return tornLines_; }

private:
    void readRecordLine(std::string_view bytes, std::uint64_t position);
    void endRun(std::map<std::string, Run>::iterator run);
    bool readHomeLine(Run& run, std::string_view text, std::uint64_t position);

    std::function<void(const Run&)> run_;
    std::function<void(const Run&, const HomeLine&)> home_;
    bool decided_ = false;
    bool skipped_ = false;
    bool first_ = true;
    std::vector<std::pair<std::string, std::uint64_t>> pending_;
    std::size_t pendingBytes_ = 0;
    std::map<std::string, Run> openRuns_;
    std::int64_t tornLines_ = 0;
};

}  // namespace stravik::console

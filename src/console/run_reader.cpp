#include "console/run_reader.h"

#include <algorithm>
#include <utility>

namespace stravik::console {

namespace {

// Lines kept while a file's first start line is looked for, how long a
// text from a log may grow in a row, and how many runs one file may have
// under way at once: a log cannot make the report keep more than this.
constexpr std::size_t undecidedLines = 64;
constexpr std::size_t undecidedBytes = 64 * 1024;
constexpr std::size_t keptTextBytes = 1024;
constexpr std::size_t openRunsKept = 256;

std::string kept(std::string_view text) { return std::string(text.substr(0, keptTextBytes)); }

// The fate a target's line names ("removed: <target>"), if it is one.
std::optional<std::size_t> fateOf(std::string_view text) {
    for (std::size_t fate = 0; fate < record::fateNames.size(); ++fate) {
        if (text.size() > record::fateNames[fate].size() + 2 &&
            text.starts_with(record::fateNames[fate]) &&
            text.substr(record::fateNames[fate].size(), 2) == ": ") {
            return fate;
        }
    }
    return std::nullopt;
}

}  // namespace

void RunReader::line(std::string_view bytes, std::uint64_t position) {
    // A file saved by Notepad starts with a byte-order mark.
    if (std::exchange(first_, false) && bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (skipped_) {
        return;
    }
    if (decided_) {
        readRecordLine(bytes, position);
        return;
    }
    // Not yet known to be a log.
    if (bytes.find('\0') != std::string_view::npos) {
        skipped_ = true;
        return;
    }
    const std::optional<record::Line> parsed = record::splitLine(bytes);
    const std::optional<record::Start> start =
        parsed ? record::parseStart(parsed->text) : std::nullopt;
    if (start && start->format == record::format) {
        decided_ = true;
        for (const auto& [earlier, earlierPosition] : std::exchange(pending_, {})) {
            readRecordLine(earlier, earlierPosition);
        }
        readRecordLine(bytes, position);
        return;
    }
    pendingBytes_ += bytes.size();
    if (start || pending_.size() >= undecidedLines || pendingBytes_ > undecidedBytes) {
        skipped_ = true;
        pending_.clear();
        return;
    }
    pending_.emplace_back(std::string(bytes), position);
}

void RunReader::finish() {
    while (!openRuns_.empty()) {
        endRun(openRuns_.begin());
    }
}

void RunReader::endRun(std::map<std::string, Run>::iterator run) {
    const Run ended = std::move(run->second);
    openRuns_.erase(run);
    run_(ended);
}

void RunReader::readRecordLine(std::string_view bytes, std::uint64_t position) {
    const std::optional<record::Line> parsed = record::splitLine(bytes);
    if (!parsed) {
        ++tornLines_;
        return;
    }
    const std::string key(parsed->runKey);
    const std::string_view text = parsed->text;
    if (const std::optional<record::Start> start = record::parseStart(text)) {
        if (const auto earlier = openRuns_.find(key); earlier != openRuns_.end()) {
            endRun(earlier);
        }
        if (start->format != record::format) {
            ++tornLines_;
            return;
        }
        Run run;
        run.position = position;
        run.computer = kept(parsed->computer);
        run.start = std::string(parsed->runStart);
        run.user = kept(start->user);
        run.version = kept(start->version);
        run.elevated = kept(start->elevated);
        run.scope = kept(start->scope);
        if (openRuns_.size() >= openRunsKept) {
            // More runs under way at once than any PC makes: a log written
            // to make the report keep them all. The oldest is cut short.
            endRun(std::min_element(openRuns_.begin(), openRuns_.end(),
                                    [](const auto& left, const auto& right) {
                                        return left.second.position < right.second.position;
                                    }));
        }
        openRuns_.emplace(key, std::move(run));
        return;
    }
    const auto found = openRuns_.find(key);
    if (found == openRuns_.end()) {
        ++tornLines_;
        return;
    }
    Run& run = found->second;
    if (run.scope == "home" && readHomeLine(run, text, position)) {
        return;
    }
    if (const std::optional<record::End> end = record::parseEnd(text)) {
        run.end = kept(end->time);
        run.exitCode = end->exitCode;
        endRun(found);
    } else if (const auto summary = record::parseSummary(text)) {
        run.counts = *summary;
        run.summarised = true;
    } else if (const auto target = record::afterPrefix(text, record::failedPrefix)) {
        run.failedTarget = kept(*target);
    } else if (const auto error = record::parseError(text)) {
        if (run.errorNumber.empty()) {
            run.errorNumber = kept(error->number);
            run.errorText = kept(error->description);
        }
    } else if (const std::optional<std::size_t> fate = fateOf(text); fate && !run.summarised) {
        ++run.counts[*fate];
    }
}

// A sweep's lines about its home folders: what is said of a folder is kept
// until its own line comes, and then handed on with it. Returns whether the
// line was one of them; the run's own reading goes on for the others.
bool RunReader::readHomeLine(Run& run, std::string_view text, std::uint64_t position) {
    if (const auto folder = record::afterPrefix(text, record::homesFolderPrefix)) {
        run.homesFolder = kept(*folder);
        return true;
    }
    if (const std::optional<record::Home> home = record::parseHome(text)) {
        HomeLine line;
        line.position = position;
        line.fate = home->fate;
        line.errorNumber = home->errorNumber;
        line.backupPrivileges = home->backupPrivileges;
        line.folder = kept(home->folder);
        line.name = kept(home->name);
        line.errorText = std::exchange(run.homeErrorText, {});
        line.failedTarget = std::exchange(run.homeFailedTarget, {});
        line.counts = std::exchange(run.homeCounts, {});
        run.homeErrorNumber.clear();
        home_(run, line);
        return true;
    }
    if (const auto target = record::afterPrefix(text, record::failedPrefix)) {
        run.homeFailedTarget = kept(*target);
    } else if (const auto error = record::parseError(text); error && run.homeErrorNumber.empty()) {
        run.homeErrorNumber = kept(error->number);
        run.homeErrorText = kept(error->description);
    } else if (const std::optional<std::size_t> fate = fateOf(text); fate && !run.summarised) {
        ++run.homeCounts[*fate];
    }
    // The run's own reading counts and keeps them too.
    return false;
}

}  // namespace stravik::console

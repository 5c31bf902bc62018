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
    if (const std::optional<record::End> end = record::parseEnd(text)) {
        run.end = kept(end->time);
        run.exitCode = end->exitCode;
        endRun(found);
    } else if (const auto summary = record::parseSummary(text)) {
        run.counts = *summary;
        run.summarised = true;
    } else if (const auto target = record::afterPrefix(text, record::failedPrefix)) {
        run.failedTarget = kept(*target);
    } else if (const auto error = record::parseError(text); error && run.errorNumber.empty()) {
        run.errorNumber = kept(error->number);
        run.errorText = kept(error->description);
    } else if (!run.summarised) {
        for (std::size_t fate = 0; fate < record::fateNames.size(); ++fate) {
            if (text.size() > record::fateNames[fate].size() + 2 &&
                text.starts_with(record::fateNames[fate]) &&
                text.substr(record::fateNames[fate].size(), 2) == ": ") {
                ++run.counts[fate];
            }
        }
    }
}

}  // namespace stravik::console

#pragma once

// Which run is a row's latest, and the row's history, whatever order the
// files are read in. A row's runs lie in its log and in the new files
// written beside it while the log was held, so the order of files says
// nothing: runs are ordered as their writer wrote them, by the start time
// each record claims, then by where its start line lies. A run never ended
// keeps the place its start gave it. A claimed time that is no time, or
// more than a day after the report's own, ranks below every real one: a
// PC's clock far ahead (or a forged record) cannot make its run the latest
// for ever.
//
// A row keeps only what its columns need, however many runs it has.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stravik::console {

// Seconds since 1970-01-01 of "2026-12-09T10:15:00Z", or none when the
// text is not such a time (a month 13 is not).
std::optional<std::int64_t> utcSeconds(std::string_view time);

struct RunOrder {
    bool timed = false;  // false: no time, or one beyond the report's clock
    std::int64_t seconds = 0;
    std::uint64_t position = 0;  // of the start line, among all lines read
    auto operator<=>(const RunOrder&) const = default;
};

// Orders runs against the report's own time ("2026-12-09T10:15:00Z").
class RunClock {
public:
    explicit RunClock(std::string_view now);
    RunOrder orderOf(std::string_view claimedStart, std::uint64_t position) const;
    // Whether the claimed time is a time more than a day after the report's.
    bool isAhead(std::string_view claimedStart) const;

private:
    std::optional<std::int64_t> now_;
};

// Failures in a row beyond this are shown as "999+".
inline constexpr std::int64_t failuresCounted = 1000;

// The history of one row, bounded: the runs counted, the earliest and the
// last successful start, and the failures since that success (the most
// recent `failuresCounted` of them remembered, to recount when an earlier
// file brings a later success).
class RowHistory {
public:
    // Adds a run; returns whether it is now the row's latest.
    bool add(const RunOrder& order, std::string_view start, bool success);

    std::int64_t runs() const { return runs_; }
    // The order of the row's latest run, once it has one.
    const std::optional<RunOrder>& latest() const { return latest_; }
    const std::string& firstSeen() const { return firstSeen_; }
    const std::string& lastSuccess() const { return lastSuccess_; }
    // Up to `failuresCounted`, which stands for that many or more.
    std::int64_t failuresInARow() const;
    // The latest claimed start that lay beyond the report's clock, if any.
    const std::string& clockAhead() const { return clockAhead_; }
    void noteClockAhead(std::string_view start) { clockAhead_ = std::string(start); }

private:
    std::int64_t runs_ = 0;
    std::optional<RunOrder> latest_, first_, success_;
    std::string firstSeen_, lastSuccess_, clockAhead_;
    // Failures after the last success, as a min-heap of the latest ones.
    std::vector<RunOrder> failures_;
    bool failuresDropped_ = false;
};

}  // namespace stravik::console

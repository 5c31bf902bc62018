#include "console/run_order.h"

#include <algorithm>
#include <functional>

namespace stravik::console {

namespace {

constexpr std::int64_t secondsPerDay = 24 * 60 * 60;

std::optional<int> digits(std::string_view text) {
    int value = 0;
    for (const char character : text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        value = value * 10 + (character - '0');
    }
    return value;
}

// The earlier of two runs for "first seen": a real time before any other.
bool earlier(const RunOrder& left, const RunOrder& right) {
    return left.timed != right.timed ? left.timed : left < right;
}

}  // namespace

std::optional<std::int64_t> utcSeconds(std::string_view time) {
    if (time.size() != 20 || time[4] != '-' || time[7] != '-' || time[10] != 'T' ||
        time[13] != ':' || time[16] != ':' || time[19] != 'Z') {
        return std::nullopt;
    }
    const auto year = digits(time.substr(0, 4)), month = digits(time.substr(5, 2)),
               day = digits(time.substr(8, 2)), hour = digits(time.substr(11, 2)),
               minute = digits(time.substr(14, 2)), second = digits(time.substr(17, 2));
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 ||
        *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
    constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*day < 1 || *day > monthDays[*month - 1] + (*month == 2 && leap ? 1 : 0)) {
        return std::nullopt;
    }
    // Civil date to days, after Howard Hinnant's algorithm.
    const std::int64_t shiftedYear = *year - (*month <= 2 ? 1 : 0);
    const std::int64_t era = shiftedYear / 400;
    const std::int64_t yearOfEra = shiftedYear - era * 400;
    const std::int64_t dayOfYear = (153 * (*month + (*month > 2 ? -3 : 9)) + 2) / 5 + *day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * secondsPerDay + *hour * 3600 + *minute * 60 + *second;
}

RunClock::RunClock(std::string_view now) : now_(utcSeconds(now)) {}

bool RunClock::isAhead(std::string_view claimedStart) const {
    const std::optional<std::int64_t> seconds = utcSeconds(claimedStart);
    return seconds && now_ && *seconds > *now_ + secondsPerDay;
}

RunOrder RunClock::orderOf(std::string_view claimedStart, std::uint64_t position) const {
    const std::optional<std::int64_t> seconds = utcSeconds(claimedStart);
    RunOrder order;
    order.position = position;
    if (seconds && !isAhead(claimedStart)) {
        order.timed = true;
        order.seconds = *seconds;
    }
    return order;
}

bool RowHistory::add(const RunOrder& order, std::string_view start, bool success) {
    ++runs_;
    if (!first_ || earlier(order, *first_)) {
        first_ = order;
        firstSeen_ = std::string(start);
    }
    const auto later = std::greater<RunOrder>();
    if (success) {
        if (!success_ || order > *success_) {
            success_ = order;
            lastSuccess_ = std::string(start);
            // Failures before this success no longer count; those dropped
            // were older than any kept, so if one kept goes, they all do.
            const auto kept =
                std::remove_if(failures_.begin(), failures_.end(),
                               [&](const RunOrder& failure) { return failure < order; });
            if (kept != failures_.end()) {
                failures_.erase(kept, failures_.end());
                std::make_heap(failures_.begin(), failures_.end(), later);
                failuresDropped_ = false;
            }
        }
    } else if (!success_ || order > *success_) {
        failures_.push_back(order);
        std::push_heap(failures_.begin(), failures_.end(), later);
        if (failures_.size() > static_cast<std::size_t>(failuresCounted)) {
            std::pop_heap(failures_.begin(), failures_.end(), later);
            failures_.pop_back();
            failuresDropped_ = true;
        }
    }
    if (!latest_ || order > *latest_) {
        latest_ = order;
        return true;
    }
    return false;
}

std::int64_t RowHistory::failuresInARow() const {
    return failuresDropped_ ? failuresCounted : static_cast<std::int64_t>(failures_.size());
}

}  // namespace stravik::console

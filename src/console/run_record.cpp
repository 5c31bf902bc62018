#include "console/run_record.h"

#include <algorithm>
#include <charconv>

namespace stravik::console::record {

namespace {

bool isDigit(char character) { return character >= '0' && character <= '9'; }

// "2026-12-09T10:15:00Z"
bool isUtcTime(std::string_view text) {
    static constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t index = 0; index < shape.size(); ++index) {
        if (shape[index] == 'd' ? !isDigit(text[index]) : text[index] != shape[index]) {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The next ", "-separated field of `rest` if it is "<name> <value>"; the
// last field takes the rest.
std::optional<std::string_view> field(std::string_view& rest, std::string_view name, bool last) {
    const std::optional<std::string_view> value = afterPrefix(rest, name);
    if (!value || value->empty() || value->front() != ' ') {
        return std::nullopt;
    }
    std::string_view tail = value->substr(1);
    const std::size_t comma = last ? std::string_view::npos : tail.find(", ");
    if (!last && comma == std::string_view::npos) {
        return std::nullopt;
    }
    rest = last ? std::string_view() : tail.substr(comma + 2);
    return tail.substr(0, comma);
}

// "<name> N, <name> N, ...": a count for each of `names`, in their order.
template <std::size_t count>
std::optional<std::array<std::int64_t, count>> countedFields(
    std::string_view fields, const std::array<std::string_view, count>& names) {
    std::array<std::int64_t, count> counts{};
    for (std::size_t index = 0; index < count; ++index) {
        const auto value = field(fields, names[index], index + 1 == count);
        const std::optional<std::int64_t> counted = value ? number(*value) : std::nullopt;
        if (!counted) {
            return std::nullopt;
        }
        counts[index] = *counted;
    }
    return counts;
}

// The record's words are ASCII: widened character by character.
Text wide(std::string_view text) { return Text(text.begin(), text.end()); }

// "<heading> <name> N, <name> N, ...", countedFields' counterpart.
template <std::size_t count>
Text countedText(const Text& heading, const std::array<std::string_view, count>& names,
                 const std::array<std::int64_t, count>& counts) {
    Text text = heading;
    for (std::size_t index = 0; index < count; ++index) {
        text += (index == 0 ? L" " : L", ") + wide(names[index]) + L" " +
                std::to_wstring(counts[index]);
    }
    return text;
}

}  // namespace

Text linePrefix(const Text& runStart, const Text& computer, std::uint32_t process) {
    return runStart + L" " + computer + L"[" + std::to_wstring(process) + L"] ";
}

Text startText(const StartFields& fields) {
    return L"start " + fields.time + L", version " + fields.version + L", format " +
           std::to_wstring(format) + L", command " + fields.command + L", scope " + fields.scope +
           L", user " + fields.user + L", elevated " + (fields.elevated ? L"yes" : L"no") +
           L", command line: " + fields.commandLine;
}

Text fateText(std::size_t fate, const Text& target) {
    return wide(fateNames[fate]) + L": " + target;
}

Text failedText(const Text& target) { return wide(failedPrefix) + target; }

Text summaryText(const FateCounts& counts) { return countedText(L"summary:", fateNames, counts); }

Text endText(const Text& time, int exitCode) {
    return L"end " + time + L", exit code " + std::to_wstring(exitCode);
}

Text homesFolderText(const Text& folder) { return wide(homesFolderPrefix) + folder; }

Text homeText(HomeFate fate, std::int32_t errorNumber, bool backupPrivileges, const Text& path) {
    Text text = L"home " + wide(homeFateNames[static_cast<std::size_t>(fate)]);
    if (fate == HomeFate::failed) {
        text += L" " + std::to_wstring(errorNumber);
    }
    return text + (backupPrivileges ? L", backup privileges: " : L": ") + path;
}

Text homesSummaryText(const HomeFateCounts& counts) {
    return countedText(L"homes summary:", homeFateNames, counts);
}

Text backupPrivilegesText(const Text& folder) { return wide(backupPrivilegesPrefix) + folder; }

std::optional<std::string_view> afterPrefix(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return std::nullopt;
    }
    return text.substr(prefix.size());
}

std::optional<Line> splitLine(std::string_view line) {
    constexpr std::size_t timeLength = 20;
    if (line.size() < timeLength + 1 || !isUtcTime(line.substr(0, timeLength)) ||
        line[timeLength] != ' ') {
        return std::nullopt;
    }
    const std::size_t open = line.find('[', timeLength + 1);
    const std::size_t close = open == std::string_view::npos ? open : line.find(']', open);
    if (close == std::string_view::npos || open == timeLength + 1 ||
        line.substr(timeLength + 1, open - timeLength - 1).find(' ') != std::string_view::npos ||
        close == open + 1 || !number(line.substr(open + 1, close - open - 1)) ||
        line.size() < close + 2 || line[close + 1] != ' ') {
        return std::nullopt;
    }
    return Line{line.substr(0, close + 1), line.substr(0, timeLength),
                line.substr(timeLength + 1, open - timeLength - 1), line.substr(close + 2)};
}

std::optional<Start> parseStart(std::string_view text) {
    std::optional<std::string_view> rest = afterPrefix(text, "start ");
    if (!rest) {
        return std::nullopt;
    }
    const std::size_t comma = rest->find(", ");
    if (comma == std::string_view::npos || !isUtcTime(rest->substr(0, comma))) {
        return std::nullopt;
    }
    std::string_view fields = rest->substr(comma + 2);
    Start start;
    const auto version = field(fields, "version", false);
    const auto formatText = field(fields, "format", false);
    const std::optional<std::int64_t> formatNumber =
        formatText ? number(*formatText) : std::nullopt;
    if (!version || !formatNumber) {
        return std::nullopt;
    }
    start.version = *version;
    start.format = static_cast<int>(*formatNumber);
    if (start.format != format) {
        // Another layout: known to be a start, its fields not.
        return start;
    }
    const auto command = field(fields, "command", false);
    const auto scope = field(fields, "scope", false);
    // A user's name cannot hold a comma.
    const auto user = field(fields, "user", false);
    const auto elevated = field(fields, "elevated", false);
    if (!command || !scope || !user || !elevated || !fields.starts_with("command line: ")) {
        return std::nullopt;
    }
    start.command = *command;
    start.scope = *scope;
    start.user = *user;
    start.elevated = *elevated;
    return start;
}

std::optional<End> parseEnd(std::string_view text) {
    std::optional<std::string_view> rest = afterPrefix(text, "end ");
    if (!rest) {
        return std::nullopt;
    }
    const std::size_t comma = rest->find(", exit code ");
    if (comma == std::string_view::npos || !isUtcTime(rest->substr(0, comma))) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> code = number(rest->substr(comma + 12));
    if (!code) {
        return std::nullopt;
    }
    return End{rest->substr(0, comma), *code};
}

std::optional<FateCounts> parseSummary(std::string_view text) {
    std::optional<std::string_view> rest = afterPrefix(text, "summary: ");
    if (!rest) {
        return std::nullopt;
    }
    return countedFields<fateNames.size()>(*rest, fateNames);
}

std::optional<Home> parseHome(std::string_view text) {
    const std::optional<std::string_view> rest = afterPrefix(text, "home ");
    const std::size_t colon = rest ? rest->find(": ") : std::string_view::npos;
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    Home home;
    std::string_view head = rest->substr(0, colon);
    home.path = rest->substr(colon + 2);
    constexpr std::string_view privileges = ", backup privileges";
    home.backupPrivileges = head.ends_with(privileges);
    if (home.backupPrivileges) {
        head.remove_suffix(privileges.size());
    }
    const std::size_t fateEnd = head.starts_with("failed ") ? 6 : head.size();
    const auto fate =
        std::find(homeFateNames.begin(), homeFateNames.end(), head.substr(0, fateEnd));
    if (fate == homeFateNames.end()) {
        return std::nullopt;
    }
    home.fate = static_cast<HomeFate>(fate - homeFateNames.begin());
    const std::optional<std::int64_t> errorNumber =
        fateEnd < head.size() ? number(head.substr(fateEnd + 1)) : std::nullopt;
    if ((home.fate == HomeFate::failed) != errorNumber.has_value()) {
        return std::nullopt;
    }
    home.errorNumber = errorNumber.value_or(0);
    const std::size_t separator = home.path.rfind('\\');
    if (separator == std::string_view::npos || separator + 1 == home.path.size()) {
        return std::nullopt;
    }
    home.folder = home.path.substr(0, separator + 1);
    home.name = home.path.substr(separator + 1);
    return home;
}

std::optional<HomeFateCounts> parseHomesSummary(std::string_view text) {
    std::optional<std::string_view> rest = afterPrefix(text, "homes summary: ");
    if (!rest) {
        return std::nullopt;
    }
    return countedFields<homeFateNames.size()>(*rest, homeFateNames);
}

std::optional<ErrorMessage> parseError(std::string_view text) {
    std::optional<std::string_view> rest = afterPrefix(text, "Error #");
    if (!rest || rest->empty() || (rest->front() != ' ' && rest->front() != '-')) {
        return std::nullopt;
    }
    const std::size_t colon = rest->find(": ");
    if (colon == std::string_view::npos || colon < 2 || !number(rest->substr(1, colon - 1))) {
        return std::nullopt;
    }
    std::string_view description = rest->substr(colon + 2);
    if (description.ends_with('.')) {
        description.remove_suffix(1);
    }
    const std::string_view digits =
        rest->substr(rest->front() == '-' ? 0 : 1, colon - (rest->front() == '-' ? 0 : 1));
    return ErrorMessage{digits, description};
}

}  // namespace stravik::console::record

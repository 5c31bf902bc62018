#include "console/estate_report.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "console/run_record.h"

namespace stravik::console {

namespace {

// Lines kept while a file's first start line is looked for, and how long
// a text from a log may grow in a row: a log cannot make the report keep
// more than this much of it.
constexpr std::size_t undecidedLines = 64;
constexpr std::size_t undecidedBytes = 64 * 1024;
constexpr std::size_t keptTextBytes = 1024;
constexpr std::size_t openRunsKept = 256;

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& character : upper) {
        if (character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        }
    }
    return upper;
}

std::string kept(std::string_view text) { return std::string(text.substr(0, keptTextBytes)); }

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char character) {
        return character >= '0' && character <= '9';
    });
}

// "-20261209T101500Z-1234" at the end of a new file's stem, beside a log
// that someone else held.
std::string_view withoutBesideSuffix(std::string_view stem) {
    const std::size_t processDash = stem.rfind('-');
    if (processDash == std::string_view::npos || !isDigits(stem.substr(processDash + 1))) {
        return stem;
    }
    const std::string_view rest = stem.substr(0, processDash);
    constexpr std::size_t timeLength = 16;  // 20261209T101500Z
    if (rest.size() <= timeLength || rest[rest.size() - timeLength - 1] != '-') {
        return stem;
    }
    const std::string_view time = rest.substr(rest.size() - timeLength);
    if (!isDigits(time.substr(0, 8)) || time[8] != 'T' || !isDigits(time.substr(9, 6)) ||
        time[15] != 'Z') {
        return stem;
    }
    return rest.substr(0, rest.size() - timeLength - 1);
}

RowState stateOfExitCode(std::int64_t code) {
    switch (code) {
        case 0:
            return RowState::clean;
        case 1:
            return RowState::present;
        case 3010:
            return RowState::restartPending;
        case 70:
            return RowState::permissionDenied;
        case 75:
            return RowState::linkRefused;
        case 68:
        case 76:
            return RowState::unreachable;
        case 740:
            return RowState::notElevated;
        default:
            return RowState::failed;
    }
}

// Days since 1970-01-01 of an ISO 8601 date, or none.
std::optional<std::int64_t> dayNumber(std::string_view time) {
    int year = 0, month = 0, day = 0;
    if (time.size() < 10 || std::sscanf(std::string(time.substr(0, 10)).c_str(), "%4d-%2d-%2d",
                                        &year, &month, &day) != 3) {
        return std::nullopt;
    }
    // Civil date to days, after Howard Hinnant's algorithm.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::string_view rowStateText(RowState state) {
    switch (state) {
        case RowState::clean:
            return "clean";
        case RowState::present:
            return "present";
        case RowState::restartPending:
            return "restart pending";
        case RowState::permissionDenied:
            return "permission denied or in use";
        case RowState::linkRefused:
            return "link refused";
        case RowState::unreachable:
            return "drive not reachable";
        case RowState::notElevated:
            return "not run as an administrator";
        case RowState::failed:
            return "failed";
        case RowState::interrupted:
            return "interrupted";
        case RowState::mismatched:
            return "mismatched";
        case RowState::stale:
            return "stale";
        case RowState::neverReported:
            return "never reported";
    }
    return "";
}

bool isClean(const EstateRow& row) { return row.state == RowState::clean; }

void EstateReport::beginFile(std::string_view path) {
    file_.emplace();
    file_->path = std::string(path);
    const std::size_t nameStart = path.find_last_of("\\/");
    const std::string_view name =
        nameStart == std::string_view::npos ? path : path.substr(nameStart + 1);
    if (nameStart != std::string_view::npos) {
        const std::string_view folders = path.substr(0, nameStart);
        const std::size_t folderStart = folders.find_last_of("\\/");
        file_->folder = upperAscii(
            folderStart == std::string_view::npos ? folders : folders.substr(folderStart + 1));
    }
    std::string_view stem = name;
    if (stem.size() > 4 && upperAscii(stem.substr(stem.size() - 4)) == ".LOG") {
        stem.remove_suffix(4);
    }
    file_->stem = std::string(withoutBesideSuffix(stem));
    ++counts_.files;
}

void EstateReport::line(std::string_view bytes) {
    if (!file_ || file_->skipped) {
        return;
    }
    if (file_->decided) {
        readRecordLine(bytes);
        return;
    }
    // Not yet known to be a log: a binary file, another program's or
    // another format's is skipped whole.
    if (bytes.find('\0') != std::string_view::npos) {
        file_->skipped = true;
        return;
    }
    const std::optional<record::Line> parsed = record::splitLine(bytes);
    const std::optional<record::Start> start =
        parsed ? record::parseStart(parsed->text) : std::nullopt;
    if (start && start->format == record::format) {
        file_->decided = true;
        std::vector<std::string> pending = std::move(file_->pending);
        for (const std::string& earlier : pending) {
            readRecordLine(earlier);
        }
        readRecordLine(bytes);
        return;
    }
    file_->pendingBytes += bytes.size();
    if (start || file_->pending.size() >= undecidedLines || file_->pendingBytes > undecidedBytes) {
        file_->skipped = true;
        file_->pending.clear();
        return;
    }
    file_->pending.emplace_back(bytes);
}

void EstateReport::endFile() {
    if (!file_) {
        return;
    }
    if (!file_->decided) {
        ++counts_.filesSkipped;
    } else {
        // A start with no end: the run was killed, or the PC went off.
        for (auto& [key, run] : file_->openRuns) {
            fold(run);
        }
    }
    file_.reset();
}

void EstateReport::readRecordLine(std::string_view bytes) {
    const std::optional<record::Line> parsed = record::splitLine(bytes);
    if (!parsed) {
        ++counts_.tornLines;
        return;
    }
    const std::string key(parsed->runKey);
    const std::string_view text = parsed->text;
    if (const std::optional<record::Start> start = record::parseStart(text)) {
        if (const auto earlier = file_->openRuns.find(key); earlier != file_->openRuns.end()) {
            fold(earlier->second);
            file_->openRuns.erase(earlier);
        }
        if (start->format != record::format) {
            ++counts_.tornLines;
            return;
        }
        Run run;
        run.order = ++order_;
        run.computer = kept(parsed->computer);
        run.start = std::string(parsed->runStart);
        run.user = kept(start->user);
        run.version = kept(start->version);
        run.elevated = kept(start->elevated);
        run.scope = kept(start->scope);
        if (file_->openRuns.size() >= openRunsKept) {
            // More runs under way at once than any PC makes: a log written
            // to make the report keep them all. The oldest is cut short.
            const auto oldest = std::min_element(file_->openRuns.begin(), file_->openRuns.end(),
                                                 [](const auto& left, const auto& right) {
                                                     return left.second.order < right.second.order;
                                                 });
            fold(oldest->second);
            file_->openRuns.erase(oldest);
        }
        file_->openRuns.emplace(key, std::move(run));
        return;
    }
    const auto found = file_->openRuns.find(key);
    if (found == file_->openRuns.end()) {
        ++counts_.tornLines;
        return;
    }
    Run& run = found->second;
    if (const std::optional<record::End> end = record::parseEnd(text)) {
        run.end = kept(end->time);
        run.exitCode = end->exitCode;
        fold(run);
        file_->openRuns.erase(found);
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

void EstateReport::fold(const Run& run) {
    ++counts_.runs;
    const bool machine = run.scope == "machine" || run.scope == "everything";
    const bool user = run.scope == "user" || run.scope == "everything";
    const std::string computer = computerKey(run.computer);
    const std::string userKey = upperAscii(run.user);
    const std::string& folder = file_->folder;
    const std::string stem = upperAscii(file_->stem);

    // Where the file lies says whom it may speak for; a record that claims
    // otherwise is shown as it is, never merged into another's row.
    std::string mismatch;
    if (folder == "COMPUTERS" && (!machine || stem != computer)) {
        mismatch = "a record for " + (machine ? "computer " + run.computer : "a user's part") +
                   " in a computer's log";
    } else if (folder == "USERS" && (!user || stem != computer + "-" + userKey)) {
        mismatch =
            "a record for " +
            (user ? "computer " + run.computer + ", user " + run.user : "the machine's part") +
            " in a user's log";
    } else if (!machine && !user) {
        mismatch = "a record of no known scope";
    }
    if (!mismatch.empty()) {
        foldInto({computer, "mismatch", userKey, file_->path}, run, "mismatch", mismatch);
        return;
    }
    if (machine && folder != "USERS") {
        foldInto({computer, "machine", "", ""}, run, "machine", "");
    }
    if (user && folder != "COMPUTERS") {
        foldInto({computer, "user", userKey, ""}, run, "user", "");
    }
}

void EstateReport::foldInto(const RowKey& key, const Run& run, const std::string& part,
                            const std::string& note) {
    EstateRow& row = rows_[key];
    std::uint64_t& latest = latest_[key];
    const bool success = run.exitCode && (*run.exitCode == 0 || *run.exitCode == 3010);
    ++row.runs;
    row.failuresInARow = success ? 0 : row.failuresInARow + 1;
    if (row.runs == 1 || row.firstSeen.empty()) {
        row.firstSeen = run.start;
    }
    if (run.order < latest) {
        // Ended after a run that started later: history only.
        if (success && row.lastSuccess.empty()) {
            row.lastSuccess = run.start;
        }
        return;
    }
    latest = run.order;
    if (success) {
        row.lastSuccess = run.start;
    }
    row.computer = run.computer;
    row.part = part;
    row.user = part == "machine" ? std::string() : run.user;
    row.logFile = file_->path;
    row.lastStart = run.start;
    row.lastEnd = run.end;
    row.version = run.version;
    row.elevated = run.elevated;
    row.exitCode = run.exitCode;
    row.errorNumber = run.errorNumber;
    row.errorText = run.errorText;
    row.failedTarget = run.failedTarget;
    row.counts = run.counts;
    row.note = note;
    row.state = !note.empty()   ? RowState::mismatched
                : !run.exitCode ? RowState::interrupted
                                : stateOfExitCode(*run.exitCode);
}

std::vector<EstateRow> EstateReport::rows(const std::vector<std::string>& expectedComputers,
                                          std::optional<int> staleDays,
                                          std::string_view now) const {
    std::vector<EstateRow> rows;
    rows.reserve(rows_.size());
    const std::optional<std::int64_t> today = dayNumber(now);
    for (const auto& [key, row] : rows_) {
        rows.push_back(row);
        EstateRow& added = rows.back();
        const std::optional<std::int64_t> day = dayNumber(added.lastStart);
        if (staleDays && today && added.state != RowState::mismatched &&
            (!day || *today - *day >= *staleDays)) {
            added.state = RowState::stale;
        }
    }
    std::set<std::string> reported;
    for (const auto& [key, row] : rows_) {
        reported.insert(std::get<0>(key));
    }
    for (const std::string& name : expectedComputers) {
        // Each name once, however often the list has it.
        std::string key = computerKey(name);
        if (!key.empty() && reported.insert(key).second) {
            EstateRow row;
            row.computer = std::move(key);
            row.part = "machine";
            row.state = RowState::neverReported;
            rows.push_back(std::move(row));
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const EstateRow& left, const EstateRow& right) {
        return std::tuple(computerKey(left.computer), left.part, upperAscii(left.user)) <
               std::tuple(computerKey(right.computer), right.part, upperAscii(right.user));
    });
    return rows;
}

std::string computerKey(std::string_view name) {
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ' || name.back() == '\t')) {
        name.remove_suffix(1);
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
        name.remove_prefix(1);
    }
    if (const std::size_t domain = name.find_last_of('\\'); domain != std::string_view::npos) {
        name.remove_prefix(domain + 1);
    }
    if (!name.empty() && name.back() == '$') {
        name.remove_suffix(1);
    }
    if (const std::size_t suffix = name.find('.'); suffix != std::string_view::npos) {
        name = name.substr(0, suffix);
    }
    return upperAscii(name);
}

std::vector<std::string> readComputerList(std::string_view bytes) {
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // UTF-16LE, as Windows PowerShell 5.1 writes with ">".
        for (std::size_t index = 2; index + 1 < bytes.size(); index += 2) {
            std::uint32_t unit = static_cast<unsigned char>(bytes[index]) |
                                 (static_cast<unsigned char>(bytes[index + 1]) << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF && index + 3 < bytes.size()) {
                const std::uint32_t low = static_cast<unsigned char>(bytes[index + 2]) |
                                          (static_cast<unsigned char>(bytes[index + 3]) << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    index += 2;
                }
            }
            if (unit < 0x80) {
                text += static_cast<char>(unit);
            } else if (unit < 0x800) {
                text += static_cast<char>(0xC0 | (unit >> 6));
                text += static_cast<char>(0x80 | (unit & 0x3F));
            } else if (unit < 0x10000) {
                text += static_cast<char>(0xE0 | (unit >> 12));
                text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
                text += static_cast<char>(0x80 | (unit & 0x3F));
            } else {
                text += static_cast<char>(0xF0 | (unit >> 18));
                text += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
                text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
                text += static_cast<char>(0x80 | (unit & 0x3F));
            }
        }
    } else {
        text = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    }
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string name = computerKey(std::string_view(text).substr(start, end - start));
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    return names;
}

std::string shownText(std::string_view text) {
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string shown;
    shown.reserve(text.size());
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1F
                             : length == 3 ? lead & 0x0F
                                           : lead & 0x07;
        for (std::size_t next = 1; length != 0 && next < length; ++next) {
            const auto byte =
                index + next < text.size() ? static_cast<unsigned char>(text[index + next]) : 0;
            if ((byte & 0xC0) != 0x80) {
                length = 0;
            } else {
                code = (code << 6) | (byte & 0x3F);
            }
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        const bool invalid =
            length == 0 || overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF);
        // Control characters, C1 included, and the marks that reverse the
        // direction of text on the screen.
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F) ||
                             (code >= 0x202A && code <= 0x202E) ||
                             (code >= 0x2066 && code <= 0x2069);
        if (invalid || control) {
            shown += replacement;
            index += length == 0 ? 1 : length;
        } else {
            shown += text.substr(index, length);
            index += length;
        }
    }
    return shown;
}

}  // namespace stravik::console

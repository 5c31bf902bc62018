#include "console/estate_report.h"

#include <algorithm>

namespace stravik::console {

namespace {

// Mismatch rows one file may make; the rest are counted in one more row.
constexpr std::size_t mismatchRowsPerFile = 8;

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

std::string placeName(PlaceKind kind) {
    return kind == PlaceKind::computers ? "COMPUTERS"
           : kind == PlaceKind::users   ? "USERS"
           : kind == PlaceKind::homes   ? "HOMES"
                                        : "";
}

bool isPartRow(const EstateRow& row) { return row.part == "machine" || row.part == "user"; }

// The homes folder a sweep names, as the rows show it: a local folder
// ("D:\Homes\") is named on its server as an administrator reaches it
// ("\\FS1\D$\Homes\"), since every file server may have its own D:\Homes.
std::string homesRoot(std::string_view folder, std::string_view computer) {
    const bool drive =
        folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\' &&
        ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    if (!drive) {
        return std::string(folder);
    }
    return "\\\\" + computerKey(computer) + "\\" + folder[0] + "$" + std::string(folder.substr(2));
}

// A home folder's fate as a row's state: what a run of that one folder
// would have returned.
std::int64_t homeExitCode(const HomeLine& home) {
    switch (home.fate) {
        case record::HomeFate::present:
            return 1;
        case record::HomeFate::failed:
            return home.errorNumber;
        default:
            return 0;
    }
}

}  // namespace

std::string_view rowStateText(RowState state) {
    switch (state) {
        case RowState::clean:
            return "clean";
        case RowState::closedBySweep:
            return "closed by sweep";
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
        case RowState::nameTaken:
            return "log name taken";
        case RowState::ownerUnknown:
            return "owner unknown";
        case RowState::unreadable:
            return "unreadable";
        case RowState::notAttributed:
            return "not attributed";
        case RowState::stale:
            return "stale";
        case RowState::neverReported:
            return "never reported";
    }
    return "";
}

bool isClean(const EstateRow& row) {
    return row.state == RowState::clean || row.state == RowState::closedBySweep;
}

EstateReport::EstateReport(std::string_view now, Trust trust)
    : clock_(now), now_(now), trust_(trust) {
    counts_.placesTrusted = trust == Trust::place;
}

void EstateReport::folder(std::string_view path) {
    computersFolder_ = computersFolder_ || isComputersFolder(path);
}

void EstateReport::beginFile(std::string_view path, const LogOwner& owner) {
    ++counts_.files;
    FileState& file = file_.emplace();
    file.path = std::string(path);
    file.place = placeOf(path);
    file.attribution = attribute(file.place, owner, trust_);
    const RowKey nameKey{"", "log", placeName(file.place.kind) + "\\" + upperAscii(file.place.stem),
                         file.attribution.owner};
    switch (file.attribution.verdict) {
        case Attribution::Verdict::taken:
            // Never read: whatever it says, its name is not its owner's.
            fileRow(nameKey, RowState::nameTaken, file.path, file.attribution.note);
            return;
        case Attribution::Verdict::ownerUnknown:
            fileRow(nameKey, RowState::ownerUnknown, file.path, file.attribution.note);
            return;
        case Attribution::Verdict::place:
            if (file.place.kind == PlaceKind::computers) {
                placeComputers_.insert(computerKey(file.place.stem));
            } else if (!file.attribution.computer.empty()) {
                placeComputers_.insert(file.attribution.computer);
            }
            break;
        case Attribution::Verdict::notAttributed:
            break;
    }
    file.reader.emplace([this](const Run& run) { fold(run); },
                        [this](const Run& run, const HomeLine& home) { foldHome(run, home); });
}

void EstateReport::line(std::string_view bytes) {
    ++position_;
    if (file_ && file_->reader) {
        file_->reader->line(bytes, position_);
    }
}

void EstateReport::unfinishedLine() {
    // Only a log's: another file need not end its lines.
    if (file_ && file_->reader && file_->reader->isLog()) {
        ++counts_.unfinishedLines;
    }
}

void EstateReport::endFile() {
    if (!file_) {
        return;
    }
    if (file_->reader) {
        file_->reader->finish();
        counts_.tornLines += file_->reader->tornLines();
        if (!file_->reader->isLog()) {
            ++counts_.filesSkipped;
        } else if (file_->attribution.verdict == Attribution::Verdict::notAttributed) {
            fileRow({"", "log", file_->path, "not attributed"}, RowState::notAttributed,
                    file_->path,
                    "not in a computers, users or homes folder given or directly under one");
            rows_[{"", "log", file_->path, "not attributed"}].row.runs = file_->runs;
        }
    }
    if (file_->mismatchesBeyond != 0) {
        EstateRow& row = rows_[{"", "mismatch", "", file_->path}].row;
        row.part = "mismatch";
        row.logFile = file_->path;
        row.state = RowState::mismatched;
        row.runs = file_->mismatchesBeyond;
        row.note = std::to_string(file_->mismatchesBeyond) +
                   " more records in this log claim other computers, users or parts";
    }
    file_.reset();
}

void EstateReport::unreadable(std::string_view path, std::string_view error) {
    ++counts_.files;
    const LogPlace place = placeOf(path);
    // Named as the scripts name a log where they put one; by its path elsewhere.
    const std::string name = place.kind == PlaceKind::none
                                 ? std::string(path)
                                 : placeName(place.kind) + "\\" + upperAscii(place.stem);
    fileRow({"", "log", name, "unreadable"}, RowState::unreadable, std::string(path),
            std::string(error));
}

void EstateReport::fileRow(const RowKey& key, RowState state, const std::string& path,
                           const std::string& note) {
    EstateRow& row = rows_[key].row;
    if (row.logFile.empty()) {
        row.part = "log";
        row.logFile = path;
        row.state = state;
        row.note = note;
    }
}

void EstateReport::fold(const Run& run) {
    ++counts_.runs;
    ++file_->runs;
    if (file_->attribution.verdict != Attribution::Verdict::place) {
        return;
    }
    const Speaking speaking =
        speaksFor(file_->place, file_->attribution, run.computer, run.user, run.scope);
    const std::string computer = computerKey(run.computer);
    if (!speaking.mismatch.empty()) {
        // Shown as it is, never merged into another's row, and no more of
        // them from one log than a few.
        const RowKey key{computer, "mismatch", upperAscii(run.user), file_->path};
        if (!file_->mismatches.contains(key) && file_->mismatches.size() >= mismatchRowsPerFile) {
            ++file_->mismatchesBeyond;
            return;
        }
        file_->mismatches.insert(key);
        foldInto(key, run, "mismatch", speaking.mismatch);
        return;
    }
    if (speaking.machine) {
        foldInto({computer, "machine", "", ""}, run, "machine", "");
    }
    if (speaking.user) {
        foldInto({computer, "user", upperAscii(run.user), ""}, run, "user", "");
    }
    if (speaking.home) {
        // The homes folder's own row: clean when the sweep went through
        // it, whatever its home folders' fates (they have rows of their
        // own); otherwise why it could not, or that it never ended.
        const bool ownError = !run.homeErrorNumber.empty();
        const bool through = run.exitCode && !ownError;
        const std::string root = homesRoot(run.homesFolder, run.computer);
        EstateRow* row = addRun({upperAscii(root), "home", "", ""}, run, run.position, through);
        if (row == nullptr) {
            return;
        }
        row->computer = root;
        row->user.clear();
        row->errorNumber = run.homeErrorNumber;
        row->errorText = run.homeErrorText;
        row->failedTarget = run.homeFailedTarget;
        row->state = !run.exitCode ? RowState::interrupted
                     : through     ? RowState::clean
                                   : stateOfExitCode(*run.exitCode);
    }
}

void EstateReport::foldHome(const Run& run, const HomeLine& home) {
    if (file_->attribution.verdict != Attribution::Verdict::place ||
        file_->place.kind != PlaceKind::homes || run.scope != "home" ||
        home.fate == record::HomeFate::skipped) {
        // A sweep anywhere else is a mismatch when it ends; a skipped
        // folder is Windows' own.
        return;
    }
    const std::int64_t code = homeExitCode(home);
    const bool success =
        home.fate == record::HomeFate::emptied || home.fate == record::HomeFate::clean;
    const std::string root = homesRoot(home.folder, run.computer);
    EstateRow* row =
        addRun({upperAscii(root), "home", upperAscii(home.name), ""}, run, home.position, success);
    if (row == nullptr) {
        return;
    }
    row->computer = root;
    row->user = home.name;
    row->lastEnd.clear();
    row->exitCode = code;
    row->errorNumber = home.fate == record::HomeFate::failed ? std::to_string(code) : "";
    row->errorText = home.errorText;
    row->failedTarget = home.failedTarget;
    row->counts = home.counts;
    row->note = home.backupPrivileges ? "opened with the backup privileges" : "";
    // A failure whose number would read as a success is a failure.
    row->state = success                                  ? RowState::clean
                 : home.fate == record::HomeFate::present ? RowState::present
                 : code == 0 || code == 1 || code == 3010 ? RowState::failed
                                                          : stateOfExitCode(code);
}

EstateRow* EstateReport::addRun(const RowKey& key, const Run& run, std::uint64_t position,
                                bool success) {
    Entry& entry = rows_[key];
    if (clock_.isAhead(run.start)) {
        entry.history.noteClockAhead(run.start);
    }
    if (!entry.history.add(clock_.orderOf(run.start, position), run.start, success)) {
        return nullptr;
    }
    EstateRow& row = entry.row;
    row.computer = run.computer;
    row.part = std::get<1>(key);
    row.user = run.user;
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
    row.note.clear();
    return &row;
}

void EstateReport::foldInto(const RowKey& key, const Run& run, const std::string& part,
                            const std::string& note) {
    const bool success = run.exitCode && (*run.exitCode == 0 || *run.exitCode == 3010);
    EstateRow* row = addRun(key, run, run.position, success);
    if (row == nullptr) {
        return;
    }
    row->part = part;
    if (part == "machine") {
        row->user.clear();
    }
    row->note = note;
    row->state = !note.empty()   ? RowState::mismatched
                 : !run.exitCode ? RowState::interrupted
                                 : stateOfExitCode(*run.exitCode);
}

std::vector<EstateRow> EstateReport::rows(
    const std::optional<std::vector<std::string>>& expectedComputers,
    std::optional<int> staleDays) const {
    std::vector<EstateRow> rows;
    rows.reserve(rows_.size());
    const std::optional<std::int64_t> now = utcSeconds(now_);
    std::set<std::string> machineRows;
    std::set<std::string> known = placeComputers_;
    // Per user's name, the latest clean run of a home folder of that name.
    std::map<std::string, const Entry*> sweeps;
    for (const auto& [key, entry] : rows_) {
        const std::string& name = std::get<2>(key);
        if (std::get<1>(key) == "home" && !name.empty() && entry.row.state == RowState::clean) {
            const Entry*& latest = sweeps[name];
            if (latest == nullptr || *entry.history.latest() > *latest->history.latest()) {
                latest = &entry;
            }
        }
    }
    for (const auto& [key, entry] : rows_) {
        rows.push_back(entry.row);
        EstateRow& added = rows.back();
        if (entry.history.runs() != 0) {
            added.runs = entry.history.runs();
            added.firstSeen = entry.history.firstSeen();
            added.lastSuccess = entry.history.lastSuccess();
            added.failuresInARow = entry.history.failuresInARow();
        }
        if (!entry.history.clockAhead().empty()) {
            added.note += (added.note.empty() ? "" : "; ") +
                          std::string("clock ahead: a run claims ") + entry.history.clockAhead();
        }
        if (!isPartRow(added) && added.part != "home") {
            continue;
        }
        // A sweep's rows name no computer.
        if (isPartRow(added)) {
            (added.part == "machine" ? machineRows : known).insert(std::get<0>(key));
        }
        const std::optional<std::int64_t> started = utcSeconds(added.lastStart);
        if (staleDays && now && (!started || *now - *started >= *staleDays * 86400LL)) {
            added.state = RowState::stale;
        }
        // The user's template folder is the home folder of that name: a
        // sweep that found it clean after the user's last run closes it.
        const auto sweep = sweeps.find(std::get<2>(key));
        if (added.part == "user" && !isClean(added) && sweep != sweeps.end() &&
            entry.history.latest() && *sweep->second->history.latest() > *entry.history.latest()) {
            const EstateRow& home = sweep->second->row;
            added.note = std::string(home.counts[0] > 0 ? "emptied" : "found empty") +
                         " by the sweep of " + home.computer + home.user + " at " + home.lastStart +
                         "; its own last run: " + std::string(rowStateText(added.state)) +
                         (added.note.empty() ? "" : "; " + added.note);
            added.state = RowState::closedBySweep;
        }
    }
    if (expectedComputers || computersFolder_) {
        if (expectedComputers) {
            for (const std::string& name : *expectedComputers) {
                known.insert(computerKey(name));
            }
        }
        for (const std::string& computer : known) {
            if (!computer.empty() && !machineRows.contains(computer)) {
                EstateRow row;
                row.computer = computer;
                row.part = "machine";
                row.state = RowState::neverReported;
                rows.push_back(std::move(row));
            }
        }
    }
    // Computers first, then the homes folders swept, then the files' own rows.
    const auto order = [](const EstateRow& row) {
        const bool home = row.part == "home";
        return std::tuple(row.computer.empty(), home,
                          home ? upperAscii(row.computer) : computerKey(row.computer), row.part,
                          upperAscii(row.user), std::string_view(row.logFile));
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const EstateRow& left, const EstateRow& right) {
        return order(left) < order(right);
    });
    return rows;
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

#pragma once

// The estate at a glance: the records that stravikc appends to the logs on
// a share, read back and summed up as one row per computer for the
// machine's part and one per computer and user for the user's part.
//
// Every byte of a log was written by a computer or by a user, so nothing
// in it is trusted: a record counts for the computer and user that the
// file's place names (logs\computers\PC1.log, logs\users\PC1-anna.log) only
// when it claims the same, and is shown as a mismatch otherwise; runs are
// ordered by where they lie, never by the times they claim; every text
// taken from a log is cleaned of control characters and invalid UTF-8
// before it is shown anywhere. Memory grows with the rows, not with the
// size of the logs: a file is read line by line and a run is folded into
// its row when it ends.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "console/run_record.h"

namespace stravik::console {

enum class RowState {
    clean,             // removed, or nothing there
    present,           // a check found something, or could not reach the folder
    restartPending,    // removed; a file goes at the next restart
    permissionDenied,  // 70: denied, or a file in use
    linkRefused,       // 75
    unreachable,       // 76 or 68: the drive or folder could not be reached
    notElevated,       // 740
    failed,            // any other failure
    interrupted,       // a start with no end
    mismatched,        // the record claims another computer, user or part
    stale,             // no run for the days asked
    neverReported,     // named in the list of computers, no record at all
};
inline constexpr std::size_t rowStateCount = 12;

std::string_view rowStateText(RowState state);

struct EstateRow {
    std::string computer;
    std::string part;  // "machine" or "user"
    std::string user;
    std::string logFile;
    std::string lastStart;
    std::string lastEnd;
    std::string version;
    std::string elevated;
    RowState state = RowState::clean;
    std::optional<std::int64_t> exitCode;
    std::string errorNumber;
    std::string errorText;
    std::string failedTarget;
    record::FateCounts counts{};
    std::int64_t runs = 0;
    std::string firstSeen;
    std::string lastSuccess;
    std::int64_t failuresInARow = 0;
    // For a mismatch: what the record claimed against where it lay.
    std::string note;
};

struct EstateCounts {
    std::int64_t files = 0;
    std::int64_t filesSkipped = 0;
    std::int64_t runs = 0;
    std::int64_t tornLines = 0;
};

class EstateReport {
public:
    // A file's lines, in order, between beginFile and endFile. The path is
    // relative to the folder given (either separator); its last folder
    // ("computers", "users") and its name decide whom a record may speak
    // for. A line comes without its line end.
    void beginFile(std::string_view path);
    void line(std::string_view bytes);
    void endFile();

    // The rows, sorted by computer, part and user; `expectedComputers`
    // (names as a directory export gives them) adds a row for each that
    // never reported, and `staleDays` marks rows whose last run started
    // that many days or more before `now` ("2026-12-09T10:15:00Z").
    std::vector<EstateRow> rows(const std::vector<std::string>& expectedComputers,
                                std::optional<int> staleDays, std::string_view now) const;

    const EstateCounts& counts() const { return counts_; }

private:
    // A run being read: what its lines said so far.
    struct Run {
        std::uint64_t order = 0;
        std::string computer, user, version, elevated, scope;
        std::string start, end;
        std::optional<std::int64_t> exitCode;
        std::string errorNumber, errorText, failedTarget;
        record::FateCounts counts{};
        bool summarised = false;
    };
    // The file being read: whom its place lets it speak for, its runs not
    // yet ended, and, until its first start line, the lines that may still
    // turn out not to be a log at all.
    struct FileState {
        std::string path;
        std::string folder;  // "COMPUTERS", "USERS" or anything else, upper case
        std::string stem;    // the name without ".log" and the "-<time>-<pid>" of a new file
        bool decided = false;
        bool skipped = false;
        std::vector<std::string> pending;
        std::size_t pendingBytes = 0;
        std::map<std::string, Run> openRuns;
    };
    using RowKey = std::tuple<std::string, std::string, std::string, std::string>;

    void readRecordLine(std::string_view bytes);
    void fold(const Run& run);
    void foldInto(const RowKey& key, const Run& run, const std::string& part,
                  const std::string& note);

    std::map<RowKey, EstateRow> rows_;
    std::map<RowKey, std::uint64_t> latest_;
    EstateCounts counts_;
    std::uint64_t order_ = 0;
    std::optional<FileState> file_;
};

// Names from a text file with one computer a line (UTF-8 with or without a
// byte-order mark, or UTF-16LE with one), as the report matches them:
// upper case, without a trailing "$" or any domain suffix.
std::vector<std::string> readComputerList(std::string_view bytes);
std::string computerKey(std::string_view name);

// `text` as valid UTF-8 without control characters: anything else becomes
// U+FFFD, so that no log can steer a console or a page.
std::string shownText(std::string_view text);

// The console's account: counts per state, the commonest failures, then
// one line per row that is not clean.
std::string consoleReport(const std::vector<EstateRow>& rows, const EstateCounts& counts);
// One row per row, UTF-8 with a byte-order mark, every cell quoted and any
// that a spreadsheet would take for a formula marked as text.
std::string csvReport(const std::vector<EstateRow>& rows);
// One page that needs nothing else: the counts as a chart, the rows as a
// table to sort and filter. `nonce` allows its one script and no other.
std::string htmlReport(const std::vector<EstateRow>& rows, const EstateCounts& counts,
                       std::string_view generated, std::string_view nonce);

// Whether a row counts as clean for the exit code.
bool isClean(const EstateRow& row);

}  // namespace stravik::console

#pragma once

// The estate at a glance: the records that stravikc appends to the logs on
// a share, read back and summed up as one row per computer for the
// machine's part, one per computer and user for the user's part, and one
// per home folder that a sweep on a file server emptied, with one for the
// homes folder itself. A home folder bearing a user's name is the folder
// that user's logon script empties, so its clean run closes that user's
// rows on every computer when it is the later.
//
// Every byte of a log was written by a computer or by a user, so nothing
// in it is trusted. Three steps, each in a file of its own, decide what a
// record may say: run_reader reads a file's lines into runs; attribution
// (log_attribution) decides from a file's place and owner whom its records
// may speak for; run_order decides which run is a row's latest and keeps
// its history. This class puts them together: a file that speaks for no
// one, or that could not be read, is a row of its own and never clean, and
// a computer that must have a machine row and has none is "never
// reported". Memory grows with the files, computers and users, never with
// the size of a log.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "console/log_attribution.h"
#include "console/run_order.h"
#include "console/run_reader.h"
#include "console/run_record.h"

namespace stravik::console {

enum class RowState {
    clean,             // removed, or nothing there
    closedBySweep,     // a user's failing run, after which a sweep emptied the user's folder
    present,           // a check found something, or could not reach the folder
    restartPending,    // removed; a file goes at the next restart
    permissionDenied,  // 70: denied, or a file in use
    linkRefused,       // 75
    unreachable,       // 76 or 68: the drive or folder could not be reached
    notElevated,       // 740
    failed,            // any other failure
    interrupted,       // a start with no end
    mismatched,        // the record claims another computer, user or part
    nameTaken,         // a log owned by another account than the one it names
    ownerUnknown,      // a log whose owner names no account, or has none recorded
    unreadable,        // a log or folder that could not be opened or read
    notAttributed,     // a log where the scripts put none
    stale,             // no run for the days asked
    neverReported,     // must have reported, no record at all
};
inline constexpr std::size_t rowStateCount = 17;

std::string_view rowStateText(RowState state);

struct EstateRow {
    // For a sweep's rows ("home"), the homes folder as the sweep names it
    // ("\\fs1\homes\").
    std::string computer;
    // "machine", "user" or "home"; "mismatch" for records that claim
    // another place; "log" for a file that speaks for no one (taken,
    // unreadable, ...)
    std::string part;
    // For a sweep's rows, the home folder's name; empty for the row of
    // the homes folder itself.
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
    std::int64_t failuresInARow = 0;  // up to failuresCounted, shown as "999+"
    // What the record claimed against where it lay, who owns a file that
    // speaks for no one, why a file could not be read, a clock far ahead.
    std::string note;
};

struct EstateCounts {
    std::int64_t files = 0;
    std::int64_t filesSkipped = 0;
    std::int64_t runs = 0;
    std::int64_t tornLines = 0;
    std::int64_t unfinishedLines = 0;  // a last line without its line end
    bool placesTrusted = false;        // logs trusted by their place alone
};

class EstateReport {
public:
    // `now` is the report's own time ("2026-12-09T10:15:00Z").
    EstateReport(std::string_view now, Trust trust);

    // Paths are as the report shows them: the given folder's name first,
    // then the folders below it (either separator).
    void folder(std::string_view path);
    // A file's lines, in order, between beginFile and endFile, each without
    // its line end. A last line without one is being written: counted, not
    // read.
    void beginFile(std::string_view path, const LogOwner& owner);
    void line(std::string_view bytes);
    void unfinishedLine();
    void endFile();
    // A file or folder that could not be opened or read, and the system's
    // words for why.
    void unreadable(std::string_view path, std::string_view error);

    // The rows, sorted by computer, part and user, the files' own rows
    // last. When the computers are named (`expectedComputers`, names as a
    // directory export gives them) or a computers folder was read, every
    // computer known from the list or from a log's place has a machine row.
    // `staleDays` marks rows whose last run started that many days or more
    // before now.
    std::vector<EstateRow> rows(const std::optional<std::vector<std::string>>& expectedComputers,
                                std::optional<int> staleDays) const;

    const EstateCounts& counts() const { return counts_; }

private:
    using RowKey = std::tuple<std::string, std::string, std::string, std::string>;
    struct Entry {
        EstateRow row;
        RowHistory history;
    };
    // The file being read: whom it may speak for, and its mismatch rows.
    struct FileState {
        std::string path;
        LogPlace place;
        Attribution attribution;
        std::optional<RunReader> reader;
        std::int64_t runs = 0;
        std::set<RowKey> mismatches;
        std::int64_t mismatchesBeyond = 0;
    };

    void fold(const Run& run);
    void foldHome(const Run& run, const HomeLine& home);
    void foldInto(const RowKey& key, const Run& run, const std::string& part,
                  const std::string& note);
    // Adds a run at `position` to the row; returns the row when the run is
    // now its latest.
    EstateRow* addRun(const RowKey& key, const Run& run, std::uint64_t position, bool success);
    void fileRow(const RowKey& key, RowState state, const std::string& path,
                 const std::string& note);

    RunClock clock_;
    std::string now_;
    Trust trust_;
    std::map<RowKey, Entry> rows_;
    std::set<std::string> placeComputers_;
    bool computersFolder_ = false;
    EstateCounts counts_;
    std::uint64_t position_ = 0;
    std::optional<FileState> file_;
};

// Names from a text file with one computer a line (UTF-8 with or without a
// byte-order mark, or UTF-16LE with one), as the report matches them:
// upper case, without a trailing "$" or any domain suffix.
std::vector<std::string> readComputerList(std::string_view bytes);

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

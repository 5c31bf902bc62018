#include "console/estate_run.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>

#include "console/estate_report.h"
#include "console/run_log.h"
#include "platform/classic_errors.h"
#include "shell/removal_form.h"

namespace stravik::console {

namespace {

// A line longer than this comes in pieces: no log can make the report hold
// more of it at once.
constexpr std::size_t longestLine = 64 * 1024;

// Hands each line of the file to the report, without its line end. A last
// line without one is still being written: counted, never read as if whole.
void readLines(ReportFile& file, EstateReport& report) {
    std::string partial;
    const auto emit = [&] {
        report.line(std::string_view(partial).ends_with('\r')
                        ? std::string_view(partial).substr(0, partial.size() - 1)
                        : std::string_view(partial));
        partial.clear();
    };
    file.read([&](std::string_view piece) {
        for (std::size_t end = piece.find('\n'); end != std::string_view::npos;
             end = piece.find('\n')) {
            partial.append(piece.substr(0, end));
            emit();
            piece.remove_prefix(end + 1);
        }
        partial.append(piece);
        if (partial.size() >= longestLine) {
            emit();
        }
    });
    if (!partial.empty()) {
        report.unfinishedLine();
    }
}

LogOwner logOwner(ConsoleHost& host, const FileOwner& owner) {
    return {owner.kind, host.utf8(owner.domain), host.utf8(owner.name), host.utf8(owner.id)};
}

// The report proper; raises what stops it.
int report(const ReportRequest& request, ConsoleHost& host) {
    std::optional<std::vector<std::string>> computers;
    if (request.computersPath) {
        computers = readComputerList(host.readFile(*request.computersPath));
    }
    const std::string now = host.utf8(isoTime(host.utcNow()));
    EstateReport report(now, request.trustPlaces ? Trust::place : Trust::owner);
    for (const Text& folder : request.folders) {
        // Shown from the folder given on, so that "computers" and "users"
        // are seen when either is the folder given.
        const std::size_t end = folder.find_last_not_of(L"\\/");
        const std::size_t separator =
            end == Text::npos ? Text::npos : folder.find_last_of(L"\\/", end);
        const std::size_t prefix = separator == Text::npos ? 0 : separator + 1;
        host.listLogs(folder, [&](ListedLog& entry) {
            const std::string shown =
                host.utf8(entry.path.substr(std::min(prefix, entry.path.size())));
            if (entry.folder) {
                report.folder(shown);
                if (!entry.error.empty()) {
                    report.unreadable(shown, host.utf8(entry.error));
                }
                return;
            }
            if (!entry.file) {
                report.unreadable(shown, host.utf8(entry.error));
                return;
            }
            report.beginFile(shown, logOwner(host, entry.file->owner()));
            try {
                readLines(*entry.file, report);
            } catch (const RaisedError& error) {
                report.endFile();
                report.unreadable(shown, host.utf8(error.info().description));
                return;
            }
            report.endFile();
        });
    }
    const std::vector<EstateRow> rows = report.rows(computers, request.staleDays);
    host.write(ConsoleHost::Stream::output, host.fromUtf8(consoleReport(rows, report.counts())));
    if (request.csvPath) {
        host.writeFile(*request.csvPath, csvReport(rows));
    }
    if (request.htmlPath) {
        host.writeFile(*request.htmlPath, htmlReport(rows, report.counts(), now, host.randomHex()));
    }
    const bool allClean =
        !rows.empty() && report.counts().runs > 0 && std::all_of(rows.begin(), rows.end(), isClean);
    return allClean ? 0 : 1;
}

}  // namespace

int runReport(const ReportRequest& request, ConsoleHost& host) {
    ErrorInfo failure;
    try {
        return report(request, host);
    } catch (const RaisedError& error) {
        failure = error.info();
    } catch (const std::bad_alloc&) {
        // A 32-bit program has 2 GB at most; whatever was built is let go
        // before this is said.
        failure = classicError(classic::outOfMemory);
    }
    host.write(ConsoleHost::Stream::error, formatErrorMessage(failure) + L"\n");
    return failure.number;
}

}  // namespace stravik::console

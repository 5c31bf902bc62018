#include "console/estate_run.h"

#include <algorithm>
#include <functional>
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

// Calls `line` with each line of the file, without its line end.
void readLines(ConsoleHost& host, const Text& path,
               const std::function<void(std::string_view)>& line) {
    std::string partial;
    const auto emit = [&] {
        line(std::string_view(partial).ends_with('\r')
                 ? std::string_view(partial).substr(0, partial.size() - 1)
                 : std::string_view(partial));
        partial.clear();
    };
    host.readPieces(path, [&](std::string_view piece) {
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
        emit();
    }
}

}  // namespace

int runReport(const ReportRequest& request, ConsoleHost& host) {
    try {
        std::vector<std::string> computers;
        if (request.computersPath) {
            computers = readComputerList(host.readFile(*request.computersPath));
        }
        EstateReport report;
        for (const Text& folder : request.folders) {
            // Named from the folder given on, so that "computers" and
            // "users" are seen when either is the folder given.
            const std::size_t end = folder.find_last_not_of(L"\\/");
            const std::size_t separator =
                end == Text::npos ? Text::npos : folder.find_last_of(L"\\/", end);
            const std::size_t prefix = separator == Text::npos ? 0 : separator + 1;
            host.listFiles(folder, [&](const Text& path) {
                report.beginFile(host.utf8(path.substr(std::min(prefix, path.size()))));
                readLines(host, path, [&](std::string_view line) { report.line(line); });
                report.endFile();
            });
        }
        const std::string now = host.utf8(isoTime(host.utcNow()));
        const std::vector<EstateRow> rows = report.rows(computers, request.staleDays, now);
        host.write(ConsoleHost::Stream::output,
                   host.fromUtf8(consoleReport(rows, report.counts())));
        if (request.csvPath) {
            host.writeFile(*request.csvPath, csvReport(rows));
        }
        if (request.htmlPath) {
            host.writeFile(*request.htmlPath,
                           htmlReport(rows, report.counts(), now, host.randomHex()));
        }
        const bool allClean = !rows.empty() && report.counts().runs > 0 &&
                              std::all_of(rows.begin(), rows.end(), isClean);
        return allClean ? 0 : 1;
    } catch (const RaisedError& error) {
        host.write(ConsoleHost::Stream::error, formatErrorMessage(error.info()) + L"\n");
        return error.info().number;
    }
}

}  // namespace stravik::console

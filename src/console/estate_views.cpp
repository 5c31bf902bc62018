// The estate report's three views: the console's account, the CSV file
// and the HTML page. Every text that came from a log goes through
// shownText first, and then through the view's own escaping.

#include <algorithm>
#include <map>
#include <string>

#include "console/estate_report.h"

namespace stravik::console {

namespace {

constexpr std::array allStates = {
    RowState::clean,          RowState::closedBySweep,    RowState::present,
    RowState::restartPending, RowState::permissionDenied, RowState::linkRefused,
    RowState::unreachable,    RowState::notElevated,      RowState::failed,
    RowState::interrupted,    RowState::mismatched,       RowState::nameTaken,
    RowState::ownerUnknown,   RowState::unreadable,       RowState::notAttributed,
    RowState::stale,          RowState::neverReported};
static_assert(allStates.size() == rowStateCount);

std::array<std::int64_t, rowStateCount> stateCounts(const std::vector<EstateRow>& rows) {
    std::array<std::int64_t, rowStateCount> counts{};
    for (const EstateRow& row : rows) {
        ++counts[static_cast<std::size_t>(row.state)];
    }
    return counts;
}

// "7 computers (1 clean)": a computer is clean when every row of it is.
// Mismatched records and files that speak for no one are no computer's.
// Then ", 40 home folders (38 clean)" when sweeps were read.
std::string computersText(const std::vector<EstateRow>& rows) {
    std::map<std::string, bool> clean;
    std::int64_t homes = 0, cleanHomes = 0;
    for (const EstateRow& row : rows) {
        if (row.part == "home" && !row.user.empty()) {
            ++homes;
            cleanHomes += isClean(row) ? 1 : 0;
        }
        if (row.part != "machine" && row.part != "user") {
            continue;
        }
        const auto [entry, added] = clean.emplace(computerKey(row.computer), isClean(row));
        entry->second = entry->second && isClean(row);
    }
    const auto cleanCount =
        std::count_if(clean.begin(), clean.end(), [](const auto& entry) { return entry.second; });
    return std::to_string(clean.size()) + " computers (" + std::to_string(cleanCount) + " clean)" +
           (homes == 0 ? std::string()
                       : ", " + std::to_string(homes) + " home folders (" +
                             std::to_string(cleanHomes) + " clean)");
}

std::string failuresText(const EstateRow& row) {
    return row.failuresInARow >= failuresCounted ? std::to_string(failuresCounted - 1) + "+"
                                                 : std::to_string(row.failuresInARow);
}

// What the summary adds about the lines read and how logs were trusted.
std::string linesAndTrust(const EstateCounts& counts) {
    return std::to_string(counts.tornLines) + " torn lines, " +
           std::to_string(counts.unfinishedLines) + " lines still being written" +
           (counts.placesTrusted
                ? std::string("; logs trusted by their folder and name alone, not their owners "
                              "(/trustnames)")
                : std::string());
}

std::string exitCodeText(const EstateRow& row) {
    return row.exitCode ? std::to_string(*row.exitCode) : std::string();
}

// "Error # 70: Permission denied" or the state's own words.
std::string causeOf(const EstateRow& row) {
    if (!row.errorNumber.empty()) {
        return "Error # " + shownText(row.errorNumber) + ": " + shownText(row.errorText);
    }
    return std::string(rowStateText(row.state));
}

// The cells of a row, in the CSV's and the page's order.
std::vector<std::string> cells(const EstateRow& row) {
    std::vector<std::string> cells = {shownText(row.computer),
                                      row.part,
                                      shownText(row.user),
                                      shownText(row.logFile),
                                      shownText(row.lastStart),
                                      shownText(row.lastEnd),
                                      shownText(row.version),
                                      shownText(row.elevated),
                                      std::string(rowStateText(row.state)),
                                      exitCodeText(row),
                                      shownText(row.errorNumber),
                                      shownText(row.errorText),
                                      shownText(row.failedTarget)};
    for (const std::int64_t count : row.counts) {
        cells.push_back(std::to_string(count));
    }
    cells.push_back(std::to_string(row.runs));
    cells.push_back(shownText(row.firstSeen));
    cells.push_back(shownText(row.lastSuccess));
    cells.push_back(failuresText(row));
    cells.push_back(shownText(row.note));
    return cells;
}

std::vector<std::string> headings() {
    std::vector<std::string> headings = {
        "computer",       "scope",      "user",     "log file", "last start (UTC)",
        "last end (UTC)", "version",    "elevated", "state",    "exit code",
        "error number",   "error text", "failed at"};
    for (const std::string_view fate : record::fateNames) {
        headings.emplace_back(fate);
    }
    for (const char* heading :
         {"runs", "first seen", "last success", "failures in a row", "note"}) {
        headings.emplace_back(heading);
    }
    return headings;
}

std::string htmlEscaped(std::string_view text) {
    std::string escaped;
    for (const char character : text) {
        switch (character) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += character;
        }
    }
    return escaped;
}

std::string_view stateColour(RowState state) {
    switch (state) {
        case RowState::clean:
            return "#2e7d32";
        case RowState::closedBySweep:
            return "#558b2f";
        case RowState::restartPending:
        case RowState::present:
        case RowState::stale:
            return "#f9a825";
        case RowState::interrupted:
        case RowState::neverReported:
        case RowState::notAttributed:
            return "#757575";
        default:
            return "#c62828";
    }
}

}  // namespace

std::string consoleReport(const std::vector<EstateRow>& rows, const EstateCounts& counts) {
    std::string text = "Stravik estate report: " + computersText(rows) + ", " +
                       std::to_string(rows.size()) + " rows, " + std::to_string(counts.runs) +
                       " runs read from " + std::to_string(counts.files - counts.filesSkipped) +
                       " logs (" + std::to_string(counts.filesSkipped) + " other files skipped, " +
                       linesAndTrust(counts) + ")\n";
    const auto perState = stateCounts(rows);
    for (const RowState state : allStates) {
        if (perState[static_cast<std::size_t>(state)] != 0) {
            text += "  " + std::string(rowStateText(state)) + ": " +
                    std::to_string(perState[static_cast<std::size_t>(state)]) + "\n";
        }
    }
    std::map<std::string, std::int64_t> causes;
    for (const EstateRow& row : rows) {
        if (!isClean(row)) {
            ++causes[causeOf(row)];
        }
    }
    std::vector<std::pair<std::string, std::int64_t>> commonest(causes.begin(), causes.end());
    std::stable_sort(commonest.begin(), commonest.end(), [](const auto& left, const auto& right) {
        return left.second > right.second;
    });
    if (!commonest.empty()) {
        text += "Commonest causes:\n";
        for (std::size_t index = 0; index < commonest.size() && index < 5; ++index) {
            text += "  " + std::to_string(commonest[index].second) + "  " + commonest[index].first +
                    "\n";
        }
        text += "Not clean:\n";
    }
    for (const EstateRow& row : rows) {
        if (isClean(row)) {
            continue;
        }
        // A file that speaks for no one is named by its path alone.
        text += "  " +
                (row.computer.empty() ? row.part : shownText(row.computer) + "  " + row.part) +
                (row.user.empty() ? "" : " " + shownText(row.user)) + "  " +
                std::string(rowStateText(row.state));
        if (row.exitCode) {
            text += ", exit code " + exitCodeText(row);
        }
        if (!row.errorNumber.empty()) {
            text += ", " + causeOf(row);
        }
        if (!row.failedTarget.empty()) {
            text += ", failed at " + shownText(row.failedTarget);
        }
        if (!row.note.empty()) {
            text += ", " + shownText(row.note);
        }
        if (!row.logFile.empty()) {
            text += " (" + shownText(row.logFile) + ")";
        }
        text += "\n";
    }
    return text;
}

std::string csvReport(const std::vector<EstateRow>& rows) {
    const auto csvLine = [](const std::vector<std::string>& values) {
        std::string line;
        for (const std::string& value : values) {
            if (!line.empty()) {
                line += ',';
            }
            // A leading quote makes a spreadsheet show a would-be formula as
            // text; shownText has already taken tabs and line ends out.
            const bool formula =
                !value.empty() &&
                std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos;
            line += '"';
            if (formula) {
                line += '\'';
            }
            for (const char character : value) {
                line += character;
                if (character == '"') {
                    line += '"';
                }
            }
            line += '"';
        }
        return line + "\r\n";
    };
    std::string csv = "\xEF\xBB\xBF" + csvLine(headings());
    for (const EstateRow& row : rows) {
        csv += csvLine(cells(row));
    }
    return csv;
}

std::string htmlReport(const std::vector<EstateRow>& rows, const EstateCounts& counts,
                       std::string_view generated, std::string_view nonce) {
    const auto perState = stateCounts(rows);
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'; script-src 'nonce-" +
        htmlEscaped(nonce) +
        "'\">\n<title>Stravik estate report</title>\n<style>\n"
        "body{font:14px system-ui,sans-serif;margin:1.5em;color:#222}\n"
        "table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:2px 6px;"
        "text-align:left;vertical-align:top;white-space:nowrap}\n"
        "th{background:#eee;cursor:pointer}td.state{font-weight:bold}\n"
        "svg text{font:12px system-ui,sans-serif}\n</style></head><body>\n"
        "<h1>Stravik estate report</h1>\n<p id=\"summary\">" +
        computersText(rows) + ", " + std::to_string(rows.size()) + " rows, " +
        std::to_string(counts.runs) + " runs from " +
        std::to_string(counts.files - counts.filesSkipped) + " logs; " +
        std::to_string(counts.filesSkipped) + " other files skipped, " +
        htmlEscaped(linesAndTrust(counts)) + ". Made " + htmlEscaped(shownText(generated)) +
        ".</p>\n";

    // The counts as bars, one per state that occurs.
    std::int64_t most = 1;
    int shown = 0;
    for (const RowState state : allStates) {
        most = std::max(most, perState[static_cast<std::size_t>(state)]);
        shown += perState[static_cast<std::size_t>(state)] != 0 ? 1 : 0;
    }
    page += "<svg id=\"chart\" role=\"img\" aria-label=\"rows per state\" width=\"640\" height=\"" +
            std::to_string(shown * 24 + 8) + "\">\n";
    int bar = 0;
    for (const RowState state : allStates) {
        const std::int64_t count = perState[static_cast<std::size_t>(state)];
        if (count == 0) {
            continue;
        }
        const int y = 4 + bar++ * 24;
        const std::int64_t width = std::max<std::int64_t>(2, count * 380 / most);
        page += "<text x=\"0\" y=\"" + std::to_string(y + 15) + "\">" +
                std::string(rowStateText(state)) + "</text><rect x=\"200\" y=\"" +
                std::to_string(y) + "\" width=\"" + std::to_string(width) +
                "\" height=\"18\" fill=\"" + std::string(stateColour(state)) + "\"/><text x=\"" +
                std::to_string(206 + width) + "\" y=\"" + std::to_string(y + 15) +
                "\" class=\"count\" data-state=\"" + std::string(rowStateText(state)) + "\">" +
                std::to_string(count) + "</text>\n";
    }
    page += "</svg>\n<p><label>State: <select id=\"filter\"><option value=\"\">all</option>";
    for (const RowState state : allStates) {
        if (perState[static_cast<std::size_t>(state)] != 0) {
            page += "<option>" + std::string(rowStateText(state)) + "</option>";
        }
    }
    page += "</select></label> Click a heading to sort.</p>\n<table id=\"rows\"><thead><tr>";
    for (const std::string& heading : headings()) {
        page += "<th>" + heading + "</th>";
    }
    page += "</tr></thead><tbody>\n";
    for (const EstateRow& row : rows) {
        page += "<tr data-state=\"" + std::string(rowStateText(row.state)) + "\">";
        const std::vector<std::string> values = cells(row);
        for (std::size_t index = 0; index < values.size(); ++index) {
            page += index == 8 ? "<td class=\"state\" style=\"color:" +
                                     std::string(stateColour(row.state)) + "\">"
                               : "<td>";
            page += htmlEscaped(values[index]) + "</td>";
        }
        page += "</tr>\n";
    }
    page += "</tbody></table>\n<script nonce=\"" + htmlEscaped(nonce) +
            "\">\n"
            "(function(){\n"
            "var body=document.querySelector('#rows tbody');\n"
            "document.getElementById('filter').addEventListener('change',function(){\n"
            "  var wanted=this.value;\n"
            "  body.querySelectorAll('tr').forEach(function(row){\n"
            "    row.hidden=wanted!==''&&row.dataset.state!==wanted;});});\n"
            "document.querySelectorAll('#rows th').forEach(function(heading,column){\n"
            "  var ascending=true;\n"
            "  heading.addEventListener('click',function(){\n"
            "    var rows=Array.prototype.slice.call(body.rows);\n"
            "    rows.sort(function(a,b){\n"
            "      var x=a.cells[column].textContent,y=b.cells[column].textContent;\n"
            "      var n=Number(x),m=Number(y);\n"
            "      var order=x!==''&&y!==''&&!isNaN(n)&&!isNaN(m)?n-m:x.localeCompare(y);\n"
            "      return ascending?order:-order;});\n"
            "    ascending=!ascending;\n"
            "    rows.forEach(function(row){body.appendChild(row);});});});\n"
            "})();\n</script>\n</body></html>\n";
    return page;
}

}  // namespace stravik::console

#pragma once

// The record of a run that stravikc appends to a log, one line at a time,
// and its reading back. Each line is
//
//   <run start, UTC> <computer>[<process>] <text>
//
// and a run's texts are, in order: its start (version, record format,
// command, scope, user, elevation, command line), notes on the log itself
// ("log: ..."), the template folder it used, each target's fate other than
// "not there", the messages it showed ("Error # N: ...", with the target
// it stopped at on the next line, "failed: <target>"), a summary counting
// every fate, and its end with the exit code. Lines of runs writing to one
// file at once interleave; the first part of the line tells them apart.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform_services.h"

namespace stravik::console::record {

// Raised when the layout changes; a reader skips the formats it does not know.
inline constexpr int format = 1;

inline constexpr std::string_view failedPrefix = "failed: ";

// The fates a record names, in the order of Fate and of the summary line.
inline constexpr std::array<std::string_view, 6> fateNames = {
    "removed", "not there", "left", "deleted at the next restart", "present", "cannot be reached"};
using FateCounts = std::array<std::int64_t, fateNames.size()>;

// A home folder's fates in a sweep, in the order of the homes summary:
// files removed from its template folder; nothing there (an empty template
// folder, or none); files found by a check; skipped, being marked hidden
// and system; a failure, whose number follows the word.
inline constexpr std::array<std::string_view, 5> homeFateNames = {"emptied", "clean", "present",
                                                                  "skipped", "failed"};
enum class HomeFate { emptied, clean, present, skipped, failed };
using HomeFateCounts = std::array<std::int64_t, homeFateNames.size()>;
inline constexpr std::string_view homesFolderPrefix = "homes folder: ";
inline constexpr std::string_view backupPrivilegesPrefix = "backup privileges: ";

// --- Writing: the texts of a run's lines (the log adds the line end) ---

// "<run start> <computer>[<process>] ", before every line of the run.
Text linePrefix(const Text& runStart, const Text& computer, std::uint32_t process);
struct StartFields {
    Text time, version, command, scope, user;
    bool elevated = false;
    Text commandLine;
};
Text startText(const StartFields& fields);
Text fateText(std::size_t fate, const Text& target);
Text failedText(const Text& target);
Text summaryText(const FateCounts& counts);
Text endText(const Text& time, int exitCode);
// "homes folder: \\server\homes\"
Text homesFolderText(const Text& folder);
// "home emptied: \\server\homes\anna", "home failed 75: ...", and
// ", backup privileges" after the fate (and number) when the folder opened
// only with the backup and restore privileges. `path` is the homes folder
// as its line names it, followed by the home folder's name.
Text homeText(HomeFate fate, std::int32_t errorNumber, bool backupPrivileges, const Text& path);
Text homesSummaryText(const HomeFateCounts& counts);
// "backup privileges: <template folder>", in a run of one folder.
Text backupPrivilegesText(const Text& folder);

// --- Reading: a line as UTF-8 bytes, whoever wrote it ---

struct Line {
    std::string_view runKey;    // "<run start> <computer>[<process>]"
    std::string_view runStart;  // "2026-12-09T10:15:00Z"
    std::string_view computer;
    std::string_view text;
};
std::optional<Line> splitLine(std::string_view line);

struct Start {
    std::string_view version;
    int format = 0;
    std::string_view command;  // "check" or "remove"
    std::string_view scope;    // "everything", "machine" or "user"
    std::string_view user;
    std::string_view elevated;  // "yes" or "no"
};
std::optional<Start> parseStart(std::string_view text);

struct End {
    std::string_view time;
    std::int64_t exitCode = 0;
};
std::optional<End> parseEnd(std::string_view text);

// The counts of "summary: removed N, not there N, ...", in that order.
std::optional<FateCounts> parseSummary(std::string_view text);

struct Home {
    HomeFate fate = HomeFate::clean;
    std::int64_t errorNumber = 0;  // a failure's
    bool backupPrivileges = false;
    std::string_view path;
    std::string_view folder;  // the homes folder: the path to its last "\"
    std::string_view name;    // the home folder's name, after it
};
std::optional<Home> parseHome(std::string_view text);
std::optional<HomeFateCounts> parseHomesSummary(std::string_view text);

struct ErrorMessage {
    std::string_view number;
    std::string_view description;
};
// "Error # 70: Permission denied." and "Error #-2147467259: ...".
std::optional<ErrorMessage> parseError(std::string_view text);

// What follows `prefix`, when the text begins with it.
std::optional<std::string_view> afterPrefix(std::string_view text, std::string_view prefix);

}  // namespace stravik::console::record

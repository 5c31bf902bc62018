// The console program on a host that keeps its files, console and clock in
// memory: the log's record, its lock, and a log that will not open.

#include "console/console_program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <set>
#include <sstream>

#include "console/run_record.h"
#include "platform/classic_errors.h"
#include "recording_platform.h"

namespace stravik::console {
namespace {

using stravik::testing::RecordingPlatform;
using ::testing::StartsWith;

class FakeHost final : public ConsoleHost {
public:
    // --- The script ---
    std::set<Text> refused;  // paths that will not open
    AppendingFile::Lock lockAnswer = AppendingFile::Lock::taken;
    bool listingRunsOutOfMemory = false;

    // --- What happened ---
    std::map<Text, std::string> files;
    // "open <path>", "open new <path>", "tryLock", "append", "unlock", in order.
    std::vector<std::string> fileCalls;
    std::string output;
    std::string errors;
    std::uint32_t clock = 0;  // milliseconds, moved on by sleep alone

    // The lines of a file, without their line ends.
    std::vector<std::string> lines(const Text& path) const {
        std::vector<std::string> result;
        std::istringstream stream(files.at(path));
        for (std::string line; std::getline(stream, line);) {
            EXPECT_THAT(line, ::testing::EndsWith("\r"));
            result.push_back(line.substr(0, line.size() - 1));
        }
        return result;
    }

    std::unique_ptr<AppendingFile> openForAppending(const Text& path, Opening opening) override {
        const bool newOnly = opening == Opening::newOnly;
        fileCalls.push_back((newOnly ? "open new " : "open ") + testing::utf8(path));
        if (refused.contains(path) || (newOnly && files.contains(path))) {
            throw RaisedError(70, L"Permission denied");
        }
        files[path];
        return std::make_unique<File>(*this, path);
    }
    void write(Stream stream, const Text& text) override {
        (stream == Stream::output ? output : errors) += testing::utf8(text);
    }
    // The start at 10:15:00, every later reading a second on.
    UtcTime utcNow() override { return {2026, 12, 9, 10, 15, timeReadings_++}; }
    std::uint32_t milliseconds() override { return clock; }
    void sleep(std::uint32_t milliseconds) override { clock += milliseconds; }
    Text computerName() override { return L"PC1"; }
    Text userName() override { return L"anna"; }
    std::uint32_t processId() override { return 4312; }
    Text commandLine() override { return L"stravikc ..."; }
    void reportEvent(EventType, std::uint32_t id, const Text& text) override {
        events.push_back(std::to_string(id) + " " + testing::utf8(text));
    }
    void registerEventSource() override { events.push_back("register"); }
    // The report's files are not this fake's: the Wine scenario reads real ones.
    void listLogs(const Text&, const std::function<void(ListedLog&)>&) override {
        if (listingRunsOutOfMemory) {
            throw std::bad_alloc();
        }
    }
    bool slashBeginsPaths() override { return false; }
    std::string readFile(const Text&) override { return {}; }
    void writeFile(const Text&, std::string_view) override {}
    std::string randomHex() override { return "0"; }
    std::string utf8(const Text& text) override { return testing::utf8(text); }
    Text fromUtf8(std::string_view text) override { return Text(text.begin(), text.end()); }

    std::vector<std::string> events;

private:
    class File final : public AppendingFile {
    public:
        File(FakeHost& host, Text path) : host_(host), path_(std::move(path)) {}
        Lock tryLock() override {
            host_.fileCalls.push_back("tryLock");
            return host_.lockAnswer;
        }
        void unlock() override { host_.fileCalls.push_back("unlock"); }
        void append(const Text& text) override {
            host_.fileCalls.push_back("append");
            host_.files[path_] += testing::utf8(text);
        }

    private:
        FakeHost& host_;
        Text path_;
    };

    int timeReadings_ = 0;
};

const std::string prefix = "2026-12-09T10:15:00Z PC1[4312] ";

class ConsoleProgramTest : public ::testing::Test {
protected:
    void SetUp() override { platform.seedTypicalPc({L"a.dot"}); }

    int run(std::vector<Text> arguments) { return runConsoleProgram(host, platform, arguments); }

    RecordingPlatform platform;
    FakeHost host;
};

TEST_F(ConsoleProgramTest, TheRecordStartsSumsUpAndEndsEachLineAppendedUnderTheLock) {
    EXPECT_EQ(run({L"remove", L"/user", L"/quiet", L"/log", L"C:\\logs\\PC1.log"}), 0);

    EXPECT_EQ(host.output, "");
    EXPECT_THAT(
        host.lines(L"C:\\logs\\PC1.log"),
        ::testing::ElementsAre(prefix + "start 2026-12-09T10:15:00Z, version " STRAVIK_VERSION
                                        ", format 1, command remove, scope user, user anna, "
                                        "elevated yes, command line: "
                                        "stravikc ...",
                               prefix + "template folder: H:\\Halvoran\\template\\ (drive from "
                                        "the registration)",
                               prefix + "removed: H:\\Halvoran\\template\\a.dot",
                               prefix + "Finished removing Halvoran OCX files!",
                               prefix + "summary: removed 1, not there 0, left 0, deleted at the "
                                        "next restart 0, present 0, cannot be reached 0",
                               prefix + "end 2026-12-09T10:15:01Z, exit code 0"));
    EXPECT_THAT(host.events,
                ::testing::ElementsAre("register", "100 Stravik remove /user: exit code 0"));
    std::vector<std::string> expectedCalls = {"open C:\\logs\\PC1.log"};
    for (int line = 0; line < 6; ++line) {
        expectedCalls.insert(expectedCalls.end(), {"tryLock", "append", "unlock"});
    }
    EXPECT_EQ(host.fileCalls, expectedCalls);
}

// Another run's lock is waited for up to 10 s, 5 ms at a time; then this
// run's lines go without it, the first of them saying so.
TEST_F(ConsoleProgramTest, ALockHeldElsewhereIsWaitedForOnceThenDoneWithout) {
    host.lockAnswer = AppendingFile::Lock::heldElsewhere;
    EXPECT_EQ(run({L"check", L"/user", L"/log", L"PC1.log"}), 1);

    EXPECT_EQ(host.clock, 10000u);
    EXPECT_EQ(std::count(host.fileCalls.begin(), host.fileCalls.end(), "tryLock"), 2001);
    EXPECT_EQ(host.fileCalls.back(), "append");
    const std::vector<std::string> record = host.lines(L"PC1.log");
    ASSERT_EQ(record.size(), 6u);
    EXPECT_EQ(record[0], prefix +
                             "log: the log could not be locked within 10 s; this run's lines "
                             "are written without the lock from here on");
    EXPECT_THAT(record[1], StartsWith(prefix + "start "));
    EXPECT_THAT(record, ::testing::Each(StartsWith(prefix)));
}

// A log name that someone else took first and keeps from this run: the
// record goes to a new file beside it, which says why, as does the console.
TEST_F(ConsoleProgramTest, ALogThatWillNotOpenIsReplacedByANewFileBesideIt) {
    host.refused = {L"\\\\server\\logs\\PC1.log"};
    EXPECT_EQ(run({L"check", L"/user", L"/log", L"\\\\server\\logs\\PC1.log"}), 1);

    const Text beside = L"\\\\server\\logs\\PC1-20261209T101500Z-4312.log";
    const std::string notice =
        "log: cannot open \\\\server\\logs\\PC1.log (Error # 70: Permission denied.); this "
        "run's record is in " +
        testing::utf8(beside);
    EXPECT_THAT(host.output, StartsWith(notice + "\n"));
    EXPECT_EQ(host.lines(beside).at(1), prefix + notice);
    EXPECT_EQ(host.fileCalls.at(1), "open new " + testing::utf8(beside));
}

// Nor a new file beside it (named after the whole name when it has no
// extension): nothing is touched, and the tool reads 1622.
TEST_F(ConsoleProgramTest, NoLogAtAllTouchesNothing) {
    host.refused = {L"C:\\logs.d\\PC1", L"C:\\logs.d\\PC1-20261209T101500Z-4312.log"};
    EXPECT_EQ(run({L"remove", L"/log", L"C:\\logs.d\\PC1"}), 1622);

    EXPECT_EQ(host.errors,
              "Cannot open the log C:\\logs.d\\PC1: Error # 70: Permission denied.\n"
              "Nor a new one, C:\\logs.d\\PC1-20261209T101500Z-4312.log: Error # 70: "
              "Permission denied.\nNothing was touched.\n");
    EXPECT_THAT(platform.calls, ::testing::IsEmpty());
    EXPECT_THAT(host.files, ::testing::IsEmpty());
}

// A report that runs out of memory (a 32-bit program has 2 GB) says so as
// the classic error, which a task alerting on exit codes sees.
TEST_F(ConsoleProgramTest, ReportOutOfMemorySaysSoAndExitsWithSeven) {
    host.listingRunsOutOfMemory = true;
    EXPECT_EQ(run({L"report", L"C:\\logs"}), 7);
    EXPECT_EQ(host.errors, "Error # 7: Out of memory.\n");
}

// The event source is registered by an elevated remove only: check changes
// nothing, and a standard user cannot; their events are written all the
// same.
TEST_F(ConsoleProgramTest, OnlyAnElevatedRemoveRegistersTheEventSource) {
    EXPECT_EQ(run({L"check", L"/machine", L"/quiet"}), 1);
    platform.administrator = 0;
    EXPECT_EQ(run({L"remove", L"/machine", L"/quiet"}), 740);

    EXPECT_THAT(host.events,
                ::testing::ElementsAre(
                    "101 Stravik check /machine: exit code 1",
                    ::testing::StartsWith("103 Stravik remove /machine: exit code 740")));
}

// A sweep over the home folders of \\fs\homes: each folder's template
// folder in turn, a folder marked hidden and system skipped, a failure
// told and the sweep going on, its number the exit code. Each home folder's
// line reads back as the root, the folder's name and its fate.
TEST_F(ConsoleProgramTest, ASweepTellsEveryHomeFolderAndGoesOnPastAFailure) {
    const Text homes = L"\\\\fs\\homes\\";
    platform.folders[homes] = {};
    platform.subfolders[homes] = {
        {L"anna", false}, {L"$RECYCLE.BIN", true}, {L"bert", false}, {L"carl", false}};
    platform.folders[homes + L"anna\\Halvoran\\template\\"] = {homes +
                                                               L"anna\\Halvoran\\template\\a.dot"};
    platform.existingFiles.insert(homes + L"anna\\Halvoran\\template\\a.dot");
    platform.folders[homes + L"bert\\"] = {};
    platform.raiseOn["pinFolderPath(\\\\fs\\homes\\carl\\Halvoran\\template\\)"] = classicError(75);

    EXPECT_EQ(run({L"remove", L"/homes", L"\\\\fs\\homes", L"/quiet", L"/log", L"homes.log"}), 75);

    std::vector<std::string> record = host.lines(L"homes.log");
    for (std::string& line : record) {
        line = line.substr(prefix.size());
    }
    EXPECT_THAT(
        record,
        ::testing::ElementsAre(
            StartsWith("start 2026-12-09T10:15:00Z, version " STRAVIK_VERSION
                       ", format 1, command remove, scope home, user anna, "),
            "homes folder: \\\\fs\\homes\\",
            "removed: \\\\fs\\homes\\anna\\Halvoran\\template\\a.dot",
            "home emptied: \\\\fs\\homes\\anna", "home skipped: \\\\fs\\homes\\$RECYCLE.BIN",
            "home clean: \\\\fs\\homes\\bert", "Error # 75: Path/File access error.",
            "failed: \\\\fs\\homes\\carl\\Halvoran\\template\\",
            "home failed 75: \\\\fs\\homes\\carl",
            "summary: removed 1, not there 1, left 0, deleted at the next restart 0, "
            "present 0, cannot be reached 0",
            "homes summary: emptied 1, clean 1, present 0, skipped 1, failed 1",
            "end 2026-12-09T10:15:01Z, exit code 75"));
    EXPECT_EQ(record::parseStart(record[0])->scope, "home");

    const auto failed = record::parseHome(record[8]);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->fate, record::HomeFate::failed);
    EXPECT_EQ(failed->errorNumber, 75);
    EXPECT_EQ(failed->folder, "\\\\fs\\homes\\");
    EXPECT_EQ(failed->name, "carl");
    const auto privileged = record::parseHome("home emptied, backup privileges: D:\\Homes\\dora");
    ASSERT_TRUE(privileged);
    EXPECT_EQ(privileged->fate, record::HomeFate::emptied);
    EXPECT_TRUE(privileged->backupPrivileges);
    EXPECT_EQ(privileged->name, "dora");
    EXPECT_FALSE(record::parseHome("home failed: D:\\Homes\\dora"));
    EXPECT_EQ(record::parseHomesSummary(record[10]), (record::HomeFateCounts{1, 1, 0, 1, 1}));
    EXPECT_THAT(host.events, ::testing::ElementsAre(
                                 "register",
                                 "105 Stravik remove /homes \\\\fs\\homes\\: exit code 75, Error # "
                                 "75: Path/File access error. at \\\\fs\\homes\\carl"));
}

}  // namespace
}  // namespace stravik::console

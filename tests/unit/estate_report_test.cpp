// The estate report over logs written by computers and users, none of them
// trusted: rows by the log's place and owner and by the runs' claimed
// order, the states, and views that show every text from a log as text.

#include "console/estate_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace stravik::console {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string start(const std::string& prefix, const std::string& scope, const std::string& user,
                  int format = 1) {
    return prefix + " start " + prefix.substr(0, 20) + ", version 1.00, format " +
           std::to_string(format) + ", command remove, scope " + scope + ", user " + user +
           ", elevated yes, command line: stravikc remove";
}
std::string end(const std::string& prefix, int code) {
    return prefix + " end " + prefix.substr(0, 20) + ", exit code " + std::to_string(code);
}

const LogOwner systemOwner{FileOwner::Kind::machine, "NT AUTHORITY", "SYSTEM", "S-1-5-18"};
LogOwner account(const std::string& name) {
    return {FileOwner::Kind::account, "CORP", name, "S-1-5-21-1-2-3-1001"};
}

void feed(EstateReport& report, const std::string& path, const LogOwner& owner,
          const std::vector<std::string>& lines) {
    report.beginFile(path, owner);
    for (const std::string& line : lines) {
        report.line(line);
    }
    report.endFile();
}

const EstateRow* find(const std::vector<EstateRow>& rows, const std::string& computer,
                      const std::string& part, const std::string& user = "") {
    for (const EstateRow& row : rows) {
        if (row.computer == computer && row.part == part && row.user == user) {
            return &row;
        }
    }
    return nullptr;
}

// A file's own row (taken, unreadable, not attributed), by its path.
const EstateRow* fileRow(const std::vector<EstateRow>& rows, const std::string& path) {
    for (const EstateRow& row : rows) {
        if (row.part == "log" && row.logFile == path) {
            return &row;
        }
    }
    return nullptr;
}

RowState stateOf(const EstateRow* row) { return row ? row->state : RowState::clean; }

// The share of an estate where the report used to say "clean" too soon: each
// log shows the state it should, and no row that is not clean goes unseen.
TEST(EstateReportTest, EachLogSpeaksOnlyForWhomItsPlaceAndOwnerAllowInTheOrderItsRunsRan) {
    EstateReport report("2026-12-09T12:00:00Z", Trust::owner);
    report.folder("logs");
    report.folder("logs/computers");
    report.folder("logs/users");
    // Killed, then a good run, then a record from a clock far ahead.
    const std::string killed = "2026-12-08T07:00:00Z PC1[4]";
    const std::string good = "2026-12-09T07:00:00Z PC1[8]";
    const std::string ahead = "2099-01-01T00:00:00Z PC1[9]";
    const std::string noTime = "2026-13-45T00:00:00Z PC1[10]";
    feed(report, "logs/computers/PC1.log", account("PC1$"),
         {start(killed, "machine", "SYSTEM"), start(good, "machine", "SYSTEM"), end(good, 0),
          start(ahead, "machine", "SYSTEM"), end(ahead, 70), start(noTime, "machine", "SYSTEM"),
          end(noTime, 70)});
    const std::string anna = "2026-12-09T08:00:00Z PC1[20]";
    const std::string forgedClaim = "2026-12-09T08:00:01Z PC5[21]";
    feed(report, "logs/users/PC1-anna.log", account("anna"),
         {start(anna, "user", "anna"), end(anna, 0), start(forgedClaim, "user", "anna"),
          end(forgedClaim, 0)});
    // PC2's start-up script never ran; bob's name was taken by eve, and
    // bob's real failing run lies beside, with a forged lower-case one.
    const std::string pc2 = "2026-12-09T08:00:00Z PC2[30]";
    feed(report, "logs/users/PC2-anna.log", account("anna"),
         {start(pc2, "user", "anna"), end(pc2, 0)});
    const std::string forged = "2026-12-09T11:00:00Z PC2[31]";
    feed(report, "logs/users/PC2-bob.log", account("eve"),
         {start(forged, "user", "bob"), end(forged, 0)});
    const std::string bob = "2026-12-09T08:30:00Z PC2[32]";
    feed(report, "logs/users/PC2-bob-20261209T083000Z-32.log", account("bob"),
         {start(bob, "user", "bob"), bob + " Error # 70: Permission denied.", end(bob, 70)});
    feed(report, "logs/users/pc2-bob-20261209T110000Z-33.log", account("eve"),
         {start(forged, "user", "bob"), end(forged, 0)});
    feed(report, "logs/computers/PCA.log/PCB.log", account("PCB$"),
         {start(pc2, "machine", "SYSTEM"), end(pc2, 0)});
    // Written by an administrator: its name cannot be split, its records
    // must claim it whole. One more saved by Notepad, one being written.
    const std::string pc01 = "2026-12-09T08:00:00Z PC-01[40]";
    feed(report, "logs/users/PC-01-anna.log", systemOwner,
         {start(pc01, "user", "anna"), end(pc01, 0)});
    report.unreadable("logs/users/PC-01-carl.log", "Access is denied.");
    const std::string pc3 = "2026-12-09T08:00:00Z PC3[50]";
    feed(report, "logs/computers/PC3.log", systemOwner,
         {"\xEF\xBB\xBF" + start(pc3, "machine", "SYSTEM"), end(pc3, 0)});
    const std::string pc4 = "2026-12-09T08:00:00Z PC4[60]";
    report.beginFile("logs/computers/PC4.log", systemOwner);
    report.line(start(pc4, "machine", "SYSTEM"));
    report.unfinishedLine();
    report.endFile();
    feed(report, "logs/users/PC6-dan.log",
         {FileOwner::Kind::unresolved, "", "", "S-1-5-21-9-9-9-1234"}, {});

    const std::vector<EstateRow> rows = report.rows(std::vector<std::string>{"PC5"}, std::nullopt);
    const EstateRow* pc1 = find(rows, "PC1", "machine");
    ASSERT_TRUE(pc1);
    EXPECT_EQ(pc1->state, RowState::clean);
    EXPECT_EQ(pc1->runs, 4);
    EXPECT_EQ(pc1->firstSeen, "2026-12-08T07:00:00Z");
    EXPECT_EQ(pc1->lastStart, "2026-12-09T07:00:00Z");
    EXPECT_THAT(pc1->note, HasSubstr("clock ahead"));
    EXPECT_EQ(pc1->failuresInARow, 0);
    EXPECT_EQ(stateOf(find(rows, "PC1", "user", "anna")), RowState::clean);
    EXPECT_EQ(stateOf(find(rows, "PC2", "machine")), RowState::neverReported);
    EXPECT_EQ(stateOf(find(rows, "PC2", "user", "bob")), RowState::permissionDenied);
    EXPECT_EQ(stateOf(fileRow(rows, "logs/users/PC2-bob.log")), RowState::nameTaken);
    EXPECT_THAT(fileRow(rows, "logs/users/PC2-bob.log")->note, HasSubstr("CORP\\eve"));
    EXPECT_EQ(stateOf(fileRow(rows, "logs/computers/PCA.log/PCB.log")), RowState::notAttributed);
    EXPECT_FALSE(find(rows, "PCB", "machine"));
    EXPECT_EQ(stateOf(find(rows, "PC-01", "user", "anna")), RowState::clean);
    EXPECT_EQ(stateOf(fileRow(rows, "logs/users/PC-01-carl.log")), RowState::unreadable);
    EXPECT_EQ(fileRow(rows, "logs/users/PC-01-carl.log")->note, "Access is denied.");
    EXPECT_EQ(stateOf(find(rows, "PC3", "machine")), RowState::clean);
    EXPECT_EQ(stateOf(find(rows, "PC4", "machine")), RowState::interrupted);
    EXPECT_EQ(report.counts().unfinishedLines, 1);
    EXPECT_EQ(stateOf(fileRow(rows, "logs/users/PC6-dan.log")), RowState::ownerUnknown);
    // A forged claim is shown as it is and hides no silent computer.
    EXPECT_EQ(stateOf(find(rows, "PC5", "mismatch", "anna")), RowState::mismatched);
    EXPECT_EQ(stateOf(find(rows, "PC5", "machine")), RowState::neverReported);
    EXPECT_EQ(
        consoleReport(rows, report.counts()).find("Stravik estate report: 6 computers (2 clean)"),
        0u)
        << consoleReport(rows, report.counts());

    // Trusted by place alone, eve's file speaks for bob: said in the summary.
    EstateReport byPlace("2026-12-09T12:00:00Z", Trust::place);
    feed(byPlace, "logs/users/PC2-bob.log", account("eve"),
         {start(forged, "user", "bob"), end(forged, 0)});
    EXPECT_EQ(stateOf(find(byPlace.rows(std::nullopt, std::nullopt), "PC2", "user", "bob")),
              RowState::clean);
    EXPECT_THAT(consoleReport({}, byPlace.counts()), HasSubstr("(/trustnames)"));
}

// A sweep's log of home folders beside the logon scripts' logs: a row per
// home folder, and a later clean sweep of a user's folder closes that
// user's failing rows on every computer, an earlier one does not.
TEST(EstateReportTest, ASweepGivesARowPerHomeFolderAndClosesItsUsersEarlierRows) {
    EstateReport report("2026-12-09T12:00:00Z", Trust::owner);
    const std::string sweep = "2026-12-09T02:00:00Z FS1[5]";
    const std::string homes = sweep + " homes folder: \\\\fs1\\homes\\";
    const auto home = [&](const std::string& fate, const std::string& name) {
        return sweep + " home " + fate + ": \\\\fs1\\homes\\" + name;
    };
    std::string sweepStart = start(sweep, "home", "SYSTEM");
    feed(report, "logs/homes/FS1.log", systemOwner,
         {sweepStart, homes, sweep + " removed: \\\\fs1\\homes\\anna\\Halvoran\\template\\a.dot",
          home("emptied", "anna"), home("clean", "bob"),
          sweep + " Error # 75: Path/File access error: \\\\fs1\\homes\\carl\\Halvoran is a "
                  "link to another folder.",
          sweep + " failed: \\\\fs1\\homes\\carl\\Halvoran", home("failed 75", "carl"),
          home("skipped", "System Volume Information"),
          sweep + " homes summary: emptied 1, clean 1, present 0, skipped 1, failed 1",
          end(sweep, 75)});
    // A check of the server's own folder the day before found dora's
    // templates: named as an administrator reaches that folder.
    const std::string check = "2026-12-08T02:00:00Z FS1[4]";
    std::string checkStart = start(check, "home", "SYSTEM");
    checkStart.replace(checkStart.find("command remove"), 14, "command check");
    feed(report, "logs/homes/FS1-20261208T020000Z-4.log", systemOwner,
         {checkStart, check + " homes folder: D:\\Homes\\",
          check + " home present: D:\\Homes\\dora", end(check, 1)});
    // Anna's logon script failed on two computers before the sweep; bob's
    // failed after it.
    for (const std::string computer : {"PC1", "PC2"}) {
        const std::string run = "2026-12-08T08:00:00Z " + computer + "[9]";
        feed(report, "logs/users/" + computer + "-anna.log", account("anna"),
             {start(run, "user", "anna"), run + " Error # 70: Permission denied.", end(run, 70)});
    }
    const std::string bob = "2026-12-09T08:00:00Z PC1[10]";
    feed(report, "logs/users/PC1-bob.log", account("bob"),
         {start(bob, "user", "bob"), end(bob, 76)});
    // A user's own sweep log, and a sweep's record in a user's log.
    const std::string forged = "2026-12-09T11:00:00Z FS9[1]";
    feed(report, "logs/homes/FS9.log", account("eve"),
         {start(forged, "home", "eve"), forged + " home clean: \\\\fs1\\homes\\bob",
          end(forged, 0)});
    const std::string eve = "2026-12-09T11:00:00Z PC3[2]";
    feed(report, "logs/users/PC3-eve.log", account("eve"),
         {start(eve, "home", "eve"), eve + " home clean: \\\\fs1\\homes\\bob", end(eve, 0)});

    const std::vector<EstateRow> rows = report.rows(std::nullopt, std::nullopt);
    const std::string root = "\\\\fs1\\homes\\";
    EXPECT_EQ(stateOf(find(rows, root, "home")), RowState::clean) << "the sweep went through";
    EXPECT_EQ(stateOf(find(rows, root, "home", "anna")), RowState::clean);
    EXPECT_EQ(find(rows, root, "home", "anna")->counts[0], 1);
    EXPECT_EQ(stateOf(find(rows, root, "home", "bob")), RowState::clean);
    const EstateRow* carl = find(rows, root, "home", "carl");
    ASSERT_TRUE(carl);
    EXPECT_EQ(carl->state, RowState::linkRefused);
    EXPECT_THAT(carl->errorText, HasSubstr("carl\\Halvoran is a link"));
    EXPECT_EQ(carl->lastStart, "2026-12-09T02:00:00Z");
    EXPECT_EQ(carl->failuresInARow, 1);
    EXPECT_EQ(stateOf(find(rows, "\\\\FS1\\D$\\Homes\\", "home", "dora")), RowState::present);
    EXPECT_FALSE(find(rows, root, "home", "System Volume Information"));
    for (const std::string computer : {"PC1", "PC2"}) {
        const EstateRow* anna = find(rows, computer, "user", "anna");
        ASSERT_TRUE(anna);
        EXPECT_EQ(anna->state, RowState::closedBySweep);
        EXPECT_TRUE(isClean(*anna));
        EXPECT_THAT(anna->note, HasSubstr("emptied by the sweep of \\\\fs1\\homes\\anna at "
                                          "2026-12-09T02:00:00Z; its own last run: permission"));
    }
    EXPECT_EQ(stateOf(find(rows, "PC1", "user", "bob")), RowState::unreachable);
    EXPECT_EQ(stateOf(fileRow(rows, "logs/homes/FS9.log")), RowState::nameTaken);
    EXPECT_EQ(stateOf(find(rows, "PC3", "mismatch", "eve")), RowState::mismatched);
    EXPECT_FALSE(find(rows, "PC3", "user", "eve"));
    const std::string text = consoleReport(rows, report.counts());
    EXPECT_EQ(text.find("Stravik estate report: 2 computers (1 clean), 4 home folders (2 clean)"),
              0u)
        << text;
    EXPECT_THAT(text, HasSubstr("closed by sweep: 2"));
    EXPECT_THAT(text, HasSubstr("  \\\\fs1\\homes\\  home carl  link refused, exit code 75"));
}

// Whatever order the files come in and however much one log says, a row
// keeps its latest run, a bounded history, and a file a few rows.
TEST(EstateReportTest, RowsStayBoundedAndInOrderWhateverTheFilesHold) {
    EstateReport report("2026-12-09T12:00:00Z", Trust::owner);
    std::vector<std::string> failing;
    for (int run = 0; run < 1005; ++run) {
        const std::string prefix = "2026-12-09T09:00:00Z PC1[" + std::to_string(run) + "]";
        failing.push_back(start(prefix, "machine", "SYSTEM"));
        failing.push_back(end(prefix, 76));
    }
    // The newer file first: its name sorts before the log's.
    feed(report, "logs/computers/PC1-20261209T090000Z-1.log", systemOwner, failing);
    const std::string older = "2026-12-09T08:00:00Z PC1[4]";
    feed(report, "logs/computers/PC1.log", systemOwner,
         {start(older, "machine", "SYSTEM"), end(older, 0)});
    std::vector<std::string> claims;
    for (int computer = 0; computer < 500; ++computer) {
        const std::string prefix = "2026-12-09T08:00:00Z PCX" + std::to_string(computer) + "[1]";
        claims.push_back(start(prefix, "user", "anna"));
        claims.push_back(end(prefix, 0));
    }
    feed(report, "logs/users/PC9-anna.log", account("anna"), claims);

    const std::vector<EstateRow> rows = report.rows(std::nullopt, std::nullopt);
    const EstateRow* pc1 = find(rows, "PC1", "machine");
    ASSERT_TRUE(pc1);
    EXPECT_EQ(pc1->state, RowState::unreachable);
    EXPECT_EQ(pc1->lastSuccess, "2026-12-09T08:00:00Z");
    EXPECT_EQ(pc1->failuresInARow, failuresCounted);
    EXPECT_THAT(csvReport(rows), HasSubstr("\"999+\""));
    EXPECT_LE(rows.size(), 11u) << "one log makes a few mismatch rows, the rest counted";
    EXPECT_THAT(consoleReport(rows, report.counts()), HasSubstr("492 more records"));
}

TEST(EstateReportTest, ViewsShowEveryTextFromALogAsTextOnly) {
    EstateRow row;
    row.computer = "<svg/onload=alert(1)>";
    row.part = "user";
    row.user = "=HYPERLINK(\"x\")";
    row.failedTarget = "H:\\Halvoran\\template\\\x1b[2JR\xc3\xa9sum\xc3\xa9.dot\xff";
    row.state = RowState::permissionDenied;
    row.exitCode = 70;
    EstateRow clean;
    clean.computer = "PC1";
    clean.part = "machine";

    const std::string page = htmlReport({row, clean}, {}, "2026-12-09T10:00:00Z", "n0nce");
    EXPECT_THAT(page, HasSubstr("&lt;svg/onload=alert(1)&gt;"));
    EXPECT_THAT(page, Not(HasSubstr("<svg/onload")));
    EXPECT_THAT(page, HasSubstr("script-src 'nonce-n0nce'"));
    EXPECT_THAT(page, Not(HasSubstr("\x1b")));

    const std::string csv = csvReport({row});
    EXPECT_TRUE(csv.starts_with("\xEF\xBB\xBF\"computer\""));
    EXPECT_THAT(csv, HasSubstr("\"'=HYPERLINK(\"\"x\"\")\""));
    EXPECT_THAT(csv, HasSubstr("R\xc3\xa9sum\xc3\xa9.dot\xEF\xBF\xBD"));

    const std::string text = consoleReport({row, clean}, {});
    EXPECT_THAT(text, Not(HasSubstr("\x1b")));
    EXPECT_THAT(text, HasSubstr("permission denied or in use: 1"));
    EXPECT_THAT(text, Not(HasSubstr("  PC1  machine")));
}

TEST(EstateReportTest, ComputerListsReadAsDirectoryExportsWriteThem) {
    const std::string utf16(
        "\xFF\xFE"
        "P\0C\0"
        "1\0$\0\r\0\n\0"
        "p\0c\0"
        "2\0.\0c\0\n\0",
        26);
    EXPECT_EQ(readComputerList(utf16), (std::vector<std::string>{"PC1", "PC2"}));
    EXPECT_EQ(readComputerList("\xEF\xBB\xBFpc3.corp.example.com\r\n\r\nCORP\\pc4\n"),
              (std::vector<std::string>{"PC3", "PC4"}));
}

}  // namespace
}  // namespace stravik::console

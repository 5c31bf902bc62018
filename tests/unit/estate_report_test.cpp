// The estate report over logs written by computers and users, none of them
// trusted: rows by the log's place and the run's position, the states, and
// views that show every text from a log as text.

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

void feed(EstateReport& report, const std::string& path, const std::vector<std::string>& lines) {
    report.beginFile(path);
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

TEST(EstateReportTest, RowsFollowTheLogsPlaceAndTheRunsPositionNeverWhatTheyClaim) {
    EstateReport report;
    const std::string future = "2099-01-01T00:00:00Z PC1[4]";
    const std::string later = "2026-12-08T07:00:00Z PC1[8]";
    feed(report, "logs\\computers\\PC1.log",
         {start(future, "machine", "SYSTEM"), end(future, 76), start(later, "machine", "SYSTEM"),
          later + " summary: removed 3, not there 34, left 0, deleted at the next restart 0, "
                  "present 0, cannot be reached 0",
          "2026-12-08T07:00:0", end(later, 0)});
    const std::string held = "2026-12-08T07:01:00Z PC2[12]";
    feed(report, "logs/computers/PC2.log",
         {start(held, "everything", "SYSTEM"), held + " Error # 70: Permission denied.",
          held + " failed: H:\\Halvoran\\template\\Letter.dotx", end(held, 70)});
    const std::string killed = "2026-12-08T07:02:00Z PC3[16]";
    feed(report, "logs/computers/PC3.log",
         {start(killed, "machine", "SYSTEM"), killed + " removed: C:\\x"});
    const std::string anna = "2026-12-08T08:00:00Z PC1[20]";
    const std::string forged = "2026-12-08T08:00:00Z <svg/onload=alert(1)>[21]";
    feed(
        report, "logs/users/PC1-anna-20261208T080000Z-20.log",
        {start(anna, "user", "anna"), end(anna, 0), start(forged, "user", "anna"), end(forged, 0)});
    const std::string userInComputers = "2026-12-08T08:00:00Z PC4[22]";
    feed(report, "logs/computers/PC4.log",
         {start(userInComputers, "user", "bob"), end(userInComputers, 0)});
    feed(report, "logs/users/other.bin", {std::string("MZ\0\x90", 4), "binary"});
    const std::string newer = "2026-12-08T08:00:00Z PC6[23]";
    feed(report, "logs/computers/PC6.log", {start(newer, "machine", "SYSTEM", 2), end(newer, 0)});

    const std::vector<EstateRow> rows = report.rows({"pc1.corp.example", "PC2$", "CORP\\PC5"},
                                                    std::nullopt, "2026-12-09T00:00:00Z");
    ASSERT_TRUE(find(rows, "PC1", "machine"));
    EXPECT_EQ(find(rows, "PC1", "machine")->state, RowState::clean);
    EXPECT_EQ(find(rows, "PC1", "machine")->runs, 2);
    EXPECT_EQ(find(rows, "PC1", "machine")->counts[0], 3);
    ASSERT_TRUE(find(rows, "PC2", "machine"));
    EXPECT_EQ(find(rows, "PC2", "machine")->state, RowState::permissionDenied);
    EXPECT_EQ(find(rows, "PC2", "machine")->failedTarget, "H:\\Halvoran\\template\\Letter.dotx");
    EXPECT_EQ(find(rows, "PC2", "machine")->errorNumber, "70");
    EXPECT_FALSE(find(rows, "PC2", "user", "SYSTEM")) << "a computer's log speaks for no user";
    ASSERT_TRUE(find(rows, "PC3", "machine"));
    EXPECT_EQ(find(rows, "PC3", "machine")->state, RowState::interrupted);
    ASSERT_TRUE(find(rows, "PC1", "user", "anna"));
    EXPECT_EQ(find(rows, "PC1", "user", "anna")->state, RowState::clean);
    ASSERT_TRUE(find(rows, "<svg/onload=alert(1)>", "mismatch", "anna"));
    ASSERT_TRUE(find(rows, "PC4", "mismatch", "bob"));
    ASSERT_TRUE(find(rows, "PC5", "machine"));
    EXPECT_EQ(find(rows, "PC5", "machine")->state, RowState::neverReported);
    EXPECT_FALSE(find(rows, "PC6", "machine")) << "another format's log is skipped";
    EXPECT_EQ(report.counts().filesSkipped, 2);
    EXPECT_EQ(report.counts().tornLines, 1);

    const std::vector<EstateRow> later_rows = report.rows({}, 30, "2027-06-01T00:00:00Z");
    EXPECT_EQ(find(later_rows, "PC1", "machine")->state, RowState::stale);
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

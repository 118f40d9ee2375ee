// The results log: its records, where it may create folders, and that copies
// of the program appending at once never mix their records.

#include "batch/results_log.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

const std::string kSeparator = std::string(50, '-') + "\n";

TEST(ResultsLog, ARecordIsTheLocalTimeTheTextAndTheSeparator)
{
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(formatLogRecord("a --> b : Success !\r\n", 1796617593),
              "2026-12-07 04:26:33\na --> b : Success !\r\n" + kSeparator);
    EXPECT_EQ(formatLogRecord("", 0), "1970-01-01 00:00:00\n" + kSeparator);
    unsetenv("TZ");
    tzset();
}

TEST(ResultsLog, RecordsAreAppendedInOrder)
{
    ScratchFolder scratch;
    const std::string log = scratch.file("log/plflog.txt");
    appendToResultsLog(log, "first\r\n");
    appendToResultsLog(log, "");
    appendToResultsLog(log, "third\r\n");
    const std::regex records("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\nfirst\r\n" + kSeparator +
                             "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n" + kSeparator +
                             "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\nthird\r\n" + kSeparator);
    EXPECT_TRUE(std::regex_match(faxtest::readText(log), records)) << faxtest::readText(log);
}

TEST(ResultsLog, FolderCreationAndSilentFailures)
{
    ScratchFolder scratch;
    struct Case {
        std::string path;
        LogFolderCreation creation;
        bool written;
    };
    const std::vector<Case> cases = {
        {scratch.file("one/log.txt"), LogFolderCreation::OneLevel, true},
        {scratch.file("two/levels/log.txt"), LogFolderCreation::OneLevel, false},
        {scratch.file("all/the/levels/log.txt"), LogFolderCreation::AllParents, true},
        {scratch.path().string(), LogFolderCreation::OneLevel, false},  // a folder, not a file
        {"", LogFolderCreation::OneLevel, false},                       // the log switched off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        appendToResultsLog(c.path, "text\r\n", c.creation);
        EXPECT_EQ(fs::is_regular_file(c.path), c.written);
    }
}

TEST(ResultsLog, CopiesAppendingAtOnceNeverInterleave)
{
    ScratchFolder scratch;
    const std::string log = scratch.file("shared.txt");
    // Records far larger than a pipe buffer, so an unlocked append would
    // have every chance to be split.
    constexpr int kWriters = 4;
    constexpr int kRecords = 25;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string line = std::string(200, static_cast<char>('A' + writer)) + "\r\n";
            std::string text;
            for (int i = 0; i < 400; ++i) text += line;
            for (int i = 0; i < kRecords; ++i) appendToResultsLog(log, text);
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string content = faxtest::readText(log);
    int records = 0;
    size_t at = 0;
    while (at < content.size()) {
        const size_t stampEnd = content.find('\n', at);
        ASSERT_NE(stampEnd, std::string::npos);
        const char letter = content[stampEnd + 1];
        const std::string line = std::string(200, letter) + "\r\n";
        std::string expected;
        for (int i = 0; i < 400; ++i) expected += line;
        ASSERT_EQ(content.compare(stampEnd + 1, expected.size() + kSeparator.size(), expected + kSeparator), 0)
            << "record " << records << " is mixed";
        at = stampEnd + 1 + expected.size() + kSeparator.size();
        ++records;
    }
    EXPECT_EQ(records, kWriters * kRecords);
}

}  // namespace
}  // namespace pagelift

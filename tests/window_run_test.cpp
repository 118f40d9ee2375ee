// The Convert tab without its window: which files a run takes, what it says
// about each of them, and the rules for starting and stopping runs.

#include "batch/single_file.h"
#include "settings/working_paths.h"
#include "support/fax_fixtures.h"
#include "support/held_converter.h"
#include "support/ocr_module.h"
#include "ui/convert_controller.h"
#include "ui/file_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <regex>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>

namespace pagelift {
namespace {

using pagelift::testing::HeldConverter;
using pagelift::testing::realConverter;

namespace fs = std::filesystem;
using faxtest::ScratchFolder;
using faxtest::writeText;
using List = std::vector<std::string>;

TEST(NamedFiles, ATextNamingNothingThatExistsIsCutAtBlanks)
{
    struct Case {
        const char* text;
        const char* folder;
        List entries;
    };
    const Case cases[] = {
        {"/no/in a.tif b.tif", "/no/in", {"a.tif", "b.tif"}},
        {"/no/in/a.tif", "/no/in", {"a.tif"}},
        {"/no/My Faxes/a.tif", "/no/My", {"Faxes/a.tif"}},
        {"/no/in a.tif  b.tif", "/no/in", {"a.tif"}},  // two blanks end the names
        {"a.tif", "", {"a.tif"}},                      // no folder at all
        {" /no/in/a.tif", " /no/in", {"a.tif"}},  // a blank first is no separator
    };
    for (const Case& c : cases) {
        const FileList list = listNamedFiles(c.text, std::nullopt);
        EXPECT_EQ(list.sourceFolder, c.folder) << c.text;
        EXPECT_EQ(list.entries, c.entries) << c.text;
    }
}

TEST(NamedFiles, WhatExistsDecidesWhereNamesWithBlanksEnd)
{
    ScratchFolder scratch;
    const std::string faxes = scratch.file("My Faxes");
    fs::create_directories(faxes);
    for (const char* name : {"a.tif", "b c.tif", "b", "d.tif"}) writeText(faxes + "/" + name, "x");
    struct Case {
        std::string text;
        std::string folder;
        List entries;
    };
    const Case cases[] = {
        {faxes + "/a.tif", faxes, {"a.tif"}},
        {faxes + "/b c.tif", faxes, {"b c.tif"}},
        {faxes + " a.tif b c.tif d.tif", faxes, {"a.tif", "b c.tif", "d.tif"}},
        {faxes + " b d.tif", faxes, {"b", "d.tif"}},
        {faxes + " a.tif missing.tif d.tif", faxes, {"a.tif", "missing.tif", "d.tif"}},
        {faxes + " a.tif   d.tif", faxes, {"a.tif", "d.tif"}},
    };
    for (const Case& c : cases) {
        const FileList list = listNamedFiles(c.text, std::nullopt);
        EXPECT_EQ(list.sourceFolder, c.folder) << c.text;
        EXPECT_EQ(list.entries, c.entries) << c.text;
    }
}

TEST(NamedFiles, ADialogSelectionIsKeptWhileTheBoxShowsIt)
{
    const FileSelection picked{"/srv/My Faxes", {"a.tif", "b c.tif"}};
    EXPECT_EQ(sourceTextOf(picked), "/srv/My Faxes a.tif b c.tif");
    EXPECT_EQ(sourceTextOf(FileSelection{"/srv/My Faxes", {"a.tif"}}), "/srv/My Faxes/a.tif");

    FileList list = listNamedFiles("/srv/My Faxes a.tif b c.tif", picked);
    EXPECT_EQ(list.sourceFolder, "/srv/My Faxes");
    EXPECT_EQ(list.entries, (List{"a.tif", "b c.tif"}));
    list = listNamedFiles("/srv/My Faxes a.tif", picked);  // edited since: read as text
    EXPECT_EQ(list.sourceFolder, "/srv/My");
}

TEST(NamedFiles, TheOpenFileDialogStartsWhereTheSourceTextPoints)
{
    ScratchFolder scratch;
    const std::string faxes = scratch.file("My Faxes");
    fs::create_directories(faxes);
    writeText(faxes + "/a.tif", "x");
    const std::pair<std::string, std::string> cases[] = {
        {faxes, faxes},                          // a folder
        {faxes + "/a.tif", faxes},               // one file
        {faxes + " a.tif b.tif", faxes},         // a folder and names
        {faxes + "/gone/a.tif", faxes},          // the nearest parent that exists
        {"", ""},
    };
    for (const auto& [text, folder] : cases) EXPECT_EQ(namedFilesStartFolder(text, std::nullopt), folder) << text;
}

// Records a run's events as the window would see them.
class RecordedEvents : public RunEvents {
public:
    struct Row {
        std::string source;
        std::string entry;
        std::vector<std::string> written;
        std::string result;
        std::string jpeg;
    };

    void runPrepared(uint64_t, int entryCount) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        prepared_ = entryCount;
    }
    void fileStarted(uint64_t, int index, const std::string& source, const std::string& entry,
                     const std::string& status) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_EQ(index, static_cast<int>(rows_.size()));
        EXPECT_EQ(status, "Doing: " + source);
        rows_.push_back({source, entry, {}, "", ""});
    }
    void fileFinished(uint64_t, int index, const FileResult& result) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Row& row = rows_.at(static_cast<size_t>(index));
        row.written = result.written;
        row.result = result.result;
        row.jpeg = result.jpeg;
    }
    void runFinished(uint64_t runId, const RunTally& tally, const std::string& status) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        finishedRun_ = runId;
        tally_ = tally;
        status_ = status;
        finished_.notify_all();
    }

    // Waits for the end of run `runId` (a minute at most); its count of
    // converted files, or -1 when it did not end.
    int waitForEnd(uint64_t runId)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!finished_.wait_for(lock, std::chrono::minutes(1), [&] { return finishedRun_ == runId; })) return -1;
        return tally_.converted;
    }
    std::vector<Row> rows()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return rows_;
    }
    std::string status()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return status_;
    }
    RunTally tally()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return tally_;
    }
    void clear()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        rows_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    int prepared_ = -1;
    std::vector<Row> rows_;
    uint64_t finishedRun_ = 0;
    RunTally tally_;
    std::string status_;
};

class RecordedNotices : public PageNotices {
public:
    void showMessage(const std::string& text, const std::string& caption) override
    {
        messages.push_back(caption + ": " + text);
    }
    void showNote(const std::string& text) override { notes.push_back(text); }
    List messages;
    List notes;
};

class WindowRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!faxtest::toolsAvailable({"/usr/bin/convert", "/usr/bin/pbmtext"})) {
            GTEST_SKIP() << "needs ImageMagick and netpbm (scripts/install-deps.sh --test)";
        }
        // in/a.tif, in/sub/b.tif (same page), in/x.JPG, in/y.jpeg, in/notes.g3 (no fax data)
        source_ = scratch_.file("in");
        fs::create_directories(source_ + "/sub");
        const std::string page = scratch_.file("page.pbm");
        ASSERT_TRUE(faxtest::renderTextPage(page, "WINDOW RUN", 1, 64, 16));
        ASSERT_EQ(faxtest::runShell("/usr/bin/convert '" + page + "' -compress None '" + source_ + "/a.tif'",
                                    scratch_.path().string())
                      .exitCode,
                  0);
        fs::copy_file(source_ + "/a.tif", source_ + "/sub/b.tif");
        writeText(source_ + "/x.JPG", "a picture");
        writeText(source_ + "/y.jpeg", "a picture");
        writeText(source_ + "/notes.g3", "no fax data in here at all");
        controller_.texts.sourceText = source_;
        controller_.texts.destinationText = scratch_.file("out");
        controller_.logPath = scratch_.file("log/plflog.txt");
        controller_.choices.includeSubfolders = 1;
        // The files were written just now: timer runs take them at once
        // unless a test says otherwise.
        controller_.settleTime = std::chrono::seconds(0);
    }

    // A second controller's texts: the fixture's, naming four files of the
    // source folder in this order.
    void nameFourFiles(ConvertController& controller) const
    {
        controller.texts = controller_.texts;
        controller.texts.sourceText = source_ + " a.tif sub/b.tif notes.g3 x.JPG";
        controller.choices.sourceMode = 1;
    }

    // Starts a run and waits for its end; the rows sorted by source.
    std::vector<RecordedEvents::Row> run(bool automatic)
    {
        events_.clear();
        EXPECT_EQ(controller_.startRun(automatic, notices_), StartResult::Started);
        events_.waitForEnd(++runs_);
        controller_.runFinished(runs_);
        std::vector<RecordedEvents::Row> rows = events_.rows();
        std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.source < b.source; });
        return rows;
    }

    ScratchFolder scratch_;
    std::string source_;
    RecordedEvents events_;
    RecordedNotices notices_;
    ConvertController controller_{events_, realConverter()};
    uint64_t runs_ = 0;
};

TEST_F(WindowRunTest, EachFileGetsItsRowItsResultAndTheReportGoesToTheLog)
{
    const std::string out = scratch_.file("out");
    std::vector<RecordedEvents::Row> rows = run(false);
    // Each row: the entry relative to the source folder, what was written,
    // the result and the JPEG the row opens.
    struct Expected {
        std::string entry;
        List written;
        std::string result;
        std::string jpeg;
    };
    const auto expectRows = [&](const std::vector<Expected>& expected) {
        ASSERT_EQ(rows.size(), expected.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].source, source_ + "/" + expected[i].entry);
            EXPECT_EQ(rows[i].entry, expected[i].entry);
            EXPECT_EQ(rows[i].written, expected[i].written) << rows[i].source;
            EXPECT_EQ(rows[i].result, expected[i].result) << rows[i].source;
            EXPECT_EQ(rows[i].jpeg, expected[i].jpeg) << rows[i].source;
        }
    };
    // sub/b.tif would become out/b.jpg beside a.jpg: both are converted.
    // A JPEG passed over opens itself.
    expectRows({{"a.tif", {out + "/a.jpg"}, "Converted!", out + "/a.jpg"},
                {"notes.g3", {}, "Not FAX!", ""},
                {"sub/b.tif", {out + "/b.jpg"}, "Converted!", out + "/b.jpg"},
                {"x.JPG", {}, "Already JPEG!", source_ + "/x.JPG"},
                {"y.jpeg", {}, "Already JPEG!", source_ + "/y.jpeg"}});
    EXPECT_EQ(events_.status(), "Done. 2 FAX files converted, 1 failed, 2 skipped");
    EXPECT_TRUE(notices_.messages.empty());

    const std::string log = faxtest::readText(scratch_.file("log/plflog.txt"));
    const std::string header = "Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: " + source_ +
                               "\r\nDestination Folder: " + out + "\r\n";
    EXPECT_NE(log.find(header + source_), std::string::npos) << log;
    EXPECT_NE(log.find(source_ + "/a.tif --> " + out + "/a.jpg : Success !\r\n"), std::string::npos);
    EXPECT_NE(log.find(source_ + "/notes.g3 --> " + out + "/notes.jpg : Failed : " + source_ + "/notes.g3 - Not Fax"),
              std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 51), std::string(50, '-') + "\n");

    // A timer run skips what exists (and opens what is there); a manual one
    // converts it again.
    rows = run(true);
    expectRows({{"a.tif", {}, "Already exist, skipped!", out + "/a.jpg"},
                {"notes.g3", {}, "Not FAX!", ""},
                {"sub/b.tif", {}, "Already exist, skipped!", out + "/b.jpg"},
                {"x.JPG", {}, "Already JPEG!", source_ + "/x.JPG"},
                {"y.jpeg", {}, "Already JPEG!", source_ + "/y.jpeg"}});
    EXPECT_EQ(events_.status(), "Done. 0 FAX files converted, 1 failed, 4 skipped");
    rows = run(false);
    EXPECT_EQ(rows[0].result, "Converted!");

    // With the hierarchy kept, the tree is rebuilt; without extensions cut,
    // names keep them.
    controller_.choices.keepHierarchy = 1;
    controller_.choices.keepExtension = 1;
    rows = run(false);
    EXPECT_EQ(rows[0].written, List{out + "/a.tif.jpg"});
    EXPECT_EQ(rows[2].written, List{out + "/sub/b.tif.jpg"});
}

TEST_F(WindowRunTest, AMultiPageFaxNamesThePagesItWrote)
{
    const std::string out = scratch_.file("out");
    fs::copy_file(PAGELIFT_SOURCE_DIR "/samples/letter-g3.tif", source_ + "/letter-g3.tif");
    controller_.choices.includeSubfolders = 0;
    controller_.texts.filterText = "letter*";
    const List pages = {out + "/letter-g3001.jpg", out + "/letter-g3002.jpg"};
    for (const int jobs : {1, 3}) {  // one file at a time, and the run of several jobs
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        fs::remove_all(out);
        controller_.jobs = jobs;
        const std::vector<RecordedEvents::Row> rows = run(false);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].result, "Converted!");
        EXPECT_EQ(rows[0].written, pages);
        EXPECT_EQ(rows[0].jpeg, pages.front());
        EXPECT_FALSE(fs::exists(out + "/letter-g3.jpg"));
        EXPECT_EQ(writtenFilesText(out + "/letter-g3.jpg", rows[0].written),
                  out + "/letter-g3001.jpg ... 002.jpg (2 pages)");
    }
}

TEST_F(WindowRunTest, AMissingSourceIsToldAndCreatesNothingAndATildeIsTheHomeFolder)
{
    const std::string missing = scratch_.file("gone");
    controller_.texts.sourceText = missing;
    controller_.texts.destinationText = scratch_.file("out");
    EXPECT_EQ(controller_.startRun(false, notices_), StartResult::Refused);
    EXPECT_EQ(notices_.messages, List{"Warning: Source folder not found:\n" + missing});
    // A timer start says it on the status line, never in a box.
    EXPECT_EQ(controller_.startRun(true, notices_), StartResult::Dropped);
    EXPECT_EQ(notices_.messages.size(), 1u);
    EXPECT_EQ(notices_.notes, List{"Source folder not found: " + missing});
    EXPECT_FALSE(fs::exists(scratch_.file("out")));
    EXPECT_FALSE(controller_.running());

    // "~" in the three folder fields is the home folder, never a folder named "~".
    const char* savedHome = std::getenv("HOME");
    const std::string savedValue = savedHome != nullptr ? savedHome : "";
    ::setenv("HOME", scratch_.path().c_str(), 1);
    const fs::path workingFolder = fs::current_path();
    fs::create_directories(scratch_.file("cwd"));
    fs::current_path(scratch_.file("cwd"));
    controller_.texts.sourceText = "~/in";
    controller_.texts.destinationText = "~/out";
    controller_.texts.backupText = "~/done";
    const std::vector<RecordedEvents::Row> rows = run(false);
    fs::current_path(workingFolder);
    if (savedHome != nullptr) {
        ::setenv("HOME", savedValue.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].source, source_ + "/a.tif");
    EXPECT_EQ(rows[0].written, List{scratch_.file("out") + "/a.jpg"});
    EXPECT_TRUE(fs::exists(scratch_.file("done/a.tif")));
    EXPECT_TRUE(fs::is_empty(scratch_.file("cwd")));
}

TEST_F(WindowRunTest, ATimerRunLeavesFilesStillBeingWrittenToALaterRun)
{
    // A writer's lock, as fax servers hold one on a fax they receive.
    const int writer = open((source_ + "/a.tif").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);
    struct Case {
        int settleSeconds;
        bool automatic;
        std::set<std::string> converted;
    };
    const std::vector<Case> cases = {
        {0, true, {"sub/b.tif"}},
        {0, false, {"a.tif", "sub/b.tif"}},
        {60, true, {}},  // everything was written within the minute
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.settleSeconds) + (c.automatic ? " s, timer" : " s, Go"));
        fs::remove_all(scratch_.file("out"));
        controller_.settleTime = std::chrono::seconds(c.settleSeconds);
        std::set<std::string> converted;
        for (const RecordedEvents::Row& row : run(c.automatic)) {
            if (row.result == "Converted!") converted.insert(row.source.substr(source_.size() + 1));
        }
        EXPECT_EQ(converted, c.converted);
    }
    close(writer);
}

TEST_F(WindowRunTest, SeveralFilesAtATimeGiveTheRowsAndReportOfOneAtATime)
{
    // Every record of the log without its time line, the destination named OUT.
    const auto records = [&](const std::string& destination) {
        std::string log = faxtest::readText(scratch_.file("log/plflog.txt"));
        for (size_t at = log.find(destination); at != std::string::npos; at = log.find(destination, at)) {
            log.replace(at, destination.size(), "OUT");
        }
        return std::regex_replace(log, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r?\n)"), "");
    };
    const auto rowsWithOut = [&](std::vector<RecordedEvents::Row> rows, const std::string& destination) {
        const auto rename = [&](std::string& path) {
            if (path.rfind(destination, 0) == 0) path = "OUT" + path.substr(destination.size());
        };
        for (RecordedEvents::Row& row : rows) {
            rename(row.jpeg);
            for (std::string& written : row.written) rename(written);
        }
        return rows;
    };
    controller_.texts.destinationText = scratch_.file("one");
    const std::vector<RecordedEvents::Row> one = rowsWithOut(run(false), scratch_.file("one"));
    const std::string oneReport = records(scratch_.file("one"));
    fs::remove(scratch_.file("log/plflog.txt"));

    // The decoding settings here name no working files; jobs must not invent
    // some in the current folder.
    const auto currentFolderFiles = [] {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    };
    const std::set<std::string> before = currentFolderFiles();
    controller_.jobs = 3;
    controller_.texts.destinationText = scratch_.file("three");
    const std::vector<RecordedEvents::Row> three = rowsWithOut(run(false), scratch_.file("three"));
    EXPECT_EQ(currentFolderFiles(), before);
    ASSERT_EQ(three.size(), one.size());
    for (size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(three[i].source, one[i].source);
        EXPECT_EQ(three[i].written, one[i].written);
        EXPECT_EQ(three[i].jpeg, one[i].jpeg);
        EXPECT_EQ(three[i].result, one[i].result);
    }
    EXPECT_EQ(events_.status(), "Done. 2 FAX files converted, 1 failed, 2 skipped");
    EXPECT_EQ(records(scratch_.file("three")), oneReport);
}

TEST_F(WindowRunTest, NamedFilesAndAnEmptyFolderRunToo)
{
    controller_.choices.sourceMode = 1;
    controller_.texts.sourceText = source_ + " a.tif sub/b.tif x.JPG";
    std::vector<RecordedEvents::Row> rows = run(false);
    ASSERT_EQ(rows.size(), 3u);
    // Both become out/a.jpg and out/b.jpg; no filter or format check applies.
    EXPECT_EQ(rows[0].result, "Converted!");
    EXPECT_EQ(rows[2].result, "Already JPEG!");
    EXPECT_EQ(events_.status(), "Done. 2 FAX files converted, 1 skipped");

    controller_.choices.sourceMode = 0;
    fs::create_directories(scratch_.file("empty"));
    controller_.texts.sourceText = scratch_.file("empty");
    EXPECT_TRUE(run(false).empty());
    EXPECT_EQ(events_.status(), "Done. 0 FAX files converted");
    EXPECT_EQ(controller_.listedEntries(), 0);
}

TEST_F(WindowRunTest, ARunThatCannotStartSaysWhyUnlessTheTimerStartedIt)
{
    struct Case {
        const char* name;
        std::string source;
        std::string destination;
        std::string message;
    };
    const Case cases[] = {
        {"no source", "", scratch_.file("out"),
         "Warning: Select Source Dir,\nwhere your fax files to be converted should be"},
        {"no destination", source_, "", "Warning: Select Save Dir,\nwhere your converted jpg files should be"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller_.texts.sourceText = c.source;
        controller_.texts.destinationText = c.destination;
        notices_.messages.clear();
        EXPECT_EQ(controller_.startRun(false, notices_), StartResult::Refused);
        EXPECT_EQ(notices_.messages, List{c.message});
        EXPECT_EQ(controller_.startRun(true, notices_), StartResult::Dropped);
        EXPECT_EQ(notices_.messages.size(), 1u);
        EXPECT_FALSE(controller_.running());
    }

    // Folders that cannot be made are told, and the run goes on.
    writeText(scratch_.file("file"), "x");
    controller_.texts.sourceText = source_;
    controller_.texts.destinationText = scratch_.file("file/out");
    controller_.texts.backupText = scratch_.file("file/backup");
    notices_.messages.clear();
    run(false);
    EXPECT_EQ(notices_.messages, (List{"Error: Error Save Dir", "Error: Error Backup Dir"}));
    notices_.messages.clear();
    run(true);  // the timer's run puts them into its report instead
    EXPECT_TRUE(notices_.messages.empty());
    EXPECT_NE(faxtest::readText(controller_.logPath).find("Destination Folder: " + scratch_.file("file/out") +
                                                          "\r\nError Save Dir\r\nError Backup Dir\r\n"),
              std::string::npos);
}

TEST_F(WindowRunTest, NoRunStartsBesideAWorkerThatAStopGaveUpOn)
{
    HeldConverter held;
    RecordedEvents events;
    ConvertController controller(events, held.converter());
    nameFourFiles(controller);

    ASSERT_EQ(controller.startRun(false, notices_), StartResult::Started);
    EXPECT_TRUE(controller.running());
    held.waitUntilHolding();
    EXPECT_EQ(controller.startRun(false, notices_), StartResult::Refused);
    EXPECT_EQ(notices_.messages, List{"Warning: Please wait while running conversion stops"});

    // The stop gives up waiting: the page is idle, but the worker still
    // holds its file, so neither a manual nor a timer start may run.
    EXPECT_FALSE(controller.stopRun(std::chrono::milliseconds(50)));
    EXPECT_FALSE(controller.running());
    EXPECT_EQ(controller.startRun(false, notices_), StartResult::Refused);
    EXPECT_EQ(controller.startRun(true, notices_), StartResult::Dropped);
    EXPECT_FALSE(controller.workerIdle());

    // Let go, it stops after that file (the stop is remembered) and ends.
    held.release();
    EXPECT_EQ(events.waitForEnd(1), 1);
    controller.runFinished(1);  // its last event reaches the window
    EXPECT_EQ(events.rows().size(), 1u);
    EXPECT_TRUE(controller.stopRun());  // nothing is running: nothing to wait for
    events.clear();
    ASSERT_EQ(controller.startRun(false, notices_), StartResult::Started);
    EXPECT_TRUE(controller.isCurrentRun(2));
    EXPECT_FALSE(controller.isCurrentRun(1));  // late events of the old run are stale
    EXPECT_EQ(events.waitForEnd(2), 3);
    EXPECT_EQ(events.status(), "Done. 3 FAX files converted, 1 skipped");  // x.JPG is passed over
    controller.runFinished(2);
    EXPECT_FALSE(controller.running());
}

TEST_F(WindowRunTest, AStopThatIsHeardEndsTheRunBeforeTheNextFile)
{
    HeldConverter held;
    RecordedEvents events;
    ConvertController controller(events, held.converter());
    nameFourFiles(controller);
    ASSERT_EQ(controller.startRun(false, notices_), StartResult::Started);
    held.waitUntilHolding();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held.release();
    });
    EXPECT_TRUE(controller.stopRun());
    releaser.join();
    EXPECT_EQ(events.waitForEnd(1), 1);
    EXPECT_EQ(events.rows().size(), 1u);
    EXPECT_EQ(events.status(), "Cancelled after 1 of 4 files: 1 FAX files converted");
    EXPECT_TRUE(controller.workerIdle());
}

}  // namespace
}  // namespace pagelift

namespace pagelift {
namespace {

// A language installed while the window is open is found by its next run:
// nothing of a failed load is remembered, and the engines loaded once serve
// the runs after.
TEST_F(WindowRunTest, ALanguageInstalledAfterARunIsFoundByTheNextRun)
{
    if (!testing::ocrUnavailableReason().empty()) GTEST_SKIP() << testing::ocrUnavailableReason();
    fs::path installed;
    for (const fs::directory_entry& version : fs::directory_iterator("/usr/share/tesseract-ocr")) {
        if (fs::exists(version.path() / "tessdata" / "eng.traineddata")) installed = version.path() / "tessdata";
    }
    if (installed.empty()) GTEST_SKIP() << "no Tesseract data under /usr/share/tesseract-ocr";
    const std::string tessdata = scratch_.file("tessdata");
    fs::create_directories(tessdata);
    const testing::ScopedEnvironment module("PAGELIFT_OCR_MODULE", testing::builtOcrModule());
    const testing::ScopedEnvironment data("TESSDATA_PREFIX", tessdata + "/");
    controller_.choices.ocr = 1;

    struct Step {
        const char* install;  // the language installed before the start; "" for none
        std::string message;  // why the start is refused; "" when it starts
    };
    const Step steps[] = {
        {"", "Error: The OCR data for page orientation are not installed: install the package tesseract-ocr-osd"},
        {"osd", "Error: The OCR data for language \"eng\" are not installed: install the package tesseract-ocr-eng"},
        {"eng", ""},
        {"", ""},  // the engines of the run before serve again
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.install);
        if (*step.install != 0) {
            const std::string name = std::string(step.install) + ".traineddata";
            fs::copy_file(installed / name, fs::path(tessdata) / name);
        }
        notices_.messages.clear();
        if (!step.message.empty()) {
            EXPECT_EQ(controller_.startRun(false, notices_), StartResult::Refused);
            EXPECT_EQ(notices_.messages, List{step.message});
            continue;
        }
        fs::remove_all(scratch_.file("out"));
        const std::vector<RecordedEvents::Row> rows = run(false);
        EXPECT_TRUE(notices_.messages.empty());
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[0].result, "Converted!");
        // The page is too small to hold words; that it was read says the text file beside it.
        EXPECT_TRUE(fs::exists(scratch_.file("out/a.txt")));
        EXPECT_EQ(faxtest::readText(controller_.logPath).find("recognition failed"), std::string::npos);
    }
}

}  // namespace
}  // namespace pagelift

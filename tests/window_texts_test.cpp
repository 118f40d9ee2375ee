// What the window says and where it looks, without any window: the status
// line's counts, the list's texts, when the next automatic run is due, the
// home folder in folder fields, the folder a dialog starts in, and how the
// controls follow a growing window.

#include "support/test_files.h"
#include "ui/folder_fields.h"
#include "ui/run_texts.h"
#include "ui/window_growth.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::writeText;

// Sets an environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name)
    {
        if (const char* saved = std::getenv(name)) saved_ = saved;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(RunTexts, TheStatusCountsWhatFailedAndWasSkippedAndSaysWhenARunWasCancelled)
{
    struct Case {
        RunTally tally;
        const char* status;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, false}, "Done. 0 FAX files converted"},
        {{5, 5, 0, 0, false}, "Done. 5 FAX files converted"},
        {{6, 3, 2, 0, false}, "Done. 3 FAX files converted, 2 failed"},
        {{6, 3, 0, 3, false}, "Done. 3 FAX files converted, 3 skipped"},
        {{9, 3, 2, 4, false}, "Done. 3 FAX files converted, 2 failed, 4 skipped"},
        {{300, 56, 0, 0, true}, "Cancelled after 56 of 300 files: 56 FAX files converted"},
        {{300, 50, 4, 2, true}, "Cancelled after 56 of 300 files: 50 FAX files converted, 4 failed, 2 skipped"},
        {{300, 0, 0, 0, true}, "Cancelled after 0 of 300 files: 0 FAX files converted"},
    };
    for (const Case& c : cases) EXPECT_EQ(runStatusText(c.tally), c.status);
}

TEST(RunTexts, ListTextsStayOnOneLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Already JPEG!", "Already JPEG!"},
        {"Already JPEG!\n", "Already JPEG!?"},
        {"in/two\nlines.tif", "in/two?lines.tif"},
        {"a\r\nb\tc\x7f", "a??b?c?"},
        {"Gr\xc3\xbc\xc3\x9f" "e.tif", "Gr\xc3\xbc\xc3\x9f" "e.tif"},  // UTF-8 letters are no control characters
        {"", ""},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(singleLine(text), shown) << text;
}

TEST(RunTexts, TheDestinationColumnNamesWhatWasWritten)
{
    struct Case {
        std::string target;
        std::vector<std::string> written;
        std::string shown;
    };
    std::vector<std::string> twelve;
    for (int page = 1; page <= 12; ++page) {
        char name[32];
        std::snprintf(name, sizeof name, "/out/fax%03d.jpg", page);
        twelve.push_back(name);
    }
    const Case cases[] = {
        {"out/letter-g3.jpg", {"out/letter-g3001.jpg", "out/letter-g3002.jpg"}, "out/letter-g3001.jpg ... 002.jpg (2 pages)"},
        {"/out/fax.jpg", twelve, "/out/fax001.jpg ... 012.jpg (12 pages)"},
        {"/out/fax.jpg", {"/out/fax001.jpg", "/out/fax1000.jpg"}, "/out/fax001.jpg ... 1000.jpg (2 pages)"},
        {"/out/a.tif.jpg", {"/out/a.tif001.jpg", "/out/a.tif003.jpg"}, "/out/a.tif001.jpg ... 003.jpg (2 pages)"},
        {"/out.d/fax", {"/out.d/fax001.jpg", "/out.d/fax002.jpg"}, "/out.d/fax001.jpg ... 002.jpg (2 pages)"},
        {"/out/a.jpg", {"/out/a.jpg"}, "/out/a.jpg"},
        {"/out/a.jpg", {}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(writtenFilesText(c.target, c.written), c.shown) << c.target;
}

TEST(RunTexts, ALongPathKeepsItsFileNameWhole)
{
    // One character is one unit wide; '*' stands for the ellipsis.
    const TextWidth widthOf = [](const std::string& text) { return static_cast<int>(text.size()); };
    const MiddleElision elideMiddle = [](const std::string& text, int room) -> std::string {
        if (static_cast<int>(text.size()) <= room) return text;
        if (room < 1) return "";
        const size_t keep = static_cast<size_t>(room - 1);
        return text.substr(0, (keep + 1) / 2) + "*" + text.substr(text.size() - keep / 2);
    };
    const std::string deep = "2025/03-March/week-11/received/letter.tif";
    const std::pair<int, std::string> cases[] = {
        {100, deep},
        {41, deep},
        {30, "2025/03-M*/received/letter.tif"},
        {12, "*/letter.tif"},
        {11, "2025/*r.tif"},  // not even the name fits: the whole path goes in its middle
        {0, ""},
    };
    for (const auto& [room, shown] : cases) EXPECT_EQ(shortenedPath(deep, room, widthOf, elideMiddle), shown) << room;
    EXPECT_EQ(shortenedPath("letter-g3.tif", 8, widthOf, elideMiddle), "lett*tif");
    EXPECT_EQ(shortenedPath("/letter-g3.tif", 9, widthOf, elideMiddle), "/let*.tif");
}

TEST(RunTexts, TheNextAutomaticRunIsGivenInLocalTime)
{
    const auto at = [](int day, int hour, int minute) {
        std::tm local{};
        local.tm_year = 2025 - 1900;
        local.tm_mon = 2;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&local));
    };
    EXPECT_EQ(nextRunText(at(14, 14, 5), at(14, 13, 5)), "next run at 14:05");
    EXPECT_EQ(nextRunText(at(14, 0, 1), at(13, 23, 59)), "next run on 2025-03-14 at 00:01");
    EXPECT_EQ(nextRunText(at(17, 9, 30), at(14, 9, 30)), "next run on 2025-03-17 at 09:30");

    EXPECT_EQ(statusWithNextRun("Done. 3 FAX files converted", "next run at 14:05"),
              "Done. 3 FAX files converted - next run at 14:05");
    EXPECT_EQ(trayTipText("", ""), "Zoziv Pagelift\nConvert ALL fax documents to jpg");
    EXPECT_EQ(trayTipText("/srv/fax\nin", "next run at 14:05"), "Zoziv Pagelift\nWatching /srv/fax?in - next run at 14:05");
}

TEST(FolderFields, ALeadingTildeIsTheHomeFolder)
{
    const ScopedVariable home("HOME", "/home/clerk");
    const std::pair<std::string, std::string> cases[] = {
        {"~", "/home/clerk"},
        {"~/faxin", "/home/clerk/faxin"},
        {"~/My Faxes/in", "/home/clerk/My Faxes/in"},
        {"~root/faxin", "/root/faxin"},
        {"~no-such-account-here/faxin", "~no-such-account-here/faxin"},
        {"faxin/~", "faxin/~"},
        {"/srv/~/faxin", "/srv/~/faxin"},
        {"", ""},
    };
    for (const auto& [text, path] : cases) EXPECT_EQ(expandHomeFolder(text), path) << text;

    const ScopedVariable rootHome("HOME", "/");
    EXPECT_EQ(expandHomeFolder("~/faxin"), "/faxin");
    EXPECT_EQ(expandHomeFolder("~"), "/");
}

TEST(FolderFields, ADialogStartsInTheNamedFolderOrItsNearestExistingParent)
{
    ScratchFolder scratch;
    fs::create_directories(scratch / "a/b");
    writeText(scratch.file("a/fax.tif"), "x");
    const ScopedVariable home("HOME", scratch.path().string());
    const std::pair<std::string, std::string> cases[] = {
        {scratch.file("a/b"), scratch.file("a/b")},
        {scratch.file("a/b/c/d/e"), scratch.file("a/b")},
        {scratch.file("a/fax.tif"), scratch.file("a")},
        {scratch.file("a/b/"), scratch.file("a/b/")},
        {"~/a/new", scratch.file("a")},
        {"/no-such-folder-here/x/y", "/"},
        {"no-such-relative-folder/x", ""},
        {"", ""},
    };
    for (const auto& [text, folder] : cases) EXPECT_EQ(nearestExistingFolder(text), folder) << text;
}

TEST(WindowGrowth, ControlsFollowTheEdgesTheyAreTiedTo)
{
    const ControlPlace start{10, 20, 100, 30};
    struct Case {
        Follow follow;
        int grownX;
        int grownY;
        ControlPlace place;
    };
    const Case cases[] = {
        {Follow::Nothing, 200, 100, {10, 20, 100, 30}},
        {Follow::Right, 200, 100, {210, 20, 100, 30}},
        {Follow::Width, 200, 100, {10, 20, 300, 30}},
        {Follow::WidthBottom, 200, 100, {10, 120, 300, 30}},
        {Follow::Size, 200, 100, {10, 20, 300, 130}},
        {Follow::Size, 0, 0, {10, 20, 100, 30}},
        {Follow::Size, -50, -20, {10, 20, 100, 30}},  // never below the starting layout
        {Follow::Right, -50, 0, {10, 20, 100, 30}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(grownPlace(start, c.follow, c.grownX, c.grownY), c.place)
            << static_cast<int>(c.follow) << " " << c.grownX << "," << c.grownY;
    }
}

TEST(WindowGrowth, ColumnsKeepTheirSharesOfTheListsWidth)
{
    ColumnShares shares;
    EXPECT_TRUE(shares.widthsFor(400).empty());
    shares.take({100, 140}, 363);
    EXPECT_EQ(shares.widthsFor(363), (std::vector<int>{100, 140}));
    EXPECT_EQ(shares.widthsFor(726), (std::vector<int>{200, 280}));
    EXPECT_EQ(shares.widthsFor(1000), (std::vector<int>{275, 386}));
    // Back at the start, the start's widths again: no drift from rounding.
    EXPECT_EQ(shares.widthsFor(363), (std::vector<int>{100, 140}));
    shares.take({300, 0}, 600);  // a column dragged shut keeps a pixel to grab
    EXPECT_EQ(shares.widthsFor(1200), (std::vector<int>{600, 1}));
}

}  // namespace
}  // namespace pagelift

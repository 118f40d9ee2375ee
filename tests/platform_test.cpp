// The services the conversion relies on from the system: moving sources
// without ever replacing a file, file times, and where the log goes.

#include "app/startup.h"
#include "platform/files.h"
#include "support/fax_fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

// A folder on another file system than the scratch folder, when there is one.
std::string otherFileSystemFolder(const ScratchFolder& scratch)
{
    struct stat here {};
    struct stat there {};
    if (stat(scratch.path().c_str(), &here) != 0) return {};
    for (const char* candidate : {"/dev/shm", "/run", "/var/tmp"}) {
        if (stat(candidate, &there) == 0 && there.st_dev != here.st_dev && access(candidate, W_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

TEST(MoveFileNoReplace, MovesWithinAndAcrossFileSystemsButNeverOverAFile)
{
    ScratchFolder scratch;
    const std::string other = otherFileSystemFolder(scratch);
    struct Case {
        std::string from;
        std::string to;
    };
    std::vector<Case> cases = {{scratch.file("a.tif"), scratch.file("moved.tif")}};
    if (!other.empty()) {
        const std::string foreign = other + "/pagelift-move-test-" + std::to_string(getpid());
        cases.push_back({foreign, scratch.file("from-other.tif")});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        faxtest::writeText(c.from, "fax content");
        const struct timespec times[2] = {{1000000000, 0}, {1100000000, 500}};
        utimensat(AT_FDCWD, c.from.c_str(), times, 0);

        faxtest::writeText(c.to, "already there");
        EXPECT_FALSE(moveFileNoReplace(c.from, c.to));
        EXPECT_EQ(faxtest::readText(c.to), "already there");
        EXPECT_EQ(faxtest::readText(c.from), "fax content");

        fs::remove(c.to);
        EXPECT_TRUE(moveFileNoReplace(c.from, c.to));
        EXPECT_FALSE(fs::exists(c.from));
        EXPECT_EQ(faxtest::readText(c.to), "fax content");
        struct stat info {};
        ASSERT_EQ(stat(c.to.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1100000000);
    }
    if (other.empty()) GTEST_SKIP() << "no second file system here: only the move within one was tested";

    // Into a folder that does not exist: the source stays.
    faxtest::writeText(scratch.file("b.tif"), "b");
    EXPECT_FALSE(moveFileNoReplace(scratch.file("b.tif"), other + "/no-such-folder-here/b.tif"));
    EXPECT_TRUE(fs::exists(scratch.file("b.tif")));
}

TEST(CopyFileTimes, ResultsTellWhichSideFailed)
{
    ScratchFolder scratch;
    faxtest::writeText(scratch.file("from"), "x");
    faxtest::writeText(scratch.file("to"), "y");
    const struct timespec times[2] = {{1200000000, 7}, {1300000000, 11}};
    utimensat(AT_FDCWD, scratch.file("from").c_str(), times, 0);
    EXPECT_EQ(copyFileTimes(scratch.file("from"), scratch.file("to")), 0);
    struct stat info {};
    ASSERT_EQ(stat(scratch.file("to").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1300000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 11);
    EXPECT_EQ(copyFileTimes(scratch.file("absent"), scratch.file("to")), -1);
    EXPECT_EQ(copyFileTimes(scratch.file("from"), scratch.file("absent")), -2);
}

TEST(DefaultResultsLog, BesideAPortableProgramOrInTheUsersStateFolder)
{
    ScratchFolder scratch;
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string saved = savedState ? savedState : "";
    setenv("XDG_STATE_HOME", scratch.file("state").c_str(), 1);
    // A writable program folder alone is no reason to write into it.
    EXPECT_EQ(defaultResultsLog(scratch.path().string()), scratch.file("state/pagelift/log/plflog.txt"));
    ASSERT_TRUE(createFolder(scratch.file("log")));
    EXPECT_EQ(defaultResultsLog(scratch.path().string()), scratch.file("log/plflog.txt"));
    EXPECT_EQ(defaultResultsLog(scratch.file("no-such-program-folder")), scratch.file("state/pagelift/log/plflog.txt"));
    unsetenv("XDG_STATE_HOME");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(defaultResultsLog(scratch.file("no-such-program-folder")), home + "/.local/state/pagelift/log/plflog.txt");
    }
    if (savedState) setenv("XDG_STATE_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace pagelift

// The services the conversion relies on from the system: moving sources
// without ever replacing a file, file times, where the log goes, and telling
// what dead copies of the program left from what live ones are writing.

#include "app/startup.h"
#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/leftovers.h"
#include "platform/work_folder.h"
#include "support/fax_fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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
        // The copy across file systems took its name only once complete.
        for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(c.to).parent_path())) {
            EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
        }
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

// A process number that no process has: a child that has ended and been
// reaped (numbers are not reused so soon).
long endedProcess()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(DeadCopiesLeftovers, OnlyWhatNoRunningCopyOwnsIsSwept)
{
    ScratchFolder scratch;
    const long dead = endedProcess();
    const pid_t running = fork();  // lives until the end of the test
    if (running == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(running, 0);
    const long live = running;
    enum class Lock { NoFile, Free, Held };
    struct Case {
        std::string name;  // under the scratch folder
        bool folder;       // a working folder (with its lock file), else a partial file
        Lock lock;
        bool swept;
    };
    const std::string deadText = std::to_string(dead);
    const std::string liveText = std::to_string(live);
    const std::vector<Case> cases = {
        {"pagelift-" + deadText + "-aaaaaa", true, Lock::NoFile, true},
        {"pagelift-" + deadText + "-bbbbbb", true, Lock::Free, true},
        {"pagelift-" + deadText + "-cccccc", true, Lock::Held, false},
        {"pagelift-" + liveText + "-dddddd", true, Lock::NoFile, false},
        // Its number was taken by another process, but its lock is free.
        {"pagelift-" + liveText + "-eeeeee", true, Lock::Free, true},
        {"pagelift-" + deadText + "-short", true, Lock::NoFile, false},
        {"pagelift-x" + deadText + "-ffffff", true, Lock::NoFile, false},
        {"a.jpg.part-" + deadText, false, Lock::Free, true},
        {"b.jpg.part-" + deadText, false, Lock::Held, false},
        {"c.jpg.part-" + liveText, false, Lock::Free, false},
        {"d.jpg.part-" + deadText + "x", false, Lock::Free, false},
        {"e.jpg", false, Lock::Free, false},
        {"sub/f.jpg.part-" + deadText, false, Lock::Free, true},  // only when the walk is recursive
    };
    std::vector<int> heldLocks;
    for (const Case& c : cases) {
        const fs::path path = scratch / c.name;
        fs::create_directories(c.folder ? path : path.parent_path());
        const fs::path lockFile = c.folder ? path / kWorkFolderLockName : path;
        if (c.folder) faxtest::writeText((path / "tmpbmp.tmp").string(), "page");
        if (c.lock == Lock::NoFile) continue;
        faxtest::writeText(lockFile.string(), "");
        if (c.lock == Lock::Held) {
            const int fd = open(lockFile.c_str(), O_RDONLY);
            ASSERT_EQ(flock(fd, LOCK_EX), 0);
            heldLocks.push_back(fd);
        }
    }
    // A link named like a partial file is never followed nor removed.
    faxtest::writeText(scratch.file("target.jpg"), "kept");
    fs::create_symlink(scratch / "target.jpg", scratch / ("g.jpg.part-" + deadText));

    EXPECT_EQ(sweepDeadWorkFolders(scratch.path().string()), 3);
    EXPECT_EQ(sweepDeadPartialFiles(scratch.path().string(), false), 1);
    EXPECT_TRUE(fs::exists(scratch / ("sub/f.jpg.part-" + deadText)));
    EXPECT_EQ(sweepDeadPartialFiles(scratch.path().string(), true), 1);
    for (const Case& c : cases) EXPECT_EQ(fs::exists(scratch / c.name), !c.swept) << c.name;
    EXPECT_TRUE(fs::is_symlink(scratch / ("g.jpg.part-" + deadText)));
    EXPECT_EQ(faxtest::readText(scratch.file("target.jpg")), "kept");

    for (const int fd : heldLocks) close(fd);
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
}

TEST(PrivateWorkFolder, AStopBySignalRemovesTheFilesOfEveryJobAndOfThePreview)
{
    ScratchFolder scratch;
    const std::string temporary = scratch.file("tmp");
    ASSERT_TRUE(createFolder(temporary));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TMPDIR", temporary.c_str(), 1);
        const std::string& folder = privateWorkFolder();
        if (!makeWorkFolderFor(folder + "plftmp.tmp")) _exit(1);
        for (const std::string& name : {std::string("plftmp.tmp"), jobFilePrefix(2) + "bsegtmp.tmp",
                                        previewFilePrefix() + "plftmp.tmp", previewFilePrefix() + "tmptif"}) {
            faxtest::writeText(folder + name, "working");
        }
        raise(SIGTERM);
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temporary)) left.push_back(entry.path());
    EXPECT_TRUE(left.empty()) << left.front();
}

// A new file gets 0666 less the process's umask, an existing one keeps its
// mode, and the umask is only read: another thread's files meanwhile get it.
TEST(ReplaceFileContents, NewFilesTakeTheUmaskThatIsLeftAsItWas)
{
    ScratchFolder scratch;
    const mode_t saved = ::umask(022);
    for (const mode_t mask : {mode_t(022), mode_t(077), mode_t(027)}) {
        SCOPED_TRACE(mask);
        ::umask(mask);
        const std::string fresh = scratch.file("fresh" + std::to_string(mask));
        ASSERT_TRUE(replaceFileContents(fresh, "new"));
        EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0666 & ~mask));
        const std::string kept = scratch.file("kept" + std::to_string(mask));
        faxtest::writeText(kept, "old");
        fs::permissions(kept, fs::perms(0604));
        ASSERT_TRUE(replaceFileContents(kept, "new"));
        EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0604));
        EXPECT_EQ(faxtest::readText(kept), "new");
        EXPECT_EQ(::umask(mask), mask);
    }
    ::umask(saved);
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

// A child fed on standard input, given variables, its standard error kept:
// values reach it as they are (no shell sees them), a child that stops
// reading or writes without end neither blocks nor harms this process, and
// the time limit ends what outlives it.
TEST(ChildProcesses, InputEnvironmentErrorsExitCodesAndTheTimeLimit)
{
    using namespace std::chrono_literals;
    const std::string big(4 * 1024 * 1024, 'x');
    struct Case {
        const char* name;
        const char* script;
        ChildIo io;
        std::chrono::milliseconds limit;
        ChildEnd end;
        int exitCode;
        std::string errors;
    };
    const Case cases[] = {
        {"input to errors", "cat >&2", {"To: a@example.com\n\nbody\n", {}, true}, 5000ms, ChildEnd::Exited, 0,
         "To: a@example.com\n\nbody\n"},
        {"a variable taken as it is", "printf %s \"$FAX_SENDER\" >&2; exit 75",
         {"", {"FAX_SENDER=$(id) `id`\r\nBcc: x", "HOME=/nonexistent"}, true}, 5000ms, ChildEnd::Exited, 75,
         "$(id) `id`\r\nBcc: x"},
        {"a variable over this process's", "printf %s \"$PATH\" >&2", {"", {"PATH=/only/this"}, true}, 5000ms,
         ChildEnd::Exited, 0, "/only/this"},
        {"stops reading", "head -c 3 >&2; exit 0", {big, {}, true}, 5000ms, ChildEnd::Exited, 0, "xxx"},
        {"writes without end", "cat /dev/zero | head -c 10000000 >&2; exit 2", {"", {}, true}, 10000ms,
         ChildEnd::Exited, 2, std::string(kChildErrorsKept, '\0')},
        {"outlives its time", "echo started >&2; sleep 30", {big, {}, true}, 300ms, ChildEnd::TimedOut, -1,
         "started\n"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto start = std::chrono::steady_clock::now();
        const ChildOutcome outcome = runChildProcess("/bin/sh", {"-c", test.script}, test.limit, test.io);
        EXPECT_EQ(outcome.end, test.end);
        EXPECT_EQ(outcome.exitCode, test.exitCode);
        EXPECT_EQ(outcome.errors, test.errors);
        EXPECT_LT(std::chrono::steady_clock::now() - start, test.limit + 5s);
    }
    EXPECT_EQ(runChildProcess("/nonexistent/sendmail", {}, 1000ms, ChildIo{"x", {}, true}).end, ChildEnd::NotStarted);
}

}  // namespace
}  // namespace pagelift

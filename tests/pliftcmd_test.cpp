// The program as users run it: exit codes, what it prints, the log it
// leaves, its private working folder, paths as a shell passes them, and a
// server's bad days: a destination that takes no more, a run that is killed.

#include "app/command_line.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::runPliftcmd;
using faxtest::runShell;
using faxtest::ScratchFolder;

const std::string kUsage =
    "Usage: pliftcmd [/q /l] [/b=0 /v=0] /f=source-file /sf=dest-jpeg-file\n"
    "or\n"
    "Usage: pliftcmd [/q /l] [/b=0 /v=0] /d=source-directory /sd=dest-directory [/filter=]\n";

class PliftcmdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!faxtest::toolsAvailable({"/usr/bin/convert", "/usr/bin/pbmtext"})) {
            GTEST_SKIP() << "needs ImageMagick and netpbm (scripts/install-deps.sh --test)";
        }
        fs::create_directories(scratch_.path() / "My Faxes");
        fs::create_directories(scratch_.path() / "tmp");
        fax_ = (scratch_.path() / "My Faxes" / "two pages.tif").string();
        const std::string page = scratch_.file("page.pbm");
        ASSERT_TRUE(faxtest::renderTextPage(page, "HELLO", 1, 64, 16));
        ASSERT_EQ(runShell("/usr/bin/convert '" + page + "' '" + page + "' -compress None '" + fax_ + "'",
                           scratch_.path().string())
                      .exitCode,
                  0);
    }

    // Runs pliftcmd in the scratch folder with its own temporary folder.
    faxtest::CommandResult run(const std::string& arguments)
    {
        return runShell("cd '" + scratch_.path().string() + "' && TMPDIR='" + scratch_.file("tmp") + "' '" +
                            PLIFTCMD_PATH + "' " + arguments,
                        scratch_.path().string());
    }

    bool workFoldersLeft() const { return !fs::is_empty(scratch_.path() / "tmp"); }

    ScratchFolder scratch_;
    std::string fax_;
};

TEST_F(PliftcmdTest, HelpVersionAndCommandLinesThatSelectNothing)
{
    struct Case {
        const char* arguments;
        int exitCode;
        std::string out;
        std::string err;
    };
    const std::string destinationError =
        "ERROR Save Folder\nPlease set save folder with '/sd=' or '/sf=', and be sure it is not the same as source "
        "folder\n";
    const std::vector<Case> cases = {
        {"--help", 0, kUsage + optionsText(), ""},
        {"/d=in /sd=out /j=many", 2, kUsage, "/j= takes the number of files to convert at a time, 0 to 256 (0: one per core)\n"},
        {"", 2, kUsage, ""},
        {"/q /f=x.tif", 2, kUsage, ""},
        {"/sd=", 2, kUsage, destinationError},
        {"/f=x.tif /SF=", 2, kUsage, destinationError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const faxtest::CommandResult result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_TRUE(std::regex_match(run("--version").out, std::regex("pliftcmd \\(Zoziv Pagelift\\) \\d+\\.\\d+\\.\\d+\n")));
    EXPECT_FALSE(workFoldersLeft());
}

TEST_F(PliftcmdTest, ASingleFileRunPrintsLogsAndCleansUp)
{
    const std::string out = scratch_.file("JPEG Out/fax.jpg");
    const faxtest::CommandResult result =
        runPliftcmd({"/f=" + fax_, "/sf=" + out, "/log=" + scratch_.file("run.log")}, scratch_.path().string());
    EXPECT_EQ(result.exitCode, 0);
    const std::string report = "Zoziv Pagelift command line mode : convert file\n" + fax_ + " --> " + out +
                               " : Multiple pages as following :\n        page 001 --> " +
                               scratch_.file("JPEG Out/fax001.jpg") + " : Success !\n        page 002 --> " +
                               scratch_.file("JPEG Out/fax002.jpg") + " : Success !\n";
    EXPECT_EQ(result.out, report);
    const std::string log = faxtest::readText(scratch_.file("run.log"));
    EXPECT_TRUE(std::regex_search(log, std::regex("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\nZoziv Pagelift command "
                                                  "line mode : convert file\r\n")));
    EXPECT_NE(log.find(" : Success !\r\n" + std::string(50, '-') + "\n"), std::string::npos);
}

TEST_F(PliftcmdTest, QuietRunsAndFailedConversionsStillEndWithZero)
{
    const faxtest::CommandResult quiet = run("/q /f=nothing.tif /sf=out.jpg /log=quiet.log");
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_NE(faxtest::readText(scratch_.file("quiet.log")).find("nothing.tif --> out.jpg : Failed : nothing.tif - Not Fax\r\n"),
              std::string::npos);
    const faxtest::CommandResult noLog = run("/f=nothing.tif /sf=out.jpg /log=");
    EXPECT_EQ(noLog.exitCode, 0);
    EXPECT_NE(noLog.out.find(" - Not Fax\n"), std::string::npos);
    EXPECT_FALSE(workFoldersLeft());
}

TEST_F(PliftcmdTest, RelativePathsKeepWorkingOnceTheOutputFolderExists)
{
    fs::copy_file(fax_, scratch_.file("fax.tif"));
    for (int run_number = 1; run_number <= 2; ++run_number) {
        SCOPED_TRACE(run_number);
        const faxtest::CommandResult result = run("/f=fax.tif /sf=out/fax.jpg /log=");
        EXPECT_NE(result.out.find("        page 002 --> out/fax002.jpg : Success !\n"), std::string::npos) << result.out;
    }
    fs::create_directories(scratch_.file("tree/sub"));
    fs::copy_file(fax_, scratch_.file("tree/sub/b.tif"));
    fs::create_directories(scratch_.file("done"));
    const faxtest::CommandResult folder = run("/d=tree /sd=jpegs /i /kh /bd=done /log=");
    EXPECT_TRUE(fs::exists(scratch_.file("jpegs/sub/b001.jpg")));
    EXPECT_FALSE(fs::exists(scratch_.file("tree/sub/b.tif")));
    EXPECT_TRUE(fs::exists(scratch_.file("done/b.tif")));
    EXPECT_NE(folder.out.find("Total converted FAX files: 1\n"), std::string::npos) << folder.out;
}

// A run makes its working folder only when a fax needs working files (an
// AWD document here, whose converter is held mid-work); a TIFF fax needs
// none. The folder made goes away when the program is stopped.
TEST_F(PliftcmdTest, TheWorkingFolderIsMadeOnlyWhenNeededAndGoesAwayWhenStopped)
{
    // The TIFF fax is a named pipe: once this side has it open, the program
    // has started and opened the fax, and is held there.
    const std::string pipe = scratch_.file("waiting.tif");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string converter = scratch_.file("held-converter");
    const std::string converterPid = scratch_.file("converter.pid");
    testing::writeText(converter, "#!/bin/sh\necho $$ > '" + converterPid + "'\nexec sleep 60 </dev/null >/dev/null 2>&1\n");
    fs::permissions(converter, fs::perms::owner_all);
    testing::writeText(scratch_.file("held.awd"), "AWD document");
    struct Case {
        std::string fax;
        bool folderMade;
    };
    for (const Case& test : {Case{pipe, false}, Case{scratch_.file("held.awd"), true}}) {
        SCOPED_TRACE(test.fax);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("TMPDIR", scratch_.file("tmp").c_str(), 1);
            setenv("PAGELIFT_AWD_CONVERTER", converter.c_str(), 1);
            execl(PLIFTCMD_PATH, PLIFTCMD_PATH, ("/f=" + test.fax).c_str(), ("/sf=" + scratch_.file("w.jpg")).c_str(),
                  "/log=", "/q", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (test.folderMade) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!workFoldersLeft() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ASSERT_TRUE(workFoldersLeft());
        }
        const int writer = test.folderMade ? -1 : open(pipe.c_str(), O_WRONLY);
        if (!test.folderMade) {
            EXPECT_FALSE(workFoldersLeft());
        }
        kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        if (writer >= 0) close(writer);
        // The TIFF run may have read the pipe's end and finished by then.
        if (test.folderMade) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        }
        EXPECT_FALSE(workFoldersLeft());
    }
    if (fs::exists(converterPid)) kill(std::stoi(faxtest::readText(converterPid)), SIGKILL);
}

// Names under `folder` (with subfolders) that a partial file has.
std::vector<std::string> partialFilesIn(const fs::path& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end; walk.increment(error)) {
        if (walk->path().filename().string().find(".part-") != std::string::npos) found.push_back(walk->path());
    }
    return found;
}

// The report lines of one source: from its heading up to the next heading.
std::string reportOf(const std::string& report, const std::string& source)
{
    const size_t start = report.find(source + " --> ");
    if (start == std::string::npos) return {};
    const size_t next = report.find(" --> ", report.find('\n', start));
    const size_t end = next == std::string::npos ? report.size() : report.rfind('\n', next);
    return report.substr(start, end - start);
}

// A tmpfs mounted over a folder for the life of the object; only root may
// mount one, so mounted() tells whether the test can go on.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& folder, const std::string& options) : folder_(folder)
    {
        mounted_ = geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Made read-only once its folders are in place.
    bool makeReadOnly()
    {
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string folder_;
    bool mounted_ = false;
};

TEST_F(PliftcmdTest, ADestinationThatTakesNoMoreKeepsEveryUnconvertedFaxInItsQueue)
{
    const fs::path samples = fs::path(PAGELIFT_SOURCE_DIR) / "samples";
    struct Case {
        const char* name;
        bool full;  // else read-only
        const char* options;
    };
    for (const Case& c : {Case{"read-only", false, ""}, Case{"full", true, ""}, Case{"full-two-jobs", true, " /j=2"}}) {
        SCOPED_TRACE(c.name);
        const fs::path in = scratch_.path() / c.name / "in";
        const fs::path out = scratch_.path() / c.name / "out";
        const fs::path done = scratch_.path() / c.name / "done";
        for (const fs::path& folder : {in, out, done}) fs::create_directories(folder);
        for (const char* sample : {"letter-g3.tif", "memo-g4.tif", "notice-packbits.tif", "receipt-plain.tif"}) {
            fs::copy_file(samples / sample, in / sample);
        }
        // An A3 page at 600 dpi, 272 KB of JPEG: more than the small file
        // system holds beside the others.
        testing::writeBytes((in / "a3.tif").string(), testing::blankGroup4Tiff({{7016, 9921, 600, 600}}));

        SmallFileSystem small(out.string(), c.full ? "size=300k" : "size=1m");
        if (small.mounted()) {
            if (!c.full) {
                fs::create_directories(out / "sub");
                ASSERT_TRUE(small.makeReadOnly());
            }
        } else if (c.full) {
            GTEST_SKIP() << "a full file system needs a tmpfs, which this process cannot mount (the read-only case ran)";
        } else if (geteuid() == 0) {
            GTEST_SKIP() << "no tmpfs can be mounted here, and file permissions do not stop root from writing";
        } else {
            fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
        }
        const faxtest::CommandResult result =
            run("/d='" + in.string() + "' /sd='" + out.string() + "' /bd='" + done.string() + "' /log=" + c.options);
        std::error_code ignored;
        if (!small.mounted()) fs::permissions(out, fs::perms::owner_all, ignored);
        EXPECT_EQ(result.exitCode, 0);

        int failures = 0;
        for (const fs::path& source : {in / "letter-g3.tif", in / "memo-g4.tif", in / "notice-packbits.tif",
                                       in / "receipt-plain.tif", in / "a3.tif"}) {
            SCOPED_TRACE(source.filename().string());
            const std::string lines = reportOf(result.out, source.string());
            ASSERT_FALSE(lines.empty()) << result.out;
            const bool failed = lines.find("Failed :  Error in converting FAX to JPEG!") != std::string::npos;
            if (failed) ++failures;
            // The line names the cause, and the page it could not write.
            if (failed && small.mounted()) {
                EXPECT_NE(lines.find(c.full ? "! (No space left on device: " + out.string() + "/"
                                            : "! (Read-only file system: " + out.string() + "/"),
                          std::string::npos)
                    << lines;
            }
            // Only a fax whose pages were all written leaves the queue.
            EXPECT_EQ(fs::exists(source), failed) << lines;
            EXPECT_EQ(fs::exists(done / source.filename()), !failed) << lines;
        }
        EXPECT_GE(failures, c.full ? 1 : 5) << result.out;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(partialFilesIn(out), std::vector<std::string>{});
    }
}

TEST_F(PliftcmdTest, AKilledRunLeavesNothingBehindOnceTheNextRunStarts)
{
    const fs::path in = scratch_.path() / "in";
    const fs::path out = scratch_.path() / "out";
    const fs::path done = scratch_.path() / "done";
    for (const fs::path& folder : {in, out, done}) fs::create_directories(folder);
    // Pages of the largest size converted: their JPEG takes long enough to
    // catch the run while it writes one.
    const std::vector<std::string> names = {"f1", "f2", "f3", "f4"};
    for (const std::string& name : names) {
        testing::writeBytes((in / (name + ".tif")).string(), testing::blankGroup4Tiff({{10000, 10000}}));
    }
    // A raw stream first, whose working files make the run's working folder.
    fs::copy_file(fs::path(PAGELIFT_SOURCE_DIR) / "samples" / "call.g3", in / "call.g3");
    testing::writeText(scratch_.file("list.txt"), "call.g3\nf1.tif\nf2.tif\nf3.tif\nf4.tif\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TMPDIR", scratch_.file("tmp").c_str(), 1);
        execl(PLIFTCMD_PATH, PLIFTCMD_PATH, ("/d=" + in.string()).c_str(), ("/sd=" + out.string()).c_str(),
              ("/bd=" + done.string()).c_str(), ("/files=" + scratch_.file("list.txt")).c_str(), "/q", "/log=",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (partialFilesIn(out).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(partialFilesIn(out).size(), 1u) << "the run was not caught writing a page";
    ASSERT_TRUE(workFoldersLeft());

    const faxtest::CommandResult next =
        run("/q /d='" + in.string() + "' /sd='" + out.string() + "' /bd='" + done.string() + "' /log=");
    EXPECT_EQ(next.exitCode, 0);
    EXPECT_FALSE(workFoldersLeft());
    EXPECT_EQ(partialFilesIn(out), std::vector<std::string>{});
    for (const std::string& name : names) {
        EXPECT_TRUE(fs::exists(out / (name + ".jpg"))) << name;
        EXPECT_TRUE(fs::exists(done / (name + ".tif"))) << name;
    }
}

}  // namespace
}  // namespace pagelift

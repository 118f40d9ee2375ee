// pliftcmd /watch as a fax server meets it: faxes arriving in bursts, a fax
// still being received, a fax rewritten, a stop by SIGTERM, a SIGKILL and a
// restart. Every page must equal what a one-shot folder run makes of the
// same file, and no fax may be converted twice to no purpose.

#include "batch/folder_watch.h"
#include "batch/single_file.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "output/output_names.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;
using Tree = std::map<std::string, std::vector<uint8_t>>;

const fs::path kSamples = fs::path(PAGELIFT_SOURCE_DIR) / "samples";

// The pages of a fax, as a conversion counts them.
int pagesOf(const std::string& fax)
{
    FaxDocument document;
    return document.countPages(fax, identifyFormat(fax));
}

// Every file below a folder by its relative path, with its bytes.
Tree treeOf(const fs::path& folder)
{
    Tree tree;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end; walk.increment(error)) {
        if (walk->is_regular_file()) tree[fs::relative(walk->path(), folder).string()] = testing::readBytes(walk->path());
    }
    return tree;
}

// Waits until `done` holds, at most `seconds`; whether it came to hold.
bool waitUntil(const std::function<bool()>& done, int seconds = 60)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

size_t countOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

class FolderWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : {"in", "out", "done", "tmp", "reference"}) fs::create_directories(scratch_ / folder);
    }

    void TearDown() override
    {
        if (watcher_ > 0) stop(SIGKILL);
    }

    // Starts pliftcmd /watch on in/ into out/, with its report going to a
    // file of its own for each start.
    void start(const std::vector<std::string>& options = {})
    {
        ++starts_;
        const std::string report = reportPath();
        watcher_ = fork();
        ASSERT_GE(watcher_, 0);
        if (watcher_ == 0) {
            setenv("TMPDIR", scratch_.file("tmp").c_str(), 1);
            const int out = open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            std::vector<std::string> arguments = {PLIFTCMD_PATH, "/d=" + scratch_.file("in"), "/sd=" + scratch_.file("out"),
                                                  "/log=" + scratch_.file("watch.log"), "/watch", "/settle=1"};
            arguments.insert(arguments.end(), options.begin(), options.end());
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(PLIFTCMD_PATH, argv.data());
            _exit(127);
        }
    }

    // Ends the watcher with `signal`; its exit status (128 + signal when the
    // signal ended it).
    int stop(int signal)
    {
        kill(watcher_, signal);
        int status = 0;
        waitpid(watcher_, &status, 0);
        watcher_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string reportPath() const { return scratch_.file("report-" + std::to_string(starts_) + ".txt"); }
    std::string report() const { return testing::readText(reportPath()); }

    // Waits until this start has reported `count` conversions of `source`.
    bool reported(const std::string& source, size_t count = 1, int seconds = 60)
    {
        return waitUntil([&] { return countOf(report(), scratch_.file("in/" + source) + " --> ") >= count; }, seconds);
    }

    // What a one-shot folder run makes of the files now in in/.
    Tree oneShotOutputs(const std::vector<std::string>& options = {})
    {
        fs::remove_all(scratch_ / "reference");
        fs::create_directories(scratch_ / "reference/in");
        for (const fs::directory_entry& entry : fs::directory_iterator(scratch_ / "in")) {
            // With its time: a PDF dates itself from its source's, and the
            // copy may fall in the next second.
            const fs::path copy = scratch_ / "reference/in" / entry.path().filename();
            fs::copy_file(entry.path(), copy);
            fs::last_write_time(copy, fs::last_write_time(entry.path()));
        }
        std::vector<std::string> arguments = {"/d=" + scratch_.file("reference/in"),
                                              "/sd=" + scratch_.file("reference/out"), "/q", "/log="};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(faxtest::runPliftcmd(arguments, scratch_.path().string()).exitCode, 0);
        return treeOf(scratch_ / "reference/out");
    }

    void copySample(const std::string& sample, const std::string& name)
    {
        // Written beside and moved in, as mail gateways deliver: the watcher
        // sees it whole at once.
        const fs::path partial = scratch_ / ("incoming-" + name);
        fs::copy_file(kSamples / sample, partial, fs::copy_options::overwrite_existing);
        fs::rename(partial, scratch_ / "in" / name);
    }

    size_t partialFiles() const
    {
        size_t count = 0;
        for (const auto& [name, bytes] : treeOf(scratch_.path())) count += name.find(".part-") != std::string::npos;
        return count;
    }

    ScratchFolder scratch_;
    pid_t watcher_ = -1;
    int starts_ = 0;
};

const char* const kSampleFaxes[] = {"letter-g3.tif", "memo-g4.tif", "notice-packbits.tif", "receipt-plain.tif",
                                    "call.g3"};

std::string serialName(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "fax%05d.tif", number);
    return name;
}

TEST_F(FolderWatchTest, ABurstASlowWriterAndARewrittenFaxEachConvertOnceAsAOneShotRunWould)
{
    fs::copy_file(kSamples / "memo-g4.tif", scratch_ / "in/waiting.tif");
    start({"/j=2"});
    ASSERT_TRUE(reported("waiting.tif"));

    // A burst of serially numbered faxes, as a fax server names them.
    constexpr int kBurst = 30;
    for (int number = 1; number <= kBurst; ++number) copySample(kSampleFaxes[number % 4], serialName(number));
    for (int number = 1; number <= kBurst; ++number) ASSERT_TRUE(reported(serialName(number))) << number;

    // A fax received slowly: half of it, a pause longer than the settle
    // time with the file held open, then the rest.
    const std::vector<uint8_t> fax = testing::readBytes((kSamples / "letter-g3.tif").string());
    {
        const int writer = open(scratch_.file("in/slow.tif").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(write(writer, fax.data(), fax.size() / 2), ssize_t(fax.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        EXPECT_EQ(countOf(report(), "slow.tif"), 0u) << "converted while its writer still held it";
        ASSERT_EQ(write(writer, fax.data() + fax.size() / 2, fax.size() - fax.size() / 2),
                  ssize_t(fax.size() - fax.size() / 2));
        close(writer);
    }
    ASSERT_TRUE(reported("slow.tif"));

    // Rewritten with another fax: converted again.
    copySample("receipt-plain.tif", serialName(1));
    ASSERT_TRUE(reported(serialName(1), 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for any second conversion to show
    EXPECT_EQ(stop(SIGTERM), 0);

    const std::string lines = report();
    EXPECT_EQ(countOf(lines, "slow.tif --> "), 1u) << lines;
    EXPECT_EQ(countOf(lines, serialName(2) + " --> "), 1u) << lines;
    EXPECT_EQ(countOf(lines, serialName(1) + " --> "), 2u) << lines;
    EXPECT_EQ(treeOf(scratch_ / "out"), oneShotOutputs());
    // One log record per file converted.
    EXPECT_EQ(countOf(testing::readText(scratch_.file("watch.log")), "Zoziv Pagelift command line mode : watch folder"),
              size_t(kBurst + 3));
}

TEST_F(FolderWatchTest, SigtermFinishesTheFaxInHand)
{
    // A raw stream first: its working files make the working folder while
    // the watch takes SIGTERM as a request, which the folder must leave so.
    copySample("call.g3", "call.g3");
    start();
    ASSERT_TRUE(reported("call.g3"));
    // The largest page converted takes long enough to be caught.
    testing::writeBytes(scratch_.file("in/large.tif"), testing::blankGroup4Tiff({{10000, 10000}}));
    ASSERT_TRUE(waitUntil([&] {
        for (const fs::directory_entry& entry : fs::directory_iterator(scratch_ / "out")) {
            if (entry.path().string().find(".part-") != std::string::npos) return true;
        }
        return false;
    }));
    EXPECT_EQ(stop(SIGTERM), 0);
    EXPECT_NE(report().find("large.tif --> " + scratch_.file("out/large.jpg") + " : Success !"), std::string::npos)
        << report();
    EXPECT_EQ(treeOf(scratch_ / "out"), oneShotOutputs());
}

TEST_F(FolderWatchTest, AfterASigkillARestartCompletesEveryFaxAndConvertsNoneTwice)
{
    struct Case {
        bool backup;
        const char* format;  // the /to= value
    };
    for (const Case& c : {Case{false, "jpg"}, Case{true, "jpg"}, Case{false, "png"}, Case{false, "pdf"}}) {
        const bool backup = c.backup;
        SCOPED_TRACE(std::string(backup ? "with a backup folder, " : "without one, ") + c.format);
        for (const char* folder : {"in", "out", "done"}) {
            fs::remove_all(scratch_ / folder);
            fs::create_directories(scratch_ / folder);
        }
        constexpr int kFaxes = 24;
        for (int number = 1; number <= kFaxes; ++number) {
            fs::copy_file(kSamples / (number % 2 == 0 ? "letter-g3.tif" : "memo-g4.tif"), scratch_ / "in" / serialName(number));
        }
        const std::vector<std::string> format = {std::string("/to=") + c.format};
        const Tree expected = oneShotOutputs(format);
        std::vector<std::string> options = format;
        if (backup) options.push_back("/bd=" + scratch_.file("done"));

        start(options);
        ASSERT_TRUE(waitUntil([&] { return countOf(report(), " --> ") >= 3; }));
        stop(SIGKILL);
        // What is left to do: with a backup folder, the faxes still queued;
        // without, those whose pages are not all there and current.
        std::vector<bool> pending(kFaxes + 1, false);
        size_t pendingCount = 0;
        for (int number = 1; number <= kFaxes; ++number) {
            const std::string source = scratch_.file("in/" + serialName(number));
            const OutputFormat& output = *outputFormatNamed(c.format);
            const std::string destination =
                scratch_.file("out/" + serialName(number).substr(0, 8) + std::string(output.extension));
            pending[number] = backup ? fs::exists(source)
                                     : !outputsAreCurrent(output, source, destination, [&] { return pagesOf(source); });
            pendingCount += pending[number] ? 1 : 0;
        }
        EXPECT_LT(pendingCount, size_t(kFaxes));

        start(options);
        ASSERT_TRUE(waitUntil([&] { return countOf(report(), " --> ") >= pendingCount; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for a needless conversion to show
        EXPECT_EQ(stop(SIGTERM), 0);
        EXPECT_EQ(treeOf(scratch_ / "out"), expected);
        EXPECT_EQ(partialFiles(), 0u);
        for (int number = 1; number <= kFaxes; ++number) {
            EXPECT_EQ(countOf(report(), serialName(number) + " --> "), pending[number] ? 1u : 0u) << number;
        }
        EXPECT_EQ(fs::is_empty(scratch_ / "in"), backup);
        if (backup) {
            EXPECT_EQ(treeOf(scratch_ / "done").size(), size_t(kFaxes));
        }
    }
}

TEST(OutputsAreCurrent, EveryPageWrittenSinceTheFaxLastChanged)
{
    ScratchFolder scratch;
    const std::string fax = scratch.file("letter.tif");
    fs::copy_file(kSamples / "letter-g3.tif", fax);
    const std::string destination = scratch.file("out/letter.jpg");
    fs::create_directories(scratch / "out");
    struct Case {
        const char* name;
        std::vector<int> pagesWritten;  // 0 stands for the destination itself
        bool touchFaxAfter;
        bool current;
    };
    const std::vector<Case> cases = {
        {"nothing written", {}, false, false},
        {"every page", {1, 2}, false, true},
        {"only the first page", {1}, false, false},
        {"every page, then the fax rewritten", {1, 2}, true, false},
        {"the destination alone, as a one-page fax has it", {0}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const fs::directory_entry& entry : fs::directory_iterator(scratch / "out")) fs::remove(entry.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const int page : c.pagesWritten) {
            testing::writeText(page == 0 ? destination : pageFileName(defaultOutputFormat(), destination, page), "jpeg");
        }
        if (c.touchFaxAfter) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            chmod(fax.c_str(), 0640);  // any change of the fax counts
        }
        EXPECT_EQ(outputsAreCurrent(defaultOutputFormat(), fax, destination, [&] { return pagesOf(fax); }), c.current);
    }
}

}  // namespace
}  // namespace pagelift

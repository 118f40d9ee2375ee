// AWD documents through stand-in converters that the tests write as shell
// scripts: what the converter is given, how it is found, and every way it
// can fail, through a document and through a pliftcmd folder run.

#include "faxdoc/fax_document.h"
#include "platform/awd_converter.h"
#include "support/container_files.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using testing::Picture;

// Sets or removes an environment variable for the life of the object.
class EnvironmentSetting {
public:
    EnvironmentSetting(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvironmentSetting()
    {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    EnvironmentSetting(const EnvironmentSetting&) = delete;
    EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// True when the process is gone (or only waits to be reaped).
bool processEnded(pid_t pid)
{
    for (int i = 0; i < 200; ++i) {
        const std::string stat = testing::readText("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        if (stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z")) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class AwdConverterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(scratch_ / "bin");
        page_ = testing::blankPicture(37, 11);
        for (int32_t x = 3; x < 30; ++x) page_.at(x, 5) = 1;
        for (int32_t y = 0; y < 11; ++y) page_.at(9, y) = 1;
        testing::writeUncompressedTiff(scratch_ / "page.tif", page_, 0);
        target_ = scratch_.file("tmptif");
    }

    // A converter script whose body runs after it has recorded its
    // arguments (NUL-separated) in "arguments".
    std::string converter(const std::string& name, const std::string& body, bool executable = true)
    {
        const std::string path = scratch_.file(name);
        testing::writeText(path, "#!/bin/sh\nprintf '%s\\0' \"$@\" > " + testing::shellQuoted(scratch_.file("arguments")) +
                                     "\n" + body + "\n");
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path;
    }

    std::vector<std::string> arguments() const
    {
        std::vector<std::string> list;
        const std::string text = testing::readText(scratch_.file("arguments"));
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\0', start);
            list.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return list;
    }

    // Opens `source` as an AWD document; its first page, if any.
    std::optional<PageBitmap> openAwd(const std::string& source)
    {
        testing::writeText(source, "AWD document");
        FaxDocument document;
        document.workingFiles().tempTiffPath = target_;
        document.open(source, Awd);
        if (!document.hasPage()) return std::nullopt;
        return document.page();
    }

    testing::ScratchFolder scratch_;
    Picture page_;
    std::string target_;
};

TEST_F(AwdConverterTest, ConvertersGetTheirArgumentsAndFailuresGiveNoPage)
{
    const std::string copy = "cp " + testing::shellQuoted(scratch_.file("page.tif")) + " \"$3\"";
    struct Case {
        std::string what;
        std::string body;
        bool page;
        std::string source = "fax.awd";
        bool executable = true;
    };
    const std::vector<Case> cases = {
        {"copies the page", copy, true},
        {"source with blanks and quotes", copy, true, "my \"urgent\" fax 'no. 2'.awd"},
        {"exit code not consulted", copy + "\nexit 3", true},
        {"fails without writing", "exit 1", false},
        {"ends without writing", "exit 0", false},
        {"writes no TIFF", "echo 'no picture' > \"$3\"", false},
        {"killed after writing", copy + "\nkill -KILL $$", false},
        {"cannot be run", copy, false, "fax.awd", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(scratch_ / "arguments");
        // A stale page from an earlier document must never be read as this one's.
        fs::copy_file(scratch_ / "page.tif", target_, fs::copy_options::overwrite_existing);
        const EnvironmentSetting program(kAwdConverterVariable, converter("convert.sh", c.body, c.executable));
        const std::string source = scratch_.file(c.source);
        const std::optional<PageBitmap> page = openAwd(source);
        ASSERT_EQ(page.has_value(), c.page);
        if (page) {
            EXPECT_EQ(testing::compareFirstDifference(page_, testing::pictureOf(*page)), "");
        }
        if (c.executable) {
            EXPECT_EQ(arguments(), (std::vector<std::string>{"/c", source, target_}));
        }
    }
    const EnvironmentSetting missing(kAwdConverterVariable, scratch_.file("no-such-converter"));
    EXPECT_FALSE(openAwd(scratch_.file("fax.awd")).has_value());

    // A target that cannot be removed could be read as this document's
    // pages: the converter is not even started.
    fs::remove(target_);
    fs::create_directories(fs::path(target_) / "in the way");
    fs::remove(scratch_ / "arguments");
    const EnvironmentSetting copying(kAwdConverterVariable, converter("convert.sh", copy));
    EXPECT_FALSE(openAwd(scratch_.file("fax.awd")).has_value());
    EXPECT_FALSE(fs::exists(scratch_ / "arguments"));
}

TEST_F(AwdConverterTest, AHangingConverterIsKilledWithItsChildrenAfterTheTimeLimit)
{
    const EnvironmentSetting program(
        kAwdConverterVariable,
        converter("hang.sh", "sleep 60 &\necho $! > " + testing::shellQuoted(scratch_.file("child")) + "\nwait"));
    const EnvironmentSetting limit(kAwdTimeLimitVariable, "1");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(openAwd(scratch_.file("fax.awd")).has_value());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(1));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    const pid_t child = std::atoi(testing::readText(scratch_.file("child")).c_str());
    ASSERT_GT(child, 0);
    EXPECT_TRUE(processEnded(child));
}

TEST_F(AwdConverterTest, TheConverterIsFoundOnAbsolutePathEntriesOnly)
{
    const std::string copy = "cp " + testing::shellQuoted(scratch_.file("page.tif")) + " \"$3\"";
    converter("awdvstub", copy);
    fs::rename(scratch_ / "awdvstub", scratch_ / "bin" / "awdvstub");
    converter("awdvstub", copy);  // in the current folder too
    converter("my converter", copy);
    fs::rename(scratch_ / "my converter", scratch_ / "bin" / "my converter");
    const std::string previous = fs::current_path().string();
    fs::current_path(scratch_.path());
    struct Case {
        std::optional<std::string> variable;
        std::string path;
        bool page;
    };
    const std::string bin = scratch_.file("bin");
    const std::vector<Case> cases = {
        {std::nullopt, bin + ":/usr/bin:/bin", true},
        {"", bin + ":/usr/bin:/bin", true},
        {"my converter", "/usr/bin:" + bin + ":/bin", true},
        {"bin/my converter", "/usr/bin:/bin", true},
        // The current folder and relative entries never supply the program.
        {std::nullopt, ":.:bin:/usr/bin:/bin", false},
        {"awdvstub", "bin:/usr/bin:/bin:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable.value_or("(unset)") + " on " + c.path);
        const EnvironmentSetting program(kAwdConverterVariable, c.variable);
        const EnvironmentSetting path("PATH", c.path);
        EXPECT_EQ(openAwd(scratch_.file("fax.awd")).has_value(), c.page);
    }
    fs::current_path(previous);
}

TEST_F(AwdConverterTest, AFolderRunReportsAFailedConversionAndGoesOn)
{
    if (!testing::missingTool({imagetest::kDjpeg}).empty()) GTEST_SKIP() << "needs djpeg to read the JPEG page";
    const std::string program = converter(
        "convert.sh", "case \"$2\" in *bad*) exit 1;; esac\ncp " + testing::shellQuoted(scratch_.file("page.tif")) + " \"$3\"");
    fs::create_directories(scratch_ / "in");
    fs::create_directories(scratch_ / "tmp");
    testing::writeText(scratch_.file("in/a bad one.awd"), "AWD");
    testing::writeText(scratch_.file("in/good.awd"), "AWD");
    const auto result = faxtest::runShell(
        "TMPDIR=" + testing::shellQuoted(scratch_.file("tmp")) + " " + kAwdConverterVariable + "=" +
            testing::shellQuoted(program) + " '" PLIFTCMD_PATH "' /qa=100 /log= '/d=" + scratch_.file("in") + "' '/sd=" +
            scratch_.file("out") + "'",
        scratch_.path().string());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Failed : " + scratch_.file("in/a bad one.awd") + " - Not Fax"), std::string::npos)
        << result.out;
    const auto decoded = imagetest::decodeWithDjpeg(scratch_.file("out/good.jpg"), scratch_.file("good.pgm"));
    ASSERT_TRUE(decoded.has_value()) << result.out;
    EXPECT_EQ(faxtest::firstDifference(faxtest::scaledForJpeg(testing::grayOf(page_), 1, 40), faxtest::thresholded(*decoded)),
              "");
    // The converter wrote into the run's own working folder.
    const std::vector<std::string> given = arguments();
    ASSERT_EQ(given.size(), 3u);
    EXPECT_EQ(given[2].rfind(scratch_.file("tmp") + "/", 0), 0u) << given[2];
    EXPECT_EQ(fs::path(given[2]).filename(), "tmptif");
}

}  // namespace
}  // namespace pagelift

// Converting one file: page names, report lines, the intermediate bitmap and
// JPEG steps as djpeg sees their result, file times and the backup move.

#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "batch/single_file.h"
#include "output/output_names.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

const char* const kImageMagick = "/usr/bin/convert";
const char* const kTiffcp = "/usr/bin/tiffcp";

class SingleFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!faxtest::toolsAvailable({kImageMagick, kTiffcp, imagetest::kDjpeg, "/usr/bin/pbmtext"})) {
            GTEST_SKIP() << "needs ImageMagick, tiffcp, djpeg and netpbm (scripts/install-deps.sh --test)";
        }
    }

    // A TIFF of rendered text pages at the given resolution.
    std::string makeFax(const std::string& name, int pages, int width, int height, const std::string& density)
    {
        std::string command = kImageMagick;
        for (int i = 0; i < pages; ++i) {
            const std::string pbm = scratch_.file(name + std::to_string(i) + ".pbm");
            EXPECT_TRUE(faxtest::renderTextPage(pbm, "PAGE " + std::to_string(i + 1), 2, width, height));
            command += " '" + pbm + "'";
        }
        const std::string path = scratch_.file(name);
        command += " -define quantum:polarity=min-is-white -compress None -density " + density +
                   " -units PixelsPerInch '" + path + ".plain.tif' && " + kTiffcp + " -c packbits '" + path +
                   ".plain.tif' '" + path + "'";
        EXPECT_EQ(faxtest::runShell(command, scratch_.path().string()).exitCode, 0);
        return path;
    }

    // One file converted as a run converts it: the conversion, its source
    // moved when it is to go, and its names known to the run's later files.
    FileConversion convert(const ConversionOptions& options, const std::string& source, const std::string& destination)
    {
        FileContext context;
        context.written = &written_;
        FileConversion conversion = convertFile(options, source, destination, context);
        if (conversion.toBackupFolder) moveToBackupFolder(source, options.backupFolder);
        for (const std::string& name : conversion.outputs) written_[name] = source;
        return conversion;
    }
    // The next conversion begins a new run.
    void newRun() { written_.clear(); }

    ScratchFolder scratch_;
    WrittenOutputs written_;
};

TEST_F(SingleFileTest, OnePageGoesToTheDestinationAndMorePagesAreNumbered)
{
    const std::string one = makeFax("one.tif", 1, 200, 60, "200x200");
    const std::string three = makeFax("three.tif", 3, 200, 60, "200x200");
    const std::string out = scratch_.file("out");
    struct Case {
        std::string source;
        std::string destination;
        std::vector<std::string> outputs;
        std::string report;
    };
    const std::vector<Case> cases = {
        {one, out + "/single.jpg", {out + "/single.jpg"}, "Success !\r\n"},
        {one, out + "/no-extension", {out + "/no-extension"}, "Success !\r\n"},
        {three, out + "/a.jpg", {out + "/a001.jpg", out + "/a002.jpg", out + "/a003.jpg"},
         "Multiple pages as following :\r\n        page 001 --> " + out + "/a001.jpg : Success !\r\n" +
             "        page 002 --> " + out + "/a002.jpg : Success !\r\n" + "        page 003 --> " + out +
             "/a003.jpg : Success !\r\n"},
        // Only a dot in the file name starts the extension.
        {three, out + "/my.out/fax", {out + "/my.out/fax001.jpg", out + "/my.out/fax002.jpg", out + "/my.out/fax003.jpg"},
         "Multiple pages as following :\r\n        page 001 --> " + out + "/my.out/fax001.jpg : Success !\r\n" +
             "        page 002 --> " + out + "/my.out/fax002.jpg : Success !\r\n" + "        page 003 --> " + out +
             "/my.out/fax003.jpg : Success !\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        const FileConversion done = convert(ConversionOptions{}, c.source, c.destination);
        EXPECT_EQ(done.result, ConvertDone);
        EXPECT_EQ(done.report, c.source + " --> " + c.destination + " : " + c.report);
        EXPECT_EQ(done.written, c.outputs);
        for (const std::string& output : c.outputs) EXPECT_GT(fs::file_size(output), 0u) << output;
    }
}

TEST_F(SingleFileTest, PixelsSurviveWithRowsDoubledAndPaddingWhite)
{
    struct Case {
        const char* density;
        int width;
        int factor;
    };
    const Case cases[] = {{"204x98", 1725, 2}, {"204x196", 1725, 1}, {"200x400", 13, 1}, {"300x100", 40, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.density);
        const std::string fax = makeFax("page.tif", 1, c.width, 90, c.density);
        auto reference = faxtest::referencePage(fax, 0, scratch_.file("reference.pgm"));
        ASSERT_TRUE(reference.has_value());
        ConversionOptions options;
        options.quality = 100;
        const std::string jpeg = scratch_.file("page.jpg");
        newRun();
        const FileConversion done = convert(options, fax, jpeg);
        ASSERT_EQ(done.result, ConvertDone) << done.report;
        auto decoded = imagetest::decodeWithDjpeg(jpeg, scratch_.file("decoded.pgm"));
        ASSERT_TRUE(decoded.has_value());
        const int paddedWidth = (c.width + 7) / 8 * 8;
        EXPECT_EQ(faxtest::firstDifference(faxtest::scaledForJpeg(*reference, c.factor, paddedWidth),
                                           faxtest::thresholded(*decoded)),
                  "");
    }
}

TEST_F(SingleFileTest, FailuresAreReportedWithTheirOwnLines)
{
    const std::string garbage = scratch_.file("garbage.tif");
    faxtest::writeText(garbage, "this is no TIFF file at all");
    const std::string raw = scratch_.file("call.g3");
    faxtest::writeText(raw, std::string(500, '\x5A'));
    const std::string blocker = scratch_.file("blocker");
    faxtest::writeText(blocker, "a file where a folder should be");
    const std::string fax = makeFax("ok.tif", 1, 64, 20, "200x200");

    struct Case {
        std::string source;
        std::string destination;
        int result;
        std::string line;
    };
    const std::vector<Case> cases = {
        {garbage, scratch_.file("g.jpg"), ConvertNotFax, "Failed : " + garbage + " - Not Fax\r\n"},
        {scratch_.file("missing.tif"), scratch_.file("m.jpg"), ConvertNotFax,
         "Failed : " + scratch_.file("missing.tif") + " - Not Fax\r\n"},
        {raw, scratch_.file("r.jpg"), ConvertNotFax, "Failed : " + raw + " - Not Fax\r\n"},
        {fax, blocker + "/sub/x.jpg", ConvertNoFolder,
         "Failed to create dir : " + blocker + "/sub (Not a directory)\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const FileConversion done = convert(ConversionOptions{}, c.source, c.destination);
        EXPECT_EQ(done.result, c.result);
        EXPECT_EQ(done.report, c.source + " --> " + c.destination + " : " + c.line);
        EXPECT_FALSE(fs::exists(c.destination));
    }
}

// With /l, files its user may not write (made under umask 0277) take no
// times: the failure has its own line, the conversion stays converted, and
// with a backup folder the fax stays in the source folder. Run in a child
// process, which a root test makes an ordinary user first.
TEST_F(SingleFileTest, DatesThatCannotBeKeptHaveTheirOwnLineAndLeaveTheResult)
{
    const std::string fax = makeFax("dated.tif", 2, 64, 20, "200x200");
    fs::permissions(scratch_.path(), fs::perms::all);
    struct Case {
        const char* backup;  // "" for none
        const char* line;
    };
    for (const Case& test : {Case{"", "Failed : file times not copied to OUT/a001.jpg\r\n"},
                             Case{"done", "Failed : file times not copied, FAX stays in place\r\n"}}) {
        SCOPED_TRACE(test.line);
        const std::string out = scratch_.file(std::string("out") + test.backup);
        fs::create_directories(out);
        fs::permissions(out, fs::perms::all);
        if (*test.backup != 0) {
            fs::create_directories(scratch_.file(test.backup));
            fs::permissions(scratch_.file(test.backup), fs::perms::all);
        }
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::umask(0277);
            if (::getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            ConversionOptions options;
            options.keepDate = true;
            if (*test.backup != 0) options.backupFolder = scratch_.file(test.backup);
            const FileConversion done = convertFile(options, fax, out + "/a.jpg", FileContext{});
            const std::string answer = std::to_string(done.result) + (done.toBackupFolder ? " move\n" : " stay\n") + done.report;
            _exit(write(pipeEnds[1], answer.data(), answer.size()) == ssize_t(answer.size()) ? 0 : 4);
        }
        close(pipeEnds[1]);
        std::string answer;
        char buffer[4096];
        for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, size_t(got));
        close(pipeEnds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::string line = test.line;
        if (const size_t at = line.find("OUT"); at != std::string::npos) line.replace(at, 3, out);
        if (const size_t at = line.find("FAX"); at != std::string::npos) line.replace(at, 3, fax);
        EXPECT_EQ(answer.substr(0, answer.find('\n')), "0 stay");
        EXPECT_NE(answer.find("page 002 --> " + out + "/a002.jpg : Success !\r\n" + line), std::string::npos) << answer;
        EXPECT_TRUE(fs::exists(out + "/a002.jpg"));
    }
}

TEST_F(SingleFileTest, ExistingOutputsAreSkippedOnlyWhenNotEmpty)
{
    const std::string fax = makeFax("fax.tif", 2, 64, 20, "200x200");
    const std::string destination = scratch_.file("out.jpg");
    ConversionOptions options;
    options.skipExisting = 1;

    faxtest::writeText(destination, "");
    EXPECT_EQ(convert(options, fax, destination).result, ConvertDone);  // empty: converted
    EXPECT_TRUE(fs::exists(scratch_.file("out001.jpg")));

    faxtest::writeText(destination, "x");
    fs::remove(scratch_.file("out001.jpg"));
    newRun();
    const FileConversion skipped = convert(options, fax, destination);
    EXPECT_EQ(skipped.result, ConvertSkipped);
    EXPECT_EQ(skipped.report, fax + " --> " + destination + " : Skipped : " + destination + " already exist!\r\n");
    EXPECT_EQ(skipped.existingOutput, destination);
    EXPECT_FALSE(fs::exists(scratch_.file("out001.jpg")));
}

TEST_F(SingleFileTest, AMultiPageOutputCountsAsExistingByItsFirstPage)
{
    const std::string fax = makeFax("fax.tif", 2, 64, 20, "200x200");
    const std::string destination = scratch_.file("out.jpg");
    ASSERT_EQ(convert(ConversionOptions{}, fax, destination).result, ConvertDone);
    ASSERT_FALSE(fs::exists(destination));

    ConversionOptions watched;  // a later automatic run over the same folder
    watched.skipExisting = 1;
    newRun();
    const FileConversion skipped = convert(watched, fax, destination);
    EXPECT_EQ(skipped.result, ConvertSkipped);
    EXPECT_EQ(skipped.report,
              fax + " --> " + destination + " : Skipped : " + scratch_.file("out001.jpg") + " already exist!\r\n");
}

TEST_F(SingleFileTest, AFileIsNeverConvertedOverAnOutputOfTheSameRun)
{
    const std::string one = makeFax("one.tif", 1, 64, 20, "200x200");
    const std::string two = makeFax("two.tif", 2, 64, 20, "200x200");
    const std::string backup = scratch_.file("backup");
    fs::create_directories(backup);
    struct Case {
        const char* name;
        std::string first;
        std::string firstDestination;
        std::string second;
        std::string secondDestination;
        std::string taken;  // the output name the second file finds taken
    };
    const Case cases[] = {
        {"one page twice", one, scratch_.file("a.jpg"), one, scratch_.file("a.jpg"), scratch_.file("a.jpg")},
        {"pages twice", two, scratch_.file("b.jpg"), two, scratch_.file("b.jpg"), scratch_.file("b001.jpg")},
        {"pages over a page", one, scratch_.file("c001.jpg"), two, scratch_.file("c.jpg"), scratch_.file("c001.jpg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        newRun();
        ConversionOptions options;
        ASSERT_EQ(convert(options, c.first, c.firstDestination).result, ConvertDone);
        // The backup folder would take the source away: a skipped file stays.
        options.backupFolder = backup;
        const FileConversion skipped = convert(options, c.second, c.secondDestination);
        EXPECT_EQ(skipped.result, ConvertSkipped);
        EXPECT_EQ(skipped.report,
                  c.second + " --> " + c.secondDestination + " : Skipped : " + c.taken + " already exist!\r\n");
        EXPECT_TRUE(fs::exists(c.second));
    }
    // A new run starts with no outputs of its own.
    newRun();
    EXPECT_EQ(convert(ConversionOptions{}, one, scratch_.file("a.jpg")).result, ConvertDone);
}

TEST_F(SingleFileTest, PagesThatCannotBeConvertedAreReportedAndKeepTheFaxInTheQueue)
{
    // Only the second page fails; the fax stays where it is for a later run
    // and no JPEG stands for the page that failed.
    const std::string backup = scratch_.file("backup");
    fs::create_directories(backup);
    const std::string huge = scratch_.file("huge.tif");
    testing::writeBytes(huge, testing::blankGroup4Tiff({{64, 20}, {32000, 32000}, {64, 20}}));
    const std::string low = scratch_.file("low.tif");
    // 10000 x 5001 at 200 x 100 dpi comes out 10000 x 10002: just past the limit.
    testing::writeBytes(low, testing::blankGroup4Tiff({{64, 20}, {10000, 5001, 200, 100}, {64, 20}}));
    const std::string largest = scratch_.file("largest.tif");
    testing::writeBytes(largest, testing::blankGroup4Tiff({{64, 20}, {10000, 5000, 200, 100}}));
    struct Case {
        std::string source;
        std::string secondPage;  // its report line after the name, "" when it converts
    };
    const std::vector<Case> cases = {
        {huge, "Failed : page too large: 32000 x 32000\r\n"},
        {low, "Failed : page too large: 10000 x 10002\r\n"},
        {largest, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string out = scratch_.file("out");
        fs::remove_all(out);
        newRun();
        ConversionOptions options;
        options.backupFolder = backup;
        const std::string destination = out + "/fax.jpg";
        const FileConversion done = convert(options, c.source, destination);

        const int pages = c.source == largest ? 2 : 3;
        const bool complete = c.secondPage.empty();
        std::string expected = c.source + " --> " + destination + " : ";
        for (int page = 1; page <= pages; ++page) {
            const std::string name = pageFileName(defaultOutputFormat(), destination, page);
            const std::string line = "        page 00" + std::to_string(page) + " --> " + name + " : ";
            if (page == 2 && !c.secondPage.empty()) {
                expected += line + c.secondPage;
            } else {
                expected += (page == 1 ? "Multiple pages as following :\r\n" : "") + line + "Success !\r\n";
            }
            EXPECT_EQ(fs::exists(name), page != 2 || c.secondPage.empty()) << name;
        }
        EXPECT_EQ(done.report, expected);
        EXPECT_EQ(done.result, ConvertDone);  // that of the last page
        EXPECT_EQ(fs::exists(c.source), !complete);
        if (complete) fs::rename(backup + "/" + fs::path(c.source).filename().string(), c.source);
    }
}

TEST_F(SingleFileTest, KeepDateAndBackupMove)
{
    const fs::path backup = scratch_.path() / "backup";
    fs::create_directories(backup);
    struct Case {
        const char* name;
        int pages;
        bool keepDate;
        bool backupTaken;  // a file of the source's name already waits in the backup folder
    };
    const Case cases[] = {
        {"dated.tif", 2, true, false}, {"moved.tif", 1, false, false}, {"taken.tif", 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fax = makeFax(c.name, c.pages, 64, 20, "200x200");
        const struct timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
        ASSERT_EQ(utimensat(AT_FDCWD, fax.c_str(), times, 0), 0);
        if (c.backupTaken) faxtest::writeText((backup / c.name).string(), "older file");

        ConversionOptions options;
        options.keepDate = c.keepDate;
        options.backupFolder = backup.string();
        const std::string destination = scratch_.file(std::string(c.name) + ".jpg");
        EXPECT_EQ(convert(options, fax, destination).result, ConvertDone);

        std::vector<std::string> outputs;
        if (c.pages == 1) outputs.push_back(destination);
        for (int page = 1; c.pages > 1 && page <= c.pages; ++page) outputs.push_back(pageFileName(defaultOutputFormat(), destination, page));
        for (const std::string& output : outputs) {
            struct stat info {};
            ASSERT_EQ(stat(output.c_str(), &info), 0);
            // The last-write time, to the nanosecond. (Reading the source
            // for the conversion moves its last-access time on.)
            EXPECT_EQ(info.st_mtim.tv_sec == times[1].tv_sec && info.st_mtim.tv_nsec == times[1].tv_nsec, c.keepDate);
        }
        if (c.backupTaken) {
            EXPECT_TRUE(fs::exists(fax));  // never replaces: the source stays
            EXPECT_EQ(faxtest::readText((backup / c.name).string()), "older file");
        } else {
            EXPECT_FALSE(fs::exists(fax));
            EXPECT_TRUE(fs::exists(backup / c.name));
        }
    }

    // A source that is no fax is never moved.
    const std::string garbage = scratch_.file("garbage.tif");
    faxtest::writeText(garbage, "not a fax");
    ConversionOptions options;
    options.backupFolder = backup.string();
    EXPECT_EQ(convert(options, garbage, scratch_.file("garbage.jpg")).result, ConvertNotFax);
    EXPECT_TRUE(fs::exists(garbage));
}

TEST(PageFileName, NumbersPagesAfterTheFileNamesLastDotWithTheFormatsExtension)
{
    const OutputFormat& jpeg = defaultOutputFormat();
    const OutputFormat& png = *outputFormatNamed("PNG");
    EXPECT_EQ(pageFileName(jpeg, "/out/fax.jpg", 1), "/out/fax001.jpg");
    EXPECT_EQ(pageFileName(jpeg, "/out/fax.tif.jpg", 12), "/out/fax.tif012.jpg");
    EXPECT_EQ(pageFileName(jpeg, "/my.out/fax", 3), "/my.out/fax003.jpg");
    EXPECT_EQ(pageFileName(jpeg, "fax", 1000), "fax1000.jpg");
    EXPECT_EQ(pageFileName(png, "/out/fax.png", 2), "/out/fax002.png");
}

}  // namespace
}  // namespace pagelift

// Folder runs that convert several files at a time (/j=) give exactly what
// one file at a time gives: the same JPEG, PNG or PDF bytes, report, log
// record and backup moves, files whose outputs collide included. And eight programs at
// once over one tree, all appending to one log, give whole records and the
// JPEG files of a lone run.

#include "batch/file_listing.h"
#include "batch/parallel_conversion.h"
#include "output/output_names.h"
#include "support/blank_faxes.h"
#include "support/corpus_folder.h"
#include "support/fax_fixtures.h"
#include "support/ocr_module.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <thread>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::vector<uint8_t>>;

const fs::file_time_type kSourceTime =
    fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::sys_days{std::chrono::year{2024} / 3 / 5}});

// Every file below `root` by its relative path, with its bytes.
Tree treeOf(const fs::path& root)
{
    Tree files;
    if (!fs::exists(root)) return files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = readBytes(entry.path().string());
    }
    return files;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A source tree with the samples, the corpus files when they are there, and
// files whose outputs collide: two a.tif in different folders (one output
// name without the tree kept), a.tif beside a.fax (one name without the
// extension), a two-page fax.tif beside fax001.tif (its first page name),
// and files that are no fax or already JPEG.
void makeSourceTree(const fs::path& root)
{
    const fs::path samples = fs::path(PAGELIFT_SOURCE_DIR) / "samples";
    fs::create_directories(root / "sub1");
    fs::create_directories(root / "sub2");
    for (const fs::directory_entry& sample : fs::directory_iterator(samples)) {
        fs::copy_file(sample.path(), root / sample.path().filename());
    }
    if (const fs::path corpus = testing::corpusFolder(); fs::exists(corpus)) {
        for (const char* name : {"fax2d.tif", "g3test.tif", "g4-multi.tiff", "hopper_g4.tif"}) {
            fs::copy_file(corpus / name, root / "sub2" / name);
        }
    }
    fs::copy_file(samples / "memo-g4.tif", root / "sub1" / "a.tif");
    fs::copy_file(samples / "notice-packbits.tif", root / "sub2" / "a.tif");
    fs::copy_file(samples / "call.g3", root / "sub2" / "a.fax");
    fs::copy_file(samples / "letter-g3.tif", root / "sub1" / "fax.tif");
    fs::copy_file(samples / "receipt-plain.tif", root / "sub1" / "fax001.tif");
    std::mt19937 generator(5);
    std::vector<uint8_t> noise(20000);
    for (uint8_t& byte : noise) byte = uint8_t(generator());
    writeBytes((root / "sub1" / "noise.001").string(), noise);
    writeText((root / "sub2" / "scan.jpg").string(), "already a picture");
}

struct RunResult {
    std::string report;  // with the run's own folder written as RUN
    std::string logRecord;
    Tree outputs;
    Tree backup;
    Tree sourcesLeft;
};

// A folder run in a folder of its own, on a fresh copy of the source tree.
RunResult folderRun(const fs::path& run, const std::string& options,
                    const std::function<void(const fs::path&)>& makeSource = makeSourceTree)
{
    makeSource(run / "in");
    // One time for every source, in every run: a PDF states its fax's.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(run / "in")) {
        if (entry.is_regular_file()) fs::last_write_time(entry.path(), kSourceTime);
    }
    fs::create_directories(run / "backup");
    const faxtest::CommandResult result = faxtest::runShell(
        PLIFTCMD_PATH " " + options + " /i /qa=60 /bd=" + shellQuoted((run / "backup").string()) +
            " /log=" + shellQuoted((run / "log.txt").string()) + " " + shellQuoted("/d=" + (run / "in").string()) +
            " " + shellQuoted("/sd=" + (run / "out").string()),
        run.string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    RunResult outcome;
    outcome.report = replaced(result.out, run.string(), "RUN");
    // The record without its time line.
    const std::string log = readText((run / "log.txt").string());
    outcome.logRecord = replaced(log.substr(std::min(log.find('\n') + 1, log.size())), run.string(), "RUN");
    outcome.outputs = treeOf(run / "out");
    outcome.backup = treeOf(run / "backup");
    outcome.sourcesLeft = treeOf(run / "in");
    return outcome;
}

// The same report, log record, JPEG bytes, backup moves and sources left.
void expectTheSameRun(const RunResult& run, const RunResult& expected)
{
    EXPECT_EQ(run.report, expected.report);
    EXPECT_EQ(run.logRecord, expected.logRecord);
    EXPECT_TRUE(run.outputs == expected.outputs) << "the written files differ";
    EXPECT_TRUE(run.backup == expected.backup) << "the backup folders differ";
    EXPECT_TRUE(run.sourcesLeft == expected.sourcesLeft) << "different sources stayed";
}

TEST(ParallelRuns, SeveralFilesAtATimeGiveWhatOneAtATimeGives)
{
    if (!faxtest::toolsAvailable({kImageMagick})) GTEST_SKIP() << "needs the test tools (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    struct Case {
        std::string options;  // besides /j=
        std::vector<const char*> jobs;
    };
    const Case cases[] = {
        {"", {"/j=1", "/j=3", "/j=0"}}, {"/kh", {"/j=1", "/j=3", "/j=0"}}, {"/kh /to=png", {"/j=3"}},
        {"/kh /to=pdf", {"/j=4"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "flat" : c.options);
        const RunResult serial = folderRun(scratch / ("serial" + c.options), c.options);
        EXPECT_GT(serial.outputs.size(), 8u);
        EXPECT_GT(serial.backup.size(), 5u);
        EXPECT_NE(serial.report.find("already exist"), std::string::npos) << "some outputs should collide";
        for (const char* jobs : c.jobs) {
            SCOPED_TRACE(jobs);
            expectTheSameRun(folderRun(scratch / ("run" + c.options + (jobs + 1)), c.options + " " + jobs), serial);
        }
    }
}

TEST(ParallelRuns, TheJobsShareThePagesOfALongDocumentAndGiveWhatOneJobGives)
{
    if (!faxtest::toolsAvailable({"/usr/bin/tiffcp"})) GTEST_SKIP() << "needs tiffcp (scripts/install-deps.sh --test)";
    const fs::path samples = fs::path(PAGELIFT_SOURCE_DIR) / "samples";
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> makeSource;
    };
    const std::vector<Case> cases = {
        {"fourteen sample pages in one file",
         [&](const fs::path& folder) {
             fs::create_directories(folder);
             std::string pages;
             for (int copy = 0; copy < 3; ++copy) {
                 for (const char* sample : {"letter-g3.tif", "memo-g4.tif", "notice-packbits.tif", "receipt-plain.tif"}) {
                     pages.append(" ").append(shellQuoted((samples / sample).string()));
                 }
             }
             pages.append(" ").append(shellQuoted((folder / "long.tif").string()));
             ASSERT_EQ(faxtest::runShell("/usr/bin/tiffcp" + pages,
                                         folder.string())
                           .exitCode,
                       0);
         }},
        {"a raw stream, whose pages are read one after the other",
         [&](const fs::path& folder) {
             fs::create_directories(folder);
             const std::vector<uint8_t> call = readBytes((samples / "call.g3").string());
             std::vector<uint8_t> three;
             for (int copy = 0; copy < 3; ++copy) three.insert(three.end(), call.begin(), call.end());
             writeBytes((folder / "calls.g3").string(), three);
         }},
        {"a page too large among others",
         [](const fs::path& folder) {
             fs::create_directories(folder);
             writeBytes((folder / "odd.tif").string(),
                        blankGroup4Tiff({{1728, 2200}, {32000, 32000}, {2432, 3300}, {1728, 1100, 200, 100}, {864, 40}}));
         }},
    };
    // A file per page, and one PDF of all pages whatever job encoded them.
    struct Format {
        std::string option;
        size_t outputs;  // at least, of each case
        std::vector<std::string> jobs;
    };
    std::vector<Format> formats = {{"", 4, {"/j=2", "/j=5"}}, {"/to=pdf", 1, {"/j=4"}}};
    // Recognised text too: a page reads the same on one thread as on two.
    if (testing::ocrUnavailableReason().empty()) formats.push_back({"/to=pdf /ocr", 1, {"/j=3"}});
    const ScratchFolder scratch;
    for (const Format& format : formats) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (" " + format.option));
            const std::string run = std::string(c.name) + format.option.substr(std::min<size_t>(format.option.size(), 4));
            const RunResult alone = folderRun(scratch / (run + " j1"), format.option + " /j=1", c.makeSource);
            EXPECT_GE(alone.outputs.size(), format.outputs);
            for (const std::string& jobs : format.jobs) {
                SCOPED_TRACE(jobs);
                expectTheSameRun(folderRun(scratch / (run + " " + jobs.substr(1)), format.option + " " + jobs, c.makeSource),
                                 alone);
            }
        }
    }
}

TEST(ParallelRuns, OnlyFilesWhoseNamesMayMeetShareAJob)
{
    struct Case {
        const char* a;
        const char* b;
        bool meet;
    };
    const Case cases[] = {
        {"out/fax00001.jpg", "out/fax00002.jpg", false},   // serial numbers of one length
        {"out/fax.jpg", "out/fax001.jpg", true},           // a page name of the other
        {"out/fax.jpg", "out/fax1000.jpg", true},          // page 1000
        {"out/fax.jpg", "out/fax1.jpg", true},             // page 1 of fax1 is page 1001 of fax
        {"out/fax.jpg", "out/fax01.jpg", false},           // no page number starts with 0 and is 4 long
        {"out/fax.jpg", "out/fax.jpg", true},
        {"out/a.tif.jpg", "out/a.tif001.jpg", true},       // extensions kept
        {"out/fax.jpg", "out/faxes001.jpg", false},
        {"out/sub/fax.jpg", "out/fax001.jpg", false},      // other folders
        {"out/scan1.jpg", "out/scan12.jpg", true},
        {"out/scan12.jpg", "out/scan13.jpg", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outputNamesMayMeet(defaultOutputFormat(), c.a, c.b), c.meet) << c.a << " " << c.b;
        EXPECT_EQ(outputNamesMayMeet(defaultOutputFormat(), c.b, c.a), c.meet) << c.b << " " << c.a;
    }
}

TEST(ParallelRuns, AListingKeepsFilesWhoseNamesMayMeetOnOneLineAndReadsBackWhole)
{
    ConversionOptions options;
    options.source = "in";
    options.destination = "out";
    options.fileList = {"fax.tif", "a.tif", "tab\there.tif", "fax001.tif", "back\\slash.tif", "new\nline.tif", "a.fax"};
    const std::string listing = listOutputGroups(options);
    EXPECT_EQ(listing, "fax.tif\tfax001.tif\na.tif\ta.fax\ntab\\there.tif\nback\\\\slash.tif\nnew\\nline.tif\n");
    const std::vector<std::string> inGroupOrder = {"fax.tif", "fax001.tif", "a.tif", "a.fax",
                                                   "tab\there.tif", "back\\slash.tif", "new\nline.tif"};
    EXPECT_EQ(readListedEntries(listing), inGroupOrder);
}

TEST(ParallelRuns, EightProgramsAtOnceShareOneLog)
{
    if (!faxtest::toolsAvailable({kImageMagick})) GTEST_SKIP() << "needs the test tools (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    makeSourceTree(scratch / "in");
    const std::string log = scratch.file("shared.log");
    const auto command = [&](const std::string& destination, const std::string& logPath) {
        return PLIFTCMD_PATH " /q /i /kh /j=2 " + shellQuoted("/d=" + scratch.file("in")) + " " +
               shellQuoted("/sd=" + scratch.file(destination)) + " /log=" + shellQuoted(logPath);
    };
    ASSERT_EQ(faxtest::runShell(command("alone", scratch.file("alone.log")), scratch.path().string()).exitCode, 0);
    const std::string aloneRecord = readText(scratch.file("alone.log"));

    std::string together;
    for (int copy = 1; copy <= 8; ++copy) together += command("copy" + std::to_string(copy), log) + " & ";
    ASSERT_EQ(faxtest::runShell(together + "wait", scratch.path().string()).exitCode, 0);

    const Tree alone = treeOf(scratch / "alone");
    EXPECT_GT(alone.size(), 8u);
    for (int copy = 1; copy <= 8; ++copy) {
        SCOPED_TRACE("copy " + std::to_string(copy));
        EXPECT_TRUE(treeOf(scratch / ("copy" + std::to_string(copy))) == alone) << "the JPEG files differ";
    }
    // Each record: its time, the report of one copy whole, the closing line.
    const std::string body = aloneRecord.substr(aloneRecord.find('\n') + 1);
    const std::string shared = readText(log);
    const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r?\n)");
    std::vector<std::string> records;
    for (std::sregex_token_iterator part(shared.begin(), shared.end(), time, -1), end; part != end; ++part) {
        if (!part->str().empty()) records.push_back(*part);
    }
    ASSERT_EQ(records.size(), 8u);
    std::set<std::string> destinations;
    for (const std::string& record : records) {
        const std::smatch copy = [&] {
            std::smatch match;
            std::regex_search(record, match, std::regex("copy[1-8]"));
            return match;
        }();
        ASSERT_FALSE(copy.empty()) << record;
        destinations.insert(copy.str());
        EXPECT_EQ(replaced(record, copy.str(), "alone"), body);
    }
    EXPECT_EQ(destinations.size(), 8u);
}

}  // namespace
}  // namespace pagelift::testing

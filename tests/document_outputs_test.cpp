// A format of one file per document, as the run loop handles one: its pages
// encoded in any job, written in page order into one file, a line for each
// page left out. A stand-in format of the test's own, whose file lists each
// page it holds, stands for such a format.

#include "app/command_line.h"
#include "batch/conversion_run.h"
#include "output/output_names.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace pagelift {
namespace {

namespace fs = std::filesystem;

WriteResult encodeAsText(const PageBitmap& page, const OutputSettings&, EncodedPage& encoded)
{
    const std::string text = std::to_string(page.width) + " x " + std::to_string(page.rows);
    encoded.data.assign(text.begin(), text.end());
    return {};
}

WriteResult writePageList(const std::vector<const EncodedPage*>& pages, const DocumentFacts& facts,
                          const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << facts.source << "\n";
    for (const EncodedPage* page : pages) out << std::string(page->data.begin(), page->data.end()) << "\n";
    return out ? WriteResult{} : failureOfWords(WriteFailure::Writing, path, "not written");
}

const OutputFormat kPageList = {"list", ".list", "LIST", "list", "a list per fax",
                                OutputLayout::FilePerDocument, nullptr, encodeAsText, writePageList};

struct Reports final : RunListener {
    std::string text;
    void fileDone(const RunEntry&, const FileDone& done) override { text += done.report; }
};

TEST(DocumentOutputs, PagesGoIntoOneFileInOrderWhateverJobEncodedThem)
{
    const faxtest::ScratchFolder scratch;
    // Eight pages, the fourth beyond the size limits; a fax of that page alone.
    std::vector<testing::BlankPage> pages(8, {64, 20});
    pages[3] = {32000, 32000 - 3};
    for (size_t index = 0; index < pages.size(); ++index) pages[index].rows += uint32_t(index);
    fs::create_directories(scratch.file("in"));
    testing::writeBytes(scratch.file("in/long.tif"), testing::blankGroup4Tiff(pages));
    testing::writeBytes(scratch.file("in/huge.tif"), testing::blankGroup4Tiff({{32000, 32000}}));
    const std::string list = "/long.tif\n64 x 20\n64 x 21\n64 x 22\n64 x 24\n64 x 25\n64 x 26\n64 x 27\n";
    const std::string tooLarge = "Failed : page too large: 32000 x 32000\r\n";

    std::string serial;
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        fs::remove_all(scratch.file("out"));
        fs::create_directories(scratch.file("done"));
        RunRequest request;
        request.options.source = scratch.file("in");
        request.options.destination = scratch.file("out");
        request.options.backupFolder = scratch.file("done");
        request.options.outputFormat = &kPageList;
        request.options.fileList = {"long.tif", "huge.tif"};
        request.options.jobs = jobs;
        Reports reports;
        const RunTally tally = runFiles(request, folderEntries(request.options), reports);
        EXPECT_EQ(tally.converted, 1);
        EXPECT_EQ(tally.failed, 1);
        const std::string in = scratch.file("in");
        const std::string out = scratch.file("out");
        EXPECT_EQ(reports.text, in + "/long.tif --> " + out + "/long.list : Success !\r\n        page 004 : " +
                                    tooLarge + in + "/huge.tif --> " + out +
                                    "/huge.list : " + tooLarge);
        EXPECT_EQ(testing::readText(out + "/long.list"), in + list);
        EXPECT_FALSE(fs::exists(out + "/huge.list"));
        // A page left out keeps the fax in the queue.
        EXPECT_TRUE(fs::exists(in + "/long.tif"));
        if (jobs == 1) serial = reports.text;
        EXPECT_EQ(reports.text, serial);
    }
    // Only equal names meet: no page names are written.
    EXPECT_FALSE(outputNamesMayMeet(kPageList, "out/fax.list", "out/fax001.list"));
    EXPECT_TRUE(outputNamesMayMeet(kPageList, "out/fax.list", "out/fax.list"));
    EXPECT_EQ(outputNamesOf(kPageList, "out/fax.list", 5), std::vector<std::string>{"out/fax.list"});
}

// The table holds only rows that can work: a row whose texts, writers or
// file endings are wrong is named with its fault; --help lists every row.
TEST(OutputTable, ARowMustBeWholeAndItsOwn)
{
    for (const OutputFormat& format : outputFormats()) {
        EXPECT_EQ(outputFormatFault(format, {}), "") << format.name;
        EXPECT_NE(optionsText().find(std::string(format.name) + "   " + std::string(format.description)), std::string::npos);
    }
    const OutputFormat& jpeg = outputFormats().front();
    const auto changed = [&](auto change) {
        OutputFormat row = jpeg;
        row.name = "new";
        row.ownEndings = {"new", {}};
        row.extension = ".new";
        change(row);
        return row;
    };
    struct Case {
        const char* name;
        OutputFormat row;
        const char* fault;
    };
    const Case cases[] = {
        {"no MIME type", changed([](OutputFormat& row) { row.mimeType = {}; }), "a text is missing"},
        {"a document writer on a page format", changed([](OutputFormat& row) { row.writeDocument = kPageList.writeDocument; }),
         "its writers are not its layout's"},
        {"no page writer", changed([](OutputFormat& row) { row.writePage = nullptr; }), "its writers are not its layout's"},
        {"endings without its extension", changed([](OutputFormat& row) { row.ownEndings = {"old", {}}; }),
         "its own files' endings do not hold its extension"},
        {"another row's name", changed([](OutputFormat& row) { row.name = "JPG"; }), "its name is another format's"},
        {"another row's ending", changed([](OutputFormat& row) { row.ownEndings = {"new", "peg"}; }),
         "its files end as another format's"},
    };
    for (const Case& test : cases) EXPECT_EQ(outputFormatFault(test.row, outputFormats()), test.fault) << test.name;
}

// Every format's outputs are passed over, not only JPEG files: a run never
// takes its own outputs for faxes.
TEST(OutputTable, RunsPassOverEveryFormatsOutputs)
{
    RunRequest request;
    request.options.source = "in";
    request.options.destination = "out";
    request.options.fileList = {"a.png", "b.PDF", "c.jpeg", "d.JPG", "fax.tif"};
    std::vector<std::string> converted;
    request.convert = [&](const ConversionOptions&, const std::string& source, const std::string&, const FileContext&) {
        converted.push_back(source);
        return FileConversion{};
    };
    struct Passed final : RunListener {
        std::vector<std::string> words;
        void fileDone(const RunEntry&, const FileDone& done) override
        {
            if (done.passedOverAs != nullptr) words.push_back(std::string(done.passedOverAs->name) + ": " + done.report);
        }
    } passed;
    runFiles(request, folderEntries(request.options), passed);
    EXPECT_EQ(converted, std::vector<std::string>{"in/fax.tif"});
    EXPECT_EQ(passed.words, (std::vector<std::string>{
                                "png: in/a.png : already PNG format, need no converting!\r\n",
                                "pdf: in/b.PDF : already PDF format, need no converting!\r\n",
                                "jpg: in/c.jpeg : already JPEG format, need no converting!\r\n",
                                "jpg: in/d.JPG : already JPEG format, need no converting!\r\n",
                            }));
}

}  // namespace
}  // namespace pagelift

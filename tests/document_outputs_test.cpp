// A format of one file per document, as the run loop handles one: its pages
// encoded in any job, written in page order into one file, a line for each
// page left out. A stand-in format of the test's own, whose file lists each
// page it holds, stands for such a format.

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

}  // namespace
}  // namespace pagelift

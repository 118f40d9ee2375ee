// SFF files written here with the test MH encoder, each page read beside
// sfftobmp's reading of the same file.

#include "faxdoc/fax_format.h"
#include "faxdoc/readers/sff_reader.h"
#include "support/fax_fixtures.h"
#include "support/fax_oracles.h"
#include "support/sff_files.h"

#include <gtest/gtest.h>

#include <random>

namespace pagelift::testing {
namespace {

Picture noisyPicture(int32_t width, int32_t height, unsigned seed)
{
    Picture picture = blankPicture(width, height);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y) {
        if (y % 9 == 4) continue;  // some white rows, for white-line records
        int32_t x = int32_t(random() % 200);
        while (x < width) {
            const int32_t run = 1 + int32_t(random() % 40);
            for (int32_t i = x; i < std::min(width, x + run); ++i) picture.at(i, y) = 1;
            x += run + 1 + int32_t(random() % 300);
        }
    }
    return picture;
}

// Each page of the file as sfftobmp reads it, rows not repeated. sfftobmp
// writes width / 8 whole bytes per row, so pages here have whole-byte widths.
std::vector<Picture> sfftobmpPages(const ScratchFolder& scratch, const std::string& sff, size_t pages)
{
    std::vector<Picture> read;
    if (runTool({"/usr/bin/sfftobmp", "-q", "-r", "-p", sff, "-o", scratch.file("oracle.pbm")}) != 0) return read;
    for (size_t index = 0; index < pages; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "oracle_%03zu.pbm", index + 1);
        read.push_back(readPbm(scratch / (pages == 1 ? "oracle.pbm" : name)));
    }
    return read;
}

TEST(SffReader, EveryRecordKindReadsAsSfftobmpReadsIt)
{
    if (!faxtest::toolsAvailable({"/usr/bin/sfftobmp"})) GTEST_SKIP() << "sfftobmp is not installed (scripts/install-deps.sh --test)";
    const Picture letter = noisyPicture(1728, 60, 1);
    const Picture wide = noisyPicture(2048, 30, 2);

    // Lines with user information and an unreadable line among them.
    SffBytes interrupted;
    for (int32_t y = 0; y < letter.height; ++y) {
        if (y == 20) addSffUserInformation(interrupted, {'a', 'b', 'c'});
        if (y == 30) addSffUnreadableLine(interrupted);
        if (y == 40) addSffUserInformation(interrupted, SffBytes(255, 'x'));
        addSffLine(interrupted, sffCodedRow(letter, y));
    }
    struct Page {
        uint16_t rows;
        int16_t yResolution;
    };
    struct Case {
        std::string name;
        std::vector<SffPage> pages;
        std::vector<Page> expected;
        SffBytes userData = {'u', 's', 'e', 'r'};
    };
    const std::vector<Case> cases = {
        {"standard and fine pages, white lines, both line forms",
         {{0, 1728, 60, sffPictureRecords(letter, 3)}, {1, 2048, 30, sffPictureRecords(wide)}},
         {{60, 98}, {30, 196}}},
        {"more lines than the header says, then a page cut short",
         {{1, 1728, 10, sffPictureRecords(letter)}, {0, 2048, 900, sffPictureRecords(wide)}},
         {{60, 196}, {30, 98}}},
        {"user information skipped; an unreadable line repeats the row before",
         {{0, 1728, 61, interrupted}},
         {{61, 98}}},
        {"no user data before the first page; white lines past 37 in a row",
         {{1, 1728, 0, [&] {
               SffBytes records = sffPictureRecords(letter);
               addSffWhiteLines(records, 100);
               return records;
           }()}},
         {{160, 196}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder scratch;
        const std::string path = scratch.file("letter.sff");
        writeBytes(path, sffFile(c.pages, c.userData));
        ASSERT_EQ(identifyFormat(path), Sff);
        const std::vector<PageBitmap> pages = faxtest::readDocumentPages(path);
        const std::vector<Picture> oracle = sfftobmpPages(scratch, path, c.expected.size());
        ASSERT_EQ(pages.size(), c.expected.size());
        ASSERT_EQ(oracle.size(), c.expected.size());
        for (size_t index = 0; index < pages.size(); ++index) {
            SCOPED_TRACE("page " + std::to_string(index + 1));
            EXPECT_EQ(pages[index].rows, c.expected[index].rows);
            EXPECT_EQ(pages[index].xResolution, 203);
            EXPECT_EQ(pages[index].yResolution, c.expected[index].yResolution);
            EXPECT_EQ(compareFirstDifference(oracle[index], pictureOf(pages[index])), "");
        }
    }
}

}  // namespace
}  // namespace pagelift::testing

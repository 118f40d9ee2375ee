// JBIG pages, bare and in TIFF files, read beside libtiff's JBIG codec and
// jbigkit's jbgtopbm: both TIFF compressions, both bit orders, progressive
// and sequential BIEs, several stripes, the fax profile's NEWLEN, two pages
// in a file. Then BIEs that lie about their size or stop short.

#include "faxdoc/fax_format.h"
#include "faxdoc/jbig_image.h"
#include "faxdoc/readers/jbig_reader.h"
#include "support/fax_fixtures.h"
#include "support/jbig_files.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <functional>

namespace pagelift::testing {
namespace {

class JbigPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = missingTool(kJbigTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (jbigkit-bin) to write and read JBIG pages";
        if (missingTool(kRawStreamTools).empty()) {
            letter_ = textPicture(scratch_, "A LETTER\n\nsent to a fax server\nthat keeps JBIG pages.", 1728, 600, 2);
            memo_ = textPicture(scratch_, "MEMO\n\n0123456789", 1728, 300, 2);
        }
        if (letter_.height == 0) GTEST_SKIP() << "needs netpbm to draw the test pages";
    }

    JbigBytes bie(const Picture& picture, const std::string& options) const
    {
        return pbmtojbgImage(scratch_, picture, options);
    }

    ScratchFolder scratch_;
    Picture letter_;
    Picture memo_;
};

// Which independent reading a case is compared with.
enum class Oracle {
    Libtiff,   // libtiff's JBIG codec, strip by strip
    Jbgtopbm,  // jbgtopbm on each page's BIE
};

TEST_F(JbigPagesTest, PagesReadAsLibtiffAndJbgtopbmReadThem)
{
    const JbigBytes sequential = bie(letter_, "-q");
    const JbigBytes progressive = bie(letter_, "");
    const JbigBytes faxProfile = bie(letter_, "-f -s 64");
    const JbigBytes newlen = bie(memo_, "-f -s 32 -Y 5000");
    ASSERT_FALSE(sequential.empty() || progressive.empty() || faxProfile.empty() || newlen.empty());
    const uint32_t width = uint32_t(letter_.width);
    const auto letterRows = uint32_t(letter_.height);
    const auto memoRows = uint32_t(memo_.height);
    struct Case {
        std::string name;
        std::string extension;
        std::vector<JbigTiffPage> pages;  // for a bare file: the one BIE, as stored
        Oracle oracle;
        std::vector<JbigBytes> bies;  // what jbgtopbm reads, page by page
    };
    const std::vector<Case> cases = {
        {"a bare sequential BIE", "jbg", {{sequential}}, Oracle::Jbgtopbm, {sequential}},
        {"a bare progressive BIE with differential layers", "jbig", {{progressive}}, Oracle::Jbgtopbm, {progressive}},
        {"a bare fax-profile BIE announced taller than it is (NEWLEN)", "jbg", {{newlen}}, Oracle::Jbgtopbm, {newlen}},
        {"libtiff's JBIG under fill order 1: the BIE bit-reversed", "tif",
         {{bitReversed(faxProfile), width, letterRows, 34661, 1, 0}}, Oracle::Libtiff, {}},
        {"libtiff's JBIG under fill order 2: the BIE as it is", "tif",
         {{faxProfile, width, letterRows, 34661, 2, 0}}, Oracle::Libtiff, {}},
        {"libtiff's JBIG, min-is-black", "tif", {{bitReversed(sequential), width, letterRows, 34661, 1, 1}},
         Oracle::Libtiff, {}},
        {"two pages, the second announced taller than it is (NEWLEN)", "tif",
         {{bitReversed(faxProfile), width, letterRows, 34661, 1, 0}, {bitReversed(newlen), width, memoRows, 34661, 1, 0}},
         Oracle::Libtiff, {}},
        {"TIFF-FX T.85 pages, BIEs as they are", "tif",
         {{faxProfile, width, letterRows, 9, 1, 0}, {newlen, width, memoRows, 9, 1, 0}}, Oracle::Jbgtopbm, {faxProfile, newlen}},
        {"a fill order tag that does not match the BIE: the header decides", "tif",
         {{faxProfile, width, letterRows, 34661, 1, 0}}, Oracle::Jbgtopbm, {faxProfile}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder scratch;
        const std::string path = scratch.file("fax." + c.extension);
        writeBytes(path, c.extension == "tif" ? jbigTiffFile(c.pages) : c.pages[0].bie);
        std::vector<Picture> expected;
        if (c.oracle == Oracle::Libtiff) {
            const auto pictures = libtiffStripPictures(path);
            if (!pictures) GTEST_SKIP() << "this build has no libtiff (libtiff-dev) to decode JBIG strips with";
            expected = *pictures;
        } else {
            for (const JbigBytes& page : c.bies) expected.push_back(jbgtopbmPicture(scratch, page));
        }
        const std::vector<PageBitmap> pages = faxtest::readDocumentPages(path);
        ASSERT_EQ(pages.size(), c.pages.size());
        ASSERT_EQ(expected.size(), c.pages.size());
        for (size_t index = 0; index < pages.size(); ++index) {
            SCOPED_TRACE("page " + std::to_string(index + 1));
            ASSERT_GT(expected[index].height, 0) << "the oracle read nothing";
            EXPECT_EQ(compareFirstDifference(expected[index], pictureOf(pages[index])), "");
            EXPECT_EQ(pages[index].xResolution, c.extension == "tif" ? 204 : 200);
            EXPECT_EQ(pages[index].yResolution, c.extension == "tif" ? 196 : 200);
        }
    }
}

TEST_F(JbigPagesTest, BiesThatLieAboutTheirSizeOrStopShortGiveNoPixels)
{
    const JbigBytes page = bie(memo_, "-q");
    ASSERT_FALSE(page.empty());
    const auto withSize = [&](uint32_t width, uint32_t height) {
        JbigBytes lying = page;
        for (int i = 0; i < 4; ++i) {
            lying[size_t(4 + i)] = uint8_t(width >> (24 - 8 * i));
            lying[size_t(8 + i)] = uint8_t(height >> (24 - 8 * i));
        }
        return lying;
    };
    struct Case {
        std::string name;
        JbigBytes bytes;
        int result;
        int32_t describedWidth;  // a page too large is described by its size
        int32_t describedRows;
    };
    const std::vector<Case> cases = {
        {"the whole page", page, JbigDecoded, memo_.width, memo_.height},
        {"taller than the pixel limit", withSize(1728, 60000), JbigTooLarge, 1728, 60000},
        {"wider than a page side may be", withSize(70000, 10), JbigTooLarge, 70000, 10},
        {"4 billion rows", withSize(1728, 0xFFFFFFFFu), JbigTooLarge, 1728, INT32_MAX},
        {"no rows", withSize(1728, 0), JbigDamaged, 0, 0},
        {"cut after its header", JbigBytes(page.begin(), page.begin() + 20), JbigDamaged, 0, 0},
        {"cut in half", JbigBytes(page.begin(), page.begin() + ptrdiff_t(page.size() / 2)), JbigDamaged, 0, 0},
        {"no BIE header", JbigBytes(page.size(), 0x55), JbigNoImage, 0, 0},
        {"shorter than a header", JbigBytes(page.begin(), page.begin() + 19), JbigNoImage, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PageBitmap decoded;
        EXPECT_EQ(decodeJbigImage(c.bytes.data(), c.bytes.size(), JbigReading{}, decoded), c.result);
        EXPECT_EQ(decoded.width, c.describedWidth);
        EXPECT_EQ(decoded.rows, c.describedRows);
        if (c.result != JbigDecoded) {
            EXPECT_TRUE(decoded.pixels.empty());
        }
    }
}

}  // namespace
}  // namespace pagelift::testing

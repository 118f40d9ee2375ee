// One-dimensional page decoders on hand-made streams: the tolerance rules
// that independent encoders never exercise.

#include "ccitt/ccitt.h"
#include "support/ccitt_test_streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pagelift {
namespace {

using testing::CodedStream;
using testing::kEol;
using testing::mhLine;
using testing::pageText;
using testing::workImageText;
using testing::runCodeBits;

enum class MhEntry { EolPage, RowsNoEol, PrefixedNoWord, PrefixedWithWord };

struct MhCase {
    const char* name;
    MhEntry entry;
    std::string bits;
    int32_t width;
    int32_t height;
    int result;
    std::vector<std::string> rows;
};

int runEntry(MhEntry entry, CcittDecoder& decoder, PageBitmap& page)
{
    switch (entry) {
    case MhEntry::EolPage: return decodeMhEolPage(decoder, page);
    case MhEntry::RowsNoEol: return decodeMhPage(decoder, page, 0);
    case MhEntry::PrefixedNoWord: return decodeMhPrefixedPage(decoder, page, 0);
    case MhEntry::PrefixedWithWord: return decodeMhPrefixedPage(decoder, page, 1);
    }
    return -99;
}

const std::string kWord = "1111111111111111";  // would decode as white runs if it were read
const std::string kInvalidWhite = "000000001";  // eight zeros then a one

TEST(CcittMhPages, TolerateDamagedAndUnusualLines)
{
    const std::string w8 = "WWWWWWWW";
    const std::string w3b5 = "WWWBBBBB";
    const std::string w2b6 = "WWBBBBBB";
    std::string sixteenShort;
    for (int i = 0; i < 16; ++i) sixteenShort += mhLine({2, 3}) + kEol;
    const std::vector<std::string> sixteenShortRows(16, "WWBBBWWW");
    std::vector<std::string> keptAmongGood = {w8};
    keptAmongGood.insert(keptAmongGood.end(), sixteenShortRows.begin(), sixteenShortRows.end());
    keptAmongGood.push_back(w3b5);
    const MhCase cases[] = {
        // Damaged lines between good lines keep their row: what they decoded,
        // cut at the width, white after it.
        {"a short line keeps its row between good lines", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({2, 3}) + kEol + mhLine({3, 5}) + kEol, 8, 4, 1, {w8, "WWBBBWWW", w3b5}},
        {"a line passing the width keeps the runs before the one that passes it", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({2, 3, 5}) + "1000 1000" + kEol + mhLine({3, 5}) + kEol, 8, 4, 1,
         {w8, "WWBBBWWW", w3b5}},
        {"a line broken by an invalid code keeps what it decoded", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({2, 3}) + kInvalidWhite + "1100" + kEol + mhLine({3, 5}) + kEol, 8, 4, 1,
         {w8, "WWBBBWWW", w3b5}},
        {"sixteen damaged lines in a row keep their rows", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + sixteenShort + mhLine({3, 5}) + kEol, 8, 20, 16, keptAmongGood},
        {"a seventeenth drops them all", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + sixteenShort + mhLine({2, 3}) + kEol + mhLine({3, 5}) + kEol, 8, 20, 17,
         {w8, w3b5}},
        // Lines whose EOL was damaged, or that a false EOL split, keep the
        // rows below in place.
        {"an EOL with one zero flipped after a complete line is taken", MhEntry::EolPage,
         kEol + mhLine({8}) + "000010000001" + mhLine({3, 5}) + kEol + mhLine({2, 6}) + kEol, 8, 4, 0, {w8, w3b5, w2b6}},
        {"a line that follows a complete line without an EOL comes out whole", MhEntry::EolPage,
         kEol + mhLine({8}) + mhLine({3, 5}) + kEol + mhLine({2, 6}) + kEol, 8, 4, 0, {w8, w3b5, w2b6}},
        {"junk after a complete line up to the next EOL keeps no row", MhEntry::EolPage,
         kEol + mhLine({8}) + mhLine({3}) + kEol + mhLine({3, 5}) + kEol, 8, 4, 0, {w8, w3b5}},
        {"two short lines that add up to the width are one line split by a false EOL", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({3}) + kEol + mhLine({0, 5}) + kEol + mhLine({2, 6}) + kEol, 8, 4, 1,
         {w8, w3b5, w2b6}},
        // Make-up codes of 320 and 960 pixels, the last two zeros of the
        // second being the EOL's first: the code after them breaks inside
        // the EOL, which must still be found.
        {"a broken code that read into the EOL after it loses no line", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + "00110110" + "011010100" + "0000000001" + mhLine({3, 5}) + kEol +
             mhLine({2, 6}) + kEol,
         8, 5, 1, {w8, w8, w3b5, w2b6}},
        // Elsewhere they are noise and add no row.
        {"a short line before any good line is dropped", MhEntry::EolPage,
         kEol + mhLine({3}) + kEol + mhLine({3, 5}) + kEol, 8, 4, 1, {w3b5}},
        {"a line passing the width before any good line is dropped", MhEntry::EolPage,
         kEol + mhLine({6, 5}) + "1000 1000" + kEol + mhLine({8}) + kEol, 8, 4, 1, {w8}},
        {"an empty line drops the damaged lines before it", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({2, 3}) + kEol + kEol + mhLine({3, 5}) + kEol, 8, 4, 1, {w8, w3b5}},
        {"the end of the data drops them", MhEntry::EolPage, kEol + mhLine({8}) + kEol + mhLine({2, 3}) + kEol, 8, 4, 1,
         {w8}},
        {"fill zeros before an EOL are accepted", MhEntry::EolPage,
         kEol + mhLine({8}) + "0000000000000" + kEol + mhLine({3, 5}) + "000" + kEol, 8, 4, 0, {w8, w3b5}},
        {"data need not start with an EOL", MhEntry::EolPage, mhLine({8}) + kEol + mhLine({2, 6}) + kEol, 8, 4, 0,
         {w8, w2b6}},
        {"an invalid code is counted and decoding resumes at the next EOL", MhEntry::EolPage,
         kEol + mhLine({2}) + kInvalidWhite + "1100" + kEol + mhLine({3, 5}) + kEol, 8, 4, 1, {w3b5}},
        {"junk after a whole line spoils only its EOL", MhEntry::EolPage,
         kEol + mhLine({8}) + kInvalidWhite + "1100" + kEol + mhLine({3, 5}) + kEol, 8, 4, 0, {w8, w3b5}},
        {"lines past the height are decoded and not stored", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({3, 5}) + kEol + mhLine({2, 6}) + kEol, 8, 1, 0, {w8}},
        {"a complete line at the end of the data counts without its EOL", MhEntry::EolPage,
         kEol + mhLine({3, 5}) + kEol + mhLine({2, 6}), 8, 4, 0, {w3b5, w2b6}},
        {"an incomplete line at the end of the data does not count", MhEntry::EolPage,
         kEol + mhLine({3, 5}) + kEol + mhLine({2}), 8, 4, 0, {w3b5}},
        {"held rows past the height are not stored", MhEntry::EolPage,
         kEol + mhLine({8}) + kEol + mhLine({2, 3}) + kEol + mhLine({3, 5}) + kEol, 8, 2, 1, {w8, "WWBBBWWW"}},
        {"an invalid code ends rows without EOL with result 1", MhEntry::RowsNoEol,
         mhLine({8}) + "000" + mhLine({3}) + "0000000001" + "0000000", 8, 4, 1, {w8}},
        {"a row passing the width ends rows without EOL", MhEntry::RowsNoEol,
         mhLine({8}) + "000" + mhLine({5, 5}) + "00" + mhLine({8}) + "000", 8, 4, 0, {w8}},
        {"rows without EOL start on byte boundaries", MhEntry::RowsNoEol,
         mhLine({1, 7}) + "00000" + mhLine({2, 6}) + "00000000", 8, 4, 0, {"WBBBBBBB", w2b6}},
        {"a line reaching the width ends without waiting for the EOL", MhEntry::PrefixedNoWord,
         mhLine({8}) + mhLine({3, 5}) + kEol + mhLine({2, 6}) + kEol, 8, 4, 0, {w8, w3b5, w2b6}},
        {"the word before each line is skipped unread", MhEntry::PrefixedWithWord,
         kWord + mhLine({8}) + "000" + kWord + mhLine({3, 5}) + kWord + kEol + "0000", 8, 4, 0, {w8, w3b5}},
        {"the prefixed page also resumes after an invalid code", MhEntry::PrefixedNoWord,
         kInvalidWhite + "1111" + kEol + mhLine({3, 5}), 8, 4, 1, {w3b5}},
        {"the EOL after a line complete at the width is no empty line", MhEntry::PrefixedNoWord,
         mhLine({8}) + kEol + mhLine({2, 3}) + kEol + mhLine({3, 5}) + kEol, 8, 4, 1, {w8, "WWBBBWWW", w3b5}},
    };
    for (const MhCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CodedStream stream(c.bits);
        CcittDecoder decoder(stream.bytes.data(), stream.size(), 1, FaxMhWithEol, 0);
        decoder.setGeometry(c.width, c.height);
        PageBitmap page;
        EXPECT_EQ(runEntry(c.entry, decoder, page), c.result);
        EXPECT_EQ(pageText(page), c.rows);
        // The raw-stream writer runs the same loop from the first EOL, with
        // no page height: the same rows.
        if (c.entry == MhEntry::EolPage && c.bits.rfind(kEol, 0) == 0 && c.height > int32_t(c.rows.size())) {
            EXPECT_EQ(workImageText(stream.bytes, c.width, FaxMhWithEol), c.rows) << "working image";
        }
    }
}

TEST(CcittMhPages, EolInRowsWithoutEolCountsAsALongMakeUp)
{
    // No EOL belongs in these rows; the decoder counts one as 63 x 64 pixels.
    const CodedStream stream(kEol + runCodeBits(5, 0) + "0000");
    CcittDecoder decoder(stream.bytes.data(), stream.size(), 1, FaxMhByteAligned, 0);
    decoder.setGeometry(63 * 64 + 5, 2);
    PageBitmap page;
    EXPECT_EQ(decodePage(decoder, page), 0);
    ASSERT_EQ(page.rows, 1);
    EXPECT_EQ(testing::rowText(page, 0), std::string(63 * 64 + 5, 'W'));
}

TEST(CcittMhPages, PolarityDecidesWhichRunsAreOneBits)
{
    const CodedStream stream(kEol + mhLine({1728}) + kEol + mhLine({0, 1728}) + kEol);
    for (const uint8_t polarity : {uint8_t(0), uint8_t(1)}) {
        CcittDecoder decoder(stream.bytes.data(), stream.size(), 1, FaxMhWithEol, polarity);
        decoder.setGeometry(1728, 2);
        PageBitmap page;
        EXPECT_EQ(decodePage(decoder, page), 0);
        ASSERT_EQ(page.rows, 2);
        const uint8_t whiteByte = polarity == 0 ? 0xFF : 0x00;
        EXPECT_EQ(std::vector<uint8_t>(page.pixels.begin(), page.pixels.begin() + 216),
                  std::vector<uint8_t>(216, whiteByte));
        EXPECT_EQ(std::vector<uint8_t>(page.pixels.begin() + 216, page.pixels.end()),
                  std::vector<uint8_t>(216, uint8_t(~whiteByte)));
        EXPECT_EQ(page.photometric, polarity);
    }
}

TEST(CcittMhPages, SetUpFillsTheHeaderFromTheDecoder)
{
    struct Case {
        int32_t width;
        uint16_t xResolution;
        uint8_t paperSize;
    };
    const std::vector<uint8_t> bytes = {0x00, 0x01};
    for (const Case& c : {Case{1728, 200, 1}, Case{3600, 300, 3}, Case{5000, 400, 3}}) {
        CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 2, FaxMhWithEol, 1);
        decoder.setGeometry(c.width, 3);
        PageBitmap page;
        decodePage(decoder, page);
        EXPECT_EQ(page.width, c.width);
        EXPECT_EQ(page.bytesPerRow, (c.width + 7) / 8);
        EXPECT_EQ(page.xResolution, c.xResolution);
        EXPECT_EQ(page.paperSize, c.paperSize);
        EXPECT_EQ(page.yResolution, 100);
        EXPECT_EQ(page.resolutionUnit, 2);
        EXPECT_EQ(page.planes, 1);
        EXPECT_EQ(page.bitsPerPixel, 1);
        EXPECT_EQ(page.codedLength, 2u);
        EXPECT_EQ(page.fillOrder, 2);
        EXPECT_EQ(page.coding, FaxMhWithEol);
        EXPECT_EQ(page.photometric, 1);
    }
}

TEST(CcittMhPages, UnusableGeometryIsRefusedWithoutAllocating)
{
    struct Case {
        int32_t width;
        int32_t height;
    };
    const std::vector<uint8_t> bytes = {0x00, 0x01, 0x99};
    for (const Case& c : {Case{0, 10}, Case{-8, 10}, Case{1728, -1}, Case{1 << 30, 2}, Case{65536, 20000},
                          Case{2147483647, 1}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        for (const uint8_t coding : {FaxMhByteAligned, FaxMhWordAligned, FaxMhWithEol, FaxMr}) {
            CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, coding, 0);
            decoder.setGeometry(c.width, c.height);
            PageBitmap page;
            page.pixels.assign(10, 0xAA);  // a previous page's pixels are let go
            page.rows = 5;
            EXPECT_EQ(decodePage(decoder, page), -1);
            EXPECT_EQ(page.rows, 0);
            EXPECT_TRUE(page.pixels.empty());
        }
    }
}

TEST(CcittMhPages, CodingsWithoutAPageDecoderAreRefused)
{
    const std::vector<uint8_t> bytes = {0x00, 0x01};
    for (const uint8_t coding : {uint8_t(0), uint8_t(2), uint8_t(FaxMmr), uint8_t(8)}) {
        CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, coding, 0);
        decoder.setGeometry(8, 2);
        PageBitmap page;
        EXPECT_EQ(decodePage(decoder, page), -1) << "coding " << int(coding);
    }
}

}  // namespace
}  // namespace pagelift

// MR and MMR page decoders and the MMR flag search on hand-made streams: the
// resynchronisation rules that independent encoders never exercise.

#include "ccitt/ccitt.h"
#include "support/ccitt_test_streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pagelift {
namespace {

using testing::CodedStream;
using testing::horizontalMode;
using testing::kEol;
using testing::mhLine;
using testing::pageText;
using testing::workImageText;

const std::string kV0 = "1";
const std::string kVL3 = "0000010";
const std::string kPass = "0001";
const std::string kUncompressed = "0000001111";
const std::string kTag1 = kEol + "1";
const std::string kTag0 = kEol + "0";

std::string repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

struct PageCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t width;
    int32_t height;
    int result;
    std::vector<std::string> rows;
    // MMR only: what a line that cannot be decoded leads to.
    MmrDamage damage = MmrDamage::ResumeAtFlag;
    bool linesPassingWidthBreak = false;
};

std::vector<uint8_t> bits(const std::string& text) { return testing::bytesFromBits(text); }

TEST(CcittMrPages, ResynchroniseOnOneDimensionalLines)
{
    const std::string w8 = "WWWWWWWW";
    const std::string w3b5 = "WWWBBBBB";
    const PageCase cases[] = {
        {"lines before the first EOL with tag 1 are skipped",
         bits(kTag0 + kV0 + kTag1 + mhLine({3, 5}) + kTag0 + kV0 + kV0 + repeat(kTag1, 6)), 8, 8, 0, {w3b5, w3b5}},
        {"data not starting with an EOL lose their first line",
         bits(mhLine({8}) + kTag1 + mhLine({3, 5}) + kTag1), 8, 8, 0, {w3b5}},
        // A damaged line keeps what it decoded, white after it, and is the
        // reference of the two-dimensional lines up to the next
        // one-dimensional line: each keeps what it decodes against it.
        {"a short two-dimensional line, then a short one against it, then a one-dimensional line",
         bits(kTag1 + mhLine({8}) + kTag0 + horizontalMode(3, 2) + kTag0 + kV0 + kTag1 + mhLine({3, 5}) + kTag1), 8,
         8, 2, {w8, "WWWBBWWW", w8, w3b5}},
        {"a two-dimensional line decodes whole against the damaged line",
         bits(kTag1 + mhLine({3, 5}) + kTag0 + horizontalMode(3, 2) + kTag0 + kV0 + kV0 + kV0 + kTag0 + kV0 + kTag1 +
              mhLine({8}) + kTag1),
         8, 8, 2, {w3b5, "WWWBBWWW", "WWWBBWWW", w8, w8}},
        {"a one-dimensional line right after a damaged line is kept",
         bits(kTag1 + mhLine({8}) + kTag0 + horizontalMode(3, 2) + kTag1 + mhLine({3, 5}) + kTag1), 8, 8, 1,
         {w8, "WWWBBWWW", w3b5}},
        {"the uncompressed-mode extension makes a bad line",
         bits(kTag1 + mhLine({3, 5}) + kTag0 + kUncompressed + "1111" + kTag1 + mhLine({3, 5}) + kTag1), 8, 8, 1,
         {w3b5, w8, w3b5}},
        {"a vertical-left code moving back past a0 makes a bad line",
         bits(kTag1 + mhLine({8, 1, 7}) + kTag0 + kV0 + kVL3 + kTag1 + mhLine({16}) + kTag1), 16, 8, 1,
         {"WWWWWWWWBWWWWWWW", std::string(16, 'W'), std::string(16, 'W')}},
        {"damaged lines with no good line after them add no row",
         bits(kTag1 + mhLine({8}) + kTag0 + horizontalMode(3, 2) + kTag0 + kV0 + repeat(kTag1, 6)), 8, 8, 2, {w8}},
        {"a complete line at the end of the data counts", bits(kTag1 + mhLine({3, 5}) + kTag0 + kV0 + kV0), 8, 8, 0,
         {w3b5, w3b5}},
        {"lines past the height are decoded and not stored",
         bits(kTag1 + mhLine({3, 5}) + kTag0 + kV0 + kV0 + kTag0 + kV0 + kV0 + kTag1), 8, 1, 0, {w3b5}},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        CcittDecoder decoder(c.bytes.data(), int32_t(c.bytes.size()), 1, FaxMr, 0);
        decoder.setGeometry(c.width, c.height);
        PageBitmap page;
        EXPECT_EQ(decodePage(decoder, page), c.result);
        EXPECT_EQ(page.coding, FaxMr);
        EXPECT_EQ(pageText(page), c.rows);
        // The raw-stream writer runs the same loop with no page height.
        if (c.height > int32_t(c.rows.size())) {
            EXPECT_EQ(workImageText(c.bytes, c.width, FaxMr), c.rows) << "working image";
        }
    }
}

TEST(CcittMrPages, DataWithoutAnEolAndTagOneAreRefused)
{
    const CodedStream stream(mhLine({8}) + kTag0 + kV0);
    CcittDecoder decoder(stream.bytes.data(), stream.size(), 1, FaxMr, 0);
    decoder.setGeometry(8, 4);
    PageBitmap page;
    EXPECT_EQ(decodePage(decoder, page), -1);
    EXPECT_EQ(page.rows, 0);
    EXPECT_TRUE(page.pixels.empty());
}

TEST(CcittMmrPages, DecodeAndResynchronise)
{
    const std::string w8b8 = "WWWWWWWWBBBBBBBB";
    const std::string white = std::string(16, 'W');
    std::vector<uint8_t> flagged = bits(horizontalMode(8, 8) + kUncompressed);  // exactly three bytes
    flagged.insert(flagged.end(), {0xFF, 0xFF});
    const std::vector<uint8_t> afterFlag = bits(horizontalMode(4, 12));
    flagged.insert(flagged.end(), afterFlag.begin(), afterFlag.end());

    const PageCase cases[] = {
        {"all-white lines coded as V0 against the white reference", bits(repeat(kV0, 5)), 16, 8, 0,
         {white, white, white, white, white}},
        {"a pass code reaching the width does not end the line",
         bits(horizontalMode(8, 8) + kPass + kV0), 16, 8, 0, {w8b8, white}},
        {"a line ended by a pass code alone does not count", bits(horizontalMode(8, 8) + kPass), 16, 8, 0, {w8b8}},
        {"a stream ending right after a complete line counts that line", {0xFF}, 16, 10, 0,
         {white, white, white, white, white, white, white, white}},
        {"EOFB ends the page", bits(horizontalMode(8, 8) + kEol + kEol), 16, 8, 0, {w8b8}},
        {"a vertical-left code moving back past a0 stops decoding without a flag",
         bits(horizontalMode(8, 1) + kV0 + kV0 + kVL3 + kV0), 16, 8, BadCode, {"WWWWWWWWBWWWWWWW"}},
        {"an invalid code sends the decoder to the next flag", flagged, 16, 8, 0, {w8b8, "WWWWBBBBBBBBBBBB"}},
        {"no data at all", bits(""), 16, 8, EndOfData, {}},
        {"lines past the height are decoded and not stored", bits(repeat(kV0, 5)), 16, 2, 0, {white, white}},
        {"a stray EOL sets the reference white", bits(horizontalMode(8, 8) + kEol + horizontalMode(4, 12)), 16, 8,
         0, {w8b8, "WWWWBBBBBBBBBBBB"}},
        {"a line past the width is cut at it", bits(horizontalMode(8, 8) + horizontalMode(3, 14) + kV0 + kV0), 16, 8, 0,
         {w8b8, "WWWBBBBBBBBBBBBB", "WWWBBBBBBBBBBBBB"}},
        // Inside a TIFF strip nothing after the damage is drawn.
        {"where lines end at damage, an invalid code ends them though a flag follows", flagged, 16, 8, BadCode,
         {w8b8}, MmrDamage::EndLines},
        {"where lines end at damage, a stray EOL ends them",
         bits(horizontalMode(8, 8) + kEol + horizontalMode(4, 12)), 16, 8, 0, {w8b8}, MmrDamage::EndLines},
        {"where lines end at damage, EOFB ends them", bits(horizontalMode(8, 8) + kEol + kEol), 16, 8, 0, {w8b8},
         MmrDamage::EndLines},
        {"a line past the width ends them when such lines break",
         bits(horizontalMode(8, 8) + horizontalMode(3, 14) + kV0), 16, 8, BadCode, {w8b8}, MmrDamage::EndLines,
         true},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = c.bytes.empty() ? std::vector<uint8_t>{0} : c.bytes;
        MmrDecoder decoder(bytes.data(), c.bytes.empty() ? 0 : int32_t(bytes.size()), 1, 0, 0, 3);
        decoder.setDamageRule(c.damage);
        decoder.setLinesPassingWidthBreak(c.linesPassingWidthBreak);
        decoder.setGeometry(c.width, c.height);
        PageBitmap page;
        EXPECT_EQ(decodeMmr(decoder, page), c.result);
        EXPECT_EQ(page.coding, FaxMmr);
        EXPECT_EQ(pageText(page), c.rows);
    }
}

TEST(CcittMmrPages, OptionsAskingForUncompressedModeAreRefused)
{
    const std::vector<uint8_t> bytes = bits(repeat(kV0, 4));
    for (const uint8_t options : {uint8_t(0), uint8_t(1), uint8_t(2), uint8_t(3), uint8_t(4)}) {
        MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, options, 0, 3);
        decoder.setGeometry(16, 4);
        PageBitmap page;
        const bool refused = (options & 3) == 1 || (options & 3) == 3;
        EXPECT_EQ(decodeMmr(decoder, page), refused ? -1 : 0) << "options " << int(options);
        EXPECT_EQ(page.rows, refused ? 0 : 4) << "options " << int(options);
    }
}

TEST(CcittFlagSearch, FindsTheStartOfDataAfterAFlagRun)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint8_t bitOrder;
        uint8_t flagCount;
        int result;
        int position;  // bits before the reader afterwards
        int32_t mark;
        int32_t resume;
    };
    const Case cases[] = {
        {"two flag bytes suffice for a count of 3", {0x12, 0xFF, 0xFF, 0x3F, 0x00}, 1, 3, 0, 24, 1, 4},
        {"ones continuing the flag are skipped", {0x12, 0xFF, 0xFF, 0xE5, 0x00}, 1, 3, 0, 27, 1, 4},
        {"a flag not followed by two zeros is passed over",
         {0x12, 0xFF, 0xFF, 0xA0, 0xFF, 0xFF, 0x1F, 0x00}, 1, 3, 0, 48, 4, 7},
        {"a run shorter than the count is passed over", {0xFF, 0xFF, 0x1F}, 1, 4, -3, 0, 0, 0},
        {"one flag byte suffices for a count of 2", {0x12, 0xFF, 0x1F, 0x00}, 1, 2, 0, 16, 1, 3},
        {"a count of 0 needs no flag byte", {0x1F, 0x00}, 1, 0, 0, 0, 0, 1},
        {"least significant bit first", {0x12, 0xFF, 0xFF, 0x1F, 0x00}, 2, 3, 0, 29, 1, 4},
        {"no flag at all", {0x12, 0x34}, 1, 3, -3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MmrDecoder decoder(c.bytes.data(), int32_t(c.bytes.size()), c.bitOrder, 0, 0, c.flagCount);
        EXPECT_EQ(findFlag(decoder, 0), c.result);
        if (c.result == 0) {
            EXPECT_EQ(decoder.bytePos() * 8 + decoder.bitPos(), c.position);
            EXPECT_EQ(decoder.markPos(), c.mark);
            EXPECT_EQ(decoder.resumePoint(), c.resume);
        }
    }
}

TEST(CcittFlagSearch, ModesChooseWhereTheSearchStarts)
{
    const std::vector<uint8_t> bytes = {0x12, 0xFF, 0xFF, 0x1F, 0x00, 0xFF, 0xFF, 0x1F, 0x00};
    MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    ASSERT_EQ(findFlag(decoder, 0), 0);
    EXPECT_EQ(decoder.bytePos(), 3);
    ASSERT_EQ(findFlag(decoder, 1), 0);  // from the resume point, byte 4
    EXPECT_EQ(decoder.bytePos(), 7);
    ASSERT_EQ(findFlag(decoder, 0), 0);  // from the start again
    EXPECT_EQ(decoder.bytePos(), 3);
    decoder.seekByte(5);
    ASSERT_EQ(findFlag(decoder, 2), 0);  // the current byte is later than the resume point
    EXPECT_EQ(decoder.bytePos(), 7);
    decoder.seekByte(0);
    EXPECT_EQ(findFlag(decoder, 2), -3);  // the resume point (8) is later: nothing left

    // Each decoder keeps its own resume point.
    MmrDecoder other(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    ASSERT_EQ(findFlag(other, 1), 0);
    EXPECT_EQ(other.bytePos(), 3);
}

TEST(CcittFlagSearch, RawStreamsStartWhereTheReaderStands)
{
    const std::vector<uint8_t> bytes = {0x12, 0xFF, 0xFF, 0x1F};
    MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    decoder.setRawStream(1);
    decoder.readBits(3);
    EXPECT_EQ(findFlag(decoder, 0), 0);
    EXPECT_EQ(decoder.bytePos() * 8 + decoder.bitPos(), 3);
}

}  // namespace
}  // namespace pagelift

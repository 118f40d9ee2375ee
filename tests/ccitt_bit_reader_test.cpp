// The bit reader, the code trees and the raster helpers of the CCITT decoders.

#include "ccitt/ccitt.h"
#include "ccitt/line_bits.h"
#include "ccitt/row_writer.h"
#include "ccitt/t4_code_tables.h"
#include "support/mh_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace pagelift {
namespace {

using testing::bytesFromBits;

CcittDecoder decoderOn(const std::vector<uint8_t>& bytes, uint8_t bitOrder = 1)
{
    return CcittDecoder(bytes.data(), int32_t(bytes.size()), bitOrder, FaxMhWithEol, 0);
}

// Absolute bit position of the reader.
int bitsConsumed(const CcittDecoder& decoder) { return decoder.bytePos() * 8 + decoder.bitPos(); }

TEST(CcittBitReader, LeastSignificantBitFirstReadsTheLowBitFirst)
{
    const std::vector<uint8_t> bytes = {0x01, 0x80};
    CcittDecoder decoder = decoderOn(bytes, 2);
    std::string bits;
    for (int i = 0; i < 16; ++i) bits += char('0' + decoder.readBits(1));
    EXPECT_EQ(bits, "1000000000000001");
}

TEST(CcittBitReader, GroupsCrossByteBoundaries)
{
    struct Case {
        int skip;  // bits read first
        int count;
        int16_t value;
        int bitPosAfter;
    };
    const std::vector<uint8_t> bytes = {0b10110101, 0b01100000};
    const Case cases[] = {
        {6, 3, 0b010, 1},  // the last two bits of the first byte and the first of the next
        {0, 8, 0b10110101, 8},
        {8, 3, 0b011, 3},  // from a reader standing at bitPos 8
        {5, 8, 0b10101100, 5},
        {7, 1, 1, 8},
    };
    for (const Case& c : cases) {
        CcittDecoder decoder = decoderOn(bytes);
        if (c.skip > 0) decoder.readBits(c.skip);
        EXPECT_EQ(decoder.readBits(c.count), c.value) << "after " << c.skip << " bits";
        EXPECT_EQ(decoder.bitPos(), c.bitPosAfter) << "after " << c.skip << " bits";
    }
}

TEST(CcittBitReader, EndOfDataIsSticky)
{
    const std::vector<uint8_t> bytes = {0xAB};
    CcittDecoder decoder = decoderOn(bytes);
    EXPECT_EQ(decoder.readBits(6), 0b101010);
    EXPECT_EQ(decoder.readBits(3), -3);
    EXPECT_EQ(decoder.readBits(1), -3);
    EXPECT_EQ(decoder.readBits(8), -3);
    EXPECT_EQ(decoder.decodeRun(0), EndOfData);
    EXPECT_EQ(decoder.findEol(), -3);

    CcittDecoder noData(nullptr, 10, 1, FaxMhWithEol, 0);
    EXPECT_EQ(noData.readBits(1), -1);
    CcittDecoder empty(bytes.data(), 0, 1, FaxMhWithEol, 0);
    EXPECT_EQ(empty.readBits(1), -3);
    CcittDecoder negative(bytes.data(), -2147483647 - 1, 1, FaxMhWithEol, 0);
    EXPECT_EQ(negative.readLeaf(kWhiteTree), -3);
    negative.setGeometry(8, 2);
    PageBitmap page;
    EXPECT_EQ(decodePage(negative, page), 0);
    EXPECT_EQ(page.rows, 0);
    CcittDecoder beforeStart = decoderOn(bytes);
    beforeStart.unreadBits(1);
    EXPECT_EQ(beforeStart.current(), -2);
}

TEST(CcittBitReader, UnreadAlignAndSkipWordMoveThePosition)
{
    const std::vector<uint8_t> bytes = {0xF0, 0x0F, 0x55, 0xAA, 0x33};
    CcittDecoder decoder = decoderOn(bytes);
    decoder.readBits(6);
    decoder.readBits(4);  // now on bit 2 of byte 1
    decoder.unreadBits(3);
    EXPECT_EQ(bitsConsumed(decoder), 7);
    EXPECT_EQ(decoder.readBits(2), 0b00);  // last bit of 0xF0, first of 0x0F

    decoder.alignToByte(0);
    EXPECT_EQ(bitsConsumed(decoder), 16);
    decoder.alignToByte(0);  // already aligned: stays
    EXPECT_EQ(bitsConsumed(decoder), 16);
    decoder.readBits(1);
    decoder.alignToByte(1);  // next byte is 3, odd: on to 4
    EXPECT_EQ(decoder.bytePos(), 4);
    EXPECT_EQ(decoder.readBits(8), 0x33);

    CcittDecoder words = decoderOn(bytes);
    words.readBits(3);
    words.skipWord();  // to byte 1, then two bytes on
    EXPECT_EQ(words.bytePos(), 3);
    EXPECT_EQ(words.readBits(8), 0xAA);
    words.skipWord();
    words.skipWord();
    EXPECT_EQ(words.readBits(1), -3);
}

TEST(CcittBitReader, FindEolStopsJustAfterTheOneThatEndsElevenZeros)
{
    struct Case {
        const char* bits;
        int16_t result;
        int position;  // bits consumed afterwards when found
    };
    const Case cases[] = {
        {"1011 0000 0000 0001 1100", 0, 16},
        {"0000 0000 0000 0000 0000 0000 0001 0110", 0, 28},  // fill before a byte-aligned EOL
        {"1111 1110 0000 0000 0001 0000", 0, 20},
        {"1000 0000 0001 0000 0000 0001 1000", 0, 24},  // ten zeros are not enough
        {"0100 0000 0010 0000", -3, 0},
        {"0000 0000", -3, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = bytesFromBits(c.bits);
        CcittDecoder decoder = decoderOn(bytes);
        EXPECT_EQ(decoder.findEol(), c.result) << c.bits;
        if (c.result == 0) {
            EXPECT_EQ(bitsConsumed(decoder), c.position) << c.bits;
        }
    }
}

TEST(CcittCodeTree, EveryT4RunCodeIsReadExactly)
{
    const auto check = [](const char* bits, int colour, int32_t run) {
        // Ones after the code would complete a longer code if the tree read too far.
        const std::vector<uint8_t> bytes = bytesFromBits(std::string(bits) + "11111111");
        CcittDecoder decoder = decoderOn(bytes);
        EXPECT_EQ(decoder.decodeRun(colour), run) << bits << " colour " << colour;
        EXPECT_EQ(bitsConsumed(decoder), int(std::string(bits).size())) << bits;
    };
    for (const t4::RunCode& code : t4::kWhiteCodes) check(code.bits, 0, code.run);
    for (const t4::RunCode& code : t4::kBlackCodes) check(code.bits, 1, code.run);
    for (const t4::RunCode& code : t4::kExtendedMakeUpCodes) {
        check(code.bits, 0, code.run);
        check(code.bits, 1, code.run);
    }
}

TEST(CcittCodeTree, EolAndInvalidCodesFollowTheReadingSchedule)
{
    struct Case {
        const char* bits;
        int colour;  // 0 white, 1 black, 2 the mode tree
        int32_t result;
        int position;
    };
    const Case cases[] = {
        {"000000000001 1111", 0, EolCode, 12},
        {"000000000001 1111", 1, EolCode, 12},
        {"000000000000 10 11", 0, EolCode, 13},      // twelve zeros, 1, 0: the 0 is put back
        {"000000000000 11 11", 1, EolCode, 13},      // the extra 1 is put back
        {"0000000000000000000 1 0000", 0, EolCode, 20},  // any longer zero run
        {"00000000001 111", 0, BadCode, 12},         // ten zeros then a one: read as a pair
        {"0000000001 111111", 0, BadCode, 10},
        {"000000001 1111111", 1, BadCode, 9},
        {"00000001000 11111", 0, 1792, 11},
        {"00000001000 11111", 1, 1792, 11},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = bytesFromBits(c.bits);
        CcittDecoder decoder = decoderOn(bytes);
        EXPECT_EQ(decoder.decodeRun(c.colour), c.result) << c.bits;
        EXPECT_EQ(bitsConsumed(decoder), c.position) << c.bits;
    }
}

TEST(CcittCodeTree, EolAtTheEndOfTheDataNeedsNoBitBeyondAnOddZeroRun)
{
    // Eleven zeros and the one as the last bits: the pair after the tenth
    // zero ends exactly with the data.
    const std::vector<uint8_t> odd = bytesFromBits("1011 0000 0000 0001");
    CcittDecoder decoder = decoderOn(odd);
    EXPECT_EQ(decoder.readBits(4), 0b1011);
    EXPECT_EQ(decoder.decodeRun(0), EolCode);
    EXPECT_EQ(bitsConsumed(decoder), 16);

    // Twelve zeros: the one opens a pair, whose second bit is not there.
    const std::vector<uint8_t> even = bytesFromBits("111 0000 0000 0000 1");
    CcittDecoder evenDecoder = decoderOn(even);
    EXPECT_EQ(evenDecoder.readBits(3), 0b111);
    EXPECT_EQ(evenDecoder.decodeRun(0), EndOfData);
}

TEST(CcittCodeTree, ModeTreeRecognisesEveryModeAndTheExtensions)
{
    struct Case {
        const char* bits;
        int32_t leaf;
        int length;
    };
    const Case cases[] = {
        {"1", 4 * t4::ModeV0 + 1, 1},           {"011", 4 * t4::ModeVR1 + 1, 3},
        {"000011", 4 * t4::ModeVR2 + 1, 6},     {"0000011", 4 * t4::ModeVR3 + 1, 7},
        {"010", 4 * t4::ModeVL1 + 1, 3},        {"000010", 4 * t4::ModeVL2 + 1, 6},
        {"0000010", 4 * t4::ModeVL3 + 1, 7},    {"001", 4 * t4::ModeHorizontal + 1, 3},
        {"0001", 4 * t4::ModePass + 1, 4},      {"0000001111", 4 * t4::ModeUncompressed + 1, 10},
        {"0000001000", LeafInvalid, 10},        {"0000001110", LeafInvalid, 10},
        {"000000000001", LeafEol, 12},          {"00000001", LeafInvalid, 8},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = bytesFromBits(std::string(c.bits) + "1111111111");
        CcittDecoder decoder = decoderOn(bytes);
        EXPECT_EQ(decoder.readLeaf(kModeTree), c.leaf) << c.bits;
        EXPECT_EQ(bitsConsumed(decoder), c.length) << c.bits;
    }
}

// The line decoders read codes through a 64-bit buffer and hand the
// position back to the decoder: it must stand exactly where the decoder's own
// reader stands after every code, in both bit orders, across EOLs and
// invalid codes, and up to the last bit of the data.
TEST(CcittLineBits, ReadsEveryCodeExactlyAsTheDecoderDoes)
{
    std::mt19937 random(7);
    const auto randomBytes = [&](size_t count, unsigned zeroBias) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& byte : bytes) byte = random() % zeroBias == 0 ? uint8_t(random()) : uint8_t(random() & random());
        return bytes;
    };
    const auto check = [](auto lsbFirst, const std::vector<uint8_t>& bytes, const std::string& what) {
        constexpr bool kLsbFirst = decltype(lsbFirst)::value;
        CcittDecoder plain(bytes.data(), int32_t(bytes.size()), kLsbFirst ? 2 : 1, FaxMhWithEol, 0);
        CcittDecoder buffered = plain;
        LineBits<kLsbFirst> bits(buffered);
        for (int step = 0;; ++step) {
            const CodeTree& tree = step % 3 == 0 ? kModeTree : step % 3 == 1 ? kWhiteTree : kBlackTree;
            const int32_t expected = plain.readLeaf(tree);
            ASSERT_EQ(bits.readLeaf(tree), expected) << what << " step " << step;
            bits.handBack();
            ASSERT_EQ(buffered.bytePos(), plain.bytePos()) << what << " step " << step;
            ASSERT_EQ(buffered.bitPos(), plain.bitPos()) << what << " step " << step;
            ASSERT_EQ(buffered.current(), plain.current()) << what << " step " << step;
            if (expected < 0) return;
        }
    };
    for (size_t size : {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 300}) {
        for (unsigned zeroBias : {1u, 3u, 9u}) {
            const std::vector<uint8_t> bytes = randomBytes(size, zeroBias);
            const std::string what = std::to_string(size) + " bytes, bias " + std::to_string(zeroBias);
            check(std::false_type{}, bytes, what + ", first bit most significant");
            check(std::true_type{}, bytes, what + ", first bit least significant");
        }
    }
}

// The line decoders write runs through a pen: from a row that holds zeros
// or ones from the cursor on, it must leave the row and the cursor as putRun
// does on a cleared row, for any alternating runs, runs past the end of the
// row and lines not stored included.
TEST(CcittRowPen, WritesRowsAsPutRunDoes)
{
    std::mt19937 random(11);
    for (int round = 0; round < 6000; ++round) {
        const uint32_t rowBytes = 1 + uint32_t(random() % 40);
        const uint32_t start = uint32_t(random() % (rowBytes * 8 + 2));
        const uint8_t aheadFill = random() % 2 != 0 ? 0xFF : 0x00;
        const bool stored = random() % 16 != 0;
        std::vector<uint8_t> expected(rowBytes, 0);
        for (uint32_t bit = 0; bit < start && bit < rowBytes * 8; ++bit) {
            if (random() % 2 != 0) expected[bit / 8] |= uint8_t(0x80u >> (bit % 8));
        }
        std::vector<uint8_t> row = expected;
        for (uint32_t bit = start; bit < rowBytes * 8; ++bit) {
            if (aheadFill != 0) row[bit / 8] |= uint8_t(0x80u >> (bit % 8));
        }
        const auto cursorOn = [&](std::vector<uint8_t>& bytes) {
            return RowCursor{start / 8, rowBytes, uint8_t(start % 8), stored ? bytes.data() : nullptr};
        };
        RowCursor reference = cursorOn(expected);
        int skip = int(random() % 2);
        RowCursor cursor = cursorOn(row);
        RowPen pen(cursor, aheadFill, skip == 0);
        std::string runs = skip != 0 ? " skip first," : " set first,";
        int64_t end = start;
        for (int count = int(random() % 12); count > 0; --count) {
            // Mostly short runs, some a word or more long, a few past the row.
            const uint32_t pick = random() % 8;
            const int32_t run = pick == 0   ? int32_t(rowBytes * 8 + random() % 20)
                                : pick == 1 ? int32_t(random() % 200)
                                            : int32_t(random() % 12);
            runs += ' ';
            runs += std::to_string(run);
            putRun(reference, run, skip);
            pen.put(end, end + run);
            end += run;
            skip ^= 1;
        }
        pen.finish(end);
        std::string what = std::to_string(rowBytes);
        what += " bytes, fill " + std::to_string(aheadFill);
        what += ", from bit " + std::to_string(start);
        what += stored ? ":" : ", not stored:";
        what += runs;
        if (stored) {
            ASSERT_EQ(row, expected) << what;
        }
        ASSERT_EQ(cursor.byteIndex, reference.byteIndex) << what;
        ASSERT_EQ(cursor.bitIndex, reference.bitIndex) << what;
    }
}

TEST(CcittRaster, BitReversalTable)
{
    EXPECT_EQ(kBitReversal[1], 128);
    EXPECT_EQ(kBitReversal[3], 192);
    EXPECT_EQ(kBitReversal[0x0F], 0xF0);
    for (unsigned value = 0; value < 256; ++value) EXPECT_EQ(kBitReversal[kBitReversal[value]], value);
}

PageBitmap pageOf(int32_t width, int32_t rows, std::vector<uint8_t> pixels)
{
    PageBitmap page;
    page.width = width;
    page.rows = rows;
    page.bytesPerRow = (width + 7) / 8;
    page.pixels = std::move(pixels);
    return page;
}

TEST(CcittRaster, MirrorRowsReversesEachRow)
{
    PageBitmap odd = pageOf(24, 1, {0x01, 0x02, 0x03});
    EXPECT_EQ(mirrorRows(odd), 0);
    EXPECT_EQ(odd.pixels, (std::vector<uint8_t>{0xC0, 0x40, 0x80}));

    PageBitmap even = pageOf(16, 2, {0x80, 0x01, 0xF0, 0x0F});
    EXPECT_EQ(mirrorRows(even), 0);
    EXPECT_EQ(even.pixels, (std::vector<uint8_t>{0x80, 0x01, 0xF0, 0x0F}));

    PageBitmap empty;
    EXPECT_EQ(mirrorRows(empty), -1);
    PageBitmap lying = pageOf(16, 4, {0x00});  // claims more rows than it holds
    EXPECT_EQ(mirrorRows(lying), -1);
}

TEST(CcittRaster, FlipRowsTurnsThePageUpsideDown)
{
    PageBitmap page = pageOf(16, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(flipRows(page), 0);
    EXPECT_EQ(page.pixels, (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
    PageBitmap empty;
    EXPECT_EQ(flipRows(empty), -1);
}

}  // namespace
}  // namespace pagelift

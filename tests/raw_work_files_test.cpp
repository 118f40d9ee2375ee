// The working files of the raw-stream analysis, read back byte by byte: the
// working image header and rows, the segment file header and records, for
// small hand-coded streams whose every line start is known; and the
// resolution guess on segment files written by hand.

#include "ccitt/raw_work_files.h"
#include "support/ccitt_test_streams.h"
#include "support/fax_oracles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace pagelift::testing {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t le16(const std::vector<uint8_t>& bytes, size_t at) { return uint32_t(bytes.at(at) | bytes.at(at + 1) << 8); }
uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) { return le16(bytes, at) | le16(bytes, at + 2) << 16; }

// A coded stream put together piece by piece; mark() is the bit offset where
// the next piece begins.
class StreamBits {
public:
    StreamBits& add(const std::string& piece)
    {
        bits_ += piece;
        return *this;
    }
    int64_t mark() const { return int64_t(bits_.size()); }
    std::vector<uint8_t> bytes(bool lsbFirst) const { return bytesFromBits(bits_, lsbFirst); }

private:
    std::string bits_;
};

struct ImageHeader {
    int32_t width, rows;
    uint32_t codedLength;
    uint16_t xResolution, yResolution;
    uint8_t fillOrder, coding, paperSize;
};

void expectImageHeader(const std::vector<uint8_t>& image, const ImageHeader& expected)
{
    ASSERT_GE(image.size(), 37u);
    EXPECT_EQ(le32(image, 0), 0u) << "reserved";
    EXPECT_EQ(le32(image, 4), uint32_t(expected.width)) << "width";
    EXPECT_EQ(le32(image, 8), uint32_t(expected.rows)) << "rows";
    EXPECT_EQ(le32(image, 12), uint32_t((expected.width + 7) / 8)) << "bytesPerRow";
    EXPECT_EQ(le16(image, 16), 1u) << "planes";
    EXPECT_EQ(le16(image, 18), 1u) << "bitsPerPixel";
    EXPECT_EQ(le32(image, 20), expected.codedLength) << "codedLength";
    EXPECT_EQ(le16(image, 24), expected.xResolution) << "xResolution";
    EXPECT_EQ(le16(image, 26), expected.yResolution) << "yResolution";
    EXPECT_EQ(image[28], 2) << "resolutionUnit";
    EXPECT_EQ(image[29], expected.fillOrder) << "fillOrder";
    EXPECT_EQ(image[30], expected.coding) << "coding";
    EXPECT_EQ(image[31], expected.paperSize) << "paperSize";
    EXPECT_EQ(image[32], 0) << "photometric";
    EXPECT_EQ(le32(image, 33), 0u) << "reserved tail";
    EXPECT_EQ(image.size(), 37u + size_t(expected.rows) * size_t((expected.width + 7) / 8));
}

// The rows of the working image as 'W'/'B' text.
std::vector<std::string> imageRows(const std::vector<uint8_t>& image, int32_t width)
{
    std::vector<std::string> rows;
    const size_t rowBytes = size_t(width + 7) / 8;
    for (size_t at = 37; at + rowBytes <= image.size(); at += rowBytes) {
        std::string row;
        for (int32_t x = 0; x < width; ++x) row += ((image[at + size_t(x) / 8] >> (7 - x % 8)) & 1) ? 'W' : 'B';
        rows.push_back(row);
    }
    return rows;
}

struct SegmentHeader {
    uint32_t rows;
    int32_t width;
    uint8_t bitOrder, coding, paperSize;
    uint32_t longest;
    uint16_t resolution;
};

struct Segment {
    int64_t startBit, endBit;
    int32_t lines;
};

void expectSegmentFile(const std::vector<uint8_t>& file, const SegmentHeader& header,
                       const std::vector<Segment>& segments)
{
    ASSERT_EQ(file.size(), 4120u + 14u * segments.size());
    EXPECT_EQ(le32(file, 0), uint32_t(segments.size())) << "record count";
    EXPECT_EQ(le32(file, 4), header.rows) << "rows";
    EXPECT_EQ(le32(file, 8), uint32_t(header.width)) << "width";
    EXPECT_EQ(file[12], header.bitOrder) << "bit order";
    EXPECT_EQ(file[13], header.coding) << "coding";
    EXPECT_EQ(file[14], header.paperSize) << "paper size";
    EXPECT_EQ(file[15], 0);
    EXPECT_EQ(le32(file, 16), header.longest) << "longest segment";
    EXPECT_EQ(le16(file, 20), header.resolution) << "resolution";
    for (size_t at = 22; at < 4120; ++at) ASSERT_EQ(file[at], 0) << "header byte " << at;
    for (size_t i = 0; i < segments.size(); ++i) {
        SCOPED_TRACE("segment " + std::to_string(i));
        const size_t at = 4120 + 14 * i;
        EXPECT_EQ(le32(file, at), uint32_t(segments[i].startBit / 8)) << "start byte";
        EXPECT_EQ(le32(file, at + 4), uint32_t(segments[i].endBit / 8)) << "end byte";
        EXPECT_EQ(le32(file, at + 8), uint32_t(segments[i].lines)) << "lines";
        EXPECT_EQ(file[at + 12], segments[i].startBit % 8) << "start bit";
        EXPECT_EQ(file[at + 13], segments[i].endBit % 8) << "end bit";
    }
}

constexpr int32_t kWidth = 16;

TEST(RawWorkFiles, MhStreamGivesRowsSegmentsAndHeaders)
{
    // Lines after each EOL: two good ones, an empty one (as in RTC), a good
    // one, one with an invalid code (kept between good lines: three white
    // pixels, white after them), two good ones, and the end of the data.
    // Four junk bits come before the first EOL.
    StreamBits stream;
    stream.add("1010");
    const int64_t eol0 = stream.mark();
    stream.add(kEol).add(mhLine({16}));
    const int64_t eol1 = stream.mark();
    stream.add(kEol).add(mhLine({8, 8}));
    const int64_t eol2 = stream.mark();
    stream.add(kEol);
    const int64_t eol3 = stream.mark();
    stream.add(kEol).add(mhLine({4, 12}));
    const int64_t eol4 = stream.mark();
    stream.add(kEol).add(mhLine({3})).add("000000001");  // a white run, then eight zeros and a one: no code
    const int64_t eol5 = stream.mark();
    stream.add(kEol).add(mhLine({0, 16}));
    const int64_t eol6 = stream.mark();
    stream.add(kEol).add(mhLine({15, 1}));
    const int64_t eol7 = stream.mark();
    stream.add(kEol);
    (void)eol0;
    (void)eol1;
    (void)eol6;

    for (const bool lsbFirst : {false, true}) {
        SCOPED_TRACE(lsbFirst ? "least significant bit first" : "most significant bit first");
        const std::vector<uint8_t> bytes = stream.bytes(lsbFirst);
        const uint8_t bitOrder = lsbFirst ? 2 : 1;
        CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), bitOrder, FaxMhWithEol, 0);
        decoder.setGeometry(kWidth, 0);
        const ScratchFolder scratch;
        EXPECT_EQ(writeMhWorkFiles(decoder, (scratch / "image").string(), (scratch / "segments").string()), 1);

        const std::vector<uint8_t> image = fileBytes(scratch / "image");
        expectImageHeader(image, {kWidth, 6, uint32_t(bytes.size()), 200, 100, bitOrder, 5, 1});
        EXPECT_EQ(imageRows(image, kWidth),
                  (std::vector<std::string>{"WWWWWWWWWWWWWWWW", "WWWWWWWWBBBBBBBB", "WWWWBBBBBBBBBBBB",
                                            "WWWWWWWWWWWWWWWW", "BBBBBBBBBBBBBBBB", "WWWWWWWWWWWWWWWB"}));
        // The first segment starts at the first byte; the others at the EOL
        // that opens their first line, and each ends at the EOL that opens
        // the line after it. The damaged line counts in none.
        expectSegmentFile(fileBytes(scratch / "segments"), {6, kWidth, bitOrder, 5, 1, 2, 100},
                          {{0, eol2, 2}, {eol3, eol4, 1}, {eol5, eol7, 2}});
    }
}

TEST(RawWorkFiles, MrStreamGivesRowsSegmentsAndHeaders)
{
    // EOL + tag, then the line: 1-D A, 2-D copy, 1-D B, 2-D copy, the
    // end-of-page EOL, 1-D C, a 2-D line twelve pixels short (kept between
    // good lines: four white pixels, white after them), 1-D D, and a 2-D
    // copy of D that the data end right after.
    const std::string eol1d = kEol + "1";
    const std::string eol2d = kEol + "0";
    StreamBits stream;
    stream.add(eol1d).add(mhLine({16}));
    stream.add(eol2d).add("1");
    stream.add(eol1d).add(mhLine({8, 8}));
    stream.add(eol2d).add("11");
    const int64_t empty = stream.mark();
    stream.add(eol1d);
    const int64_t lineC = stream.mark();
    stream.add(eol1d).add(mhLine({4, 12}));
    const int64_t shortLine = stream.mark();
    stream.add(eol2d).add("1");  // V0: a1 = b1 = 4, then the EOL
    const int64_t lineD = stream.mark();
    stream.add(eol1d).add(mhLine({16}));
    stream.add(eol2d).add("1");
    const std::vector<uint8_t> bytes = stream.bytes(false);

    CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, FaxMr, 0);
    decoder.setGeometry(kWidth, 0);
    const ScratchFolder scratch;
    EXPECT_EQ(writeMrWorkFiles(decoder, (scratch / "image").string(), (scratch / "segments").string()), 1);

    const std::vector<uint8_t> image = fileBytes(scratch / "image");
    expectImageHeader(image, {kWidth, 8, uint32_t(bytes.size()), 200, 100, 1, 6, 1});
    const std::string white(16, 'W');
    const std::string half = "WWWWWWWWBBBBBBBB";
    EXPECT_EQ(imageRows(image, kWidth),
              (std::vector<std::string>{white, white, half, half, "WWWWBBBBBBBBBBBB", white, white, white}));
    // The last line, complete when the data end, closes its segment there.
    expectSegmentFile(fileBytes(scratch / "segments"), {8, kWidth, 1, 6, 1, 4, 100},
                      {{0, empty, 4}, {lineC, shortLine, 1}, {lineD, int64_t(bytes.size()) * 8, 2}});
}

TEST(RawWorkFiles, MmrStreamGivesRowsSegmentsAndHeaders)
{
    // A white line (V0), a horizontal-mode line, its copy, an EOL, a white
    // line, the uncompressed-mode extension (an invalid code here), a white
    // line; read as a stream that starts at its first byte.
    StreamBits stream;
    stream.add("1").add(horizontalMode(8, 8)).add("11");
    const int64_t eol = stream.mark();
    stream.add(kEol);
    const int64_t afterEol = stream.mark();
    stream.add("1");
    const int64_t invalid = stream.mark();
    stream.add("0000001111");
    const int64_t afterInvalid = stream.mark();
    stream.add("1");
    const int64_t end = stream.mark();
    const std::vector<uint8_t> bytes = stream.bytes(false);

    MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    decoder.setRawStream(1);
    decoder.setGeometry(kWidth, 0);
    const ScratchFolder scratch;
    EXPECT_EQ(writeMmrWorkFiles(decoder, (scratch / "image").string(), (scratch / "segments").string()), 0);

    const std::vector<uint8_t> image = fileBytes(scratch / "image");
    expectImageHeader(image, {kWidth, 5, uint32_t(bytes.size()), 200, 100, 1, 7, 1});
    const std::string white(16, 'W');
    const std::string half = "WWWWWWWWBBBBBBBB";
    EXPECT_EQ(imageRows(image, kWidth), (std::vector<std::string>{white, half, half, white, white}));
    // MMR records hold the reader's own position at the line starts.
    expectSegmentFile(fileBytes(scratch / "segments"), {5, kWidth, 1, 7, 1, 3, 100},
                      {{0, eol, 3}, {afterEol, invalid, 1}, {afterInvalid, end, 1}});
}

TEST(RawWorkFiles, MmrStreamEndingRightAfterACompleteLineKeepsIt)
{
    // A white line and a horizontal-mode line whose last code ends exactly
    // on the last bit of the data.
    std::string bits = "1";
    bits += horizontalMode(3, 13);
    ASSERT_EQ(bits.size() % 8, 0u) << bits.size();
    const std::vector<uint8_t> bytes = bytesFromBits(bits);
    MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    decoder.setRawStream(1);
    decoder.setGeometry(kWidth, 0);
    const ScratchFolder scratch;
    EXPECT_EQ(writeMmrWorkFiles(decoder, (scratch / "image").string(), (scratch / "segments").string()), 0);
    EXPECT_EQ(imageRows(fileBytes(scratch / "image"), kWidth),
              (std::vector<std::string>{std::string(16, 'W'), "WWWBBBBBBBBBBBBB"}));
}

TEST(RawWorkFiles, StreamsWithoutRowsAndFilesThatCannotBeCreated)
{
    const ScratchFolder scratch;
    const std::string image = (scratch / "image").string();
    const std::string segments = (scratch / "segments").string();
    const std::string unreachable = (scratch / "no-such-folder" / "image").string();
    const std::vector<uint8_t> zeros(64, 0);
    const std::vector<uint8_t> noEol = bytesFromBits(mhLine({16}) + mhLine({16}));

    CcittDecoder mh(noEol.data(), int32_t(noEol.size()), 1, FaxMhWithEol, 0);
    mh.setGeometry(kWidth, 0);
    EXPECT_EQ(writeMhWorkFiles(mh, image, segments), 0) << "no EOL: no rows, no error";
    expectImageHeader(fileBytes(image), {kWidth, 0, uint32_t(noEol.size()), 200, 100, 1, 5, 1});
    EXPECT_EQ(fileBytes(segments).size(), 4120u);

    CcittDecoder mr(noEol.data(), int32_t(noEol.size()), 1, FaxMr, 0);
    mr.setGeometry(kWidth, 0);
    EXPECT_EQ(writeMrWorkFiles(mr, image, segments), -1) << "no EOL with tag 1";

    MmrDecoder mmr(zeros.data(), int32_t(zeros.size()), 1, 0, 0, 3);
    mmr.setRawStream(1);
    mmr.setGeometry(kWidth, 0);
    EXPECT_EQ(writeMmrWorkFiles(mmr, image, segments), EndOfData);

    CcittDecoder unreachableFiles(noEol.data(), int32_t(noEol.size()), 1, FaxMhWithEol, 0);
    unreachableFiles.setGeometry(kWidth, 0);
    EXPECT_EQ(writeMhWorkFiles(unreachableFiles, unreachable, segments), -1);
    EXPECT_EQ(writeMhWorkFiles(unreachableFiles, image, unreachable), -1);
}

// A segment file as the writers leave it before the guess: the header with
// its paper size and record count, then records with the given line counts.
std::vector<uint8_t> segmentFile(uint8_t paperSize, const std::vector<int32_t>& lineCounts)
{
    std::vector<uint8_t> file(4120, 0);
    const auto put32 = [&file](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    put32(0, uint32_t(lineCounts.size()));
    file[14] = paperSize;
    for (int32_t lines : lineCounts) {
        const size_t at = file.size();
        file.resize(at + 14, 0);
        put32(at + 8, uint32_t(lines));
    }
    return file;
}

TEST(RawWorkFiles, ResolutionGuessFollowsTheLongestSegmentAndThePaperSize)
{
    struct Case {
        uint8_t paperSize;
        std::vector<int32_t> lines;
        int result;
        uint16_t resolution;      // starts at 77
        int32_t longestPage = 0;  // the writer's longest page, damaged lines included
    };
    const Case cases[] = {
        {1, {1100, 1100, 1100}, 0, 100}, {1, {1144}, 0, 100},       {1, {10, 1145, 3}, 0, 200},
        {1, {2200}, 0, 200},             {1, {2288}, 0, 200},       {1, {2289}, 0, 300},
        {1, {3432}, 0, 300},             {1, {3500}, 0, 400},       {2, {1363}, 0, 100},
        {2, {1400}, 0, 200},             {2, {2727}, 0, 300},       {2, {4090}, 0, 400},
        {3, {1617}, 0, 100},             {3, {3234}, 0, 200},       {3, {4851}, 0, 300},
        {3, {4852}, 0, 400},             {0, {1100}, 0, 77},        {4, {5000}, 0, 77},
        {1, {}, -2, 77},
        {1, {900, 1000, 700}, 0, 200, 2200},
        {1, {3000}, 0, 300, 2200},
        {1, {}, -2, 77, 2200},
    };
    const ScratchFolder scratch;
    const std::filesystem::path path = scratch / "segments";
    for (const Case& c : cases) {
        SCOPED_TRACE("paper " + std::to_string(c.paperSize) + ", " + std::to_string(c.lines.size()) +
                     " segments, longest page " + std::to_string(c.longestPage));
        writeFileBytes(path, segmentFile(c.paperSize, c.lines));
        uint16_t resolution = 77;
        EXPECT_EQ(guessResolution(path.string(), resolution, c.longestPage), c.result);
        EXPECT_EQ(resolution, c.resolution);
        if (c.result != 0) continue;
        const std::vector<uint8_t> after = fileBytes(path);
        int32_t longest = 0;
        for (int32_t lines : c.lines) longest = std::max(longest, lines);
        EXPECT_EQ(le32(after, 16), uint32_t(longest));
        EXPECT_EQ(le16(after, 20), c.resolution);
    }

    // A file shorter than its record count says: the records it has count.
    std::vector<uint8_t> truncated = segmentFile(1, {2000, 3000});
    truncated.resize(4120 + 14 + 5);
    writeFileBytes(path, truncated);
    uint16_t resolution = 77;
    EXPECT_EQ(guessResolution(path.string(), resolution), 0);
    EXPECT_EQ(resolution, 200);

    EXPECT_EQ(guessResolution((scratch / "missing").string(), resolution), -1);
}

}  // namespace
}  // namespace pagelift::testing

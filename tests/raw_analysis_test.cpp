// The trial decoding that finds bit order, coding and width of raw fax
// streams, on streams made by pbmtog3 (MH) and tiffcp (MR, MMR), on
// hand-coded edge cases and on bytes that are no fax at all.

#include "ccitt/raw_analysis.h"
#include "ccitt/raw_work_files.h"
#include "support/ccitt_test_streams.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>

namespace pagelift::testing {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The streams every test here reads, made once.
class RawAnalysisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!missingTool(kRawStreamTools).empty() || !missingTool({"pgmnoise", "pamditherbw", "pamtopnm"}).empty()) {
            return;
        }
        const ScratchFolder scratch;
        // Lines of small print: most rows differ from the row above, as in
        // real fax text.
        std::string text;
        for (int line = 1; line <= 9; ++line) text += "Line " + std::to_string(line) + " of the raw stream 0123456789\n";
        const Picture a4 = textPicture(scratch, "A4 1728\n" + text, 1728, 120, 1);
        const Picture b4 = textPicture(scratch, "B4 2048\n" + text, 2048, 120, 1);
        const Picture odd = textPicture(scratch, "ODD 1800\n" + text, 1800, 120, 1);
        auto& s = streams();
        s["mh a4"] = pbmtog3Stream(scratch, a4, false);
        s["mh a4 lsb"] = pbmtog3Stream(scratch, a4, true);
        s["mh b4"] = pbmtog3Stream(scratch, b4, false);
        s["mh 1800"] = pbmtog3Stream(scratch, odd, false);
        s["mr b4"] = tiffcpStrip(scratch, b4, "g3:2d", false);
        s["mr b4 lsb"] = tiffcpStrip(scratch, b4, "g3:2d", true);
        s["mr 1800"] = tiffcpStrip(scratch, odd, "g3:2d", false);
        s["mmr a4"] = tiffcpStrip(scratch, a4, "g4", false);
        // A tall page of large print whose MR lines, read as MH least
        // significant bit first, give a steady run of 2026-pixel lines
        // among short ones.
        Picture letter = textPicture(scratch, "THE LETTER\n\nThe first page of a letter sent by fax,\nwith a few lines of text.",
                                     1728, 1100, 2);
        for (int32_t x = 0; letter.height > 0 && x < 200; ++x) letter.at(x, 0) = 1;
        s["mr a4 letter"] = tiffcpStrip(scratch, letter, "g3:2d", false);
        s["mmr 1800"] = tiffcpStrip(scratch, odd, "g4", false);
        // Noise rows all differ, and the first one codes horizontal mode (its
        // first bits are 001), so a flag run may stand right before it.
        const std::filesystem::path noise = scratch / "noise.pbm";
        if (runQuietly("pgmnoise -randomseed 7 2592 120 | pamditherbw -randomseed 1 | pamtopnm > '" + noise.string() + "'")) {
            std::vector<uint8_t> flagged = {0xFF, 0xFF};
            const std::vector<uint8_t> strip = tiffcpStrip(scratch, readPbm(noise), "g4", true);
            if (!strip.empty()) {
                flagged.insert(flagged.end(), strip.begin(), strip.end());
                s["mmr 2592 lsb flagged"] = flagged;
            }
        }
    }

    void SetUp() override
    {
        const std::string missing = missingTool(kRawStreamTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " to draw and encode test streams";
        const std::string noise = missingTool({"pgmnoise", "pamditherbw", "pamtopnm"});
        if (!noise.empty()) GTEST_SKIP() << "needs " << noise << " to draw a noise page";
        for (const auto& [name, bytes] : streams()) ASSERT_FALSE(bytes.empty()) << "could not make " << name;
    }

    static std::map<std::string, std::vector<uint8_t>>& streams()
    {
        static std::map<std::string, std::vector<uint8_t>> made;
        return made;
    }
    static const std::vector<uint8_t>& stream(const std::string& name) { return streams().at(name); }
};

struct ProbeOutcome {
    int result;
    int32_t width;
    uint8_t bitOrder;
};

std::string describe(const ProbeOutcome& outcome)
{
    return "result " + std::to_string(outcome.result) + ", width " + std::to_string(outcome.width) + ", bit order " +
           std::to_string(outcome.bitOrder);
}

// Runs a probe on a fresh decoder over `bytes`; checks that it leaves the
// decoder at the start again with the bit order it tried.
ProbeOutcome runProbe(const std::vector<uint8_t>& bytes, uint8_t bitOrder,
                      const std::function<int(CcittDecoder&)>& probe)
{
    CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), bitOrder == 1 ? 2 : 1, FaxMhWithEol, 0);
    const int result = probe(decoder);
    EXPECT_EQ(decoder.bytePos(), 0);
    EXPECT_EQ(decoder.bitPos(), 0);
    EXPECT_EQ(decoder.bitOrder(), bitOrder);
    return {result, decoder.width(), decoder.bitOrder()};
}

TEST_F(RawAnalysisTest, ProbesFindWidthAndBitOrderOfIndependentEncodings)
{
    struct Case {
        std::string stream;
        std::string probe;
        uint8_t bitOrder;
        uint16_t minWidth;
        int result;
        int32_t width;  // checked when found
    };
    const Case cases[] = {
        {"mh a4", "mh", 1, 0, kProbeFound, 1728},
        {"mh a4", "mh", 2, 0, kProbeNotFound, 0},
        {"mh a4 lsb", "mh", 2, 0, kProbeFound, 1728},
        {"mh a4 lsb", "mh", 1, 0, kProbeNotFound, 0},
        {"mh b4", "mh", 1, 0, kProbeFound, 2048},
        {"mh 1800", "mh", 1, 0, kProbeNotFound, 0},
        {"mh 1800", "mh any", 1, 1700, kProbeFound, 1800},
        {"mh 1800", "mh any", 1, 1800, kProbeNotFound, 0},
        {"mh a4", "mh any", 1, 1728, kProbeNotFound, 0},
        {"mr b4", "mh", 1, 0, kProbeNotFound, 0},
        {"mr b4", "mr", 1, 0, kProbeFound, 2048},
        {"mr b4", "mr", 2, 0, kProbeNotFound, 0},
        {"mr b4 lsb", "mr", 2, 0, kProbeFound, 2048},
        {"mr 1800", "mr", 1, 0, kProbeNotFound, 0},
        {"mr 1800", "mr any", 1, 1700, kProbeFound, 1800},
        {"mr 1800", "mr any", 1, 1800, kProbeNotFound, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream + " / " + c.probe + " / bit order " + std::to_string(c.bitOrder) + " / min " +
                     std::to_string(c.minWidth));
        const ProbeOutcome outcome = runProbe(stream(c.stream), c.bitOrder, [&](CcittDecoder& decoder) {
            if (c.probe == "mh") return probeMhWidth(decoder, c.bitOrder, 50);
            if (c.probe == "mh any") return probeMhAnyWidth(decoder, c.bitOrder, 50, c.minWidth);
            if (c.probe == "mr") return probeMrWidth(decoder, c.bitOrder, 50);
            return probeMrAnyWidth(decoder, c.bitOrder, 50, c.minWidth);
        });
        EXPECT_EQ(outcome.result, c.result) << describe(outcome);
        if (c.result == kProbeFound) {
            EXPECT_EQ(outcome.width, c.width);
        }
    }
}

TEST_F(RawAnalysisTest, MmrProbeFindsTheWidthAfterTheFlagOrFromTheFirstByte)
{
    const std::vector<uint8_t>& raw = stream("mmr a4");
    MmrDecoder decoder(raw.data(), int32_t(raw.size()), 2, 0, 0, 3);
    decoder.setRawStream(1);
    EXPECT_EQ(probeMmrWidth(decoder, 1, 1728, 50, 3), kProbeFound);
    EXPECT_EQ(decoder.width(), 1728);
    EXPECT_EQ(decoder.bitOrder(), 1);
    EXPECT_EQ(decoder.bytePos(), 0);
    EXPECT_EQ(decoder.flagCount(), 3);
    EXPECT_EQ(probeMmrWidth(decoder, 2, 1728, 50, 3), kProbeNotFound);

    // Widths the probe buffers cannot hold are never found.
    for (const int32_t width : {0, -5, 4865, 100000}) {
        EXPECT_EQ(probeMmrWidth(decoder, 1, width, 50, 3), kProbeNotFound) << width;
        EXPECT_EQ(decoder.bytePos(), 0);
    }

    const std::vector<uint8_t>& flagged = stream("mmr 2592 lsb flagged");
    MmrDecoder fromFlag(flagged.data(), int32_t(flagged.size()), 1, 0, 0, 3);
    EXPECT_EQ(probeMmrWidth(fromFlag, 2, 2592, 50, 3), kProbeFound);
    EXPECT_EQ(fromFlag.markPos(), 0);
}

TEST_F(RawAnalysisTest, DetectMhMrReportsCodingWidthAndBitOrder)
{
    struct Case {
        std::string stream;
        uint32_t width;
        uint8_t bitOrder;
        uint8_t coding;
    };
    const Case cases[] = {
        {"mh a4", 1728, 1, FaxMhWithEol},  {"mh a4 lsb", 1728, 2, FaxMhWithEol}, {"mh 1800", 1800, 1, FaxMhWithEol},
        {"mr b4", 2048, 1, FaxMr},         {"mr b4 lsb", 2048, 2, FaxMr},        {"mr 1800", 1800, 1, FaxMr},
        {"mr a4 letter", 1728, 1, FaxMr},  // standard MR widths before MH lines of any width
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        const std::vector<uint8_t>& bytes = stream(c.stream);
        CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, FaxMhWithEol, 0);
        StreamProbe probe;
        ASSERT_EQ(detectMhMr(decoder, probe), 0);
        EXPECT_EQ(probe.width, c.width);
        EXPECT_EQ(probe.bitOrder, c.bitOrder);
        EXPECT_EQ(probe.coding, c.coding);
    }
}

TEST_F(RawAnalysisTest, DetectMmrReachesWidth2592LeastBitFirstAtItsEighthAttempt)
{
    const std::vector<uint8_t>& bytes = stream("mmr 2592 lsb flagged");
    MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
    // The seven attempts before it (both bit orders at 1728, 2048 and 2432,
    // then most significant bit first at 2592) find nothing in this stream...
    const std::pair<int32_t, uint8_t> before[] = {{1728, 1}, {1728, 2}, {2048, 1}, {2048, 2},
                                                  {2432, 1}, {2432, 2}, {2592, 1}};
    for (const auto& [width, bitOrder] : before) {
        EXPECT_EQ(probeMmrWidth(decoder, bitOrder, width, 50, 3), kProbeNotFound) << width << " " << int(bitOrder);
    }
    // ...so detection ends at the eighth.
    StreamProbe probe;
    ASSERT_EQ(detectMmr(decoder, probe), 0);
    EXPECT_EQ(probe.width, 2592u);
    EXPECT_EQ(probe.bitOrder, 2);
    EXPECT_EQ(probe.coding, FaxMmr);
    EXPECT_EQ(probe.start, 0u);
}

TEST_F(RawAnalysisTest, MmrMinimumWidthIsTriedFirstUnlessTheProbesCannotHoldIt)
{
    struct Case {
        std::string stream;
        uint16_t minWidth;
        int32_t width;
    };
    const Case cases[] = {
        {"mmr 1800", 1800, 1800},  // the minimum width itself is the first width tried
        {"mmr a4", 5000, 1728},    // above the probe limit: straight on with the standard widths
        {"mmr a4", 0, 1728},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream + " min " + std::to_string(c.minWidth));
        const std::vector<uint8_t>& bytes = stream(c.stream);
        MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
        decoder.setRawStream(1);
        const ScratchFolder scratch;
        const std::string image = (scratch / "image").string();
        EXPECT_EQ(rawMmrToWorkFiles(decoder, image, (scratch / "segments").string(), 50, 3, 1, true, c.minWidth), 0);
        const std::vector<uint8_t> header = fileBytes(image);
        ASSERT_GE(header.size(), 37u);
        EXPECT_EQ(header[4] | header[5] << 8, c.width);
        EXPECT_EQ(header[8] | header[9] << 8, 120) << "rows";
    }
}

TEST_F(RawAnalysisTest, ThresholdOfZeroCountsAsOneAndOneLineSuffices)
{
    const std::vector<uint8_t> oneLine = bytesFromBits(kEol + mhLine({1728}) + kEol);
    const std::vector<uint8_t> eolOnly = bytesFromBits(kEol + kEol);
    for (const uint16_t threshold : {uint16_t(0), uint16_t(1)}) {
        SCOPED_TRACE("threshold " + std::to_string(threshold));
        ProbeOutcome found = runProbe(oneLine, 1, [&](CcittDecoder& d) { return probeMhWidth(d, 1, threshold); });
        EXPECT_EQ(found.result, kProbeFound);
        EXPECT_EQ(found.width, 1728);
        // Without a single line of a width there is nothing to accept.
        EXPECT_EQ(runProbe(eolOnly, 1, [&](CcittDecoder& d) { return probeMhWidth(d, 1, threshold); }).result,
                  kProbeNotFound);
        EXPECT_EQ(runProbe(eolOnly, 1, [&](CcittDecoder& d) { return probeMhAnyWidth(d, 1, threshold, 0); }).result,
                  kProbeNotFound);
        EXPECT_EQ(runProbe(eolOnly, 1, [&](CcittDecoder& d) { return probeMrWidth(d, 1, threshold); }).result,
                  kProbeNotFound);
        EXPECT_EQ(runProbe(eolOnly, 1, [&](CcittDecoder& d) { return probeMrAnyWidth(d, 1, threshold, 0); }).result,
                  kProbeNotFound);
        MmrDecoder mmr(eolOnly.data(), int32_t(eolOnly.size()), 1, 0, 0, 3);
        mmr.setRawStream(1);
        EXPECT_EQ(probeMmrWidth(mmr, 1, 1728, threshold, 3), kProbeNotFound);
    }
}

TEST(RawAnalysisMmr, LinesThatRepeatTheLineAboveNeitherCountNorBreakTheCount)
{
    // T.6 lines from the first byte: V0 alone repeats the line above, one 1
    // bit each, and decodes to any width in either bit order.
    const std::string copies(40, '1');
    const std::string eofb = kEol + kEol;
    const std::string invalid = "0000001111";  // an extension code: no T.6 line goes on after it
    struct Case {
        std::string bits;
        uint16_t threshold;
        int result;
    };
    const Case cases[] = {
        {copies + copies + copies, 1, kProbeNotFound},  // white lines only, up to the end
        {horizontalMode(1000, 728) + copies + invalid + copies, 1, kProbeFound},
        // Copies do not count...
        {horizontalMode(1000, 728) + copies + invalid + copies + copies, 2, kProbeNotFound},
        {horizontalMode(1000, 728) + copies + horizontalMode(500, 1228) + invalid, 2, kProbeFound},  // ...nor break
        // A sparse page: fewer lines than the threshold, clean up to the end
        // of the data or to EOFB...
        {horizontalMode(1000, 728) + copies, 2, kProbeFound},
        {copies + horizontalMode(1000, 728) + copies + eofb + invalid, 50, kProbeFound},
        // ...but not after a failure, nor with copies alone.
        {invalid + horizontalMode(1000, 728) + copies, 2, kProbeNotFound},
        {copies + eofb + invalid, 1, kProbeNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits.size()) + " bits, threshold " + std::to_string(c.threshold));
        const std::vector<uint8_t> bytes = bytesFromBits(c.bits);
        MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, 0, 0, 3);
        decoder.setRawStream(1);
        EXPECT_EQ(probeMmrWidth(decoder, 1, 1728, c.threshold, 3), c.result);
    }
}

TEST_F(RawAnalysisTest, BytesThatAreNoFaxAreFoundToBeNone)
{
    std::mt19937 generator(20240607);
    std::vector<uint8_t> random(64 * 1024);
    for (uint8_t& byte : random) byte = uint8_t(generator());
    std::string text;
    while (text.size() < 32 * 1024) text += "Dear reader, this is a plain letter and not a fax at all.\r\n";
    std::vector<uint8_t> letter(text.begin(), text.end());

    const ScratchFolder scratch;
    const std::string image = (scratch / "image").string();
    const std::string segments = (scratch / "segments").string();
    for (const std::vector<uint8_t>* bytes : {&random, &letter}) {
        for (const uint8_t bitOrder : {uint8_t(1), uint8_t(2)}) {
            SCOPED_TRACE((bytes == &random ? "random, bit order " : "text, bit order ") + std::to_string(bitOrder));
            CcittDecoder decoder(bytes->data(), int32_t(bytes->size()), 1, FaxMhWithEol, 0);
            EXPECT_EQ(rawToWorkFiles(decoder, image, segments, 50, bitOrder, true, 1728), -1);
            for (const uint8_t raw : {uint8_t(0), uint8_t(1)}) {
                MmrDecoder mmr(bytes->data(), int32_t(bytes->size()), 1, 0, 0, 3);
                mmr.setRawStream(raw);
                EXPECT_EQ(rawMmrToWorkFiles(mmr, image, segments, 50, 3, bitOrder, true, 1728), -1) << int(raw);
            }
        }
    }
    CcittDecoder decoder(random.data(), int32_t(random.size()), 1, FaxMhWithEol, 0);
    StreamProbe probe;
    EXPECT_EQ(detectMhMr(decoder, probe), -1);
    MmrDecoder mmr(random.data(), int32_t(random.size()), 1, 0, 0, 3);
    EXPECT_EQ(detectMmr(mmr, probe), -1);
}

}  // namespace
}  // namespace pagelift::testing

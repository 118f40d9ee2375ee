// Pixel-exact comparisons of this project's CCITT decoders with independent
// encoders (libtiff's tiffcp, ImageMagick, netpbm's pbmtog3) and decoders
// (tiffcp -c none, g3topbm), and of its T.6 encoder with both decoders.

#include "ccitt/ccitt.h"
#include "ccitt/coded_page.h"
#include "ccitt/mmr_encoder.h"
#include "support/blank_faxes.h"
#include "support/corpus_folder.h"
#include "support/fax_fixtures.h"
#include "support/fax_oracles.h"
#include "support/mh_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path)
{
    return shellQuoted(path.string());
}

// The one page of a TIFF file, read as the conversion reads it.
PageBitmap onlyPage(const fs::path& path)
{
    const std::vector<PageBitmap> pages = faxtest::readDocumentPages(path.string());
    EXPECT_EQ(pages.size(), 1u) << path;
    return pages.empty() ? PageBitmap{} : pages[0];
}

// A picture made by a netpbm pipeline ending in PBM on standard output.
Picture fromPipeline(const ScratchFolder& scratch, const std::string& pipeline)
{
    const fs::path pbm = scratch / "made.pbm";
    if (!runQuietly(pipeline + " > " + quoted(pbm))) return Picture{};
    return readPbm(pbm);
}

Picture textPage(const ScratchFolder& scratch, int32_t width, int32_t height)
{
    return fromPipeline(scratch, "pbmtext -builtin fixed 'Zoziv Pagelift 0123456789 fax' | pamscale -xsize " +
                                     std::to_string(width) + " -ysize " + std::to_string(height) +
                                     " | pamthreshold | pamtopnm");
}

Picture noisePage(const ScratchFolder& scratch, int32_t width, int32_t height, int seed)
{
    return fromPipeline(scratch, "pgmnoise -randomseed " + std::to_string(seed) + " " + std::to_string(width) + " " +
                                     std::to_string(height) + " | pamditherbw -randomseed 1 | pamtopnm");
}

Picture solidPage(const ScratchFolder& scratch, int32_t width, int32_t height, bool black)
{
    return fromPipeline(scratch, std::string("pbmmake ") + (black ? "-black " : "-white ") + std::to_string(width) +
                                     " " + std::to_string(height));
}

// Black bars longer than the longest make-up code, on a 4864-pixel page.
Picture longBarPage(const ScratchFolder& scratch)
{
    const fs::path bar = scratch / "bar.pbm";
    if (!runQuietly("pbmmake -black 4400 6 > " + quoted(bar))) return Picture{};
    return fromPipeline(scratch, "pbmmake -white 4864 16 | pnmpaste " + quoted(bar) + " 200 5");
}

// Rows of alternating runs that together use every terminating and make-up
// code of both colours (white in ascending, black in descending order), and
// runs beyond the longest make-up code. A run that does not fit moves to the
// next row, and the row is filled up with its colour.
Picture everyRunLength(int32_t width)
{
    std::vector<int32_t> lengths;
    for (int32_t n = 1; n < 64; ++n) lengths.push_back(n);
    for (int32_t m = 1; m <= 40; ++m) {
        lengths.push_back(64 * m);
        lengths.push_back(64 * m + 1 + (37 * m) % 63);
    }
    for (int32_t longer : {2561, 2623, 2624, 3000}) lengths.push_back(longer);

    std::vector<std::vector<uint8_t>> rows;
    size_t nextWhite = 0;
    size_t nextBlack = 0;
    const size_t count = lengths.size();
    while (nextWhite < count || nextBlack < count) {
        std::vector<uint8_t>& row = rows.emplace_back(size_t(width), 0);
        int colour = rows.size() == 1 ? 1 : 0;  // the first row starts black: white run 0
        int32_t x = 0;
        for (;;) {
            size_t& next = colour == 0 ? nextWhite : nextBlack;
            const int32_t length = next < count ? lengths[colour == 0 ? next : count - 1 - next] : 1;
            if (x + length > width) break;
            std::fill(row.begin() + x, row.begin() + x + length, uint8_t(colour));
            x += length;
            ++next;
            colour ^= 1;
        }
        std::fill(row.begin() + x, row.end(), uint8_t(colour));
    }
    Picture picture = blankPicture(width, int32_t(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y) {
        std::copy(rows[y].begin(), rows[y].end(), picture.black.begin() + std::ptrdiff_t(y * size_t(width)));
    }
    return picture;
}

// Alternating pixels, some rows starting black: lines of width + 1 runs.
Picture alternatingPixels(int32_t width)
{
    Picture picture = blankPicture(width, 6);
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < width; ++x) picture.at(x, y) = uint8_t(((x + y / 2) % 2) == 0);
    }
    return picture;
}

struct PictureCase {
    std::string name;
    std::function<Picture(const ScratchFolder&)> make;
};

std::vector<PictureCase> pictureCases()
{
    return {
        {"text 1728", [](const ScratchFolder& s) { return textPage(s, 1728, 96); }},
        {"text 2432", [](const ScratchFolder& s) { return textPage(s, 2432, 64); }},
        {"noise 1", [](const ScratchFolder& s) { return noisePage(s, 1, 20, 1); }},
        {"noise 13", [](const ScratchFolder& s) { return noisePage(s, 13, 20, 2); }},
        {"noise 1725", [](const ScratchFolder& s) { return noisePage(s, 1725, 12, 3); }},
        {"noise 2048", [](const ScratchFolder& s) { return noisePage(s, 2048, 12, 4); }},
        {"noise 3456", [](const ScratchFolder& s) { return noisePage(s, 3456, 8, 5); }},
        {"white 1728", [](const ScratchFolder& s) { return solidPage(s, 1728, 10, false); }},
        {"black 1728", [](const ScratchFolder& s) { return solidPage(s, 1728, 10, true); }},
        {"long bars 4864", [](const ScratchFolder& s) { return longBarPage(s); }},
        {"every run length 3456", [](const ScratchFolder&) { return everyRunLength(3456); }},
        {"alternating 13", [](const ScratchFolder&) { return alternatingPixels(13); }},
    };
}

const std::initializer_list<std::string> kPictureTools = {"pbmtext", "pamscale", "pamthreshold", "pamtopnm",
                                                          "pgmnoise", "pamditherbw", "pbmmake", "pnmpaste"};

void expectDecodesTo(const Picture& expected, const PageBitmap& page)
{
    EXPECT_EQ(page.rows, expected.height);
    const std::string difference = compareFirstDifference(expected, pictureOf(page));
    EXPECT_EQ(difference, "");
}

TEST(CcittOracle, TiffcpEncodingsDecodePixelExact)
{
    const std::string missing = missingTool({"tiffcp"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " as the reference encoder";
    const std::string missingPicture = missingTool(kPictureTools);
    if (!missingPicture.empty()) GTEST_SKIP() << "needs " << missingPicture << " to draw test pages";

    const char* const compressions[] = {"g3", "g3:fill", "g3:2d", "g3:2d:fill", "g4"};
    const char* const fillOrders[] = {"msb2lsb", "lsb2msb"};
    const ScratchFolder scratch;
    int variant = 0;
    for (const PictureCase& pictureCase : pictureCases()) {
        SCOPED_TRACE(pictureCase.name);
        const Picture picture = pictureCase.make(scratch);
        ASSERT_GT(picture.width, 0) << "could not draw the page";
        for (const char* compression : compressions) {
            for (const char* fillOrder : fillOrders) {
                const uint16_t photometric = uint16_t(variant++ % 2);
                SCOPED_TRACE(std::string(compression) + " " + fillOrder + " photometric " +
                             std::to_string(photometric));
                const fs::path plain = scratch / "plain.tif";
                const fs::path coded = scratch / "coded.tif";
                writeUncompressedTiff(plain, picture, photometric);
                ASSERT_TRUE(runQuietly("tiffcp -c " + std::string(compression) + " -f " + fillOrder +
                                       " -r 1000000 " + quoted(plain) + " " + quoted(coded)));
                expectDecodesTo(picture, onlyPage(coded));
            }
        }
    }
}

TEST(CcittOracle, ImageMagickEncodingsDecodePixelExact)
{
    const std::string missing = missingTool({kImageMagick});
    if (!missing.empty()) GTEST_SKIP() << "needs ImageMagick at " << missing << " as a reference encoder";
    const std::string missingPicture = missingTool(kPictureTools);
    if (!missingPicture.empty()) GTEST_SKIP() << "needs " << missingPicture << " to draw test pages";

    const ScratchFolder scratch;
    const std::vector<PictureCase> all = pictureCases();
    const std::vector<PictureCase> chosen = {all[0], all[5], all[9]};
    for (const PictureCase& pictureCase : chosen) {
        SCOPED_TRACE(pictureCase.name);
        const Picture picture = pictureCase.make(scratch);
        ASSERT_GT(picture.width, 0);
        const fs::path pbm = scratch / "page.pbm";
        writePbm(pbm, picture);
        for (const char* compression : {"Fax", "Group4"}) {
            for (const char* polarity : {"min-is-white", "min-is-black"}) {
                SCOPED_TRACE(std::string(compression) + " " + polarity);
                const fs::path coded = scratch / "magick.tif";
                ASSERT_TRUE(runQuietly(std::string(kImageMagick) + " " + quoted(pbm) + " -compress " + compression +
                                       " -define quantum:polarity=" + polarity + " " + quoted(coded)));
                const PageBitmap page = onlyPage(coded);
                EXPECT_EQ(page.photometric, std::string(polarity) == "min-is-white" ? 0 : 1);
                expectDecodesTo(picture, page);
            }
        }
    }
}

TEST(CcittOracle, Pbmtog3StreamsDecodePixelExact)
{
    const std::string missing = missingTool({"pbmtog3"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " as the reference encoder";
    const std::string missingPicture = missingTool(kPictureTools);
    if (!missingPicture.empty()) GTEST_SKIP() << "needs " << missingPicture << " to draw test pages";

    const ScratchFolder scratch;
    for (const PictureCase& pictureCase : pictureCases()) {
        SCOPED_TRACE(pictureCase.name);
        const Picture picture = pictureCase.make(scratch);
        ASSERT_GT(picture.width, 0);
        const fs::path pbm = scratch / "page.pbm";
        writePbm(pbm, picture);
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(reversed ? "least significant bit first" : "most significant bit first");
            const fs::path g3 = scratch / "page.g3";
            ASSERT_TRUE(runQuietly(std::string("pbmtog3 -nofixedwidth") + (reversed ? " -reversebits " : " ") +
                                   quoted(pbm) + " > " + quoted(g3)));
            const std::vector<uint8_t> bytes = readBytes(g3.string());
            CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), reversed ? 2 : 1, FaxMhWithEol, 0);
            decoder.setGeometry(picture.width, picture.height);
            PageBitmap page;
            EXPECT_EQ(decodePage(decoder, page), 0) << "no line may count as damaged";
            expectDecodesTo(picture, page);
        }
    }
}

// The test encoder writes what no common tool writes (rows without EOL), so
// it is first checked against an independent decoder, g3topbm.
TEST(CcittOracle, TestEncoderAgreesWithG3topbmAndFeedsCodings3And4)
{
    const std::string missing = missingTool({"g3topbm"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " to check the test encoder";
    const std::string missingPicture = missingTool(kPictureTools);
    if (!missingPicture.empty()) GTEST_SKIP() << "needs " << missingPicture << " to draw test pages";

    const ScratchFolder scratch;
    for (const PictureCase& pictureCase : pictureCases()) {
        SCOPED_TRACE(pictureCase.name);
        const Picture picture = pictureCase.make(scratch);
        ASSERT_GT(picture.width, 0);
        if (picture.width >= 8) {  // g3topbm takes narrower lines for damage
            const fs::path g3 = scratch / "own.g3";
            const fs::path back = scratch / "back.pbm";
            const std::vector<uint8_t> eolCoded = encodeMh(picture, MhLayout{true, 0, 6, false});
            std::ofstream(g3, std::ios::binary)
                .write(reinterpret_cast<const char*>(eolCoded.data()), std::streamsize(eolCoded.size()));
            ASSERT_TRUE(runQuietly("g3topbm " + quoted(g3) + " > " + quoted(back)));
            ASSERT_EQ(compareFirstDifference(picture, readPbm(back)), "") << "the test encoder is wrong";
        }
        for (const size_t alignment : {size_t(1), size_t(2)}) {
            for (const bool lsbFirst : {false, true}) {
                SCOPED_TRACE("alignment " + std::to_string(alignment) + (lsbFirst ? " lsb first" : " msb first"));
                const std::vector<uint8_t> bytes = encodeMh(picture, MhLayout{false, alignment, 0, lsbFirst});
                const uint8_t coding = alignment == 1 ? FaxMhByteAligned : FaxMhWordAligned;
                CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), lsbFirst ? 2 : 1, coding, 0);
                decoder.setGeometry(picture.width, picture.height);
                PageBitmap page;
                EXPECT_EQ(decodePage(decoder, page), 0);
                EXPECT_EQ(page.coding, coding);
                expectDecodesTo(picture, page);
            }
        }
    }
}

// Files written by other fax software, compared with what libtiff decodes.
TEST(CcittOracle, CorpusPagesMatchTiffcp)
{
    const fs::path corpus = testing::corpusFolder();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "the sample corpus " << corpus << " is absent";
    const std::string missing = missingTool({"tiffcp"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " as the reference decoder";

    const ScratchFolder scratch;
    for (const char* name : {"fax2d.tif", "g3test.tif", "hopper_g4.tif", "g4-fillorder-test.tif", "g4-multi.tiff"}) {
        SCOPED_TRACE(name);
        const fs::path source = corpus / name;
        if (!fs::exists(source)) {
            ADD_FAILURE() << "missing from the corpus";
            continue;
        }
        const fs::path reference = scratch / "reference.tif";
        ASSERT_TRUE(runQuietly("tiffcp -c none " + quoted(source) + " " + quoted(reference)));
        const std::vector<PageBitmap> coded = faxtest::readDocumentPages(source.string());
        const std::vector<PageBitmap> plain = faxtest::readDocumentPages(reference.string());
        ASSERT_GT(coded.size(), 0u);
        ASSERT_EQ(coded.size(), plain.size());
        for (size_t index = 0; index < coded.size(); ++index) {
            SCOPED_TRACE("page " + std::to_string(index));
            ASSERT_EQ(plain[index].coding, CodingUncompressed);
            expectDecodesTo(pictureOf(plain[index]), coded[index]);
        }
    }
}

// A page of `height` rows whose rows are drawn at random from every kind of
// line an encoder meets: all white, all black, the row above again or
// shifted by a few pixels (vertical codes), short runs (noise), and runs
// longer than any make-up code.
Picture randomPage(int32_t width, int32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    Picture picture = blankPicture(width, height);
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t kind = uint32_t(random() % 6);
        uint8_t* row = picture.black.data() + size_t(y) * size_t(width);
        const uint8_t* above = y > 0 ? row - width : nullptr;
        if (kind == 0 || kind == 1) {
            std::fill(row, row + width, uint8_t(kind));
        } else if (kind == 2 && above != nullptr) {
            const int32_t shift = int32_t(random() % 9) - 4;
            for (int32_t x = 0; x < width; ++x) row[x] = above[std::clamp(x + shift, 0, width - 1)];
        } else {
            const uint32_t longest = kind == 5 ? 3000 : 12;
            uint8_t colour = uint8_t(random() % 2);
            for (int32_t x = 0; x < width;) {
                const int32_t run = std::min<int32_t>(int32_t(1 + random() % longest), width - x);
                std::fill(row + x, row + x + run, colour);
                x += run;
                colour ^= 1;
            }
        }
    }
    return picture;
}

// The picture's rows as a PageBitmap holds them (bit 1 white), each row
// padded with black bits that the encoder must not read.
std::vector<uint8_t> packedRows(const Picture& picture, int32_t bytesPerRow)
{
    std::vector<uint8_t> rows(size_t(bytesPerRow) * size_t(picture.height), 0);
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            if (picture.at(x, y) == 0) rows[size_t(y) * size_t(bytesPerRow) + size_t(x / 8)] |= uint8_t(0x80u >> (x % 8));
        }
    }
    return rows;
}

TEST(CcittOracle, OurGroup4EncodingDecodesBackExactlyWithOursAndLibtiff)
{
    const std::string missing = missingTool({"tiffcp"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " as the reference decoder";
    const std::string missingPicture = missingTool(kPictureTools);
    if (!missingPicture.empty()) GTEST_SKIP() << "needs " << missingPicture << " to draw test pages";

    std::vector<PictureCase> cases = pictureCases();
    for (const int32_t width : {1, 2, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 100, 1727, 1728, 1729, 2559, 2560, 2561,
                                2623, 2624, 2625, 4095, 4096, 5185, 7999, 8000}) {
        cases.push_back({"random " + std::to_string(width),
                         [width](const ScratchFolder&) { return randomPage(width, 40, uint32_t(width)); }});
    }
    const ScratchFolder scratch;
    for (const PictureCase& pictureCase : cases) {
        SCOPED_TRACE(pictureCase.name);
        const Picture picture = pictureCase.make(scratch);
        ASSERT_GT(picture.width, 0);
        const int32_t bytesPerRow = (picture.width + 7) / 8 + 1;
        const std::vector<uint8_t> rows = packedRows(picture, bytesPerRow);
        const std::vector<uint8_t> coded = encodeMmrPage(rows.data(), picture.width, picture.height, bytesPerRow);

        CodedPageLayout layout;
        layout.coding = FaxMmr;
        layout.mmrDamage = MmrDamage::EndLines;
        layout.linesPassingWidthBreak = true;
        layout.width = picture.width;
        layout.height = picture.height;
        PageBitmap ours;
        EXPECT_EQ(decodeCodedPage(coded.data(), int32_t(coded.size()), layout, ours), 0) << "no line may be damaged";
        expectDecodesTo(picture, ours);

        const fs::path tiff = scratch / "ours.tif";
        const fs::path plain = scratch / "plain.tif";
        writeBytes(tiff.string(), group4Tiff({{{uint32_t(picture.width), uint32_t(picture.height)}, coded, {}, {}}}));
        ASSERT_TRUE(runQuietly("tiffcp -c none " + quoted(tiff) + " " + quoted(plain)));
        const PageBitmap libtiff = onlyPage(plain);
        ASSERT_EQ(libtiff.coding, CodingUncompressed);
        expectDecodesTo(picture, libtiff);
    }
}

}  // namespace
}  // namespace pagelift::testing

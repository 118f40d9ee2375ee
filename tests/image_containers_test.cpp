// The BMP, DCX, CALS, .ds, .ed and .ig4 readers against pages that other
// people's encoders wrote (ImageMagick, netpbm, libtiff), read through a
// document, through pliftcmd one file at a time and a folder at a time; then
// the damaged and hostile files each reader must survive.

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/bmp_reader.h"
#include "faxdoc/readers/cals_reader.h"
#include "faxdoc/readers/dcx_reader.h"
#include "faxdoc/readers/ds_reader.h"
#include "faxdoc/readers/ed_reader.h"
#include "faxdoc/readers/ig4_reader.h"
#include "raster/page_size.h"
#include "support/container_files.h"
#include "support/corpus_folder.h"
#include "support/fax_fixtures.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Picture;

// One page as it must come out: its picture and its row factor.
struct ExpectedPage {
    Picture picture;
    int factor = 1;
};

// A file and the pages it holds.
struct ContainerFile {
    std::string name;
    Bytes bytes;
    std::vector<ExpectedPage> pages;
};

// The count and pages a document gives, empty pages included.
struct DocumentPages {
    uint16_t count = 0;
    std::vector<PageBitmap> pages;
};

DocumentPages readAll(const std::string& path)
{
    FaxDocument document;
    DocumentPages result;
    const FaxFormat format = identifyFormat(path);
    document.open(path, format);
    result.count = document.pageCount();
    result.pages.push_back(document.page());
    for (size_t index = 1; index < document.pageCount(); ++index) {
        document.readPage(format, index);
        result.pages.push_back(document.page());
    }
    return result;
}

Picture negative(Picture picture)
{
    for (uint8_t& black : picture.black) black ^= 1;
    return picture;
}

Picture whiteRowsAbove(const Picture& picture, int32_t keptRows)
{
    Picture cut = testing::blankPicture(picture.width, picture.height);
    const int32_t first = picture.height - keptRows;
    for (int32_t y = first; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) cut.at(x, y) = picture.at(x, y);
    }
    return cut;
}

int pcxStride(const Bytes& pcx)
{
    const int bytesPerLine = pcx[66] | pcx[67] << 8;
    return bytesPerLine + (bytesPerLine & 1);
}

class ImageContainersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string missing = testing::missingTool(testing::kContainerTools);
        if (missing.empty()) missing = testing::missingTool(testing::kRawStreamTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    }

    Picture text(const std::string& words, int32_t width, int32_t height, int scale = 2)
    {
        Picture picture = testing::textPicture(scratch_, words, width, height, scale);
        EXPECT_EQ(picture.width, width) << words;
        return picture;
    }

    std::string save(const std::string& name, const Bytes& bytes)
    {
        const std::string path = scratch_.file(name);
        // A new file each time: truncating one in place is far slower on
        // some file systems, and the cut test writes thousands.
        fs::remove(path);
        testing::writeBytes(path, bytes);
        return path;
    }

    // One file of every container, pages of widths on and off byte and word
    // boundaries, encoded by the tools.
    std::vector<ContainerFile> everyContainer()
    {
        std::vector<ContainerFile> files;
        const Picture memo = text("MEMO 7\nTO ALL", 203, 61);
        const Bytes bmp = testing::imageMagickBmp(scratch_, memo, "200x100");
        files.push_back({"memo-bottom-up.bmp", bmp, {{memo, 2}}});
        files.push_back({"memo-top-down.bmp", testing::bmpTopDown(bmp), {{memo, 2}}});
        files.push_back({"memo-white-first.bmp", testing::bmpTableSwapped(bmp), {{memo, 2}}});
        const Picture wide = text("WIDE PAGE", 1700, 40);
        files.push_back({"wide.bmp", testing::imageMagickBmp(scratch_, wide, ""), {{wide, 1}}});

        const Picture first = text("ONE", 203, 61);
        const Picture second = text("TWO 2", 1725, 90);
        const Picture third = text("3", 13, 5, 1);
        const Bytes firstPcx = testing::ppmtopcxPage(scratch_, first);
        // ppmtopcx states the picture's size as its resolution: 203 / 61 and
        // 13 / 5 give factors 3 and 2; 1725 / 90 is held to 8.
        files.push_back({"pages.dcx",
                         testing::dcxFile({firstPcx, testing::ppmtopcxPage(scratch_, second),
                                           testing::ppmtopcxPage(scratch_, third)}),
                         {{first, 3}, {second, 8}, {third, 2}}});

        const Picture drawing = text("CALS 1725", 1725, 80);
        files.push_back({"drawing.cal", testing::imageMagickCals(scratch_, drawing, 200), {{drawing, 1}}});
        files.push_back({"small.cg4", testing::imageMagickCals(scratch_, memo, 300), {{memo, 1}}});

        const Picture letter = text("LETTER", 1725, 70);
        files.push_back({"letter.ds",
                         testing::dsFile("END OF DOCUMENT",
                                         {{"PAGE ONE", testing::tiffcpFile(scratch_, letter, "g4", false, "204x98"), 0},
                                          {"PAGE TWO", testing::tiffcpFile(scratch_, memo, "g3:2d", true, "204x196"), 9}}),
                         {{letter, 2}, {memo, 1}}});

        files.push_back({"scan.ed", testing::edFile(200, 70, 1725, testing::tiffcpStrip(scratch_, letter, "g4", true)),
                         {{letter, 1}}});

        std::vector<Bytes> strips;
        for (int32_t row = 0; row < memo.height; row += 16) {
            strips.push_back(testing::tiffcpStrip(scratch_, testing::pictureRows(memo, row, std::min(16, memo.height - row)),
                                                  "g4", true));
        }
        files.push_back({"strips.ig4", testing::ig4File("II", 203, 16, strips), {{memo, 1}}});
        const Picture even = text("MIRROR", 208, 30);
        files.push_back({"mirror.ig4",
                         testing::ig4File("MM", 208, 30, {testing::tiffcpStrip(scratch_, even, "g4", true)}),
                         {{testing::mirrored(even), 1}}});
        for (const ContainerFile& file : files) EXPECT_FALSE(file.bytes.empty()) << file.name;
        return files;
    }

    testing::ScratchFolder scratch_;
};

TEST_F(ImageContainersTest, EveryPageReadsAsEncodedWithItsRowFactor)
{
    for (const ContainerFile& file : everyContainer()) {
        SCOPED_TRACE(file.name);
        const DocumentPages read = readAll(save(file.name, file.bytes));
        ASSERT_EQ(read.count, file.pages.size());
        for (size_t i = 0; i < file.pages.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            EXPECT_EQ(testing::compareFirstDifference(file.pages[i].picture, testing::pictureOf(read.pages[i])), "");
            EXPECT_EQ(rowFactor(read.pages[i]), file.pages[i].factor);
        }
    }
}

TEST_F(ImageContainersTest, PliftcmdConvertsEachFileAndTheFolderPixelExact)
{
    if (testing::missingTool({imagetest::kDjpeg}).size() > 0) GTEST_SKIP() << "needs djpeg to read the JPEG pages";
    const std::vector<ContainerFile> files = everyContainer();
    fs::create_directories(scratch_ / "My Faxes");
    fs::create_directories(scratch_ / "tmp");
    std::vector<std::vector<int>> widths;
    for (const ContainerFile& file : files) {
        testing::writeBytes((scratch_ / "My Faxes" / file.name).string(), file.bytes);
        std::vector<int>& pageWidths = widths.emplace_back();
        for (size_t i = 0; i < file.pages.size(); ++i) pageWidths.push_back((file.pages[i].picture.width + 7) / 8 * 8);
    }
    // DCX pages are as wide as their PCX lines: read from each page's header.
    for (size_t f = 0; f < files.size(); ++f) {
        if (fs::path(files[f].name).extension() != ".dcx") continue;
        const Bytes& dcx = files[f].bytes;
        for (size_t i = 0; i < files[f].pages.size(); ++i) {
            const size_t offset = dcx[4 + 4 * i] | dcx[5 + 4 * i] << 8 | dcx[6 + 4 * i] << 16;
            widths[f][i] = pcxStride(Bytes(dcx.begin() + std::ptrdiff_t(offset), dcx.end())) * 8;
        }
    }

    const auto run = [this](const std::string& arguments) {
        return faxtest::runShell("TMPDIR='" + scratch_.file("tmp") + "' '" PLIFTCMD_PATH "' /q /qa=100 /log= " + arguments,
                                 scratch_.path().string());
    };
    const auto expectJpegs = [&](const std::string& folder) {
        for (size_t f = 0; f < files.size(); ++f) {
            const ContainerFile& file = files[f];
            const std::string base = folder + "/" + fs::path(file.name).stem().string();
            for (size_t i = 0; i < file.pages.size(); ++i) {
                SCOPED_TRACE(file.name + " page " + std::to_string(i + 1));
                char number[24];
                std::snprintf(number, sizeof number, "%03zu", i + 1);
                const std::string jpeg = base + (file.pages.size() > 1 ? number : "") + ".jpg";
                const auto decoded = imagetest::decodeWithDjpeg(jpeg, scratch_.file("decoded.pgm"));
                ASSERT_TRUE(decoded.has_value()) << jpeg;
                EXPECT_EQ(faxtest::firstDifference(faxtest::scaledForJpeg(testing::grayOf(file.pages[i].picture),
                                                                          file.pages[i].factor, widths[f][i]),
                                                   faxtest::thresholded(*decoded)),
                          "");
            }
        }
    };

    for (const ContainerFile& file : files) {
        const std::string stem = fs::path(file.name).stem().string();
        const auto result = run("'/f=" + (scratch_ / "My Faxes" / file.name).string() + "' '/sf=" +
                                scratch_.file("single") + "/" + stem + ".jpg'");
        EXPECT_EQ(result.exitCode, 0) << file.name << result.err;
    }
    expectJpegs(scratch_.file("single"));
    const auto result = run("'/d=" + scratch_.file("My Faxes") + "' '/sd=" + scratch_.file("folder") + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    expectJpegs(scratch_.file("folder"));
}

TEST(ImageContainersCorpus, BothPaletteOrdersOfTheCorpusBitmapShowOnePicture)
{
    const fs::path corpus = testing::corpusFolder();
    if (!fs::exists(corpus / "pal1.bmp") || !fs::exists(corpus / "pal1wb.bmp")) {
        GTEST_SKIP() << "the shared corpus is not at " << corpus;
    }
    if (!testing::missingTool({testing::kImageMagick}).empty()) GTEST_SKIP() << "needs ImageMagick";
    const std::vector<PageBitmap> blackFirst = faxtest::readDocumentPages((corpus / "pal1.bmp").string());
    const std::vector<PageBitmap> whiteFirst = faxtest::readDocumentPages((corpus / "pal1wb.bmp").string());
    ASSERT_EQ(blackFirst.size(), 1u);
    ASSERT_EQ(whiteFirst.size(), 1u);
    testing::ScratchFolder scratch;
    const auto reference = faxtest::referencePage((corpus / "pal1.bmp").string(), 0, scratch.file("reference.pgm"));
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(faxtest::firstDifference(faxtest::thresholded(*reference), faxtest::pageAsGray(blackFirst[0])), "");
    EXPECT_EQ(faxtest::firstDifference(faxtest::thresholded(*reference), faxtest::pageAsGray(whiteFirst[0])), "");
}


// A damaged or unusual file and what it must give: the page count, then per
// page its picture, or nullopt where the page must be empty.
struct DamagedFile {
    std::string what;
    std::string name;  // its extension chooses the reader
    Bytes bytes;
    uint16_t count = 0;
    std::vector<std::optional<Picture>> pages;
};

Bytes edited(Bytes bytes, const std::function<void(Bytes&)>& edit)
{
    edit(bytes);
    return bytes;
}

Bytes cut(const Bytes& bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(std::min(length, bytes.size())));
}

Bytes joined(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A DCX file whose offset list is given as it is, followed by `pages`.
Bytes dcxWithOffsets(const std::vector<uint32_t>& offsets, const Bytes& pages)
{
    Bytes dcx(4 + 4 * offsets.size(), 0);
    testing::put32(dcx, 0, 987654321);
    for (size_t i = 0; i < offsets.size(); ++i) testing::put32(dcx, 4 + 4 * i, offsets[i]);
    return joined({dcx, pages});
}

// A one-bit PCX header for a page of width x rows with the given line length.
Bytes pcxHeader(int width, int rows, int bytesPerLine)
{
    Bytes header(128, 0);
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = 1;
    testing::put16(header, 8, uint32_t(width - 1));
    testing::put16(header, 10, uint32_t(rows - 1));
    testing::put16(header, 12, 200);
    testing::put16(header, 14, 200);
    header[65] = 1;
    testing::put16(header, 66, uint32_t(bytesPerLine));
    return header;
}

// Rows of whole bytes as a picture (bit 1 white, as PCX stores them).
Picture rowsOfBytes(int width, const std::vector<std::vector<uint8_t>>& rows)
{
    Picture picture = testing::blankPicture(width, int32_t(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y) {
        for (int x = 0; x < width; ++x) picture.at(x, int32_t(y)) = ((rows[y][size_t(x) / 8] >> (7 - x % 8)) & 1) ^ 1;
    }
    return picture;
}

// The CALS file with one 128-byte header record replaced by `text` (blank padded).
Bytes calsRecord(Bytes cals, size_t record, const std::string& text)
{
    std::fill_n(cals.begin() + std::ptrdiff_t(record), 128, uint8_t(' '));
    std::copy(text.begin(), text.end(), cals.begin() + std::ptrdiff_t(record));
    return cals;
}

class DamagedContainersTest : public ImageContainersTest {
protected:
    void expectPages(const std::vector<DamagedFile>& files)
    {
        for (const DamagedFile& file : files) {
            SCOPED_TRACE(file.what);
            const DocumentPages read = readAll(save(file.name, file.bytes));
            EXPECT_EQ(read.count, file.count);
            ASSERT_GE(read.pages.size(), file.pages.size());
            for (size_t i = 0; i < file.pages.size(); ++i) {
                SCOPED_TRACE("page " + std::to_string(i + 1));
                const PageBitmap& page = read.pages[i];
                if (!file.pages[i]) {
                    EXPECT_FALSE(page.hasPage());
                    EXPECT_TRUE(page.pixels.empty() && page.rows == 0);
                } else {
                    EXPECT_EQ(testing::compareFirstDifference(*file.pages[i], testing::pictureOf(page)), "");
                }
            }
        }
    }

    // Resolutions a page came out with.
    struct Resolution {
        uint16_t x;
        int16_t y;
        uint8_t unit;
        int factor;
        bool operator==(const Resolution&) const = default;
    };
    Resolution resolutionOf(const std::string& name, const Bytes& bytes)
    {
        const DocumentPages read = readAll(save(name, bytes));
        const PageBitmap& page = read.pages[0];
        EXPECT_TRUE(page.hasPage()) << name;
        return {page.xResolution, page.yResolution, page.resolutionUnit, rowFactor(page)};
    }

    const Picture ab_ = text("AB", 21, 9, 1);
    const Picture c_ = text("C", 17, 7, 1);
};

TEST_F(DamagedContainersTest, BmpTableOrderShortHeadersSizesAndMissingRows)
{
    const Bytes bmp = testing::imageMagickBmp(scratch_, ab_, "");
    const Bytes swapped = testing::bmpTableSwapped(bmp);
    const uint32_t table = testing::bmpTableOffset(bmp);
    const uint32_t pixels = testing::bmpPixelOffset(bmp);
    const size_t stride = 4;  // 21 pixels
    ASSERT_EQ(pixels, table + 8);
    Picture topTwoAndAByte = testing::blankPicture(ab_.width, ab_.height);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < (y < 2 ? ab_.width : 8); ++x) topTwoAndAByte.at(x, y) = ab_.at(x, y);
    }
    const Picture bottomThree = whiteRowsAbove(ab_, 3);
    const std::vector<DamagedFile> files = {
        {"lighter entry first", "a.bmp", swapped, 1, {ab_}},
        // Equal entries, a missing entry and no table keep bit 1 white.
        {"equal entries", "a.bmp", edited(swapped, [&](Bytes& b) { std::copy_n(b.begin() + table + 4, 4, b.begin() + table); }), 1, {negative(ab_)}},
        {"one colour used", "a.bmp", edited(swapped, [](Bytes& b) { testing::put32(b, 46, 1); }), 1, {negative(ab_)}},
        {"no table", "a.bmp",
         edited(swapped, [&](Bytes& b) {
             b.erase(b.begin() + table, b.begin() + table + 8);
             testing::put32(b, 10, table);
         }),
         1, {negative(ab_)}},
        {"information header cut short", "a.bmp", cut(bmp, 53), 1, {std::nullopt}},
        {"OS/2 information header", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 14, 12); }), 1, {std::nullopt}},
        {"eight bits per pixel", "a.bmp", edited(bmp, [](Bytes& b) { testing::put16(b, 28, 8); }), 1, {std::nullopt}},
        {"width 0", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 18, 0); }), 1, {std::nullopt}},
        {"height 0", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 22, 0); }), 1, {std::nullopt}},
        {"negative width", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 18, uint32_t(-21)); }), 1, {std::nullopt}},
        {"height -2^31", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 22, 0x80000000u); }), 1, {std::nullopt}},
        {"beyond the pixel limit", "a.bmp",
         edited(bmp, [](Bytes& b) {
             testing::put32(b, 18, 200000);
             testing::put32(b, 22, 100000);
         }),
         1, {std::nullopt}},
        // Bottom-up: the file ends after the three bottom rows.
        {"rows past the end stay white", "a.bmp", cut(bmp, pixels + 3 * stride), 1, {bottomThree}},
        {"top-down rows past the end stay white", "a.bmp", cut(testing::bmpTopDown(bmp), pixels + 2 * stride + 1), 1,
         {topTwoAndAByte}},
        {"pixel data past the end", "a.bmp", edited(bmp, [](Bytes& b) { testing::put32(b, 10, 0xFFFFFF00u); }), 1,
         {testing::blankPicture(ab_.width, ab_.height)}},
        {"not a BMP", "a.bmp", edited(bmp, [](Bytes& b) { b[1] = 'A'; }), 0, {std::nullopt}},
    };
    expectPages(files);

    const auto withDensity = [&](uint32_t x, uint32_t y) {
        return edited(bmp, [&](Bytes& b) {
            testing::put32(b, 38, x);
            testing::put32(b, 42, y);
        });
    };
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(0, 0)), (Resolution{200, 200, 2, 1}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(3780, 3780)), (Resolution{37, 37, 3, 1}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(3780, 0)), (Resolution{37, 37, 3, 1}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(0, 7874)), (Resolution{78, 78, 3, 1}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(uint32_t(-100), uint32_t(-3937))), (Resolution{200, 200, 2, 1}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(7874, 3937)), (Resolution{78, 39, 3, 2}));
    EXPECT_EQ(resolutionOf("a.bmp", withDensity(2000000, 10000)), (Resolution{20000, 100, 3, 8}));
}

TEST_F(DamagedContainersTest, DcxColourPagesSizesOffsetsAndRunsAcrossRows)
{
    const Bytes ab = testing::ppmtopcxPage(scratch_, ab_);
    const Bytes c = testing::ppmtopcxPage(scratch_, c_);
    testing::writeText(scratch_.file("colour.ppm"), "P3\n4 2\n255\n255 0 0 0 255 0 0 0 255 255 0 0\n0 0 0 255 255 255 255 0 0 0 255 0\n");
    ASSERT_TRUE(testing::runQuietly("ppmtopcx " + scratch_.file("colour.ppm") + " > " + scratch_.file("colour.pcx") + " 2>/dev/null"));
    const Bytes colour = testing::readBytes(scratch_.file("colour.pcx"));
    const auto patched = [&](size_t at, uint32_t value) {
        return testing::dcxFile({ab, edited(c, [&](Bytes& b) { testing::put16(b, at, value); })});
    };
    const uint32_t first = 16;  // after the number, two offsets and the 0
    const std::vector<DamagedFile> files = {
        {"colour page between one-bit pages", "a.dcx", testing::dcxFile({ab, colour, c}), 3, {ab_, std::nullopt, c_}},
        {"page shorter than its header", "a.dcx", testing::dcxFile({ab, cut(c, 100)}), 2, {ab_, std::nullopt}},
        {"xmax below xmin", "a.dcx", patched(8, uint32_t(-1)), 2, {ab_, std::nullopt}},
        {"ymax below ymin", "a.dcx", patched(10, uint32_t(-1)), 2, {ab_, std::nullopt}},
        {"lines shorter than the width", "a.dcx", patched(66, 2), 2, {ab_, std::nullopt}},
        {"negative line length", "a.dcx", patched(66, uint32_t(-4)), 2, {ab_, std::nullopt}},
        {"beyond the pixel limit", "a.dcx",
         testing::dcxFile({ab, edited(c, [](Bytes& b) {
                               for (const size_t at : {4, 6}) testing::put16(b, at, 0x8000);
                               for (const size_t at : {8, 10}) testing::put16(b, at, 0x7FFF);
                               testing::put16(b, 66, 8192);
                           })}),
         2, {ab_, std::nullopt}},
        {"next offset equal to its own", "a.dcx", dcxWithOffsets({first, first, 0}, ab), 2, {ab_, ab_}},
        {"next offset before its own", "a.dcx", dcxWithOffsets({first + uint32_t(ab.size()), first, 0}, joined({ab, c})), 2, {c_, ab_}},
        {"next offset past the end", "a.dcx", dcxWithOffsets({first, 0xFFFFFF00u, 0}, ab), 2, {ab_, std::nullopt}},
        {"no page offset", "a.dcx", dcxWithOffsets({0}, ab), 0, {std::nullopt}},
        {"list cut before its 0", "a.dcx", cut(dcxWithOffsets({first}, {}), 8), 1, {std::nullopt}},
        // A run of four over rows of two bytes fills both rows; a run of
        // three, then a literal: the run's last byte starts row two.
        {"run across the row end", "a.dcx", testing::dcxFile({joined({pcxHeader(16, 2, 2), {0xC4, 0x0F}})}), 1,
         {rowsOfBytes(16, {{0x0F, 0x0F}, {0x0F, 0x0F}})}},
        {"run then literal across the row end", "a.dcx",
         testing::dcxFile({joined({pcxHeader(16, 2, 2), {0xC3, 0x0F, 0x30}})}), 1,
         {rowsOfBytes(16, {{0x0F, 0x0F}, {0x0F, 0x30}})}},
    };
    expectPages(files);

    // The colour page is reported as that page's failure, an empty page
    // refused before the encoder; the others convert, and no library says a
    // word on standard error, with the report or without it (/q).
    const std::string mixed = save("mixed.dcx", files[0].bytes);
    const std::string base = scratch_.file("mixed");
    for (const std::string quiet : {"", "/q"}) {
        const auto run = faxtest::runShell("TMPDIR='" + scratch_.path().string() + "' '" PLIFTCMD_PATH "' " + quiet +
                                               " /log= '/f=" + mixed + "' '/sf=" + scratch_.file("mixed.jpg") + "'",
                                           scratch_.path().string());
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.find("page 001 --> " + base + "001.jpg : Success !\n        page 002 --> " + base +
                               "002.jpg : Failed : empty page: 0 x 0\n        page 003 --> " + base +
                               "003.jpg : Success !") == std::string::npos,
                  quiet == "/q")
            << run.out;
        EXPECT_FALSE(fs::exists(base + "002.jpg"));
    }

    std::vector<uint32_t> many(1025, 4 + 4 * 1026);
    many.push_back(0);
    EXPECT_EQ(readAll(save("many.dcx", dcxWithOffsets(many, ab))).count, 1024);

    // A line of 215 bytes is stored in 216.
    const DocumentPages odd = readAll(save("odd.dcx", testing::dcxFile({joined({pcxHeader(1713, 1, 215), {0xFF, 0xFF}})})));
    EXPECT_EQ(odd.pages[0].bytesPerRow, 216);
    const auto withResolution = [&](uint32_t x, uint32_t y) {
        return testing::dcxFile({edited(ab, [&](Bytes& b) {
            testing::put16(b, 12, x);
            testing::put16(b, 14, y);
        })});
    };
    EXPECT_EQ(resolutionOf("a.dcx", withResolution(0, 0)), (Resolution{200, 200, 2, 1}));
    EXPECT_EQ(resolutionOf("a.dcx", withResolution(300, 0)), (Resolution{300, 300, 2, 1}));
    EXPECT_EQ(resolutionOf("a.dcx", withResolution(204, 98)), (Resolution{204, 98, 2, 2}));
    EXPECT_EQ(resolutionOf("a.dcx", withResolution(40000, 10)), (Resolution{32767, 10, 2, 8}));
}

TEST_F(DamagedContainersTest, CalsKeysAndValuesStayInsideTheirHeader)
{
    const Bytes cals = testing::imageMagickCals(scratch_, ab_, 200);
    const size_t sizeRecord = 1024;
    const size_t densityRecord = 1152;
    const std::vector<DamagedFile> files = {
        {"as written", "a.cal", cals, 1, {ab_}},
        {"no rdensty", "a.cal", calsRecord(cals, densityRecord, "notes: NONE"), 0, {std::nullopt}},
        {"rdensty 0", "a.cal", calsRecord(cals, densityRecord, "rdensty: 0000"), 0, {std::nullopt}},
        {"negative density", "a.cal", calsRecord(cals, densityRecord, "rdensty: -200"), 1, {ab_}},
        {"header cut short", "a.cal", cut(cals, 2047), 0, {std::nullopt}},
        {"rpelcnt only after the header", "a.cal",
         edited(calsRecord(cals, sizeRecord, "rorient: 000,270"),
                [](Bytes& b) {
                    const std::string key = "rpelcnt: 000021,000009";
                    b.insert(b.begin() + 2048, key.begin(), key.end());
                }),
         0, {std::nullopt}},
        {"comma in the next record", "a.cal",
         edited(calsRecord(cals, sizeRecord, "rpelcnt: 000021"),
                [&](Bytes& b) {
                    const std::string rest = ",000009 rdensty: 0200";
                    std::fill_n(b.begin() + densityRecord, 128, uint8_t(' '));
                    std::copy(rest.begin(), rest.end(), b.begin() + densityRecord);
                }),
         0, {std::nullopt}},
        {"twelve-digit width", "a.cal", calsRecord(cals, sizeRecord, "rpelcnt: 999999999999,000009"), 1, {std::nullopt}},
        {"negative width", "a.cal", calsRecord(cals, sizeRecord, "rpelcnt: -21,9"), 1, {std::nullopt}},
        {"zero byte before the keys", "a.cal", edited(cals, [](Bytes& b) { b[1000] = 0; }), 0, {std::nullopt}},
    };
    expectPages(files);
    EXPECT_EQ(resolutionOf("a.cal", calsRecord(cals, densityRecord, "rdensty: -200")), (Resolution{200, 200, 2, 1}));
}

TEST_F(DamagedContainersTest, EdHeadersAndSizes)
{
    const Bytes mmr = testing::tiffcpStrip(scratch_, ab_, "g4", true);
    const std::vector<DamagedFile> files = {
        {"as written", "a.ed", testing::edFile(200, 9, 21, mmr), 1, {ab_}},
        {"header cut short", "a.ed", cut(testing::edFile(200, 9, 21, mmr), 739), 0, {std::nullopt}},
        {"wrong signature", "a.ed", edited(testing::edFile(200, 9, 21, mmr), [](Bytes& b) { b[3] = 2; }), 0, {std::nullopt}},
        {"width 0", "a.ed", testing::edFile(200, 9, 0, mmr), 1, {std::nullopt}},
        {"rows 0", "a.ed", testing::edFile(200, 0, 21, mmr), 1, {std::nullopt}},
        {"width 2^32 - 1", "a.ed", testing::edFile(200, 9, 0xFFFFFFFFu, mmr), 1, {std::nullopt}},
        {"beyond the pixel limit", "a.ed", testing::edFile(200, 100000, 100000, mmr), 1, {std::nullopt}},
    };
    expectPages(files);
    EXPECT_EQ(resolutionOf("a.ed", testing::edFile(0, 9, 21, mmr)), (Resolution{200, 200, 2, 1}));
    EXPECT_EQ(resolutionOf("a.ed", testing::edFile(300, 9, 21, mmr)), (Resolution{300, 300, 2, 1}));
}

TEST_F(DamagedContainersTest, Ig4StripChainsAndDirectory)
{
    const Picture page = text("IG4\nXY", 21, 20, 1);
    std::vector<Bytes> strips;
    for (int32_t row = 0; row < 20; row += 8) {
        strips.push_back(testing::tiffcpStrip(scratch_, testing::pictureRows(page, row, std::min(8, 20 - row)), "g4", true));
    }
    const Bytes ig4 = testing::ig4File("II", 21, 8, strips);
    const testing::Ig4Layout layout = testing::ig4LayoutOf(ig4);
    const auto offset = [&](size_t strip) { return layout.directory + 8 + 4 * strip; };
    const auto rows = [&](int32_t first, int32_t count) { return testing::pictureRows(page, first, count); };
    const std::vector<DamagedFile> files = {
        {"as written", "a.ig4", ig4, 1, {page}},
        {"strip count 65535", "a.ig4", edited(ig4, [&](Bytes& b) { testing::put16(b, layout.directory, 0xFFFF); }), 1, {page}},
        {"next offset 0", "a.ig4", edited(ig4, [&](Bytes& b) { testing::put32(b, offset(1), 0); }), 1, {rows(0, 8)}},
        {"next offset equal to its own", "a.ig4",
         edited(ig4, [&](Bytes& b) { testing::put32(b, offset(1), layout.firstStrip); }), 1,
         {testing::stackPictures({rows(0, 8), rows(0, 8), rows(16, 4)})}},
        // The last strip copied into the description's unused bytes is still
        // not read there: strips lie before the description.
        {"offset past the description", "a.ig4",
         edited(ig4,
                [&](Bytes& b) {
                    std::copy(strips[2].begin(), strips[2].end(), b.begin() + layout.description + 16);
                    testing::put32(b, offset(2), layout.description + 16);
                }),
         1, {rows(0, 16)}},
        {"rows per strip 0", "a.ig4", edited(ig4, [&](Bytes& b) { testing::put16(b, layout.description + 4, 0); }), 1, {std::nullopt}},
        {"width 0", "a.ig4", edited(ig4, [&](Bytes& b) { testing::put16(b, layout.description + 6, 0); }), 1, {std::nullopt}},
        {"beyond the pixel limit", "a.ig4",
         edited(ig4,
                [&](Bytes& b) {
                    testing::put16(b, layout.description + 4, 0xFFFF);
                    testing::put16(b, layout.description + 6, 0xFFFF);
                }),
         1, {std::nullopt}},
        {"trailer cut", "a.ig4", cut(ig4, ig4.size() - 1), 0, {std::nullopt}},
        {"description past the end", "a.ig4",
         edited(ig4, [&](Bytes& b) { testing::put32(b, b.size() - 336 + 40, 0xFFFFFF00u); }), 0, {std::nullopt}},
        {"directory past the end", "a.ig4",
         edited(ig4, [&](Bytes& b) { testing::put32(b, b.size() - 336 + 56, uint32_t(b.size())); }), 0, {std::nullopt}},
        {"shorter than a trailer", "a.ig4", cut(ig4, 300), 0, {std::nullopt}},
    };
    expectPages(files);
    EXPECT_EQ(resolutionOf("a.ig4", ig4), (Resolution{300, 300, 2, 1}));
}

TEST_F(DamagedContainersTest, DsRecordChainsNamesAndEmbeddedFiles)
{
    const Bytes abTiff = testing::tiffcpFile(scratch_, ab_, "g4", false, "200x200");
    const Bytes cTiff = testing::tiffcpFile(scratch_, c_, "g3:2d", true, "200x200");
    const Bytes ds = testing::dsFile("END", {{"P1", abTiff, 0}, {"P2", cTiff, 5}});
    const size_t second = 280 + 55 + abTiff.size();
    const std::string longName(274, 'A');
    Bytes unterminated = testing::dsFile("", {{"P1", abTiff, 0}});
    std::fill_n(unterminated.begin() + 6, 274, uint8_t('A'));
    std::fill_n(unterminated.end() - 55, 47, uint8_t('A'));
    Bytes fullName = testing::dsFile(std::string(47, 'B'), {{"P1", abTiff, 0}});
    const std::vector<DamagedFile> files = {
        {"as written", "a.ds", ds, 2, {ab_, c_}},
        {"embedded offset at its block size", "a.ds", edited(ds, [&](Bytes& b) { testing::put32(b, second + 51, uint32_t(5 + cTiff.size())); }), 2, {ab_, std::nullopt}},
        // Past its block the offset would reach the next page's TIFF file.
        {"embedded offset past its block", "a.ds",
         edited(ds, [&](Bytes& b) { testing::put32(b, 280 + 51, uint32_t(abTiff.size() + 55 + 5)); }), 2,
         {std::nullopt, c_}},
        {"embedded data no TIFF", "a.ds", edited(ds, [&](Bytes& b) { b[second + 55 + 5] = 'X'; }), 2, {ab_, std::nullopt}},
        {"block past the end of the file", "a.ds", edited(ds, [&](Bytes& b) { testing::put32(b, second + 47, 0xFFFFFF00u); }), 2, {ab_, c_}},
        // An end name without its zero never equals a 47-byte record name:
        // the chain ends at the end of the file instead.
        {"end name filling the header", "a.ds", unterminated, 2, {ab_, std::nullopt}},
        {"record name filling its field", "a.ds", fullName, 1, {ab_}},
        {"header cut short", "a.ds", cut(ds, 279), 0, {std::nullopt}},
        {"wrong signature", "a.ds", edited(ds, [](Bytes& b) { b[1] = 0xCB; }), 0, {std::nullopt}},
        {"no record", "a.ds", cut(ds, 280), 0, {std::nullopt}},
        {"first record is the end", "a.ds", testing::dsFile("END", {}), 0, {std::nullopt}},
    };
    expectPages(files);

    // Pages come from the source itself, in any order; no working file is written.
    FaxDocument document;
    document.workingFiles().tempTiffPath = scratch_.file("tmptif");
    document.open(save("a.ds", ds), Ds);
    document.readPage(Ds, 1);
    EXPECT_EQ(testing::compareFirstDifference(c_, testing::pictureOf(document.page())), "");
    document.readPage(Ds, 0);
    EXPECT_EQ(testing::compareFirstDifference(ab_, testing::pictureOf(document.page())), "");
    EXPECT_FALSE(fs::exists(scratch_.file("tmptif")));
}

// Every cut inside a file's headers leaves it without a page, and every
// reader closes a file whose header check fails.
TEST_F(DamagedContainersTest, FilesCutShortInTheirHeadersHaveNoPage)
{
    const Bytes dcx = testing::dcxFile({testing::ppmtopcxPage(scratch_, ab_)});
    const Bytes dsTiff = testing::tiffcpFile(scratch_, ab_, "g4", false, "200x200");
    const Bytes ig4 = testing::ig4File("II", 21, 9, {testing::tiffcpStrip(scratch_, ab_, "g4", true)});
    struct Whole {
        std::string name;
        Bytes bytes;
        size_t headersEnd;
    };
    const std::vector<Whole> wholes = {
        {"a.bmp", testing::imageMagickBmp(scratch_, ab_, ""), 54},
        {"a.dcx", dcx, 8 + 128},
        {"a.cal", testing::imageMagickCals(scratch_, ab_, 200), 2049},
        {"a.ds", testing::dsFile("END", {{"P1", dsTiff, 0}}), 280 + 55 + 8},
        {"a.ed", testing::edFile(200, 9, 21, testing::tiffcpStrip(scratch_, ab_, "g4", true)), 741},
        {"a.ig4", ig4, ig4.size()},
    };
    for (const Whole& whole : wholes) {
        ASSERT_TRUE(readAll(save(whole.name, whole.bytes)).pages[0].hasPage()) << whole.name;
        for (size_t length = 0; length < whole.headersEnd; ++length) {
            EXPECT_FALSE(readAll(save(whole.name, cut(whole.bytes, length))).pages[0].hasPage())
                << whole.name << " cut to " << length;
        }
    }

    const std::string junk = save("junk", Bytes(3000, 'x'));
    const auto closesOnFailure = [&junk](auto reader) {
        reader.openFile(junk);
        return reader.checkHeader() != 0 && !reader.isOpen();
    };
    EXPECT_TRUE(closesOnFailure(BmpReader{}));
    EXPECT_TRUE(closesOnFailure(DcxReader{}));
    EXPECT_TRUE(closesOnFailure(CalsReader{}));
    EXPECT_TRUE(closesOnFailure(DsReader{}));
    EXPECT_TRUE(closesOnFailure(EdReader{}));
    EXPECT_TRUE(closesOnFailure(Ig4Reader{}));
}

}  // namespace
}  // namespace pagelift

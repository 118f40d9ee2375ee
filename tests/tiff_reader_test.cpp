// The TIFF reader against libtiff's own tools: every strip and tile layout,
// byte order, fill order and compression that tiffcp writes must read back as
// the pixels ImageMagick sees; hand-built files reach the corners tiffcp never
// writes.

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/tiff_reader.h"
#include "support/corpus_folder.h"
#include "support/fax_fixtures.h"
#include "support/mh_encoder.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace pagelift {
namespace {

using faxtest::firstDifference;
using faxtest::pageAsGray;
using faxtest::readDocumentPages;
using faxtest::ScratchFolder;

const char* const kTiffcp = "/usr/bin/tiffcp";
const char* const kImageMagick = "/usr/bin/convert";

struct Variant {
    const char* name;
    const char* tiffcpOptions;
};

// The layouts and codings tiffcp gives a bilevel page.
const Variant kVariants[] = {
    {"plain-big-endian", "-c none -B"},
    {"plain-little-endian", "-c none -L"},
    {"plain-lsb-first", "-c none -f lsb2msb"},
    {"plain-strips-of-7", "-c none -r 7 -B"},
    {"plain-one-strip", "-c none -r 1000000"},
    {"packbits-big-endian-strips-of-5", "-c packbits -B -r 5"},
    {"packbits-lsb-first", "-c packbits -L -f lsb2msb"},
    {"packbits-one-strip", "-c packbits -r 1000000"},
    {"g3-1d", "-c g3"},
    {"g3-1d-byte-aligned-eols-lsb-first", "-c g3:fill -f lsb2msb -r 11"},
    {"g3-2d-big-endian-strips", "-c g3:2d -B -r 16"},
    {"g3-2d-fill-lsb-first", "-c g3:2d:fill -f lsb2msb"},
    {"g4-big-endian-strips-of-9", "-c g4 -B -r 9"},
    {"g4-lsb-first-one-strip", "-c g4 -f lsb2msb -r 1000000"},
    // Tiles, those at the right and bottom edges running past the page.
    {"tiles-256-plain", "-c none -t -w 256 -l 256"},
    {"tiles-16-plain-lsb-first", "-c none -f lsb2msb -t -w 16 -l 16"},
    {"tiles-256-packbits", "-c packbits -t -w 256 -l 256"},
    {"tiles-16-packbits-big-endian", "-c packbits -B -t -w 16 -l 16"},
    {"tiles-256-g3-1d", "-c g3 -t -w 256 -l 256"},
    {"tiles-16-g3-1d-lsb-first", "-c g3 -f lsb2msb -t -w 16 -l 16"},
    {"tiles-256-g3-2d", "-c g3:2d -t -w 256 -l 256"},
    {"tiles-16-g3-2d", "-c g3:2d -t -w 16 -l 16"},
    {"tiles-256-g4-big-endian", "-c g4 -B -t -w 256 -l 256"},
    {"tiles-16-g4", "-c g4 -t -w 16 -l 16"},
};

class TiffLayoutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!faxtest::toolsAvailable({kTiffcp, kImageMagick, "/usr/bin/pbmtext"})) {
            GTEST_SKIP() << "needs tiffcp, ImageMagick and netpbm (scripts/install-deps.sh --test)";
        }
    }

    // Checks every layout of `base` against ImageMagick's reading of it.
    void expectAllLayoutsMatch(const std::string& base, int expectedPages)
    {
        std::vector<faxtest::GrayImage> reference;
        for (int page = 0; page < expectedPages; ++page) {
            auto image = faxtest::referencePage(base, page, scratch_.file("reference.pgm"));
            ASSERT_TRUE(image.has_value()) << base << " page " << page;
            reference.push_back(*image);
        }
        for (const Variant& variant : kVariants) {
            SCOPED_TRACE(std::string(variant.name) + " of " + base);
            const std::string file = scratch_.file(std::string(variant.name) + ".tif");
            ASSERT_EQ(faxtest::runShell(std::string(kTiffcp) + " " + variant.tiffcpOptions + " '" + base + "' '" +
                                            file + "'",
                                        scratch_.path().string())
                          .exitCode,
                      0);
            const std::vector<PageBitmap> pages = readDocumentPages(file);
            ASSERT_EQ(pages.size(), reference.size());
            for (size_t page = 0; page < pages.size(); ++page) {
                EXPECT_EQ(firstDifference(reference[page], pageAsGray(pages[page])), "") << "page " << page;
            }
        }
    }

    // An uncompressed copy of a page file made by tiffcp (it decodes CCITT
    // pages itself, independently of this program).
    std::string uncompressedCopy(const std::string& source)
    {
        const std::string base = scratch_.file("base.tif");
        EXPECT_EQ(faxtest::runShell(std::string(kTiffcp) + " -c none '" + source + "' '" + base + "'",
                                    scratch_.path().string())
                      .exitCode,
                  0);
        return base;
    }

    // Rendered text pages, as a TIFF with ImageMagick's default photometric.
    std::string renderedDocument(const std::vector<std::pair<int, int>>& sizes, const std::string& density,
                                 const std::string& polarity)
    {
        std::string command = std::string(kImageMagick);
        for (size_t i = 0; i < sizes.size(); ++i) {
            const std::string pbm = scratch_.file("page" + std::to_string(i) + ".pbm");
            EXPECT_TRUE(faxtest::renderTextPage(pbm, "Page " + std::to_string(i + 1) + "\nFAX TEST 0123456789", 2,
                                                sizes[i].first, sizes[i].second));
            command += " '" + pbm + "'";
        }
        const std::string rendered = scratch_.file("rendered.tif");
        command += " -define quantum:polarity=" + polarity + " -compress None -density " + density +
                   " -units PixelsPerInch '" + rendered + "'";
        EXPECT_EQ(faxtest::runShell(command, scratch_.path().string()).exitCode, 0);
        return uncompressedCopy(rendered);
    }

    ScratchFolder scratch_;
};

TEST_F(TiffLayoutsTest, RenderedPagesOfEveryWidthReadBackInEveryLayout)
{
    struct Document {
        std::vector<std::pair<int, int>> sizes;
        const char* polarity;
    };
    const Document documents[] = {
        {{{1728, 300}, {1728, 280}}, "min-is-white"},
        {{{1725, 150}}, "min-is-black"},
        {{{13, 40}, {219, 33}, {2048, 20}}, "min-is-white"},
    };
    for (const Document& document : documents) {
        const std::string base = renderedDocument(document.sizes, "204x98", document.polarity);
        expectAllLayoutsMatch(base, static_cast<int>(document.sizes.size()));
    }
}

TEST_F(TiffLayoutsTest, CorpusPagesReadBackInEveryLayout)
{
    const std::filesystem::path corpus = testing::corpusFolder();
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus folder at " << corpus;
    const std::map<std::string, int> files = {
        {"fax2d.tif", 1}, {"g3test.tif", 1}, {"hopper_g4.tif", 1}, {"g4-fillorder-test.tif", 1}, {"g4-multi.tiff", 3},
    };
    for (const auto& [name, pages] : files) {
        SCOPED_TRACE(name);
        // The file as its own software wrote it, then every layout of its pages.
        const std::string original = (corpus / name).string();
        const std::vector<PageBitmap> read = readDocumentPages(original);
        ASSERT_EQ(read.size(), static_cast<size_t>(pages));
        for (int page = 0; page < pages; ++page) {
            auto reference = faxtest::referencePage(original, page, scratch_.file("original.pgm"));
            ASSERT_TRUE(reference.has_value());
            EXPECT_EQ(firstDifference(*reference, pageAsGray(read[static_cast<size_t>(page)])), "") << "page " << page;
        }
        expectAllLayoutsMatch(uncompressedCopy(original), pages);
    }
}

TEST_F(TiffLayoutsTest, ColourMappedPagesShowTheLighterEntryAsWhite)
{
    if (!faxtest::toolsAvailable({"/usr/bin/tiff2rgba"})) GTEST_SKIP() << "needs tiff2rgba (libtiff-tools)";
    const std::string pbm = scratch_.file("page.pbm");
    ASSERT_TRUE(faxtest::renderTextPage(pbm, "COLOUR MAP\n0123456789", 2, 301, 90));
    const testing::Picture picture = testing::readPbm(pbm);
    struct Map {
        const char* name;
        std::vector<uint16_t> colours;  // r0 r1 g0 g1 b0 b1
    };
    const Map maps[] = {
        {"entry 0 black, entry 1 white", {0, 65535, 0, 65535, 0, 65535}},
        {"entry 0 white, entry 1 black", {65535, 0, 65535, 0, 65535, 0}},
        {"entry 0 light yellow, entry 1 dark blue", {65535, 0, 65535, 0, 30000, 40000}},
    };
    for (const Map& map : maps) {
        const std::string mapped = scratch_.file("mapped.tif");
        testing::writeUncompressedTiff(mapped, picture, 0, map.colours);
        for (const char* compression : {"none", "packbits", "g3", "g3:2d", "g4"}) {
            SCOPED_TRACE(std::string(map.name) + ", " + compression);
            const std::string coded = scratch_.file("coded.tif");
            const std::string rgba = scratch_.file("rgba.tif");
            ASSERT_EQ(faxtest::runShell(std::string(kTiffcp) + " -c " + compression + " '" + mapped + "' '" + coded +
                                            "' && tiff2rgba '" + coded + "' '" + rgba + "'",
                                        scratch_.path().string())
                          .exitCode,
                      0);
            // libtiff's reading in colour, through the map; light is white.
            const auto reference = faxtest::referencePage(rgba, 0, scratch_.file("reference.pgm"));
            ASSERT_TRUE(reference.has_value());
            const std::vector<PageBitmap> pages = readDocumentPages(coded);
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(firstDifference(faxtest::thresholded(*reference), pageAsGray(pages[0])), "");
        }
    }
    // Entries alike give no white: the page reads as black-is-zero.
    const std::string alike = scratch_.file("alike.tif");
    testing::writeUncompressedTiff(alike, picture, 0, {30000, 30000, 30000, 30000, 30000, 30000});
    const std::vector<PageBitmap> pages = readDocumentPages(alike);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(firstDifference(faxtest::pictureAsGray(picture), pageAsGray(pages[0])), "");
}

// Whole dots per inch; per centimetre taken per inch, rounded (a whole
// number per centimetre would be up to 2% off).
TEST_F(TiffLayoutsTest, ResolutionsComeFromTheTagsAsWholeDotsPerInch)
{
    if (!faxtest::toolsAvailable({"/usr/bin/tiffset"})) GTEST_SKIP() << "needs tiffset (libtiff-tools)";
    const std::string base = renderedDocument({{64, 10}}, "204x98", "min-is-white");
    struct Case {
        std::vector<std::string> tags;  // tiffset's -s values, one call each
        uint16_t x;
        int16_t y;
    };
    for (const Case& c : {Case{{}, 204, 98}, Case{{"296 3", "282 80.31", "283 38.58"}, 204, 98},
                          Case{{"296 3", "282 37.79", "283 37.79"}, 96, 96}}) {
        const std::string file = scratch_.file("resolution.tif");
        std::filesystem::copy_file(base, file, std::filesystem::copy_options::overwrite_existing);
        for (const std::string& tag : c.tags) {
            SCOPED_TRACE(tag);
            ASSERT_TRUE(testing::runQuietly("tiffset -s " + tag + " '" + file + "'"));
        }
        const std::vector<PageBitmap> pages = readDocumentPages(file);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].xResolution, c.x);
        EXPECT_EQ(pages[0].yResolution, c.y);
        EXPECT_EQ(pages[0].resolutionUnit, 2);
        EXPECT_EQ(pages[0].coding, CodingUncompressed);
    }
}

// ---------------------------------------------------------------------------
// Hand-built files.

// Writes a TIFF file field by field, in either byte order.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false, uint16_t order = 0) : big_(bigEndian)
    {
        const uint16_t mark = order != 0 ? order : (bigEndian ? 0x4D4D : 0x4949);
        bytes_ = {static_cast<uint8_t>(mark & 0xFF), static_cast<uint8_t>(mark >> 8)};
        put16(42);
        put32(0);  // first directory, patched by setFirstIfd
    }

    size_t size() const { return bytes_.size(); }
    size_t append(const std::vector<uint8_t>& data)
    {
        const size_t at = bytes_.size();
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return at;
    }
    size_t appendRational(uint32_t numerator, uint32_t denominator) { return appendLongs({numerator, denominator}); }
    size_t appendLongs(std::initializer_list<uint32_t> values)
    {
        const size_t at = bytes_.size();
        for (uint32_t value : values) put32(value);
        return at;
    }

    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        uint32_t value;       // LONG value, offset, or SHORT value(s) given below
        bool twoShorts = false;
        uint16_t second = 0;
    };

    // Appends a directory; returns its offset. `next` is its next-directory link.
    size_t addIfd(const std::vector<Entry>& entries, uint32_t next = 0)
    {
        const size_t at = bytes_.size();
        put16(static_cast<uint16_t>(entries.size()));
        for (const Entry& entry : entries) {
            put16(entry.tag);
            put16(entry.type);
            put32(entry.count);
            if (entry.type == kShortType && entry.count <= 2) {
                put16(static_cast<uint16_t>(entry.value));
                put16(entry.twoShorts ? entry.second : 0);
            } else {
                put32(entry.value);
            }
        }
        put32(next);
        return at;
    }
    void patch32(size_t at, uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            bytes_[at + static_cast<size_t>(i)] =
                static_cast<uint8_t>(big_ ? value >> (24 - 8 * i) : value >> (8 * i));
        }
    }
    void setFirstIfd(size_t offset) { patch32(4, static_cast<uint32_t>(offset)); }
    void save(const std::string& path) const { imagetest::writeBytes(path, bytes_); }

private:
    void put16(uint16_t value)
    {
        if (big_) {
            bytes_.push_back(static_cast<uint8_t>(value >> 8));
            bytes_.push_back(static_cast<uint8_t>(value));
        } else {
            bytes_.push_back(static_cast<uint8_t>(value));
            bytes_.push_back(static_cast<uint8_t>(value >> 8));
        }
    }
    void put32(uint32_t value)
    {
        if (big_) {
            put16(static_cast<uint16_t>(value >> 16));
            put16(static_cast<uint16_t>(value));
        } else {
            put16(static_cast<uint16_t>(value));
            put16(static_cast<uint16_t>(value >> 16));
        }
    }

    static constexpr uint16_t kShortType = 3;
    bool big_;
    std::vector<uint8_t> bytes_;
};

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;

// The tags of an uncompressed page of 8 x rows, min-is-black unless told.
std::vector<TiffBuilder::Entry> plainPageTags(uint32_t rows, uint32_t stripOffset, uint32_t stripBytes,
                                              uint32_t photometric = 1)
{
    return {
        {256, kShort, 1, 8},      {257, kShort, 1, rows},      {258, kShort, 1, 1},
        {259, kShort, 1, 1},      {262, kShort, 1, photometric},         {273, kLong, 1, stripOffset},
        {278, kLong, 1, rows},    {279, kLong, 1, stripBytes},
    };
}

std::vector<uint8_t> rowBytes(uint32_t rows, uint8_t first = 0x10)
{
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < rows; ++i) data.push_back(static_cast<uint8_t>(first + i));
    return data;
}

TEST(TiffReaderFiles, ByteOrdersFaxMarkAndHeaderChecks)
{
    ScratchFolder scratch;
    struct Case {
        const char* name;
        bool bigEndian;
        uint16_t mark;
        int expectedHeader;
    };
    const Case cases[] = {
        {"little-endian", false, 0, 0}, {"big-endian", true, 0, 0}, {"fax-mark", false, 0x4646, 0},
        {"unknown-mark", false, 0x4242, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder tiff(c.bigEndian, c.mark);
        const size_t data = tiff.append(rowBytes(3));
        tiff.setFirstIfd(tiff.addIfd(plainPageTags(3, static_cast<uint32_t>(data), 3, 0)));
        const std::string path = scratch.file(std::string(c.name) + ".tif");
        tiff.save(path);

        TiffReader reader;
        reader.openFile(path);
        ASSERT_EQ(reader.checkHeader(), c.expectedHeader);
        if (c.expectedHeader != 0) {
            EXPECT_FALSE(reader.isOpen());
            continue;
        }
        ASSERT_EQ(reader.countPages(), 1);
        PageBitmap page;
        reader.readPage(0, page);
        ASSERT_EQ(page.rows, 3);
        // Min-is-white data are stored inverted (1 = white in the raster).
        EXPECT_EQ(page.pixels, (std::vector<uint8_t>{0xEF, 0xEE, 0xED}));
    }

    const std::string shortFile = scratch.file("short.tif");
    imagetest::writeBytes(shortFile, {0x49, 0x49, 42, 0});
    TiffReader reader;
    reader.openFile(shortFile);
    EXPECT_EQ(reader.checkHeader(), -3);
    EXPECT_FALSE(reader.isOpen());
}

TEST(TiffReaderFiles, StripsOfAPageAreJoinedAndTheLastStripIsShort)
{
    ScratchFolder scratch;
    // Ten rows in strips of four: 4 + 4 + 2 rows, offsets in a LONG array,
    // byte counts in a SHORT array.
    TiffBuilder tiff;
    const size_t strip0 = tiff.append(rowBytes(4, 0x00));
    const size_t strip1 = tiff.append(rowBytes(4, 0x20));
    const size_t strip2 = tiff.append(rowBytes(2, 0x40));
    const size_t offsets = tiff.size();
    for (size_t at : {strip0, strip1, strip2}) {
        tiff.append({static_cast<uint8_t>(at), static_cast<uint8_t>(at >> 8), 0, 0});
    }
    const size_t counts = tiff.append({4, 0, 4, 0, 2, 0});
    auto tags = plainPageTags(10, 0, 0);
    tags[5] = {273, kLong, 3, static_cast<uint32_t>(offsets)};
    tags[6] = {278, kShort, 1, 4};
    tags[7] = {279, kShort, 3, static_cast<uint32_t>(counts)};
    tiff.setFirstIfd(tiff.addIfd(tags));
    const std::string path = scratch.file("strips.tif");
    tiff.save(path);

    const std::vector<PageBitmap> pages = readDocumentPages(path);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].rows, 10);
    const std::vector<uint8_t> expected = {0x00, 0x01, 0x02, 0x03, 0x20, 0x21, 0x22, 0x23, 0x40, 0x41};
    EXPECT_EQ(pages[0].pixels, expected);
}

TEST(TiffReaderFiles, TwoShortByteCountsInOneValueFieldAreBothFound)
{
    ScratchFolder scratch;
    TiffBuilder tiff(true);
    const size_t strip0 = tiff.append(rowBytes(2, 0x01));
    const size_t strip1 = tiff.append(rowBytes(1, 0x80));
    auto tags = plainPageTags(3, 0, 0);
    tags[5] = {273, kShort, 2, static_cast<uint32_t>(strip0), true, static_cast<uint16_t>(strip1)};
    tags[6] = {278, kShort, 1, 2};
    tags[7] = {279, kShort, 2, 2, true, 1};
    tiff.setFirstIfd(tiff.addIfd(tags));
    const std::string path = scratch.file("shorts.tif");
    tiff.save(path);

    const std::vector<PageBitmap> pages = readDocumentPages(path);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pixels, (std::vector<uint8_t>{0x01, 0x02, 0x80}));
}

TEST(TiffReaderFiles, DirectoryChainsThatLoopOrNeverEndStop)
{
    ScratchFolder scratch;
    {
        TiffBuilder tiff;
        const size_t data = tiff.append(rowBytes(1));
        const size_t first = tiff.addIfd(plainPageTags(1, static_cast<uint32_t>(data), 1));
        const size_t second = tiff.addIfd(plainPageTags(1, static_cast<uint32_t>(data), 1), static_cast<uint32_t>(first));
        tiff.patch32(first + 2 + 8 * 12, static_cast<uint32_t>(second));  // first -> second -> first ...
        tiff.setFirstIfd(first);
        tiff.save(scratch.file("loop.tif"));
        TiffReader reader;
        reader.openFile(scratch.file("loop.tif"));
        ASSERT_EQ(reader.checkHeader(), 0);
        EXPECT_EQ(reader.countPages(), 2);
    }
    {
        // 1025 directories: only the first 1024 pages are recorded.
        TiffBuilder tiff;
        const size_t data = tiff.append(rowBytes(1));
        size_t next = 0;
        for (int i = 0; i < 1025; ++i) next = tiff.addIfd(plainPageTags(1, static_cast<uint32_t>(data), 1), static_cast<uint32_t>(next));
        tiff.setFirstIfd(next);
        tiff.save(scratch.file("many.tif"));
        TiffReader reader;
        reader.openFile(scratch.file("many.tif"));
        ASSERT_EQ(reader.checkHeader(), 0);
        EXPECT_EQ(reader.countPages(), 1024);
    }
}

TEST(TiffReaderFiles, DamagedLayoutsEndThePageWithTheRowsSoFar)
{
    ScratchFolder scratch;
    struct Case {
        const char* name;
        uint32_t secondStripOffset;  // relative to the end of the file when above it
        uint32_t secondStripBytes;
        int expectedRows;
    };
    const Case cases[] = {
        {"second strip outside the file", 0x7FFFFFF0, 2, 2},
        {"second strip of zero bytes", 0, 0, 2},
        {"second strip running past the end", 0xFFFFFFFF, 400, 4},  // takes what the file holds, zero fills
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder tiff;
        const size_t strip0 = tiff.append(rowBytes(2));
        const size_t offsets = tiff.append(std::vector<uint8_t>(8, 0));
        const size_t counts = tiff.append(std::vector<uint8_t>(8, 0));
        auto tags = plainPageTags(4, 0, 0);
        tags[5] = {273, kLong, 2, static_cast<uint32_t>(offsets)};
        tags[6] = {278, kLong, 1, 2};
        tags[7] = {279, kLong, 2, static_cast<uint32_t>(counts)};
        tiff.setFirstIfd(tiff.addIfd(tags));
        const size_t tail = tiff.append({0x55});  // the last byte of the file
        const uint32_t secondOffset = c.secondStripOffset == 0xFFFFFFFF ? static_cast<uint32_t>(tail) : c.secondStripOffset;
        tiff.patch32(offsets, static_cast<uint32_t>(strip0));
        tiff.patch32(offsets + 4, secondOffset);
        tiff.patch32(counts, 2);
        tiff.patch32(counts + 4, c.secondStripBytes);
        const std::string path = scratch.file("damaged.tif");
        tiff.save(path);

        const std::vector<PageBitmap> pages = readDocumentPages(path);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].rows, c.expectedRows);
        EXPECT_EQ(pages[0].pixels.size(), static_cast<size_t>(c.expectedRows));
    }
}

TEST(TiffReaderFiles, TilesArePlacedAndCutAtTheEdgesAndATileOutsideTheFileFailsItsPage)
{
    // A plain page, then a 20 x 20 page of four uncompressed 16 x 16
    // tiles, each filled with one byte.
    const uint8_t fill[4] = {0x0F, 0x33, 0x55, 0xAA};
    struct Case {
        const char* name;
        uint32_t tableCount;
        uint32_t outsideTile;  // 4: none
        uint32_t emptyTile;    // its byte count 0; 4: none
        bool tiledPageRead;
    };
    const Case cases[] = {
        {"whole", 4, 4, 4, true},
        {"a tile of no bytes stays white", 4, 4, 3, true},
        {"a tile outside the file", 4, 2, 4, false},
        {"a tile table shorter than the tiles", 3, 4, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        TiffBuilder tiff;
        std::vector<uint32_t> offsets;
        for (const uint8_t byte : fill) offsets.push_back(static_cast<uint32_t>(tiff.append(std::vector<uint8_t>(32, byte))));
        if (c.outsideTile < 4) offsets[c.outsideTile] = 0x7FFFFFF0;
        const size_t offsetTable = tiff.appendLongs({offsets[0], offsets[1], offsets[2], offsets[3]});
        const size_t countTable = tiff.appendLongs({c.emptyTile == 0 ? 0u : 32u, c.emptyTile == 1 ? 0u : 32u,
                                                    c.emptyTile == 2 ? 0u : 32u, c.emptyTile == 3 ? 0u : 32u});
        const size_t tiled = tiff.addIfd({{256, kShort, 1, 20},
                                      {257, kShort, 1, 20},
                                      {258, kShort, 1, 1},
                                      {259, kShort, 1, 1},
                                      {262, kShort, 1, 1},
                                      {322, kShort, 1, 16},
                                      {323, kShort, 1, 16},
                                      {324, kLong, c.tableCount, static_cast<uint32_t>(offsetTable)},
                                      {325, kLong, c.tableCount, static_cast<uint32_t>(countTable)}});
        const size_t plain = tiff.append(rowBytes(3));
        tiff.setFirstIfd(tiff.addIfd(plainPageTags(3, static_cast<uint32_t>(plain), 3), static_cast<uint32_t>(tiled)));
        const std::string path = scratch.file("tiled.tif");
        tiff.save(path);

        const std::vector<PageBitmap> pages = readDocumentPages(path);
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(pages[0].pixels, rowBytes(3));
        if (!c.tiledPageRead) {
            EXPECT_FALSE(pages[1].hasPage());
            continue;
        }
        std::vector<uint8_t> expected;
        for (int32_t row = 0; row < 20; ++row) {
            const uint32_t left = row < 16 ? 0 : 2;
            const auto tileByte = [&](uint32_t tile) { return tile == c.emptyTile ? uint8_t(0xFF) : fill[tile]; };
            expected.insert(expected.end(), {tileByte(left), tileByte(left), tileByte(left + 1)});
        }
        EXPECT_EQ(pages[1].rows, 20);
        EXPECT_EQ(pages[1].pixels, expected);
    }
}

TEST(TiffReaderFiles, ResolutionRules)
{
    ScratchFolder scratch;
    struct Case {
        const char* name;
        bool withX, withY;
        uint32_t yNumerator, yDenominator;
        uint16_t expectedX;
        int16_t expectedY;
    };
    const Case cases[] = {
        {"both", true, true, 98, 1, 204, 98},
        {"no YResolution takes XResolution", true, false, 0, 0, 204, 204},
        {"zero denominator takes XResolution", true, true, 98, 0, 204, 204},
        {"none", false, false, 0, 0, 0, 0},
        {"fractional", true, true, 1961, 10, 204, 196},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder tiff;
        const size_t data = tiff.append(rowBytes(1));
        const size_t x = tiff.appendRational(204, 1);
        const size_t y = tiff.appendRational(c.yNumerator, c.yDenominator);
        auto tags = plainPageTags(1, static_cast<uint32_t>(data), 1);
        if (c.withX) tags.push_back({282, kRational, 1, static_cast<uint32_t>(x)});
        if (c.withY) tags.push_back({283, kRational, 1, static_cast<uint32_t>(y)});
        tiff.setFirstIfd(tiff.addIfd(tags));
        tiff.save(scratch.file("res.tif"));
        const std::vector<PageBitmap> pages = readDocumentPages(scratch.file("res.tif"));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].xResolution, c.expectedX);
        EXPECT_EQ(pages[0].yResolution, c.expectedY);
    }
}

TEST(TiffReaderFiles, GroupFourLinesPastTheWidthAreTakenWhenTheStripReadsWholeWithThem)
{
    // Every line of this 8-pixel page ends 1 pixel past its width
    // (horizontal mode, 3 white and 6 black), as a few encoders write them,
    // then EOFB. Damage would break the strip at the first such line; here
    // the strip reads clean and whole with them, and is taken so.
    ScratchFolder scratch;
    const std::string pastTheWidth = "001" "1000" "0010";
    const std::string eol = "000000000001";
    const std::vector<uint8_t> coded =
        testing::bytesFromBits(pastTheWidth + pastTheWidth + pastTheWidth + pastTheWidth + eol + eol);
    TiffBuilder tiff;
    const size_t data = tiff.append(coded);
    auto tags = plainPageTags(4, static_cast<uint32_t>(data), static_cast<uint32_t>(coded.size()), 0);
    tags[3] = {259, kShort, 1, 4};  // Group 4
    tiff.setFirstIfd(tiff.addIfd(tags));
    const std::string path = scratch.file("past.tif");
    tiff.save(path);

    const std::vector<PageBitmap> pages = readDocumentPages(path);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].rows, 4);
    for (int32_t row = 0; row < pages[0].rows; ++row) {
        EXPECT_EQ(pages[0].pixels[static_cast<size_t>(row)], 0xE0) << "row " << row;  // WWWBBBBB, 1 = white
    }
}

TEST(TiffReaderFiles, PackBitsRunsAreCutAtBothEnds)
{
    ScratchFolder scratch;
    struct Case {
        const char* name;
        std::vector<uint8_t> coded;
        uint32_t photometric;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"literal, repeat, skipped -128", {0x01, 0x0F, 0xF0, 0x80, 0xFE, 0x33}, 1, {0x0F, 0xF0, 0x33, 0x33, 0x33, 0x00}},
        {"repeat cut at the output end", {0x81, 0x5A}, 1, {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}},
        // Min-is-white: every byte is inverted, the unfilled ones included.
        {"literal cut at the input end", {0x05, 0x01, 0x02}, 0, {0xFE, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder tiff;
        const size_t data = tiff.append(c.coded);
        auto tags = plainPageTags(6, static_cast<uint32_t>(data), static_cast<uint32_t>(c.coded.size()), c.photometric);
        tags[3] = {259, kShort, 1, 32773};
        tiff.setFirstIfd(tiff.addIfd(tags));
        tiff.save(scratch.file("packbits.tif"));
        const std::vector<PageBitmap> pages = readDocumentPages(scratch.file("packbits.tif"));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].coding, CodingPackBits);
        EXPECT_EQ(pages[0].pixels, c.expected);
    }
}

TEST(TiffReaderFiles, PagesThatCannotBeReadAreEmptyNeverAnEarlierPage)
{
    ScratchFolder scratch;
    TiffBuilder tiff;
    const size_t data = tiff.append(rowBytes(2));
    const size_t first = tiff.addIfd(plainPageTags(2, static_cast<uint32_t>(data), 2));
    auto grayTags = plainPageTags(2, static_cast<uint32_t>(data), 2);
    grayTags[2] = {258, kShort, 1, 8};  // 8 bits per sample: not a fax page
    const size_t second = tiff.addIfd(grayTags);
    const size_t third = tiff.addIfd(plainPageTags(2, static_cast<uint32_t>(data), 2));
    tiff.patch32(first + 2 + 8 * 12, static_cast<uint32_t>(second));
    tiff.patch32(second + 2 + 8 * 12, static_cast<uint32_t>(third));
    tiff.setFirstIfd(first);
    const std::string path = scratch.file("mixed.tif");
    tiff.save(path);

    FaxDocument document;
    document.open(path, Tiff);
    ASSERT_TRUE(document.hasPage());
    ASSERT_EQ(document.pageCount(), 3);
    document.readPage(Tiff, 1);
    EXPECT_FALSE(document.hasPage());
    EXPECT_TRUE(document.page().pixels.empty());
    document.readPage(Tiff, 2);
    EXPECT_TRUE(document.hasPage());
    document.readPage(Tiff, 7);  // beyond the last page
    EXPECT_FALSE(document.hasPage());
}

TEST(TiffReaderFiles, APageTooLargeToConvertIsDescribedButNotDecoded)
{
    ScratchFolder scratch;
    TiffBuilder tiff;
    const size_t data = tiff.append(rowBytes(4));
    auto tags = plainPageTags(200000, static_cast<uint32_t>(data), 4);
    tags[0] = {256, kLong, 1, 60000};
    tags[1] = {257, kLong, 1, 200000};
    tiff.setFirstIfd(tiff.addIfd(tags));
    tiff.save(scratch.file("huge.tif"));
    const std::vector<PageBitmap> pages = readDocumentPages(scratch.file("huge.tif"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].width, 60000);
    EXPECT_EQ(pages[0].rows, 200000);
    EXPECT_TRUE(pages[0].pixels.empty());
}

TEST(TiffReaderFiles, ModifiedHuffmanRowsWithoutEolInEveryAlignmentBitOrderAndPolarity)
{
    // No common tool writes compressions 2 and 32771: the strips come from
    // the test encoder, and the expected pixels from the picture it coded.
    testing::ScratchFolder scratch;
    const std::string missing = testing::missingTool(testing::kRawStreamTools);
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    const testing::Picture picture = testing::textPicture(scratch, "MH 0123", 203, 45, 2);
    struct Case {
        uint16_t compression;
        size_t alignment;
        bool lsbFirst;
        uint32_t photometric;
    };
    const Case cases[] = {{2, 1, false, 0}, {2, 1, true, 1}, {32771, 2, false, 1}, {32771, 2, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.compression) + (c.lsbFirst ? " lsb-first" : " msb-first") + " photometric " +
                     std::to_string(c.photometric));
        // Two strips, 30 and 15 rows, each coded on its own.
        const testing::MhLayout layout{false, c.alignment, 0, c.lsbFirst};
        TiffBuilder tiff;
        const size_t first = tiff.append(testing::encodeMh(testing::pictureRows(picture, 0, 30), layout));
        const size_t second = tiff.append(testing::encodeMh(testing::pictureRows(picture, 30, 15), layout));
        const size_t end = tiff.size();
        const size_t offsets = tiff.appendLongs({static_cast<uint32_t>(first), static_cast<uint32_t>(second)});
        const size_t counts =
            tiff.appendLongs({static_cast<uint32_t>(second - first), static_cast<uint32_t>(end - second)});
        tiff.setFirstIfd(tiff.addIfd({
            {256, kShort, 1, 203},
            {257, kShort, 1, 45},
            {258, kShort, 1, 1},
            {259, kShort, 1, c.compression},
            {262, kShort, 1, c.photometric},
            {266, kShort, 1, c.lsbFirst ? 2u : 1u},
            {273, kLong, 2, static_cast<uint32_t>(offsets)},
            {278, kShort, 1, 30},
            {279, kLong, 2, static_cast<uint32_t>(counts)},
        }));
        tiff.save(scratch.file("mh.tif"));

        const std::vector<PageBitmap> pages = readDocumentPages(scratch.file("mh.tif"));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].coding, c.compression == 2 ? CodingMhByteAligned : CodingMhWordAligned);
        // Min-is-black data code the picture's black as "white" runs.
        testing::Picture expected = picture;
        if (c.photometric == 1) {
            for (uint8_t& pixel : expected.black) pixel = static_cast<uint8_t>(pixel ^ 1);
        }
        EXPECT_EQ(testing::compareFirstDifference(expected, testing::pictureOf(pages[0])), "");
    }
}

}  // namespace
}  // namespace pagelift

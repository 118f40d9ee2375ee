// Fax data damaged the way a noisy line damages them: pbmtog3 and tiffcp
// pages with bits flipped at fixed places, read as raw streams and as TIFF
// strips, compared with what libtiff's fax reader (fax2tiff) makes of the
// same bytes. Every line keeps its place; noise around pages adds no rows.
// And TIFF files whose tags lie about their coding, made with tiffcp and
// tiffset, read pixel for pixel.

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/tiff_reader.h"
#include "support/fax_fixtures.h"
#include "support/corpus_folder.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

// Two bytes flipped at each of four places spread over the data.
std::vector<uint8_t> damaged(std::vector<uint8_t> bytes, size_t from, size_t to)
{
    const size_t length = to - from;
    for (const size_t at : {length / 5, length / 3, length / 2, 2 * length / 3}) {
        bytes[from + at] ^= 0x10;
        bytes[from + at + 3] ^= 0x81;
    }
    return bytes;
}

std::string rowsWhere(const std::vector<int32_t>& rows)
{
    std::string text;
    for (const int32_t row : rows) text += std::to_string(row) + " ";
    return text;
}

// Our reading of a damaged page against libtiff's: at least as many of the
// page's rows as libtiff keeps (the end-of-page EOLs give white rows beyond
// the page), and no more rows out of place than libtiff's. (Row by row the
// two cannot be held against each other: where libtiff loses a line, its
// rows below stand one up, and on a page whose rows come in equal pairs
// every other one of them still matches.)
void expectLikeLibtiff(const Picture& encoded, const Picture& ours, const Picture& libtiff)
{
    ASSERT_GT(libtiff.height, encoded.height / 2) << "libtiff read no page";
    EXPECT_GE(ours.height, std::min(libtiff.height, encoded.height));
    EXPECT_LE(ours.height, std::max(libtiff.height, encoded.height));
    ASSERT_EQ(ours.width, encoded.width);
    std::vector<int32_t> oursWrong;
    std::vector<int32_t> libtiffWrong;
    for (int32_t y = 0; y < std::min({ours.height, encoded.height, libtiff.height}); ++y) {
        const auto row = [&](const Picture& p) {
            return std::vector<uint8_t>(p.black.begin() + ptrdiff_t(y) * p.width,
                                        p.black.begin() + ptrdiff_t(y + 1) * p.width);
        };
        if (row(ours) != row(encoded)) oursWrong.push_back(y);
        if (row(libtiff) != row(encoded)) libtiffWrong.push_back(y);
    }
    EXPECT_FALSE(libtiffWrong.empty()) << "the damage should show";
    EXPECT_LE(oursWrong.size(), libtiffWrong.size())
        << "ours: " << rowsWhere(oursWrong) << "libtiff: " << rowsWhere(libtiffWrong);
}

// The rows of `decoded` that equal the row of `page` at the same index.
int32_t rowsInPlace(const Picture& page, const Picture& decoded)
{
    if (page.width != decoded.width) return 0;
    int32_t same = 0;
    for (int32_t y = 0; y < std::min(page.height, decoded.height); ++y) {
        const auto begin = [&](const Picture& p) { return p.black.begin() + ptrdiff_t(y) * p.width; };
        same += std::equal(begin(page), begin(page) + page.width, begin(decoded)) ? 1 : 0;
    }
    return same;
}

// The rows of `decoded` that hold black pixels where `page` has another row:
// noise, as opposed to the page's own rows and white rows.
int32_t noiseRows(const Picture& page, const Picture& decoded)
{
    int32_t noise = 0;
    for (int32_t y = 0; y < std::min(page.height, decoded.height); ++y) {
        const auto begin = [&](const Picture& p) { return p.black.begin() + ptrdiff_t(y) * p.width; };
        const bool black = std::find(begin(decoded), begin(decoded) + decoded.width, 1) != begin(decoded) + decoded.width;
        noise += black && !std::equal(begin(page), begin(page) + page.width, begin(decoded)) ? 1 : 0;
    }
    return noise;
}

// `count` bits flipped, spread over the data by a generator of fixed seed.
std::vector<uint8_t> withFlippedBits(std::vector<uint8_t> bytes, size_t from, size_t to, uint32_t seed, int count)
{
    std::mt19937 generator(seed);
    const uint64_t bits = uint64_t(to - from) * 8;
    for (int i = 0; i < count; ++i) {
        const uint64_t bit = generator() % bits;
        bytes[from + size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
    }
    return bytes;
}

// The EOLs in a row at the end of a stream of most significant bit first
// (each eleven zeros or more, then a one), before whatever bytes follow
// them.
int32_t eolsAtTheEnd(const std::vector<uint8_t>& stream)
{
    std::vector<int32_t> zerosBeforeEachOne;
    int32_t zeros = 0;
    for (const uint8_t byte : stream) {
        for (int bit = 7; bit >= 0; --bit) {
            if ((byte >> bit & 1) == 0) {
                ++zeros;
            } else {
                zerosBeforeEachOne.push_back(zeros);
                zeros = 0;
            }
        }
    }
    const auto isEol = [](int32_t z) { return z >= 11; };
    auto last = std::find_if(zerosBeforeEachOne.rbegin(), zerosBeforeEachOne.rend(), isEol);
    return int32_t(std::find_if_not(last, zerosBeforeEachOne.rend(), isEol) - last);
}

class DamagedFaxesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = missingTool(kRawStreamTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " to draw and encode test pages";
        if (!toolAvailable(kImageMagick)) GTEST_SKIP() << "needs ImageMagick to read libtiff's pages";
        const std::string libtiff = missingTool({"fax2tiff", "tiffset", "pgmnoise", "pamditherbw", "pamtopnm"});
        if (!libtiff.empty()) GTEST_SKIP() << "needs " << libtiff << " to make and read the test files";
        std::string text;
        for (int line = 1; line <= 24; ++line) text += "Line " + std::to_string(line) + " of a page sent over a noisy line\n";
        page_ = textPicture(scratch_, text, 1728, 1100, 2);
        ASSERT_EQ(page_.height, 1100);
    }

    // MH from pbmtog3 or MR from tiffcp, with their end-of-page sequence.
    std::vector<uint8_t> coded(bool twoDimensional, bool lsbFirst) const { return coded(page_, twoDimensional, lsbFirst); }
    std::vector<uint8_t> coded(const Picture& page, bool twoDimensional, bool lsbFirst) const
    {
        if (!twoDimensional) return pbmtog3Stream(scratch_, page, lsbFirst);
        std::vector<uint8_t> strip = tiffcpStrip(scratch_, page, "g3:2d", lsbFirst);
        if (!strip.empty()) appendMrRtc(strip, lsbFirst);
        return strip;
    }

    // Where row `row` of the page begins in its Group 4 data, in bits: the
    // coding of the first rows of a page is the start of the page's, so it
    // is the length of tiffcp's coding of those rows less their EOFB (24
    // bits, the last of them a one) and the zeros that pad it.
    int64_t t6BitsOfRows(int32_t row) const
    {
        const std::vector<uint8_t> strip = tiffcpStrip(scratch_, pictureRows(page_, 0, row), "g4", false);
        for (int64_t bit = int64_t(strip.size()) * 8 - 1; bit >= 0; --bit) {
            if ((strip[size_t(bit / 8)] >> (7 - bit % 8) & 1) != 0) return bit + 1 - 24;
        }
        return -1;
    }

    // libtiff's reading of a raw stream: fax2tiff, then ImageMagick.
    Picture libtiffReading(const std::vector<uint8_t>& stream, bool twoDimensional, bool lsbFirst) const
    {
        return fax2tiffReading(stream, twoDimensional ? "-2" : "-1", lsbFirst);
    }
    // `coding`: fax2tiff's option, -1, -2 or -4.
    Picture fax2tiffReading(const std::vector<uint8_t>& stream, const std::string& coding, bool lsbFirst) const
    {
        writeBytes(scratch_.file("damaged.g3"), stream);
        const std::string command = "fax2tiff " + coding +
                                    (lsbFirst ? " -L" : " -M") + " -o " + shellQuoted(scratch_.file("libtiff.tif")) +
                                    " " + shellQuoted(scratch_.file("damaged.g3")) + " && " + kImageMagick + " " +
                                    shellQuoted(scratch_.file("libtiff.tif")) + " " +
                                    shellQuoted(scratch_.file("libtiff.pbm"));
        if (!runQuietly(command)) return Picture{};
        return readPbm(scratch_ / "libtiff.pbm");
    }

    // Every row of every page of a raw stream, one picture.
    Picture ourReading(const std::vector<uint8_t>& stream) const
    {
        std::vector<Picture> pages;
        for (const PageBitmap& page : readRawPages(scratch_, stream, rawSettings(scratch_))) pages.push_back(pictureOf(page));
        return stackPictures(pages);
    }

    ScratchFolder scratch_;
    Picture page_;
};

TEST_F(DamagedFaxesTest, RawStreamsKeepEveryLineAsLibtiffDoes)
{
    for (const bool twoDimensional : {false, true}) {
        for (const bool lsbFirst : {false, true}) {
            SCOPED_TRACE(std::string(twoDimensional ? "MR" : "MH") + (lsbFirst ? ", least significant bit first" : ""));
            const std::vector<uint8_t> intact = coded(twoDimensional, lsbFirst);
            ASSERT_FALSE(intact.empty());
            const std::vector<uint8_t> stream = damaged(intact, 0, intact.size());
            expectLikeLibtiff(page_, ourReading(stream), libtiffReading(stream, twoDimensional, lsbFirst));
        }
    }
}

TEST_F(DamagedFaxesTest, DamagedTiffStripsKeepEveryLineAsLibtiffDoes)
{
    for (const std::string compression : {"g3", "g3:2d"}) {
        SCOPED_TRACE(compression);
        writeUncompressedTiff(scratch_ / "plain.tif", page_, 0);
        ASSERT_TRUE(runQuietly("tiffcp -c " + compression + " -r 100000 " + shellQuoted(scratch_.file("plain.tif")) +
                               " " + shellQuoted(scratch_.file("coded.tif"))));
        TiffReader reader;
        reader.openFile(scratch_.file("coded.tif"));
        ASSERT_EQ(reader.checkHeader(), 0);
        ASSERT_EQ(reader.countPages(), 1);
        ASSERT_GT(reader.readIfd(reader.pageOffset(0)), 0);
        const TiffStripLocation strip = reader.stripLocation(0, reader.parsePage());
        reader.closeFile();
        const std::string path = scratch_.file("damaged.tif");
        const std::vector<uint8_t> file =
            damaged(readBytes(scratch_.file("coded.tif")), strip.offset, strip.offset + strip.byteCount);
        writeBytes(path, file);

        const std::vector<PageBitmap> pages = faxtest::readDocumentPages(path);
        ASSERT_EQ(pages.size(), 1u);
        // libtiff's TIFF tools give up at a bad code word; its fax reader goes
        // on, so the damaged strip goes to fax2tiff.
        const std::vector<uint8_t> stripBytes(file.begin() + strip.offset,
                                              file.begin() + strip.offset + strip.byteCount);
        expectLikeLibtiff(page_, pictureOf(pages[0]), libtiffReading(stripBytes, compression == "g3:2d", false));
    }
}

TEST_F(DamagedFaxesTest, FlippedBitsLeaveTheOtherRowsInPlace)
{
    // Ten bits flipped at random places of a page: ten lines damaged. A flip
    // that destroys an EOL or makes a false one must not move the rows
    // below it. Each seed's rows in place, ours and libtiff's, are printed.
    struct Coding {
        std::string name;
        std::string tiffcp;
        bool twoDimensional;
        int32_t leastInPlace;  // for MH; MR must keep at least as many as libtiff
    };
    const Coding codings[] = {{"MH", "g3", false, 1085}, {"MR", "g3:2d", true, 0}};
    for (const Coding& coding : codings) {
        for (const bool lsbFirst : {false, true}) {
            writeUncompressedTiff(scratch_ / "plain.tif", page_, 0);
            const std::string tiff = scratch_.file("coded.tif");
            ASSERT_TRUE(runQuietly("tiffcp -c " + coding.tiffcp + " -r 100000 " + (lsbFirst ? "-f lsb2msb " : "") +
                                   shellQuoted(scratch_.file("plain.tif")) + " " + shellQuoted(tiff)));
            TiffReader reader;
            reader.openFile(tiff);
            ASSERT_EQ(reader.checkHeader(), 0);
            ASSERT_EQ(reader.countPages(), 1);
            ASSERT_GT(reader.readIfd(reader.pageOffset(0)), 0);
            const TiffStripLocation strip = reader.stripLocation(0, reader.parsePage());
            reader.closeFile();
            const std::vector<uint8_t> tiffBytes = readBytes(tiff);
            const std::vector<uint8_t> raw = coded(coding.twoDimensional, lsbFirst);
            ASSERT_FALSE(raw.empty());
            for (uint32_t seed = 1; seed <= 8; ++seed) {
                const std::string where = coding.name + (lsbFirst ? " lsb" : " msb") + " seed " + std::to_string(seed);
                SCOPED_TRACE(where);
                const std::vector<uint8_t> stream = withFlippedBits(raw, 0, raw.size(), seed, 10);
                const int32_t rawOurs = rowsInPlace(page_, ourReading(stream));
                const int32_t rawLibtiff = rowsInPlace(page_, libtiffReading(stream, coding.twoDimensional, lsbFirst));

                const std::vector<uint8_t> file =
                    withFlippedBits(tiffBytes, strip.offset, strip.offset + strip.byteCount, seed, 10);
                writeBytes(scratch_.file("damaged.tif"), file);
                const std::vector<PageBitmap> pages = faxtest::readDocumentPages(scratch_.file("damaged.tif"));
                ASSERT_EQ(pages.size(), 1u);
                const int32_t tiffOurs = rowsInPlace(page_, pictureOf(pages[0]));
                const std::vector<uint8_t> stripBytes(file.begin() + strip.offset,
                                                      file.begin() + strip.offset + strip.byteCount);
                const int32_t tiffLibtiff =
                    rowsInPlace(page_, libtiffReading(stripBytes, coding.twoDimensional, lsbFirst));
                std::printf("rows in place, %s: raw %d (libtiff %d), TIFF %d (libtiff %d)\n", where.c_str(), rawOurs,
                            rawLibtiff, tiffOurs, tiffLibtiff);
                for (const auto& [ours, libtiff] : {std::pair{rawOurs, rawLibtiff}, std::pair{tiffOurs, tiffLibtiff}}) {
                    EXPECT_GE(ours, std::max(coding.leastInPlace, libtiff));
                }
            }
        }
    }
}

TEST_F(DamagedFaxesTest, DamagedFinePagesStayOnePageAtTheirResolution)
{
    // The vertical resolution of a raw stream is guessed from how long its
    // pages are. Ten flipped bits cut a fine page (2200 rows of A4) into runs
    // of good lines shorter than a standard page; the page is still one page
    // of fine rows, with every row but the damaged ones in place.
    std::string text;
    for (int line = 1; line <= 40; ++line) text += "Line " + std::to_string(line) + " of a fine page\n";
    const Picture fine = textPicture(scratch_, text, 1728, 2200, 1);
    ASSERT_EQ(fine.height, 2200);
    for (const bool twoDimensional : {false, true}) {
        for (const bool lsbFirst : {false, true}) {
            const std::vector<uint8_t> stream = coded(fine, twoDimensional, lsbFirst);
            ASSERT_FALSE(stream.empty());
            for (uint32_t seed = 0; seed <= 4; ++seed) {
                const std::string where = std::string(twoDimensional ? "MR" : "MH") + (lsbFirst ? " lsb" : " msb") +
                                          " seed " + std::to_string(seed);
                SCOPED_TRACE(where);
                const int flips = seed == 0 ? 0 : 10;
                const std::vector<PageBitmap> pages =
                    readRawPages(scratch_, withFlippedBits(stream, 0, stream.size(), seed, flips), rawSettings(scratch_));
                ASSERT_EQ(pages.size(), 1u);
                EXPECT_EQ(pages[0].yResolution, 200);
                const int32_t inPlace = rowsInPlace(fine, pictureOf(pages[0]));
                EXPECT_GE(inPlace, 2185);
                std::printf("fine page, %s: 1 page at %d lines per inch, %d rows in place\n", where.c_str(),
                            pages[0].yResolution, inPlace);
            }
        }
    }
}

TEST_F(DamagedFaxesTest, RealDamagedStreamKeepsEveryRowLibtiffDecodes)
{
    // A fax as a modem stored it, damaged in nine lines, with repeated bytes
    // before the page; beside it the same fax as fax2tiff stored it. The raw
    // reading holds every row libtiff decodes, in order, up to the end of the
    // page: the EOLs after its last line end it and carry no line, while
    // fax2tiff gives each a white row and one more to the bytes after them
    // (as it gives pbmtog3's page of 1100 lines 1106 rows). Where libtiff's
    // search for the EOL after a bad code word starts behind an EOL that the
    // bad code ran into, libtiff loses the line after it; those lines are
    // the only rows the raw reading adds, each right after such a line.
    const fs::path corpus = corpusFolder();
    if (!fs::exists(corpus / "g3test.g3") || !fs::exists(corpus / "g3test.tif")) {
        GTEST_SKIP() << "g3test.g3 and g3test.tif of the sample corpus " << corpus << " are absent";
    }
    const std::vector<uint8_t> stream = readBytes((corpus / "g3test.g3").string());
    const Picture libtiff = libtiffReading(stream, false, false);
    ASSERT_GT(libtiff.height, 1000);
    const std::vector<PageBitmap> stored = faxtest::readDocumentPages((corpus / "g3test.tif").string());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(compareFirstDifference(libtiff, pictureOf(stored[0])), "");

    // The lines libtiff reports broken by a bad code word.
    writeBytes(scratch_.file("g3test.g3"), stream);
    const faxtest::CommandResult run = faxtest::runShell(
        "fax2tiff -M -o " + shellQuoted(scratch_.file("again.tif")) + " " + shellQuoted(scratch_.file("g3test.g3")),
        scratch_.file(""));
    std::vector<int32_t> broken;
    const std::string mark = "Bad code word at line ";
    for (size_t at = run.err.find(mark); at != std::string::npos; at = run.err.find(mark, at + 1)) {
        broken.push_back(std::stoi(run.err.substr(at + mark.size())));
    }
    ASSERT_FALSE(broken.empty()) << run.err;

    const Picture ours = ourReading(stream);
    ASSERT_EQ(ours.width, libtiff.width);
    const auto row = [](const Picture& p, int32_t y) {
        return std::vector<uint8_t>(p.black.begin() + ptrdiff_t(y) * p.width, p.black.begin() + ptrdiff_t(y + 1) * p.width);
    };
    int32_t matched = 0;
    std::vector<int32_t> added;
    for (int32_t y = 0; y < ours.height; ++y) {
        if (matched < libtiff.height && row(ours, y) == row(libtiff, matched)) {
            ++matched;
        } else {
            EXPECT_NE(std::find(broken.begin(), broken.end(), matched - 1), broken.end())
                << "row " << y << " follows libtiff's row " << matched - 1 << ", which libtiff decoded cleanly";
            added.push_back(y);
        }
    }
    EXPECT_LT(added.size(), broken.size());
    // libtiff's rows that the page does not have: white, one for each EOL
    // after the page's last line, give or take the bytes after them.
    const int32_t endRows = libtiff.height - matched;
    for (int32_t y = matched; y < libtiff.height; ++y) {
        const std::vector<uint8_t> endRow = row(libtiff, y);
        EXPECT_EQ(std::count(endRow.begin(), endRow.end(), 1), 0) << "libtiff's row " << y;
    }
    const int32_t endEols = eolsAtTheEnd(stream);
    EXPECT_GE(endRows, endEols - 1) << "rows after the page";
    EXPECT_LE(endRows, endEols + 1) << "rows of the page missing";
    std::printf("g3test.g3: %d rows: %d of libtiff's %d in order (the other %d, white, it gives the %d EOLs at the "
                "end and the bytes after them), %zu added after the %zu lines libtiff reports broken\n",
                ours.height, matched, libtiff.height, endRows, endEols, added.size(), broken.size());
}

TEST_F(DamagedFaxesTest, GroupFourStripBreaksOffWhiteAndTheNextStripIsExact)
{
    // A Group 4 page in two strips, damaged in the first at a row of text.
    // Nothing above the damage changes and the second strip reads exactly.
    // Where the damage is a code that cannot be read (or the data end) the
    // rest of the strip is white, though flag bytes follow. Flipped bits
    // may first decode as valid codes: the rows from the flip to the line
    // that breaks hold what they decode, fewer of them noise than in
    // libtiff's reading of the same strip (fax2tiff), which draws on.
    constexpr int32_t kStripRows = 550;
    writeUncompressedTiff(scratch_ / "plain.tif", page_, 0);
    const std::string coded = scratch_.file("coded.tif");
    ASSERT_TRUE(runQuietly("tiffcp -c g4 -r " + std::to_string(kStripRows) + " " +
                           shellQuoted(scratch_.file("plain.tif")) + " " + shellQuoted(coded)));
    TiffReader reader;
    reader.openFile(coded);
    ASSERT_EQ(reader.checkHeader(), 0);
    ASSERT_EQ(reader.countPages(), 1);
    ASSERT_GT(reader.readIfd(reader.pageOffset(0)), 0);
    const TiffPageInfo info = reader.parsePage();
    const TiffStripLocation strip = reader.stripLocation(0, info);
    const TiffStripLocation secondStrip = reader.stripLocation(1, info);
    reader.closeFile();
    const std::vector<uint8_t> intact = readBytes(coded);
    // Where the file keeps the two byte counts (little-endian LONGs).
    std::vector<uint8_t> counts;
    for (const uint32_t count : {strip.byteCount, secondStrip.byteCount}) {
        for (int shift = 0; shift < 32; shift += 8) counts.push_back(uint8_t(count >> shift));
    }
    const auto countsAt = std::search(intact.begin(), intact.end(), counts.begin(), counts.end());
    ASSERT_NE(countsAt, intact.end());

    // Rows of text whose coding is long enough to damage inside it.
    std::vector<std::pair<int32_t, size_t>> damagedRows;  // the row, the byte of the strip inside it
    for (int32_t row : {300, 420, 530}) {
        while (t6BitsOfRows(row + 1) - t6BitsOfRows(row) < 48) ++row;
        damagedRows.emplace_back(row, size_t(t6BitsOfRows(row) / 8 + 2));
    }
    struct Damage {
        std::string name;
        std::function<void(std::vector<uint8_t>&, size_t at)> apply;  // `at`: the byte in the strip
        bool whiteBelow;
    };
    const auto setBytes = [&](std::vector<uint8_t> bytes) {
        return [&, bytes](std::vector<uint8_t>& file, size_t at) {
            std::copy(bytes.begin(), bytes.end(), file.begin() + ptrdiff_t(strip.offset + at));
        };
    };
    const auto flips = [&](uint32_t seed) {
        return [&, seed](std::vector<uint8_t>& file, size_t at) {
            std::mt19937 generator(seed);
            for (int flip = 0; flip < 2; ++flip) {
                const size_t bit = at * 8 + generator() % 16;
                file[strip.offset + bit / 8] ^= uint8_t(0x80u >> (bit % 8));
            }
        };
    };
    std::vector<Damage> damages = {
        {"data cut", [&](std::vector<uint8_t>& file, size_t at) {
             for (int shift = 0; shift < 32; shift += 8) file[size_t(countsAt - intact.begin()) + size_t(shift / 8)] = uint8_t(at >> shift);
         }, true},
        {"an invalid code", setBytes({0x00, 0x00}), true},
        {"an invalid code, then flag bytes", setBytes({0x00, 0x00, 0xFF, 0xFF}), true},
    };
    for (uint32_t seed = 1; seed <= 4; ++seed) damages.push_back({"flips, seed " + std::to_string(seed), flips(seed), false});

    for (const auto& [row, at] : damagedRows) {
        for (const Damage& damage : damages) {
            SCOPED_TRACE(damage.name + " at row " + std::to_string(row));
            std::vector<uint8_t> file = intact;
            damage.apply(file, at);
            writeBytes(scratch_.file("damaged.tif"), file);
            const std::vector<PageBitmap> pages = faxtest::readDocumentPages(scratch_.file("damaged.tif"));
            ASSERT_EQ(pages.size(), 1u);
            const Picture ours = pictureOf(pages[0]);
            ASSERT_EQ(ours.height, page_.height);
            EXPECT_EQ(compareFirstDifference(pictureRows(page_, 0, row), pictureRows(ours, 0, row)), "");
            EXPECT_EQ(compareFirstDifference(pictureRows(page_, kStripRows, page_.height - kStripRows),
                                             pictureRows(ours, kStripRows, page_.height - kStripRows)),
                      "");
            const Picture below = pictureRows(ours, row, kStripRows - row);
            if (damage.whiteBelow) {
                EXPECT_EQ(compareFirstDifference(blankPicture(page_.width, kStripRows - row), below), "");
                continue;
            }
            const std::vector<uint8_t> stripBytes(file.begin() + ptrdiff_t(strip.offset),
                                                  file.begin() + ptrdiff_t(strip.offset + strip.byteCount));
            const Picture libtiff = fax2tiffReading(stripBytes, "-4", false);
            const int32_t oursNoise = noiseRows(pictureRows(page_, row, kStripRows - row), below);
            const int32_t libtiffNoise =
                noiseRows(pictureRows(page_, row, kStripRows - row), pictureRows(libtiff, row, kStripRows - row));
            std::printf("Group 4 strip, %s at row %d: %d rows of noise below it (libtiff %d)\n", damage.name.c_str(),
                        row, oursNoise, libtiffNoise);
            EXPECT_LE(oursNoise, libtiffNoise);
        }
    }
}

TEST_F(DamagedFaxesTest, NoiseBeforeBetweenAndAfterPagesAddsNoRows)
{
    std::mt19937 generator(1234);
    const auto noise = [&] {
        std::vector<uint8_t> bytes(3000);
        for (uint8_t& byte : bytes) byte = uint8_t(generator());
        return bytes;
    };
    for (const bool twoDimensional : {false, true}) {
        SCOPED_TRACE(twoDimensional ? "MR" : "MH");
        const std::vector<uint8_t> page = coded(twoDimensional, false);
        std::vector<uint8_t> stream;
        for (const std::vector<uint8_t>& part : {noise(), page, noise(), page, noise()}) {
            stream.insert(stream.end(), part.begin(), part.end());
        }
        const Picture ours = ourReading(stream);
        EXPECT_EQ(compareFirstDifference(stackPictures({page_, page_}), ours), "");
    }
}

TEST_F(DamagedFaxesTest, TiffPagesWhoseTagsLieAboutTheirCodingReadByTrial)
{
    // pamditherbw dithers at random unless seeded. With these seeds the Group 3
    // data of the noise page, read as Group 4, decode as garbage lines with
    // hardly a bad code until the page has its rows: in the first the strips
    // of 128 rows each give more, in the second the first strip alone gives
    // every row.
    const auto noisePage = [&](int ditherSeed) {
        const std::string path = scratch_.file("noise.pbm");
        if (!runQuietly("pgmnoise -randomseed 5 1728 300 | pamditherbw -randomseed " + std::to_string(ditherSeed) +
                        " | pamtopnm > " + shellQuoted(path))) {
            return Picture{};
        }
        return readPbm(path);
    };
    const std::pair<std::string, Picture> pictures[] = {
        {"text", page_}, {"noise 3", noisePage(3)}, {"noise 68", noisePage(68)}};
    for (const auto& [name, picture] : pictures) ASSERT_GT(picture.height, 0) << "could not draw " << name;
    struct Lie {
        std::string name;
        std::string tiffcp;   // how the page is coded
        std::string tiffset;  // the tag then written over the truth
    };
    const Lie lies[] = {
        {"two-dimensional data tagged one-dimensional", "-c g3:2d", "-s 292 0"},
        {"one-dimensional data tagged two-dimensional", "-c g3", "-s 292 1"},
        {"Group 4 data tagged Group 3", "-c g4", "-s 259 3"},
        {"Group 3 data tagged Group 4", "-c g3", "-s 259 4"},
        {"least significant bit first tagged most", "-c g3 -f lsb2msb", "-s 266 1"},
    };
    for (const auto& [pictureName, picture] : pictures) {
        for (const char* strips : {"-r 100000", "-r 128"}) {
            for (const Lie& lie : lies) {
                SCOPED_TRACE(lie.name + ", " + pictureName + ", " + strips);
                writeUncompressedTiff(scratch_ / "plain.tif", picture, 0);
                const std::string coded = scratch_.file("lying.tif");
                ASSERT_TRUE(runQuietly("tiffcp " + lie.tiffcp + " " + strips + " " +
                                       shellQuoted(scratch_.file("plain.tif")) + " " + shellQuoted(coded) +
                                       " && tiffset " + lie.tiffset + " " + shellQuoted(coded)));
                const std::vector<PageBitmap> pages = faxtest::readDocumentPages(coded);
                EXPECT_EQ(pages.size(), 1u);
                if (!pages.empty()) {
                    EXPECT_EQ(compareFirstDifference(picture, pictureOf(pages[0])), "");
                }
            }
        }
    }
}

}  // namespace
}  // namespace pagelift::testing

// Raw fax streams read as documents: pages cut from what pbmtog3 and tiffcp
// encoded, pixel for pixel, under the automatic and the forced settings;
// damaged streams; the working image read back; and whole conversions by
// pliftcmd checked with djpeg.

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/raw_fax_reader.h"
#include "support/fax_fixtures.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pictures and the streams coded from them, made once for every test here.
struct Corpus {
    std::map<std::string, std::vector<Picture>> pictures;  // the pages each stream holds, in order
    std::map<std::string, std::vector<uint8_t>> streams;
    std::map<std::string, std::vector<size_t>> pageStarts;  // byte offset of each page in the stream
};

const std::initializer_list<std::string> kNoiseTools = {"pgmnoise", "pamditherbw", "pamtopnm"};

Corpus& corpus()
{
    static Corpus made;
    return made;
}

// A page whose first row starts with a black bar, so its T.6 data begin with
// horizontal mode (bits 001) and a flag run may stand right before them.
Picture withBarOnTop(Picture picture)
{
    for (int32_t x = 0; x < 100; ++x) picture.at(x, 0) = 1;
    return picture;
}

// A heading and a paragraph of small print: most rows of the text differ
// from the row above, as in real fax text.
std::string letter(const std::string& heading)
{
    std::string text = heading + "\n\n";
    for (int line = 1; line <= 14; ++line) {
        text += "Line " + std::to_string(line) + " of a letter sent as a raw fax stream, 0123456789.\n";
    }
    return text;
}

void makeCorpus()
{
    const ScratchFolder scratch;
    Corpus& c = corpus();
    std::vector<Picture> a4;
    for (int page = 1; page <= 3; ++page) {
        a4.push_back(textPicture(scratch, letter("PAGE " + std::to_string(page)), 1728, 1100, 2));
    }
    const auto joined = [&](const std::string& name, const std::vector<Picture>& pages,
                            const std::function<std::vector<uint8_t>(const Picture&)>& encode) {
        std::vector<uint8_t> stream;
        for (const Picture& page : pages) {
            c.pageStarts[name].push_back(stream.size());
            const std::vector<uint8_t> coded = encode(page);
            if (coded.empty()) return;  // leaves the stream empty: SetUp reports it
            stream.insert(stream.end(), coded.begin(), coded.end());
        }
        c.pictures[name] = pages;
        c.streams[name] = stream;
    };
    const auto mh = [&](bool lsb) { return [&, lsb](const Picture& p) { return pbmtog3Stream(scratch, p, lsb); }; };
    const auto mr = [&](bool lsb) {
        return [&, lsb](const Picture& p) {
            std::vector<uint8_t> strip = tiffcpStrip(scratch, p, "g3:2d", lsb);
            if (!strip.empty()) appendMrRtc(strip, lsb);
            return strip;
        };
    };
    const auto mmr = [&](bool lsb) { return [&, lsb](const Picture& p) { return tiffcpStrip(scratch, p, "g4", lsb); }; };

    joined("mh a4 x3", a4, mh(false));
    joined("mh a4 x3 lsb", a4, mh(true));
    joined("mr a4 x3", a4, mr(false));
    joined("mr a4 x3 lsb", a4, mr(true));
    joined("mmr a4", {a4[0]}, mmr(false));
    joined("mmr a4 lsb", {a4[0]}, mmr(true));
    const Picture fine = textPicture(scratch, "FINE", 1728, 2200);
    joined("mh fine", {fine}, mh(false));
    joined("mh fine lsb", {fine}, mh(true));
    joined("mh tall", {textPicture(scratch, "TALL", 1728, 3500)}, mh(false));
    joined("mh b4", {textPicture(scratch, "B4 PAGE", 2048, 1100)}, mh(false));
    std::vector<Picture> b4;
    for (int page = 1; page <= 3; ++page) {
        b4.push_back(textPicture(scratch, letter("B4 PAGE " + std::to_string(page)), 2048, 1100, 2));
    }
    joined("mh b4 x3 lsb", b4, mh(true));
    const Picture odd = textPicture(scratch, letter("ODD WIDTH"), 1800, 1100, 2);
    joined("mh 1800", {odd}, mh(false));
    joined("mh 1800 lsb", {odd}, mh(true));
    joined("mmr 1800", {odd}, mmr(false));
    const auto flaggedMmr = [&](const Picture& p) {
        std::vector<uint8_t> stream = {0xFF, 0xFF};
        const std::vector<uint8_t> strip = tiffcpStrip(scratch, p, "g4", false);
        if (strip.empty()) return strip;
        stream.insert(stream.end(), strip.begin(), strip.end());
        return stream;
    };
    joined("mmr flagged", {withBarOnTop(a4[1])}, flaggedMmr);
    // A cover page: one word, so fewer rows differ from the row above than
    // the detection threshold asks for.
    const Picture cover = withBarOnTop(textPicture(scratch, "COVER", 1728, 1100, 2));
    joined("mmr sparse", {cover}, mmr(false));
    joined("mmr sparse lsb", {cover}, mmr(true));
    joined("mmr sparse flagged", {cover}, flaggedMmr);
    joined("mmr sparse flagged lsb", {cover}, [&](const Picture& p) {
        std::vector<uint8_t> stream = {0xFF, 0xFF, 0xFF};
        const std::vector<uint8_t> strip = tiffcpStrip(scratch, p, "g4", true);
        stream.insert(stream.end(), strip.begin(), strip.end());
        return strip.empty() ? strip : stream;
    });
    // Noise: no long runs of one bits in its T.6 data, so nothing there
    // looks like a flag run.
    const fs::path noise = scratch / "noise.pbm";
    if (runQuietly("pgmnoise -randomseed 3 1728 300 | pamditherbw -randomseed 1 | pamtopnm > '" + noise.string() + "'")) {
        joined("mmr noise flagged", {readPbm(noise)}, flaggedMmr);
    }
    // MH pages are held against netpbm's own reading of them, page by page
    // up to each RTC: the rows g3topbm gives are the page, no more, no less.
    for (auto& [name, pages] : c.pictures) {
        if (name.rfind("mh", 0) != 0) continue;
        const std::vector<uint8_t>& stream = c.streams[name];
        const std::vector<size_t>& starts = c.pageStarts[name];
        for (size_t i = 0; i < pages.size(); ++i) {
            const size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
            const std::vector<uint8_t> coded(stream.begin() + ptrdiff_t(starts[i]), stream.begin() + ptrdiff_t(end));
            pages[i] = g3topbmPicture(scratch, coded, name.find("lsb") != std::string::npos);
            if (pages[i].height == 0) c.streams[name].clear();  // SetUp reports it
        }
    }
}

class RawFaxReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (missingTool(kRawStreamTools).empty() && missingTool(kNoiseTools).empty() && corpus().streams.empty()) {
            makeCorpus();
        }
    }

    void SetUp() override
    {
        const std::string missing = missingTool(kRawStreamTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " to draw and encode test streams";
        const std::string noise = missingTool(kNoiseTools);
        if (!noise.empty()) GTEST_SKIP() << "needs " << noise << " to draw a noise page";
        for (const char* name : {"mh a4 x3", "mh a4 x3 lsb", "mr a4 x3", "mr a4 x3 lsb", "mmr a4", "mmr a4 lsb",
                                 "mh fine", "mh fine lsb", "mh tall", "mh b4", "mh b4 x3 lsb", "mh 1800",
                                 "mh 1800 lsb", "mmr 1800", "mmr flagged",
                                 "mmr noise flagged", "mmr sparse", "mmr sparse lsb", "mmr sparse flagged",
                                 "mmr sparse flagged lsb"}) {
            ASSERT_FALSE(corpus().streams[name].empty()) << "could not make " << name;
        }
    }

    static const std::vector<uint8_t>& stream(const std::string& name) { return corpus().streams.at(name); }
    // Every row the stream decodes to: its pages, and nothing for the
    // end-of-page EOLs after the last.
    static Picture allRows(const std::string& name) { return stackPictures(corpus().pictures.at(name)); }
};

struct PageRules {
    int32_t rowsPerPage;  // 0: the stream must give no page
    int16_t yResolution;
    uint16_t xResolution;
};

void expectPages(const Picture& encoded, const std::vector<PageBitmap>& pages, const PageRules& rules)
{
    if (rules.rowsPerPage == 0) {
        EXPECT_TRUE(pages.empty()) << pages.size() << " pages";
        return;
    }
    const std::vector<Picture> expected = cutIntoPages(encoded, rules.rowsPerPage);
    ASSERT_EQ(pages.size(), expected.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        EXPECT_EQ(pages[i].rows, expected[i].height);
        EXPECT_EQ(pages[i].yResolution, rules.yResolution);
        EXPECT_EQ(pages[i].xResolution, rules.xResolution);
        EXPECT_EQ(pages[i].pixels.size(), size_t(pages[i].rows) * size_t(pages[i].bytesPerRow));
        EXPECT_EQ(compareFirstDifference(expected[i], pictureOf(pages[i])), "");
    }
}

TEST_F(RawFaxReaderTest, PagesAreCutFromTheDecodedStreamByPaperSizeAndResolution)
{
    struct Case {
        std::string stream;
        std::string settings;  // the command-line options that set them
        std::function<void(DecodeSettings&)> apply;
        PageRules rules;
    };
    const auto none = [](DecodeSettings&) {};
    const auto bitOrder = [](uint8_t order) { return [order](DecodeSettings& s) { s.bitOrder = order; }; };
    const auto resolution = [](uint16_t v) { return [v](DecodeSettings& s) { s.resolution = v; }; };
    const auto minWidth = [](uint16_t width) {
        return [width](DecodeSettings& s) {
            s.anyWidth = 1;
            s.minWidth = width;
        };
    };
    const auto raw = [](uint8_t order) {
        return [order](DecodeSettings& s) {
            s.rawData = 1;
            s.bitOrder = order;
        };
    };
    const std::vector<Case> cases = {
        // Three A4 pages of 1100 lines, each closed by RTC: 3300 rows cut every 1144.
        {"mh a4 x3", "", none, {1144, 100, 200}},
        {"mh a4 x3", "/b=1", bitOrder(1), {1144, 100, 200}},
        {"mh a4 x3", "/b=2", bitOrder(2), {0, 0, 0}},
        {"mh a4 x3 lsb", "", none, {1144, 100, 200}},
        {"mh a4 x3 lsb", "/b=2", bitOrder(2), {1144, 100, 200}},
        {"mh a4 x3 lsb", "/b=1", bitOrder(1), {0, 0, 0}},
        {"mh a4 x3", "/v=1", resolution(100), {1144, 100, 200}},
        {"mh a4 x3", "/v=2", resolution(200), {2288, 200, 200}},
        {"mh a4 x3", "/v=3", resolution(300), {3432, 300, 200}},
        {"mh a4 x3", "/v=4", resolution(400), {4576, 400, 200}},
        {"mr a4 x3", "", none, {1144, 100, 200}},
        {"mr a4 x3", "/b=1 /v=2", [](DecodeSettings& s) { s.bitOrder = 1; s.resolution = 200; }, {2288, 200, 200}},
        {"mr a4 x3 lsb", "", none, {1144, 100, 200}},
        {"mr a4 x3 lsb", "/b=2", bitOrder(2), {1144, 100, 200}},
        // The longest run of good lines sets the resolution.
        {"mh fine", "", none, {2288, 200, 200}},
        {"mh fine lsb", "", none, {2288, 200, 200}},
        {"mh tall", "", none, {4576, 400, 200}},
        {"mh tall", "/v=1", resolution(100), {1144, 100, 200}},
        // A 2048-wide stream is B4: 1363 rows at 100 lines per inch.
        {"mh b4", "", none, {1363, 100, 200}},
        {"mh b4", "/v=2", resolution(200), {2726, 200, 200}},
        {"mh b4 x3 lsb", "", none, {1363, 100, 200}},
        // Lines of 1800 pixels need the non-standard widths, below 1800.
        {"mh 1800", "", none, {0, 0, 0}},
        {"mh 1800", "/nw=1700", minWidth(1700), {1363, 100, 200}},
        {"mh 1800", "/nw=1800", minWidth(1800), {0, 0, 0}},
        {"mh 1800 lsb", "/nw=1700", minWidth(1700), {1363, 100, 200}},
        // MMR data that begin at the first byte need /raw.
        {"mmr a4", "/raw /b=1", raw(1), {1144, 100, 200}},
        {"mmr a4", "/raw", raw(0), {1144, 100, 200}},
        {"mmr a4 lsb", "/raw", raw(0), {1144, 100, 200}},
        {"mmr a4 lsb", "/raw /b=2", raw(2), {1144, 100, 200}},
        {"mmr 1800", "/raw /nw=1800", [](DecodeSettings& s) { s.rawData = 1; s.anyWidth = 1; s.minWidth = 1800; },
         {1363, 100, 200}},
        // After a flag run they need nothing.
        {"mmr flagged", "", none, {1144, 100, 200}},
        // A page with fewer telling lines than the threshold, clean to its end.
        {"mmr sparse", "/raw", raw(0), {1144, 100, 200}},
        {"mmr sparse lsb", "/raw", raw(0), {1144, 100, 200}},
        {"mmr sparse", "/raw /b=1", raw(1), {1144, 100, 200}},
        {"mmr sparse lsb", "/raw /b=1", raw(1), {0, 0, 0}},
        {"mmr sparse flagged", "", none, {1144, 100, 200}},
        {"mmr sparse flagged lsb", "", none, {1144, 100, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream + " " + c.settings);
        const ScratchFolder scratch;
        DecodeSetup setup = rawSettings(scratch);
        c.apply(setup.settings);
        expectPages(allRows(c.stream), readRawPages(scratch, stream(c.stream), setup), c.rules);
    }
}

TEST_F(RawFaxReaderTest, DamagedMhPageSplitsItsSegmentAndKeepsItsHeight)
{
    std::vector<uint8_t> damaged = stream("mh a4 x3");
    const std::vector<size_t>& starts = corpus().pageStarts.at("mh a4 x3");
    const size_t middle = (starts[1] + starts[2]) / 2;
    for (size_t i = 0; i < 6; ++i) damaged[middle + i] = i % 2 == 0 ? 0x00 : 0xFF;

    const ScratchFolder scratch;
    const DecodeSetup settings = rawSettings(scratch);
    const std::vector<PageBitmap> pages = readRawPages(scratch, damaged, settings);
    ASSERT_EQ(pages.size(), 3u);
    const Picture encoded = allRows("mh a4 x3");
    EXPECT_EQ(compareFirstDifference(pictureRows(encoded, 0, 1144), pictureOf(pages[0])), "");
    // The damaged lines keep their rows, so every page keeps its height.
    EXPECT_EQ(pages[1].rows, 1144);
    EXPECT_EQ(pages[2].rows, 1012);
    for (const PageBitmap& page : pages) EXPECT_EQ(page.yResolution, 100);

    // The damaged page is two segments now; the lines damaged are few.
    const std::vector<uint8_t> segments = fileBytes(settings.files.rawSegmentPath);
    const auto le32 = [&](size_t at) {
        return uint32_t(segments.at(at) | segments.at(at + 1) << 8 | segments.at(at + 2) << 16 | segments.at(at + 3) << 24);
    };
    ASSERT_EQ(le32(0), 4u);
    EXPECT_EQ(le32(4120 + 8), 1100u);
    EXPECT_EQ(le32(4120 + 3 * 14 + 8), 1100u);
    const uint32_t split = le32(4120 + 14 + 8) + le32(4120 + 2 * 14 + 8);
    EXPECT_GT(split, 1090u);
    EXPECT_LT(split, 1100u);
    EXPECT_EQ(le32(4), 3300u);
}

TEST_F(RawFaxReaderTest, DamagedMmrPageKeepsTheRowsBeforeTheDamage)
{
    // No flag run follows the damage, so the stream ends there; the rows
    // decoded up to it are still the page.
    const std::vector<uint8_t>& intact = stream("mmr noise flagged");
    const size_t middle = intact.size() / 2;
    std::vector<uint8_t> damaged = intact;
    for (size_t i = 0; i < 8; ++i) damaged[middle + i] = 0x02;  // T.6 extension codes: invalid here
    const std::vector<uint8_t> cut(intact.begin(), intact.begin() + std::ptrdiff_t(middle));

    const ScratchFolder scratch;
    const std::vector<PageBitmap> before = readRawPages(scratch, cut, rawSettings(scratch));
    ASSERT_EQ(before.size(), 1u);
    const std::vector<PageBitmap> pages = readRawPages(scratch, damaged, rawSettings(scratch));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_GT(pages[0].rows, 100);
    EXPECT_LT(pages[0].rows, 200);
    EXPECT_GE(pages[0].rows, before[0].rows);
    EXPECT_LE(pages[0].rows, before[0].rows + 1);
    // Every row before the one the damage hit is exact.
    const int32_t exact = before[0].rows - 1;
    EXPECT_EQ(compareFirstDifference(pictureRows(allRows("mmr noise flagged"), 0, exact),
                                     pictureRows(pictureOf(pages[0]), 0, exact)),
              "");
}

TEST_F(RawFaxReaderTest, RowsMissingFromTheWorkingImageAreWhiteAndAMissingImageGivesNoPage)
{
    const ScratchFolder scratch;
    const DecodeSetup settings = rawSettings(scratch);
    const fs::path source = scratch / "call.fax";
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream("mh a4 x3").data()), std::streamsize(stream("mh a4 x3").size()));
    FaxDocument document;
    document.setup() = settings;
    document.open(source.string(), RawFax);
    ASSERT_EQ(document.pageCount(), 3);

    // Keep 2000 rows of the 3300: page 2 has 856 rows of the image, then white.
    fs::resize_file(settings.files.rawImagePath, 37 + 2000 * 216);
    document.readPage(RawFax, 1);
    const PageBitmap& page = document.page();
    ASSERT_EQ(page.rows, 1144);
    const Picture encoded = allRows("mh a4 x3");
    Picture expected = pictureRows(encoded, 1144, 1144);
    std::fill(expected.black.begin() + 856 * 1728, expected.black.end(), uint8_t(0));
    EXPECT_EQ(compareFirstDifference(expected, pictureOf(page)), "");

    fs::remove(settings.files.rawImagePath);
    document.readPage(RawFax, 2);
    EXPECT_FALSE(document.hasPage()) << "no stale page when the working image is gone";
}

TEST(RawFaxReaderRules, RowsPerPageByPaperSizeAndResolution)
{
    struct Case {
        uint8_t paperSize;
        int32_t resolution;
        uint32_t rows;
    };
    const Case cases[] = {
        {1, 0, 1144},    {1, 100, 1144}, {1, 101, 2288}, {1, 200, 2288}, {1, 300, 3432}, {1, 301, 4576},
        {2, 100, 1363},  {2, 150, 2726}, {2, 300, 4089}, {2, 400, 5452}, {3, 77, 1617},  {3, 200, 3234},
        {3, 250, 4851},  {3, 999, 6468}, {0, 400, 1144}, {4, 200, 1144}, {9, -5, 1144},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rowsPerPageFor(c.paperSize, c.resolution), c.rows)
            << "paper " << int(c.paperSize) << " at " << c.resolution;
    }
}

TEST(RawFaxReaderRules, FilesThatAreNoFaxGiveNoPage)
{
    const ScratchFolder scratch;
    std::mt19937 generator(7);
    std::vector<uint8_t> random(100000);
    for (uint8_t& byte : random) byte = uint8_t(generator());
    std::string letter;
    while (letter.size() < 20000) letter += "To whom it may concern: this is a letter, not a fax.\n";
    const std::vector<std::vector<uint8_t>> inputs = {random, std::vector<uint8_t>(letter.begin(), letter.end()), {}};
    for (const std::vector<uint8_t>& input : inputs) {
        for (const uint8_t raw : {uint8_t(0), uint8_t(1)}) {
            DecodeSetup settings = rawSettings(scratch);
            settings.settings.rawData = raw;
            settings.settings.anyWidth = 1;
            EXPECT_TRUE(readRawPages(scratch, input, settings).empty()) << input.size() << " bytes, raw " << int(raw);
        }
    }
    // Working files that cannot be made: no page either.
    DecodeSetup nowhere = rawSettings(scratch);
    nowhere.files.rawImagePath = (scratch / "missing" / "plftmp.tmp").string();
    EXPECT_TRUE(readRawPages(scratch, random, nowhere).empty());
}

// pliftcmd end to end: the JPEG pages, decoded by djpeg, are the pages that
// were encoded with their rows repeated as the resolution asks.
class RawFaxPliftcmdTest : public RawFaxReaderTest {};

TEST_F(RawFaxPliftcmdTest, ConvertsRawStreamsIntoTheEncodedPages)
{
    if (!faxtest::toolsAvailable({imagetest::kDjpeg})) GTEST_SKIP() << "needs djpeg to read the JPEG pages";
    struct Case {
        std::string stream;
        std::string options;
        int32_t rowsPerPage;
        int factor;
    };
    const Case cases[] = {
        {"mh a4 x3", "", 1144, 2},
        {"mh a4 x3 lsb", "/b=2 /v=2", 2288, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream + " " + c.options);
        const ScratchFolder scratch;
        const fs::path source = scratch / "call";  // no extension: a raw stream
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(stream(c.stream).data()), std::streamsize(stream(c.stream).size()));
        const std::string out = (scratch / "out").string();
        const faxtest::CommandResult result =
            faxtest::runShell("TMPDIR='" + (scratch / "").string() + "' '" PLIFTCMD_PATH "' /q /qa=100 " + c.options +
                                  " '/f=" + source.string() + "' '/sf=" + out + "/call.jpg' /log=",
                              (scratch / "").string());
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::vector<Picture> pages = cutIntoPages(allRows(c.stream), c.rowsPerPage);
        for (size_t i = 0; i < pages.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            char name[32];
            std::snprintf(name, sizeof name, "/call%03zu.jpg", i + 1);
            const auto decoded = imagetest::decodeWithDjpeg(out + name, (scratch / "page.pgm").string());
            ASSERT_TRUE(decoded.has_value());
            EXPECT_EQ(faxtest::firstDifference(faxtest::scaledForJpeg(faxtest::pictureAsGray(pages[i]), c.factor, 1728),
                                               faxtest::thresholded(*decoded)),
                      "");
        }
        EXPECT_FALSE(fs::exists(out + "/call" + std::to_string(pages.size() + 1) + ".jpg"));
    }
}

TEST_F(RawFaxPliftcmdTest, RandomBytesAndTextAreReportedAsNoFax)
{
    const ScratchFolder scratch;
    std::mt19937 generator(11);
    std::string random(200000, '\0');
    for (char& byte : random) byte = char(generator());
    faxtest::writeText((scratch / "noise.001").string(), random);
    std::string letter;
    while (letter.size() < 50000) letter += "Meeting moved to Thursday; please bring the fax numbers.\n";
    faxtest::writeText((scratch / "memo").string(), letter);
    for (const char* name : {"noise.001", "memo"}) {
        SCOPED_TRACE(name);
        const std::string source = (scratch / name).string();
        const faxtest::CommandResult result = faxtest::runShell(
            "TMPDIR='" + (scratch / "").string() + "' '" PLIFTCMD_PATH "' /nw=1000 '/f=" + source + "' '/sf=" +
                (scratch / "out.jpg").string() + "' /log=",
            (scratch / "").string());
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find("Failed : " + source + " - Not Fax\n"), std::string::npos) << result.out;
        EXPECT_FALSE(fs::exists(scratch / "out.jpg"));
    }
}

}  // namespace
}  // namespace pagelift::testing

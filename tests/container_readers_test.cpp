// Fax containers of the 1990s built around pages that pbmtog3 and tiffcp
// coded, read back pixel for pixel: APF, PC Research G3, QLIIFAX, BIT FAX,
// SFT-FAX and fx files. Then their limits, headers that lie or stop short,
// and whole conversions by pliftcmd checked with djpeg.

#include "faxdoc/fax_document.h"
#include "platform/little_endian.h"
#include "support/byte_builder.h"
#include "support/fax_fixtures.h"
#include "support/jbig_files.h"
#include "support/mh_encoder.h"
#include "support/raw_streams.h"
#include "support/sff_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

// How a page is coded; "flagged" T.6 data stand behind a run of 0xFF flag
// bytes, as fax boards store them.
enum class Code { MhMsb, MhLsb, MrMsb, MrLsb, MmrMsb, MmrLsb, FlaggedMmrMsb, FlaggedMmrLsb };

// Pictures and their coded forms, made once for every test here.
class Pages {
public:
    Pages()
    {
        // Every page starts with a black rule, so that T.6 data begin with
        // horizontal mode and a flag run can stand right before them.
        add("letter", 1728, 1100, "THE LETTER\n\nThe first page of a letter sent by fax,\nwith a few lines of text.");
        add("memo", 1728, 1100, "MEMO\n\nThe second page: other words,\nother rows, 0123456789.");
        add("wide", 2048, 800, "A WIDE PAGE\n\n2048 pixels to the line.");
        add("short", 1728, 500, "A SHORT LAST PAGE");
        add("cover", 1728, 1100, "COVER");  // sparse: few rows differ from the one above
    }

    const Picture& picture(const std::string& name) const { return pictures_.at(name); }

    const std::vector<uint8_t>& coded(const std::string& name, Code code)
    {
        const auto key = std::make_pair(name, code);
        if (coded_.count(key) == 0) coded_[key] = encode(pictures_.at(name), code);
        return coded_[key];
    }

    bool complete() const
    {
        for (const auto& [name, picture] : pictures_) {
            if (picture.height == 0) return false;
        }
        return true;
    }

private:
    void add(const std::string& name, int32_t width, int32_t height, const std::string& text)
    {
        Picture picture = textPicture(scratch_, text, width, height, 2);
        for (int32_t x = 0; picture.height > 0 && x < 200; ++x) picture.at(x, 0) = 1;
        pictures_[name] = picture;
    }

    std::vector<uint8_t> encode(const Picture& picture, Code code) const
    {
        const bool lsb = code == Code::MhLsb || code == Code::MrLsb || code == Code::MmrLsb || code == Code::FlaggedMmrLsb;
        switch (code) {
        case Code::MhMsb:
        case Code::MhLsb: return pbmtog3Stream(scratch_, picture, lsb);
        case Code::MrMsb:
        case Code::MrLsb: {
            std::vector<uint8_t> strip = tiffcpStrip(scratch_, picture, "g3:2d", lsb);
            if (!strip.empty()) appendMrRtc(strip, lsb);
            return strip;
        }
        case Code::MmrMsb:
        case Code::MmrLsb: return tiffcpStrip(scratch_, picture, "g4", lsb);
        case Code::FlaggedMmrMsb:
        case Code::FlaggedMmrLsb: {
            std::vector<uint8_t> stream = {0xFF, 0xFF, 0xFF};
            const std::vector<uint8_t> strip = tiffcpStrip(scratch_, picture, "g4", lsb);
            stream.insert(stream.end(), strip.begin(), strip.end());
            return strip.empty() ? strip : stream;
        }
        }
        return {};
    }

    ScratchFolder scratch_;
    std::map<std::string, Picture> pictures_;
    std::map<std::pair<std::string, Code>, std::vector<uint8_t>> coded_;
};

// --- the containers, laid out as the programs that wrote them did ---------

struct ApfPage {
    std::vector<uint8_t> data;
    uint8_t flags = 0;  // 1 fine, 2 wide, 4 a two-byte word per line
};

std::vector<uint8_t> apfFile(const std::vector<ApfPage>& pages, int16_t declared)
{
    ByteBuilder file;
    file.text(0, "APF10").u16(32, uint16_t(declared)).u32(34, 64).reach(64);
    for (const ApfPage& page : pages) {
        const size_t at = file.size();
        file.u32(at, uint32_t(page.data.size())).u8(at + 4, page.flags).reach(at + 16).bytes(at + 16, page.data);
    }
    return file.result();
}

std::vector<uint8_t> pcResearchFile(const std::vector<std::vector<uint8_t>>& pages)
{
    ByteBuilder file;
    for (const std::vector<uint8_t>& page : pages) {
        const size_t at = file.size();
        file.text(at + 1, "PC Research, Inc").reach(at + 64).bytes(at + 64, page);
    }
    return file.result();
}

struct QliifaxLayout {
    uint16_t declared = 0;  // 0: the number of pages given
    uint16_t lastRows = 0;
    uint32_t otherRows = 0;
    uint16_t resolutionCode = 2;
};

std::vector<uint8_t> qliifaxFile(const std::vector<std::vector<uint8_t>>& pages, const QliifaxLayout& layout)
{
    ByteBuilder file;
    file.text(0, "QLIIFAX").u16(8, layout.declared != 0 ? layout.declared : uint16_t(pages.size()));
    file.u16(10, layout.lastRows).u32(12, layout.otherRows).u16(16, layout.resolutionCode).reach(1532);
    for (size_t i = 0; i < pages.size(); ++i) {
        const size_t at = file.size();
        file.u32(32 + 4 * i, uint32_t(at)).bytes(at, pages[i]);
    }
    return file.result();
}

struct BitFaxPage {
    std::vector<uint8_t> data;
    uint16_t width = 1728;
    uint16_t rows = 0;
};

std::vector<uint8_t> bitFaxFile(const std::vector<BitFaxPage>& pages, uint16_t declared, uint8_t resolutionCode)
{
    ByteBuilder file;
    file.text(0, "BIT  FAX").u16(9, declared).u8(14, resolutionCode).reach(2048);
    for (size_t i = 0; i < pages.size(); ++i) {
        const size_t at = file.size();
        const size_t entry = 16 + 16 * i;
        file.u16(entry, pages[i].width).u16(entry + 2, pages[i].rows).u32(entry + 4, uint32_t(pages[i].data.size()));
        file.u32(entry + 8, uint32_t(at)).bytes(at, pages[i].data);
    }
    return file.result();
}

struct SftPage {
    std::vector<uint8_t> data;
    uint8_t coding = 5;
    uint8_t bitOrder = 1;
    uint32_t width = 0;  // 0 stands for 1728
    uint32_t rows = 0;   // 0 stands for 4576
    uint8_t xResolution = 200;
    uint8_t yResolution = 100;
};

std::vector<uint8_t> sftFile(const std::vector<SftPage>& pages)
{
    ByteBuilder file;
    for (const SftPage& page : pages) {
        const size_t at = file.size();
        file.text(at, "SFT-FAX").u32(at + 8, uint32_t(at + 64)).u32(at + 12, uint32_t(page.data.size()));
        file.u32(at + 16, page.width).u32(at + 20, page.rows).u8(at + 26, page.bitOrder).u8(at + 27, page.coding);
        file.u8(at + 28, page.xResolution).u8(at + 29, page.yResolution).reach(at + 64).bytes(at + 64, page.data);
    }
    return file.result();
}

struct FxPage {
    std::vector<uint8_t> data{};
    uint8_t coding = 0;  // 0 MH, else T.6
    uint16_t width = 0;  // 0 stands for 1728
    uint16_t rows = 0;   // 0 stand for 3432
    uint8_t resolutionCode = 0;
    std::string text{};
};

std::vector<uint8_t> fxFile(const std::vector<FxPage>& pages)
{
    ByteBuilder file;
    for (const FxPage& page : pages) {
        const size_t at = file.size();
        file.u8(at, 0x0B).u8(at + 1, 0x23).u16(at + 3, page.width).u16(at + 5, page.rows).u8(at + 7, page.coding);
        file.text(at + 9, page.text);
        // The next header: at + 100 + 4 x 7 + the data length = right after the data.
        file.u32(at + 89, uint32_t(at)).u32(at + 105, 100).u8(at + 113, 4).u8(at + 114, 7);
        file.u8(at + 115, page.resolutionCode).u32(at + 116, uint32_t(page.data.size()));
        file.reach(at + 128).bytes(at + 128, page.data);
    }
    return file.result();
}

// --- reading them back ---------------------------------------------------

struct ExpectedPage {
    std::string picture;
    uint16_t xResolution;
    int16_t yResolution;
};

struct ContainerCase {
    std::string name;
    std::string extension;
    std::function<std::vector<uint8_t>(Pages&)> build;
    std::vector<ExpectedPage> pages;
};

// The cases both the reader test and the pliftcmd test convert: every format
// with several pages, both bit orders and MH, MR and T.6 where the format
// allows them.
const std::vector<ContainerCase>& containerCases()
{
    static const std::vector<ContainerCase> cases = {
        {"APF: standard, fine, wide with a word per line", "apf",
         [](Pages& p) {
             MhLayout words;
             words.lsbFirst = true;
             words.wordAfterRow = true;
             return apfFile({{p.coded("letter", Code::MhLsb), 0},
                             {p.coded("memo", Code::MhLsb), 1},
                             {encodeMh(p.picture("wide"), words), 6}},
                            3);
         },
         {{"letter", 200, 100}, {"memo", 200, 200}, {"wide", 200, 100}}},
        {"PC Research: MH and MR in both bit orders, a B4 page", "g3f",
         [](Pages& p) {
             return pcResearchFile({p.coded("letter", Code::MhMsb), p.coded("memo", Code::MrLsb),
                                    p.coded("wide", Code::MhLsb), p.coded("short", Code::MrMsb)});
         },
         {{"letter", 200, 200}, {"memo", 200, 200}, {"wide", 200, 200}, {"short", 200, 200}}},
        {"QLIIFAX: MH, MR and T.6, a short last page", "qfx",
         [](Pages& p) {
             return qliifaxFile({p.coded("letter", Code::MhLsb), p.coded("memo", Code::MrMsb),
                                 p.coded("cover", Code::FlaggedMmrLsb), p.coded("short", Code::FlaggedMmrMsb)},
                                {0, 500, 1100, 2});
         },
         {{"letter", 200, 100}, {"memo", 200, 100}, {"cover", 200, 100}, {"short", 200, 100}}},
        {"BIT FAX: T.6, MH and MR at fine resolution", "bfx",
         [](Pages& p) {
             return bitFaxFile({{p.coded("letter", Code::FlaggedMmrMsb), 1728, 1100},
                                {p.coded("memo", Code::MhLsb), 1728, 1100},
                                {p.coded("wide", Code::MrLsb), 2048, 800}},
                               3, 1);
         },
         {{"letter", 200, 200}, {"memo", 200, 200}, {"wide", 200, 200}}},
        {"SFT-FAX: codings 3 to 7, default size", "sft",
         [](Pages& p) {
             MhLayout bytes;
             bytes.rowAlignment = 1;
             MhLayout words;
             words.rowAlignment = 2;
             words.lsbFirst = true;
             return sftFile({{encodeMh(p.picture("letter"), bytes), 3, 1, 1728, 1100},
                             {encodeMh(p.picture("short"), words), 4, 2, 1728, 500},
                             {p.coded("memo", Code::MhLsb), 5, 2, 0, 0, 200, 200},
                             {p.coded("wide", Code::MrMsb), 6, 1, 2048, 800},
                             {p.coded("cover", Code::MmrLsb), 7, 2, 1728, 1100}});
         },
         {{"letter", 200, 100}, {"short", 200, 100}, {"memo", 200, 200}, {"wide", 200, 100}, {"cover", 200, 100}}},
        {"SFF: standard and fine, white-line records, both line forms", "sff",
         [](Pages& p) {
             return sffFile({{0, 1728, 1100, sffPictureRecords(p.picture("letter"), 5)},
                             {1, 2048, 800, sffPictureRecords(p.picture("wide"))},
                             {0, 1728, 1100, sffPictureRecords(p.picture("short"))}});
         },
         {{"letter", 203, 98}, {"wide", 203, 196}, {"short", 203, 98}}},
        {"JBIG: a bare fax-profile page", "jbg",
         [](Pages& p) {
             const ScratchFolder scratch;
             return pbmtojbgImage(scratch, p.picture("letter"), "-f -s 128");
         },
         {{"letter", 200, 200}}},
        {"JBIG in TIFF: libtiff's in both bit orders (NEWLEN in one), TIFF-FX's", "tif",
         [](Pages& p) {
             const ScratchFolder scratch;
             const JbigBytes letter = pbmtojbgImage(scratch, p.picture("letter"), "-f");
             const JbigBytes memo = pbmtojbgImage(scratch, p.picture("memo"), "-f -s 64 -Y 3000");
             const JbigBytes wide = pbmtojbgImage(scratch, p.picture("wide"), "-q");
             if (letter.empty() || memo.empty() || wide.empty()) return JbigBytes{};
             return jbigTiffFile({{bitReversed(letter), 1728, 1100, 34661, 1, 0},
                                  {memo, 1728, 1100, 34661, 2, 0},
                                  {wide, 2048, 800, 9, 1, 0}});
         },
         {{"letter", 204, 196}, {"memo", 204, 196}, {"wide", 204, 196}}},
        {"fx: MH and T.6, default rows", "fxd",
         [](Pages& p) {
             return fxFile({{p.coded("letter", Code::MhLsb), 0, 1728, 1100, 0, "ACME 555 0100"},
                            {p.coded("memo", Code::MmrLsb), 1, 0, 0, 1, ""},
                            {p.coded("wide", Code::MmrLsb), 9, 2048, 800, 0, ""}});
         },
         {{"letter", 200, 100}, {"memo", 200, 200}, {"wide", 200, 100}}},
    };
    return cases;
}

class ContainerReadersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (missingTool(kRawStreamTools).empty() && !pages_) pages_ = std::make_unique<Pages>();
    }

    void SetUp() override
    {
        std::string missing = missingTool(kRawStreamTools);
        if (missing.empty()) missing = missingTool(kJbigTools);
        if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " to draw and encode test pages";
        ASSERT_TRUE(pages_->complete()) << "could not draw the test pages";
    }

    // The case's file in `scratch`, named "fax.<extension>".
    static std::string writeCase(const ScratchFolder& scratch, const ContainerCase& c)
    {
        const std::vector<uint8_t> bytes = c.build(*pages_);
        const std::string path = scratch.file("fax." + c.extension);
        writeBytes(path, bytes);
        return path;
    }

    static std::unique_ptr<Pages> pages_;
};

std::unique_ptr<Pages> ContainerReadersTest::pages_;

TEST_F(ContainerReadersTest, EveryPageReadsAsTheEncodedPicture)
{
    for (const ContainerCase& c : containerCases()) {
        SCOPED_TRACE(c.name);
        const ScratchFolder scratch;
        const std::vector<PageBitmap> pages = faxtest::readDocumentPages(writeCase(scratch, c));
        ASSERT_EQ(pages.size(), c.pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            EXPECT_EQ(compareFirstDifference(pages_->picture(c.pages[i].picture), pictureOf(pages[i])), "");
            EXPECT_EQ(pages[i].xResolution, c.pages[i].xResolution);
            EXPECT_EQ(pages[i].yResolution, c.pages[i].yResolution);
            EXPECT_EQ(pages[i].resolutionUnit, 2);
        }
    }
}

TEST_F(ContainerReadersTest, FxPagesCarryTheirIdentificationText)
{
    const ScratchFolder scratch;
    const std::string longText(80, 'X');  // fills its field: no zero ends it
    const std::string path = scratch.file("fax.fxs");
    writeBytes(path, fxFile({{pages_->coded("letter", Code::MhLsb), 0, 0, 0, 0, "ACME 555 0100"},
                             {pages_->coded("memo", Code::MhLsb), 0, 0, 0, 0, ""},
                             {pages_->coded("short", Code::MhLsb), 0, 0, 0, 0, longText + "TRAILING"}}));
    FaxDocument document;
    document.open(path, Fx);
    ASSERT_EQ(document.pageCount(), 3);
    EXPECT_EQ(document.page().texts[1], "ACME 555 0100");
    document.readPage(Fx, 1);
    EXPECT_EQ(document.page().texts, (std::array<std::string, 3>{}));
    document.readPage(Fx, 2);
    EXPECT_EQ(document.page().texts[1], longText);
}

// What a document makes of a file: the rows of each page, 0 for a page that
// could not be read; nothing when the document has no first page.
std::vector<int32_t> pageRows(const std::string& path)
{
    const FaxFormat format = identifyFormat(path);
    FaxDocument document;
    document.open(path, format);
    std::vector<int32_t> rows;
    for (size_t index = 0; document.hasPage() || index > 0; ++index) {
        if (index >= document.pageCount()) break;
        if (index > 0) document.readPage(format, index);
        const PageBitmap& page = document.page();
        // A page either holds all its rows or none at all.
        EXPECT_EQ(page.pixels.size(), size_t(std::max(page.rows, 0)) * size_t(std::max(page.bytesPerRow, 0)));
        if (!page.hasPage()) {
            EXPECT_TRUE(page.pixels.empty());
        }
        rows.push_back(page.hasPage() ? page.rows : 0);
    }
    return rows;
}

std::vector<uint8_t> cutAt(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

TEST_F(ContainerReadersTest, LimitsAndHeadersThatLieOrStopShort)
{
    Pages& p = *pages_;
    const auto letter = [&](Code code) { return p.coded("letter", code); };
    const std::vector<uint8_t> apfTwo = apfFile({{letter(Code::MhLsb), 0}, {letter(Code::MhLsb), 0}}, 3);
    const std::vector<uint8_t> sftTwo = sftFile({{letter(Code::MhMsb)}, {letter(Code::MhMsb)}});
    struct Case {
        std::string name;
        std::string extension;
        std::vector<uint8_t> bytes;
        std::vector<int32_t> rows;  // of each page; -1: some rows, fewer than the page has
        size_t pageCount = 0;       // 0: as many as `rows`
    };
    const std::vector<Case> cases = {
        {"APF: 3 pages announced, the second record cut off", "apf", cutAt(apfTwo, apfTwo.size() - letter(Code::MhLsb).size() - 8),
         {1100, 0}},
        {"APF: 3 pages announced, 2 present: no page past the end", "apf", apfTwo, {1100, 1100}},
        {"APF: the last page's data cut short", "apf", cutAt(apfTwo, apfTwo.size() - 1000), {1100, -1}},
        {"APF: a header cut short", "apf", cutAt(apfTwo, 40), {}},
        {"APF: not APF10", "apf", ByteBuilder().text(0, "APF11").reach(2000).result(), {}},
        {"PC Research: a signature without its zero byte starts no page", "g3f",
         pcResearchFile({[&] {
             std::vector<uint8_t> data = letter(Code::MhLsb);
             const std::string stray = "xPC Research, Inc";
             data.insert(data.end(), stray.begin(), stray.end());
             return data;
         }()}),
         {1100}},
        {"PC Research: a last page shorter than its header", "g3f",
         [&] {
             std::vector<uint8_t> bytes = pcResearchFile({letter(Code::MrMsb)});
             const std::string header = std::string(1, '\0') + "PC Research, Inc";
             bytes.insert(bytes.end(), header.begin(), header.end());
             return bytes;
         }(),
         {1100, 0}},
        {"PC Research: data of no known coding", "g3f", pcResearchFile({std::vector<uint8_t>(5000, 0x5A)}), {}},
        {"QLIIFAX: 400 pages announced are read as 375", "qfx",
         qliifaxFile({letter(Code::MhLsb), letter(Code::MhMsb)}, {400, 1100, 1100, 1}), {1100, 1100, 0}, 375},
        {"QLIIFAX: a page whose successor lies before it runs to the end", "qfx",
         [&] {
             // The second page's data stand first in the file.
             std::vector<uint8_t> bytes = qliifaxFile({p.coded("memo", Code::MhLsb), letter(Code::MhLsb)}, {2, 1100, 1100, 2});
             ByteBuilder swapped;
             swapped.bytes(0, bytes).u32(32, le32(bytes.data() + 36)).u32(36, le32(bytes.data() + 32));
             return swapped.result();
         }(),
         {1100, 1100}},
        {"QLIIFAX: a page that starts past the end", "qfx",
         ByteBuilder().bytes(0, qliifaxFile({letter(Code::MhLsb)}, {2, 1100, 1100, 2})).u32(36, 99999999).result(),
         {1100, 0}},
        {"QLIIFAX: rows 0", "qfx", qliifaxFile({letter(Code::MhLsb)}, {1, 0, 0, 2}), {}},
        {"QLIIFAX: a header cut short", "qfx", cutAt(qliifaxFile({letter(Code::MhLsb)}, {1, 1100, 1100, 2}), 1531), {}},
        {"BIT FAX: 200 pages announced are read as 127", "bfx", bitFaxFile({{letter(Code::MhMsb), 1728, 1100}}, 200, 0),
         {1100, 0}, 127},
        {"BIT FAX: an entry of width 0", "bfx",
         bitFaxFile({{letter(Code::MhMsb), 1728, 1100}, {letter(Code::MhMsb), 0, 1100}}, 2, 0), {1100, 0}},
        {"BIT FAX: an entry whose data run past the end", "bfx",
         ByteBuilder().bytes(0, bitFaxFile({{letter(Code::MhMsb), 1728, 1100}}, 1, 0)).u32(20, 0x7FFFFFFF).result(),
         {1100}},
        {"BIT FAX: not BIT  FAX", "bfx", ByteBuilder().text(0, "BIT FAX ").reach(4000).result(), {}},
        {"SFT-FAX: a length beyond the file reads to its end", "sft",
         ByteBuilder().bytes(0, sftFile({{letter(Code::MhMsb)}})).u32(12, 0xFFFFFFF0).result(), {1100}},
        // The second header stands at half the size; its data offset plus
        // length point back at itself, then before it.
        {"SFT-FAX: a chain that points back to itself", "sft", ByteBuilder().bytes(0, sftTwo).u32(sftTwo.size() / 2 + 8, 64).result(),
         {1100, 1100}},
        {"SFT-FAX: a chain that points backwards", "sft", ByteBuilder().bytes(0, sftTwo).u32(sftTwo.size() / 2 + 8, 0).result(),
         {1100, 1100}},
        {"SFT-FAX: a coding outside 3 to 7 is no copy of the page before", "sft",
         sftFile({{letter(Code::MhMsb)}, {letter(Code::MhMsb), 9}}), {1100, 0}},
        {"SFT-FAX: a width no page can have", "sft",
         sftFile({{letter(Code::MhMsb)}, {letter(Code::MhMsb), 5, 1, 0x7FFFFFFF, 1100}}), {1100, 0}},
        {"SFT-FAX: the data cut short", "sft", cutAt(sftTwo, sftTwo.size() - 3000), {1100, -1}},
        {"SFF: a line record that runs past the end ends the page", "sff",
         [&] {
             const std::vector<uint8_t> whole = sffFile({{0, 1728, 1100, sffPictureRecords(p.picture("letter"))}});
             return cutAt(whole, whole.size() / 2);
         }(),
         {-1}},
        {"SFF: a first page header that is not there", "sff",
         ByteBuilder().bytes(0, sffFile({{0, 1728, 1100, sffPictureRecords(p.picture("letter"))}})).u16(10, 30).result(), {}},
        {"SFF: not Sfff", "sff", ByteBuilder().text(0, "Sffx").reach(3000).result(), {}},
        {"fx: a chain that points backwards", "fxm",
         [&] {
             const std::vector<uint8_t> two = fxFile({{letter(Code::MhLsb)}, {letter(Code::MhLsb)}});
             const size_t second = two.size() / 2;
             return ByteBuilder().bytes(0, two).u32(second + 89, 0).u32(second + 105, 0).u8(second + 113, 0).result();
         }(),
         {1100, 1100}},
        {"fx: a page without data that points back to itself", "fxm",
         ByteBuilder().bytes(0, fxFile({{{}, 0, 0, 0, 0, ""}})).u32(89, 0).u32(105, 0).u8(113, 0).result(), {}},
        {"fx: a header cut short", "fxr", cutAt(fxFile({{letter(Code::MhLsb)}}), 100), {}},
        {"fx: no page header", "fxr", ByteBuilder().u8(0, 0x0B).u8(1, 0x24).reach(3000).result(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder scratch;
        const std::string path = scratch.file("fax." + c.extension);
        writeBytes(path, c.bytes);
        const std::vector<int32_t> rows = pageRows(path);
        ASSERT_EQ(rows.size(), c.pageCount != 0 ? c.pageCount : c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            if (c.rows[i] < 0) {
                EXPECT_GT(rows[i], 0);
                EXPECT_LT(rows[i], 1100);
            } else {
                EXPECT_EQ(rows[i], c.rows[i]);
            }
        }
    }
}

TEST_F(ContainerReadersTest, FilesCutShortAnywhereGiveWholePagesOrNone)
{
    for (const ContainerCase& c : containerCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> whole = c.build(*pages_);
        const ScratchFolder scratch;
        const std::string path = scratch.file("fax." + c.extension);
        for (const size_t size : {size_t{1}, size_t{17}, size_t{63}, size_t{64}, size_t{100}, size_t{1531},
                                  size_t{2047}, size_t{2100}, whole.size() / 3, whole.size() / 2, whole.size() - 1}) {
            SCOPED_TRACE("cut to " + std::to_string(size) + " bytes");
            writeBytes(path, cutAt(whole, size));
            const std::vector<int32_t> rows = pageRows(path);  // checks each page's shape
            EXPECT_LE(rows.size(), c.pages.size());
        }
    }
}

// pliftcmd end to end: each JPEG page, decoded by djpeg, is the encoded
// picture with its rows repeated as its resolution asks; in a single-file run
// and in a folder run of all the formats together.
TEST_F(ContainerReadersTest, PliftcmdConvertsEveryFormatInFileAndFolderRuns)
{
    if (!faxtest::toolsAvailable({imagetest::kDjpeg})) GTEST_SKIP() << "needs djpeg to read the JPEG pages";
    const ScratchFolder scratch;
    const fs::path folder = scratch / "faxes";
    fs::create_directory(folder);
    std::vector<std::string> names;
    for (size_t i = 0; i < containerCases().size(); ++i) {
        const ContainerCase& c = containerCases()[i];
        names.push_back("fax" + std::to_string(i) + "." + c.extension);
        writeBytes((folder / names.back()).string(), c.build(*pages_));
    }
    const auto expectJpegPages = [&](const ContainerCase& c, const std::string& base) {
        for (size_t page = 0; page < c.pages.size(); ++page) {
            SCOPED_TRACE("page " + std::to_string(page + 1));
            char suffix[32];  // a fax of one page keeps the name unnumbered
            std::snprintf(suffix, sizeof suffix, c.pages.size() == 1 ? ".jpg" : "%03zu.jpg", page + 1);
            const auto decoded = imagetest::decodeWithDjpeg(base + suffix, scratch.file("page.pgm"));
            ASSERT_TRUE(decoded.has_value()) << base + suffix;
            const Picture& picture = pages_->picture(c.pages[page].picture);
            const int factor = c.pages[page].xResolution / c.pages[page].yResolution;
            EXPECT_EQ(faxtest::firstDifference(
                          faxtest::scaledForJpeg(faxtest::pictureAsGray(picture), factor, (picture.width + 7) / 8 * 8),
                          faxtest::thresholded(*decoded)),
                      "");
        }
    };
    const auto run = [&](const std::string& arguments) {
        const faxtest::CommandResult result = faxtest::runShell(
            "TMPDIR=" + shellQuoted(scratch.file("")) + " " PLIFTCMD_PATH " /q /qa=100 " + arguments + " /log=",
            scratch.file(""));
        ASSERT_EQ(result.exitCode, 0) << result.err;
    };

    run("/d=" + shellQuoted(folder.string()) + " /sd=" + shellQuoted(scratch.file("folder-run")));
    for (size_t i = 0; i < containerCases().size(); ++i) {
        const ContainerCase& c = containerCases()[i];
        SCOPED_TRACE(c.name);
        const std::string base = names[i].substr(0, names[i].find('.'));
        expectJpegPages(c, scratch.file("folder-run/" + base));
        const std::string single = scratch.file("single/" + base + ".jpg");
        run("/f=" + shellQuoted((folder / names[i]).string()) + " /sf=" + shellQuoted(single));
        expectJpegPages(c, scratch.file("single/" + base));
    }
}

}  // namespace
}  // namespace pagelift::testing

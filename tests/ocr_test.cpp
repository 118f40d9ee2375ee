// Searchable outputs, held against independent readers: poppler finds the
// words of a rendered page in our PDF, each where the ink of the word it
// names is (ImageMagick's reading of the page); pages rendered upside down or
// on their side come out equal to the upright page; a language without data,
// a missing OCR module and one of another version convert nothing; JPEG and
// PNG pages get their text file. The programs recognise through the OCR
// module, which they find beside them in the build.

#include "support/fax_fixtures.h"
#include "support/ocr_module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

namespace pagelift::faxtest {
namespace {

namespace fs = std::filesystem;
using testing::missingTool;
using testing::shellQuoted;

const char* const kMagick = "/usr/bin/convert";

// Words set on a grid of cells, one word to a cell, so that the ink of
// each cell is the box of its word.
constexpr int kColumns = 4;
constexpr int kRows = 10;
constexpr int kCellWidth = 400;   // pixels at 204 dpi
constexpr int kCellHeight = 180;  // rows at 196 dpi
constexpr int kLeft = 80;
constexpr int kTop = 120;
const std::vector<std::string> kWords = {
    "invoice",  "delivery", "payment",  "account",   "customer", "number",   "receipt",  "shipment",
    "attached", "document", "signature", "office",   "telephone", "address", "street",   "building",
    "contract", "service",  "request",  "quotation", "schedule", "meeting",  "report",   "agreement",
    "balance",  "credit",   "transfer", "reference", "department", "manager", "company", "product",
    "quantity", "price",    "order",    "confirm",   "please",   "total",    "amount",   "dispatch",
};

std::string skipReason(std::initializer_list<std::string> tools)
{
    if (!testing::ocrUnavailableReason().empty()) return testing::ocrUnavailableReason();
    const std::string missing = missingTool(tools);
    return missing.empty() ? "" : "needs " + missing + " (scripts/install-deps.sh --test)";
}

// A fine-resolution Group 4 TIFF page of the grid's words in 11-point type
// (its first `rows` rows), turned clockwise by `turn` degrees, its rows
// halved to standard resolution when `standard`.
void renderWordsPage(const std::string& tiff, bool standard, int turn, int rows = kRows)
{
    std::string command = std::string(kMagick) +
                          " -size 1728x2200 xc:white -density 204x196 -units PixelsPerInch -font DejaVu-Sans"
                          " -pointsize 11";
    for (size_t index = 0; index < size_t(rows * kColumns); ++index) {
        const int x = kLeft + int(index % kColumns) * kCellWidth;
        const int y = kTop + int(index / kColumns) * kCellHeight + 60;  // the baseline
        command += " -annotate +" + std::to_string(x) + "+" + std::to_string(y) + " " + kWords[index];
    }
    command += " -threshold 50%";
    if (standard) command += " -sample 100%x50% -density 204x98";
    if (turn != 0) command += " -rotate " + std::to_string(turn);
    command += " -monochrome -compress Group4 " + shellQuoted(tiff);
    ASSERT_EQ(testing::runShell(command, fs::path(tiff).parent_path().string()).exitCode, 0) << command;
}

struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The ink of one cell of the page, in its pixels; empty when the cell is white.
std::optional<Box> inkOfCell(const GrayImage& page, int column, int row, double rowScale)
{
    const int x0 = kLeft - 20 + column * kCellWidth;
    const int y0 = int((kTop + row * kCellHeight) * rowScale);
    const int y1 = int((kTop + (row + 1) * kCellHeight) * rowScale);
    std::optional<Box> ink;
    for (int y = y0; y < std::min(y1, page.height); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x0 + kCellWidth, page.width); ++x) {
            if (page.pixels[size_t(y) * size_t(page.width) + size_t(x)] >= 128) continue;
            if (!ink) ink = Box{double(x), double(y), double(x + 1), double(y + 1)};
            ink->left = std::min(ink->left, double(x));
            ink->top = std::min(ink->top, double(y));
            ink->right = std::max(ink->right, double(x + 1));
            ink->bottom = std::max(ink->bottom, double(y + 1));
        }
    }
    return ink;
}

struct FoundWord {
    std::string text;
    Box box;  // points, from the top left
};

std::vector<FoundWord> pdftotextWords(const std::string& pdf, const ScratchFolder& scratch)
{
    const CommandResult result = testing::runShell("pdftotext -bbox " + shellQuoted(pdf) + " -", scratch.path().string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    std::vector<FoundWord> words;
    for (std::sregex_iterator match(result.out.begin(), result.out.end(), word), end; match != end; ++match) {
        words.push_back({(*match)[5], {std::stod((*match)[1]), std::stod((*match)[2]), std::stod((*match)[3]),
                                       std::stod((*match)[4])}});
    }
    return words;
}

struct SearchCase {
    const char* name;
    bool standard;
};

class OcrPdfText : public ::testing::TestWithParam<SearchCase> {};

// Every word of the page is found, once, where its ink is: across, its
// box within a pixel and a half of the ink's; down, it holds the ink and is
// less than twice as tall (words are placed by line, from the line's
// highest ink to below its descenders).
TEST_P(OcrPdfText, PdftotextFindsEveryWordInsideItsInk)
{
    const std::string reason = skipReason({kMagick, "pdftotext"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    const SearchCase& param = GetParam();
    ScratchFolder scratch;
    const std::string tiff = scratch.file("words.tif");
    renderWordsPage(tiff, param.standard, 0);
    const std::string pdf = scratch.file("words.pdf");
    const CommandResult run = runPliftcmd({"/q", "/ocr", "/f=" + tiff, "/sf=" + pdf}, scratch.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::optional<GrayImage> page = referencePage(tiff, 0, scratch.file("page.pgm"));
    ASSERT_TRUE(page.has_value());

    const double rowScale = param.standard ? 0.5 : 1.0;
    const double xPixels = 204.0 / 72;
    const double yPixels = (param.standard ? 98.0 : 196.0) / 72;
    std::map<std::string, FoundWord> found;
    for (const FoundWord& word : pdftotextWords(pdf, scratch)) found.emplace(word.text, word);
    for (size_t index = 0; index < kWords.size(); ++index) {
        SCOPED_TRACE(kWords[index]);
        const auto word = found.find(kWords[index]);
        ASSERT_NE(word, found.end()) << "not found";
        const std::optional<Box> ink = inkOfCell(*page, int(index % kColumns), int(index / kColumns), rowScale);
        ASSERT_TRUE(ink.has_value());
        const Box box{word->second.box.left * xPixels, word->second.box.top * yPixels, word->second.box.right * xPixels,
                      word->second.box.bottom * yPixels};
        EXPECT_NEAR(box.left, ink->left, 1.5);
        EXPECT_NEAR(box.right, ink->right, 1.5);
        EXPECT_LE(box.top, ink->top + 1.5);
        EXPECT_GE(box.bottom, ink->bottom - 1.5);
        EXPECT_LT(box.bottom - box.top, 2 * (ink->bottom - ink->top));
    }
}
INSTANTIATE_TEST_SUITE_P(Pages, OcrPdfText,
                         ::testing::Values(SearchCase{"Fine", false}, SearchCase{"Standard", true}),
                         [](const ::testing::TestParamInfo<SearchCase>& row) { return std::string(row.param.name); });

struct TurnCase {
    const char* name;
    const char* format;  // /to=
    int turn;            // how the page was received
    bool standard;
    const char* note;    // the report's words; "" for none
    int rows = kRows;    // of the grid of words
};

class OcrTurnedPages : public ::testing::TestWithParam<TurnCase> {};

// The output's image is the upright page, pixel for pixel: a PNG page as
// ImageMagick reads it, a PDF's image as pdfimages takes it out.
TEST_P(OcrTurnedPages, OutputsEqualTheUprightPage)
{
    const std::string reason = skipReason({kMagick, "pdfimages", "pngtopnm"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    const TurnCase& param = GetParam();
    ScratchFolder scratch;
    renderWordsPage(scratch.file("upright.tif"), param.standard, 0, param.rows);
    renderWordsPage(scratch.file("received.tif"), param.standard, param.turn, param.rows);
    const std::string output = scratch.file(std::string("out.") + param.format);
    const CommandResult run = runPliftcmd({"/ocr", "/f=" + scratch.file("received.tif"), "/sf=" + output},
                                          scratch.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Success !"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("turned") == std::string::npos, *param.note == 0) << run.out;
    EXPECT_NE(run.out.find(param.note), std::string::npos) << run.out;

    std::string image = output;
    if (std::string(param.format) == "pdf") {
        ASSERT_EQ(testing::runShell("pdfimages -tiff " + shellQuoted(output) + " " + shellQuoted(scratch.file("image")),
                                    scratch.path().string())
                      .exitCode,
                  0);
        image = scratch.file("image-000.tif");
    }
    const std::optional<GrayImage> expected = referencePage(scratch.file("upright.tif"), 0, scratch.file("a.pgm"));
    const std::optional<GrayImage> actual = referencePage(image, 0, scratch.file("b.pgm"));
    ASSERT_TRUE(expected && actual);
    // A PNG page of a standard-resolution fax has its rows repeated.
    const bool repeated = std::string(param.format) == "png" && param.standard;
    EXPECT_EQ(firstDifference(repeated ? scaledForJpeg(*expected, 2, actual->width) : *expected, *actual), "");
}

INSTANTIATE_TEST_SUITE_P(
    Received, OcrTurnedPages,
    ::testing::Values(TurnCase{"UpsideDownPdf", "pdf", 180, false, "page 001 : turned 180 degrees"},
                      TurnCase{"UpsideDownPng", "png", 180, false, "Success ! (turned 180 degrees)"},
                      TurnCase{"UpsideDownStandardPdf", "pdf", 180, true, "page 001 : turned 180 degrees"},
                      TurnCase{"OnItsSidePdf", "pdf", 90, false, "page 001 : turned 270 degrees"},
                      TurnCase{"OnItsOtherSidePng", "png", 270, false, "Success ! (turned 90 degrees)"},
                      TurnCase{"UprightPng", "png", 0, false, ""},
                      // Two lines of words: the orientation is less sure, and confirmed.
                      TurnCase{"FewWordsUpsideDownStandardPng", "png", 180, true, "Success ! (turned 180 degrees)", 2},
                      TurnCase{"FewWordsUprightStandardPdf", "pdf", 0, true, "", 2}),
    [](const ::testing::TestParamInfo<TurnCase>& row) { return std::string(row.param.name); });

// A language whose data are not installed converts nothing and says what
// to install; so do a missing OCR module and a module of another interface
// version, which a build without Tesseract meets too.
TEST(OcrLanguages, MissingDataOrModuleConvertNothingAndExitWithStatusTwo)
{
    struct Case {
        std::string option;
        std::string module;  // PAGELIFT_OCR_MODULE; empty: the one beside the program
        std::string message;
    };
    const std::string missing = "Text recognition needs the OCR module, which is not installed: install the package "
                                "pagelift-ocr";
    const std::string otherVersion = "it was made for another version of the program): install the package "
                                     "pagelift-ocr of Zoziv Pagelift " PAGELIFT_VERSION;
    std::vector<Case> cases = {
        {"/ocr", "/nonexistent/pagelift-ocr.so", missing + " (/nonexistent/pagelift-ocr.so not found)"},
        {"/ocr=deu", PAGELIFT_OTHER_VERSION_OCR_MODULE, otherVersion},
    };
    if (testing::builtOcrModule().empty()) {
        cases.push_back({"/ocr", "", missing});
    } else {
        cases.push_back({"/ocr=eng+qqq", "", "install the package tesseract-ocr-qqq"});
        cases.push_back({"/ocr=zzz_old", "", "install the package tesseract-ocr-zzz-old"});
        cases.push_back({"/ocr=eng+../x", "", "is not a language name"});
    }
    const std::string sample = (fs::path(PAGELIFT_SOURCE_DIR) / "samples" / "memo-g4.tif").string();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.option + " " + test.module);
        ScratchFolder scratch;
        std::vector<std::vector<std::string>> runs;
        runs.push_back({test.option, "/f=" + sample, "/sf=" + scratch.file("out/memo.pdf")});
        runs.push_back({test.option, "/d=" + sample.substr(0, sample.rfind('/')), "/sd=" + scratch.file("out"), "/j=2"});
        for (const std::vector<std::string>& run : runs) {
            std::string command;
            if (!test.module.empty()) command.append("PAGELIFT_OCR_MODULE=").append(shellQuoted(test.module)).append(" ");
            command += shellQuoted(PLIFTCMD_PATH);
            for (const std::string& argument : run) command.append(" ").append(shellQuoted(argument));
            const CommandResult result = testing::runShell(command, scratch.path().string());
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_NE(result.err.find(test.message), std::string::npos) << result.err;
            EXPECT_FALSE(fs::exists(scratch / "out"));
        }
    }
}

// JPEG and PNG pages get the document's text beside them, a form feed
// between pages, every word of each page in its part.
TEST(OcrTextFiles, PagesOfAFileEachGetTheTextFileBesideThem)
{
    const std::string reason = skipReason({kMagick, "tiffcp"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    ScratchFolder scratch;
    renderWordsPage(scratch.file("first.tif"), false, 0);
    renderWordsPage(scratch.file("second.tif"), true, 180);
    ASSERT_EQ(testing::runShell("tiffcp " + shellQuoted(scratch.file("first.tif")) + " " +
                                    shellQuoted(scratch.file("second.tif")) + " " + shellQuoted(scratch.file("two.tif")),
                                scratch.path().string())
                  .exitCode,
              0);
    struct Case {
        const char* format;
        const char* fax;
        std::vector<std::string> pages;
    };
    for (const Case& test : {Case{"jpg", "two.tif", {"fax001.jpg", "fax002.jpg"}},
                             Case{"png", "two.tif", {"fax001.png", "fax002.png"}},
                             Case{"jpg", "first.tif", {"fax.jpg"}}}) {
        SCOPED_TRACE(std::string(test.format) + " " + test.fax);
        const fs::path folder = scratch / (std::string(test.format) + test.fax);
        const CommandResult run = runPliftcmd(
            {"/q", "/ocr", std::string("/to=") + test.format, "/f=" + scratch.file(test.fax),
             "/sf=" + (folder / (std::string("fax.") + test.format)).string()},
            scratch.path().string());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& page : test.pages) EXPECT_TRUE(fs::exists(folder / page)) << page;
        const std::string text = readText((folder / "fax.txt").string());
        std::vector<std::string> parts;
        std::stringstream split(text);
        for (std::string part; std::getline(split, part, '\f');) parts.push_back(part);
        ASSERT_EQ(parts.size(), test.pages.size()) << text;
        for (const std::string& part : parts) {
            for (const std::string& word : kWords) EXPECT_NE(part.find(word), std::string::npos) << word;
        }
    }
}

}  // namespace
}  // namespace pagelift::faxtest

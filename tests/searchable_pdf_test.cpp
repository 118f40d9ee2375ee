// Searchable PDFs read back by the PDF engines people use: poppler, MuPDF,
// Ghostscript and pdf.js each find a page's lines of text with their words
// in order, at fine and standard resolution, and so do they after
// Ghostscript has rewritten the file (as users do to shrink it); the text's
// font is embedded and whole as a TrueType font, its widths those the file
// states, and no reader warns of it.

#include "imageout/pdf_text_layer.h"
#include "support/fax_fixtures.h"
#include "support/ocr_module.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <regex>

namespace pagelift::faxtest {
namespace {

namespace fs = std::filesystem;
using testing::missingTool;
using testing::shellQuoted;

const std::vector<std::string> kLines = {
    "please confirm receipt of the attached invoice by return",
    "the delivery of your order will follow next week",
    "our account manager will call you about the payment",
    "kindly sign the agreement and send it to our office",
    "we thank you for your letter and remain sincerely yours",
};

std::string skipReason(std::initializer_list<std::string> tools)
{
    if (!testing::ocrUnavailableReason().empty()) return testing::ocrUnavailableReason();
    const std::string missing = missingTool(tools);
    return missing.empty() ? "" : "needs " + missing + " (scripts/install-deps.sh --test)";
}

// The lines in 12-point type on a fine Group 4 page, its rows halved to
// standard resolution when `standard`, converted to a searchable PDF.
std::string searchablePdf(const ScratchFolder& scratch, bool standard)
{
    std::string text;
    for (const std::string& line : kLines) text += (text.empty() ? "" : "\n") + line;
    const std::string tiff = scratch.file("lines.tif");
    std::string command = "/usr/bin/convert -size 1728x1200 xc:white -density 204x196 -units PixelsPerInch"
                          " -font DejaVu-Sans -pointsize 12 -annotate +120+160 " + shellQuoted(text) +
                          " -threshold 50%";
    if (standard) command += " -sample 100%x50% -density 204x98";
    command += " -monochrome -compress Group4 " + shellQuoted(tiff);
    EXPECT_EQ(testing::runShell(command, scratch.path().string()).exitCode, 0) << command;
    const std::string pdf = scratch.file("lines.pdf");
    const CommandResult run = runPliftcmd({"/q", "/ocr", "/f=" + tiff, "/sf=" + pdf}, scratch.path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return pdf;
}

// The text's words, lower case, in order.
std::vector<std::string> wordsOf(const std::string& text)
{
    std::vector<std::string> words;
    const std::regex word("[A-Za-z]+");
    for (std::sregex_iterator match(text.begin(), text.end(), word), end; match != end; ++match) {
        std::string found = match->str();
        for (char& c : found) c = char(std::tolower(static_cast<unsigned char>(c)));
        words.push_back(found);
    }
    return words;
}

// Each line whose words do not come out one after the other in `text`.
std::vector<std::string> linesBroken(const std::string& text)
{
    const std::vector<std::string> found = wordsOf(text);
    std::vector<std::string> broken;
    for (const std::string& line : kLines) {
        const std::vector<std::string> wanted = wordsOf(line);
        if (std::search(found.begin(), found.end(), wanted.begin(), wanted.end()) == found.end()) {
            broken.push_back(line);
        }
    }
    return broken;
}

struct Reader {
    const char* name;
    const char* command;  // prints the text of the PDF named by $PDF
};

const Reader kReaders[] = {
    {"poppler", "pdftotext \"$PDF\" -"},
    {"MuPDF", "mutool draw -F txt -o - \"$PDF\""},
    {"Ghostscript", "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=txtwrite -sOutputFile=- \"$PDF\""},
};

std::string textOf(const Reader& reader, const std::string& pdf, const ScratchFolder& scratch)
{
    const CommandResult result =
        testing::runShell("PDF=" + shellQuoted(pdf) + "; " + reader.command, scratch.path().string());
    EXPECT_EQ(result.exitCode, 0) << reader.name << ": " << result.err;
    return result.out;
}

class SearchablePdf : public ::testing::TestWithParam<bool> {};

TEST_P(SearchablePdf, EveryReaderFindsEachLineInOrderBeforeAndAfterAGhostscriptRewrite)
{
    const std::string reason = skipReason({"/usr/bin/convert", "pdftotext", "mutool", "gs"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    ScratchFolder scratch;
    const std::string pdf = searchablePdf(scratch, GetParam());
    const std::string rewritten = scratch.file("rewritten.pdf");
    ASSERT_EQ(testing::runShell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=" +
                                    shellQuoted(rewritten) + " " + shellQuoted(pdf),
                                scratch.path().string())
                  .exitCode,
              0);
    for (const std::string& file : {pdf, rewritten}) {
        for (const Reader& reader : kReaders) {
            SCOPED_TRACE(std::string(reader.name) + " reading " + fs::path(file).filename().string());
            const std::string text = textOf(reader, file, scratch);
            EXPECT_EQ(linesBroken(text), std::vector<std::string>()) << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, SearchablePdf, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& row) { return row.param ? "Standard" : "Fine"; });

// pdfjs-dist as scripts/install-deps.sh --test installs it: empty when it
// is not there (no node of version 20.19 or later to run it).
std::string pdfjsDist()
{
    const fs::path dist = fs::path(PAGELIFT_SOURCE_DIR) / "build" / "pdfjs" / "node_modules" / "pdfjs-dist";
    return fs::exists(dist / "legacy" / "build" / "pdf.mjs") ? dist.string() : "";
}

TEST(SearchablePdfInPdfJs, FindsEachLineInOrder)
{
    const std::string reason = skipReason({"/usr/bin/convert", "node"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    if (pdfjsDist().empty()) {
        GTEST_SKIP() << "needs pdfjs-dist under build/pdfjs (scripts/install-deps.sh --test installs it where node "
                        "20.19 or later is present)";
    }
    ScratchFolder scratch;
    const std::string pdf = searchablePdf(scratch, false);
    const std::string script = (fs::path(PAGELIFT_SOURCE_DIR) / "tests" / "support" / "pdfjs_text.mjs").string();
    const CommandResult result = testing::runShell(
        "node " + shellQuoted(script) + " " + shellQuoted(pdfjsDist()) + " " + shellQuoted(pdf), scratch.path().string());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(linesBroken(result.out), std::vector<std::string>()) << result.out;
    EXPECT_EQ(result.err, "");
}

// What a reader says on standard error besides MuPDF's note that it was
// built without colour management, which it gives for every file.
std::string warningsOf(const std::string& err)
{
    std::string warnings;
    std::stringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("ICC support is not available") == std::string::npos && line.rfind("page ", 0) != 0) {
            warnings += line + "\n";
        }
    }
    return warnings;
}

TEST(SearchablePdfFile, EmbedsAWholeTrueTypeFontOfTheStatedWidthsThatNoReaderWarnsOf)
{
    const std::string reason = skipReason({"/usr/bin/convert", "pdffonts", "qpdf", "mutool", "/usr/bin/python3"});
    if (!reason.empty()) GTEST_SKIP() << reason;
    if (!testing::runQuietly("/usr/bin/python3 -c 'import fontTools'")) {
        GTEST_SKIP() << "needs python3-fonttools (scripts/install-deps.sh --test)";
    }
    ScratchFolder scratch;
    const std::string pdf = searchablePdf(scratch, false);
    const auto run = [&](const std::string& command) { return testing::runShell(command, scratch.path().string()); };

    const CommandResult fonts = run("pdffonts " + shellQuoted(pdf));
    EXPECT_TRUE(std::regex_search(fonts.out, std::regex(R"(\nGlyphLessFont +CID TrueType +Identity-H +yes )")))
        << fonts.out;
    const CommandResult check = run("qpdf --check " + shellQuoted(pdf));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    const CommandResult drawn = run("mutool draw -F txt -o /dev/null " + shellQuoted(pdf));
    EXPECT_EQ(drawn.exitCode, 0);
    EXPECT_EQ(warningsOf(drawn.err), "");

    // The widths the file states, as qpdf reads its objects.
    const CommandResult objects = run("qpdf --qdf --object-streams=disable " + shellQuoted(pdf) + " -");
    std::smatch width;
    ASSERT_TRUE(std::regex_search(objects.out, width, std::regex(R"(/DW (\d+))"))) << "no default width";
    // The embedded font as MuPDF takes it out, read by fontTools with every
    // checksum checked: its glyphs' advances are those widths.
    ASSERT_EQ(run("cd " + shellQuoted(scratch.path().string()) + " && mutool extract " + shellQuoted(pdf)).exitCode, 0);
    std::string font;
    for (const auto& entry : fs::directory_iterator(scratch.path())) {
        if (entry.path().extension() == ".ttf") font = entry.path().string();
    }
    ASSERT_FALSE(font.empty()) << "no TrueType font taken out";
    const CommandResult read = run(
        "/usr/bin/python3 -c 'import sys; from fontTools.ttLib import TTFont\n"
        "font = TTFont(sys.argv[1], checkChecksums=2)\n"
        "for tag in font.keys(): font[tag]\n"
        "em = font[\"head\"].unitsPerEm\n"
        "print(sorted({round(advance * 1000 / em) for advance, _ in font[\"hmtx\"].metrics.values()}))\n"
        "print(sum(font[\"glyf\"][name].numberOfContours for name in font.getGlyphOrder()))' " +
        shellQuoted(font));
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, "[" + width[1].str() + "]\n0\n") << "advances in thousandths of an em, then contours";
}

// Lines that do not match the words (past them, overlapping, empty, with
// baselines of no sense) still leave every word placed once, in order, at
// a size that can be drawn: the lines are then taken from the words. A line
// is laid level unless it slants by a good part of its height.
TEST(TextLayer, PlacesEveryWordOnceInOrderWhateverItsLinesSay)
{
    const std::vector<PageWord> words = {{"alpha", 10, 10, 60, 30, true},  {"beta", 70, 12, 110, 30, false},
                                         {"gamma", 10, 50, 70, 75, true},  {"delta", 80, 50, 130, 70, false},
                                         {"inside-out", 50, 50, 40, 40, false}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<PageLine> lines;
        bool level = true;  // every word laid on a level baseline
    };
    const Case cases[] = {
        {"the lines the words have, slanting by a pixel", {{0, 2, 10, 30, 110, 31}, {2, 3, 10, 70, 130, 70}}},
        {"none", {}},
        {"one more, past the words", {{0, 2, 10, 30, 110, 30}, {2, 3, 10, 70, 130, 70}, {5, 4, 0, 0, 0, 0}}},
        {"an empty one at the end", {{0, 2, 10, 30, 110, 30}, {2, 3, 10, 70, 130, 70}, {5, 0, 0, 0, 0, 0}}},
        {"overlapping", {{0, 3, 10, 30, 110, 30}, {2, 3, 10, 70, 130, 70}}},
        {"baselines of no sense", {{0, 2, nan, 30, 110, 30}, {2, 3, 1e300, -1e300, 130, 5e200}}},
        {"a baseline above the ink", {{0, 2, 10, 0, 110, 0}, {2, 3, 10, 70, 130, 70}}},
        {"a baseline right to left", {{0, 2, 110, 30, 10, 30}, {2, 3, 10, 70, 130, 70}}},
        {"slanting by a line's height", {{0, 2, 10, 25, 110, 45}, {2, 3, 10, 70, 130, 70}}, false},
    };
    const PdfTextCodes codes({&words});
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string text = invisibleTextOfPage({&words, &test.lines, 200, 100, 72, 36}, codes, "/F1");
        size_t at = 0;
        for (size_t index = 0; index + 1 < words.size(); ++index) {
            size_t characters = 0;
            std::string hex = codes.hexOf(words[index].text, characters);
            hex.insert(hex.begin(), '<');
            hex.push_back('>');
            const size_t found = text.find(hex, at);
            ASSERT_NE(found, std::string::npos) << words[index].text << " after " << at << " in\n" << text;
            EXPECT_EQ(text.find(hex, found + 1), std::string::npos) << words[index].text << " twice";
            at = found;
        }
        // Four words are placed, each with its own origin; the inside-out one is not.
        const std::regex origin(R"(([-0-9.]+) ([-0-9.]+) [-0-9.]+ [-0-9.]+ [-0-9.]+ [-0-9.]+ Tm )");
        int origins = 0;
        bool level = true;
        for (std::sregex_iterator match(text.begin(), text.end(), origin), end; match != end; ++match) {
            ++origins;
            level = level && (*match)[2] == "0";
        }
        EXPECT_EQ(origins, 4);
        EXPECT_EQ(level, test.level);
        const std::regex size(R"(/F1 ([-0-9.]+) Tf)");
        for (std::sregex_iterator match(text.begin(), text.end(), size), end; match != end; ++match) {
            const double points = std::stod((*match)[1]);
            EXPECT_TRUE(points > 0.5 && points < 36) << points;
        }
    }
}

}  // namespace
}  // namespace pagelift::faxtest

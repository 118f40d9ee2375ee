// What the output stage makes of recognised text, with a stand-in
// recognizer that answers as it is told, so that these run in builds
// without Tesseract: the text file beside pages of a file each, pages
// written turned upright, PDF pages carrying their words (poppler reads
// them back), and the report's words for turned pages and failed
// recognition. And that the programs themselves link none of recognition's
// libraries.

#include "batch/single_file.h"
#include "ocr/text_recognizer.h"
#include "raster/page_turn.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace pagelift::faxtest {
namespace {

namespace fs = std::filesystem;
using testing::shellQuoted;

// What the stand-in answers for one page.
struct Answer {
    bool fails = false;
    int turn = 0;      // clockwise, as a recognizer would find it
    std::string word;  // one word, over the middle of the page
};

// Answers the pages in the order they are asked for.
class StandInRecognizer final : public TextRecognizer {
public:
    explicit StandInRecognizer(std::vector<Answer> answers) : answers_(std::move(answers)) {}

    std::string languagesProblem(const std::string&) override { return {}; }

    PageRecognition recognise(const PageBitmap& page, const std::string&, int) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const Answer answer = asked_ < answers_.size() ? answers_[asked_] : Answer{true, 0, ""};
        ++asked_;
        PageRecognition recognition;
        if (answer.fails) return recognition;
        recognition.recognised = true;
        recognition.turnedDegrees = answer.turn;
        if (answer.turn != 0) recognition.turned = turnedPage(page, answer.turn);
        const PageBitmap& upright = answer.turn != 0 ? recognition.turned : page;
        PageWord word{answer.word, upright.width / 4, upright.rows / 3, upright.width / 2, upright.rows / 3 + 40, true};
        recognition.text.text = answer.word + "\n";
        recognition.text.words.push_back(word);
        recognition.text.lines.push_back({0, 1, double(word.left), double(word.bottom), double(word.right),
                                          double(word.bottom)});
        return recognition;
    }

private:
    std::mutex mutex_;
    std::vector<Answer> answers_;
    size_t asked_ = 0;
};

GrayImage turnedHalfway(GrayImage image)
{
    std::reverse(image.pixels.begin(), image.pixels.end());
    return image;
}

struct OutputCase {
    const char* name;
    const char* format;
    const char* fax;  // in samples/
    std::vector<Answer> answers;
    std::vector<std::string> reportLines;
    std::string text;  // of the text file beside pages of a file each; of the PDF as pdftotext reads it
};

TEST(RecognisedOutputs, TextFilesTurnedPagesPdfWordsAndReportLines)
{
    if (!toolsAvailable({"/usr/bin/convert", "/usr/bin/pngtopnm", "/usr/bin/pdftotext"})) {
        GTEST_SKIP() << "needs ImageMagick, netpbm and poppler-utils (scripts/install-deps.sh --test)";
    }
    const std::vector<OutputCase> cases = {
        {"second page upside down", "png", "letter-g3.tif", {{false, 0, "alpha"}, {false, 180, "beta"}},
         {"page 001 --> OUT/fax001.png : Success !", "page 002 --> OUT/fax002.png : Success ! (turned 180 degrees)"},
         "alpha\n\fbeta\n"},
        {"one page, nothing found", "jpg", "memo-g4.tif", {{true, 0, ""}},
         {"OUT/fax.jpg : Success ! (no text: recognition failed)"}, ""},
        {"PDF words, second page failed", "pdf", "letter-g3.tif", {{false, 0, "gamma"}, {true, 0, ""}},
         {"OUT/fax.pdf : Success !", "page 002 : no text: recognition failed"}, "gamma"},
    };
    const std::string samples = std::string(PAGELIFT_SOURCE_DIR) + "/samples/";
    for (const OutputCase& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchFolder scratch;
        const std::string out = scratch.file("out");
        fs::create_directories(out);
        ConversionOptions options;
        options.outputFormat = outputFormatNamed(test.format);
        options.ocrLanguages = kDefaultOcrLanguages;
        StandInRecognizer recognizer(test.answers);
        FileContext context;
        context.recognizer = &recognizer;
        const std::string destination = out + "/fax." + test.format;
        const FileConversion conversion = convertFile(options, samples + test.fax, destination, context);
        EXPECT_EQ(conversion.result, ConvertDone) << conversion.report;
        for (std::string line : test.reportLines) {
            if (const size_t at = line.find("OUT"); at != std::string::npos) line.replace(at, 3, out);
            EXPECT_NE(conversion.report.find(line + "\r\n"), std::string::npos) << line << "\n" << conversion.report;
        }
        if (std::string(test.format) == "pdf") {
            const CommandResult text = runShell("pdftotext " + shellQuoted(destination) + " -", scratch.path().string());
            EXPECT_NE(text.out.find(test.text), std::string::npos) << text.out;
            continue;
        }
        EXPECT_EQ(readText(out + "/fax.txt"), test.text);
        // A page turned upright is the received page turned, as ImageMagick reads both.
        for (size_t page = 0; page < test.answers.size(); ++page) {
            if (test.answers[page].turn != 180) continue;
            const std::optional<GrayImage> received = referencePage(samples + test.fax, int(page), scratch.file("a.pgm"));
            const std::string written = out + "/fax00" + std::to_string(page + 1) + "." + test.format;
            const std::optional<GrayImage> upright = referencePage(written, 0, scratch.file("b.pgm"));
            ASSERT_TRUE(received && upright);
            const int factor = upright->height / received->height;  // rows repeated for square pixels
            EXPECT_EQ(firstDifference(scaledForJpeg(turnedHalfway(*received), factor, upright->width), *upright), "");
        }
    }
}

// The programs load recognition's libraries only with the OCR module: none
// of them, nor the network and TLS stacks they bring, is linked. The window
// is held to what Qt's own libraries bring (Debian's Qt 6 Core pulls in
// OpenMP through libb2).
TEST(OcrModule, ProgramsLinkNoRecognitionLibraries)
{
    if (!toolsAvailable({"/usr/bin/readelf", "/usr/bin/ldd"})) GTEST_SKIP() << "needs readelf and ldd (binutils, libc-bin)";
    const std::vector<std::string> forbidden = {"libtesseract", "liblept", "libgomp", "libcurl", "libgnutls", "libkrb5"};
    const auto namedIn = [&](const std::string& listing) {
        std::vector<std::string> named;
        for (const std::string& library : forbidden) {
            if (listing.find(library) != std::string::npos) named.push_back(library);
        }
        return named;
    };
    std::vector<std::string> programs = {PLIFTCMD_PATH};
#ifdef PAGELIFT_WINDOW_PROGRAM_PATH
    programs.push_back(PAGELIFT_WINDOW_PROGRAM_PATH);
#endif
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        ScratchFolder scratch;
        const CommandResult direct = runShell("readelf -d " + shellQuoted(program), scratch.path().string());
        ASSERT_EQ(direct.exitCode, 0) << direct.err;
        EXPECT_NE(direct.out.find("(NEEDED)"), std::string::npos);
        EXPECT_EQ(namedIn(direct.out), std::vector<std::string>{});
        const CommandResult loaded = runShell("ldd " + shellQuoted(program), scratch.path().string());
        ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
        std::vector<std::string> allowed;
        const size_t qt = loaded.out.find("libQt6Core.so");
        if (qt != std::string::npos) {
            const size_t start = loaded.out.find("=> ", qt) + 3;
            const std::string core = loaded.out.substr(start, loaded.out.find(' ', start) - start);
            allowed = namedIn(runShell("ldd " + shellQuoted(core), scratch.path().string()).out);
        }
        EXPECT_EQ(namedIn(loaded.out), allowed) << loaded.out;
    }
}

}  // namespace
}  // namespace pagelift::faxtest

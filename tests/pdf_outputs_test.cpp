// PDF per fax, held against poppler, MuPDF and qpdf: the images taken out
// of each PDF are the decoded pages, the pages have their true size and are
// drawn black on white, the file passes qpdf's check, and the document
// information carries the fax's own date, name and description.

#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "output/fax_facts.h"
#include "support/blank_faxes.h"
#include "support/corpus_folder.h"
#include "support/fax_fixtures.h"
#include "support/raw_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(PAGELIFT_SOURCE_DIR) / "samples";

const std::initializer_list<std::string> kPdfTools = {"qpdf", "pdfimages", "pdfinfo", "pdftoppm", "mutool"};

// What a tool printed on standard output; fails the test when it fails.
std::string toolOutput(const std::string& command, const ScratchFolder& scratch)
{
    const CommandResult result = runShell(command, scratch.path().string());
    EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.err;
    return result.out;
}

// Converts one fax to a PDF with pliftcmd, or with the command `first`
// (pliftcmd with an environment and options); the report.
std::string convertToPdf(const std::string& fax, const std::string& pdf, const ScratchFolder& scratch,
                         const std::string& first = "")
{
    const CommandResult result = runShell((first.empty() ? PLIFTCMD_PATH : first) + " " + shellQuoted("/f=" + fax) + " " +
                                              shellQuoted("/sf=" + pdf),
                                          scratch.path().string());
    return result.out;
}

// Page sizes in points, as pdfinfo reads them.
std::vector<std::pair<double, double>> pageSizes(const std::string& pdf, const ScratchFolder& scratch)
{
    const std::string info = toolOutput("pdfinfo -f 1 -l 9999 " + shellQuoted(pdf), scratch);
    const std::regex line(R"(Page +\d+ size: +([0-9.]+) x ([0-9.]+) pts)");
    std::vector<std::pair<double, double>> sizes;
    for (std::sregex_iterator match(info.begin(), info.end(), line), end; match != end; ++match) {
        sizes.emplace_back(std::stod((*match)[1]), std::stod((*match)[2]));
    }
    return sizes;
}

// The fields of pdfinfo's report ("Title", "CreationDate", ...), dates as
// the file writes them.
std::map<std::string, std::string> documentInformation(const std::string& pdf, const ScratchFolder& scratch)
{
    const std::string info = toolOutput("pdfinfo -rawdates " + shellQuoted(pdf), scratch);
    std::map<std::string, std::string> fields;
    const std::regex line(R"(([A-Za-z ]+): +(.*))");
    for (std::sregex_iterator match(info.begin(), info.end(), line), end; match != end; ++match) {
        fields[(*match)[1]] = (*match)[2];
    }
    return fields;
}

// Files of a folder whose names start with `prefix`, in name order.
std::vector<fs::path> filesStartingWith(const fs::path& folder, const std::string& prefix)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// How dark each cell of a grid of cells x cells over an image is, from 0
// white to 1 black: enough to tell a page drawn upright, unsquashed and
// black on white from one that is not, whatever the renderer's scaling and
// smoothing.
std::vector<double> darkShares(int width, int height, const std::function<double(int, int)>& dark, int cells)
{
    std::vector<double> shares(size_t(cells * cells), 0);
    std::vector<double> counts(shares.size(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t cell = size_t(y * cells / height * cells + x * cells / width);
            shares[cell] += dark(x, y);
            counts[cell] += 1;
        }
    }
    for (size_t cell = 0; cell < shares.size(); ++cell) shares[cell] /= std::max(counts[cell], 1.0);
    return shares;
}

void expectDrawnLike(const Picture& page, const imagetest::GrayImage& drawn, const std::string& renderer)
{
    SCOPED_TRACE(renderer);
    constexpr int kCells = 6;
    const std::vector<double> expected =
        darkShares(page.width, page.height, [&](int x, int y) { return double(page.at(x, y)); }, kCells);
    const std::vector<double> actual = darkShares(
        drawn.width, drawn.height, [&](int x, int y) { return 1 - drawn.pixels[size_t(y * drawn.width + x)] / 255.0; },
        kCells);
    for (size_t cell = 0; cell < expected.size(); ++cell) {
        EXPECT_NEAR(actual[cell], expected[cell], 0.08) << "cell " << cell;
    }
}

// Converts each fax and holds the PDF against the fax's pages as the
// conversion decodes them.
void expectFaithfulPdfs(const std::vector<fs::path>& faxes)
{
    const ScratchFolder scratch;
    for (const fs::path& fax : faxes) {
        SCOPED_TRACE(fax.filename().string());
        const std::string pdf = scratch.file("fax.pdf");
        fs::remove(pdf);
        EXPECT_NE(convertToPdf(fax.string(), pdf, scratch).find(" : Success !"), std::string::npos);
        ASSERT_TRUE(fs::exists(pdf));
        EXPECT_EQ(runTool({"/usr/bin/qpdf", "--check", pdf}), 0) << "qpdf finds faults";

        const std::vector<PageBitmap> pages =
            identifyFormat(fax.string()) == RawFax ? readRawPages(scratch, readBytes(fax.string()), rawSettings(scratch))
                                                   : faxtest::readDocumentPages(fax.string());
        const std::vector<std::pair<double, double>> sizes = pageSizes(pdf, scratch);
        ASSERT_EQ(sizes.size(), pages.size());
        fs::create_directories(scratch / "images");
        toolOutput("pdfimages " + shellQuoted(pdf) + " " + shellQuoted(scratch.file("images/page")), scratch);
        const std::vector<fs::path> images = filesStartingWith(scratch / "images", "page");
        ASSERT_EQ(images.size(), pages.size());
        for (size_t index = 0; index < pages.size(); ++index) {
            SCOPED_TRACE("page " + std::to_string(index + 1));
            const Picture page = pictureOf(pages[index]);
            EXPECT_EQ(compareFirstDifference(page, readPbm(images[index])), "") << "pdfimages";
            const double xDpi = pages[index].xResolution;
            const double yDpi = pages[index].yResolution;
            EXPECT_NEAR(sizes[index].first, page.width * 72 / xDpi, 0.01);
            EXPECT_NEAR(sizes[index].second, page.height * 72 / yDpi, 0.01);

            const std::string number = std::to_string(index + 1);
            // Drawn 300 pixels wide, whatever the page's size.
            toolOutput("pdftoppm -gray -scale-to-x 300 -scale-to-y -1 -singlefile -f " + number + " -l " + number + " " +
                           shellQuoted(pdf) + " " + shellQuoted(scratch.file("poppler")),
                       scratch);
            toolOutput("mutool draw -q -w 300 -c gray -o " + shellQuoted(scratch.file("mupdf.pgm")) + " " +
                           shellQuoted(pdf) + " " + number,
                       scratch);
            for (const char* drawn : {"poppler.pgm", "mupdf.pgm"}) {
                const std::optional<imagetest::GrayImage> image = imagetest::readPgm(scratch.file(drawn));
                ASSERT_TRUE(image.has_value()) << drawn;
                expectDrawnLike(page, *image, drawn);
            }
        }
        fs::remove_all(scratch / "images");
    }
}

TEST(PdfOutputs, SamplePagesComeOutExactAtTheirTrueSizeBlackOnWhite)
{
    const std::string missing = missingTool(kPdfTools);
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    std::vector<fs::path> faxes;
    for (const char* name : {"letter-g3.tif", "memo-g4.tif", "notice-packbits.tif", "receipt-plain.tif", "call.g3"}) {
        faxes.push_back(kSamples / name);
    }
    expectFaithfulPdfs(faxes);

    // A standard-resolution page keeps the size it was sent at.
    const ScratchFolder scratch;
    convertToPdf((kSamples / "letter-g3.tif").string(), scratch.file("letter.pdf"), scratch);
    const std::vector<std::pair<double, double>> sizes = pageSizes(scratch.file("letter.pdf"), scratch);
    ASSERT_FALSE(sizes.empty());
    EXPECT_NEAR(sizes[0].first / 72, 8.47, 0.005);
    EXPECT_NEAR(sizes[0].second / 72, 11.22, 0.005);
}

TEST(PdfOutputs, CorpusPagesComeOutExactAtTheirTrueSizeBlackOnWhite)
{
    const fs::path corpus = corpusFolder();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "the sample corpus " << corpus << " is absent";
    const std::string missing = missingTool(kPdfTools);
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    std::vector<fs::path> faxes;
    for (const char* name : {"fax2d.tif", "g3test.g3", "g4-fillorder-test.tif", "g4-multi.tiff", "hopper_g4.tif"}) {
        faxes.push_back(corpus / name);
    }
    expectFaithfulPdfs(faxes);
}

// The PDF's dates, title and subject come from the fax, its date from the
// file's time where the fax states none; /l gives it the fax's times.
TEST(PdfOutputs, DocumentInformationCarriesTheFaxsDateNameAndDescription)
{
    const std::string missing = missingTool({"pdfinfo"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    const auto blankFax = [](const std::string& dateTime, const std::string& description) {
        std::vector<uint8_t> strip = {0x80, 0x10, 0x01};  // one white row and EOFB
        return group4Tiff({{{8, 1}, strip, dateTime, description}});
    };
    // 2021-06-01 10:00:00 UTC, noon in Berlin.
    const auto fileTime = fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1622541600}});
    struct Case {
        const char* file;
        std::vector<uint8_t> fax;
        const char* date;        // as the PDF writes it
        const char* subject;     // as pdfinfo prints it: UTF-8
    };
    const Case cases[] = {
        {"dated.tif", blankFax("2024:03:05 14:07:09", "ACME Corp +1 555 0100"), "D:20240305140709",
         "ACME Corp +1 555 0100"},
        {"undated (1).tif", blankFax("", "M\xc3\xbcller \\ (Fax)"), "D:20210601120000+02'00'", "M\xc3\xbcller \\ (Fax)"},
        {"Latin-1.tif", blankFax("0000:00:00 00:00:00", "M\xfcller"), "D:20210601120000+02'00'", "M\xc3\xbcller"},
        {"spandsp.tif", blankFax("2024/02/29 23:59:59", "+49 30 1234567"), "D:20240229235959", "+49 30 1234567"},
        {"no such day.tif", blankFax("2023:02:29 10:00:00", ""), "D:20210601120000+02'00'", ""},
        {"mixed separators.tif", blankFax("2024:03/05 14:07:09", ""), "D:20210601120000+02'00'", ""},
        {"no texts.g4.tif", blankFax("", ""), "D:20210601120000+02'00'", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string fax = scratch.file(c.file);
        writeBytes(fax, c.fax);
        fs::last_write_time(fax, fileTime);
        const std::string pdf = scratch.file("out.pdf");
        EXPECT_NE(convertToPdf(fax, pdf, scratch, "TZ=Europe/Berlin " PLIFTCMD_PATH " /l").find(" : Success !"),
                  std::string::npos);
        std::map<std::string, std::string> info = documentInformation(pdf, scratch);
        const std::string name = c.file;
        EXPECT_EQ(info["Title"], name.substr(0, name.rfind('.')));
        EXPECT_EQ(info["CreationDate"], c.date);
        EXPECT_EQ(info["ModDate"], c.date);
        EXPECT_EQ(info["Subject"], c.subject);
        EXPECT_EQ(info["Producer"], "Zoziv Pagelift " PAGELIFT_VERSION);
        EXPECT_EQ(fs::last_write_time(pdf), fileTime) << "/l gives the PDF the fax's times";
    }
}

// What fax servers write into the TIFF files they receive (tags set with
// tiffset, as HylaFAX and spandsp set them) reaches the fax's facts and the
// PDF's information, and /meta= gives facts over them, taken exactly as
// given; a fact the run cannot take stops it before anything is written.
TEST(PdfOutputs, FaxServersTagsAndGivenFactsReachTheFactsAndTheDocumentInformation)
{
    const std::string missing = missingTool({"pdfinfo", "tiffset"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> tags;  // set with tiffset
        std::vector<std::string> given;                  // /meta= values
        int exitCode;
        // The facts, then the PDF's Author, Keywords and CreationDate (or
        // the words on standard error for a refused run).
        std::string sender, caller, callerName, subAddress, machine, author, keywords, date;
    };
    const std::string hylafax = "+49 30 1234567\n4930123456\nACME GmbH";
    const Case cases[] = {
        {"HylaFAX", {{270, hylafax}, {306, "2026:12:01 09:15:00"}, {34909, "77"}}, {}, 0,
         "+49 30 1234567", "4930123456", "ACME GmbH", "77", "", "+49 30 1234567", "4930123456", "D:20261201091500"},
        {"spandsp", {{270, " SPANDSP TSI "}, {271, "Asterisk"}, {272, "T.38 gateway"}, {306, "2026/12/01 09:15:00"}},
         {}, 0, "SPANDSP TSI", "", "", "", "Asterisk T.38 gateway", "SPANDSP TSI", "", "D:20261201091500"},
        {"given over the tags", {{270, hylafax}, {306, "2026:12:01 09:15:00"}},
         {"sender=\" /hook=x \"", "called=4930999", "received=2025/01/02 03:04:05"}, 0, "+49 30 1234567",
         "4930123456", "ACME GmbH", "", "", "\" /hook=x \"", "4930123456, 4930999", "D:20250102030405"},
        {"no such fact", {}, {"colour=red"}, 2, "", "", "", "", "", "\"colour\" is no fact of a fax", "", ""},
        {"no date", {}, {"received=yesterday"}, 2, "", "", "", "", "", "received takes a date and time", "", ""},
        {"no value", {}, {"sender"}, 2, "", "", "", "", "", "/meta=sender: it takes NAME=VALUE", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fax = scratch.file("fax.tif");
        writeBytes(fax, group4Tiff({{{8, 1}, {0x80, 0x10, 0x01}, "", ""}}));
        for (const auto& [tag, value] : c.tags) {
            ASSERT_EQ(runShell("tiffset -s " + std::to_string(tag) + " " + shellQuoted(value) + " " + shellQuoted(fax),
                               scratch.path().string())
                          .exitCode,
                      0);
        }
        if (c.exitCode == 0) {
            FaxDocument document;
            ASSERT_GE(document.open(fax, Tiff), 0);
            const FaxTexts& texts = document.texts();
            const FaxFacts facts =
                faxFactsOfContainer(texts.description, texts.dateTime, texts.make, texts.model, texts.subAddress);
            EXPECT_EQ(std::vector<std::string>({facts.sender, facts.caller, facts.callerName, facts.subAddress,
                                                facts.machine}),
                      std::vector<std::string>({c.sender, c.caller, c.callerName, c.subAddress, c.machine}));
        }
        const std::string pdf = scratch.file("fax.pdf");
        std::vector<std::string> arguments = {"/f=" + fax, "/sf=" + pdf};
        for (const std::string& given : c.given) arguments.push_back("/meta=" + given);
        const CommandResult run = faxtest::runPliftcmd(arguments, scratch.path().string());
        ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.exitCode != 0) {
            EXPECT_NE(run.err.find(c.author), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(pdf));
            continue;
        }
        std::map<std::string, std::string> info = documentInformation(pdf, scratch);
        EXPECT_EQ(info["Author"], c.author);
        EXPECT_EQ(info["Keywords"], c.keywords);
        EXPECT_EQ(info["CreationDate"], c.date);
        fs::remove(pdf);
    }
}

// A page that cannot be converted is left out with its own line, and a fax
// none of whose pages converts writes no PDF and is reported as a JPEG run
// reports it; either way the fax stays in the queue.
TEST(PdfOutputs, PagesLeftOutAreReportedAndTheFaxStaysQueued)
{
    const std::string missing = missingTool({"pdfinfo"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing << " (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    fs::create_directories(scratch / "in");
    fs::create_directories(scratch / "done");
    writeBytes(scratch.file("in/odd.tif"), blankGroup4Tiff({{1728, 100}, {32000, 32000}, {864, 40}}));
    writeBytes(scratch.file("in/huge.tif"), blankGroup4Tiff({{32000, 32000}}));
    fs::copy_file(kSamples / "memo-g4.tif", scratch / "in" / "memo.tif");
    const auto run = [&](const std::string& format) {
        return faxtest::runPliftcmd({"/to=" + format, "/d=" + scratch.file("in"), "/sd=" + scratch.file(format),
                                     "/bd=" + scratch.file("done")},
                                    scratch.path().string());
    };
    const CommandResult pdf = run("pdf");
    const std::string in = scratch.file("in");
    const std::string out = scratch.file("pdf");
    EXPECT_NE(pdf.out.find(in + "/odd.tif --> " + out + "/odd.pdf : Success !\n        page 002 : Failed : page too large: "
                                                        "32000 x 32000\n"),
              std::string::npos)
        << pdf.out;
    EXPECT_EQ(documentInformation(out + "/odd.pdf", scratch)["Pages"], "2");
    EXPECT_FALSE(fs::exists(out + "/huge.pdf"));
    EXPECT_TRUE(fs::exists(in + "/odd.tif"));
    EXPECT_TRUE(fs::exists(in + "/huge.tif"));
    EXPECT_TRUE(fs::exists(scratch / "done" / "memo.tif"));

    const CommandResult jpeg = run("jpg");
    const auto lineOf = [](const std::string& report, const std::string& start) {
        const size_t at = report.find(start);
        return at == std::string::npos ? std::string() : report.substr(at, report.find('\n', at) - at);
    };
    const std::string jpegLine = lineOf(jpeg.out, in + "/huge.tif --> ");
    ASSERT_FALSE(jpegLine.empty()) << jpeg.out;
    const std::string pdfLine = lineOf(pdf.out, in + "/huge.tif --> ");
    std::string expected = jpegLine;
    const std::string jpegName = scratch.file("jpg") + "/huge.jpg";
    expected.replace(expected.find(jpegName), jpegName.size(), out + "/huge.pdf");
    EXPECT_EQ(pdfLine, expected);
}

}  // namespace
}  // namespace pagelift::testing

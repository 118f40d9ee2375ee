#include "output/output_format.h"

#include "ccitt/mmr_encoder.h"
#include "imageout/jpeg_writer.h"
#include "imageout/pdf_writer.h"
#include "imageout/png_writer.h"
#include "platform/files.h"
#include "platform/partial_file.h"
#include "platform/plain_text.h"
#include "raster/page_size.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace pagelift {
namespace {

WriteResult writeJpeg(const PageBitmap& page, const std::string& path, const OutputSettings& settings)
{
    return writeJpegPage(page, path, settings.quality, settings.optimize);
}

WriteResult writePng(const PageBitmap& page, const std::string& path, const OutputSettings&)
{
    return writePngPage(page, path);
}

// A page of a PDF: its own rows, Group 4 coded. Its pixels must hold its
// rows, as for every format.
WriteResult encodePdfPage(const PageBitmap& page, const OutputSettings&, EncodedPage& encoded)
{
    const int64_t rowBytes = (int64_t{page.width} + 7) / 8;
    if (page.width < 1 || page.rows < 1 || page.bytesPerRow < rowBytes ||
        int64_t(page.pixels.size()) < int64_t{page.rows} * page.bytesPerRow) {
        return failureOfWords(WriteFailure::NothingToEncode, {}, "the page holds no image");
    }
    encoded.data = encodeMmrPage(page.pixels.data(), page.width, page.rows, page.bytesPerRow);
    encoded.width = page.width;
    encoded.rows = page.rows;
    encoded.xResolution = page.xResolution;
    encoded.yResolution = page.yResolution;
    encoded.resolutionUnit = page.resolutionUnit;
    return {};
}

WriteResult writePdf(const std::vector<const EncodedPage*>& pages, const DocumentFacts& facts, const std::string& path)
{
    std::vector<PdfPage> pdfPages;
    for (const EncodedPage* page : pages) {
        pdfPages.push_back({&page->data, page->width, page->rows, page->xResolution, page->yResolution,
                            page->resolutionUnit, &page->words, &page->lines});
    }
    PdfInfo info;
    info.title = facts.title.empty() ? faxSourceName(facts.source) : facts.title;
    info.subject = facts.description;
    info.author = facts.fax.sender;
    info.keywords = facts.fax.caller;
    if (!facts.fax.called.empty()) info.keywords += (info.keywords.empty() ? "" : ", ") + facts.fax.called;
    info.producer = "Zoziv Pagelift " PAGELIFT_VERSION;
    // The fax's own date where its container states one (or the run was
    // told it), else the day its file was last written.
    if (facts.fax.received) {
        info.date = pdfDateOf(*facts.fax.received);
    } else if (const std::optional<FileStamp> stamp = fileStamp(facts.source)) {
        info.date = pdfDateOfTime(stamp->modifiedNs / 1000000000);
    }
    return writePdfDocument(pdfPages, info, path);
}

// The outcome of a page whose writer (or encoder) gave `written`.
PageResult resultOfWriting(WriteResult written)
{
    PageResult result(written.written()                                        ? PageOutcome::Converted
                      : written.failure == WriteFailure::NothingToEncode ? PageOutcome::NotPrepared
                                                                         : PageOutcome::NotWritten);
    result.written = std::move(written);
    return result;
}

// Converts a page with `convert` (which writes or encodes it): refused
// beyond the size limits and without a pixel, with text recognition asked
// for found first, and then given the page turned upright; a failure raised
// inside is Failed.
template <typename Convert>
PageResult convertPage(const PageBitmap& page, const OutputSettings& settings, Convert convert)
{
    try {
        if (page.width < 1 || page.rows < 1) {
            return {PageOutcome::Empty, "empty page: " + std::to_string(page.width) + " x " + std::to_string(page.rows)};
        }
        if (!fitsOutputLimits(page)) return {PageOutcome::TooLarge, pageTooLargeText(page)};
        PageRecognition recognition;
        if (!settings.ocrLanguages.empty() && settings.recognizer != nullptr) {
            recognition = settings.recognizer->recognise(page, settings.ocrLanguages, settings.ocrThreads);
        }
        PageResult result =
            resultOfWriting(convert(recognition.turnedDegrees != 0 ? recognition.turned : page, recognition.text));
        result.textRecognised = recognition.recognised;
        result.recognitionFailure = std::move(recognition.failure);
        result.turnedDegrees = recognition.turnedDegrees;
        result.text = std::move(recognition.text.text);
        return result;
    } catch (...) {
        return {PageOutcome::Failed, {}};
    }
}

}  // namespace

std::string pageNote(const PageResult& page, const OutputSettings& settings)
{
    if (settings.ocrLanguages.empty() || page.outcome != PageOutcome::Converted) return {};
    if (!page.textRecognised) {
        return "no text: recognition failed" + (page.recognitionFailure.empty() ? "" : ", " + page.recognitionFailure);
    }
    if (page.turnedDegrees != 0) return "turned " + std::to_string(page.turnedDegrees) + " degrees";
    return {};
}

namespace {

bool endsWithNoCase(std::string_view text, std::string_view ending)
{
    return !ending.empty() && text.size() >= ending.size() && equalNoCase(text.substr(text.size() - ending.size()), ending);
}

// The table, each row checked against those before it: a row that cannot
// work ends the program at its first use, so that no run half uses it.
std::vector<OutputFormat> checkedFormats(std::vector<OutputFormat> rows)
{
    for (size_t index = 0; index < rows.size(); ++index) {
        const std::vector<OutputFormat> before(rows.begin(), rows.begin() + std::ptrdiff_t(index));
        if (const std::string fault = outputFormatFault(rows[index], before); !fault.empty()) {
            std::fprintf(stderr, "output format %s: %s\n", std::string(rows[index].name).c_str(), fault.c_str());
            std::abort();
        }
    }
    return rows;
}

}  // namespace

std::string outputFormatFault(const OutputFormat& format, const std::vector<OutputFormat>& others)
{
    if (format.name.empty() || format.extension.empty() || format.reportName.empty() || format.preparedName.empty() ||
        format.choiceLabel.empty() || format.mimeType.empty() || format.description.empty()) {
        return "a text is missing";
    }
    if (format.ownEndings[0].empty() || !endsWithNoCase(format.extension, format.ownEndings[0])) {
        return "its own files' endings do not hold its extension";
    }
    const bool perPage = format.writePage != nullptr && format.encodePage == nullptr && format.writeDocument == nullptr;
    const bool perDocument = format.writePage == nullptr && format.encodePage != nullptr && format.writeDocument != nullptr;
    if (format.layout == OutputLayout::FilePerPage ? !perPage : !perDocument) return "its writers are not its layout's";
    for (const OutputFormat& other : others) {
        if (equalNoCase(other.name, format.name)) return "its name is another format's";
        for (const std::string_view ending : format.ownEndings) {
            for (const std::string_view theirs : other.ownEndings) {
                if (endsWithNoCase(ending, theirs) || endsWithNoCase(theirs, ending)) return "its files end as another format's";
            }
        }
    }
    return {};
}

const std::vector<OutputFormat>& outputFormats()
{
    static const std::vector<OutputFormat> formats = checkedFormats({
        {"jpg", ".jpg", "JPEG", "jpeg", "JPEG per page", OutputLayout::FilePerPage, writeJpeg, nullptr, nullptr,
         "image/jpeg", "grayscale JPEG pages", {"jpg", "jpeg"}},
        {"png", ".png", "PNG", "png", "PNG per page", OutputLayout::FilePerPage, writePng, nullptr, nullptr,
         "image/png", "one-bit PNG pages", {"png", {}}},
        {"pdf", ".pdf", "PDF", "pdf", "PDF per fax", OutputLayout::FilePerDocument, nullptr, encodePdfPage, writePdf,
         "application/pdf", "one PDF per fax, its pages Group 4 coded at their true size", {"pdf", {}}},
    });
    return formats;
}

const OutputFormat& defaultOutputFormat() { return outputFormats().front(); }

const OutputFormat* outputFormatNamed(std::string_view name)
{
    for (const OutputFormat& format : outputFormats()) {
        if (equalNoCase(format.name, name)) return &format;
    }
    return nullptr;
}

const OutputFormat* outputFormatOfPath(const std::string& path)
{
    const std::string_view name = std::string_view(path).substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    for (const OutputFormat& format : outputFormats()) {
        if (name.size() > format.extension.size() &&
            equalNoCase(name.substr(name.size() - format.extension.size()), format.extension)) {
            return &format;
        }
    }
    return nullptr;
}

const OutputFormat* outputFormatOfOwnFile(std::string_view path)
{
    for (const OutputFormat& format : outputFormats()) {
        for (const std::string_view ending : format.ownEndings) {
            if (endsWithNoCase(path, ending)) return &format;
        }
    }
    return nullptr;
}

std::string outputFormatNames()
{
    const std::vector<OutputFormat>& formats = outputFormats();
    std::string names;
    for (size_t index = 0; index < formats.size(); ++index) {
        if (index > 0) names += index + 1 == formats.size() ? " or " : ", ";
        names += formats[index].name;
    }
    return names;
}

PageResult writeOutputPage(const OutputFormat& format, const PageBitmap& page, const std::string& path,
                           const OutputSettings& settings)
{
    return convertPage(page, settings, [&](const PageBitmap& upright, PageText&) {
        return format.writePage(upright, path, settings);
    });
}

PageResult encodeOutputPage(const OutputFormat& format, const PageBitmap& page, const OutputSettings& settings,
                            EncodedPage& encoded)
{
    return convertPage(page, settings, [&](const PageBitmap& upright, PageText& text) {
        WriteResult encodedPage = format.encodePage(upright, settings, encoded);
        encoded.words = std::move(text.words);
        encoded.lines = std::move(text.lines);
        return encodedPage;
    });
}

WriteResult writePagesText(const std::vector<std::string>& texts, const std::string& path)
{
    PartialFile file(path);
    if (file.file() == nullptr) return file.finish();
    for (size_t index = 0; index < texts.size(); ++index) {
        if (index > 0) std::fputc('\f', file.file());
        std::fwrite(texts[index].data(), 1, texts[index].size(), file.file());
    }
    // A write that failed is the stream's to tell.
    return file.finish();
}

}  // namespace pagelift

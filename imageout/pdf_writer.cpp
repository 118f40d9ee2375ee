#include "imageout/pdf_writer.h"

#include "imageout/glyphless_font.h"
#include "imageout/pdf_syntax.h"
#include "imageout/pdf_text_layer.h"
#include "platform/partial_file.h"

#include <cstdio>
#include <ctime>

namespace pagelift {
namespace {

// Dots per inch of a resolution field; 0 when not stated.
double dotsPerInch(double dots, uint8_t unit)
{
    if (dots <= 0) return 0;
    return unit == 3 ? dots * 2.54 : dots;
}

// Writes objects one after the other, keeping where each begins for the
// cross-reference table. A write that fails makes every later one a no-op
// and the file failed.
class PdfFile {
public:
    explicit PdfFile(std::FILE* file) : file_(file) {}

    bool failed() const { return failed_; }

    void write(std::string_view text) { write(text.data(), text.size()); }
    void write(const void* bytes, size_t size)
    {
        if (failed_ || size == 0) return;
        failed_ = std::fwrite(bytes, 1, size, file_) != size;
        offset_ += size;
    }

    // Starts object `number`; objects must be begun in number order, from 1.
    void beginObject(size_t number)
    {
        offsets_.resize(number, 0);
        offsets_[number - 1] = offset_;
        write(std::to_string(number) + " 0 obj\n");
    }
    void endObject() { write("endobj\n"); }

    void writeStreamObject(size_t number, const std::string& dictionary, const void* bytes, size_t size)
    {
        beginObject(number);
        write("<< " + dictionary + "/Length " + std::to_string(size) + " >>\nstream\n");
        write(bytes, size);
        write("\nendstream\n");
        endObject();
    }

    // The cross-reference table of every object begun, and the trailer.
    void finish(size_t root, size_t info)
    {
        const uint64_t table = offset_;
        const size_t size = offsets_.size() + 1;
        write("xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n");
        for (const uint64_t offset : offsets_) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
            write(entry);
        }
        write("trailer\n<< /Size " + std::to_string(size) + " /Root " + std::to_string(root) + " 0 R /Info " +
              std::to_string(info) + " 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n");
    }

private:
    std::FILE* file_;
    uint64_t offset_ = 0;
    std::vector<uint64_t> offsets_;  // of object n at n - 1
    bool failed_ = false;
};

// Objects: 1 the catalogue, 2 the page tree, 3 the information, then three
// per page (the page, its contents, its image), then the six of the text
// font when any page has words.
constexpr size_t kCatalogue = 1;
constexpr size_t kPageTree = 2;
constexpr size_t kInformation = 3;
constexpr size_t pageObject(size_t index) { return 4 + 3 * index; }

// The text font: a composite font of two-byte codes, whose descendant is
// the embedded glyphless TrueType font with every code used sent to its
// empty glyph, and whose ToUnicode map gives the codes' characters back.
// Widths are the font's own advance, which the text layer stretches.
void writeTextFont(PdfFile& pdf, size_t first, const PdfTextCodes& codes)
{
    const std::string name = kGlyphlessFontName;
    const std::string advance = std::to_string(kGlyphlessAdvance * 1000 / kGlyphlessUnitsPerEm);
    const auto inPdfUnits = [](int units) { return std::to_string(units * 1000 / kGlyphlessUnitsPerEm); };
    const auto reference = [first](size_t offset) { return std::to_string(first + offset) + " 0 R"; };
    pdf.beginObject(first);
    pdf.write("<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [ " +
              reference(1) + " ] /ToUnicode " + reference(3) + " >>\n");
    pdf.endObject();
    pdf.beginObject(first + 1);
    pdf.write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
              " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
              " /FontDescriptor " + reference(2) + " /DW " + advance + " /CIDToGIDMap " + reference(4) + " >>\n");
    pdf.endObject();
    pdf.beginObject(first + 2);
    // Symbolic and fixed pitch; the box is the em's advance, ascent to descent.
    pdf.write("<< /Type /FontDescriptor /FontName /" + name + " /Flags 5 /FontBBox [ 0 " +
              inPdfUnits(kGlyphlessDescent) + " " + advance + " " + inPdfUnits(kGlyphlessAscent) +
              " ] /ItalicAngle 0 /Ascent " + inPdfUnits(kGlyphlessAscent) + " /Descent " +
              inPdfUnits(kGlyphlessDescent) + " /CapHeight " + inPdfUnits(kGlyphlessAscent) + " /StemV 80 /FontFile2 " +
              reference(5) + " >>\n");
    pdf.endObject();
    const std::string map = codes.toUnicodeMap();
    pdf.writeStreamObject(first + 3, "", map.data(), map.size());
    // Two bytes a code, from code 0 to the highest: each the empty glyph.
    std::vector<uint8_t> glyphs;
    for (uint32_t code = 0; code <= codes.highestCode(); ++code) {
        glyphs.push_back(uint8_t(kGlyphlessGlyph >> 8));
        glyphs.push_back(uint8_t(kGlyphlessGlyph & 0xFF));
    }
    pdf.writeStreamObject(first + 4, "", glyphs.data(), glyphs.size());
    const std::vector<uint8_t>& program = glyphlessTrueTypeFont();
    pdf.writeStreamObject(first + 5, "/Length1 " + std::to_string(program.size()) + " ", program.data(),
                          program.size());
}

void writeDocument(PdfFile& pdf, const std::vector<PdfPage>& pages, const PdfInfo& info)
{
    // The second line's high bytes mark the file as binary for programs
    // that guess.
    pdf.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    pdf.beginObject(kCatalogue);
    pdf.write("<< /Type /Catalog /Pages " + std::to_string(kPageTree) + " 0 R >>\n");
    pdf.endObject();

    std::string kids;
    for (size_t index = 0; index < pages.size(); ++index) kids += std::to_string(pageObject(index)) + " 0 R ";
    pdf.beginObject(kPageTree);
    pdf.write("<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages.size()) + " >>\n");
    pdf.endObject();

    std::string entries;
    const auto add = [&entries](const char* key, const std::string& value) {
        if (!value.empty()) entries += std::string("/") + key + " " + pdfTextString(value) + "\n";
    };
    add("Title", info.title);
    add("Author", info.author);
    add("Subject", info.subject);
    add("Keywords", info.keywords);
    add("Producer", info.producer);
    add("CreationDate", info.date);
    add("ModDate", info.date);
    pdf.beginObject(kInformation);
    pdf.write("<<\n" + entries + ">>\n");
    pdf.endObject();

    std::vector<const std::vector<PageWord>*> words;
    for (const PdfPage& page : pages) words.push_back(page.words);
    const PdfTextCodes codes(words);
    const size_t font = pageObject(pages.size());
    const std::string fontResource = codes.empty() ? "" : " /Font << /F1 " + std::to_string(font) + " 0 R >>";
    for (size_t index = 0; index < pages.size(); ++index) {
        const PdfPage& page = pages[index];
        const size_t object = pageObject(index);
        const PdfPageSize size = pdfPageSize(page);
        const std::string width = pdfNumber(size.width);
        const std::string height = pdfNumber(size.height);
        pdf.beginObject(object);
        pdf.write("<< /Type /Page /Parent " + std::to_string(kPageTree) + " 0 R /MediaBox [ 0 0 " + width + " " +
                  height + " ] /Resources << /XObject << /Im1 " + std::to_string(object + 2) + " 0 R >>" +
                  fontResource + " >> /Contents " + std::to_string(object + 1) + " 0 R >>\n");
        pdf.endObject();
        const std::string contents = "q " + width + " 0 0 " + height + " 0 0 cm /Im1 Do Q\n" +
            invisibleTextOfPage({page.words, page.lines, page.width, page.rows, size.width, size.height}, codes, "/F1");
        pdf.writeStreamObject(object + 1, "", contents.data(), contents.size());
        const std::string columns = std::to_string(page.width);
        const std::string rows = std::to_string(page.rows);
        // 0 is black (/BlackIs1 false, the default) and DeviceGray draws 0
        // black: white stays white in every viewer.
        pdf.writeStreamObject(object + 2,
                              "/Type /XObject /Subtype /Image /Width " + columns + " /Height " + rows +
                                  " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode"
                                  " /DecodeParms << /K -1 /Columns " + columns + " /Rows " + rows + " >> ",
                              page.group4->data(), page.group4->size());
    }
    if (!codes.empty()) writeTextFont(pdf, font, codes);
    pdf.finish(kCatalogue, kInformation);
}

}  // namespace

PdfPageSize pdfPageSize(const PdfPage& page)
{
    double x = dotsPerInch(page.xResolution, page.resolutionUnit);
    double y = dotsPerInch(page.yResolution, page.resolutionUnit);
    if (x <= 0) x = 200;
    if (y <= 0) y = x;
    return {page.width * 72.0 / x, page.rows * 72.0 / y};
}

WriteResult writePdfDocument(const std::vector<PdfPage>& pages, const PdfInfo& info, const std::string& path)
{
    const auto nothing = [&] { return failureOfWords(WriteFailure::NothingToEncode, path, "no page holds an image"); };
    if (pages.empty()) return nothing();
    for (const PdfPage& page : pages) {
        if (page.group4 == nullptr || page.group4->empty() || page.width < 1 || page.rows < 1) return nothing();
    }
    PartialFile file(path);
    if (file.file() == nullptr) return file.finish();
    PdfFile pdf(file.file());
    writeDocument(pdf, pages, info);
    return file.finish(pdf.failed() ? failureOfWords(WriteFailure::Writing, path, "a write failed") : WriteResult{});
}

std::string pdfDateOf(const FaxDateTime& time)
{
    char text[48];
    std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d", time.year % 10000, time.month % 100,
                  time.day % 100, time.hour % 100, time.minute % 100, time.second % 100);
    return text;
}

std::string pdfDateOfTime(int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return {};
    char text[32];
    std::strftime(text, sizeof text, "D:%Y%m%d%H%M%S", &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[48];
    std::snprintf(zone, sizeof zone, "%c%02ld'%02ld'", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text) + zone;
}

std::string pdfTextString(std::string_view text)
{
    bool printable = true;
    for (const char c : text) printable = printable && c >= 0x20 && c <= 0x7E;
    if (printable) {
        std::string literal = "(";
        for (const char c : text) {
            if (c == '(' || c == ')' || c == '\\') literal += '\\';
            literal += c;
        }
        return literal + ")";
    }
    std::vector<uint32_t> points;
    if (const std::optional<std::vector<uint32_t>> decoded = utf8CodePoints(text)) {
        points = *decoded;
    } else {
        for (const char c : text) points.push_back(uint8_t(c));
    }
    std::string hex = "<FEFF";
    for (const uint32_t point : points) appendHexUtf16(hex, point);
    return hex + ">";
}

}  // namespace pagelift

#include "imageout/pdf_writer.h"

#include "platform/partial_file.h"

#include <charconv>
#include <algorithm>
#include <cstdio>
#include <map>
#include <ctime>
#include <memory>

namespace pagelift {
namespace {

// A number as PDF writes reals: at most four decimals, no exponent, and a
// point whatever the process's locale (the window sets the user's).
std::string pdfNumber(double value)
{
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4);
    std::string number(text, end.ptr);
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
    return number == "-0" ? "0" : number;
}

// A 16-bit unit as four hex digits.
void appendUtf16(std::string& hex, uint32_t unit)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(unit >> shift) & 0xF];
}

// A code point as UTF-16 units in hex, a surrogate pair beyond the BMP.
void appendUtf16Point(std::string& hex, uint32_t point)
{
    if (point < 0x10000) {
        appendUtf16(hex, point);
    } else {
        appendUtf16(hex, 0xD800 + ((point - 0x10000) >> 10));
        appendUtf16(hex, 0xDC00 + ((point - 0x10000) & 0x3FF));
    }
}

// The code points of valid UTF-8 (no overlong forms, surrogates or values
// past U+10FFFF); none for anything else.
std::optional<std::vector<uint32_t>> utf8CodePoints(std::string_view text)
{
    std::vector<uint32_t> points;
    for (size_t at = 0; at < text.size();) {
        const uint8_t lead = uint8_t(text[at]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || at + size_t(length) > text.size()) return std::nullopt;
        uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
        for (int index = 1; index < length; ++index) {
            const uint8_t next = uint8_t(text[at + size_t(index)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = (point << 6) | (next & 0x3Fu);
        }
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return std::nullopt;
        points.push_back(point);
        at += size_t(length);
    }
    return points;
}

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
// per page (the page, its contents, its image), then the four of the text
// font when any page has words.
constexpr size_t kCatalogue = 1;
constexpr size_t kPageTree = 2;
constexpr size_t kInformation = 3;
constexpr size_t pageObject(size_t index) { return 4 + 3 * index; }

// Every glyph of the text font is half an em wide: a word of n characters
// is n / 2 text units long before it is scaled to its box.
constexpr double kGlyphWidth = 0.5;

// The characters of the document's words get codes 1, 2 ... in the order of
// their code points; the font's ToUnicode map turns them back.
class TextCodes {
public:
    explicit TextCodes(const std::vector<PdfPage>& pages)
    {
        for (const PdfPage& page : pages) {
            if (page.words == nullptr) continue;
            for (const PageWord& word : *page.words) {
                if (const std::optional<std::vector<uint32_t>> points = utf8CodePoints(word.text)) {
                    for (const uint32_t point : *points) codes_.emplace(point, 0);
                }
            }
        }
        uint32_t next = 1;
        for (auto& [point, code] : codes_) {
            if (next > 0xFFFF) break;  // beyond two-byte codes: such characters are left out
            code = next++;
        }
    }

    bool empty() const { return codes_.empty(); }

    // The word as a hex string of two-byte codes, and its characters' count;
    // empty when nothing of it can be coded.
    std::string hexOf(std::string_view text, size_t& characters) const
    {
        std::string hex;
        characters = 0;
        const std::optional<std::vector<uint32_t>> points = utf8CodePoints(text);
        if (!points) return hex;
        for (const uint32_t point : *points) {
            const auto found = codes_.find(point);
            if (found == codes_.end() || found->second == 0) continue;
            appendCode(hex, found->second);
            ++characters;
        }
        return hex;
    }

    // The ToUnicode CMap of the codes.
    std::string toUnicodeMap() const
    {
        std::string map =
            "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
        std::vector<std::pair<uint32_t, uint32_t>> entries;
        for (const auto& [point, code] : codes_) {
            if (code != 0) entries.emplace_back(code, point);
        }
        // A bfchar block holds at most 100 entries.
        for (size_t first = 0; first < entries.size(); first += 100) {
            const size_t count = std::min<size_t>(100, entries.size() - first);
            map += std::to_string(count) + " beginbfchar\n";
            for (size_t index = first; index < first + count; ++index) {
                std::string code;
                std::string unicode;
                appendCode(code, entries[index].first);
                appendUtf16Point(unicode, entries[index].second);
                map += "<" + code + "> <" + unicode + ">\n";
            }
            map += "endbfchar\n";
        }
        return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    }

private:
    static void appendCode(std::string& hex, uint32_t code) { appendUtf16(hex, code); }

    std::map<uint32_t, uint32_t> codes_;  // code point -> code
};

// The page's words as invisible text: each word's characters stretched to
// fill its box, the baseline on the box's bottom.
std::string textOfPage(const PdfPage& page, const PdfPageSize& size, const TextCodes& codes)
{
    if (page.words == nullptr || page.words->empty() || codes.empty()) return {};
    const double xScale = size.width / page.width;
    const double yScale = size.height / page.rows;
    std::string text = "BT 3 Tr /F1 1 Tf\n";
    for (const PageWord& word : *page.words) {
        size_t characters = 0;
        const std::string hex = codes.hexOf(word.text, characters);
        if (characters == 0 || word.right <= word.left || word.bottom <= word.top) continue;
        const double wordWidth = (word.right - word.left) * xScale;
        const double wordHeight = (word.bottom - word.top) * yScale;
        text += pdfNumber(wordWidth / (kGlyphWidth * double(characters))) + " 0 0 " + pdfNumber(wordHeight) + " " +
                pdfNumber(word.left * xScale) + " " + pdfNumber(size.height - word.bottom * yScale) + " Tm <" + hex +
                "> Tj\n";
    }
    return text + "ET\n";
}

// The text font: a composite font of two-byte codes without glyphs (its
// text is never drawn), whose metrics make a glyph's box its em square, so
// that a word's box in a viewer is the box it was found in (a descent of 0
// would read as none given: hence -1).
void writeTextFont(PdfFile& pdf, size_t first, const TextCodes& codes)
{
    pdf.beginObject(first);
    pdf.write("<< /Type /Font /Subtype /Type0 /BaseFont /GlyphLessFont /Encoding /Identity-H /DescendantFonts [ " +
              std::to_string(first + 1) + " 0 R ] /ToUnicode " + std::to_string(first + 3) + " 0 R >>\n");
    pdf.endObject();
    pdf.beginObject(first + 1);
    pdf.write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /GlyphLessFont"
              " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
              " /FontDescriptor " + std::to_string(first + 2) + " 0 R /DW " + pdfNumber(kGlyphWidth * 1000) +
              " /CIDToGIDMap /Identity >>\n");
    pdf.endObject();
    pdf.beginObject(first + 2);
    pdf.write("<< /Type /FontDescriptor /FontName /GlyphLessFont /Flags 5 /FontBBox [ 0 0 " +
              pdfNumber(kGlyphWidth * 1000) + " 1000 ] /ItalicAngle 0 /Ascent 1000 /Descent -1 /CapHeight 1000"
              " /StemV 80 >>\n");
    pdf.endObject();
    const std::string map = codes.toUnicodeMap();
    pdf.writeStreamObject(first + 3, "", map.data(), map.size());
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
    add("Subject", info.subject);
    add("Producer", info.producer);
    add("CreationDate", info.date);
    add("ModDate", info.date);
    pdf.beginObject(kInformation);
    pdf.write("<<\n" + entries + ">>\n");
    pdf.endObject();

    const TextCodes codes(pages);
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
        const std::string contents = "q " + width + " 0 0 " + height + " 0 0 cm /Im1 Do Q\n" + textOfPage(page, size, codes);
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

std::optional<std::string> pdfDateOfTiffDateTime(std::string_view dateTime)
{
    while (!dateTime.empty() && (dateTime.back() == ' ' || dateTime.back() == '\0')) dateTime.remove_suffix(1);
    // "YYYY:MM:DD HH:MM:SS": digits everywhere but at the separators.
    if (dateTime.size() != 19) return std::nullopt;
    std::string digits;
    for (size_t at = 0; at < dateTime.size(); ++at) {
        const char separator = at == 4 || at == 7 ? ':' : at == 10 ? ' ' : at == 13 || at == 16 ? ':' : '\0';
        if (separator != '\0') {
            if (dateTime[at] != separator) return std::nullopt;
        } else if (dateTime[at] < '0' || dateTime[at] > '9') {
            return std::nullopt;
        } else {
            digits += dateTime[at];
        }
    }
    const auto field = [&digits](size_t at, size_t length) { return std::stoi(digits.substr(at, length)); };
    const int month = field(4, 2);
    const int day = field(6, 2);
    if (field(0, 4) < 1 || month < 1 || month > 12 || day < 1 || day > 31 || field(8, 2) > 23 || field(10, 2) > 59 ||
        field(12, 2) > 59) {
        return std::nullopt;
    }
    return "D:" + digits;
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
    for (const uint32_t point : points) appendUtf16Point(hex, point);
    return hex + ">";
}

}  // namespace pagelift

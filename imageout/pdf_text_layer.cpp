#include "imageout/pdf_text_layer.h"

#include "imageout/glyphless_font.h"
#include "imageout/pdf_syntax.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace pagelift {

namespace {

constexpr uint32_t kSpace = 0x20;

// A glyph's advance as a share of the font size.
constexpr double kAdvance = double(kGlyphlessAdvance) / kGlyphlessUnitsPerEm;
constexpr double kAscent = double(kGlyphlessAscent) / kGlyphlessUnitsPerEm;

// The lines to place: the page's own when they hold every word once, in
// order; else one per word that starts a line (the first word starts one
// in any case), without a baseline.
std::vector<PageLine> linesToPlace(const std::vector<PageWord>& words, const std::vector<PageLine>* lines)
{
    if (lines != nullptr && !lines->empty()) {
        size_t next = 0;
        const bool ordered = std::all_of(lines->begin(), lines->end(), [&](const PageLine& line) {
            const bool follows = line.firstWord == next && line.wordCount > 0 && line.wordCount <= words.size() - next;
            next += follows ? line.wordCount : 0;
            return follows;
        });
        if (ordered && next == words.size()) return *lines;
    }
    std::vector<PageLine> derived;
    for (size_t index = 0; index < words.size(); ++index) {
        if (derived.empty() || words[index].startsLine) derived.push_back(PageLine{index, 0, 0, 0, 0, 0});
        ++derived.back().wordCount;
    }
    return derived;
}

// Where a line's letters stand, in the page's pixels: y = y0 + slope * (x - x0).
struct Baseline {
    double x0 = 0;
    double y0 = 0;
    double slope = 0;
    double at(double x) const { return y0 + slope * (x - x0); }
};

bool isWordPlaced(const PageWord& word) { return word.right > word.left && word.bottom > word.top; }

// A level baseline under the line's highest word bottom (the bottom of the
// words without descenders, in most lines).
Baseline levelBaseline(const PageLine& line, const std::vector<PageWord>& words, double rows)
{
    double highestBottom = rows;
    for (size_t index = line.firstWord; index < line.firstWord + line.wordCount; ++index) {
        if (isWordPlaced(words[index])) highestBottom = std::min(highestBottom, double(words[index].bottom));
    }
    return {0, highestBottom, 0};
}

// The line's own baseline when it is a sensible one (finite, running left
// to right, on or near the page, less steep than 45 degrees), else a level
// one.
Baseline baselineOf(const PageLine& line, const std::vector<PageWord>& words, const PdfTextPage& page)
{
    const double width = page.width;
    const double rows = page.rows;
    const bool finite = std::isfinite(line.baselineLeftX) && std::isfinite(line.baselineLeftY) &&
                        std::isfinite(line.baselineRightX) && std::isfinite(line.baselineRightY);
    if (finite && line.baselineRightX > line.baselineLeftX) {
        const double slope = (line.baselineRightY - line.baselineLeftY) / (line.baselineRightX - line.baselineLeftX);
        const bool near = line.baselineLeftX >= -width && line.baselineRightX <= 2 * width &&
                          std::min(line.baselineLeftY, line.baselineRightY) >= -rows &&
                          std::max(line.baselineLeftY, line.baselineRightY) <= 2 * rows;
        if (near && std::abs(slope * page.heightPoints / rows) <= page.widthPoints / width) {
            return {line.baselineLeftX, line.baselineLeftY, slope};
        }
    }
    return levelBaseline(line, words, rows);
}

// How far the line's highest ink stands above its baseline, in rows.
double ascentOf(const std::vector<std::pair<const PageWord*, std::string>>& placed, const Baseline& baseline)
{
    double ascent = 0;
    for (const auto& entry : placed) {
        const PageWord& word = *entry.first;
        ascent = std::max(ascent, baseline.at((word.left + word.right) / 2.0) - word.top);
    }
    return ascent;
}

// Appends a word or a space from the current text position: `hex` (of
// `characters` codes) stretched to `length` points along the baseline at
// font size `size`.
void appendRun(std::string& text, const std::string& hex, size_t characters, double length, double size)
{
    const double natural = double(characters) * kAdvance * size;
    text += pdfNumber(std::max(100 * length / natural, 0.01)) + " Tz <" + hex + "> Tj\n";
}

}  // namespace

PdfTextCodes::PdfTextCodes(const std::vector<const std::vector<PageWord>*>& pages)
{
    for (const std::vector<PageWord>* words : pages) {
        if (words == nullptr) continue;
        for (const PageWord& word : *words) {
            if (const std::optional<std::vector<uint32_t>> points = utf8CodePoints(word.text)) {
                for (const uint32_t point : *points) codes_.emplace(point, 0);
            }
        }
    }
    if (codes_.empty()) return;
    codes_.emplace(kSpace, 0);
    for (auto& [point, code] : codes_) {
        if (highest_ == 0xFFFF) break;  // beyond two-byte codes: such characters are left out
        code = ++highest_;
    }
}

std::string PdfTextCodes::hexOf(std::string_view text, size_t& characters) const
{
    std::string hex;
    characters = 0;
    const std::optional<std::vector<uint32_t>> points = utf8CodePoints(text);
    if (!points) return hex;
    for (const uint32_t point : *points) {
        const auto found = codes_.find(point);
        if (found == codes_.end() || found->second == 0) continue;
        appendHexUnit(hex, found->second);
        ++characters;
    }
    return hex;
}

std::string PdfTextCodes::toUnicodeMap() const
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
            appendHexUnit(code, entries[index].first);
            appendHexUtf16(unicode, entries[index].second);
            map += "<" + code + "> <" + unicode + ">\n";
        }
        map += "endbfchar\n";
    }
    return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

std::string invisibleTextOfPage(const PdfTextPage& page, const PdfTextCodes& codes, std::string_view font)
{
    if (page.words == nullptr || page.words->empty() || codes.empty() || page.width < 1 || page.rows < 1) return {};
    const std::vector<PageWord>& words = *page.words;
    const double xScale = page.widthPoints / page.width;
    const double yScale = page.heightPoints / page.rows;
    size_t spaceCharacters = 0;
    const std::string space = codes.hexOf(" ", spaceCharacters);
    std::string text;
    for (const PageLine& line : linesToPlace(words, page.lines)) {
        // The words of the line that can be placed, with their codes.
        std::vector<std::pair<const PageWord*, std::string>> placed;
        std::vector<size_t> characters;
        for (size_t index = line.firstWord; index < line.firstWord + line.wordCount; ++index) {
            size_t count = 0;
            std::string hex = codes.hexOf(words[index].text, count);
            if (count == 0 || !isWordPlaced(words[index])) continue;
            placed.emplace_back(&words[index], std::move(hex));
            characters.push_back(count);
        }
        if (placed.empty()) continue;
        Baseline baseline = baselineOf(line, words, page);
        // A baseline above the line's ink is none: the level one has ink
        // above it.
        double ascent = ascentOf(placed, baseline);
        if (ascent < 1) {
            baseline = levelBaseline(line, words, page.rows);
            ascent = ascentOf(placed, baseline);
        }
        // A line that slants by less than a quarter of its height from end to
        // end is laid level through its middle: the engine finds a slant of a
        // pixel or two in lines that have none, and some readers (Ghostscript)
        // take each word of a slanted line for a line of its own.
        const double middle = (placed.front().first->left + placed.back().first->right) / 2.0;
        const double span = placed.back().first->right - placed.front().first->left;
        if (baseline.slope != 0 && std::abs(baseline.slope * span) < ascent / kAscent / 4) {
            baseline = {middle, baseline.at(middle), 0};
            ascent = std::max(ascentOf(placed, baseline), 1.0);
        }
        // Points along the baseline per pixel across, and the direction.
        const double run = std::hypot(xScale, baseline.slope * yScale);
        const double cosine = xScale / run;
        const double sine = -baseline.slope * yScale / run;
        // The size that puts the font's ascent on the line's highest ink.
        const double size = std::clamp(ascent * yScale / kAscent, 0.01, 1e5);
        text.append(font).append(" ").append(pdfNumber(size)).append(" Tf\n");
        for (size_t index = 0; index < placed.size(); ++index) {
            const PageWord& word = *placed[index].first;
            const double x = word.left;
            text += pdfNumber(cosine) + " " + pdfNumber(sine) + " " + pdfNumber(-sine) + " " + pdfNumber(cosine) +
                    " " + pdfNumber(x * xScale) + " " + pdfNumber(page.heightPoints - baseline.at(x) * yScale) +
                    " Tm ";
            appendRun(text, placed[index].second, characters[index], (word.right - word.left) * run, size);
            if (index + 1 < placed.size() && !space.empty()) {
                // A gap that is none (words touching or overlapping) still
                // gets its space, a sliver wide: the next word is placed on
                // its own.
                const double gap = (placed[index + 1].first->left - word.right) * run;
                appendRun(text, space, 1, std::max(gap, 0.01 * size), size);
            }
        }
    }
    return text.empty() ? text : "BT 3 Tr\n" + text + "ET\n";
}

}  // namespace pagelift

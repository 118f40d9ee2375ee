#pragma once

// The invisible text a searchable PDF lays over each page's image: the
// words recognised on the page, placed line by line so that viewers find,
// select and copy them where their ink is, in a font whose glyphs draw
// nothing (imageout/glyphless_font.h).

#include "raster/page_words.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pagelift {

// The two-byte character codes of a document's text: 1, 2 ... in the order
// of the characters' code points, the space always among them once there is
// any text. Characters of words that are not valid UTF-8 get no code, nor
// any past the 65535th.
class PdfTextCodes {
public:
    // The codes of every word of every page given; null pages are skipped.
    explicit PdfTextCodes(const std::vector<const std::vector<PageWord>*>& pages);

    bool empty() const { return codes_.empty(); }

    // The highest code given; 0 when none is.
    uint32_t highestCode() const { return highest_; }

    // The text as a hex string of codes, and how many characters it holds;
    // characters without a code are left out.
    std::string hexOf(std::string_view text, size_t& characters) const;

    // The ToUnicode CMap that turns the codes back into their characters.
    std::string toUnicodeMap() const;

private:
    std::map<uint32_t, uint32_t> codes_;  // code point -> code
    uint32_t highest_ = 0;
};

// A page's words and lines, its size in pixels and in points.
struct PdfTextPage {
    const std::vector<PageWord>* words = nullptr;
    const std::vector<PageLine>* lines = nullptr;  // may be null or not match the words: then lines are
                                                   // taken from the words that start them
    int32_t width = 0;  // pixels
    int32_t rows = 0;
    double widthPoints = 0;
    double heightPoints = 0;
};

// The content stream operators that draw the page's words invisibly
// (rendering mode 3) in font resource `font`: each line on its own
// baseline at one size, from its ink's top down, its words in order with a
// space between two, each word stretched along the baseline over its box
// and each space over the gap to the next word. Words without a coded
// character or a box inside out are left out; empty when nothing is left.
std::string invisibleTextOfPage(const PdfTextPage& page, const PdfTextCodes& codes, std::string_view font);

}  // namespace pagelift

#pragma once

#include "ccitt/held_lines.h"
#include "ccitt/page_setup.h"
#include "ccitt/row_writer.h"
#include "ccitt/stream_position.h"
#include "raster/page_bitmap.h"

#include <algorithm>
#include <cstdint>

namespace pagelift {

// Where a page loop puts the rows of a page decoded into memory: the page
// raster of setUpPage, at most `height` rows, damaged lines where HeldLines
// keeps them. The page loops (mh_decoder.cpp, two_d_decoder.cpp) take it or
// the raw working image's WorkImageRows, which answer the same calls:
//
//   freshRow()              a cleared row for the next line, cursor at its start
//   grownRow(fill)          the same row for a loop that writes rows in order
//                           only (MMR): it holds `fill` instead of being cleared
//   lineStartsAt(position)  a line begins at this stream position
//   goodLine()              the line in the fresh row had the page's width
//   damagedLine()           it was damaged (its rest is already white); true when held
//   mergeWithHeldLine(at)   the fresh row is the rest, from pixel `at` on, of the
//                           damaged line held last
//   emptyLine()             an empty line (the end of a page)
//   segmentBreak()          the run of good lines broke without a damaged line
//   stopped()               no more rows can be taken: the loop ends as at the end of the data
//   kept()                  rows kept so far
//   endOfData()             the data ended: rows still held are dropped
class PageRows {
public:
    PageRows(PageBitmap& page, int32_t height, int32_t width) : page_(page), height_(height), width_(width) {}

    RowCursor freshRow() { return startRow(page_, lines_.nextRow(), height_); }
    RowCursor grownRow(uint8_t fill) { return startNewRow(page_, lines_.nextRow(), height_, fill); }
    void lineStartsAt(StreamPosition) {}
    void goodLine() { lines_.goodLine(); }
    bool damagedLine() { return lines_.damagedLine(); }

    void mergeWithHeldLine(int32_t at)
    {
        const int32_t rest = lines_.nextRow();
        if (lines_.held() == 0 || rest >= height_ || at < 0 || at > width_) return;
        uint8_t* const pixels = page_.pixels.data();
        const size_t rowBytes = size_t(page_.bytesPerRow);
        copyPixels(pixels + size_t(rest) * rowBytes, pixels + size_t(rest - 1) * rowBytes, at, width_ - at);
    }

    void emptyLine() { lines_.pageBreak(); }
    void segmentBreak() {}
    bool stopped() const { return false; }
    int32_t kept() const { return lines_.kept(); }

    // Ends the page: trimmed to the rows kept.
    void endOfData()
    {
        lines_.pageBreak();
        finishPage(page_, std::min(lines_.kept(), height_));
    }

private:
    PageBitmap& page_;
    HeldLines lines_;
    int32_t height_;
    int32_t width_;
};

}  // namespace pagelift

#pragma once

#include <cstdint>

namespace pagelift {

// Which decoded lines of a page keep a row. Good lines always do. Damaged
// lines (cut short at their EOL, too long, broken off at an invalid code, or
// lost in two-dimensional data after an error) keep their place only between
// good lines: they are held back until the next good line, and dropped when
// more than kMaxHeldLines of them follow in a row, when an empty line (the
// end of a page) comes first, or when the data end. So line noise inside a
// page keeps the page's height, while noise before, between or after pages
// adds no rows.
//
// The end of the data is the exception: when nothing but lines without
// pixels (the EOLs that end a page) followed the last good line, each of
// them keeps a white row and so does the end itself when data follow the
// last line, as a fax receiver stores such a page. Only the last page gets them, so the pages before
// keep their places. The rows themselves are the caller's: it decodes each
// line into row nextRow() and tells the outcome.
class HeldLines {
public:
    static constexpr int32_t kMaxHeldLines = 16;

    // Rows kept so far.
    int32_t kept() const { return kept_; }
    // Damaged rows waiting for a good line; they follow the kept rows.
    int32_t held() const { return held_; }
    // The row the next line is decoded into.
    int32_t nextRow() const { return kept_ + held_; }

    // The line in nextRow() was good: it and the held rows before it are kept.
    void goodLine()
    {
        kept_ += held_ + 1;
        held_ = 0;
        afterGoodLine_ = true;
        blankSinceGoodLine_ = 0;
        onlyBlankSinceGoodLine_ = true;
    }

    // The line in nextRow() was damaged; `pixelLess` when it decoded no
    // pixel. True when it is held (the next line goes to the row after it);
    // false when it is dropped, and with it every held row once there are
    // too many in a row.
    bool damagedLine(bool pixelLess = false)
    {
        noteTrailingLine(pixelLess);
        if (!afterGoodLine_) return false;
        if (held_ == kMaxHeldLines) {
            dropHeld();
            return false;
        }
        ++held_;
        return true;
    }

    // An empty line: the held rows are dropped, and damaged lines are held
    // again only after the next good line.
    void pageBreak()
    {
        noteTrailingLine(true);
        dropHeld();
    }

    // The data end, with a line in progress that has pixels when
    // `lineWithPixels`; with `endOfPageRows` the white rows of the end of the
    // last page (see above) are added, the end itself counting as a line
    // when `dataAfterLastLine` (at least a byte of data followed where the
    // last line ended). Returns how many were.
    int32_t endOfData(bool lineWithPixels, bool endOfPageRows, bool dataAfterLastLine)
    {
        dropHeld();
        if (!endOfPageRows || lineWithPixels || !onlyBlankSinceGoodLine_) return 0;
        const int32_t rows = blankSinceGoodLine_ + (dataAfterLastLine ? 1 : 0);
        kept_ += rows;
        onlyBlankSinceGoodLine_ = false;
        return rows;
    }

private:
    void dropHeld()
    {
        held_ = 0;
        afterGoodLine_ = false;
    }

    void noteTrailingLine(bool pixelLess)
    {
        if (!pixelLess) {
            onlyBlankSinceGoodLine_ = false;
        } else if (onlyBlankSinceGoodLine_) {
            ++blankSinceGoodLine_;
        }
    }

    int32_t kept_ = 0;
    int32_t held_ = 0;
    int32_t blankSinceGoodLine_ = 0;
    bool afterGoodLine_ = false;
    bool onlyBlankSinceGoodLine_ = false;  // set by a good line
};

}  // namespace pagelift

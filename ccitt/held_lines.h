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
// adds no rows. The EOLs that end a page (RTC, EOFB) carry no line, so
// they keep no row either, at the end of the data as anywhere else. The
// rows themselves are the caller's: it decodes each line into row
// nextRow() and tells the outcome.
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
    }

    // The line in nextRow() was damaged. True when it is held (the next line
    // goes to the row after it); false when it is dropped, and with it every
    // held row once there are too many in a row.
    bool damagedLine()
    {
        if (!afterGoodLine_) return false;
        if (held_ == kMaxHeldLines) {
            dropHeld();
            return false;
        }
        ++held_;
        return true;
    }

    // An empty line, or the data end: the held rows are dropped, and damaged
    // lines are held again only after the next good line.
    void pageBreak() { dropHeld(); }

private:
    void dropHeld()
    {
        held_ = 0;
        afterGoodLine_ = false;
    }

    int32_t kept_ = 0;
    int32_t held_ = 0;
    bool afterGoodLine_ = false;
};

}  // namespace pagelift

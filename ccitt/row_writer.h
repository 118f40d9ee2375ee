#pragma once

#include <cstdint>
#include <cstring>

namespace pagelift {

// Where the next pixel of a row being decoded goes. A null row stands for a
// line that is decoded but not stored (more lines than the page has rows).
struct RowCursor {
    uint32_t byteIndex = 0;  // byte the next pixel falls into
    uint32_t rowBytes = 0;   // length of the row in bytes
    uint8_t bitIndex = 0;    // 0 = most significant bit = leftmost pixel
    uint8_t* row = nullptr;
};

// A cursor at the start of `row`.
inline RowCursor rowCursorAt(uint8_t* row, uint32_t rowBytes)
{
    return RowCursor{0, rowBytes, 0, row};
}

// Writes a run of `run` pixels at the cursor and moves past it: as 1 bits
// when skip == 0, untouched (the row was cleared to 0) otherwise. Returns 0,
// or -1 when the cursor already stands at or past the end of the row or the
// run reaches past it; bits that fit are written all the same, and nothing
// is ever written outside the row.
inline int putRun(RowCursor& cursor, int32_t run, int skip)
{
    if (cursor.byteIndex >= cursor.rowBytes) return -1;
    const uint64_t end = uint64_t(cursor.bitIndex) + uint64_t(run < 0 ? 0 : run);
    if (skip != 0 || cursor.row == nullptr) {
        const uint64_t byteIndex = cursor.byteIndex + end / 8;
        cursor.byteIndex = byteIndex > cursor.rowBytes ? cursor.rowBytes : uint32_t(byteIndex);
        cursor.bitIndex = uint8_t(end % 8);
        return 0;
    }
    uint8_t* const row = cursor.row;
    if (end < 8) {
        row[cursor.byteIndex] |= uint8_t((0xFFu >> cursor.bitIndex) & ~(0xFFu >> end));
        cursor.bitIndex = uint8_t(end);
        return 0;
    }
    row[cursor.byteIndex] |= uint8_t(0xFFu >> cursor.bitIndex);
    cursor.byteIndex += 1;
    cursor.bitIndex = 0;
    const uint64_t rest = end - 8;
    if (cursor.byteIndex >= cursor.rowBytes || cursor.byteIndex + rest / 8 > cursor.rowBytes) return -1;
    const uint32_t wholeBytes = uint32_t(rest / 8);
    std::memset(row + cursor.byteIndex, 0xFF, wholeBytes);
    cursor.byteIndex += wholeBytes;
    if (cursor.byteIndex >= cursor.rowBytes) return -1;
    const unsigned tail = unsigned(rest % 8);
    row[cursor.byteIndex] |= uint8_t(~(0xFFu >> tail));
    cursor.bitIndex = uint8_t(tail);
    return 0;
}

// Paints the row white from the cursor up to pixel `width`: the rest of a
// line that broke off. White is a run of 1 bits with polarity 0, the cleared
// row itself with polarity 1.
inline void fillRestWhite(RowCursor& cursor, int32_t width, uint8_t polarity)
{
    const int64_t done = int64_t(cursor.byteIndex) * 8 + cursor.bitIndex;
    if (done < width) putRun(cursor, int32_t(width - done), polarity);
}

// A row cursor held as one bit position, for the line decoders, which
// write many runs into a row: a run that lies wholly inside the row is
// written directly, anything else goes through putRun, so the row and the
// position always end as putRun leaves them.
//
// With OnesAhead the pen starts on a row whose bytes are 0xFF from the
// position on, rather than 0: it clears the bits of skipped runs instead of
// setting those of the others, so a row of long set runs (white on a
// white-is-1 page) costs almost no writing. settle() clears the ones right
// of the position, which makes the row what putRun would have made of a
// cleared row; a line decoder settles the pen before the row is used. Once
// a run does not fit, the pen settles and takes every later run through
// putRun.
template <bool OnesAhead = false>
class RowPen {
public:
    explicit RowPen(const RowCursor& cursor)
        : row_(cursor.row), position_(int64_t(cursor.byteIndex) * 8 + cursor.bitIndex),
          fastLimit_(int64_t(cursor.rowBytes) * 8), rowBytes_(cursor.rowBytes)
    {
    }

    // As putRun(cursor, run, 0), without its result; run >= 0.
    void putSet(int32_t run)
    {
        // A run of 0 sets nothing; at the very end of the row it must not
        // even look at the byte there.
        if (run <= fastLimit_ - position_) {
            if (!OnesAhead && run > 0 && row_ != nullptr) markBits<true>(run);
            position_ += run;
            return;
        }
        putThroughCursor(run, 0);
    }

    // As putRun(cursor, run, 1), without its result; run >= 0.
    void putSkip(int32_t run)
    {
        if (run <= fastLimit_ - position_) {
            if (OnesAhead && run > 0) markBits<false>(run);
            position_ += run;
            return;
        }
        putThroughCursor(run, 1);
    }

    // With OnesAhead, clears the ones right of the position (once).
    void settle()
    {
        if (!OnesAhead || settled_) return;
        settled_ = true;
        const int64_t rowBits = int64_t(rowBytes_) * 8;
        if (position_ < rowBits) markBits<false>(int32_t(rowBits - position_));
        fastLimit_ = -1;  // from now on every run goes through putRun
    }

    RowCursor cursor() const { return RowCursor{uint32_t(position_ / 8), rowBytes_, uint8_t(position_ % 8), row_}; }

private:
    void putThroughCursor(int32_t run, int skip)
    {
        settle();
        RowCursor cursor = this->cursor();
        putRun(cursor, run, skip);
        position_ = int64_t(cursor.byteIndex) * 8 + cursor.bitIndex;
    }

    // Sets (Set) or clears `run` (> 0) bits from the position; the caller
    // has checked that they lie inside the row.
    template <bool Set>
    void markBits(int32_t run)
    {
        uint8_t* byte = row_ + position_ / 8;
        const unsigned first = unsigned(position_ % 8);
        const unsigned end = first + unsigned(run);
        if (end < 8) {
            mark<Set>(*byte, uint8_t((0xFFu >> first) & ~(0xFFu >> end)));
            return;
        }
        mark<Set>(*byte++, uint8_t(0xFFu >> first));
        const unsigned rest = end - 8;
        const size_t wholeBytes = rest / 8;
        fillBytes(byte, wholeBytes, Set ? 0xFF : 0x00);
        const unsigned tail = rest % 8;
        if (tail != 0) mark<Set>(byte[wholeBytes], uint8_t(~(0xFFu >> tail)));
    }

    template <bool Set>
    static void mark(uint8_t& byte, uint8_t bits)
    {
        byte = Set ? uint8_t(byte | bits) : uint8_t(byte & ~bits);
    }

    // Sets `count` bytes to `value`. Most runs are short: a library call
    // costs more than the bytes, so up to 16 are set by (overlapping) stores.
    static void fillBytes(uint8_t* bytes, size_t count, uint8_t value)
    {
        const uint64_t word = value * 0x0101010101010101ull;
        if (count > 16) {
            std::memset(bytes, value, count);
        } else if (count >= 8) {
            std::memcpy(bytes, &word, 8);
            std::memcpy(bytes + count - 8, &word, 8);
        } else if (count >= 4) {
            std::memcpy(bytes, &word, 4);
            std::memcpy(bytes + count - 4, &word, 4);
        } else if (count > 0) {
            bytes[0] = value;
            bytes[count / 2] = value;
            bytes[count - 1] = value;
        }
    }

    uint8_t* row_;
    int64_t position_;
    int64_t fastLimit_;  // runs that end at or before this bit are written directly
    uint32_t rowBytes_;
    bool settled_ = false;
};

}  // namespace pagelift

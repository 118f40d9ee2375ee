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

}  // namespace pagelift

#pragma once

#include <cstdint>
#include <cstring>

namespace pagelift {

// Run lengths and pixel totals saturate here: far beyond any real line, yet
// small enough that adding two never overflows an int32.
inline constexpr int32_t kRunCeiling = (1 << 30) + (1 << 29);

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

// Copies pixels [0, count) of row `from` over pixels [at, at + count) of
// row `to`, pixel by pixel: for the rare line that turns out to be the rest
// of another. Both rows must hold the pixels named.
inline void copyPixels(const uint8_t* from, uint8_t* to, int32_t at, int32_t count)
{
    for (int32_t index = 0; index < count; ++index) {
        const int32_t x = at + index;
        const uint8_t mask = uint8_t(0x80u >> (x & 7));
        if ((from[index >> 3] >> (7 - (index & 7))) & 1) {
            to[x >> 3] |= mask;
        } else {
            to[x >> 3] &= uint8_t(~mask);
        }
    }
}

// Writes the runs of one line into its row 64 pixels at a time, for the
// line decoders, which write many short runs. The runs alternate in colour;
// the pen is told only where each one ends. The word in progress is a
// register holding the pixels of 64 columns, in which the end of a run flips
// every pixel from there to the right edge of the word; a word is stored
// once the line has moved past it. So a run costs a shift and an XOR, and
// a long run a store per eight bytes.
//
// The row must hold `aheadFill` (0x00 or 0xFF in every byte) from the
// cursor on: a cleared row, or one grown with that fill. Words a run covers
// whole that already hold the fill are not stored again. finish() leaves the
// row, and the cursor, exactly as putRun would have from the cursor on a
// cleared row (run by run, bits past the last run 0). A run that ends
// beyond the row, and every run after it, goes through putRun itself, as
// does everything on a line not stored (null row).
//
// Kept in the line decoder's locals, where its fields can stay in
// registers while the line runs.
class RowPen {
public:
    // startSet: the run that begins at the cursor sets bits (its colour
    // XOR polarity is 0). The pen moves the cursor only when it finishes or
    // a run leaves the words, so the line needs no copy of it.
    RowPen(RowCursor& cursor, uint8_t aheadFill, bool startSet)
        : row_(cursor.row), rowBytes_(cursor.rowBytes), cursor_(cursor), setNext_(startSet)
    {
        const int64_t start = int64_t(cursor.byteIndex) * 8 + cursor.bitIndex;
        const int64_t rowBits = int64_t(cursor.rowBytes) * 8;
        if (row_ == nullptr || start >= rowBits) return;  // every run through putRun
        limit_ = rowBits;
        ahead_ = aheadFill != 0 ? ~uint64_t(0) : 0;
        wordIndex_ = start >> 6;
        const unsigned column = unsigned(start & 63);
        const uint64_t right = ~uint64_t(0) >> column;
        pixels_ = startSet ? right : 0;
        if (column != 0) pixels_ |= loadWord(wordIndex_) & ~right;  // the pixels left of the cursor stay
    }

    // The run from `start` (where the previous run ended, or the cursor) to
    // `end` is complete and the next one, of the other colour, begins;
    // start <= end.
    [[gnu::always_inline]] void put(int64_t start, int64_t end)
    {
        if (end <= limit_) [[likely]] {
            const int64_t index = end >> 6;
            if (index != wordIndex_) advance(index);
            pixels_ ^= ~uint64_t(0) >> (end & 63);
            return;
        }
        putThroughCursor(start, end);
    }

    // Ends the line at `end`, where the last run ended, and leaves the
    // cursor there as putRun would. The pen is spent.
    [[gnu::always_inline]] void finish(int64_t end)
    {
        if (limit_ < 0) return;
        if ((end >> 6) != wordIndex_) advance(end >> 6);
        closeRow(row_, rowBytes_, wordIndex_, pixels_ & ~(~uint64_t(0) >> (end & 63)), ahead_);
        cursor_.byteIndex = uint32_t(uint64_t(end) >> 3);  // end >= 0
        cursor_.bitIndex = uint8_t(end & 7);
    }

private:
    // The helpers out of line take plain values, never the pen: a pen whose
    // address is handed out lives in memory, and every run would then load
    // and store its fields.

    // Stores the word in progress and the words a run covers whole up to
    // word `index`, which becomes the word in progress. Every word before
    // `index` lies wholly inside the row, since index <= limit_ / 64.
    [[gnu::always_inline]] void advance(int64_t index)
    {
        const uint64_t bytes = __builtin_bswap64(pixels_);
        std::memcpy(row_ + wordIndex_ * 8, &bytes, sizeof bytes);
        // The last pixel of the word has the colour of the run in progress.
        const uint64_t fill = uint64_t(0) - (pixels_ & 1u);
        if (fill != ahead_ && wordIndex_ + 1 < index) {
            std::memset(row_ + (wordIndex_ + 1) * 8, int(fill & 0xFF), size_t(index - wordIndex_ - 1) * 8);
        }
        pixels_ = fill;
        wordIndex_ = index;
    }

    // Leaves the words for putRun: the row is written up to `start`, and
    // this run and all later ones of the line go through the cursor. Rare,
    // but inlined all the same: out of line it would take the pen's address.
    [[gnu::always_inline]] void putThroughCursor(int64_t start, int64_t end)
    {
        if (limit_ >= 0) {
            setNext_ = (pixels_ & 1u) != 0;
            finish(start);
            limit_ = -1;
        }
        putRunThrough(cursor_, end - start, setNext_);
        setNext_ = !setNext_;
    }

    [[gnu::noinline]] static void putRunThrough(RowCursor& cursor, int64_t run, bool set)
    {
        putRun(cursor, run > kRunCeiling ? kRunCeiling : int32_t(run), set ? 0 : 1);
    }

    // Stores the last word of a line, `pixels` (0 right of the line), as
    // word `index`, of which any part may lie inside the row, and clears
    // the row right of it when it was grown with ones.
    [[gnu::always_inline]] static void closeRow(uint8_t* row, uint32_t rowBytes, int64_t index, uint64_t pixels, uint64_t ahead)
    {
        const int64_t first = index * 8;
        const int64_t inRow = int64_t(rowBytes) - first;  // bytes of the word inside the row
        if (inRow >= 8) {
            const uint64_t bytes = __builtin_bswap64(pixels);
            std::memcpy(row + first, &bytes, sizeof bytes);
            if (ahead != 0 && inRow > 8) std::memset(row + first + 8, 0, size_t(inRow - 8));
        } else if (inRow > 0 && rowBytes >= 8) {
            // One store of the row's last eight bytes: those before the word
            // are final already and are stored back as they are.
            uint64_t last = 0;
            std::memcpy(&last, row + rowBytes - 8, sizeof last);
            const unsigned before = unsigned(8 * (8 - inRow));
            const uint64_t merged = (__builtin_bswap64(last) & ~(~uint64_t(0) >> before)) | (pixels >> before);
            last = __builtin_bswap64(merged);
            std::memcpy(row + rowBytes - 8, &last, sizeof last);
        } else {
            for (int64_t at = first; at < int64_t(rowBytes); ++at) row[at] = uint8_t(pixels >> (56 - 8 * (at - first)));
        }
    }

    // The bytes of word `index` that lie inside the row.
    uint64_t loadWord(int64_t index) const
    {
        const int64_t first = index * 8;
        uint64_t bytes = 0;
        if (first + 8 <= int64_t(rowBytes_)) {
            std::memcpy(&bytes, row_ + first, sizeof bytes);
            return __builtin_bswap64(bytes);
        }
        uint64_t value = 0;
        for (int64_t at = first; at < int64_t(rowBytes_); ++at) value |= uint64_t(row_[at]) << (56 - 8 * (at - first));
        return value;
    }

    uint8_t* row_;
    uint32_t rowBytes_;
    int64_t limit_ = -1;  // runs that end at or before this bit use the words
    int64_t wordIndex_ = 0;  // the word in progress
    uint64_t pixels_ = 0;    // its pixels, the leftmost in the top bit
    uint64_t ahead_ = 0;  // what the row holds right of the words written
    RowCursor& cursor_;   // the line's cursor; runs through putRun move it
    bool setNext_;        // through putRun: the next run sets bits
};

}  // namespace pagelift

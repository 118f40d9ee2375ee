#include "ccitt/two_d_decoder.h"

#include "ccitt/line_bits.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/page_loops.h"
#include "ccitt/page_rows.h"
#include "ccitt/page_setup.h"
#include "ccitt/stream_position.h"
#include "ccitt/work_image_rows.h"

#include <algorithm>
#include <new>
#include <optional>

namespace pagelift {
namespace {

// a1 - b1 for the vertical modes V0, VR1..VR3, VL1..VL3 (t4::Mode 0..6).
constexpr int kVerticalOffset[7] = {0, 1, 2, 3, -1, -2, -3};

// What a two-dimensional line decoder works on, besides the bits: the row,
// the line's run list and the reference line.
struct TwoDimensionalLine {
    RowCursor& cursor;
    uint8_t aheadFill;  // what the row holds from the cursor on (see RowPen)
    RunList& current;
    RunList& reference;
    int32_t width;
    uint8_t polarity;
};

// Decodes one two-dimensional line against the reference. The line ends at
// an EOL for MR; for MMR (EndsAtWidth) also once a vertical or horizontal
// code takes a0 to the width. Returns what decode2dLine or decodeMmrLine
// returns; `lineTotal` gets the pixel total. The cursor, the run list and
// the reference's b1 index are left where the line ends.
//
// Everything the line works on lives in locals while it runs (the bits are
// the caller's local, this being inlined): row words are written through a
// pointer, which could alias any object the compiler cannot see is private.
// Positions are 64-bit: damaged data can push them far past the width.
template <bool LsbFirst, bool EndsAtWidth>
[[gnu::always_inline]] inline int32_t decodeTwoDimensionalRuns(LineBits<LsbFirst>& bits,
                                                               const TwoDimensionalLine& line, int32_t& lineTotal)
{
    const int32_t width = line.width;
    RowPen pen(line.cursor, line.aheadFill, line.polarity == 0);
    RunList ref = line.reference;
    // Both lists have storage, one entry past their capacity (RunBuffers).
    int32_t* const runs = line.current.runs;
    const uint32_t capacity = line.current.capacity;
    uint32_t runCount = 0;
    int64_t b1 = width;
    ref.next = 0;
    if (ref.count > 0) {
        b1 = ref.runs[0];
        ref.next = 1;
    }
    ref.runs[ref.count] = kB1Sentinel;
    int64_t a0 = 0;
    // Where the run in progress began: a0 less what pass codes moved it on.
    // Every run written ends where the next begins, so this is also the
    // pixel total.
    int64_t runStart = 0;
    int colour = 0;

    // A run ends at `end`: written, and listed while the list has room
    // (a run past the room lands in the entry after it, unused).
    const auto put = [&](int64_t end) __attribute__((always_inline)) {
        pen.put(runStart, end);
        const int64_t run = end - runStart;
        runs[runCount] = run > kRunCeiling ? kRunCeiling : int32_t(run);
        runCount += uint32_t(runCount < capacity);
        runStart = end;
    };
    // A horizontal-mode run: any number of make-up codes and one terminating
    // code of the colour. Returns the length or the negative decodeRun result.
    const auto horizontalRun = [&]() __attribute__((always_inline)) {
        int32_t length = 0;
        for (;;) {
            const int32_t part = bits.decodeRun(colour);
            if (part < 0) return part;
            length = saturatingAdd(length, part);
            if (part < 64) return length;
        }
    };
    const auto finish = [&](int32_t result) __attribute__((always_inline)) {
        pen.finish(runStart);
        line.reference.next = ref.next;
        line.current.next = runCount;
        lineTotal = runStart > kRunCeiling ? kRunCeiling : int32_t(runStart);
        return result;
    };
    const auto total = [&]() __attribute__((always_inline)) { return runStart > kRunCeiling ? kRunCeiling : int32_t(runStart); };

    for (;;) {
        const int32_t leaf = bits.readLeaf(kModeTree);
        const int mode = leaf >> 2;
        if (leaf > 0 && mode < t4::ModeHorizontal) [[likely]] {
            const int64_t a1 = b1 + kVerticalOffset[mode];
            if (mode >= t4::ModeVL1) {
                // Mostly the element before b1 lies at or left of a1 (and
                // inside the line): nextB1 would then walk straight back to
                // b1, so there is nothing to undo.
                const int64_t last = a1 < width ? a1 : int64_t(width) - 1;
                if (ref.next == 0 || b1 - ref.runs[ref.next - 1] > last || a1 < a0) rewindB1(ref, a1, b1);
            }
            // A code that would move back past a0: only damaged data do
            // that, and a negative run must never be written.
            if (a1 < a0) [[unlikely]] return finish(BadCode);
            put(a1);
            a0 = a1;
            colour ^= 1;
            nextB1(ref, a0, b1, colour, width);
            if (EndsAtWidth && a0 >= width) return finish(total());
            continue;
        }
        if (leaf < 0) return finish(total() == width ? EndAfterFullLine : EndOfData);
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) bits.unreadBits(1);
            return finish(EndsAtWidth ? EolCode : total());
        }
        if (mode == t4::ModeHorizontal) {
            for (int part = 0; part < 2; ++part) {
                const int32_t length = horizontalRun();
                if (length < 0) return finish(length);
                a0 += length;
                put(a0);
                colour ^= 1;
            }
            nextB1(ref, a0, b1, colour, width);
            if (EndsAtWidth && a0 >= width) return finish(total());
            continue;
        }
        if (mode == t4::ModePass) {
            int64_t b2 = width;
            if (ref.next < ref.count) {
                b2 = b1 + ref.runs[ref.next];
                ++ref.next;
            }
            if (b2 < a0) return finish(BadCode);
            a0 = b2;
            b1 = b2;
            nextB1(ref, a0, b1, colour, width);
            continue;  // a pass code never ends a line
        }
        // An invalid code, or the uncompressed-mode extension, which is not supported.
        return finish(BadCode);
    }
}

// One line with the decoder's position taken into a bit buffer and handed
// back, on a cleared row.
template <bool LsbFirst, bool EndsAtWidth>
int32_t decodeOneTwoDimensionalLine(CcittDecoder& decoder, RowCursor& rowCursor, RunList& current,
                                    RunList& reference, int32_t& lineTotal)
{
    LineBits<LsbFirst> bits(decoder);
    const TwoDimensionalLine line{rowCursor, 0, current, reference, decoder.width(), decoder.polarity()};
    const int32_t result = decodeTwoDimensionalRuns<LsbFirst, EndsAtWidth>(bits, line, lineTotal);
    bits.handBack();
    return result;
}

template <bool EndsAtWidth>
int32_t decodeTwoDimensionalLine(CcittDecoder& decoder, RowCursor& rowCursor, RunList& current,
                                 RunList& reference, int32_t& lineTotal)
{
    return decoder.position().lsbFirst
               ? decodeOneTwoDimensionalLine<true, EndsAtWidth>(decoder, rowCursor, current, reference, lineTotal)
               : decodeOneTwoDimensionalLine<false, EndsAtWidth>(decoder, rowCursor, current, reference, lineTotal);
}

}  // namespace

std::optional<RunBuffers> makeRunBuffers(const CcittDecoder& decoder)
{
    try {
        std::optional<RunBuffers> buffers(std::in_place, runCapacityFor(decoder));
        buffers->resetReferenceToWhite(decoder.width());
        return buffers;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

int32_t decodeMrLine(CcittDecoder& decoder, RowCursor& cursor, RunBuffers& buffers, int16_t tag)
{
    RunList& current = buffers.current();
    current.next = 0;
    return tag == 1 ? decodeMhLine(decoder, cursor, &current)
                    : decode2dLine(decoder, cursor, current, buffers.reference());
}

namespace {

// The runs of a line that broke off, as its row keeps them: those that end
// within the width, then white up to it.
void completeRunsWithWhite(RunList& list, int32_t width)
{
    int64_t sum = 0;
    uint32_t kept = 0;
    while (kept < list.next && sum + list.runs[kept] <= width) sum += list.runs[kept++];
    list.next = kept;
    if (sum >= width) return;
    if (kept % 2 == 1) list.append(0);  // runs alternate from white: a black run of none first
    list.append(int32_t(width - sum));
}

// Draws the row again from its runs (the row the cursor is in).
void redrawRow(RowCursor& cursor, const RunList& list, uint8_t polarity)
{
    restartRow(cursor);
    for (uint32_t index = 0; index < list.next; ++index) putRun(cursor, list.runs[index], int(index % 2) ^ polarity);
}

// How far before the reader an invalid code may have begun: the longest code.
constexpr int64_t kLongestCodeBits = 13;

}  // namespace

bool seekOneDimensionalLine(CcittDecoder& decoder, int32_t* twoDimensionalLines)
{
    int32_t passed = 0;
    const auto done = [&](bool found) {
        if (twoDimensionalLines != nullptr) *twoDimensionalLines = passed;
        return found;
    };
    for (;;) {
        if (decoder.findEol() < 0) return done(false);
        const int16_t tag = decoder.readBits(1);
        if (tag < 0) return done(false);
        if (tag == 1) return done(true);
        ++passed;
    }
}

int32_t decode2dLine(CcittDecoder& decoder, RowCursor& cursor, RunList& current, RunList& reference)
{
    int32_t total = 0;
    return decodeTwoDimensionalLine<false>(decoder, cursor, current, reference, total);
}

int32_t decodeMmrLine(CcittDecoder& decoder, RowCursor& cursor, RunList& current, RunList& reference,
                      int32_t& total)
{
    return decodeTwoDimensionalLine<true>(decoder, cursor, current, reference, total);
}

namespace {

// One line of T.4 two-dimensional coding after its tag, ending as soon as it
// reaches the width (its EOL still to be read), else at its EOL. Returns the
// pixel total (0 for an EOL right after the tag; above the width for a line
// that passes it), BadCode, EndOfData or EndAfterFullLine.
int32_t decodeMrLineToWidth(CcittDecoder& decoder, RowCursor& cursor, RunBuffers& buffers, int16_t tag)
{
    RunList& current = buffers.current();
    current.next = 0;
    if (tag == 1) return decodeMhLineToWidth(decoder, cursor, &current);
    int32_t total = 0;
    const int32_t result = decodeTwoDimensionalLine<true>(decoder, cursor, current, buffers.reference(), total);
    return result == EolCode ? total : result;
}

}  // namespace

template <class Rows>
LineCounts decodeMrRows(CcittDecoder& decoder, Rows& rows, RunBuffers& buffers)
{
    const int32_t width = decoder.width();
    const uint8_t polarity = decoder.polarity();
    LineCounts counts;
    int16_t tag = 1;
    rows.lineStartsAt(openingOfLine(decoder, kEolAndTagBits));
    RowCursor cursor = rows.freshRow();
    StreamPosition lineStart = positionOf(decoder);  // where the line being decoded began
    // Reads the tag of the next line; false when the data end.
    const auto nextTag = [&] {
        tag = decoder.readBits(1);
        if (tag < 0) return false;
        lineStart = positionOf(decoder);
        rows.lineStartsAt(openingOfLine(decoder, kEolAndTagBits));
        return true;
    };
    for (;;) {
        if (rows.stopped()) break;
        const int32_t result = decodeMrLineToWidth(decoder, cursor, buffers, tag);
        if (result == EndOfData) break;
        if (result == EndAfterFullLine) {
            rows.goodLine();
            break;
        }
        if (result == width) {
            // Good when its EOL follows (one with a flipped bit too). Else
            // junk follows, skipped up to the next EOL, and the line is only
            // as good as a damaged one: where lines are noise, a two-
            // dimensional line reaches the width after a single code.
            const bool withEol = takeEolAfterCompleteLine(decoder) != LineEnd::SomethingElse;
            if (withEol) {
                rows.goodLine();
            } else {
                ++counts.damaged;
                rows.damagedLine();
            }
            buffers.promoteCurrent();
            cursor = rows.freshRow();
            if (!withEol && !findEolFrom(decoder, positionOf(decoder))) break;
            if (!nextTag()) break;
            continue;
        }
        if (result == 0) {  // an EOL right after the tag: fill or the end-of-page EOLs
            rows.emptyLine();
            cursor = rows.freshRow();
            if (!nextTag()) break;
            continue;
        }
        // A damaged line keeps the runs it decoded that fit the width, white
        // after them, and is the reference of the next line as it is kept,
        // up to the next one-dimensional line: two-dimensional lines that
        // follow keep what they decode against it.
        ++counts.damaged;
        if (result == BadCode) ++counts.invalidCodes;
        completeRunsWithWhite(buffers.current(), width);
        redrawRow(cursor, buffers.current(), polarity);
        buffers.promoteCurrent();
        rows.damagedLine();
        cursor = rows.freshRow();
        if (result > 0 && result < width) {  // it reached its EOL
            if (!nextTag()) break;
            continue;
        }
        // The rest of the line is skipped up to the next EOL, which the code
        // that broke it may have read into (see findEolFrom).
        const int64_t back = std::max(lineStart.bits, positionOf(decoder).bits - (kEolBits - 1) - kLongestCodeBits);
        if (!findEolAfterBrokenCode(decoder, StreamPosition{back}, positionOf(decoder))) break;
        if (!nextTag()) break;
    }
    rows.endOfData();
    return counts;
}

template LineCounts decodeMrRows<PageRows>(CcittDecoder&, PageRows&, RunBuffers&);
template LineCounts decodeMrRows<WorkImageRows>(CcittDecoder&, WorkImageRows&, RunBuffers&);

int decodeMrPage(CcittDecoder& decoder, PageBitmap& page)
{
    if (setUpPage(decoder, page, FaxMr) < 0) return -1;
    // Before the first good line the reference is an all-white line, so a
    // two-dimensional line met there reads defined data.
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers || !seekOneDimensionalLine(decoder)) {
        finishPage(page, 0);
        return -1;
    }
    PageRows rows(page, decoder.height(), decoder.width());
    const LineCounts counts = decodeMrRows(decoder, rows, *buffers);
    return counts.damaged;
}

int decodeMmr(MmrDecoder& decoder, PageBitmap& page)
{
    const int options = decoder.t6Options() & 3;
    if (options == 1 || options == 3) return -1;
    return decodeMmrPage(decoder, page);
}

namespace {

// The MMR page loop. The bit buffer runs on from line to line; the
// decoder's position is brought up to date only where the flag search needs
// it and when the page ends.
template <bool LsbFirst, class Rows>
int decodeMmrLines(MmrDecoder& decoder, Rows& rows, RunBuffers& buffers)
{
    const int32_t width = decoder.width();
    const uint8_t polarity = decoder.polarity();
    int result = 0;
    LineBits<LsbFirst> bits(decoder);
    // Rows are handed out in order and only the last is ever written, so
    // each new row still holds what the page's pixels grew by: the bytes of
    // a white run, so that long white runs need no writing.
    const uint8_t whiteFill = polarity == 0 ? 0xFF : 0x00;
    uint8_t rowFill = whiteFill;  // what the row being decoded holds
    const auto newRow = [&] {
        rowFill = whiteFill;
        return rows.grownRow(whiteFill);
    };
    RowCursor cursor = newRow();
    for (;;) {
        rows.lineStartsAt(StreamPosition{bits.bitOffset()});
        int32_t total = 0;
        const TwoDimensionalLine line{cursor, rowFill, buffers.current(), buffers.reference(), width, polarity};
        int32_t result2d = decodeTwoDimensionalRuns<LsbFirst, true>(bits, line, total);
        if (result2d == EndOfData) {
            result = rows.kept() > 0 ? 0 : EndOfData;
            break;
        }
        if (result2d == EndAfterFullLine) {
            rows.goodLine();
            break;
        }
        // A line that passes the width is the likeliest first sign of damage
        // in T.6 data, where nothing else tells a wrong code from a right one.
        if (result2d > width && decoder.linesPassingWidthBreak()) result2d = BadCode;  // a line's result is its total
        if (result2d == EolCode || result2d == BadCode) {
            // EOFB (or a stray EOL) ends the page's run of lines.
            rows.segmentBreak();
            if (decoder.damageRule() == MmrDamage::EndLines) {
                result = result2d == BadCode ? BadCode : rows.kept() > 0 ? 0 : EndOfData;
                break;
            }
            if (result2d == BadCode) {
                bits.handBack();
                if (findFlag(decoder, 2) < 0) {
                    result = BadCode;
                    break;
                }
                bits.resync();
            }
            buffers.resetReferenceToWhite(width);
            restartRow(cursor);
            rowFill = 0x00;
            continue;
        }
        buffers.promoteCurrent();
        rows.goodLine();
        if (rows.stopped()) break;
        cursor = newRow();
    }
    bits.handBack();
    rows.endOfData();
    return result;
}

}  // namespace

template <class Rows>
int decodeMmrRows(MmrDecoder& decoder, Rows& rows, RunBuffers& buffers)
{
    return decoder.position().lsbFirst ? decodeMmrLines<true>(decoder, rows, buffers)
                                       : decodeMmrLines<false>(decoder, rows, buffers);
}

template int decodeMmrRows<PageRows>(MmrDecoder&, PageRows&, RunBuffers&);
template int decodeMmrRows<WorkImageRows>(MmrDecoder&, WorkImageRows&, RunBuffers&);

int decodeMmrPage(MmrDecoder& decoder, PageBitmap& page)
{
    if (setUpPage(decoder, page, FaxMmr) < 0) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers) {
        finishPage(page, 0);
        return -1;
    }
    PageRows rows(page, decoder.height(), decoder.width());
    return decodeMmrRows(decoder, rows, *buffers);
}

}  // namespace pagelift

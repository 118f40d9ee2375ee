#include "ccitt/two_d_decoder.h"

#include "ccitt/line_bits.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/held_lines.h"
#include "ccitt/page_setup.h"

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
    const auto put = [&](int64_t end) {
        pen.put(runStart, end);
        const int64_t run = end - runStart;
        runs[runCount] = run > kRunCeiling ? kRunCeiling : int32_t(run);
        runCount += uint32_t(runCount < capacity);
        runStart = end;
    };
    // A horizontal-mode run: any number of make-up codes and one terminating
    // code of the colour. Returns the length or the negative decodeRun result.
    const auto horizontalRun = [&] {
        int32_t length = 0;
        for (;;) {
            const int32_t part = bits.decodeRun(colour);
            if (part < 0) return part;
            length = saturatingAdd(length, part);
            if (part < 64) return length;
        }
    };
    const auto finish = [&](int32_t result) {
        pen.finish(runStart);
        line.reference.next = ref.next;
        line.current.next = runCount;
        lineTotal = runStart > kRunCeiling ? kRunCeiling : int32_t(runStart);
        return result;
    };
    const auto total = [&] { return runStart > kRunCeiling ? kRunCeiling : int32_t(runStart); };

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

    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    HeldLines lines;
    int damaged = 0;
    int16_t tag = 1;
    RowCursor cursor = startRow(page, lines.nextRow(), height);
    const auto nextLine = [&] { cursor = startRow(page, lines.nextRow(), height); };
    // A line lost after an error: a copy of the last good row, as fax
    // receivers show it.
    const auto lostLine = [&] {
        const int32_t row = lines.nextRow();
        startRow(page, row, height);
        if (!lines.damagedLine()) return;
        copyRow(page, lines.kept() - 1, row, height);
    };
    for (;;) {
        const int32_t result = decodeMrLine(decoder, cursor, *buffers, tag);
        if (result == EndOfData) break;
        if (result == EndAfterFullLine) {
            lines.goodLine();
            break;
        }
        if (result == width) {
            lines.goodLine();
            buffers->promoteCurrent();
            nextLine();
            tag = decoder.readBits(1);
            if (tag < 0) break;
            continue;
        }
        if (result == 0) {  // an EOL right after the tag: fill or the end-of-page EOLs
            lines.pageBreak();
            nextLine();
            tag = decoder.readBits(1);
            if (tag < 0) break;
            continue;
        }
        // A damaged line keeps what it decoded. The reference stays as it
        // was, so only a one-dimensional line can follow: the two-dimensional
        // lines up to it are lost. A line that reached its EOL leaves the
        // reader on the next tag.
        ++damaged;
        fillRestWhite(cursor, width, decoder.polarity());
        lines.damagedLine();
        nextLine();
        int32_t lost = 0;
        if (result > 0) {
            tag = decoder.readBits(1);
            if (tag < 0) break;
            if (tag == 1) continue;
            lost = 1;
        }
        int32_t skipped = 0;
        const bool found = seekOneDimensionalLine(decoder, &skipped);
        lost += skipped;
        damaged += lost;
        for (int32_t i = 0; i < lost; ++i) lostLine();
        nextLine();
        if (!found) break;
        tag = 1;
    }
    finishPage(page, std::min(lines.kept(), height));
    return damaged;
}

int decodeMmr(MmrDecoder& decoder, PageBitmap& page)
{
    const int options = decoder.t6Options() & 3;
    if (options == 1 || options == 3) return -1;
    return decodeMmrPage(decoder, page);
}

namespace {

// The page loop of decodeMmrPage. The bit buffer runs on from line to line;
// the decoder's position is brought up to date only where the flag search
// needs it and when the page ends.
template <bool LsbFirst>
int decodeMmrLines(MmrDecoder& decoder, PageBitmap& page, RunBuffers& buffers)
{
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    const uint8_t polarity = decoder.polarity();
    int32_t rows = 0;
    int result = 0;
    LineBits<LsbFirst> bits(decoder);
    // Rows are handed out in order and only the last is ever written, so
    // each new row still holds what the page's pixels grew by: the bytes of
    // a white run, so that long white runs need no writing.
    const uint8_t whiteFill = polarity == 0 ? 0xFF : 0x00;
    uint8_t rowFill = whiteFill;  // what the row being decoded holds
    const auto newRow = [&] {
        rowFill = whiteFill;
        return startNewRow(page, rows, height, whiteFill);
    };
    RowCursor cursor = newRow();
    for (;;) {
        int32_t total = 0;
        const TwoDimensionalLine line{cursor, rowFill, buffers.current(), buffers.reference(), width, polarity};
        const int32_t result2d = decodeTwoDimensionalRuns<LsbFirst, true>(bits, line, total);
        if (result2d == EndOfData) {
            result = rows > 0 ? 0 : EndOfData;
            break;
        }
        if (result2d == EndAfterFullLine) {
            if (rows < height) ++rows;
            break;
        }
        if (result2d == EolCode || result2d == BadCode) {
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
        if (rows < height) ++rows;
        cursor = newRow();
    }
    bits.handBack();
    finishPage(page, rows);
    return result;
}

}  // namespace

int decodeMmrPage(MmrDecoder& decoder, PageBitmap& page)
{
    if (setUpPage(decoder, page, FaxMmr) < 0) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers) {
        finishPage(page, 0);
        return -1;
    }
    return decoder.position().lsbFirst ? decodeMmrLines<true>(decoder, page, *buffers)
                                       : decodeMmrLines<false>(decoder, page, *buffers);
}

}  // namespace pagelift

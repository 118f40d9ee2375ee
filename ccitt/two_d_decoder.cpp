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

// Decodes one two-dimensional line against `reference`. The line ends at an
// EOL for MR; for MMR (endsAtWidth) also once a vertical or horizontal code
// takes a0 to the width. The line is read through `lineBits`, which the
// caller hands back to the decoder when it needs the decoder's own position.
// With RowOfOnes the row under the cursor (a stored one) holds 0xFF bytes
// from the cursor on rather than zeros (see RowPen); it ends as if it had
// been cleared.
// The state lives in locals while the line runs: row bytes are written
// through a byte pointer, which could alias any object the compiler cannot
// see is private. One function per variant, not inlined into the page loop:
// a single body with both variants inlined keeps fewer values in registers.
template <bool LsbFirst, bool RowOfOnes = false>
[[gnu::noinline]] int32_t decodeTwoDimensionalLine(LineBits<LsbFirst>& lineBits, const CcittDecoder& decoder,
                                                   RowCursor& rowCursor, RunList& current, RunList& reference,
                                                   bool endsAtWidth, int32_t& lineTotal)
{
    const int32_t width = decoder.width();
    // The colour whose runs set bits: white (0) with polarity 0, black (1)
    // with polarity 1; none when the row is not stored.
    const int setColour = rowCursor.row == nullptr ? 2 : decoder.polarity() != 0 ? 1 : 0;
    LineBits<LsbFirst> bits = lineBits;
    RowPen<RowOfOnes> pen(rowCursor);
    RunList ref = reference;
    int32_t* const runs = current.runs;
    const uint32_t capacity = runs != nullptr ? current.capacity : 0;
    uint32_t runCount = 0;
    // Positions are 64-bit: damaged data can push them far past the width.
    int64_t b1 = width;
    ref.next = 0;
    if (ref.count > 0) {
        b1 = ref.runs[0];
        ref.next = 1;
    }
    // Where the reference's storage has room past its runs, a sentinel there
    // ends the b1 walks.
    const bool sentinel = ref.runs != nullptr && ref.count < ref.capacity;
    if (sentinel) ref.runs[ref.count] = kB1Sentinel;
    int64_t a0 = 0;
    int64_t pending = 0;  // the part of the current run already passed by pass codes
    int colour = 0;
    const auto moveB1 = [&] {
        if (sentinel) {
            nextB1WithSentinel(ref, a0, b1, colour, width);
        } else {
            nextB1(ref, a0, b1, colour, width);
        }
    };

    // Every run written is pending plus the step of a0, so the runs written
    // add up to a0 - pending; the pixel total is that sum, saturated.
    const auto total = [&] { return a0 - pending > kRunCeiling ? kRunCeiling : int32_t(a0 - pending); };
    const auto write = [&](int64_t length) {
        const int32_t run = length > kRunCeiling ? kRunCeiling : int32_t(length);
        if (colour == setColour) {
            pen.putSet(run);
        } else {
            pen.putSkip(run);
        }
        if (runCount < capacity) runs[runCount++] = run;
        pending = 0;
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
        lineBits.continueFrom(bits);
        pen.settle();
        rowCursor = pen.cursor();
        reference.next = ref.next;
        current.next = runCount;
        lineTotal = total();
        return result;
    };

    for (;;) {
        const int32_t leaf = bits.readLeaf(kModeTree);
        const int mode = leaf >> 2;
        if (leaf > 0 && mode < t4::ModeHorizontal) {
            const int64_t a1 = b1 + kVerticalOffset[mode];
            if (mode >= t4::ModeVL1) rewindB1(ref, a1, b1);
            // A code that would move back past a0: only damaged data do
            // that, and a negative run must never be written.
            if (a1 < a0) return finish(BadCode);
            write(pending + (a1 - a0));
            a0 = a1;
            colour ^= 1;
            moveB1();
            if (endsAtWidth && a0 >= width) return finish(total());
            continue;
        }
        if (leaf < 0) return finish(total() == width ? EndAfterFullLine : EndOfData);
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) bits.unreadBits(1);
            return finish(endsAtWidth ? EolCode : total());
        }
        if (mode == t4::ModeHorizontal) {
            for (int part = 0; part < 2; ++part) {
                const int32_t length = horizontalRun();
                if (length < 0) return finish(length);
                write(pending + length);
                a0 += length;
                colour ^= 1;
            }
            moveB1();
            if (endsAtWidth && a0 >= width) return finish(total());
            continue;
        }
        if (mode == t4::ModePass) {
            int64_t b2 = width;
            if (ref.next < ref.count) {
                b2 = b1 + ref.runs[ref.next];
                ++ref.next;
            }
            if (b2 < a0) return finish(BadCode);
            pending += b2 - a0;
            a0 = b2;
            b1 = b2;
            moveB1();
            continue;  // a pass code never ends a line
        }
        // An invalid code, or the uncompressed-mode extension, which is not supported.
        return finish(BadCode);
    }
}

// One line with the decoder's position taken into a bit buffer and handed back.
template <bool LsbFirst>
int32_t decodeOneTwoDimensionalLine(CcittDecoder& decoder, RowCursor& rowCursor, RunList& current,
                                    RunList& reference, bool endsAtWidth, int32_t& lineTotal)
{
    LineBits<LsbFirst> bits(decoder);
    const int32_t result = decodeTwoDimensionalLine(bits, decoder, rowCursor, current, reference, endsAtWidth, lineTotal);
    bits.handBack();
    return result;
}

int32_t decodeTwoDimensionalLine(CcittDecoder& decoder, RowCursor& rowCursor, RunList& current,
                                 RunList& reference, bool endsAtWidth, int32_t& lineTotal)
{
    return decoder.position().lsbFirst
               ? decodeOneTwoDimensionalLine<true>(decoder, rowCursor, current, reference, endsAtWidth, lineTotal)
               : decodeOneTwoDimensionalLine<false>(decoder, rowCursor, current, reference, endsAtWidth, lineTotal);
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
    return decodeTwoDimensionalLine(decoder, cursor, current, reference, false, total);
}

int32_t decodeMmrLine(CcittDecoder& decoder, RowCursor& cursor, RunList& current, RunList& reference,
                      int32_t& total)
{
    return decodeTwoDimensionalLine(decoder, cursor, current, reference, true, total);
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
    int32_t rows = 0;
    int result = 0;
    LineBits<LsbFirst> bits(decoder);
    // Rows are handed out in order and only the last is ever written, so
    // each new row still holds what the page's pixels grew by. Where white
    // is 1 and the lines above had long runs, the pixels grow by 0xFF bytes:
    // long white runs then need no writing (the line decoder clears the
    // black runs and what its runs do not reach). Rows of many short runs (a
    // noise-like picture) gain nothing from that and grow by zeros.
    const bool whiteIsOne = decoder.polarity() == 0;
    const uint32_t manyRuns = uint32_t(width / 8);
    uint8_t heldFill = 0x00;  // what the rows not yet handed out hold
    bool rowOfOnes = false;
    const auto newRow = [&] {
        const bool longRuns = whiteIsOne && buffers.reference().count <= manyRuns;
        uint8_t fill = longRuns ? 0xFF : 0x00;
        const RowCursor row = startNewRow(page, rows, height, fill, heldFill);
        heldFill = fill;
        rowOfOnes = row.row != nullptr && fill == 0xFF;
        return row;
    };
    RowCursor cursor = newRow();
    for (;;) {
        int32_t total = 0;
        RunList& current = buffers.current();
        RunList& reference = buffers.reference();
        const int32_t line =
            rowOfOnes ? decodeTwoDimensionalLine<LsbFirst, true>(bits, decoder, cursor, current, reference, true, total)
                      : decodeTwoDimensionalLine<LsbFirst>(bits, decoder, cursor, current, reference, true, total);
        rowOfOnes = false;
        if (line == EndOfData) {
            result = rows > 0 ? 0 : EndOfData;
            break;
        }
        if (line == EndAfterFullLine) {
            if (rows < height) ++rows;
            break;
        }
        if (line == EolCode || line == BadCode) {
            if (line == BadCode) {
                bits.handBack();
                if (findFlag(decoder, 2) < 0) {
                    result = BadCode;
                    break;
                }
                bits.resync();
            }
            buffers.resetReferenceToWhite(width);
            restartRow(cursor);
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

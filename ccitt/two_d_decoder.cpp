#include "ccitt/two_d_decoder.h"

#include "ccitt/mh_decoder.h"
#include "ccitt/held_lines.h"
#include "ccitt/page_setup.h"

#include <new>
#include <optional>

namespace pagelift {
namespace {

// A horizontal-mode run: any number of make-up codes and one terminating
// code of the colour. Returns the length or the negative decodeRun result.
int32_t decodeHorizontalRun(CcittDecoder& decoder, int colour)
{
    int32_t length = 0;
    for (;;) {
        const int32_t part = decoder.decodeRun(colour);
        if (part < 0) return part;
        length = saturatingAdd(length, part);
        if (part < 64) return length;
    }
}

// Decodes one two-dimensional line against `reference`. The line ends at an
// EOL for MR; for MMR (endsAtWidth) also once a vertical or horizontal code
// takes a0 to the width. The state lives in locals while the line runs:
// row bytes are written through a byte pointer, which could alias any
// object the compiler cannot see is private.
int32_t decodeTwoDimensionalLine(CcittDecoder& decoder, RowCursor& rowCursor, RunList& current,
                                 RunList& reference, bool endsAtWidth, int32_t& lineTotal)
{
    const int32_t width = decoder.width();
    const int polarity = decoder.polarity();
    RowCursor cursor = rowCursor;
    RunList ref = reference;
    RunList cur = current;
    cur.next = 0;
    cur.count = 0;
    // Positions are 64-bit: damaged data can push them far past the width.
    int64_t b1 = width;
    ref.next = 0;
    if (ref.count > 0) {
        b1 = ref.runs[0];
        ref.next = 1;
    }
    int64_t a0 = 0;
    int64_t pending = 0;  // the part of the current run already passed by pass codes
    int colour = 0;
    int32_t total = 0;

    const auto write = [&](int64_t length) {
        const int32_t run = length > kRunCeiling ? kRunCeiling : int32_t(length);
        putRun(cursor, run, colour ^ polarity);
        cur.append(run);
        total = saturatingAdd(total, run);
        pending = 0;
    };
    // A run of a0's colour ending at a1; false when a1 lies left of a0,
    // which only damaged data do and which must never write a negative run.
    const auto vertical = [&](int64_t a1) {
        if (a1 < a0) return false;
        write(pending + (a1 - a0));
        a0 = a1;
        colour ^= 1;
        nextB1(ref, a0, b1, colour, width);
        return true;
    };
    const auto finish = [&](int32_t result) {
        rowCursor = cursor;
        reference.next = ref.next;
        current.next = cur.next;
        lineTotal = total;
        return result;
    };

    for (;;) {
        const int32_t leaf = decoder.readLeaf(kModeTree);
        if (leaf < 0) return finish(total == width ? EndAfterFullLine : EndOfData);
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) decoder.unreadBits(1);
            return finish(endsAtWidth ? EolCode : total);
        }
        if (leaf == LeafInvalid) return finish(BadCode);
        const int mode = leaf >> 2;
        switch (mode) {
        case t4::ModeV0:
        case t4::ModeVR1:
        case t4::ModeVR2:
        case t4::ModeVR3:
            if (!vertical(b1 + (mode - t4::ModeV0))) return finish(BadCode);
            break;
        case t4::ModeVL1:
        case t4::ModeVL2:
        case t4::ModeVL3: {
            const int64_t a1 = b1 - (mode - t4::ModeVL1 + 1);
            rewindB1(ref, a1, b1);
            if (!vertical(a1)) return finish(BadCode);
            break;
        }
        case t4::ModeHorizontal:
            for (int part = 0; part < 2; ++part) {
                const int32_t length = decodeHorizontalRun(decoder, colour);
                if (length < 0) return finish(length);
                write(pending + length);
                a0 += length;
                colour ^= 1;
            }
            nextB1(ref, a0, b1, colour, width);
            break;
        case t4::ModePass: {
            int64_t b2 = width;
            if (ref.next < ref.count) {
                b2 = b1 + ref.runs[ref.next];
                ++ref.next;
            }
            if (b2 < a0) return finish(BadCode);
            pending += b2 - a0;
            a0 = b2;
            b1 = b2;
            nextB1(ref, a0, b1, colour, width);
            continue;  // a pass code never ends a line
        }
        default:  // uncompressed mode is not supported
            return finish(BadCode);
        }
        if (endsAtWidth && a0 >= width) return finish(total);
    }
}

RowCursor nextStoredRow(PageBitmap& page, int32_t& rows, int32_t height)
{
    if (rows < height) ++rows;
    return startRow(page, rows, height);
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

int decodeMmrPage(MmrDecoder& decoder, PageBitmap& page)
{
    if (setUpPage(decoder, page, FaxMmr) < 0) return -1;
    std::optional<RunBuffers> buffers = makeRunBuffers(decoder);
    if (!buffers) {
        finishPage(page, 0);
        return -1;
    }

    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    int32_t rows = 0;
    int result = 0;
    RowCursor cursor = startRow(page, rows, height);
    for (;;) {
        int32_t total = 0;
        const int32_t line = decodeMmrLine(decoder, cursor, buffers->current(), buffers->reference(), total);
        if (line == EndOfData) {
            result = rows > 0 ? 0 : EndOfData;
            break;
        }
        if (line == EndAfterFullLine) {
            if (rows < height) ++rows;
            break;
        }
        if (line == EolCode || line == BadCode) {
            if (line == BadCode && findFlag(decoder, 2) < 0) {
                result = BadCode;
                break;
            }
            buffers->resetReferenceToWhite(width);
            restartRow(cursor);
            continue;
        }
        buffers->promoteCurrent();
        cursor = nextStoredRow(page, rows, height);
    }
    finishPage(page, rows);
    return result;
}

}  // namespace pagelift

#include "ccitt/mh_decoder.h"

#include "ccitt/held_lines.h"
#include "ccitt/line_bits.h"
#include "ccitt/page_setup.h"
#include "ccitt/two_d_decoder.h"

#include <algorithm>

namespace pagelift {
namespace {

const CodeTree& runTree(int colour) { return colour != 0 ? kBlackTree : kWhiteTree; }

int skipOf(int colour, const CcittDecoder& decoder) { return colour ^ decoder.polarity(); }

// The state of the line being decoded by the one-dimensional page decoders.
struct MhLineState {
    int colour = 0;
    int32_t pending = 0;  // make-up lengths not yet written
    int32_t sum = 0;      // pixels written on this line

    void reset() { *this = MhLineState{}; }

    // Adds a run-tree leaf. A terminating code completes the run: it is
    // written and its length returned. A make-up code returns -1.
    int32_t take(uint16_t leaf, RowCursor& cursor, const CcittDecoder& decoder)
    {
        pending = saturatingAdd(pending, leafRunLength(leaf));
        if (!isTerminatingLeaf(leaf)) return -1;
        const int32_t run = pending;
        putRun(cursor, run, skipOf(colour, decoder));
        sum = saturatingAdd(sum, run);
        pending = 0;
        colour ^= 1;
        return run;
    }
};

// Counts a finished row and hands out the next one; once the page is full
// further lines are decoded into nothing.
RowCursor nextRow(PageBitmap& page, int32_t& rows, int32_t height)
{
    if (rows < height) ++rows;
    return startRow(page, rows, height);
}

}  // namespace

namespace {

// Where a cursor stands, as a pixel position in its row.
int64_t positionOf(const RowCursor& cursor) { return int64_t(cursor.byteIndex) * 8 + cursor.bitIndex; }

// decodeMhLine with the decoder's position in a bit buffer and the row
// position in a pen while the line runs.
template <bool LsbFirst>
int32_t decodeMhLineBuffered(CcittDecoder& decoder, RowCursor& rowCursor, RunList* runs)
{
    const int32_t width = decoder.width();
    LineBits<LsbFirst> bits(decoder);
    // The row was cleared; the line starts with a white run.
    RowPen pen(rowCursor, 0, decoder.polarity() == 0);
    RunList list = runs != nullptr ? *runs : RunList{};
    int colour = 0;
    int32_t pending = 0;  // make-up lengths not yet written
    int32_t sum = 0;
    int64_t position = positionOf(rowCursor);
    const auto finish = [&](int32_t result) {
        bits.handBack();
        pen.finish(position);
        if (runs != nullptr) runs->next = list.next;
        return result;
    };
    for (;;) {
        const int32_t leaf = bits.readLeaf(colour != 0 ? kBlackTree : kWhiteTree);
        if (leaf < 0) return finish(sum == width ? EndAfterFullLine : EndOfData);
        if (leaf == LeafInvalid) return finish(BadCode);
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) bits.unreadBits(1);
            return finish(sum);
        }
        pending = saturatingAdd(pending, leafRunLength(uint16_t(leaf)));
        if (!isTerminatingLeaf(uint16_t(leaf))) continue;
        pen.put(position, position + pending);
        position += pending;
        sum = saturatingAdd(sum, pending);
        list.append(pending);
        pending = 0;
        colour ^= 1;
    }
}

// Reads the run codes of a coding-5 line through a bit buffer for as long
// as taking them is all the page loop would do: it stops before an EOL, an
// invalid or long code, the end of the data, and a terminating code after
// which the line reaches the width (completeAtWidth) or passes it. The
// decoder, cursor and line then stand exactly where the page loop would
// have left them, and the page loop goes on from there code by code.
template <bool LsbFirst>
void takePlainRunsBuffered(CcittDecoder& decoder, RowCursor& cursor, MhLineState& line, bool completeAtWidth)
{
    const int32_t width = decoder.width();
    LineBits<LsbFirst> bits(decoder);
    // The page loop's rows are cleared before their first line.
    RowPen pen(cursor, 0, (line.colour ^ decoder.polarity()) == 0);
    int colour = line.colour;
    int32_t pending = line.pending;
    int32_t sum = line.sum;
    int64_t position = positionOf(cursor);
    for (;;) {
        const uint16_t hit = bits.peek(colour != 0 ? kBlackTree : kWhiteTree);
        if (hit == 0) break;
        const uint16_t leaf = uint16_t(hit >> 4);
        const int32_t run = saturatingAdd(pending, leafRunLength(leaf));
        if (!isTerminatingLeaf(leaf)) {
            bits.skip(hit & 15);
            pending = run;
            continue;
        }
        const int32_t newSum = saturatingAdd(sum, run);
        if (newSum > width || (completeAtWidth && newSum == width)) break;
        bits.skip(hit & 15);
        pen.put(position, position + run);
        position += run;
        sum = newSum;
        pending = 0;
        colour ^= 1;
    }
    bits.handBack();
    pen.finish(position);
    line.colour = colour;
    line.pending = pending;
    line.sum = sum;
}

void takePlainRuns(CcittDecoder& decoder, RowCursor& cursor, MhLineState& line, bool completeAtWidth)
{
    if (decoder.position().lsbFirst) {
        takePlainRunsBuffered<true>(decoder, cursor, line, completeAtWidth);
    } else {
        takePlainRunsBuffered<false>(decoder, cursor, line, completeAtWidth);
    }
}

}  // namespace

int32_t decodeMhLine(CcittDecoder& decoder, RowCursor& cursor, RunList* runs)
{
    return decoder.position().lsbFirst ? decodeMhLineBuffered<true>(decoder, cursor, runs)
                                       : decodeMhLineBuffered<false>(decoder, cursor, runs);
}

int decodeMhPage(CcittDecoder& decoder, PageBitmap& page, int evenOffset)
{
    const uint8_t coding = evenOffset != 0 ? FaxMhWordAligned : FaxMhByteAligned;
    if (setUpPage(decoder, page, coding) < 0) return -1;
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    int32_t rows = 0;
    int result = 0;
    MhLineState line;
    RowCursor cursor = startRow(page, rows, height);
    for (;;) {
        const int32_t leaf = decoder.readLeaf(runTree(line.colour));
        if (leaf < 0) break;
        if (leaf == LeafInvalid) {
            restartRow(cursor);
            result = 1;
            break;
        }
        // These rows carry no EOL; the EOL leaves count as make-up codes of
        // 61, 62 and 63 x 64 pixels, which ends any real row as too long.
        if (line.take(uint16_t(leaf), cursor, decoder) < 0) continue;
        if (line.sum < width) continue;
        if (line.sum > width) {
            restartRow(cursor);
            break;
        }
        cursor = nextRow(page, rows, height);
        decoder.alignToByte(evenOffset);
        line.reset();
    }
    finishPage(page, rows);
    return result;
}

namespace {

// How the lines of a coding-5 page end.
struct EolLineRules {
    bool completeAtWidth;  // a line is complete once it reaches the width, EOL or not
    bool withWord;         // a two-byte word precedes the page and follows every line
};

int decodeEolLines(CcittDecoder& decoder, PageBitmap& page, EolLineRules rules)
{
    if (setUpPage(decoder, page, FaxMhWithEol) < 0) return -1;
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    HeldLines lines;
    int damaged = 0;
    MhLineState line;
    // With lines complete at the width, the EOL that may follow one belongs
    // to it: only a second EOL makes an empty line.
    bool completedWithoutEol = false;
    RowCursor cursor = startRow(page, lines.nextRow(), height);
    const auto nextLine = [&] {
        cursor = startRow(page, lines.nextRow(), height);
        line.reset();
    };
    const auto goodLine = [&] {
        lines.goodLine();
        if (rules.withWord) decoder.skipWord();
        nextLine();
    };
    // The row keeps the pixels decoded so far (cut at the width), white after them.
    const auto damagedLine = [&] {
        fillRestWhite(cursor, width, decoder.polarity());
        ++damaged;
        lines.damagedLine();
        nextLine();
    };
    if (rules.withWord) decoder.skipWord();
    for (;;) {
        takePlainRuns(decoder, cursor, line, rules.completeAtWidth);
        const int32_t leaf = decoder.readLeaf(runTree(line.colour));
        if (leaf < 0) break;
        if (leaf == LeafInvalid) {
            // Junk after a line of full width spoils only its EOL.
            if (line.sum == width) {
                goodLine();
            } else {
                damagedLine();
            }
            completedWithoutEol = false;
            if (decoder.findEol() < 0) break;
            continue;
        }
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) decoder.unreadBits(1);
            if (line.sum == width) {
                goodLine();
            } else if (line.sum > 0 || line.pending > 0) {
                damagedLine();
            } else if (!completedWithoutEol) {
                lines.pageBreak();
                nextLine();
            }
            completedWithoutEol = false;
            continue;
        }
        if (line.take(uint16_t(leaf), cursor, decoder) < 0) continue;
        if (rules.completeAtWidth && line.sum == width) {
            goodLine();
            completedWithoutEol = true;
        } else if (line.sum > width) {
            // Too long to be this page's line: keep what fits and skip the
            // rest of it, up to its EOL.
            damagedLine();
            if (decoder.findEol() < 0) break;
        }
    }
    // The data may end right after a complete line whose EOL never came;
    // rows still held back there lose the good line they waited for.
    if (line.sum == width) lines.goodLine();
    finishPage(page, std::min(lines.kept(), height));
    return damaged;
}

}  // namespace

int decodeMhEolPage(CcittDecoder& decoder, PageBitmap& page)
{
    return decodeEolLines(decoder, page, EolLineRules{false, false});
}

int decodeMhPrefixedPage(CcittDecoder& decoder, PageBitmap& page, int withWord)
{
    return decodeEolLines(decoder, page, EolLineRules{true, withWord != 0});
}

int decodePage(CcittDecoder& decoder, PageBitmap& page)
{
    switch (decoder.coding()) {
    case FaxMhByteAligned: return decodeMhPage(decoder, page, 0);
    case FaxMhWordAligned: return decodeMhPage(decoder, page, 1);
    case FaxMhWithEol: return decodeMhEolPage(decoder, page);
    case FaxMr: return decodeMrPage(decoder, page);
    default: return -1;
    }
}

}  // namespace pagelift

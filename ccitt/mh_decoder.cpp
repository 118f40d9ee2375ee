#include "ccitt/mh_decoder.h"

#include "ccitt/line_bits.h"
#include "ccitt/page_loops.h"
#include "ccitt/page_rows.h"
#include "ccitt/page_setup.h"
#include "ccitt/stream_position.h"
#include "ccitt/two_d_decoder.h"
#include "ccitt/work_image_rows.h"

#include <algorithm>
#include <limits>

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

// decodeMhLine (decodeMhLineToWidth with EndsAtWidth) with the decoder's
// position in a bit buffer and the row position in a pen while the line runs.
template <bool LsbFirst, bool EndsAtWidth>
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
        if (EndsAtWidth && int64_t(sum) + pending > width) return finish(saturatingAdd(sum, pending));
        pen.put(position, position + pending);
        position += pending;
        sum = saturatingAdd(sum, pending);
        list.append(pending);
        pending = 0;
        colour ^= 1;
        if (EndsAtWidth && sum == width) return finish(sum);
    }
}

// How takePlainRuns left the line.
enum class PlainRunsEnd {
    Stopped,          // before a code the page loop reads itself
    CompleteLine,     // the line reached the width; what follows is unread
    CompleteWithEol,  // the line reached the width, and its EOL is taken
};

// Reads the run codes of a coding-5 line through a bit buffer for as long
// as taking them is all the page loop would do: it stops before an EOL, an
// invalid or long code, the end of the data, and a terminating code after
// which the line passes the width. A code that completes the line at the
// width is taken when `completeAtWidth`, and then, when `eolAfterLine`, an
// EOL right after it too (the line's own, which is what mostly follows).
// The decoder, cursor and line then stand exactly where the page loop would
// have left them, and the page loop goes on from there code by code.
// Inlined into the page loop: a call per line costs more than its body on
// short lines.
template <bool LsbFirst>
[[gnu::always_inline]] inline PlainRunsEnd takePlainRunsBuffered(CcittDecoder& decoder, RowCursor& cursor,
                                                              MhLineState& line, bool completeAtWidth,
                                                              bool eolAfterLine)
{
    const int32_t width = decoder.width();
    LineBits<LsbFirst> bits(decoder);
    // The page loop's rows are cleared before their first line.
    RowPen pen(cursor, 0, (line.colour ^ decoder.polarity()) == 0);
    int colour = line.colour;
    int32_t pending = line.pending;
    int32_t sum = line.sum;
    int64_t position = positionOf(cursor);
    PlainRunsEnd taken = PlainRunsEnd::Stopped;
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
        if (newSum > width || (!completeAtWidth && newSum == width)) break;
        bits.skip(hit & 15);
        pen.put(position, position + run);
        position += run;
        sum = newSum;
        pending = 0;
        colour ^= 1;
        if (newSum == width) {
            taken = eolAfterLine && bits.takeEol() ? PlainRunsEnd::CompleteWithEol : PlainRunsEnd::CompleteLine;
            break;
        }
    }
    bits.handBack();
    pen.finish(position);
    line.colour = colour;
    line.pending = pending;
    line.sum = sum;
    return taken;
}

PlainRunsEnd takePlainRuns(CcittDecoder& decoder, RowCursor& cursor, MhLineState& line, bool completeAtWidth,
                           bool eolAfterLine)
{
    return decoder.position().lsbFirst
               ? takePlainRunsBuffered<true>(decoder, cursor, line, completeAtWidth, eolAfterLine)
               : takePlainRunsBuffered<false>(decoder, cursor, line, completeAtWidth, eolAfterLine);
}

}  // namespace

int32_t decodeMhLine(CcittDecoder& decoder, RowCursor& cursor, RunList* runs)
{
    return decoder.position().lsbFirst ? decodeMhLineBuffered<true, false>(decoder, cursor, runs)
                                       : decodeMhLineBuffered<false, false>(decoder, cursor, runs);
}

int32_t decodeMhLineToWidth(CcittDecoder& decoder, RowCursor& cursor, RunList* runs)
{
    return decoder.position().lsbFirst ? decodeMhLineBuffered<true, true>(decoder, cursor, runs)
                                       : decodeMhLineBuffered<false, true>(decoder, cursor, runs);
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

}  // namespace

LineEnd takeEolAfterCompleteLine(CcittDecoder& decoder)
{
    const BitPosition start = decoder.position();
    // Mostly the EOL is there: one look-up in the code tree finds it.
    const int32_t leaf = decoder.readLeaf(kWhiteTree);
    if (isEolLeaf(leaf)) {
        if (leaf != LeafEol) decoder.unreadBits(1);
        return LineEnd::Eol;
    }
    decoder.setPosition(start);
    // The zeros read up to and including the next one: their count, or -1
    // when the data end first.
    const auto zerosThenOne = [&](int32_t limit) {
        int32_t zeros = 0;
        for (;;) {
            const int16_t bit = decoder.readBits(1);
            if (bit < 0) return -1;
            if (bit == 1) return zeros;
            if (++zeros > limit) return -1;
        }
    };
    constexpr int32_t kEolZeros = kEolBits - 1;
    const int32_t first = zerosThenOne(std::numeric_limits<int32_t>::max());  // fill zeros may be many
    if (first < 0) return LineEnd::EndOfData;
    if (first >= kEolZeros) return LineEnd::Eol;
    const int32_t second = zerosThenOne(kEolZeros);
    if (second >= 0 && first + second >= kEolZeros - 1) return LineEnd::DamagedEol;
    decoder.setPosition(start);
    return LineEnd::SomethingElse;
}

bool findEolFrom(CcittDecoder& decoder, StreamPosition from)
{
    BitPosition at = decoder.position();
    at.bytePos = int32_t(from.bits / 8);
    at.bitPos = uint8_t(from.bits % 8);
    decoder.setPosition(at);
    int32_t zeros = 0;
    for (;;) {
        const int16_t bit = decoder.readBits(1);
        if (bit < 0) return false;
        if (bit == 0) {
            ++zeros;
        } else if (zeros >= kEolBits - 1) {
            return true;
        } else {
            zeros = 0;
        }
    }
}

bool findEolAfterBrokenCode(CcittDecoder& decoder, StreamPosition from, StreamPosition brokenAt)
{
    if (!findEolFrom(decoder, from)) return false;
    if (positionOf(decoder).bits > brokenAt.bits) return true;
    const BitPosition after = decoder.position();
    if (takeEolAfterCompleteLine(decoder) != LineEnd::Eol) decoder.setPosition(after);
    return true;
}

template <class Rows>
LineCounts decodeMhEolRows(CcittDecoder& decoder, Rows& rows, EolLineRules rules)
{
    const int32_t width = decoder.width();
    const uint8_t polarity = decoder.polarity();
    LineCounts counts;
    MhLineState line;
    RowCursor cursor = rows.freshRow();
    // Lines ended at the width: the EOL that may follow one belongs to it,
    // so only a second EOL makes an empty line.
    bool eolBelongsToLastLine = false;
    // The codes after a line that reached the width without an EOL after it
    // (or with one damaged): the next line, if it comes out whole, else junk
    // that keeps no row.
    bool afterLineWithoutEol = false;
    // The pixels of the line held last, while it is the line before this one
    // and ended short at its EOL.
    int32_t heldShortLine = -1;
    // Where the line being decoded began.
    StreamPosition lineStart = positionOf(decoder);
    StreamPosition codeStart = lineStart;  // where the code being read began

    const auto pixelLess = [&] { return line.sum == 0 && line.pending == 0; };
    const auto nextLine = [&] {
        cursor = rows.freshRow();
        line.reset();
    };
    const auto lineStartsAfterEol = [&] {
        lineStart = positionOf(decoder);
        rows.lineStartsAt(openingOfLine(decoder, kEolBits));
    };
    // Junk after a complete line: the row is cleared for the next line.
    const auto dropJunk = [&] {
        afterLineWithoutEol = false;
        nextLine();
    };
    // The row keeps the pixels decoded, white after them. Returns whether
    // the line was held.
    const auto damagedLine = [&] {
        fillRestWhite(cursor, width, polarity);
        ++counts.damaged;
        const bool held = rows.damagedLine();
        heldShortLine = -1;
        nextLine();
        return held;
    };
    // A line complete at the width; `eolTaken` when the fast path has
    // already read the EOL after it.
    const auto completeLine = [&](bool eolTaken) {
        rows.goodLine();
        heldShortLine = -1;
        afterLineWithoutEol = false;
        nextLine();
        if (eolTaken) {
            lineStartsAfterEol();
            return;
        }
        if (rules.withWord) decoder.skipWord();
        lineStart = positionOf(decoder);
        if (!rules.eolAfterEveryLine) {
            eolBelongsToLastLine = true;
            return;
        }
        const LineEnd end = takeEolAfterCompleteLine(decoder);
        if (end == LineEnd::Eol || end == LineEnd::DamagedEol) lineStartsAfterEol();
        afterLineWithoutEol = end != LineEnd::Eol;
    };
    // Skips the rest of a broken line up to the next EOL; false when the
    // data end first.
    //
    // The code that broke the line may have read into the EOL after it, with
    // the code before it taking the EOL's first zeros: a search from where
    // the reader stands would miss that EOL and lose the next line. So the
    // search starts early enough to find an EOL whose one lies in that code
    // (and never before the line).
    const auto resumeAfterEol = [&] {
        eolBelongsToLastLine = false;
        const int64_t back = std::max(lineStart.bits, codeStart.bits - (kEolBits - 1));
        if (!findEolAfterBrokenCode(decoder, StreamPosition{back}, positionOf(decoder))) return false;
        lineStartsAfterEol();
        return true;
    };

    // The line broke off at an invalid code or at a run past the width: a
    // damaged line (junk is dropped), then the next EOL. False when the data
    // end first.
    const auto lineBrokeOff = [&](bool atInvalidCode) {
        if (afterLineWithoutEol) {
            dropJunk();
        } else {
            // Make-up lengths read before an invalid code belong to the line;
            // those of a run past the width do not.
            if (!atInvalidCode) {
                line.pending = 0;
            } else {
                ++counts.invalidCodes;
                if (line.pending > 0 && int64_t(line.sum) + line.pending <= width) {
                    putRun(cursor, line.pending, skipOf(line.colour, decoder));
                    line.sum += line.pending;
                    line.pending = 0;
                }
            }
            damagedLine();
        }
        if (resumeAfterEol()) return true;
        line.reset();
        return false;
    };

    // Where every line ends at an EOL, the fast path may take it.
    const bool eolAfterLine = rules.eolAfterEveryLine && !rules.withWord;
    if (rules.withWord) decoder.skipWord();
    for (;;) {
        if (rows.stopped()) break;
        const PlainRunsEnd plain = takePlainRuns(decoder, cursor, line, true, eolAfterLine);
        if (plain != PlainRunsEnd::Stopped) {
            completeLine(plain == PlainRunsEnd::CompleteWithEol);
            continue;
        }
        codeStart = positionOf(decoder);
        const int32_t leaf = decoder.readLeaf(runTree(line.colour));
        if (leaf < 0) break;
        if (leaf == LeafInvalid) {
            if (!lineBrokeOff(true)) break;
            continue;
        }
        if (isEolLeaf(leaf)) {
            if (leaf != LeafEol) decoder.unreadBits(1);
            if (afterLineWithoutEol) {
                dropJunk();
            } else if (pixelLess()) {
                if (!eolBelongsToLastLine) rows.emptyLine();
                heldShortLine = -1;
                nextLine();
            } else if (heldShortLine >= 0 && line.pending == 0 && heldShortLine + line.sum == width) {
                rows.mergeWithHeldLine(heldShortLine);
                heldShortLine = -1;
                nextLine();
            } else {
                const int32_t sum = line.pending == 0 ? line.sum : -1;
                if (damagedLine() && sum >= 0) heldShortLine = sum;
            }
            eolBelongsToLastLine = false;
            lineStartsAfterEol();
            continue;
        }
        line.pending = saturatingAdd(line.pending, leafRunLength(uint16_t(leaf)));
        if (!isTerminatingLeaf(uint16_t(leaf))) continue;
        const int32_t newSum = saturatingAdd(line.sum, line.pending);
        if (newSum > width) {
            // A run that passes the width cannot be this line's: it is not
            // drawn, and the rest of the line up to its EOL is skipped.
            if (!lineBrokeOff(false)) break;
            continue;
        }
        putRun(cursor, line.pending, skipOf(line.colour, decoder));
        line.sum = newSum;
        line.pending = 0;
        line.colour ^= 1;
        if (line.sum == width) completeLine(false);
    }
    // The line the data end in is junk or a line broken off (noise after
    // the page), or nothing at all: it keeps no row.
    rows.endOfData();
    return counts;
}

template LineCounts decodeMhEolRows<PageRows>(CcittDecoder&, PageRows&, EolLineRules);
template LineCounts decodeMhEolRows<WorkImageRows>(CcittDecoder&, WorkImageRows&, EolLineRules);

namespace {

int decodeEolPage(CcittDecoder& decoder, PageBitmap& page, EolLineRules rules)
{
    if (setUpPage(decoder, page, FaxMhWithEol) < 0) return -1;
    PageRows rows(page, decoder.height(), decoder.width());
    return decodeMhEolRows(decoder, rows, rules).damaged;
}

}  // namespace

int decodeMhEolPage(CcittDecoder& decoder, PageBitmap& page)
{
    return decodeEolPage(decoder, page, EolLineRules{true, false});
}

int decodeMhPrefixedPage(CcittDecoder& decoder, PageBitmap& page, int withWord)
{
    return decodeEolPage(decoder, page, EolLineRules{false, withWord != 0});
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

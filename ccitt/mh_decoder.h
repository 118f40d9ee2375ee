#pragma once

#include "ccitt/ccitt_decoder.h"
#include "ccitt/row_writer.h"
#include "ccitt/run_list.h"
#include "ccitt/stream_position.h"
#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// One Modified Huffman line from the current position up to and including
// its EOL (any bit read past the EOL is put back). Runs are written through
// the cursor; when `runs` is given, every completed run is appended to it.
// Returns the pixel total (not cut at the decoder's width: callers compare),
// BadCode for an invalid code, or when the bits run out EndAfterFullLine if
// the total equals the width, else EndOfData.
int32_t decodeMhLine(CcittDecoder& decoder, RowCursor& cursor, RunList* runs);

// As decodeMhLine, but the line ends as soon as it reaches the width, before
// any EOL; a run that would take it past the width is not written, and the
// total with it is returned.
int32_t decodeMhLineToWidth(CcittDecoder& decoder, RowCursor& cursor, RunList* runs);

// What follows a line that reached the width.
enum class LineEnd {
    Eol,          // its EOL, with any fill zeros before it
    DamagedEol,   // what may be its EOL with one zero flipped to a one
    EndOfData,    // nothing but zeros, if anything, up to the end of the data
    SomethingElse
};

// Takes the EOL after a line that reached the width. An EOL one of whose
// zeros was flipped (two runs of zeros, each ended by a one, ten zeros or
// more in all) is taken as well, as DamagedEol: without it the next line
// would be lost and every line below would move up a row, but junk after a
// line can look the same, so a caller may keep the next line only if it
// comes out whole. Anything else is left unread.
LineEnd takeEolAfterCompleteLine(CcittDecoder& decoder);

// Puts the reader just after the next EOL (eleven zeros or more and a one),
// searching bit by bit from `from`, which may lie before the reader; false
// when the data end first. Where a code broke a line, the EOL after it may
// begin before the reader: that code may have read into it.
bool findEolFrom(CcittDecoder& decoder, StreamPosition from);

// findEolFrom for the rest of a line broken at a code that ended at bit
// `brokenAt`. An EOL found within the bits already read may be made of the
// zeros of the broken codes: when another EOL follows it at once, the reader
// goes after that one, so that the line after is not taken for empty.
bool findEolAfterBrokenCode(CcittDecoder& decoder, StreamPosition from, StreamPosition brokenAt);

// Codings 3 (evenOffset 0) and 4 (evenOffset 1): rows back to back without
// EOL, each starting on a byte (or even byte) boundary. The page ends at the
// end of the data, at an invalid code (result 1) or at a row longer than the
// width (result 0). Returns -1 when the page cannot be set up.
int decodeMhPage(CcittDecoder& decoder, PageBitmap& page, int evenOffset);

// Coding 5: lines ended by EOL, as decodeMhEolRows (ccitt/page_loops.h)
// reads them; damaged lines keep their row where HeldLines keeps it, empty
// lines add no row. Returns the number of damaged lines, or -1 when the
// page cannot be set up.
int decodeMhEolPage(CcittDecoder& decoder, PageBitmap& page);

// Coding 5 where a line need not be followed by an EOL: one EOL after a line
// belongs to it and only a second is an empty line; with
// withWord != 0 a two-byte word precedes the first line and follows every
// completed one, and is skipped unread. Damaged lines as decodeMhEolPage.
// Returns the number of damaged lines, or -1 when the page cannot be set up.
int decodeMhPrefixedPage(CcittDecoder& decoder, PageBitmap& page, int withWord);

// The page decoder for the decoder's coding: 3, 4, 5 or 6 (MR). Returns what
// that decoder returns; -1 for any other coding (MMR has decodeMmr).
int decodePage(CcittDecoder& decoder, PageBitmap& page);

}  // namespace pagelift

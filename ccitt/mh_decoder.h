#pragma once

#include "ccitt/ccitt_decoder.h"
#include "ccitt/row_writer.h"
#include "ccitt/run_list.h"
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

// Codings 3 (evenOffset 0) and 4 (evenOffset 1): rows back to back without
// EOL, each starting on a byte (or even byte) boundary. The page ends at the
// end of the data, at an invalid code (result 1) or at a row longer than the
// width (result 0). Returns -1 when the page cannot be set up.
int decodeMhPage(CcittDecoder& decoder, PageBitmap& page, int evenOffset);

// Coding 5: lines ended by EOL. A damaged line (short at its EOL, broken off
// at an invalid code, or longer than the width, whose rest is skipped up to
// the next EOL) keeps the pixels it decoded, cut at the width, and white
// after them, where HeldLines keeps it; empty lines add no row. Returns the
// number of damaged lines, or -1 when the page cannot be set up.
int decodeMhEolPage(CcittDecoder& decoder, PageBitmap& page);

// Coding 5 where a line ends as soon as it reaches the width, so one EOL
// after it belongs to it and only a second is an empty line; with
// withWord != 0 a two-byte word precedes the first line and follows every
// completed one, and is skipped unread. Damaged lines as decodeMhEolPage.
// Returns the number of damaged lines, or -1 when the page cannot be set up.
int decodeMhPrefixedPage(CcittDecoder& decoder, PageBitmap& page, int withWord);

// The page decoder for the decoder's coding: 3, 4, 5 or 6 (MR). Returns what
// that decoder returns; -1 for any other coding (MMR has decodeMmr).
int decodePage(CcittDecoder& decoder, PageBitmap& page);

}  // namespace pagelift

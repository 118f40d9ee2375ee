#pragma once

#include "ccitt/ccitt_decoder.h"
#include "ccitt/mmr_decoder.h"
#include "ccitt/row_writer.h"
#include "ccitt/run_list.h"
#include "raster/page_bitmap.h"

#include <cstdint>
#include <optional>

namespace pagelift {

// The two run arrays of a page of the decoder's width, the reference set to
// the imaginary white line; nullopt when memory runs out.
std::optional<RunBuffers> makeRunBuffers(const CcittDecoder& decoder);

// Reads tag bits after EOLs until one announces a one-dimensional line.
// False when the data end first. The two-dimensional lines passed on the way
// are counted into *twoDimensionalLines when it is given.
bool seekOneDimensionalLine(CcittDecoder& decoder, int32_t* twoDimensionalLines = nullptr);

// One two-dimensional T.4 line (after EOL + tag 0) up to and including the
// next EOL, against `reference`. Runs go through the cursor, which stands at
// the start of a cleared row, and into `current`; both run lists are those
// of a RunBuffers. Returns the pixel total (not cut at the width), BadCode
// (invalid code, uncompressed-mode extension, or a code that would move back
// past a0), EndOfData / EndAfterFullLine when the bits run out, or the error
// of a run code inside horizontal mode.
int32_t decode2dLine(CcittDecoder& decoder, RowCursor& cursor, RunList& current, RunList& reference);

// One T.4 two-dimensional line after its tag bit: one-dimensional after tag
// 1, two-dimensional against the reference after tag 0. The runs go into
// buffers.current(), which starts empty. Returns what decodeMhLine or
// decode2dLine returns.
int32_t decodeMrLine(CcittDecoder& decoder, RowCursor& cursor, RunBuffers& buffers, int16_t tag);

// One T.6 line, on the same terms as decode2dLine: it ends as soon as a
// vertical or horizontal code takes a0 to the width or beyond. Returns the
// pixel total (also left in `total`), EolCode for an EOL, BadCode, EndOfData
// or EndAfterFullLine.
int32_t decodeMmrLine(CcittDecoder& decoder, RowCursor& cursor, RunList& current, RunList& reference,
                      int32_t& total);

// Coding 6 (T.4 two-dimensional). Decoding starts at the first EOL followed
// by tag 1; the lines are those of decodeMrRows (ccitt/page_loops.h), damaged
// rows where HeldLines keeps them. Returns the number of damaged lines, or
// -1 when the page cannot be set up or no such EOL exists.
int decodeMrPage(CcittDecoder& decoder, PageBitmap& page);

// Coding 7 (T.6). Returns -1 without decoding when the T.6 options ask for
// uncompressed mode or carry an undefined bit (option value & 3 is 1 or 3);
// otherwise what decodeMmrPage returns.
int decodeMmr(MmrDecoder& decoder, PageBitmap& page);

// Decodes T.6 lines from the current position, the first against an
// all-white reference. An EOL (or EOFB) resets the reference to white; an
// invalid code sends the reader to the next flag run (findFlag mode 2).
// Returns 0 when at least one row was decoded or the data end right after a
// line, EndOfData when the data end before any row, BadCode when no flag
// follows an invalid code, -1 when the page cannot be set up.
int decodeMmrPage(MmrDecoder& decoder, PageBitmap& page);

}  // namespace pagelift

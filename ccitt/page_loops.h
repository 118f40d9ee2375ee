#pragma once

// The page loops, one per coding, written once for both places rows go: a
// page raster in memory (PageRows) and the working image of a raw stream
// (WorkImageRows). Each is a template on where the rows go, instantiated for
// those two in mh_decoder.cpp and two_d_decoder.cpp, so the loops cost no
// call through a pointer per row.

#include "ccitt/ccitt_decoder.h"
#include "ccitt/mmr_decoder.h"
#include "ccitt/run_list.h"

#include <cstdint>

namespace pagelift {

class PageRows;
class WorkImageRows;

// What a page loop met: damaged lines (those that kept a row and those that
// did not) and invalid codes among them.
struct LineCounts {
    int32_t damaged = 0;
    int32_t invalidCodes = 0;
};

// How the lines of a coding-5 page end.
struct EolLineRules {
    // Every line is followed by its EOL, as T.4 stores them: the codes
    // after a line that reached the width and no EOL are looked at only for
    // lines whose EOL was lost. Otherwise a line ends once it reaches the
    // width, and one EOL after it belongs to it.
    bool eolAfterEveryLine;
    bool withWord;  // a two-byte word precedes the page and follows every line
};

// Coding 5 from the reader's position to the end of the data. A line ends
// when it reaches the width. After it, its EOL is expected; an EOL with one
// flipped bit is taken for one. A line that reaches its EOL short, breaks
// off at an invalid code or would pass the width (the run that passes it is
// not drawn) is damaged: it keeps the pixels it decoded, white after them.
// Two damaged lines in a row, each short at its EOL, whose pixels add up to
// the width are one line split by a false EOL: the second goes on the first
// one's row.
template <class Rows>
LineCounts decodeMhEolRows(CcittDecoder& decoder, Rows& rows, EolLineRules rules);

// Coding 6 from the reader's position, which stands after an EOL with tag 1.
// Lines end when they reach the width, and their EOL is taken as in
// decodeMhEolRows. A damaged line keeps the runs it decoded that fit the
// width, white after them, and is the reference of the two-dimensional
// lines after it, each of which keeps its row: one row per EOL, so no line
// below moves. After a line broken off, decoding resumes at the next EOL.
template <class Rows>
LineCounts decodeMrRows(CcittDecoder& decoder, Rows& rows, RunBuffers& buffers);

// Coding 7 from the reader's position, the first line against an all-white
// reference. Under MmrDamage::ResumeAtFlag an EOL (or EOFB) resets the
// reference to white and an invalid code sends the reader to the next flag
// run (findFlag mode 2); under EndLines either ends the lines, the line it
// broke not kept. Returns 0 when at least one row was kept or the data end
// right after a line, EndOfData when the data end before any row, BadCode
// when no flag follows an invalid code, or (EndLines) at an invalid code.
template <class Rows>
int decodeMmrRows(MmrDecoder& decoder, Rows& rows, RunBuffers& buffers);

extern template LineCounts decodeMhEolRows<PageRows>(CcittDecoder&, PageRows&, EolLineRules);
extern template LineCounts decodeMhEolRows<WorkImageRows>(CcittDecoder&, WorkImageRows&, EolLineRules);
extern template LineCounts decodeMrRows<PageRows>(CcittDecoder&, PageRows&, RunBuffers&);
extern template LineCounts decodeMrRows<WorkImageRows>(CcittDecoder&, WorkImageRows&, RunBuffers&);
extern template int decodeMmrRows<PageRows>(MmrDecoder&, PageRows&, RunBuffers&);
extern template int decodeMmrRows<WorkImageRows>(MmrDecoder&, WorkImageRows&, RunBuffers&);

}  // namespace pagelift

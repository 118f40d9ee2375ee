#pragma once

// Decoding one page whose coded bytes a container reader has loaded: either
// with the layout its container states, or with the layout trial decoding
// finds when the container does not say how the page is coded.

#include "ccitt/fax_coding.h"
#include "ccitt/mmr_decoder.h"
#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// How the coded bytes of one page are to be read.
struct CodedPageLayout {
    uint8_t bitOrder = 1;           // 1: a byte's most significant bit first; any other: its least
    uint8_t coding = FaxMhWithEol;  // a FaxCoding, 3 to 7
    uint8_t polarity = 0;           // 0: white runs become 1 bits; 1: black runs do
    uint8_t t6Options = 0;          // T.6 options of the container (MMR only)
    uint8_t flagCount = 3;          // MMR only: flag bytes a resumption after damage looks for (0: none)
    MmrDamage mmrDamage = MmrDamage::ResumeAtFlag;  // MMR only: what follows a line that cannot be decoded
    bool linesPassingWidthBreak = false;            // MMR only: such a line is one that cannot be decoded
    int32_t width = 0;              // pixels per row
    int32_t height = 0;             // most rows the page may have
};

// True when a page of width x rows pixels may be decoded: both at least 1
// and its one-bit raster within kMaxPageBytes. Takes 64-bit values so that
// header fields of any size can be passed unchecked.
bool pageGeometryFits(int64_t width, int64_t rows);

// Decodes a page of known layout into `page`, replacing what it held; T.6
// data are read from the first byte. Returns the page decoder's result
// (decodePage, decodeMmr), or -1 with `page` empty (no rows, no pixels) when
// the coding is not 3 to 7 or the geometry does not fit.
int decodeCodedPage(const uint8_t* data, int32_t size, const CodedPageLayout& layout, PageBitmap& page);

// A page whose container does not say how it is coded.
struct UnlabelledPage {
    uint16_t threshold = 50;  // lines that must agree before a layout is taken
    uint8_t flagCount = 3;    // flag count of the T.6 flag search
    bool mayBeMmr = true;     // also try T.6 once T.4 is not found
    int32_t width = 0;        // the container's width; 0: the width detection finds
    int32_t height = 0;       // most rows the page may have
};

// Finds bit order, coding and width by trial decoding (T.4 one- and
// two-dimensional, then T.6 behind a flag run when mayBeMmr) and decodes the
// page into `page` with them. T.6 data are read from the end of the flag run
// the detection found, so the flag's one bits never become rows. Returns 0
// when a layout was found and at least one row decoded; -1 with `page` empty
// (no rows, no pixels) otherwise.
int decodeUnlabelledPage(const uint8_t* data, int32_t size, const UnlabelledPage& request, PageBitmap& page);

}  // namespace pagelift

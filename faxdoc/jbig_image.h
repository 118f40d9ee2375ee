#pragma once

// JBIG bi-level image entities (BIEs, ITU-T T.82), as fax servers store T.85
// pages, decoded with jbigkit.

#include "raster/page_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pagelift {

inline constexpr size_t kJbigHeaderSize = 20;

// Whether the bytes open with a BIE header stored bit-reversed: false when
// the header is well-formed as stored, true when it is well-formed with every
// byte's bits reversed, nullopt when it is neither. Well-formed means one
// bit plane, the lowest resolution layer first and a reserved byte of 0,
// which only one of the two orders can give.
std::optional<bool> jbigHeaderReversed(const uint8_t* data, size_t length);

// How a BIE is read into a page.
struct JbigReading {
    // A pixel of value 1 is black (JBIG's own sense, and TIFF's
    // min-is-white); else it is white.
    bool oneIsBlack = true;
    // At most this many rows are kept.
    uint32_t rowLimit = UINT32_MAX;
};

// Results of decodeJbigImage.
enum JbigResult : int {
    JbigDecoded = 0,
    JbigNoImage = -1,   // no well-formed BIE header in either bit order
    JbigTooLarge = -2,  // the size it declares (after a NEWLEN marker) passes the page limits
    JbigDamaged = -3,   // an empty size, or data that end early or do not decode
};

// Decodes the BIE in `data`, in the bit order its header is well-formed in,
// into `page` (width and rows from the BIE, the
// fax profile's NEWLEN marker applied before anything is allocated, rows
// beyond reading.rowLimit dropped; coding CodingJbig, resolution left 0).
// Returns JbigDecoded, or a negative JbigResult with `page` empty but for
// JbigTooLarge: a page beyond 100 million pixels or 65,500 on a side is
// never allocated, and `page` then only describes its size (no pixels).
int decodeJbigImage(const uint8_t* data, size_t length, const JbigReading& reading, PageBitmap& page);

}  // namespace pagelift

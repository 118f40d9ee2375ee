#pragma once

// Trial decoding of CCITT data whose bit order, coding and line width are
// unknown. A probe accepts a guess once `threshold` consecutive lines decode
// to the same width (a threshold of 0 counts as 1: a probe must have seen at
// least one line). Every probe stops at the end of the data, whatever the
// bytes are, and leaves the decoder re-initialised at byte 0 with the bit
// order it tried, so the next step starts from the beginning again.

#include "ccitt/ccitt_decoder.h"
#include "ccitt/mmr_decoder.h"

#include <array>
#include <cstdint>
#include <string>

namespace pagelift {

// The standard line widths, in the order in which they are tried.
inline constexpr std::array<int32_t, 9> kStandardWidths = {1728, 2048, 2432, 2592, 3072, 3648, 3456, 4096, 4864};

// The widest line the probes handle: probe rows are 608 bytes, probe run
// arrays hold one line of this width.
inline constexpr int32_t kMaxProbeWidth = 4864;

// Probe results.
inline constexpr int kProbeFound = 0;
inline constexpr int kProbeNoMemory = -1;
inline constexpr int kProbeNotFound = -2;

// What a container reader learns from the detection entries.
struct StreamProbe {
    uint32_t start = 0;      // MMR only: byte where the flag run before the data begins
    uint32_t width = 0;      // detected width
    uint8_t bitOrder = 0;    // detected bit order: 1 most significant bit first, 2 least
    uint8_t coding = 0;      // detected FaxCoding: 5, 6 or 7
    uint16_t threshold = 50; // input: lines that must agree
    uint8_t flagCount = 3;   // input, MMR only: flag count of the flag search
};

// MH lines ended by EOL whose width is a standard one. Found: the decoder's
// width is set. Returns kProbeFound or kProbeNotFound.
int probeMhWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold);

// MH lines of any width above minWidth (up to kMaxWorkImageWidth); shorter
// lines are passed over. Returns kProbeFound (decoder width set) or
// kProbeNotFound.
int probeMhAnyWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold, uint16_t minWidth);

// T.4 two-dimensional lines (EOL and tag bit) of a standard width. Returns
// kProbeFound (decoder width set), kProbeNotFound or kProbeNoMemory.
int probeMrWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold);

// T.4 two-dimensional lines of any width above minWidth, up to
// kMaxProbeWidth; narrower lines are passed over but serve as the reference
// of the next two-dimensional line. Returns kProbeFound (decoder width set),
// kProbeNotFound or kProbeNoMemory.
int probeMrAnyWidth(CcittDecoder& decoder, uint8_t bitOrder, uint16_t threshold, uint16_t minWidth);

// T.6 lines of exactly `width` pixels after a flag run (from the current
// byte when the decoder's rawStream is set); after a line of another width
// the search goes on at the next flag run. Lines that repeat the line above
// are not counted (they decode to any width in either bit order) and do not
// break the count. Accepted: `threshold` counted lines with no failure
// between them, or at least one when the data or the page (EOFB) end right
// after them and no line failed since their flag (a sparse page). Widths
// outside 1..kMaxProbeWidth are never found. Found: the decoder's markPos is the
// flag run that opened the accepted lines. Returns kProbeFound,
// kProbeNotFound or kProbeNoMemory.
int probeMmrWidth(MmrDecoder& decoder, uint8_t bitOrder, int32_t width, uint16_t threshold, uint8_t flagCount);

// Empties both working files, then looks for MH and MR parameters in this
// order: standard MH widths, standard MR widths, any MH width and any MR
// width (both when anyWidth); the first found leads to the MH or MR writer. Returns the writer's result (bad lines, >= 0), or -1 when
// nothing was found or a file could not be created.
int rawToWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath,
                   uint16_t threshold, uint8_t bitOrder, bool anyWidth, uint16_t minWidth);

// Empties the working image, then tries T.6 at minWidth (when anyWidth and
// minWidth is a width the probes handle) and at each standard width. Found:
// the MMR writer runs from the first byte when the decoder's rawStream is
// set, else from the coded data that follow the flag run the probe found.
// Returns the writer's result (0 or negative), or -1 when nothing was found.
int rawMmrToWorkFiles(MmrDecoder& decoder, const std::string& imagePath, const std::string& segmentPath,
                      uint16_t threshold, uint8_t flagCount, uint8_t bitOrder, bool anyWidth, uint16_t minWidth);

// For container readers whose pages hold MH or MR data of unknown layout:
// the standard-width MH and MR probes, then the any-width MH and MR probes
// (minimum width 1728), each with bit order 1 before 2. Returns 0 with `width`,
// `bitOrder` and `coding` (5 or 6) filled in, or -1.
int detectMhMr(CcittDecoder& decoder, StreamProbe& probe);

// For container readers with T.6 data of unknown layout: each standard width
// in order, bit order 1 before 2. Returns 0 with `start`, `width`, `bitOrder`
// and `coding` (7) filled in, or -1.
int detectMmr(MmrDecoder& decoder, StreamProbe& probe);

}  // namespace pagelift

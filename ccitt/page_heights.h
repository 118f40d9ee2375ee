#pragma once

#include <cstdint>

namespace pagelift {

// The height in lines of a whole page of a raw stream, by paper size (1 A4,
// 2 B4, 3 A3) and vertical resolution: 100 dpi up to 100, 200 up to 200, 300
// up to 300, else 400 (A4: 1144, 2288, 3432, 4576 lines). Every other paper
// size counts as A4 at 100 dpi. One table answers both ways below.
uint32_t rowsPerPageFor(uint8_t paperSize, int32_t verticalResolution);

// The resolution at which a page of `lines` lines fits the paper: the
// lowest of 100, 200, 300 whose page holds them, else 400. Paper sizes
// outside 1..3 give `otherwise`.
uint16_t resolutionForPageLines(uint8_t paperSize, int32_t lines, uint16_t otherwise);

// The resolution that an A4 page height stands for (1144 lines: 100, ...);
// any other height gives `otherwise`.
int16_t resolutionOfA4PageHeight(uint32_t rowsPerPage, int16_t otherwise);

}  // namespace pagelift

#pragma once

// The two working files of the raw-stream analysis. Once the probes have
// found bit order, coding and width, a writer decodes the whole stream into
//
//  - the working image: a 37-byte header (the PageBitmap fields from
//    `reserved` to `photometric`, packed little-endian, then 4 zero bytes)
//    followed by the good rows top to bottom, bytesPerRow bytes each;
//  - the segment file: a 4120-byte header, then one 14-byte record per run
//    of consecutive good lines (a "segment"), which the resolution guess
//    reads on the assumption that a run of good lines is one page.
//
// Only the rows held back and the row being decoded are in memory: each good
// row goes to the working image as soon as it is complete, whatever the
// length of the stream (work_image_rows.h).

#include "ccitt/ccitt_decoder.h"
#include "ccitt/mmr_decoder.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pagelift {

inline constexpr size_t kPageHeaderFieldsSize = 33;
inline constexpr size_t kWorkImageHeaderSize = 37;
inline constexpr size_t kSegmentHeaderSize = 4120;
inline constexpr size_t kSegmentRecordSize = 14;

// Widest line the working files take: the widest a 16-bit signed width
// field can state, far beyond any fax line.
inline constexpr int32_t kMaxWorkImageWidth = 32767;

// The working image never grows beyond this many bytes of rows (and never
// beyond the rows a 32-bit header field counts); a stream that would pass it
// ends there, as if its data had run out.
inline constexpr int64_t kMaxWorkImageRowBytes = int64_t(1) << 32;

// The header fields of `page` as the working image stores them, the four
// reserved bytes included (zero).
std::array<uint8_t, kWorkImageHeaderSize> encodeWorkImageHeader(const PageBitmap& page);

// Copies the first 33 bytes of a working-image header over the header fields
// of `page`; its pixels and texts stay as they are.
void decodeWorkImageHeader(const uint8_t* bytes, PageBitmap& page);

// Decodes a T.4 one-dimensional stream (coding 5) from the first EOL on,
// with the decoder's width and bit order, by the page loop of the page
// decoder (decodeMhEolRows in page_loops.h); damaged lines keep their rows
// between good lines, and the EOLs that end a page keep none.
// Every line that is not good ends the current segment. Returns the number
// of invalid codes met, or -1 when a working file cannot be created or
// written.
int writeMhWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath);

// Decodes a T.4 two-dimensional stream (coding 6) from the first EOL that is
// followed by tag 1, by the page loop of the page decoder (decodeMrRows).
// Every line that is not good ends the current segment. Returns the number
// of damaged lines, or -1 when a working file cannot be created or written,
// memory runs out, or no EOL with tag 1 exists.
int writeMrWorkFiles(CcittDecoder& decoder, const std::string& imagePath, const std::string& segmentPath);

// Decodes a T.6 stream (coding 7) from the decoder's read position against
// an all-white first reference, by the page loop of the page decoder
// (decodeMmrRows). Every line the line decoder completes is kept; an EOL (EOFB) resets the reference and ends the segment; an invalid
// code ends the segment and resumes after the next flag run. Returns 0 when
// at least one row was kept, EndOfData when the stream gave no row, BadCode
// when no row was kept and the flag search after an invalid code failed,
// -1 when a working file cannot be created or written or memory runs out.
int writeMmrWorkFiles(MmrDecoder& decoder, const std::string& imagePath, const std::string& segmentPath);

// Reads the segment file, takes its longest segment L and picks the vertical
// resolution for the paper size of its header: A4 100 up to 1144 lines, 200
// up to 2288, 300 up to 3432, else 400 (B4: 1363, 2726, 4089; A3: 1617, 3234,
// 4851); any other paper size leaves `resolution` as it is. L and the
// resolution are written into the segment header. `longestPage`, when longer
// than L, decides instead: the rows of the longest page the writer kept,
// damaged lines that kept their place included, since a damaged line breaks
// a segment but not the page it stands in. Returns 0; -2 when the file holds
// no segment (`resolution` untouched); -1 when it cannot be opened, read or
// written.
int guessResolution(const std::string& segmentPath, uint16_t& resolution, int32_t longestPage = 0);

}  // namespace pagelift

#pragma once

// Raw fax streams made by independent encoders for the raw-stream tests:
// netpbm's pbmtog3 for MH, libtiff's tiffcp for MR and MMR (the coded strip
// of a one-strip page), netpbm's g3topbm reading an MH page, and reading such
// a stream back the way the conversion does.

#include "settings/decode_settings.h"
#include "raster/page_bitmap.h"
#include "support/fax_oracles.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pagelift::testing {

// The tools the pages are drawn and encoded with.
inline const std::initializer_list<std::string> kRawStreamTools = {"pbmtext", "pnmcrop",  "pnmenlarge", "pnmpad",
                                                                   "pamcut",  "pbmtog3", "g3topbm", "tiffcp"};

// A page of text (lines separated by '\n'), width x height, the letters
// enlarged `scale` times, drawn by netpbm. Empty when drawing fails.
Picture textPicture(const ScratchFolder& scratch, const std::string& text, int32_t width, int32_t height,
                    int scale = 4);

// The pages one above the other.
Picture stackPictures(const std::vector<Picture>& pictures);

// `count` rows of `picture` from row `first`; rows beyond its end are white.
Picture pictureRows(const Picture& picture, int32_t first, int32_t count);

// MH lines with EOLs and a closing RTC, as pbmtog3 writes them (at the
// picture's own width), bits reversed in every byte when reverseBits is set.
std::vector<uint8_t> pbmtog3Stream(const ScratchFolder& scratch, const Picture& picture, bool reverseBits);

// The first page of an MH stream as g3topbm reads it (up to its RTC), bits
// taken least significant first when reverseBits is set. Empty when g3topbm
// fails.
Picture g3topbmPicture(const ScratchFolder& scratch, const std::vector<uint8_t>& stream, bool reverseBits);

// The coded strip of the picture as a one-strip TIFF page written by tiffcp
// with `compression` ("g3:2d", "g4", ...), least significant bit first when
// lsbFirst is set.
std::vector<uint8_t> tiffcpStrip(const ScratchFolder& scratch, const Picture& picture, const std::string& compression,
                                 bool lsbFirst);

// The T.4 two-dimensional end of page, six EOLs each with tag 1, appended
// after the last byte of `stream`.
void appendMrRtc(std::vector<uint8_t>& stream, bool lsbFirst);

// Settings as a command-line run starts with them (no non-standard widths,
// no raw MMR), the working files in `scratch`.
DecodeSetup rawSettings(const ScratchFolder& scratch);

// Every page of `stream` read as a raw fax file (named call.g3 in scratch)
// by a FaxDocument with these settings.
std::vector<PageBitmap> readRawPages(const ScratchFolder& scratch, const std::vector<uint8_t>& stream,
                                     const DecodeSetup& setup);

// The pages the reader is to cut from `all`: rowsPerPage rows each, the last
// one the remainder.
std::vector<Picture> cutIntoPages(const Picture& all, int32_t rowsPerPage);

}  // namespace pagelift::testing

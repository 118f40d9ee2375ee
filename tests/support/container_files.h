#pragma once

// Container files around pages that independent tools encode: BMP and CALS
// files written by ImageMagick, PCX pages by netpbm's ppmtopcx, TIFF files by
// libtiff's tiffcp. The DCX, .ds, .ed and .ig4 wrappings are laid out here,
// field by field, around those tools' output. Every maker returns no bytes
// when a tool fails.

#include "support/fax_oracles.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pagelift::testing {

using Bytes = std::vector<uint8_t>;

// The tools the makers below run.
inline const std::initializer_list<std::string> kContainerTools = {kImageMagick, "ppmtopcx", "tiffcp"};

// A one-bit BMP written by ImageMagick (bottom-up, table black first);
// `density` ("200x100", or "" for none) in dots per inch.
Bytes imageMagickBmp(const ScratchFolder& scratch, const Picture& picture, const std::string& density);

// The same BMP stored top-down: negative height, rows in the other order.
Bytes bmpTopDown(const Bytes& bmp);

// The same BMP with its two table entries swapped and every pixel bit
// inverted: it shows the same picture.
Bytes bmpTableSwapped(const Bytes& bmp);

// Offsets of a BMP's pixel data and of its colour table.
uint32_t bmpPixelOffset(const Bytes& bmp);
uint32_t bmpTableOffset(const Bytes& bmp);

// A one-bit PCX image written by ppmtopcx (its resolution fields hold the
// picture's width and height).
Bytes ppmtopcxPage(const ScratchFolder& scratch, const Picture& picture);

// A DCX file: the DCX number, the page offsets, 0, then the pages.
Bytes dcxFile(const std::vector<Bytes>& pages);

// A CALS file written by ImageMagick at `density` dots per inch.
Bytes imageMagickCals(const ScratchFolder& scratch, const Picture& picture, int density);

// A whole TIFF file of the picture at `density` ("204x98"), coded by tiffcp
// with `compression` ("g4", "g3:2d", ...), least significant bit first when
// lsbFirst is set.
Bytes tiffcpFile(const ScratchFolder& scratch, const Picture& picture, const std::string& compression, bool lsbFirst,
                 const std::string& density);

// One page record of a .ds file and the block after it: `prefix` bytes of
// filler, then the embedded TIFF file.
struct DsPage {
    std::string name;
    Bytes tiff;
    uint32_t prefix = 0;
};

// A .ds file: the header with `endName`, the page records with their blocks,
// and a closing record named `endName`.
Bytes dsFile(const std::string& endName, const std::vector<DsPage>& pages);

// An .ed file: the 740-byte header (resolution, rows, width big-endian) and
// the T.6 data.
Bytes edFile(uint16_t resolution, uint32_t rows, uint32_t width, const Bytes& mmr);

// An .ig4 file: 16 bytes of filler, the strips one after another, the image
// description (byte order "II" or "MM"), the strip directory and the
// trailer.
Bytes ig4File(const std::string& byteOrder, uint16_t width, uint16_t rowsPerStrip, const std::vector<Bytes>& strips);

// Where the parts of an .ig4 file made by ig4File lie.
struct Ig4Layout {
    uint32_t firstStrip = 16;
    uint32_t description = 0;
    uint32_t directory = 0;
};
Ig4Layout ig4LayoutOf(const Bytes& ig4);

// Little-endian field writers for hand-built headers.
void put16(Bytes& bytes, size_t at, uint32_t value);
void put32(Bytes& bytes, size_t at, uint32_t value);

// The picture turned left to right.
Picture mirrored(const Picture& picture);

}  // namespace pagelift::testing

#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>
#include <vector>

namespace pagelift {

// What one image file directory says about its page.
struct TiffPageInfo {
    uint32_t imageWidth = 0;
    uint32_t imageLength = 0;
    uint16_t bitsPerSample = 1;
    uint16_t compression = 0;
    uint16_t photometric = 0;
    uint16_t fillOrder = 1;
    uint16_t resolutionUnit = 2;
    uint32_t xResolutionNumerator = 0;
    uint32_t xResolutionDenominator = 0;
    uint32_t yResolutionNumerator = 0;
    uint32_t yResolutionDenominator = 0;
    uint32_t t4Options = 0;
    uint32_t t6Options = 0;
    // The strip table; of a tiled page (`tiled`), the tile table, tiles
    // left to right, then top to bottom.
    uint32_t stripCount = 0;
    uint16_t stripOffsetsType = 0;
    uint16_t stripByteCountsType = 0;
    std::array<uint8_t, 4> stripOffsetsValue{};
    std::array<uint8_t, 4> stripByteCountsValue{};
    uint32_t rowsPerStrip = 0;
    bool tiled = false;  // TileOffsets given: the page is made of tiles
    uint32_t tileWidth = 0;
    uint32_t tileLength = 0;
};

struct TiffIfdEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::array<uint8_t, 4> value{};  // as stored; read per tag
};

struct TiffStripLocation {
    bool found = false;  // false when the location itself could not be read
    uint32_t offset = 0;
    uint32_t byteCount = 0;
};

// Bilevel TIFF files of either byte order, one page per image file directory,
// any number of strips or tiles per page; uncompressed, PackBits, CCITT and
// JBIG strips, and tiles in all of these codings but JBIG.
class TiffReader : public FaxReader {
public:
    // Pages whose 1-bit raster would pass this, or that would come out
    // beyond the limits of raster/page_size.h, are not decoded but only
    // described (their size and resolution, no pixels).
    static constexpr uint64_t kMaxPageBytes = uint64_t{1} << 27;

    // 0 valid; -1 no open file; -3 the 8-byte header cannot be read; -4 not
    // a TIFF header. On -3 and -4 the file is closed.
    int checkHeader();

    // Walks the directory chain and records each directory's offset as a page
    // offset. Stops at the end of the chain, at an unreadable directory, at a
    // directory met before (a looping chain) and after kMaxPages pages.
    uint16_t countPages();

    // Reads the directory at `offset`: the number of entries (> 0); -1 offset
    // 0; -2 the entry count cannot be read; -3 no memory; -4 the entries
    // cannot be read; -5 the next-directory offset cannot be read.
    int readIfd(uint32_t offset);

    // The page description held by the directory read last. A colour-mapped
    // page is described by the photometric its colour map amounts to (0 or 1).
    TiffPageInfo parsePage();

    // Where strip (or tile) `index` lies and how long it is.
    TiffStripLocation stripLocation(uint32_t index, const TiffPageInfo& info);

    // The coded bytes of a strip exactly as the file holds them. False when
    // the strip does not lie wholly inside the file.
    bool readStripBytes(const TiffStripLocation& location, std::vector<uint8_t>& bytes);

    // Unpacks one strip into a page of its own, at most `rowLimit` rows. An
    // unsupported compression or a sample size other than 1 bit gives an
    // empty page (width 0). When `damage` is given it receives how far the
    // CCITT data went wrong: the damaged lines, 1 for a decoding that failed
    // outright, 0 for a clean strip.
    PageBitmap decodeStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info, uint32_t stripIndex,
                           uint32_t rowLimit, int* damage = nullptr);

    // Decodes page `index` into `page`. A page that cannot be read leaves
    // `page` empty, never another page's content.
    void readPage(size_t index, PageBitmap& page);

    // The DateTime and ImageDescription texts of the first page; a text
    // that is absent, not ASCII-typed or cannot be read stays empty.
    FaxTexts faxTexts();

private:
    uint16_t fix16(const uint8_t* bytes) const;
    uint32_t fix32(const uint8_t* bytes) const;
    uint16_t firstShort(const std::array<uint8_t, 4>& value) const { return fix16(value.data()); }
    bool readU16(uint64_t offset, uint16_t& out);
    bool readU32(uint64_t offset, uint32_t& out);
    bool readRational(const std::array<uint8_t, 4>& value, uint32_t& numerator, uint32_t& denominator);
    bool locateInStripArray(uint32_t index, uint16_t type, uint32_t count, const std::array<uint8_t, 4>& value,
                            uint32_t& out);
    // The first `wanted` values of a strip or tile table; false when the
    // table has fewer or cannot be read.
    bool readStripArray(uint16_t type, uint32_t count, const std::array<uint8_t, 4>& value, uint32_t wanted,
                        std::vector<uint32_t>& out);
    uint32_t rowsInStrip(const TiffPageInfo& info, uint32_t stripIndex) const;
    uint16_t paletteAsPhotometric();
    // The text of an ASCII entry, up to its first zero byte and at most
    // `limit` bytes; empty when it cannot be read.
    std::string asciiValue(const TiffIfdEntry& entry, uint32_t limit);
    static uint8_t stripCoding(const TiffPageInfo& info);
    static PageBitmap decodeCcittStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info, uint8_t coding,
                                       uint32_t rowLimit, uint32_t placeRows, int& damage);
    static PageBitmap decodeJbigStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info, uint32_t rowLimit);
    // Decodes the page's strips or tiles into `page`; returns the damage of
    // all of them (see decodeStrip), rows that a strip or tile lacks or
    // holds beyond its place counted as damaged lines. A page whose tiles
    // cannot all be found in the file is left empty.
    int decodeImage(const TiffPageInfo& info, PageBitmap& page);
    int appendStrips(const TiffPageInfo& info, PageBitmap& page);
    int placeTiles(const TiffPageInfo& info, PageBitmap& page);
    // When the coding the tags state gives too few rows or too many damaged
    // lines, the other codings and bit orders are tried in turn; the first
    // that gives every declared row with no damage replaces the page.
    void readByTrial(const TiffPageInfo& info, PageBitmap& page);

    uint16_t byteOrder_ = 0;
    uint16_t version_ = 0;
    uint32_t firstIfdOffset_ = 0;
    std::vector<TiffIfdEntry> entries_;
};

}  // namespace pagelift

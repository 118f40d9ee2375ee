#include "faxdoc/readers/tiff_reader.h"

#include "faxdoc/jbig_image.h"

#include "ccitt/ccitt.h"
#include "ccitt/coded_page.h"
#include "ccitt/row_writer.h"
#include "platform/little_endian.h"
#include "raster/page_size.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_set>

namespace pagelift {
namespace {

constexpr uint16_t kBigEndian = 0x4D4D;     // "MM"
constexpr uint16_t kLittleEndian = 0x4949;  // "II"
constexpr uint16_t kFaxLittleEndian = 0x4646;  // "FF", written by some fax software

constexpr uint16_t kTypeShort = 3;

constexpr uint8_t kWhiteByte = 0xFF;  // eight white pixels of a page raster
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeLong = 4;

enum TiffTag : uint16_t {
    TagImageWidth = 256,
    TagImageLength = 257,
    TagBitsPerSample = 258,
    TagCompression = 259,
    TagPhotometric = 262,
    TagImageDescription = 270,
    TagMake = 271,
    TagModel = 272,
    TagFillOrder = 266,
    TagStripOffsets = 273,
    TagRowsPerStrip = 278,
    TagStripByteCounts = 279,
    TagXResolution = 282,
    TagYResolution = 283,
    TagT4Options = 292,
    TagT6Options = 293,
    TagResolutionUnit = 296,
    TagDateTime = 306,
    TagColorMap = 320,
    TagTileWidth = 322,
    TagTileLength = 323,
    TagTileOffsets = 324,
    TagTileByteCounts = 325,
    TagFaxSubAddress = 34909,
};

constexpr uint16_t kPhotometricWhiteIsZero = 0;
constexpr uint16_t kPhotometricBlackIsZero = 1;
constexpr uint16_t kPhotometricPalette = 3;

enum TiffCompression : uint16_t {
    CompressionNone = 1,
    CompressionModifiedHuffman = 2,
    CompressionT4 = 3,
    CompressionT6 = 4,
    CompressionModifiedHuffmanWords = 32771,
    CompressionPackBits = 32773,
    CompressionT85 = 9,      // JBIG, as TIFF-FX labels the fax profile
    CompressionJbig = 34661,  // JBIG, as libtiff writes it
};

bool isCcittCoding(uint8_t coding) { return coding >= CodingMhByteAligned && coding <= CodingMmr; }

// The fields every strip result carries, whatever its coding.
PageBitmap stripPage(const TiffPageInfo& info, uint32_t rows, uint32_t length, uint8_t coding)
{
    PageBitmap page;
    // Clamped, for the description of a page too large to decode.
    page.width = static_cast<int32_t>(std::min<uint32_t>(info.imageWidth, INT32_MAX));
    page.rows = static_cast<int32_t>(rows);
    page.bytesPerRow = static_cast<int32_t>((int64_t{page.width} + 7) / 8);
    page.planes = 1;
    page.bitsPerPixel = 1;
    page.codedLength = length;
    const PaperClass paper = paperSizeForWidth(page.width);
    page.xResolution = paper.xResolution;
    page.paperSize = paper.paperSize;
    page.yResolution = 100;
    page.resolutionUnit = 2;
    page.fillOrder = static_cast<uint8_t>(info.fillOrder);
    page.coding = coding;
    page.photometric = static_cast<uint8_t>(info.photometric);
    return page;
}

// Uncompressed rows: copied as they are, then turned into 1 = white and
// most-significant-bit-first. Rows the strip does not fill stay 0.
void unpackUncompressed(const uint8_t* data, uint32_t length, const TiffPageInfo& info, std::vector<uint8_t>& out)
{
    const size_t copied = std::min<size_t>(out.size(), length);
    const bool invert = info.photometric == 0;
    const bool reverse = info.fillOrder != 1;
    for (size_t i = 0; i < copied; ++i) {
        uint8_t byte = data[i];
        if (invert) byte = static_cast<uint8_t>(~byte);
        if (reverse) byte = kBitReversal[byte];
        out[i] = byte;
    }
}

// PackBits runs, cut at the end of the input and of the output. The control
// bytes too are stored in the file's bit order.
void unpackPackBits(const uint8_t* data, uint32_t length, const TiffPageInfo& info, std::vector<uint8_t>& out)
{
    const bool reverse = info.fillOrder != 1;
    auto byteAt = [&](size_t i) { return reverse ? kBitReversal[data[i]] : data[i]; };
    size_t in = 0;
    size_t written = 0;
    while (in < length && written < out.size()) {
        const int control = static_cast<int8_t>(byteAt(in++));
        if (control >= 0) {
            const size_t literal = std::min<size_t>({size_t(control) + 1, length - in, out.size() - written});
            for (size_t k = 0; k < literal; ++k) out[written++] = byteAt(in + k);
            in += size_t(control) + 1;
        } else if (control != -128) {
            if (in >= length) break;
            const uint8_t repeated = byteAt(in++);
            const size_t count = std::min<size_t>(size_t(1 - control), out.size() - written);
            std::fill_n(out.begin() + static_cast<ptrdiff_t>(written), count, repeated);
            written += count;
        }
    }
    if (info.photometric == 0) {
        for (uint8_t& byte : out) byte = static_cast<uint8_t>(~byte);
    }
}

}  // namespace

uint16_t TiffReader::fix16(const uint8_t* bytes) const
{
    return byteOrder_ == kBigEndian ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1]) : le16(bytes);
}

uint32_t TiffReader::fix32(const uint8_t* bytes) const
{
    if (byteOrder_ != kBigEndian) return le32(bytes);
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]};
}

bool TiffReader::readU16(uint64_t offset, uint16_t& out)
{
    uint8_t bytes[2];
    if (!readAt(offset, bytes, sizeof bytes)) return false;
    out = fix16(bytes);
    return true;
}

bool TiffReader::readU32(uint64_t offset, uint32_t& out)
{
    uint8_t bytes[4];
    if (!readAt(offset, bytes, sizeof bytes)) return false;
    out = fix32(bytes);
    return true;
}

int TiffReader::checkHeader()
{
    if (!isOpen()) return -1;
    uint8_t header[8];
    if (!readAt(0, header, sizeof header)) {
        closeFile();
        return -3;
    }
    byteOrder_ = le16(header);
    version_ = fix16(header + 2);
    const bool knownOrder = byteOrder_ == kBigEndian || byteOrder_ == kLittleEndian || byteOrder_ == kFaxLittleEndian;
    if (!knownOrder || version_ != 42) {
        closeFile();
        return -4;
    }
    firstIfdOffset_ = fix32(header + 4);
    return 0;
}

uint16_t TiffReader::countPages()
{
    clearPageOffsets();
    std::unordered_set<uint32_t> visited;
    uint32_t offset = firstIfdOffset_;
    while (offset != 0 && visited.insert(offset).second && addPageOffset(offset) == 0) {
        uint16_t entryCount = 0;
        if (!readU16(offset, entryCount)) break;
        if (!readU32(uint64_t{offset} + 2 + 12 * uint64_t{entryCount}, offset)) break;
    }
    return pageCount();
}

int TiffReader::readIfd(uint32_t offset)
{
    if (offset == 0) return -1;
    uint16_t entryCount = 0;
    if (!readU16(offset, entryCount)) return -2;
    std::vector<uint8_t> raw;
    try {
        raw.resize(size_t{entryCount} * 12);
        entries_.resize(entryCount);
    } catch (const std::bad_alloc&) {
        return -3;
    }
    if (!readAt(uint64_t{offset} + 2, raw.data(), raw.size())) return -4;
    for (size_t i = 0; i < entryCount; ++i) {
        const uint8_t* field = raw.data() + 12 * i;
        TiffIfdEntry& entry = entries_[i];
        entry.tag = fix16(field);
        entry.type = fix16(field + 2);
        entry.count = fix32(field + 4);
        std::copy_n(field + 8, 4, entry.value.begin());
    }
    uint32_t next = 0;
    if (!readU32(uint64_t{offset} + 2 + raw.size(), next)) return -5;
    return entryCount;
}

bool TiffReader::readRational(const std::array<uint8_t, 4>& value, uint32_t& numerator, uint32_t& denominator)
{
    const uint32_t offset = fix32(value.data());
    uint32_t n = 0;
    uint32_t d = 0;
    if (!readU32(offset, n) || !readU32(uint64_t{offset} + 4, d)) return false;
    numerator = n;
    denominator = d;
    return true;
}

TiffPageInfo TiffReader::parsePage()
{
    TiffPageInfo info;
    for (const TiffIfdEntry& entry : entries_) {
        const uint32_t longOrShort = entry.type == kTypeLong ? fix32(entry.value.data()) : firstShort(entry.value);
        switch (entry.tag) {
        case TagImageWidth: info.imageWidth = longOrShort; break;
        case TagImageLength: info.imageLength = longOrShort; break;
        case TagRowsPerStrip: info.rowsPerStrip = longOrShort; break;
        case TagBitsPerSample: info.bitsPerSample = firstShort(entry.value); break;
        case TagCompression: info.compression = firstShort(entry.value); break;
        case TagPhotometric: info.photometric = firstShort(entry.value); break;
        case TagFillOrder: info.fillOrder = firstShort(entry.value); break;
        case TagResolutionUnit: info.resolutionUnit = firstShort(entry.value); break;
        case TagStripOffsets:
        case TagTileOffsets:
            // The tile table follows the strip table (tags come in order),
            // so a tiled page is read by its tiles.
            info.tiled = entry.tag == TagTileOffsets;
            info.stripCount = entry.count;
            info.stripOffsetsType = entry.type;
            info.stripOffsetsValue = entry.value;
            break;
        case TagStripByteCounts:
        case TagTileByteCounts:
            info.stripByteCountsType = entry.type;
            info.stripByteCountsValue = entry.value;
            break;
        case TagTileWidth: info.tileWidth = longOrShort; break;
        case TagTileLength: info.tileLength = longOrShort; break;
        case TagXResolution:
            readRational(entry.value, info.xResolutionNumerator, info.xResolutionDenominator);
            break;
        case TagYResolution:
            readRational(entry.value, info.yResolutionNumerator, info.yResolutionDenominator);
            break;
        case TagT4Options: info.t4Options = fix32(entry.value.data()); break;
        case TagT6Options: info.t6Options = fix32(entry.value.data()); break;
        default: break;  // Orientation, PageNumber and the rest do not change the raster
        }
    }
    if (info.photometric == kPhotometricPalette) info.photometric = paletteAsPhotometric();
    return info;
}

// A two-entry colour map says which value is white: the entry of greater
// luminance. Equal entries, and a map that is not one of two entries or
// cannot be read, leave a 1 white, as in black-is-zero pages.
uint16_t TiffReader::paletteAsPhotometric()
{
    const auto map = std::find_if(entries_.begin(), entries_.end(),
                                  [](const TiffIfdEntry& entry) { return entry.tag == TagColorMap; });
    if (map == entries_.end() || map->type != kTypeShort || map->count != 6) return kPhotometricBlackIsZero;
    // Red, green and blue of both entries, one colour after the other.
    uint16_t colours[6] = {};
    const uint64_t offset = fix32(map->value.data());
    for (uint32_t i = 0; i < 6; ++i) {
        if (!readU16(offset + 2 * i, colours[i])) return kPhotometricBlackIsZero;
    }
    const auto luminance = [&](int entry) {
        return 299 * uint64_t{colours[entry]} + 587 * uint64_t{colours[2 + entry]} + 114 * uint64_t{colours[4 + entry]};
    };
    return luminance(0) > luminance(1) ? kPhotometricWhiteIsZero : kPhotometricBlackIsZero;
}

// One value of a strip table: held in the entry itself when it fits (one
// LONG, one SHORT, two SHORTs), else read from the array the entry points to.
bool TiffReader::locateInStripArray(uint32_t index, uint16_t type, uint32_t count, const std::array<uint8_t, 4>& value,
                                    uint32_t& out)
{
    if (count == 1) {
        out = type == kTypeLong ? fix32(value.data()) : firstShort(value);
        return true;
    }
    if (count == 2 && type == kTypeShort) {
        out = fix16(value.data() + 2 * (index & 1));
        return true;
    }
    const uint64_t arrayOffset = fix32(value.data());
    if (type == kTypeLong) return readU32(arrayOffset + 4 * uint64_t{index}, out);
    uint16_t element = 0;
    if (!readU16(arrayOffset + 2 * uint64_t{index}, element)) return false;
    out = element;
    return true;
}

bool TiffReader::readStripArray(uint16_t type, uint32_t count, const std::array<uint8_t, 4>& value, uint32_t wanted,
                                std::vector<uint32_t>& out)
{
    out.clear();
    if (count < wanted) return false;
    if (count <= 2) {
        for (uint32_t index = 0; index < wanted; ++index) {
            uint32_t element = 0;
            if (!locateInStripArray(index, type, count, value, element)) return false;
            out.push_back(element);
        }
        return true;
    }
    const uint64_t size = uint64_t{wanted} * (type == kTypeLong ? 4 : 2);
    if (size > static_cast<uint64_t>(fileSize())) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!readAt(fix32(value.data()), bytes.data(), bytes.size())) return false;
    out.reserve(wanted);
    for (uint32_t index = 0; index < wanted; ++index) {
        out.push_back(type == kTypeLong ? fix32(bytes.data() + 4 * size_t{index}) : fix16(bytes.data() + 2 * size_t{index}));
    }
    return true;
}

TiffStripLocation TiffReader::stripLocation(uint32_t index, const TiffPageInfo& info)
{
    TiffStripLocation location;
    if (index >= info.stripCount) return location;
    location.found =
        locateInStripArray(index, info.stripByteCountsType, info.stripCount, info.stripByteCountsValue,
                           location.byteCount) &&
        locateInStripArray(index, info.stripOffsetsType, info.stripCount, info.stripOffsetsValue, location.offset);
    return location;
}

bool TiffReader::readStripBytes(const TiffStripLocation& location, std::vector<uint8_t>& bytes)
{
    if (!location.found || location.byteCount > static_cast<uint64_t>(fileSize())) return false;
    bytes.resize(location.byteCount);
    return readAt(location.offset, bytes.data(), bytes.size());
}

uint32_t TiffReader::rowsInStrip(const TiffPageInfo& info, uint32_t stripIndex) const
{
    // Without RowsPerStrip the whole page is one strip.
    if (info.rowsPerStrip == 0) return info.imageLength;
    if (stripIndex + 1 == info.stripCount && info.imageLength % info.rowsPerStrip != 0) {
        return info.imageLength % info.rowsPerStrip;
    }
    return info.rowsPerStrip;
}

// The coding a strip of this page is stored in; 0 when this reader cannot
// decode it (a sample size other than one bit, an unknown compression).
uint8_t TiffReader::stripCoding(const TiffPageInfo& info)
{
    if (info.bitsPerSample != 1) return 0;
    switch (info.compression) {
    case CompressionNone: return CodingUncompressed;
    case CompressionPackBits: return CodingPackBits;
    case CompressionModifiedHuffman: return CodingMhByteAligned;
    case CompressionModifiedHuffmanWords: return CodingMhWordAligned;
    case CompressionT4: return (info.t4Options & 1) != 0 ? CodingMr : CodingMhWithEol;
    case CompressionT6: return CodingMmr;
    case CompressionT85:
    case CompressionJbig: return CodingJbig;
    default: return 0;
    }
}

// A CCITT strip decoded as a page of its own, at most `rowLimit` rows; it
// should hold `placeRows`.
PageBitmap TiffReader::decodeCcittStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info,
                                        uint8_t coding, uint32_t rowLimit, uint32_t placeRows, int& damage)
{
    CodedPageLayout layout;
    layout.bitOrder = info.fillOrder == 1 ? 1 : 2;
    layout.coding = coding;
    layout.polarity = info.photometric == 0 ? 0 : 1;
    layout.t6Options = static_cast<uint8_t>(info.t6Options);
    // A strip holds one run of lines: decoding ends at the first line that
    // cannot be decoded, which in T.6 data mostly shows first as a line that
    // passes the width.
    layout.mmrDamage = MmrDamage::EndLines;
    layout.linesPassingWidthBreak = true;
    layout.width = static_cast<int32_t>(std::min<uint32_t>(info.imageWidth, INT32_MAX));
    layout.height = static_cast<int32_t>(std::min<uint32_t>(rowLimit, INT32_MAX));
    const int32_t size = static_cast<int32_t>(std::min<uint32_t>(length, INT32_MAX));
    PageBitmap strip;
    int result = decodeCodedPage(data, size, layout, strip);
    // A few encoders end every line past the width: a strip that broke off
    // short of its place is read again taking such lines, and that reading
    // is kept when it is clean and whole.
    if (coding == CodingMmr && result < 0 && static_cast<uint32_t>(std::max(strip.rows, 0)) < placeRows) {
        layout.linesPassingWidthBreak = false;
        PageBitmap taking;
        if (decodeCodedPage(data, size, layout, taking) == 0 && static_cast<uint32_t>(taking.rows) >= placeRows) {
            strip = std::move(taking);
            result = 0;
        }
    }
    // A decoding that broke off at a code it could not read puts every row
    // it gave in doubt: data of another coding often decode as garbage lines
    // for a long while before such a code.
    damage = result >= 0 ? result : std::max(strip.rows, 1);
    return strip;
}

// A JBIG strip: one whole BIE. libtiff stores it bit-reversed under fill
// order 1 and as it is under 2, TIFF-FX as it is, and fax software has been
// known to get the tag wrong: the BIE's header, well-formed in one order
// only, tells which. A BIE of another width than the page's is no strip of it.
PageBitmap TiffReader::decodeJbigStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info, uint32_t rowLimit)
{
    JbigReading reading;
    reading.oneIsBlack = info.photometric == 0;
    reading.rowLimit = rowLimit;
    PageBitmap bie;
    if (decodeJbigImage(data, length, reading, bie) != JbigDecoded || uint32_t(bie.width) != info.imageWidth) return {};
    PageBitmap strip = stripPage(info, uint32_t(bie.rows), length, CodingJbig);
    strip.pixels = std::move(bie.pixels);
    return strip;
}

PageBitmap TiffReader::decodeStrip(const uint8_t* data, uint32_t length, const TiffPageInfo& info,
                                   uint32_t stripIndex, uint32_t rowLimit, int* damage)
{
    int stripDamage = 0;
    if (damage != nullptr) *damage = 0;
    const uint8_t coding = stripCoding(info);
    if (coding == 0) return {};
    if (isCcittCoding(coding)) {
        PageBitmap strip =
            decodeCcittStrip(data, length, info, coding, rowLimit, rowsInStrip(info, stripIndex), stripDamage);
        if (damage != nullptr) *damage = stripDamage;
        return strip;
    }
    if (coding == CodingJbig) return decodeJbigStrip(data, length, info, rowLimit);

    const uint32_t rows = std::min(rowsInStrip(info, stripIndex), rowLimit);
    PageBitmap strip = stripPage(info, rows, length, coding);
    const uint64_t size = uint64_t{rows} * static_cast<uint64_t>(strip.bytesPerRow);
    if (size > kMaxPageBytes) return {};
    try {
        strip.pixels.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (coding == CodingUncompressed) {
        unpackUncompressed(data, length, info, strip.pixels);
    } else {
        unpackPackBits(data, length, info, strip.pixels);
    }
    return strip;
}

int TiffReader::decodeImage(const TiffPageInfo& info, PageBitmap& page)
{
    return info.tiled ? placeTiles(info, page) : appendStrips(info, page);
}

int TiffReader::appendStrips(const TiffPageInfo& info, PageBitmap& page)
{
    int64_t damage = 0;
    page.pixels.reserve(static_cast<size_t>(info.imageLength) * ((uint64_t{info.imageWidth} + 7) / 8));
    for (uint32_t i = 0; i < info.stripCount; ++i) {
        const uint32_t remaining = info.imageLength - static_cast<uint32_t>(page.rows);
        if (i > 0 && remaining == 0) break;
        const TiffStripLocation location = stripLocation(i, info);
        if (!location.found || location.byteCount == 0) break;
        // A strip that starts outside the file ends the page; one that runs
        // past its end gives what the file holds.
        if (location.offset >= static_cast<uint64_t>(fileSize())) break;
        const uint32_t length = static_cast<uint32_t>(
            std::min<uint64_t>(location.byteCount, static_cast<uint64_t>(fileSize()) - location.offset));
        if (!loadCodedData(location.offset, length)) break;

        int stripDamage = 0;
        const PageBitmap strip = decodeStrip(codedData().data(), length, info, i, remaining, &stripDamage);
        damage += stripDamage;
        if (i == 0) {
            page.copyHeaderFrom(strip);
            page.rows = 0;
            if (strip.width <= 0) break;
        }
        if (strip.bytesPerRow != page.bytesPerRow) break;
        // Each strip has its place: one whose data break off is white below
        // the break, and rows beyond its place are not the page's, so the
        // strips after it stand where they belong. Only the last strip may
        // give the page more rows than its place, as files with too small a
        // RowsPerStrip have it.
        const uint32_t place = std::min(rowsInStrip(info, i), remaining);
        const uint32_t decoded = static_cast<uint32_t>(std::max(strip.rows, 0));
        const uint32_t rows = std::min(decoded, i + 1 == info.stripCount ? remaining : place);
        const size_t bytes = size_t{rows} * static_cast<size_t>(page.bytesPerRow);
        if (strip.pixels.size() < bytes) break;
        page.pixels.insert(page.pixels.end(), strip.pixels.begin(), strip.pixels.begin() + static_cast<ptrdiff_t>(bytes));
        const uint32_t missing = place - std::min(rows, place);
        page.pixels.insert(page.pixels.end(), size_t{missing} * static_cast<size_t>(page.bytesPerRow), kWhiteByte);
        page.rows += static_cast<int32_t>(rows + missing);
        damage += missing + (decoded - rows);
    }
    return static_cast<int>(std::min<int64_t>(damage, INT32_MAX));
}

int TiffReader::placeTiles(const TiffPageInfo& info, PageBitmap& page)
{
    const auto fail = [&page] {
        page = PageBitmap{};
        return 0;
    };
    const uint64_t across = info.tileWidth == 0 ? 0 : (uint64_t{info.imageWidth} + info.tileWidth - 1) / info.tileWidth;
    const uint64_t down = info.tileLength == 0 ? 0 : (uint64_t{info.imageLength} + info.tileLength - 1) / info.tileLength;
    if (across == 0 || down == 0 || across * down > info.stripCount) return fail();
    const uint8_t coding = stripCoding(info);
    if (coding == CodingJbig) return fail();
    // Both tables are read at once: a page may have many thousand tiles.
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> byteCounts;
    const uint32_t tiles = static_cast<uint32_t>(across * down);
    if (!readStripArray(info.stripOffsetsType, info.stripCount, info.stripOffsetsValue, tiles, offsets) ||
        !readStripArray(info.stripByteCountsType, info.stripCount, info.stripByteCountsValue, tiles, byteCounts)) {
        return fail();
    }
    page = stripPage(info, info.imageLength, 0, coding);
    page.pixels.assign(size_t{info.imageLength} * static_cast<size_t>(page.bytesPerRow), kWhiteByte);
    // Every tile is decoded as a page of the tile's size.
    TiffPageInfo tileInfo = info;
    tileInfo.imageWidth = info.tileWidth;
    tileInfo.imageLength = info.tileLength;
    tileInfo.rowsPerStrip = info.tileLength;
    tileInfo.stripCount = 1;
    tileInfo.tiled = false;
    int64_t damage = 0;
    for (uint32_t index = 0; index < tiles; ++index) {
        const uint32_t x0 = static_cast<uint32_t>(index % across) * info.tileWidth;
        const uint32_t y0 = static_cast<uint32_t>(index / across) * info.tileLength;
        const uint32_t columns = std::min(info.tileWidth, info.imageWidth - x0);
        const uint32_t place = std::min(info.tileLength, info.imageLength - y0);
        // A tile outside the file (or a table that cannot be read) fails
        // the page; one that runs past the end gives what the file holds.
        // No coding spends a byte per pixel, with an EOL and fill per row,
        // so no more is read: byte counts of a whole file on every tile of a
        // large page would otherwise copy the file once per tile.
        if (offsets[index] >= static_cast<uint64_t>(fileSize())) return fail();
        const uint64_t mostNeeded = uint64_t{info.tileWidth} * info.tileLength + 16 * uint64_t{info.tileLength} + 1024;
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(
            {byteCounts[index], static_cast<uint64_t>(fileSize()) - offsets[index], mostNeeded}));
        if (length == 0 || !loadCodedData(offsets[index], length)) {
            damage += place;
            continue;
        }
        int tileDamage = 0;
        const PageBitmap tile = decodeStrip(codedData().data(), length, tileInfo, 0, info.tileLength, &tileDamage);
        const uint32_t rows = tile.width == static_cast<int32_t>(info.tileWidth)
                                  ? std::min(static_cast<uint32_t>(std::max(tile.rows, 0)), place)
                                  : 0;
        for (uint32_t y = 0; y < rows; ++y) {
            const uint8_t* from = tile.pixels.data() + size_t{y} * static_cast<size_t>(tile.bytesPerRow);
            uint8_t* to = page.pixels.data() + size_t{y0 + y} * static_cast<size_t>(page.bytesPerRow);
            if (x0 % 8 == 0 && (columns % 8 == 0 || x0 + columns == info.imageWidth)) {
                std::copy_n(from, (columns + 7) / 8, to + x0 / 8);
            } else {
                copyPixels(from, to, static_cast<int32_t>(x0), static_cast<int32_t>(columns));
            }
        }
        damage += tileDamage + (place - rows);
    }
    return static_cast<int>(std::min<int64_t>(damage, INT32_MAX));
}

void TiffReader::readByTrial(const TiffPageInfo& info, PageBitmap& page)
{
    // Tags written by faulty fax software: the other bit order of the stated
    // coding first, then every CCITT coding in both bit orders.
    struct Reading {
        uint16_t compression;
        uint32_t t4Options;
    };
    static constexpr Reading kReadings[] = {
        {CompressionT4, 0},  // MH with EOL
        {CompressionT4, 1},  // MR
        {CompressionModifiedHuffman, 0},
        {CompressionModifiedHuffmanWords, 0},
        {CompressionT6, 0},
    };
    const uint16_t otherFillOrder = info.fillOrder == 1 ? 2 : 1;
    std::vector<TiffPageInfo> trials;
    const auto sameReading = [](const TiffPageInfo& a, const TiffPageInfo& b) {
        return stripCoding(a) == stripCoding(b) && (a.fillOrder == 1) == (b.fillOrder == 1);
    };
    const auto add = [&](uint16_t compression, uint32_t t4Options, uint16_t fillOrder) {
        TiffPageInfo trial = info;
        trial.compression = compression;
        trial.t4Options = t4Options;
        trial.t6Options = 0;
        trial.fillOrder = fillOrder;
        if (sameReading(trial, info)) return;
        for (const TiffPageInfo& earlier : trials) {
            if (sameReading(trial, earlier)) return;
        }
        trials.push_back(trial);
    };
    add(info.compression, info.t4Options & 1, otherFillOrder);
    for (const Reading& reading : kReadings) {
        add(reading.compression, reading.t4Options, info.fillOrder);
        add(reading.compression, reading.t4Options, otherFillOrder);
    }
    for (const TiffPageInfo& trial : trials) {
        PageBitmap attempt;
        if (decodeImage(trial, attempt) == 0 && attempt.rows >= 0 && uint32_t(attempt.rows) == info.imageLength) {
            page = std::move(attempt);
            return;
        }
    }
}

void TiffReader::readPage(size_t index, PageBitmap& page)
{
    // Whatever happens below, the page never shows an earlier page's raster.
    page = PageBitmap{};
    if (!isOpen()) return;
    if (readIfd(pageOffset(index)) <= 0) return;
    const TiffPageInfo info = parsePage();

    // Resolutions per centimetre are taken per inch: in whole dots per
    // centimetre a 96-dpi page (37.79 per cm) would be 2% too large.
    const bool perCentimetre = info.resolutionUnit == 3;
    const auto dots = [perCentimetre](uint32_t numerator, uint32_t denominator) {
        if (!perCentimetre) return numerator / denominator;
        return static_cast<uint32_t>(std::min(std::lround(numerator * 2.54 / denominator), long{UINT16_MAX}));
    };
    const uint32_t x = info.xResolutionDenominator == 0 ? 0 : dots(info.xResolutionNumerator, info.xResolutionDenominator);
    const uint32_t y = info.yResolutionDenominator == 0 ? x : dots(info.yResolutionNumerator, info.yResolutionDenominator);
    const uint8_t coding = stripCoding(info);
    if (info.imageLength > 0 && coding != 0) {
        // A page too large to convert is described without its raster, so
        // that the conversion reports its size instead of calling it no fax,
        // and nothing of it is decoded: its header alone could otherwise
        // make a small file take gigabytes.
        PageBitmap described = stripPage(info, std::min<uint32_t>(info.imageLength, INT32_MAX), 0, coding);
        described.xResolution = static_cast<uint16_t>(x);
        described.yResolution = static_cast<int16_t>(y);
        const uint64_t bytesPerRow = (uint64_t{info.imageWidth} + 7) / 8;
        if (bytesPerRow * info.imageLength > kMaxPageBytes || !fitsOutputLimits(described)) {
            page = described;
        } else {
            const int damage = decodeImage(info, page);
            const bool ccitt = isCcittCoding(coding);
            const bool failing = uint32_t(std::max(page.rows, 0)) < info.imageLength ||
                                 int64_t{damage} * 4 > int64_t{std::max(page.rows, 1)};
            if (ccitt && failing) readByTrial(info, page);
        }
    }

    page.resolutionUnit = perCentimetre ? 2 : static_cast<uint8_t>(info.resolutionUnit);
    page.xResolution = static_cast<uint16_t>(x);
    page.yResolution = static_cast<int16_t>(y);
}

std::string TiffReader::asciiValue(const TiffIfdEntry& entry, uint32_t limit)
{
    if (entry.type != kTypeAscii || entry.count == 0) return {};
    const uint32_t length = std::min(entry.count, limit);
    std::string text(length, '\0');
    // Four bytes or fewer are held in the entry itself.
    if (entry.count <= 4) {
        std::copy_n(entry.value.begin(), length, text.begin());
    } else if (!readAt(fix32(entry.value.data()), text.data(), length)) {
        return {};
    }
    text.resize(std::min<size_t>(text.find('\0'), text.size()));
    return text;
}

FaxTexts TiffReader::faxTexts()
{
    FaxTexts texts;
    if (!isOpen() || readIfd(pageOffset(0)) <= 0) return texts;
    for (const TiffIfdEntry& entry : entries_) {
        // A DateTime is 20 bytes; descriptions beyond a few kilobytes are no
        // sender's identification.
        if (entry.tag == TagDateTime) texts.dateTime = asciiValue(entry, 64);
        if (entry.tag == TagImageDescription) texts.description = asciiValue(entry, 4096);
        // Names of machines and sub-addresses (at most 20 digits in T.30)
        // are short: more is none of theirs.
        if (entry.tag == TagMake) texts.make = asciiValue(entry, 256);
        if (entry.tag == TagModel) texts.model = asciiValue(entry, 256);
        if (entry.tag == TagFaxSubAddress) texts.subAddress = asciiValue(entry, 256);
    }
    return texts;
}

}  // namespace pagelift

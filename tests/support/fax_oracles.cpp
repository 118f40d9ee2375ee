#include "support/fax_oracles.h"

#include "ccitt/ccitt.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace pagelift::testing {

Picture blankPicture(int32_t width, int32_t height)
{
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.black.assign(size_t(width) * size_t(height), 0);
    return picture;
}

void writePbm(const std::filesystem::path& path, const Picture& picture)
{
    std::ofstream out(path, std::ios::binary);
    out << "P4\n" << picture.width << ' ' << picture.height << '\n';
    const size_t rowBytes = (size_t(picture.width) + 7) / 8;
    std::vector<char> row(rowBytes);
    for (int32_t y = 0; y < picture.height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int32_t x = 0; x < picture.width; ++x) {
            if (picture.at(x, y)) row[size_t(x) / 8] = char(uint8_t(row[size_t(x) / 8]) | (0x80u >> (x % 8)));
        }
        out.write(row.data(), std::streamsize(rowBytes));
    }
}

namespace {

// Next header number of a netpbm file, skipping white space and comments.
bool readHeaderNumber(std::istream& in, int32_t& value)
{
    for (;;) {
        const int next = in.peek();
        if (next == '#') {
            std::string comment;
            std::getline(in, comment);
        } else if (std::isspace(next)) {
            in.get();
        } else {
            break;
        }
    }
    return bool(in >> value);
}

}  // namespace

Picture readPbm(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic(2, '\0');
    in.read(magic.data(), 2);
    Picture picture;
    int32_t width = 0;
    int32_t height = 0;
    if (magic != "P4" || !readHeaderNumber(in, width) || !readHeaderNumber(in, height)) return picture;
    in.get();  // the single white-space character before the raster
    picture = blankPicture(width, height);
    const size_t rowBytes = (size_t(width) + 7) / 8;
    std::vector<char> row(rowBytes);
    for (int32_t y = 0; y < height; ++y) {
        if (!in.read(row.data(), std::streamsize(rowBytes))) return Picture{};
        for (int32_t x = 0; x < width; ++x) picture.at(x, y) = (uint8_t(row[size_t(x) / 8]) >> (7 - x % 8)) & 1;
    }
    return picture;
}

Picture pictureOf(const PageBitmap& page)
{
    Picture picture = blankPicture(page.width, page.rows);
    for (int32_t y = 0; y < page.rows; ++y) {
        const uint8_t* row = page.pixels.data() + size_t(y) * size_t(page.bytesPerRow);
        for (int32_t x = 0; x < page.width; ++x) picture.at(x, y) = ((row[x / 8] >> (7 - x % 8)) & 1) ^ 1;
    }
    return picture;
}

std::string compareFirstDifference(const Picture& expected, const Picture& actual)
{
    std::ostringstream out;
    if (expected.width != actual.width || expected.height != actual.height) {
        out << "size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
            << expected.height;
        return out.str();
    }
    for (int32_t y = 0; y < expected.height; ++y) {
        for (int32_t x = 0; x < expected.width; ++x) {
            if (expected.at(x, y) != actual.at(x, y)) {
                out << "first difference at x " << x << ", y " << y;
                return out.str();
            }
        }
    }
    return "";
}

namespace {

// Little- or big-endian field access over a whole TIFF file in memory.
class TiffBytes {
public:
    explicit TiffBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes))
    {
        bigEndian_ = bytes_.size() >= 2 && bytes_[0] == 'M' && bytes_[1] == 'M';
    }

    bool valid() const
    {
        return bytes_.size() >= 8 && ((bytes_[0] == 'I' && bytes_[1] == 'I') || (bytes_[0] == 'M' && bytes_[1] == 'M')) &&
               u16(2) == 42;
    }
    bool has(size_t offset, size_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }
    uint16_t u16(size_t offset) const
    {
        if (!has(offset, 2)) return 0;
        const unsigned a = bytes_[offset];
        const unsigned b = bytes_[offset + 1];
        return uint16_t(bigEndian_ ? (a << 8) | b : (b << 8) | a);
    }
    uint32_t u32(size_t offset) const
    {
        const uint32_t a = u16(offset);
        const uint32_t b = u16(offset + 2);
        return bigEndian_ ? (a << 16) | b : (b << 16) | a;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // Element i of a SHORT or LONG array tag whose value field is at `field`.
    uint32_t arrayElement(uint16_t type, uint32_t count, size_t field, uint32_t i) const
    {
        const size_t elementSize = type == 3 ? 2 : 4;
        const size_t base = count * elementSize <= 4 ? field : u32(field);
        return type == 3 ? u16(base + i * 2) : u32(base + i * 4);
    }

private:
    std::vector<uint8_t> bytes_;
    bool bigEndian_ = false;
};

std::vector<uint8_t> readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Offset of IFD `index`, or 0.
uint32_t ifdOffset(const TiffBytes& tiff, int index)
{
    uint32_t offset = tiff.u32(4);
    for (int i = 0; i < index && offset != 0; ++i) {
        const uint16_t entries = tiff.u16(offset);
        offset = tiff.u32(offset + 2 + size_t(entries) * 12);
    }
    return offset;
}

}  // namespace

int countTiffPages(const std::filesystem::path& path)
{
    const TiffBytes tiff(readWholeFile(path));
    if (!tiff.valid()) return 0;
    int pages = 0;
    for (uint32_t offset = tiff.u32(4); offset != 0 && pages < 1024; ++pages) {
        offset = tiff.u32(offset + 2 + size_t(tiff.u16(offset)) * 12);
    }
    return pages;
}

bool readTiffPage(const std::filesystem::path& path, int index, TiffPage& page)
{
    const TiffBytes tiff(readWholeFile(path));
    if (!tiff.valid()) return false;
    const uint32_t offset = ifdOffset(tiff, index);
    if (offset == 0 || !tiff.has(offset, 2)) return false;
    page = TiffPage{};
    uint16_t offsetsType = 0, countsType = 0;
    uint32_t stripCount = 0;
    size_t offsetsField = 0, countsField = 0;
    const uint16_t entries = tiff.u16(offset);
    for (uint16_t i = 0; i < entries; ++i) {
        const size_t entry = offset + 2 + size_t(i) * 12;
        const uint16_t tag = tiff.u16(entry);
        const uint16_t type = tiff.u16(entry + 2);
        const uint32_t count = tiff.u32(entry + 4);
        const uint32_t value = type == 3 ? tiff.u16(entry + 8) : tiff.u32(entry + 8);
        switch (tag) {
        case 256: page.width = value; break;
        case 257: page.height = value; break;
        case 259: page.compression = uint16_t(value); break;
        case 262: page.photometric = uint16_t(value); break;
        case 266: page.fillOrder = uint16_t(value); break;
        case 273: offsetsType = type; stripCount = count; offsetsField = entry + 8; break;
        case 278: page.rowsPerStrip = value; break;
        case 279: countsType = type; countsField = entry + 8; break;
        case 292: page.t4Options = value; break;
        case 293: page.t6Options = value; break;
        default: break;
        }
    }
    for (uint32_t i = 0; i < stripCount; ++i) {
        const uint32_t start = tiff.arrayElement(offsetsType, stripCount, offsetsField, i);
        const uint32_t length = tiff.arrayElement(countsType, stripCount, countsField, i);
        if (!tiff.has(start, length)) return false;
        page.strips.emplace_back(tiff.bytes().begin() + start, tiff.bytes().begin() + start + length);
    }
    return true;
}

namespace {

uint32_t rowsInStrip(const TiffPage& page, size_t strip)
{
    if (page.rowsPerStrip == 0 || page.rowsPerStrip >= page.height) return page.height;
    const uint32_t before = uint32_t(strip) * page.rowsPerStrip;
    if (before >= page.height) return 0;
    return std::min(page.rowsPerStrip, page.height - before);
}

}  // namespace

void writeUncompressedTiff(const std::filesystem::path& path, const Picture& picture, uint16_t photometric)
{
    std::vector<uint8_t> out;
    const auto put16 = [&out](uint32_t value) {
        out.push_back(uint8_t(value));
        out.push_back(uint8_t(value >> 8));
    };
    const auto put32 = [&put16](uint32_t value) {
        put16(value & 0xFFFF);
        put16(value >> 16);
    };
    const size_t rowBytes = (size_t(picture.width) + 7) / 8;
    const uint32_t stripBytes = uint32_t(rowBytes * size_t(picture.height));
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const Entry entries[] = {
        {256, 4, uint32_t(picture.width)}, {257, 4, uint32_t(picture.height)}, {258, 3, 1}, {259, 3, 1},
        {262, 3, photometric},             {273, 4, 0},                          {277, 3, 1}, {278, 4, uint32_t(picture.height)},
        {279, 4, stripBytes},
    };
    const uint32_t entryCount = uint32_t(std::size(entries));
    const uint32_t stripOffset = 8 + 2 + entryCount * 12 + 4;
    out.insert(out.end(), {'I', 'I'});
    put16(42);
    put32(8);
    put16(entryCount);
    for (const Entry& entry : entries) {
        put16(entry.tag);
        put16(entry.type);
        put32(1);
        put32(entry.tag == 273 ? stripOffset : entry.value);
    }
    put32(0);
    for (int32_t y = 0; y < picture.height; ++y) {
        std::vector<uint8_t> row(rowBytes, photometric == 0 ? 0x00 : 0xFF);
        for (int32_t x = 0; x < picture.width; ++x) {
            if (picture.at(x, y)) row[size_t(x) / 8] = uint8_t(row[size_t(x) / 8] ^ (0x80u >> (x % 8)));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

Picture pictureOfUncompressed(const TiffPage& page)
{
    Picture picture = blankPicture(int32_t(page.width), int32_t(page.height));
    const size_t rowBytes = (size_t(page.width) + 7) / 8;
    size_t y = 0;
    for (size_t strip = 0; strip < page.strips.size(); ++strip) {
        const std::vector<uint8_t>& bytes = page.strips[strip];
        for (uint32_t row = 0; row < rowsInStrip(page, strip) && y < page.height; ++row, ++y) {
            for (size_t x = 0; x < page.width; ++x) {
                const size_t at = row * rowBytes + x / 8;
                uint8_t byte = at < bytes.size() ? bytes[at] : 0;
                if (page.fillOrder == 2) byte = kBitReversal[byte];
                const uint8_t bit = (byte >> (7 - x % 8)) & 1;
                // Photometric 0: a 1 bit is black; photometric 1: a 0 bit is.
                picture.at(int32_t(x), int32_t(y)) = page.photometric == 0 ? bit : bit ^ 1;
            }
        }
    }
    return picture;
}

PageBitmap decodeWithPagelift(const TiffPage& page)
{
    PageBitmap joined;
    const int32_t width = int32_t(page.width);
    for (size_t strip = 0; strip < page.strips.size(); ++strip) {
        const std::vector<uint8_t>& bytes = page.strips[strip];
        const int32_t rows = int32_t(rowsInStrip(page, strip));
        const uint8_t bitOrder = uint8_t(page.fillOrder);
        const uint8_t polarity = uint8_t(page.photometric);
        PageBitmap part;
        if (page.compression == 4) {
            MmrDecoder decoder(bytes.data(), int32_t(bytes.size()), bitOrder, uint8_t(page.t6Options), polarity, 3);
            decoder.setGeometry(width, rows);
            decodeMmr(decoder, part);
        } else {
            uint8_t coding = 0;
            if (page.compression == 2) coding = FaxMhByteAligned;
            if (page.compression == 32771) coding = FaxMhWordAligned;
            if (page.compression == 3) coding = (page.t4Options & 1) ? FaxMr : FaxMhWithEol;
            if (coding == 0) return PageBitmap{};
            CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), bitOrder, coding, polarity);
            decoder.setGeometry(width, rows);
            decodePage(decoder, part);
        }
        if (strip == 0) {
            joined.copyHeaderFrom(part);
            joined.rows = 0;
        }
        joined.pixels.insert(joined.pixels.end(), part.pixels.begin(),
                             part.pixels.begin() + std::ptrdiff_t(size_t(part.rows) * size_t(part.bytesPerRow)));
        joined.rows += part.rows;
    }
    return joined;
}

}  // namespace pagelift::testing

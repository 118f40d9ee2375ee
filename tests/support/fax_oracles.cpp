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

imagetest::GrayImage grayOf(const Picture& picture)
{
    imagetest::GrayImage image;
    image.width = picture.width;
    image.height = picture.height;
    for (const uint8_t black : picture.black) image.pixels.push_back(black ? 0 : 255);
    return image;
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

void writeUncompressedTiff(const std::filesystem::path& path, const Picture& picture, uint16_t photometric,
                           const std::vector<uint16_t>& colorMap)
{
    const bool mapped = colorMap.size() == 6;
    if (mapped) photometric = 3;
    const auto luminance = [&](size_t entry) {
        return 299 * uint64_t{colorMap[entry]} + 587 * uint64_t{colorMap[2 + entry]} + 114 * uint64_t{colorMap[4 + entry]};
    };
    const bool blackIsOne = mapped ? luminance(1) < luminance(0) : photometric == 0;
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
        {279, 4, stripBytes},                {320, 3, 0},
    };
    const uint32_t entryCount = uint32_t(std::size(entries)) - (mapped ? 0 : 1);
    const uint32_t stripOffset = 8 + 2 + entryCount * 12 + 4;
    const uint32_t mapOffset = stripOffset + stripBytes;
    out.insert(out.end(), {'I', 'I'});
    put16(42);
    put32(8);
    put16(entryCount);
    for (const Entry& entry : entries) {
        if (entry.tag == 320 && !mapped) continue;
        put16(entry.tag);
        put16(entry.type);
        put32(entry.tag == 320 ? 6 : 1);
        put32(entry.tag == 273 ? stripOffset : entry.tag == 320 ? mapOffset : entry.value);
    }
    put32(0);
    for (int32_t y = 0; y < picture.height; ++y) {
        std::vector<uint8_t> row(rowBytes, blackIsOne ? 0x00 : 0xFF);
        for (int32_t x = 0; x < picture.width; ++x) {
            if (picture.at(x, y)) row[size_t(x) / 8] = uint8_t(row[size_t(x) / 8] ^ (0x80u >> (x % 8)));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    if (mapped) {
        for (const uint16_t colour : colorMap) put16(colour);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

}  // namespace pagelift::testing

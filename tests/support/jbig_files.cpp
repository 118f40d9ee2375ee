#include "support/jbig_files.h"

#include "ccitt/bit_reversal.h"

#include <array>

#if PAGELIFT_TESTS_WITH_LIBTIFF
#include <tiffio.h>
#endif

namespace pagelift::testing {
namespace {

void put16(JbigBytes& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(JbigBytes& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set32(JbigBytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(value >> (8 * i));
}

}  // namespace

JbigBytes pbmtojbgImage(const ScratchFolder& scratch, const Picture& picture, const std::string& options)
{
    writePbm(scratch / "jbig-source.pbm", picture);
    const std::string command = "cd " + shellQuoted(scratch.path().string()) + " && pbmtojbg " + options +
                                " jbig-source.pbm page.jbg";
    if (!runQuietly(command)) return {};
    return readBytes(scratch.file("page.jbg"));
}

Picture jbgtopbmPicture(const ScratchFolder& scratch, const JbigBytes& bie)
{
    writeBytes(scratch.file("oracle.jbg"), bie);
    const std::string command = "cd " + shellQuoted(scratch.path().string()) + " && jbgtopbm oracle.jbg oracle.pbm";
    if (!runQuietly(command)) return {};
    return readPbm(scratch / "oracle.pbm");
}

JbigBytes bitReversed(JbigBytes bytes)
{
    for (uint8_t& byte : bytes) byte = kBitReversal[byte];
    return bytes;
}

JbigBytes jbigTiffFile(const std::vector<JbigTiffPage>& pages)
{
    JbigBytes file = {'I', 'I'};
    put16(file, 42);
    put32(file, 8);
    for (size_t index = 0; index < pages.size(); ++index) {
        const JbigTiffPage& page = pages[index];
        struct Entry {
            uint16_t tag, type;
            uint32_t value;
        };
        const std::array<Entry, 13> entries = {{{256, 4, page.width},
                                                {257, 4, page.rows},
                                                {258, 3, 1},
                                                {259, 3, page.compression},
                                                {262, 3, page.photometric},
                                                {266, 3, page.fillOrder},
                                                {273, 4, 0},  // the strip, after the resolutions
                                                {277, 3, 1},
                                                {278, 4, page.rows},
                                                {279, 4, uint32_t(page.bie.size())},
                                                {282, 5, 0},  // rationals after the directory
                                                {283, 5, 0},
                                                {296, 3, 2}}};
        const size_t directory = file.size();
        const size_t next = directory + 2 + entries.size() * 12;
        const size_t rationals = next + 4;
        const size_t strip = rationals + 16;
        put16(file, uint32_t(entries.size()));
        for (const Entry& entry : entries) {
            put16(file, entry.tag);
            put16(file, entry.type);
            put32(file, 1);
            uint32_t value = entry.value;
            if (entry.tag == 273) value = uint32_t(strip);
            if (entry.tag == 282) value = uint32_t(rationals);
            if (entry.tag == 283) value = uint32_t(rationals + 8);
            put32(file, value);
        }
        put32(file, 0);  // the next directory, set below
        put32(file, 204);
        put32(file, 1);
        put32(file, 196);
        put32(file, 1);
        file.insert(file.end(), page.bie.begin(), page.bie.end());
        if (file.size() % 2 != 0) file.push_back(0);
        if (index + 1 < pages.size()) set32(file, next, uint32_t(file.size()));
    }
    return file;
}

std::optional<std::vector<Picture>> libtiffStripPictures(const std::string& path)
{
#if PAGELIFT_TESTS_WITH_LIBTIFF
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return std::nullopt;
    std::vector<Picture> pages;
    bool read = true;
    do {
        uint32_t width = 0;
        uint32_t rows = 0;
        uint16_t photometric = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows);
        TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
        const size_t rowBytes = (size_t(width) + 7) / 8;
        std::vector<uint8_t> raster(rowBytes * rows);
        if (TIFFReadEncodedStrip(tiff, 0, raster.data(), tmsize_t(raster.size())) < 0) {
            read = false;
            break;
        }
        Picture picture = blankPicture(int32_t(width), int32_t(rows));
        for (uint32_t y = 0; y < rows; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const bool one = (raster[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
                picture.at(int32_t(x), int32_t(y)) = uint8_t(one == (photometric == 0));
            }
        }
        pages.push_back(std::move(picture));
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    if (!read) return std::nullopt;
    return pages;
#else
    (void)path;
    return std::nullopt;
#endif
}

}  // namespace pagelift::testing

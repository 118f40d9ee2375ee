#include "support/jbig_files.h"

#include "ccitt/bit_reversal.h"
#include "support/byte_builder.h"

#include <array>

#if PAGELIFT_TESTS_WITH_LIBTIFF
#include <tiffio.h>
#endif

namespace pagelift::testing {
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
    ByteBuilder file;
    file.text(0, "II").u16(2, 42).u32(4, 8);
    for (size_t index = 0; index < pages.size(); ++index) {
        const JbigTiffPage& page = pages[index];
        struct Entry {
            uint16_t tag, type;
            uint32_t value;
        };
        const size_t directory = file.size();
        constexpr size_t kEntries = 13;
        const size_t next = directory + 2 + kEntries * 12;
        const size_t resolutions = next + 4;
        const size_t strip = resolutions + 16;
        const std::array<Entry, kEntries> entries = {{{256, 4, page.width},
                                                      {257, 4, page.rows},
                                                      {258, 3, 1},
                                                      {259, 3, page.compression},
                                                      {262, 3, page.photometric},
                                                      {266, 3, page.fillOrder},
                                                      {273, 4, uint32_t(strip)},
                                                      {277, 3, 1},
                                                      {278, 4, page.rows},
                                                      {279, 4, uint32_t(page.bie.size())},
                                                      {282, 5, uint32_t(resolutions)},
                                                      {283, 5, uint32_t(resolutions + 8)},
                                                      {296, 3, 2}}};
        file.u16(directory, uint16_t(kEntries));
        for (size_t i = 0; i < kEntries; ++i) {
            const size_t at = directory + 2 + i * 12;
            file.u16(at, entries[i].tag).u16(at + 2, entries[i].type).u32(at + 4, 1).u32(at + 8, entries[i].value);
        }
        file.u32(next, 0).u32(resolutions, 204).u32(resolutions + 4, 1).u32(resolutions + 8, 196).u32(resolutions + 12, 1);
        file.bytes(strip, page.bie).reach((file.size() + 1) / 2 * 2);
        if (index + 1 < pages.size()) file.u32(next, uint32_t(file.size()));
    }
    return file.result();
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

#include "support/container_files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pagelift::testing {
namespace {

uint32_t get32(const Bytes& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

void putBig16(Bytes& bytes, size_t at, uint32_t value)
{
    bytes[at] = uint8_t(value >> 8);
    bytes[at + 1] = uint8_t(value);
}

void putBig32(Bytes& bytes, size_t at, uint32_t value)
{
    putBig16(bytes, at, value >> 16);
    putBig16(bytes, at + 2, value & 0xFFFF);
}

// Runs a shell command in the scratch folder and returns the file it wrote.
Bytes madeBy(const ScratchFolder& scratch, const std::string& command, const std::string& output)
{
    if (!runQuietly("cd " + shellQuoted(scratch.path().string()) + " && " + command)) return {};
    return readBytes(scratch.file(output));
}

struct BmpRows {
    int32_t height = 0;
    size_t rows = 0;
    size_t stride = 0;
};

BmpRows bmpRowsOf(const Bytes& bmp)
{
    BmpRows rows;
    const auto width = int32_t(get32(bmp, 18));
    rows.height = int32_t(get32(bmp, 22));
    rows.rows = size_t(std::abs(rows.height));
    rows.stride = (size_t(width) + 31) / 32 * 4;
    return rows;
}

}  // namespace

void put16(Bytes& bytes, size_t at, uint32_t value)
{
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}

void put32(Bytes& bytes, size_t at, uint32_t value)
{
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

Bytes imageMagickBmp(const ScratchFolder& scratch, const Picture& picture, const std::string& density)
{
    writePbm(scratch / "bmp-source.pbm", picture);
    const std::string densityOption = density.empty() ? "" : " -units PixelsPerInch -density " + density;
    return madeBy(scratch,
                  std::string(kImageMagick) + " bmp-source.pbm" + densityOption + " -type bilevel bmp3:page.bmp",
                  "page.bmp");
}

uint32_t bmpPixelOffset(const Bytes& bmp)
{
    return get32(bmp, 10);
}

uint32_t bmpTableOffset(const Bytes& bmp)
{
    return 14 + get32(bmp, 14);
}

Bytes bmpTopDown(const Bytes& bmp)
{
    const BmpRows rows = bmpRowsOf(bmp);
    Bytes turned = bmp;
    put32(turned, 22, uint32_t(-rows.height));
    const size_t pixels = bmpPixelOffset(bmp);
    for (size_t row = 0; row < rows.rows; ++row) {
        std::copy_n(bmp.begin() + std::ptrdiff_t(pixels + row * rows.stride), rows.stride,
                    turned.begin() + std::ptrdiff_t(pixels + (rows.rows - 1 - row) * rows.stride));
    }
    return turned;
}

Bytes bmpTableSwapped(const Bytes& bmp)
{
    const BmpRows rows = bmpRowsOf(bmp);
    Bytes swapped = bmp;
    const size_t table = bmpTableOffset(bmp);
    std::swap_ranges(swapped.begin() + std::ptrdiff_t(table), swapped.begin() + std::ptrdiff_t(table + 4),
                     swapped.begin() + std::ptrdiff_t(table + 4));
    const size_t pixels = bmpPixelOffset(bmp);
    for (size_t i = pixels; i < pixels + rows.rows * rows.stride; ++i) swapped[i] = uint8_t(~swapped[i]);
    return swapped;
}

Bytes ppmtopcxPage(const ScratchFolder& scratch, const Picture& picture)
{
    writePbm(scratch / "pcx-source.pbm", picture);
    return madeBy(scratch, "ppmtopcx pcx-source.pbm > page.pcx 2>/dev/null", "page.pcx");
}

Bytes dcxFile(const std::vector<Bytes>& pages)
{
    Bytes dcx(4 + 4 * (pages.size() + 1), 0);
    put32(dcx, 0, 987654321);
    for (size_t i = 0; i < pages.size(); ++i) {
        put32(dcx, 4 + 4 * i, uint32_t(dcx.size()));
        dcx.insert(dcx.end(), pages[i].begin(), pages[i].end());
    }
    return dcx;
}

Bytes imageMagickCals(const ScratchFolder& scratch, const Picture& picture, int density)
{
    writePbm(scratch / "cals-source.pbm", picture);
    return madeBy(scratch,
                  std::string(kImageMagick) + " cals-source.pbm -density " + std::to_string(density) + " page.cal",
                  "page.cal");
}

Bytes tiffcpFile(const ScratchFolder& scratch, const Picture& picture, const std::string& compression, bool lsbFirst,
                 const std::string& density)
{
    writePbm(scratch / "tiff-source.pbm", picture);
    return madeBy(scratch,
                  std::string(kImageMagick) + " tiff-source.pbm -units PixelsPerInch -density " + density +
                      " -compress None plain.tif && tiffcp -c " + compression +
                      (lsbFirst ? " -f lsb2msb" : " -f msb2lsb") + " plain.tif coded.tif",
                  "coded.tif");
}

Bytes dsFile(const std::string& endName, const std::vector<DsPage>& pages)
{
    constexpr size_t kRecord = 55;
    Bytes ds(280, 0);
    ds[0] = 0xFD;
    ds[1] = 0xCA;
    std::copy(endName.begin(), endName.end(), ds.begin() + 6);
    const auto appendRecord = [&ds](const std::string& name, uint32_t blockSize, uint32_t embeddedOffset) {
        Bytes record(kRecord, 0);
        std::copy(name.begin(), name.end(), record.begin());
        put32(record, 47, blockSize);
        put32(record, 51, embeddedOffset);
        ds.insert(ds.end(), record.begin(), record.end());
    };
    for (const DsPage& page : pages) {
        appendRecord(page.name, uint32_t(page.prefix + page.tiff.size()), page.prefix);
        ds.insert(ds.end(), page.prefix, uint8_t{0xEE});
        ds.insert(ds.end(), page.tiff.begin(), page.tiff.end());
    }
    appendRecord(endName, 0, 0);
    return ds;
}

Bytes edFile(uint16_t resolution, uint32_t rows, uint32_t width, const Bytes& mmr)
{
    Bytes ed(740 + mmr.size(), 0);
    std::copy(mmr.begin(), mmr.end(), ed.begin() + 740);
    ed[0] = 0xFF;
    ed[1] = 0xFF;
    ed[2] = 0x00;
    ed[3] = 0x01;
    putBig16(ed, 614, resolution);
    putBig32(ed, 732, rows);
    putBig32(ed, 736, width);
    return ed;
}

Bytes ig4File(const std::string& byteOrder, uint16_t width, uint16_t rowsPerStrip, const std::vector<Bytes>& strips)
{
    Bytes ig4(16, 0x5A);
    std::vector<uint32_t> offsets;
    for (const Bytes& strip : strips) {
        offsets.push_back(uint32_t(ig4.size()));
        ig4.insert(ig4.end(), strip.begin(), strip.end());
    }
    const auto description = uint32_t(ig4.size());
    ig4.resize(ig4.size() + 208, 0);
    std::copy_n(byteOrder.begin(), 2, ig4.begin() + description);
    put16(ig4, description + 4, rowsPerStrip);
    put16(ig4, description + 6, width);
    const auto directory = uint32_t(ig4.size());
    ig4.resize(ig4.size() + 272, 0);
    put16(ig4, directory, uint32_t(offsets.size()));
    for (size_t i = 0; i < offsets.size() && i < 66; ++i) put32(ig4, directory + 8 + 4 * i, offsets[i]);
    const auto trailer = ig4.size();
    ig4.resize(ig4.size() + 336, 0);
    const uint8_t signature[] = {0x1A, 0x1A, 0x55, 0x64, 0x73};
    std::copy(std::begin(signature), std::end(signature), ig4.begin() + std::ptrdiff_t(trailer));
    put32(ig4, trailer + 40, description);
    put32(ig4, trailer + 56, directory);
    return ig4;
}

Ig4Layout ig4LayoutOf(const Bytes& ig4)
{
    Ig4Layout layout;
    const size_t trailer = ig4.size() - 336;
    layout.description = get32(ig4, trailer + 40);
    layout.directory = get32(ig4, trailer + 56);
    return layout;
}

Picture mirrored(const Picture& picture)
{
    Picture turned = picture;
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) turned.at(picture.width - 1 - x, y) = picture.at(x, y);
    }
    return turned;
}

}  // namespace pagelift::testing

#include "imageout/png_writer.h"

#include "imageout/gray_page.h"
#include "platform/leftovers.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace pagelift {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Dots per unit of a page field as pixels per metre; 0 when not stated.
png_uint_32 pixelsPerMetre(uint32_t dotsPerUnit, uint8_t resolutionUnit)
{
    if (dotsPerUnit == 0) return 0;
    // Unit 3 is the centimetre; anything else counts as the inch, as fax
    // headers mean it.
    const double perMetre = resolutionUnit == 3 ? dotsPerUnit * 100.0 : dotsPerUnit / 0.0254;
    return static_cast<png_uint_32>(std::lround(perMetre));
}

// Everything the library's calls use; owned by the caller, so that the
// frame a failure jumps back to holds nothing with a destructor.
struct PngJob {
    const PageBitmap* page;
    const GrayPage* image;
    std::FILE* file;
    uint8_t* row;  // one row of bytes, whitened past the width
};

int runPng(const PngJob& job)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return PngFailed;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return PngFailed;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return PngFailed;
    }
    const GrayPage& image = *job.image;
    png_init_io(png, job.file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.visibleWidth()), static_cast<png_uint_32>(image.height()),
                 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const PageBitmap& page = *job.page;
    const png_uint_32 x = pixelsPerMetre(page.xResolution, page.resolutionUnit);
    const png_uint_32 y = pixelsPerMetre(uint32_t(uint16_t(page.yResolution)) * uint32_t(image.factor()),
                                         page.resolutionUnit);
    if (x != 0 && y != 0) png_set_pHYs(png, info, x, y, PNG_RESOLUTION_METER);
    // One-bit rows gain nothing from filters; zlib's fastest level already
    // packs the long runs of a fax page.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    const int64_t bytes = (image.visibleWidth() + 7) / 8;
    const uint8_t* previous = nullptr;
    for (int64_t row = 0; row < image.height(); ++row) {
        const uint8_t* bits = image.bitsOfRow(row);
        if (bits != previous) {
            for (int64_t index = 0; index < bytes; ++index) job.row[index] = image.whitened(bits, index);
            previous = bits;
        }
        png_write_row(png, job.row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return PngWritten;
}

}  // namespace

int writePngPage(const PageBitmap& page, const std::string& path)
{
    const GrayPage image(page);
    if (!image.valid()) return PngPageUnusable;
    // PNG has no empty image: such a page fails as the JPEG writer fails it.
    if (image.visibleWidth() == 0 || image.height() == 0) return PngFailed;
    std::vector<uint8_t> row(size_t((image.visibleWidth() + 7) / 8) + 1);
    std::string partPath;
    std::unique_ptr<std::FILE, FileCloser> file(createPartialFile(path, partPath));
    if (!file) return PngCannotOpen;
    const int result = runPng(PngJob{&page, &image, file.get(), row.data()});
    switch (finishPartialFile(file.release(), partPath, path, result == PngWritten)) {
    case PartialFileEnd::Placed: return PngWritten;
    case PartialFileEnd::NotWritten:
        std::fprintf(stderr, "Output file write error --- out of disk space?\n");
        return PngFailed;
    case PartialFileEnd::NotPlaced: return PngCannotOpen;
    case PartialFileEnd::Abandoned: break;
    }
    return result;
}

}  // namespace pagelift

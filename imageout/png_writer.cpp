#include "imageout/png_writer.h"

#include "imageout/gray_page.h"
#include "platform/partial_file.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

namespace pagelift {
namespace {

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
    char words[200];  // the library's last message
};

// The library's messages are kept for the writer's result instead of going
// to standard error; an error then returns to the writer, which fails.
void keepError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->words, sizeof job->words, "%s", message);
    png_longjmp(png, 1);
}

void keepWarning(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->words, sizeof job->words, "%s", message);
}

// Runs the library over the whole page; false when it failed, with its
// words in the job.
bool runPng(PngJob& job)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, keepError, keepWarning);
    if (png == nullptr) {
        std::snprintf(job.words, sizeof job.words, "%s", "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(job.words, sizeof job.words, "%s", "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
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
    return true;
}

}  // namespace

WriteResult writePngPage(const PageBitmap& page, const std::string& path)
{
    const GrayPage image(page);
    // PNG has no empty image.
    if (!image.valid() || image.visibleWidth() == 0 || image.height() == 0) {
        return failureOfWords(WriteFailure::NothingToEncode, path, "the page holds no image");
    }
    std::vector<uint8_t> row(size_t((image.visibleWidth() + 7) / 8) + 1);
    PartialFile file(path);
    if (file.file() == nullptr) return file.finish();
    PngJob job{&page, &image, file.file(), row.data(), {}};
    if (!runPng(job)) return file.finish(failureOfWords(WriteFailure::Encoding, path, job.words));
    return file.finish();
}

}  // namespace pagelift

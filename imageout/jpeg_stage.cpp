#include "imageout/jpeg_stage.h"

#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "imageout/bmp_reader.h"
#include "platform/leftovers.h"

namespace pagelift {
namespace {

// The library's error manager, extended with the place a fatal error jumps
// back to. Both parts are plain C data: nothing to destroy when jumping.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf resume;
};

// Replaces the library's default, which would end the process: the message
// goes to standard error and control returns to the step, which fails.
void leaveOnFatalError(j_common_ptr info)
{
    (*info->err->output_message)(info);
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    std::longjmp(trap->resume, 1);
}

// Reports a failure of the bitmap reader through the library's error
// manager, which formats it from the add-on message table. Does not return.
[[noreturn]] void failWith(jpeg_compress_struct& info, BmpStatus status)
{
    info.err->msg_code = static_cast<int>(status);
    (*info.err->error_exit)(reinterpret_cast<j_common_ptr>(&info));
    std::abort();  // error_exit never returns; this only tells the compiler so
}

bool reserveRow(std::vector<uint8_t>& row, size_t bytes) noexcept
{
    try {
        row.resize(bytes);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Everything the compression needs; owned by the caller, so that the frame
// that a fatal error jumps back to holds nothing with a destructor.
struct CompressionJob {
    std::FILE* bitmap;
    std::FILE* jpeg;
    int quality;
    bool grayscale;
    bool optimize;
    JpegRowFeed feed;
    BmpRowReader* reader;
    std::vector<uint8_t>* row;
};

// Runs the library from the bitmap's first byte to the last scanline.
// Returns JpegWritten, JpegWrittenWithWarnings or JpegFailed.
int runCompression(CompressionJob& job)
{
    jpeg_compress_struct info{};
    ErrorTrap trap{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leaveOnFatalError;
    trap.manager.addon_message_table = bmpMessageTable();
    trap.manager.first_addon_message = kFirstBmpMessageCode;
    trap.manager.last_addon_message = kLastBmpMessageCode;
    if (setjmp(trap.resume) != 0) {
        jpeg_destroy_compress(&info);
        return JpegFailed;
    }
    jpeg_create_compress(&info);
    // The defaults need some input colour space; the bitmap sets the real one.
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.optimize_coding = job.optimize ? TRUE : FALSE;
    if (job.grayscale) {
        jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    }

    const int first = std::getc(job.bitmap);
    if (first == EOF) {
        failWith(info, BmpStatus::EmptyInput);
    }
    if (std::ungetc(first, job.bitmap) == EOF) {
        failWith(info, BmpStatus::UngetcFailed);
    }
    if (first != 'B') {
        failWith(info, BmpStatus::UnrecognizedFormat);
    }
    if (const BmpStatus status = job.reader->start(); status != BmpStatus::Ok) {
        failWith(info, status);
    }
    const BmpImageInfo& image = job.reader->info();
    const bool grayRows = job.grayscale && job.feed == JpegRowFeed::GrayWhenPossible &&
                          image.bitsPerPixel == 8 && image.grayColorMap;
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.in_color_space = grayRows ? JCS_GRAYSCALE : JCS_RGB;
    info.input_components = grayRows ? 1 : 3;
    info.data_precision = 8;
    if (image.statesDensity) {
        info.density_unit = 2;  // dots per centimetre
        info.X_density = image.xDensity;
        info.Y_density = image.yDensity;
    }
    jpeg_default_colorspace(&info);
    if (job.grayscale) {
        jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    }
    jpeg_set_quality(&info, job.quality, FALSE);
    jpeg_stdio_dest(&info, job.jpeg);
    jpeg_start_compress(&info, TRUE);  // refuses empty and oversized images

    const size_t rowBytes = static_cast<size_t>(image.width) * static_cast<size_t>(info.input_components);
    if (!reserveRow(*job.row, rowBytes)) {
        failWith(info, BmpStatus::OutOfMemory);
    }
    JSAMPROW row = job.row->data();
    while (info.next_scanline < info.image_height) {
        if (const BmpStatus status = job.reader->readNextRow(row, grayRows); status != BmpStatus::Ok) {
            failWith(info, status);
        }
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const long warnings = trap.manager.num_warnings;
    jpeg_destroy_compress(&info);
    return warnings > 0 ? JpegWrittenWithWarnings : JpegWritten;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int compressBitmapToJpeg(const std::string& bitmapPath, const std::string& jpegPath, int quality,
                         bool grayscale, bool optimize)
{
    return compressBitmapToJpeg(bitmapPath, jpegPath, quality, grayscale, optimize,
                                JpegRowFeed::GrayWhenPossible);
}

int compressBitmapToJpeg(const std::string& bitmapPath, const std::string& jpegPath, int quality,
                         bool grayscale, bool optimize, JpegRowFeed feed)
{
    FileHandle bitmap(std::fopen(bitmapPath.c_str(), "rb"));
    if (!bitmap) {
        return JpegCannotOpen;
    }
    // Written under a partial name beside the destination, locked while it
    // is written so that a copy starting meanwhile leaves it alone.
    std::string partPath;
    FileHandle jpeg(createPartialFile(jpegPath, partPath));
    if (!jpeg) {
        return JpegCannotOpen;
    }

    BmpRowReader reader(bitmap.get());
    std::vector<uint8_t> row;
    CompressionJob job{bitmap.get(), jpeg.get(), quality, grayscale, optimize, feed, &reader, &row};
    int result = runCompression(job);

    if (std::fclose(jpeg.release()) != 0 && result != JpegFailed) {
        std::fprintf(stderr, "Output file write error --- out of disk space?\n");
        result = JpegFailed;
    }
    if (result == JpegFailed) {
        std::remove(partPath.c_str());
        return result;
    }
    if (std::rename(partPath.c_str(), jpegPath.c_str()) != 0) {
        std::remove(partPath.c_str());
        return JpegCannotOpen;
    }
    return result;
}

}  // namespace pagelift

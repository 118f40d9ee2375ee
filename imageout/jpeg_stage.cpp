#include "imageout/jpeg_stage.h"

#include <array>
#include <csetjmp>
#include <cstring>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "imageout/block_dct.h"
#include "imageout/bmp_reader.h"
#include "imageout/huffman_tables.h"
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
    std::vector<uint8_t>* row;   // one row (the library's rows), or eight (a band of blocks)
};

// The library's own tables for a component, filled with the optimal codes.
void setHuffmanTable(JHUFF_TBL* table, const HuffmanCodes& codes)
{
    std::memcpy(table->bits, codes.bits.data(), codes.bits.size());
    std::memcpy(table->huffval, codes.symbols.data(), codes.symbols.size());
    table->sent_table = FALSE;
}

// Reads the next band of eight image rows (fewer at the bottom: the last
// row repeats, as the library pads a partial band) into `band`, each row
// `stride` bytes, with the last sample repeated out to the stride as the
// library pads a partial block.
void readBand(jpeg_compress_struct& info, BmpRowReader& reader, uint8_t* band, size_t stride, JDIMENSION firstRow)
{
    const JDIMENSION width = info.image_width;
    for (JDIMENSION row = 0; row < 8; ++row) {
        uint8_t* out = band + size_t(row) * stride;
        if (firstRow + row >= info.image_height) {
            std::memcpy(out, out - stride, stride);
            continue;
        }
        if (const BmpStatus status = reader.readNextRow(out, true); status != BmpStatus::Ok) failWith(info, status);
        std::memset(out + width, out[width - 1], stride - width);
    }
}

// Writes the file from coefficients computed here: blocks transformed as the
// library's accurate integer DCT does, symbols counted as its optimisation
// counts them, tables built as it builds them. The library writes the file
// in one pass, with the same bytes as its two-pass optimisation.
void compressFromCoefficients(jpeg_compress_struct& info, CompressionJob& job)
{
    const JDIMENSION blocksWide = (info.image_width + 7) / 8;
    const JDIMENSION blocksHigh = (info.image_height + 7) / 8;
    // Not cleared first: every block is written below.
    jvirt_barray_ptr blocks = (*info.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                              FALSE, blocksWide, blocksHigh, 1);
    info.optimize_coding = FALSE;  // the tables are made here
    jpeg_write_coefficients(&info, &blocks);

    std::array<uint16_t, 64> quantization{};
    const JQUANT_TBL* table = info.quant_tbl_ptrs[info.comp_info[0].quant_tbl_no];
    for (size_t i = 0; i < 64; ++i) quantization[i] = table->quantval[i];
    const BlockTransform transform(quantization);
    SymbolCounter counter;
    const size_t stride = size_t(blocksWide) * 8;
    if (!reserveRow(*job.row, stride * 8)) failWith(info, BmpStatus::OutOfMemory);
    uint8_t* band = job.row->data();
    static_assert(std::is_same_v<JCOEF, int16_t>, "blocks are written straight into the library's arrays");
    const bool wholeBlocksWide = info.image_width % 8 == 0;
    for (JDIMENSION blockRow = 0; blockRow < blocksHigh; ++blockRow) {
        // Whole bands of the program's own bitmaps are read where the reader
        // holds them; others, and partial bands, are copied and padded.
        const uint8_t* rows = band;
        ptrdiff_t step = ptrdiff_t(stride);
        const bool wholeBand = (blockRow + 1) * 8 <= info.image_height;
        if (!(wholeBlocksWide && wholeBand && job.reader->nextGrayRowsInPlace(8, rows, step))) {
            rows = band;
            step = ptrdiff_t(stride);
            readBand(info, *job.reader, band, stride, blockRow * 8);
        }
        JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), blocks, blockRow, 1, TRUE);
        for (JDIMENSION column = 0; column < blocksWide; ++column) {
            JCOEF* block = row[0][column];
            const uint64_t nonZero = transform.transform(rows + ptrdiff_t(column) * 8, step, block);
            if (!counter.count(block, nonZero)) {
                info.err->msg_code = JERR_BAD_DCT_COEF;
                (*info.err->error_exit)(reinterpret_cast<j_common_ptr>(&info));
            }
        }
    }
    setHuffmanTable(info.dc_huff_tbl_ptrs[info.comp_info[0].dc_tbl_no], optimalHuffmanTable(counter.dc()));
    setHuffmanTable(info.ac_huff_tbl_ptrs[info.comp_info[0].ac_tbl_no], optimalHuffmanTable(counter.ac()));
    jpeg_finish_compress(&info);
}

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
    const bool grayRows = job.grayscale && job.feed != JpegRowFeed::AlwaysRgb && image.bitsPerPixel == 8 &&
                          image.grayColorMap;
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
    const bool fromCoefficients = grayRows && job.optimize && job.feed == JpegRowFeed::GrayWhenPossible &&
                                  image.width > 0 && image.height > 0 && image.width <= JPEG_MAX_DIMENSION &&
                                  image.height <= JPEG_MAX_DIMENSION;
    if (fromCoefficients) {
        compressFromCoefficients(info, job);
        const long warnings = trap.manager.num_warnings;
        jpeg_destroy_compress(&info);
        return warnings > 0 ? JpegWrittenWithWarnings : JpegWritten;
    }
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

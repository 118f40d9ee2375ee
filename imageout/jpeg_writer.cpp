#include "imageout/jpeg_writer.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "imageout/block_dct.h"
#include "imageout/gray_page.h"
#include "imageout/huffman_tables.h"
#include "platform/allocation.h"
#include "platform/partial_file.h"

namespace pagelift {
namespace {

// The library's error manager, extended with the place a fatal error jumps
// back to and the words of its last message. All plain C data: nothing to
// destroy when jumping.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf resume;
    char words[JMSG_LENGTH_MAX];
};

// Replaces the library's default, which writes to standard error: the
// message is kept for the writer's result.
void keepMessage(j_common_ptr info)
{
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    (*info->err->format_message)(info, trap->words);
}

// Replaces the library's default, which would end the process: the message
// is kept and control returns to the writer, which fails.
void leaveOnFatalError(j_common_ptr info)
{
    keepMessage(info);
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    std::longjmp(trap->resume, 1);
}

[[noreturn]] void failWith(jpeg_compress_struct& info, int code)
{
    info.err->msg_code = code;
    (*info.err->error_exit)(reinterpret_cast<j_common_ptr>(&info));
    std::abort();  // error_exit never returns; this only tells the compiler so
}

// Everything the compression needs; owned by the caller, so that the frame
// that a fatal error jumps back to holds nothing with a destructor.
struct CompressionJob {
    const GrayPage* page;
    std::FILE* jpeg;
    int quality;
    bool optimize;
    JpegFeed feed;
    std::vector<uint8_t>* row;  // the 8-bit row handed to the library
    std::optional<BlockTransform>* transform;  // made once the library's tables are known
};

// The library's own tables for a component, filled with the optimal codes.
void setHuffmanTable(JHUFF_TBL* table, const HuffmanCodes& codes)
{
    std::memcpy(table->bits, codes.bits.data(), codes.bits.size());
    std::memcpy(table->huffval, codes.symbols.data(), codes.symbols.size());
    table->sent_table = FALSE;
}

// Writes the file from coefficients computed here: each block is the eight
// page bytes it expands from (rows past the bottom repeat the last, as the
// library pads a partial band), transformed as the library's accurate
// integer DCT does; symbols counted as its optimisation counts them, tables
// built as it builds them. The library writes the file in one pass, with
// the bytes of its two-pass optimisation. Every column of blocks is one page
// byte wide: the image is whole bytes wide.
void compressFromBits(jpeg_compress_struct& info, const CompressionJob& job)
{
    const GrayPage& page = *job.page;
    const JDIMENSION blocksWide = info.image_width / 8;
    const JDIMENSION blocksHigh = (info.image_height + 7) / 8;
    // Not cleared first: every block is written below.
    jvirt_barray_ptr blocks = (*info.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                              FALSE, blocksWide, blocksHigh, 1);
    info.optimize_coding = FALSE;  // the tables are made here
    jpeg_write_coefficients(&info, &blocks);
    // The array holds every block of the page, in one piece after its
    // first row: the library allocates it in one when it fits, as every
    // page converted does (its rows are only to be reached in order, so the
    // first row tells). Were it otherwise, the request would only map
    // memory of the process early.
    JBLOCKARRAY first = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), blocks, 0, 1, TRUE);
    mapForWriting(first[0], size_t(blocksHigh) * blocksWide * sizeof(JBLOCK));

    std::array<uint16_t, 64> quantization{};
    const JQUANT_TBL* table = info.quant_tbl_ptrs[info.comp_info[0].quant_tbl_no];
    for (size_t i = 0; i < 64; ++i) quantization[i] = table->quantval[i];
    BlockTransform& transform = job.transform->emplace(quantization);
    SymbolCounter counter;
    static_assert(std::is_same_v<JCOEF, int16_t>, "blocks are written straight into the library's arrays");
    const int64_t lastRow = page.height() - 1;
    for (JDIMENSION blockRow = 0; blockRow < blocksHigh; ++blockRow) {
        const uint8_t* rows[8];
        for (int64_t row = 0; row < 8; ++row) {
            rows[row] = page.bitsOfRow(std::min<int64_t>(int64_t{blockRow} * 8 + row, lastRow));
        }
        JBLOCKARRAY row = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), blocks, blockRow, 1, TRUE);
        for (JDIMENSION column = 0; column < blocksWide; ++column) {
            alignas(8) uint8_t bytes[8];
            for (size_t line = 0; line < 8; ++line) bytes[line] = page.whitened(rows[line], column);
            JCOEF* block = row[0][column];
            const uint64_t nonZero = transform.transformBits(bytes, block);
            if (!counter.count(block, nonZero)) failWith(info, JERR_BAD_DCT_COEF);
        }
    }
    setHuffmanTable(info.dc_huff_tbl_ptrs[info.comp_info[0].dc_tbl_no], optimalHuffmanTable(counter.dc()));
    setHuffmanTable(info.ac_huff_tbl_ptrs[info.comp_info[0].ac_tbl_no], optimalHuffmanTable(counter.ac()));
    jpeg_finish_compress(&info);
}

// Runs the library over the whole page. False when it failed, with its
// words in `trap`; a warning of the library leaves the file whole.
bool runCompression(const CompressionJob& job, ErrorTrap& trap)
{
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leaveOnFatalError;
    trap.manager.output_message = keepMessage;
    if (setjmp(trap.resume) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    const GrayPage& page = *job.page;
    info.image_width = static_cast<JDIMENSION>(page.width());
    info.image_height = static_cast<JDIMENSION>(page.height());
    info.in_color_space = JCS_GRAYSCALE;
    info.input_components = 1;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, job.quality, FALSE);
    info.optimize_coding = job.optimize ? TRUE : FALSE;
    jpeg_stdio_dest(&info, job.jpeg);
    const bool fromBits = job.optimize && job.feed == JpegFeed::FromBits && page.width() > 0 && page.height() > 0 &&
                          page.width() <= JPEG_MAX_DIMENSION && page.height() <= JPEG_MAX_DIMENSION;
    if (fromBits) {
        compressFromBits(info, job);
    } else {
        jpeg_start_compress(&info, TRUE);  // refuses empty and oversized images
        try {
            job.row->resize(size_t(page.width()));
        } catch (const std::bad_alloc&) {
            failWith(info, JERR_OUT_OF_MEMORY);
        }
        JSAMPROW row = job.row->data();
        while (info.next_scanline < info.image_height) {
            page.expandRow(info.next_scanline, row);
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
    }
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

WriteResult writeJpegPage(const PageBitmap& page, const std::string& path, int quality, bool optimize, JpegFeed feed)
{
    const GrayPage image(page);
    if (!image.valid() || image.width() < 1 || image.height() < 1) {
        return failureOfWords(WriteFailure::NothingToEncode, path, "the page holds no image");
    }
    PartialFile jpeg(path);
    if (jpeg.file() == nullptr) return jpeg.finish();
    std::vector<uint8_t> row;
    std::optional<BlockTransform> transform;
    const CompressionJob job{&image, jpeg.file(), quality, optimize, feed, &row, &transform};
    ErrorTrap trap{};
    if (!runCompression(job, trap)) return jpeg.finish(failureOfWords(WriteFailure::Encoding, path, trap.words));
    return jpeg.finish();
}

}  // namespace pagelift

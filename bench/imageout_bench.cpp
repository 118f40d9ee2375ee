// Times the image output stage on one large fine-resolution page (3312 x 4677,
// text-like content): writeIntermediateBitmap followed by compressBitmapToJpeg
// at quality 50 with optimised Huffman tables, as a conversion runs it.
//
//   imageout_bench [--feed=gray|rgb] [--pages=N] [--folder=DIR] [--pgm=FILE]
//
// --feed picks how rows reach the JPEG library (both give the same file).
// --pgm also writes the page as a PGM, for timing cjpeg on the same pixels:
//   cjpeg -grayscale -quality 50 -optimize -outfile x.jpg FILE
// Peak memory: run under /usr/bin/time -v.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imageout/intermediate_bitmap.h"
#include "imageout/jpeg_stage.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 3312;
constexpr int32_t kRows = 4677;

// Bands of short black runs (text lines) between white bands, from a fixed
// generator so that every run times the same page.
pagelift::PageBitmap makeTextPage()
{
    pagelift::PageBitmap page;
    page.width = kWidth;
    page.rows = kRows;
    page.bytesPerRow = (kWidth + 7) / 8;
    page.xResolution = 400;
    page.yResolution = 400;
    page.pixels.assign(static_cast<size_t>(kRows) * static_cast<size_t>(page.bytesPerRow), 0xFF);
    uint32_t state = 12345;
    auto next = [&state](uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    for (int32_t row = 0; row < kRows; ++row) {
        if (row % 64 >= 40 || row < 200 || row > kRows - 200) {
            continue;  // margins and the space between text lines
        }
        uint8_t* line = page.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(page.bytesPerRow);
        int32_t x = 200 + static_cast<int32_t>(next(20));
        while (x < kWidth - 200) {
            const auto black = static_cast<int32_t>(2 + next(8));
            for (int32_t i = x; i < x + black; ++i) {
                line[i / 8] = static_cast<uint8_t>(line[i / 8] & ~(0x80u >> (i % 8)));
            }
            x += black + static_cast<int32_t>(2 + next(30));
        }
    }
    return page;
}

bool writePgm(const pagelift::PageBitmap& page, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "P5\n%d %d\n255\n", page.width, page.rows);
    std::string row(static_cast<size_t>(page.width), '\0');
    for (int32_t y = 0; y < page.rows; ++y) {
        for (int32_t x = 0; x < page.width; ++x) {
            const uint8_t byte = page.pixels[static_cast<size_t>(y * page.bytesPerRow + x / 8)];
            row[static_cast<size_t>(x)] = ((byte >> (7 - x % 8)) & 1) != 0 ? '\xFF' : '\0';
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    return std::fclose(file) == 0;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    pagelift::JpegRowFeed feed = pagelift::JpegRowFeed::GrayWhenPossible;
    int pages = 5;
    std::string folder = std::filesystem::temp_directory_path().string();
    std::string pgm;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--feed=rgb") {
            feed = pagelift::JpegRowFeed::AlwaysRgb;
        } else if (argument == "--feed=gray") {
            feed = pagelift::JpegRowFeed::GrayWhenPossible;
        } else if (argument.rfind("--pages=", 0) == 0) {
            pages = std::max(1, std::atoi(argument.c_str() + 8));
        } else if (argument.rfind("--folder=", 0) == 0) {
            folder = argument.substr(9);
        } else if (argument.rfind("--pgm=", 0) == 0) {
            pgm = argument.substr(6);
        } else {
            std::fprintf(stderr, "usage: %s [--feed=gray|rgb] [--pages=N] [--folder=DIR] [--pgm=FILE]\n", argv[0]);
            return 2;
        }
    }

    const pagelift::PageBitmap page = makeTextPage();
    if (!pgm.empty() && !writePgm(page, pgm)) {
        std::fprintf(stderr, "cannot write %s\n", pgm.c_str());
        return 1;
    }
    const std::string bitmap = folder + "/imageout_bench.bmp";
    const std::string jpeg = folder + "/imageout_bench.jpg";

    double writeTotal = 0;
    double compressTotal = 0;
    for (int i = 0; i < pages; ++i) {
        const Clock::time_point start = Clock::now();
        if (pagelift::writeIntermediateBitmap(page, bitmap) != 0) {
            std::fprintf(stderr, "writing the bitmap failed\n");
            return 1;
        }
        const Clock::time_point written = Clock::now();
        if (pagelift::compressBitmapToJpeg(bitmap, jpeg, 50, true, true, feed) != 0) {
            std::fprintf(stderr, "compression failed\n");
            return 1;
        }
        writeTotal += std::chrono::duration<double, std::milli>(written - start).count();
        compressTotal += millisecondsSince(written);
    }
    std::printf("page %d x %d, %s rows, %d pages: bitmap %.1f ms, jpeg %.1f ms, total %.1f ms per page; "
                "jpeg %llu bytes\n",
                kWidth, kRows, feed == pagelift::JpegRowFeed::AlwaysRgb ? "RGB" : "gray", pages,
                writeTotal / pages, compressTotal / pages, (writeTotal + compressTotal) / pages,
                static_cast<unsigned long long>(std::filesystem::file_size(jpeg)));
    std::filesystem::remove(bitmap);
    std::filesystem::remove(jpeg);
    return 0;
}

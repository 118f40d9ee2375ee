// Times the image output stage on one large fine-resolution page (3312 x 4677,
// text-like content): writeIntermediateBitmap followed by compressBitmapToJpeg
// at quality 50 with optimised Huffman tables, as a conversion runs it.
//
//   imageout_bench [--feed=coefficients|gray|rgb] [--pages=N] [--folder=DIR] [--pgm=FILE]
//   imageout_bench --versus-cjpeg [--rounds=N] [FAX...]
//
// --feed picks how the page reaches the JPEG library (all give the same
// file): coefficients computed here (the default), gray rows, RGB rows.
// --pgm also writes the page as a PGM, for timing cjpeg on the same pixels:
//   cjpeg -grayscale -quality 50 -optimize -outfile x.jpg FILE
// --versus-cjpeg times the JPEG step on every page of the fax files (by
// default the TIFF files of samples/ and of the fax corpus, $PAGELIFT_CORPUS
// or ../shared/corpus) and on the generated page, against cjpeg run on the
// same intermediate bitmap: the median of N rounds each, the ratio, and
// whether the bytes are the same.
// Peak memory: run under /usr/bin/time -v.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imageout/intermediate_bitmap.h"
#include "imageout/jpeg_stage.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"

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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Seconds one run of cjpeg takes on the bitmap, started without a shell.
double timeCjpeg(const std::string& bitmap, const std::string& jpeg)
{
    std::vector<std::string> words = {"cjpeg", "-grayscale", "-quality", "50", "-optimize", "-outfile", jpeg, bitmap};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "cjpeg", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? millisecondsSince(start) : -1;
}

std::vector<uint8_t> bytesOf(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

// The TIFF files of samples/ and of the corpus, when none are named.
std::vector<std::string> defaultFaxes()
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(__FILE__).parent_path().parent_path();
    const char* chosen = std::getenv("PAGELIFT_CORPUS");
    std::vector<std::string> files;
    for (const fs::path& folder : {root / "samples", chosen != nullptr ? fs::path(chosen) : root.parent_path() / "shared" / "corpus"}) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".tif") != std::string::npos) files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

int versusCjpeg(std::vector<std::string> faxes, int rounds, const std::string& folder)
{
    if (faxes.empty()) faxes = defaultFaxes();
    struct Page {
        std::string name;
        pagelift::PageBitmap bitmap;
    };
    std::vector<Page> pages = {{"generated text page", makeTextPage()}};
    for (const std::string& fax : faxes) {
        const pagelift::FaxFormat format = pagelift::identifyFormat(fax);
        pagelift::FaxDocument document;
        document.open(fax, format);
        for (size_t index = 0; document.hasPage() && index < std::max<size_t>(document.pageCount(), 1); ++index) {
            if (index > 0) document.readPage(format, index);
            if (document.hasPage()) {
                pages.push_back({std::filesystem::path(fax).filename().string() + " page " + std::to_string(index + 1),
                                 document.page()});
            }
        }
    }
    const std::string bitmap = folder + "/imageout_bench.bmp";
    const std::string ours = folder + "/imageout_bench-ours.jpg";
    const std::string theirs = folder + "/imageout_bench-cjpeg.jpg";
    std::printf("| page | size | ours ms | cjpeg ms | ours / cjpeg | same bytes |\n|---|---|---|---|---|---|\n");
    std::vector<double> ratios;
    bool allSame = true;
    for (const Page& page : pages) {
        if (pagelift::writeIntermediateBitmap(page.bitmap, bitmap) != 0) continue;
        std::vector<double> oursTimes;
        std::vector<double> cjpegTimes;
        for (int round = 0; round < rounds; ++round) {
            const Clock::time_point start = Clock::now();
            if (pagelift::compressBitmapToJpeg(bitmap, ours, 50, true, true) != 0) return 1;
            oursTimes.push_back(millisecondsSince(start));
            cjpegTimes.push_back(timeCjpeg(bitmap, theirs));
        }
        const bool same = bytesOf(ours) == bytesOf(theirs);
        allSame = allSame && same;
        const double ratio = median(oursTimes) / median(cjpegTimes);
        ratios.push_back(ratio);
        std::printf("| %s | %d x %d | %.2f | %.2f | %.2f | %s |\n", page.name.c_str(), page.bitmap.bytesPerRow * 8,
                    page.bitmap.rows * pagelift::rowFactor(page.bitmap), median(oursTimes), median(cjpegTimes), ratio,
                    same ? "yes" : "NO");
    }
    std::printf("\nours / cjpeg over %zu pages: median %.2f, largest %.2f, smallest %.2f (medians of %d rounds)\n",
                ratios.size(), median(ratios), *std::max_element(ratios.begin(), ratios.end()),
                *std::min_element(ratios.begin(), ratios.end()), rounds);
    for (const std::string& path : {bitmap, ours, theirs}) std::filesystem::remove(path);
    return allSame ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    pagelift::JpegRowFeed feed = pagelift::JpegRowFeed::GrayWhenPossible;
    int pages = 5;
    std::string folder = std::filesystem::temp_directory_path().string();
    std::string pgm;
    bool versus = false;
    int rounds = 5;
    std::vector<std::string> faxes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--versus-cjpeg") {
            versus = true;
        } else if (argument.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(argument.c_str() + 9));
        } else if (versus && argument.rfind("--", 0) != 0) {
            faxes.push_back(argument);
        } else if (argument == "--feed=rgb") {
            feed = pagelift::JpegRowFeed::AlwaysRgb;
        } else if (argument == "--feed=gray") {
            feed = pagelift::JpegRowFeed::GrayRows;
        } else if (argument == "--feed=coefficients") {
            feed = pagelift::JpegRowFeed::GrayWhenPossible;
        } else if (argument.rfind("--pages=", 0) == 0) {
            pages = std::max(1, std::atoi(argument.c_str() + 8));
        } else if (argument.rfind("--folder=", 0) == 0) {
            folder = argument.substr(9);
        } else if (argument.rfind("--pgm=", 0) == 0) {
            pgm = argument.substr(6);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--feed=coefficients|gray|rgb] [--pages=N] [--folder=DIR] [--pgm=FILE]\n"
                         "       %s --versus-cjpeg [--rounds=N] [FAX...]\n",
                         argv[0], argv[0]);
            return 2;
        }
    }

    if (versus) return versusCjpeg(faxes, rounds, folder);

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
                kWidth, kRows,
                feed == pagelift::JpegRowFeed::AlwaysRgb ? "RGB"
                : feed == pagelift::JpegRowFeed::GrayRows ? "gray" : "coefficient",
                pages,
                writeTotal / pages, compressTotal / pages, (writeTotal + compressTotal) / pages,
                static_cast<unsigned long long>(std::filesystem::file_size(jpeg)));
    std::filesystem::remove(bitmap);
    std::filesystem::remove(jpeg);
    return 0;
}

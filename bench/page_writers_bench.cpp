// Times the stages a page goes through in a conversion, in one process: its
// decoding from the file, its squaring (the rows repeated into the 8-bit
// image that cjpeg is given), and writing it as a JPEG (quality 50,
// optimised tables) and as a PNG file. Per page: the medians of N rounds and
// the sizes of both files. bench/compare.py sets these beside whole runs of
// pliftcmd and of cjpeg.
//
//   page_writers_bench [--rounds=N] [--folder=DIR] [--pgm-prefix=PATH] FAX...
//
// --pgm-prefix also writes each page's squared image as PATH-<n>.pgm (n from
// 1, in the order of the pages printed), the input cjpeg is timed on.
// Output: one tab-separated line per page: file, page, width, height, decode
// ms, squaring ms, jpeg ms, png ms, jpeg bytes, png bytes.
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "imageout/gray_page.h"
#include "imageout/jpeg_writer.h"
#include "imageout/png_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double medianMilliseconds(int rounds, const std::function<void()>& step)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool writePgm(const pagelift::GrayPage& image, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "P5\n%lld %lld\n255\n", static_cast<long long>(image.width()),
                 static_cast<long long>(image.height()));
    std::vector<uint8_t> row(static_cast<size_t>(image.width()));
    for (int64_t y = 0; y < image.height(); ++y) {
        image.expandRow(y, row.data());
        std::fwrite(row.data(), 1, row.size(), file);
    }
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    std::string folder = std::filesystem::temp_directory_path().string();
    std::string pgmPrefix;
    std::vector<std::string> faxes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(argument.c_str() + 9));
        } else if (argument.rfind("--folder=", 0) == 0) {
            folder = argument.substr(9);
        } else if (argument.rfind("--pgm-prefix=", 0) == 0) {
            pgmPrefix = argument.substr(13);
        } else if (argument.rfind("--", 0) != 0) {
            faxes.push_back(argument);
        } else {
            std::fprintf(stderr, "usage: %s [--rounds=N] [--folder=DIR] [--pgm-prefix=PATH] FAX...\n", argv[0]);
            return 2;
        }
    }
    const std::string jpeg = folder + "/page_writers_bench.jpg";
    const std::string png = folder + "/page_writers_bench.png";
    int printed = 0;
    for (const std::string& fax : faxes) {
        const pagelift::FaxFormat format = pagelift::identifyFormat(fax);
        pagelift::FaxDocument document;
        document.open(fax, format);
        for (size_t index = 0; document.hasPage() && index < std::max<size_t>(document.pageCount(), 1); ++index) {
            // Pages read in any order are decoded again each round; others once.
            const double decode = medianMilliseconds(
                pagelift::FaxDocument::readsPagesInAnyOrder(format) ? rounds : 1,
                [&] { document.readPage(format, index); });
            if (!document.hasPage()) continue;
            const pagelift::PageBitmap page = document.page();
            const pagelift::GrayPage image(page);
            std::vector<uint8_t> row(static_cast<size_t>(image.width()));
            const double squaring = medianMilliseconds(rounds, [&] {
                for (int64_t y = 0; y < image.height(); ++y) image.expandRow(y, row.data());
            });
            const double jpegTime = medianMilliseconds(rounds, [&] { pagelift::writeJpegPage(page, jpeg, 50, true); });
            const double pngTime = medianMilliseconds(rounds, [&] { pagelift::writePngPage(page, png); });
            ++printed;
            if (!pgmPrefix.empty() && !writePgm(image, pgmPrefix + "-" + std::to_string(printed) + ".pgm")) return 1;
            std::printf("%s\t%zu\t%lld\t%lld\t%.3f\t%.3f\t%.3f\t%.3f\t%llu\t%llu\n",
                        std::filesystem::path(fax).filename().c_str(), index + 1,
                        static_cast<long long>(image.width()), static_cast<long long>(image.height()), decode, squaring,
                        jpegTime, pngTime, static_cast<unsigned long long>(std::filesystem::file_size(jpeg)),
                        static_cast<unsigned long long>(std::filesystem::file_size(png)));
        }
    }
    std::filesystem::remove(jpeg);
    std::filesystem::remove(png);
    return printed > 0 ? 0 : 1;
}

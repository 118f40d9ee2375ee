// Times CCITT decoding alone (no file reading, no output) on the pages of
// sample TIFF files and prints the median milliseconds per page.
//
//   pagelift_decode_bench [--repeat=N] [FILE...]
//
// Without files it times ../shared/corpus/g4-multi.tiff and fax2d.tif beside
// the source tree. The coded strips are read into memory first; each timed
// run decodes every strip of every page of the file, as the TIFF reader
// does. To compare with libtiff on the same file (decoding plus writing):
//   hyperfine 'tiffcp -c none FILE /tmp/plain.tif'
#include "faxdoc/readers/tiff_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The coded strips of one page, read into memory before any timing.
struct LoadedPage {
    pagelift::TiffPageInfo info;
    std::vector<std::vector<uint8_t>> strips;
};

// Finds the pages and strips with the program's own TIFF reader, so that the
// timed part is the strip decoding alone.
std::vector<LoadedPage> loadPages(pagelift::TiffReader& reader, const std::string& path)
{
    std::vector<LoadedPage> pages;
    reader.openFile(path);
    if (reader.checkHeader() != 0) return pages;
    const uint16_t count = reader.countPages();
    for (uint16_t index = 0; index < count; ++index) {
        if (reader.readIfd(reader.pageOffset(index)) <= 0) continue;
        LoadedPage page;
        page.info = reader.parsePage();
        for (uint32_t strip = 0; strip < page.info.stripCount; ++strip) {
            std::vector<uint8_t> bytes;
            if (!reader.readStripBytes(reader.stripLocation(strip, page.info), bytes) || bytes.empty()) break;
            page.strips.push_back(std::move(bytes));
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// Decodes every strip of the page as the reader does; returns the rows decoded.
int32_t decodePageStrips(pagelift::TiffReader& reader, const LoadedPage& page)
{
    uint32_t rows = 0;
    for (uint32_t index = 0; index < page.strips.size() && rows < page.info.imageLength; ++index) {
        const std::vector<uint8_t>& strip = page.strips[index];
        const pagelift::PageBitmap bitmap = reader.decodeStrip(strip.data(), uint32_t(strip.size()), page.info, index,
                                                              page.info.imageLength - rows);
        rows += uint32_t(std::max(bitmap.rows, 0));
    }
    return int32_t(rows);
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int benchFile(const std::string& path, int repeat)
{
    pagelift::TiffReader reader;
    const std::vector<LoadedPage> pages = loadPages(reader, path);
    if (pages.empty()) {
        std::fprintf(stderr, "%s: no pages\n", path.c_str());
        return 1;
    }
    std::vector<double> perRun;
    int32_t rows = 0;
    for (int run = 0; run < repeat + 1; ++run) {
        rows = 0;
        const Clock::time_point start = Clock::now();
        for (const LoadedPage& page : pages) rows += decodePageStrips(reader, page);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (run > 0) perRun.push_back(ms);  // the first run warms caches and the allocator
    }
    const double median = medianOf(perRun);
    std::printf("%-60s %zu page(s) %6d rows  median %8.3f ms per file  %8.3f ms per page  (min %.3f, %d runs)\n",
                path.c_str(), pages.size(), rows, median, median / double(pages.size()),
                *std::min_element(perRun.begin(), perRun.end()) / double(pages.size()), repeat);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int repeat = 21;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--repeat=", 0) == 0) {
            repeat = std::max(1, std::atoi(arg.c_str() + 9));
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        // The sample corpus lies beside the source tree.
        const std::filesystem::path corpus =
            std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "corpus";
        files = {(corpus / "g4-multi.tiff").string(), (corpus / "fax2d.tif").string()};
    }
    int failures = 0;
    for (const std::string& file : files) failures += benchFile(file, repeat);
    return failures == 0 ? 0 : 1;
}

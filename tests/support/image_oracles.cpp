#include "support/image_oracles.h"

#include <algorithm>
#include <sstream>

namespace pagelift::imagetest {
namespace {

// A small linear congruential generator: the same pages on every run.
class PatternSource {
public:
    explicit PatternSource(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t next(uint32_t below)
    {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % below;
    }

private:
    uint32_t state_;
};

}  // namespace

std::optional<GrayImage> readPgm(const std::string& path)
{
    const std::vector<uint8_t> bytes = readBytes(path);
    // Header: "P5", width, height, maxval, separated by white space, then one
    // white-space byte before the pixels.
    size_t at = 0;
    // Comments ("#" to the end of the line) count as white space; ImageMagick
    // writes a TIFF's image description as one.
    auto skipSpace = [&] {
        while (at < bytes.size()) {
            if (bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (bytes[at] == ' ' || bytes[at] == '\n' || bytes[at] == '\r' || bytes[at] == '\t') {
                ++at;
            } else {
                break;
            }
        }
    };
    auto number = [&]() -> long {
        skipSpace();
        long value = 0;
        bool any = false;
        while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9' && value < 1000000) {
            value = value * 10 + (bytes[at++] - '0');
            any = true;
        }
        return any ? value : -1;
    };
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') {
        return std::nullopt;
    }
    at = 2;
    const long width = number();
    const long height = number();
    const long maxval = number();
    if (width < 0 || height < 0 || maxval != 255 || at >= bytes.size()) {
        return std::nullopt;
    }
    ++at;
    const auto count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (bytes.size() - at != count) {
        return std::nullopt;
    }
    GrayImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    return image;
}

int runCjpeg(const std::string& bitmap, const std::string& jpeg, int quality, bool optimize, bool gray)
{
    std::vector<std::string> arguments = {kCjpeg};
    if (gray) {
        arguments.push_back("-grayscale");
    }
    arguments.insert(arguments.end(), {"-quality", std::to_string(quality)});
    if (optimize) {
        arguments.push_back("-optimize");
    }
    arguments.insert(arguments.end(), {"-outfile", jpeg, bitmap});
    return runTool(arguments);
}

std::optional<GrayImage> decodeWithDjpeg(const std::string& jpeg, const std::string& scratchPgm)
{
    if (runTool({kDjpeg, "-grayscale", "-pnm", "-outfile", scratchPgm, jpeg}) != 0) {
        return std::nullopt;
    }
    return readPgm(scratchPgm);
}

std::optional<GrayImage> decodeWithImageMagick(const std::string& image, const std::string& scratchPgm)
{
    if (runTool({kImageMagick, image, "-colorspace", "Gray", "-depth", "8", "pgm:" + scratchPgm}) != 0) {
        return std::nullopt;
    }
    return readPgm(scratchPgm);
}

PageBitmap makePatternPage(int32_t width, int32_t rows, uint16_t xResolution, int16_t yResolution,
                           uint32_t seed)
{
    PageBitmap page;
    page.width = width;
    page.rows = rows;
    page.bytesPerRow = (width + 7) / 8;
    page.planes = 1;
    page.bitsPerPixel = 1;
    page.xResolution = xResolution;
    page.yResolution = yResolution;
    page.resolutionUnit = 2;
    page.pixels.assign(static_cast<size_t>(rows) * static_cast<size_t>(page.bytesPerRow), 0xFF);
    PatternSource pattern(seed);
    for (int32_t row = 0; row < rows; ++row) {
        uint8_t* line = page.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(page.bytesPerRow);
        if (pattern.next(4) == 0) {
            continue;  // blank lines, as between text lines
        }
        int32_t column = static_cast<int32_t>(pattern.next(40));
        while (column < width) {
            const auto black = static_cast<int32_t>(1 + pattern.next(12));
            for (int32_t x = column; x < std::min(width, column + black); ++x) {
                line[x / 8] = static_cast<uint8_t>(line[x / 8] & ~(0x80u >> (x % 8)));
            }
            column += black + static_cast<int32_t>(1 + pattern.next(60));
        }
        // Decoders leave undefined bits past the width; make them black so that
        // a writer that shows them is caught.
        for (int32_t x = width; x < page.bytesPerRow * 8; ++x) {
            line[x / 8] = static_cast<uint8_t>(line[x / 8] & ~(0x80u >> (x % 8)));
        }
    }
    return page;
}

GrayImage expectedImage(const PageBitmap& page, int factor)
{
    GrayImage image;
    image.width = page.bytesPerRow * 8;
    image.height = page.rows * factor;
    image.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int32_t row = 0; row < page.rows; ++row) {
        for (int copy = 0; copy < factor; ++copy) {
            for (int32_t x = 0; x < image.width; ++x) {
                const uint8_t byte = page.pixels[static_cast<size_t>(row * page.bytesPerRow + x / 8)];
                const bool white = x >= page.width || ((byte >> (7 - x % 8)) & 1) != 0;
                image.pixels.push_back(white ? 255 : 0);
            }
        }
    }
    return image;
}

void writePgm(const std::string& path, const GrayImage& image)
{
    const std::string header = "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), image.pixels.begin(), image.pixels.end());
    writeBytes(path, bytes);
}

}  // namespace pagelift::imagetest

#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"

#include <unistd.h>

#include <sstream>

namespace pagelift::faxtest {
using testing::shellQuoted;

CommandResult runPliftcmd(const std::vector<std::string>& arguments, const std::string& scratchFolder,
                          const std::string& workingFolder)
{
    std::string command = (workingFolder.empty() ? "" : "cd " + shellQuoted(workingFolder) + " && ") + shellQuoted(PLIFTCMD_PATH);
    for (const std::string& argument : arguments) {
        command += ' ';
        command += shellQuoted(argument);
    }
    return runShell(command, scratchFolder);
}

bool toolsAvailable(std::initializer_list<const char*> paths)
{
    for (const char* path : paths) {
        if (!imagetest::toolAvailable(path)) return false;
    }
    return true;
}

bool renderTextPage(const std::string& pbmPath, const std::string& text, int scale, int width, int height)
{
    // The text without pbmtext's margins, set a little in from the top left
    // corner, on a white page cut or padded to exactly width x height.
    const std::string size = " -width " + std::to_string(width) + " -height " + std::to_string(height);
    const std::string command = "printf '%s\\n' " + shellQuoted(text) + " | pbmtext -builtin fixed | pnmcrop -white | pnmenlarge " +
                                std::to_string(scale) + " | pnmpad -white -left 3 -top 2 | pnmpad -white" + size +
                                " | pamcut -left 0 -top 0" + size + " > " + shellQuoted(pbmPath);
    return runShell(command, pbmPath.substr(0, pbmPath.rfind('/'))).exitCode == 0;
}

std::vector<PageBitmap> readDocumentPages(const std::string& path)
{
    const FaxFormat format = identifyFormat(path);
    FaxDocument document;
    document.open(path, format);
    std::vector<PageBitmap> pages;
    if (!document.hasPage()) return pages;
    // Every reader test passes here: counting alone must agree with opening.
    EXPECT_EQ(FaxDocument().countPages(path, format), document.pageCount()) << path;
    pages.push_back(document.page());
    for (size_t index = 1; index < document.pageCount(); ++index) {
        document.readPage(format, index);
        pages.push_back(document.page());
    }
    return pages;
}

GrayImage pictureAsGray(const testing::Picture& picture)
{
    GrayImage image;
    image.width = picture.width;
    image.height = picture.height;
    for (const uint8_t black : picture.black) image.pixels.push_back(black ? 0 : 255);
    return image;
}

GrayImage pageAsGray(const PageBitmap& page)
{
    GrayImage image;
    image.width = page.width;
    image.height = page.rows;
    image.pixels.reserve(static_cast<size_t>(page.width) * static_cast<size_t>(page.rows));
    for (int32_t row = 0; row < page.rows; ++row) {
        const uint8_t* bits = page.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(page.bytesPerRow);
        for (int32_t column = 0; column < page.width; ++column) {
            const bool white = (bits[column / 8] >> (7 - column % 8)) & 1;
            image.pixels.push_back(white ? 255 : 0);
        }
    }
    return image;
}

std::optional<GrayImage> referencePage(const std::string& path, int pageIndex, const std::string& scratchPgm)
{
    return imagetest::decodeWithImageMagick(path + "[" + std::to_string(pageIndex) + "]", scratchPgm);
}

GrayImage scaledForJpeg(const GrayImage& page, int factor, int width)
{
    GrayImage out;
    out.width = width;
    out.height = page.height * factor;
    out.pixels.reserve(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    for (int row = 0; row < page.height; ++row) {
        for (int copy = 0; copy < factor; ++copy) {
            for (int column = 0; column < width; ++column) {
                out.pixels.push_back(column < page.width
                                         ? page.pixels[static_cast<size_t>(row) * static_cast<size_t>(page.width) +
                                                       static_cast<size_t>(column)]
                                         : 255);
            }
        }
    }
    return out;
}

GrayImage thresholded(const GrayImage& image)
{
    GrayImage out = image;
    for (uint8_t& pixel : out.pixels) pixel = pixel >= 128 ? 255 : 0;
    return out;
}

std::string firstDifference(const GrayImage& expected, const GrayImage& actual)
{
    std::ostringstream text;
    if (expected.width != actual.width || expected.height != actual.height) {
        text << "size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
             << expected.height;
        return text.str();
    }
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        if (expected.pixels[i] != actual.pixels[i]) {
            const size_t width = static_cast<size_t>(std::max(expected.width, 1));
            text << "pixel (" << i % width << ", " << i / width << ") is " << int(actual.pixels[i]) << ", expected "
                 << int(expected.pixels[i]);
            return text.str();
        }
    }
    return "";
}

}  // namespace pagelift::faxtest

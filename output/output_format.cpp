#include "output/output_format.h"

#include "imageout/jpeg_writer.h"
#include "imageout/png_writer.h"
#include "raster/page_size.h"

#include <algorithm>
#include <cctype>

namespace pagelift {
namespace {

PageOutcome writeJpeg(const PageBitmap& page, const std::string& path, const OutputSettings& settings)
{
    const int result = writeJpegPage(page, path, settings.quality, settings.optimize);
    if (result == JpegPageUnusable) return PageOutcome::NotPrepared;
    return result == JpegWritten ? PageOutcome::Converted : PageOutcome::NotCompressed;
}

PageOutcome writePng(const PageBitmap& page, const std::string& path, const OutputSettings&)
{
    const int result = writePngPage(page, path);
    if (result == PngPageUnusable) return PageOutcome::NotPrepared;
    return result == PngWritten ? PageOutcome::Converted : PageOutcome::NotCompressed;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

const std::vector<OutputFormat>& outputFormats()
{
    static const std::vector<OutputFormat> formats = {
        {"jpg", ".jpg", "JPEG", "jpeg", "JPEG per page", OutputLayout::FilePerPage, writeJpeg, nullptr, nullptr},
        {"png", ".png", "PNG", "png", "PNG per page", OutputLayout::FilePerPage, writePng, nullptr, nullptr},
    };
    return formats;
}

const OutputFormat& defaultOutputFormat() { return outputFormats().front(); }

const OutputFormat* outputFormatNamed(std::string_view name)
{
    for (const OutputFormat& format : outputFormats()) {
        if (equalNoCase(format.name, name)) return &format;
    }
    return nullptr;
}

const OutputFormat* outputFormatOfPath(const std::string& path)
{
    const std::string_view name = std::string_view(path).substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    for (const OutputFormat& format : outputFormats()) {
        if (name.size() > format.extension.size() &&
            equalNoCase(name.substr(name.size() - format.extension.size()), format.extension)) {
            return &format;
        }
    }
    return nullptr;
}

std::string outputFormatNames(std::string_view separator)
{
    std::string names;
    for (const OutputFormat& format : outputFormats()) {
        if (!names.empty()) names += separator;
        names += format.name;
    }
    return names;
}

PageResult writeOutputPage(const OutputFormat& format, const PageBitmap& page, const std::string& path,
                           const OutputSettings& settings)
{
    try {
        if (!fitsOutputLimits(page)) return {PageOutcome::TooLarge, pageTooLargeText(page)};
        return {format.writePage(page, path, settings), {}};
    } catch (...) {
        return {PageOutcome::Failed, {}};
    }
}

PageResult encodeOutputPage(const OutputFormat& format, const PageBitmap& page, const OutputSettings& settings,
                            EncodedPage& encoded)
{
    try {
        if (!fitsOutputLimits(page)) return {PageOutcome::TooLarge, pageTooLargeText(page)};
        return {format.encodePage(page, settings, encoded), {}};
    } catch (...) {
        return {PageOutcome::Failed, {}};
    }
}

}  // namespace pagelift

#include "support/raw_streams.h"

#include "faxdoc/fax_document.h"
#include "faxdoc/readers/tiff_reader.h"
#include "support/fax_fixtures.h"
#include "support/mh_encoder.h"

#include <algorithm>

namespace pagelift::testing {
namespace {

std::string quoted(const std::filesystem::path& path)
{
    return shellQuoted(path.string());
}

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    return readBytes(path.string());
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    writeBytes(path.string(), bytes);
}

}  // namespace

Picture textPicture(const ScratchFolder& scratch, const std::string& text, int32_t width, int32_t height, int scale)
{
    const std::filesystem::path pbm = scratch / "text.pbm";
    if (!faxtest::renderTextPage(pbm.string(), text, scale, width, height)) return Picture{};
    return readPbm(pbm);
}

Picture stackPictures(const std::vector<Picture>& pictures)
{
    Picture all;
    for (const Picture& picture : pictures) {
        all.width = picture.width;
        all.height += picture.height;
        all.black.insert(all.black.end(), picture.black.begin(), picture.black.end());
    }
    return all;
}

Picture pictureRows(const Picture& picture, int32_t first, int32_t count)
{
    Picture part = blankPicture(picture.width, count);
    for (int32_t y = 0; y < count && first + y < picture.height; ++y) {
        std::copy_n(picture.black.begin() + std::ptrdiff_t(size_t(first + y) * size_t(picture.width)),
                    picture.width, part.black.begin() + std::ptrdiff_t(size_t(y) * size_t(picture.width)));
    }
    return part;
}

std::vector<uint8_t> pbmtog3Stream(const ScratchFolder& scratch, const Picture& picture, bool reverseBits)
{
    const std::filesystem::path pbm = scratch / "page.pbm";
    const std::filesystem::path g3 = scratch / "page.g3";
    writePbm(pbm, picture);
    const std::string options = reverseBits ? " -reversebits" : "";
    if (!runQuietly("pbmtog3 -nofixedwidth" + options + " " + quoted(pbm) + " > " + quoted(g3))) return {};
    return readFile(g3);
}

Picture g3topbmPicture(const ScratchFolder& scratch, const std::vector<uint8_t>& stream, bool reverseBits)
{
    const std::filesystem::path g3 = scratch / "oracle.g3";
    const std::filesystem::path pbm = scratch / "oracle.pbm";
    writeFile(g3, stream);
    const std::string options = reverseBits ? " -reversebits" : "";
    if (!runQuietly("g3topbm -stop_error" + options + " " + quoted(g3) + " > " + quoted(pbm))) return {};
    return readPbm(pbm);
}

std::vector<uint8_t> tiffcpStrip(const ScratchFolder& scratch, const Picture& picture, const std::string& compression,
                                 bool lsbFirst)
{
    const std::filesystem::path plain = scratch / "plain.tif";
    const std::filesystem::path coded = scratch / "coded.tif";
    writeUncompressedTiff(plain, picture, 0);
    const std::string fillOrder = lsbFirst ? " -f lsb2msb" : " -f msb2lsb";
    if (!runQuietly("tiffcp -c " + compression + fillOrder + " -r 100000000 " + quoted(plain) + " " + quoted(coded))) {
        return {};
    }
    TiffReader reader;
    reader.openFile(coded.string());
    if (reader.checkHeader() != 0 || reader.countPages() == 0 || reader.readIfd(reader.pageOffset(0)) <= 0) return {};
    const TiffPageInfo info = reader.parsePage();
    std::vector<uint8_t> strip;
    if (info.stripCount != 1 || !reader.readStripBytes(reader.stripLocation(0, info), strip)) return {};
    return strip;
}

void appendMrRtc(std::vector<uint8_t>& stream, bool lsbFirst)
{
    BitWriter rtc;
    for (int i = 0; i < 6; ++i) rtc.put("000000000001 1");
    const std::vector<uint8_t> bytes = rtc.bytes(lsbFirst);
    stream.insert(stream.end(), bytes.begin(), bytes.end());
}

DecodeSetup rawSettings(const ScratchFolder& scratch)
{
    DecodeSetup setup;
    setup.files.rawImagePath = (scratch / "plftmp.tmp").string();
    setup.files.rawSegmentPath = (scratch / "bsegtmp.tmp").string();
    setup.files.tempTiffPath = (scratch / "tmptif").string();
    setup.settings.anyWidth = 0;
    setup.settings.rawData = 0;
    return setup;
}

std::vector<PageBitmap> readRawPages(const ScratchFolder& scratch, const std::vector<uint8_t>& stream,
                                     const DecodeSetup& setup)
{
    const std::filesystem::path source = scratch / "call.g3";
    writeFile(source, stream);
    FaxDocument document;
    document.setup() = setup;
    document.open(source.string(), RawFax);
    std::vector<PageBitmap> pages;
    if (!document.hasPage()) return pages;
    pages.push_back(document.page());
    for (size_t index = 1; index < document.pageCount(); ++index) {
        document.readPage(RawFax, index);
        pages.push_back(document.page());
    }
    return pages;
}

std::vector<Picture> cutIntoPages(const Picture& all, int32_t rowsPerPage)
{
    std::vector<Picture> pages;
    for (int32_t first = 0; first < all.height; first += rowsPerPage) {
        pages.push_back(pictureRows(all, first, std::min(rowsPerPage, all.height - first)));
    }
    return pages;
}

}  // namespace pagelift::testing

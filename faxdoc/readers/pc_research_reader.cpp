#include "faxdoc/readers/pc_research_reader.h"

#include "ccitt/coded_page.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace pagelift {
namespace {

constexpr std::string_view kSignature = "PC Research, Inc";
constexpr int32_t kPageRows = 3288;

// A page header: a zero byte, then the signature.
bool startsPageHeader(const uint8_t* bytes)
{
    return bytes[0] == 0 && std::memcmp(bytes + 1, kSignature.data(), kSignature.size()) == 0;
}

}  // namespace

int PcResearchReader::checkHeader()
{
    if (!isOpen()) return -1;
    std::array<uint8_t, kHeaderSize> header{};
    if (!readAt(0, header.data(), header.size())) {
        closeFile();
        return -2;
    }
    if (!startsPageHeader(header.data())) {
        closeFile();
        return -3;
    }
    return 0;
}

uint16_t PcResearchReader::countPages()
{
    clearPageOffsets();
    addPageOffset(0);
    // The whole file is searched once; its copy is let go right after.
    if (!loadCodedDataWithin(0, static_cast<uint64_t>(fileSize()))) return pageCount();
    const std::vector<uint8_t>& file = codedData();
    const auto* begin = file.data();
    const auto* end = begin + file.size();
    const auto* from = begin + std::min<size_t>(2, file.size());
    for (;;) {
        const auto* match = std::search(from, end, kSignature.begin(), kSignature.end());
        if (match == end) break;
        if (match[-1] == 0 && addPageOffset(static_cast<uint32_t>(match - 1 - begin)) != 0) break;
        from = match + 1;
    }
    loadCodedData(0, 0);
    return pageCount();
}

void PcResearchReader::setProbeSettings(uint16_t threshold, uint8_t flagCount)
{
    threshold_ = threshold;
    flagCount_ = flagCount;
}

void PcResearchReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pageCount()) return;
    const uint64_t start = pageOffset(index);
    const uint64_t end = index + 1 < pageCount() ? pageOffset(index + 1) : static_cast<uint64_t>(fileSize());
    if (end < start + kHeaderSize) return;
    if (!loadCodedDataWithin(start + kHeaderSize, end - start - kHeaderSize)) return;

    UnlabelledPage request;
    request.threshold = threshold_;
    request.flagCount = flagCount_;
    request.mayBeMmr = false;
    request.height = kPageRows;
    if (decodeUnlabelledPage(codedData().data(), static_cast<int32_t>(codedData().size()), request, page) != 0) return;
    page.resolutionUnit = 2;
    page.xResolution = 200;
    page.yResolution = 200;
}

}  // namespace pagelift

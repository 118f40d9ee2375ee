#include "faxdoc/readers/cals_reader.h"

#include "faxdoc/whole_mmr_page.h"

#include <algorithm>
#include <string_view>

namespace pagelift {
namespace {

constexpr size_t kSizeRecord = 1024;     // holds "rpelcnt"
constexpr size_t kDensityRecord = 1152;  // holds "rdensty"
constexpr size_t kSingleValueLength = 7;
constexpr size_t kFirstOfPairLength = 11;

// The header as text: up to its first zero byte, never past its end.
std::string_view headerText(const std::array<uint8_t, CalsReader::kHeaderSize>& header)
{
    const auto* begin = reinterpret_cast<const char*>(header.data());
    const auto end = std::find(header.begin(), header.end(), uint8_t{0});
    return std::string_view(begin, static_cast<size_t>(end - header.begin()));
}

// A whole number at the start of `text` after blanks, with an optional sign,
// as far as the digits go; 0 when there is none.
int64_t leadingNumber(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int64_t value = 0;
    // The callers pass at most 11 characters, so the value cannot overflow.
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) value = value * 10 + (text[at] - '0');
    return negative ? -value : value;
}

// Where the value of `key` begins: one character (its ':') after the first
// `key` found from `recordStart` on; npos when the key is not there.
size_t valueStart(std::string_view text, size_t recordStart, std::string_view key)
{
    if (recordStart >= text.size()) return std::string_view::npos;
    const size_t found = text.find(key, recordStart);
    if (found == std::string_view::npos) return found;
    return std::min(found + key.size() + 1, text.size());
}

int64_t singleValue(std::string_view text, size_t recordStart, std::string_view key)
{
    const size_t start = valueStart(text, recordStart, key);
    if (start == std::string_view::npos) return 0;
    return leadingNumber(text.substr(start, kSingleValueLength));
}

// A pair "first,second"; both 0 unless its comma lies in the record that
// holds the value's start.
void pairValue(std::string_view text, size_t recordStart, std::string_view key, int64_t& first, int64_t& second)
{
    first = 0;
    second = 0;
    const size_t start = valueStart(text, recordStart, key);
    if (start == std::string_view::npos) return;
    const size_t recordEnd = (start / CalsReader::kRecordSize + 1) * CalsReader::kRecordSize;
    const size_t comma = text.find(',', start);
    if (comma == std::string_view::npos || comma >= recordEnd) return;
    first = leadingNumber(text.substr(start, std::min(comma - start, kFirstOfPairLength)));
    second = leadingNumber(text.substr(comma + 1, kSingleValueLength));
}

}  // namespace

int CalsReader::checkHeader()
{
    if (!isOpen()) return -1;
    std::array<uint8_t, kHeaderSize> header{};
    width_ = rows_ = density_ = 0;
    if (readAt(0, header.data(), header.size())) {
        const std::string_view text = headerText(header);
        pairValue(text, kSizeRecord, "rpelcnt", width_, rows_);
        density_ = singleValue(text, kDensityRecord, "rdensty");
    }
    if (width_ == 0 || rows_ == 0 || density_ == 0) {
        closeFile();
        return -2;
    }
    return 0;
}

void CalsReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index != 0) return;
    if (!loadCodedDataWithin(kHeaderSize, static_cast<uint64_t>(fileSize()))) return;
    WholeMmrPage header;
    header.bitOrder = 1;
    header.flagCount = 0;
    header.width = width_;
    header.rows = rows_;
    header.resolution = density_;
    decodeWholeMmrPage(codedData(), header, page);
}

}  // namespace pagelift

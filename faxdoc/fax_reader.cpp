#include "faxdoc/fax_reader.h"

#include <algorithm>
#include <limits>
#include <new>

namespace pagelift {

void FaxReader::openFile(const std::string& path)
{
    closeFile();
    path_ = path;
    origin_ = 0;
    file_.reset(std::fopen(path.c_str(), "rb"));
    fileSize_ = 0;
    if (!file_) return;
    if (fseeko(file_.get(), 0, SEEK_END) == 0) fileSize_ = ftello(file_.get());
    if (fileSize_ < 0) fileSize_ = 0;
    fseeko(file_.get(), 0, SEEK_SET);
}

void FaxReader::openFileRange(const std::string& path, uint64_t offset, uint64_t length)
{
    openFile(path);
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    origin_ = std::min(offset, size);
    fileSize_ = static_cast<int64_t>(std::min(length, size - origin_));
}

int FaxReader::closeFile()
{
    std::FILE* file = file_.release();
    return file == nullptr ? 0 : std::fclose(file);
}

int FaxReader::addPageOffset(uint32_t offset)
{
    if (pageCount_ >= kMaxPages) return -1;
    pageOffsets_[pageCount_++] = offset;
    return 0;
}

uint32_t FaxReader::pageOffset(size_t index) const
{
    return index < pageCount_ ? pageOffsets_[index] : 0;
}

bool FaxReader::readAt(uint64_t offset, void* out, size_t length)
{
    if (!file_) return false;
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    if (offset > size || length > size - offset) return false;
    if (fseeko(file_.get(), static_cast<off_t>(origin_ + offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, length, file_.get()) == length;
}

bool FaxReader::loadCodedData(uint64_t offset, size_t length)
{
    codedData_.clear();
    codedData_.shrink_to_fit();
    try {
        codedData_.resize(length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (length == 0 || readAt(offset, codedData_.data(), length)) return true;
    codedData_.clear();
    return false;
}

void FaxReader::readZeroPadded(uint64_t offset, uint8_t* out, size_t length)
{
    std::fill_n(out, length, uint8_t{0});
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    if (!file_ || offset >= size) return;
    const size_t available = static_cast<size_t>(std::min<uint64_t>(length, size - offset));
    if (fseeko(file_.get(), static_cast<off_t>(origin_ + offset), SEEK_SET) != 0) return;
    const size_t got = std::fread(out, 1, available, file_.get());
    std::fill(out + got, out + length, uint8_t{0});
}

bool FaxReader::loadCodedDataWithin(uint64_t offset, uint64_t length)
{
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    if (offset >= size) {
        loadCodedData(0, 0);
        return false;
    }
    const uint64_t decodable = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    return loadCodedData(offset, static_cast<size_t>(std::min({length, size - offset, decodable})));
}

uint16_t FaxReader::walkPageChain(const std::function<std::optional<uint64_t>(uint64_t)>& nextHeader)
{
    clearPageOffsets();
    const uint64_t size = static_cast<uint64_t>(fileSize_);
    uint64_t offset = 0;
    while (offset < size) {
        const std::optional<uint64_t> next = nextHeader(offset);
        if (!next || addPageOffset(static_cast<uint32_t>(offset)) != 0) break;
        if (*next <= offset || *next >= size || *next > UINT32_MAX) break;
        offset = *next;
    }
    if (pageCount_ == 0) closeFile();
    return pageCount_;
}

int FaxReader::acceptFirstPageHeader(bool present)
{
    if (!isOpen()) return -1;
    if (present) return 0;
    closeFile();
    return -3;
}

int16_t FaxReader::resolutionOfFineCode(uint8_t code)
{
    switch (code) {
    case 0: return 100;
    case 1: return 200;
    default: return 400;
    }
}

}  // namespace pagelift

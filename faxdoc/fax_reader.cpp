#include "faxdoc/fax_reader.h"

namespace pagelift {

void FaxReader::openFile(const std::string& path)
{
    closeFile();
    file_.reset(std::fopen(path.c_str(), "rb"));
    fileSize_ = 0;
    if (!file_) return;
    if (fseeko(file_.get(), 0, SEEK_END) == 0) fileSize_ = ftello(file_.get());
    if (fileSize_ < 0) fileSize_ = 0;
    fseeko(file_.get(), 0, SEEK_SET);
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
    if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, length, file_.get()) == length;
}

bool FaxReader::loadCodedData(uint64_t offset, size_t length)
{
    codedData_.clear();
    codedData_.shrink_to_fit();
    codedData_.resize(length);
    if (length == 0 || readAt(offset, codedData_.data(), length)) return true;
    codedData_.clear();
    return false;
}

}  // namespace pagelift

#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pagelift {

// What every container reader shares: the open source file, the table of
// page offsets and the coded bytes of the current page or strip.
class FaxReader {
public:
    static constexpr size_t kMaxPages = 1024;

    FaxReader() = default;
    virtual ~FaxReader() = default;
    FaxReader(const FaxReader&) = delete;
    FaxReader& operator=(const FaxReader&) = delete;

    // Closes any open file, opens `path` for binary reading and records its
    // size. Afterwards isOpen() tells whether it worked.
    void openFile(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // 0, or the result of closing the file.
    int closeFile();

    // 0; -1 when the table already holds kMaxPages offsets (the offset is dropped).
    int addPageOffset(uint32_t offset);
    // The offset of page `index`, or 0 when there is no such page.
    uint32_t pageOffset(size_t index) const;
    uint16_t pageCount() const { return pageCount_; }
    void clearPageOffsets() { pageCount_ = 0; }

    int64_t fileSize() const { return fileSize_; }

protected:
    // Reads exactly `length` bytes at `offset`. False (and nothing promised
    // about `out`) when the range is not wholly inside the file or the read
    // fails.
    bool readAt(uint64_t offset, void* out, size_t length);
    // Replaces the coded-data buffer by `length` bytes read at `offset`.
    // False, with the buffer emptied, when they cannot be read.
    bool loadCodedData(uint64_t offset, size_t length);

    const std::vector<uint8_t>& codedData() const { return codedData_; }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
    std::array<uint32_t, kMaxPages> pageOffsets_{};
    uint16_t pageCount_ = 0;
    int64_t fileSize_ = 0;
    std::vector<uint8_t> codedData_;
};

}  // namespace pagelift

#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagelift {

// What a container says of the fax as a whole, where it says anything:
// texts as stored, up to their first zero byte; empty when not stated.
struct FaxTexts {
    std::string dateTime;     // when the fax was made ("YYYY:MM:DD HH:MM:SS" in TIFF, or with slashes)
    std::string description;  // fax servers put the sender's identification here
    std::string make;         // the machine that received it (spandsp: the remote one), and its model
    std::string model;
    std::string subAddress;   // the sub-address the caller dialled (TIFF FaxSubAddress)
};

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
    // As openFile, for a file embedded in another: the reader sees only the
    // `length` bytes from `offset` on (as far as the file holds them), as if
    // they were the whole file.
    void openFileRange(const std::string& path, uint64_t offset, uint64_t length);
    // The path last given to openFile or openFileRange.
    const std::string& openedPath() const { return path_; }
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
    // Reads `length` bytes at `offset`; the bytes the file does not hold
    // read as zero.
    void readZeroPadded(uint64_t offset, uint8_t* out, size_t length);
    // Replaces the coded-data buffer by `length` bytes read at `offset`.
    // False, with the buffer emptied, when they cannot be read or held.
    bool loadCodedData(uint64_t offset, size_t length);
    // As loadCodedData, for data whose stated length may run past the end of
    // the file: loads what the file holds of them, and at most what a decoder
    // can address (2 GiB). False, with the buffer emptied, when nothing of
    // them lies in the file or the read fails.
    bool loadCodedDataWithin(uint64_t offset, uint64_t length);

    // Records the pages of a file whose page headers form a chain from
    // offset 0: `nextHeader` reads the header at an offset and returns where
    // the next one stands, or nullopt when no page header stands there. The
    // walk ends at the first offset without a header, at a next position that
    // does not move forward or lies outside the file, and when the page table
    // is full, so no chain can loop. Returns the page count; with none the
    // file is closed.
    uint16_t walkPageChain(const std::function<std::optional<uint64_t>(uint64_t)>& nextHeader);

    // The header check of formats whose first page header opens the file:
    // 0 when it is there; -1 without an open file; else the file is closed
    // and -3 returned.
    int acceptFirstPageHeader(bool present);

    // Vertical resolution of the code several headers use: 0 standard (100
    // lines per inch), 1 fine (200), any other value 400.
    static int16_t resolutionOfFineCode(uint8_t code);

    const std::vector<uint8_t>& codedData() const { return codedData_; }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
    std::string path_;
    uint64_t origin_ = 0;  // where offset 0 lies in the file (openFileRange)
    std::array<uint32_t, kMaxPages> pageOffsets_{};
    uint16_t pageCount_ = 0;
    int64_t fileSize_ = 0;
    std::vector<uint8_t> codedData_;
};

}  // namespace pagelift

#pragma once

// Files assembled field by field, little-endian, for tests that build
// container headers the way other programs wrote them.

#include <cstdint>
#include <string>
#include <vector>

namespace pagelift::testing {

class ByteBuilder {
public:
    // Writes at `offset`, growing the bytes with zeros as needed.
    ByteBuilder& u8(size_t offset, uint8_t value)
    {
        reach(offset + 1);
        bytes_[offset] = value;
        return *this;
    }
    ByteBuilder& u16(size_t offset, uint16_t value) { return u8(offset, uint8_t(value)).u8(offset + 1, uint8_t(value >> 8)); }
    ByteBuilder& u32(size_t offset, uint32_t value) { return u16(offset, uint16_t(value)).u16(offset + 2, uint16_t(value >> 16)); }
    ByteBuilder& text(size_t offset, const std::string& value)
    {
        return bytes(offset, std::vector<uint8_t>(value.begin(), value.end()));
    }
    ByteBuilder& bytes(size_t offset, const std::vector<uint8_t>& value)
    {
        reach(offset + value.size());
        std::copy(value.begin(), value.end(), bytes_.begin() + std::ptrdiff_t(offset));
        return *this;
    }
    // Zeros up to `size` bytes (never shrinks).
    ByteBuilder& reach(size_t size)
    {
        if (bytes_.size() < size) bytes_.resize(size, 0);
        return *this;
    }

    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& result() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace pagelift::testing

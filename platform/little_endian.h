#pragma once

#include <cstdint>

namespace pagelift {

// Fields of files and headers stored least significant byte first, read from
// bytes the caller has checked are there.
inline uint16_t le16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t le32(const uint8_t* at)
{
    return uint32_t{le16(at)} | uint32_t{le16(at + 2)} << 16;
}

}  // namespace pagelift

namespace pagelift {

// Writes fields into a byte buffer the caller sized for them, least
// significant byte first.
class LittleEndianWriter {
public:
    explicit LittleEndianWriter(uint8_t* out) : out_(out) {}
    void u8(uint32_t value) { out_[at_++] = uint8_t(value & 0xFFu); }
    void u16(uint32_t value)
    {
        u8(value);
        u8(value >> 8);
    }
    void u32(uint32_t value)
    {
        u16(value & 0xFFFFu);
        u16(value >> 16);
    }
    void i16(int16_t value) { u16(uint16_t(value)); }
    void i32(int32_t value) { u32(uint32_t(value)); }

private:
    uint8_t* out_;
    uint32_t at_ = 0;
};

}  // namespace pagelift

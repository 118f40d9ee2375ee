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

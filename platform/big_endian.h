#pragma once

#include <cstdint>

namespace pagelift {

// Fields of files and headers stored most significant byte first, read from
// bytes the caller has checked are there.
inline uint16_t be16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

inline uint32_t be32(const uint8_t* at)
{
    return uint32_t{be16(at)} << 16 | be16(at + 2);
}

}  // namespace pagelift

// Little-endian loads from on-disk buffers. The caller has checked that the bytes lie inside
// the buffer.
#pragma once
#include <cstdint>

inline uint16_t LoadLe16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t LoadLe32(const uint8_t* p)
{
    return uint32_t(LoadLe16(p)) | uint32_t(LoadLe16(p + 2)) << 16;
}
inline uint64_t LoadLe64(const uint8_t* p)
{
    return uint64_t(LoadLe32(p)) | uint64_t(LoadLe32(p + 4)) << 32;
}

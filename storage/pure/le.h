// Little-endian loads from on-disk buffers, the one set every decoder uses. The caller has
// checked that the bytes lie inside the buffer.
#pragma once
#include <cstdint>

inline uint16_t Le16At(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Le32At(const uint8_t* p)
{
    return uint32_t(Le16At(p)) | uint32_t(Le16At(p + 2)) << 16;
}
inline uint64_t Le64At(const uint8_t* p)
{
    return uint64_t(Le32At(p)) | uint64_t(Le32At(p + 4)) << 32;
}

// A 32-bit value from four bytes given low byte first; FAT32 directory entries keep the two
// halves of a cluster number apart, so the bytes do not lie side by side.
inline uint32_t MakeDword(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

// LZNT1, the compression of NTFS's compressed attributes. A compression unit that is stored
// compressed holds a series of chunks, each standing for 4 KiB of the unit: a 16-bit header (bit
// 15 set when the chunk is compressed, bits 12-14 the signature 3, the low 12 bits its length
// minus 3, header included), then either the 4 KiB as they are or groups of a flag byte and eight
// tokens, each a literal byte (flag bit 0) or a 16-bit back-reference into what the chunk has
// given so far (flag bit 1). Nothing here reads a device.
#pragma once
#include <cstddef>
#include <cstdint>

// The bytes of the unit each chunk stands for.
constexpr size_t kLznt1ChunkBytes = 4096;

enum class Lznt1Status {
    Ok,
    BadHeader,   // a chunk header without the signature
    PastInput,   // a chunk, or a back-reference of it, runs past the compressed bytes
    BeforeStart, // a back-reference to before the first byte of its chunk
    PastOutput,  // a chunk gives more than its 4 KiB, or more than the unit has left
};

// Decompresses the chunks in `in` into `out`: chunk k gives out[4096k ...], at most 4 KiB, and
// the bytes it does not give, like those of chunks that are not there, are zeros. The chunks end
// at a header 0, at the end of `in` (a single byte left over is no header) or when `out` is full;
// the bytes after them are the unused rest of the unit's clusters. On any status but Ok the
// content of `out` means nothing.
Lznt1Status DecompressLznt1(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength);

#include "storage/pure/lznt1.h"

#include <algorithm>
#include <cstring>

#include "storage/pure/le.h"

namespace {

constexpr uint16_t kChunkCompressed = 0x8000;
constexpr uint16_t kSignatureMask = 0x7000;
constexpr uint16_t kSignature = 0x3000;

// One compressed chunk's tokens, `data` to `end`, into `out`, which holds `limit` bytes.
Lznt1Status DecodeChunk(const uint8_t* data, const uint8_t* end, uint8_t* out, size_t limit)
{
    size_t pos = 0;
    while (data < end) {
        const uint8_t flags = *data++;
        for (int bit = 0; bit < 8 && data < end; ++bit) {
            if ((flags >> bit & 1) == 0) {
                if (pos >= limit)
                    return Lznt1Status::PastOutput;
                out[pos++] = *data++;
                continue;
            }
            if (end - data < 2)
                return Lznt1Status::PastInput;
            const uint16_t token = Le16At(data);
            data += 2;
            if (pos == 0)
                return Lznt1Status::BeforeStart;
            // The further into the chunk, the more bits the offset takes from the length: an
            // offset can reach back to the chunk's first byte and no further.
            unsigned lengthBits = 12;
            for (size_t reach = pos - 1; reach >= 0x10; reach >>= 1)
                --lengthBits;
            const size_t length = (token & ((1u << lengthBits) - 1)) + 3;
            const size_t offset = (token >> lengthBits) + 1;
            if (offset > pos)
                return Lznt1Status::BeforeStart;
            if (length > limit - pos)
                return Lznt1Status::PastOutput;
            uint8_t* to = out + pos;
            const uint8_t* from = to - offset;
            if (offset >= length) {
                std::memcpy(to, from, length);
            } else {
                // The reference overlaps what it writes: a run repeats its own bytes.
                for (size_t i = 0; i < length; ++i)
                    to[i] = from[i];
            }
            pos += length;
        }
    }
    return Lznt1Status::Ok;
}

} // namespace

Lznt1Status DecompressLznt1(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength)
{
    std::memset(out, 0, outLength);
    size_t at = 0;
    for (size_t block = 0; block < outLength && inLength - at >= 2; block += kLznt1ChunkBytes) {
        const uint16_t header = Le16At(in + at);
        if (header == 0)
            break;
        if ((header & kSignatureMask) != kSignature)
            return Lznt1Status::BadHeader;
        const size_t length = size_t(header & 0x0FFF) + 1;
        at += 2;
        if (length > inLength - at)
            return Lznt1Status::PastInput;
        const size_t limit = std::min(kLznt1ChunkBytes, outLength - block);
        if (header & kChunkCompressed) {
            const Lznt1Status status = DecodeChunk(in + at, in + at + length, out + block, limit);
            if (status != Lznt1Status::Ok)
                return status;
        } else {
            if (length > limit)
                return Lznt1Status::PastOutput;
            std::memcpy(out + block, in + at, length);
        }
        at += length;
    }
    return Lznt1Status::Ok;
}

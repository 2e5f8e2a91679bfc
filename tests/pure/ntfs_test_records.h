// Crafted NTFS file records for the decoder tests and the benchmarks.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ntfs_test {

inline void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, uint16_t(v));
    Put16(p + 2, uint16_t(v >> 16));
}
inline void Put64(uint8_t* p, uint64_t v)
{
    Put32(p, uint32_t(v));
    Put32(p + 4, uint32_t(v >> 32));
}

// A 1024-byte record built attribute by attribute; Finish() applies the update sequence as a
// writer would (sector tails moved into the array, the sequence number in their place).
class RecordBuilder {
public:
    explicit RecordBuilder(uint8_t flags = 1, uint64_t baseRecord = 0) : rec(1024)
    {
        std::memcpy(rec.data(), "FILE", 4);
        Put16(&rec[4], 48);  // update-sequence array
        Put16(&rec[6], 3);   // sequence number + 2 sectors
        Put16(&rec[20], 56); // first attribute
        rec[22] = flags;
        Put64(&rec[32], baseRecord);
    }

    size_t Resident(uint32_t type, const std::vector<uint8_t>& value, const std::u16string& name = u"")
    {
        const size_t valueOffset = (24 + name.size() * 2 + 7) & ~size_t(7);
        uint8_t* a = Header(type, valueOffset + value.size(), false, name);
        Put32(a + 16, uint32_t(value.size()));
        Put16(a + 20, uint16_t(valueOffset));
        std::memcpy(a + valueOffset, value.data(), value.size());
        return Next(a);
    }

    size_t NonResident(uint32_t type, const std::vector<uint8_t>& pairs, uint64_t lowestVcn = 0, uint64_t dataSize = 0,
                       const std::u16string& name = u"")
    {
        const size_t pairsOffset = (64 + name.size() * 2 + 7) & ~size_t(7);
        uint8_t* a = Header(type, pairsOffset + pairs.size() + 1, true, name);
        Put64(a + 16, lowestVcn);
        Put16(a + 32, uint16_t(pairsOffset));
        Put64(a + 48, dataSize);
        Put64(a + 56, dataSize); // written whole: initialized to its size
        std::memcpy(a + pairsOffset, pairs.data(), pairs.size());
        return Next(a);
    }

    // The common header at pos, its length rounded up to 8, the name right after it.
    uint8_t* Header(uint32_t type, size_t length, bool nonResident, const std::u16string& name)
    {
        uint8_t* a = &rec[pos];
        const size_t nameOffset = nonResident ? 64 : 24;
        Put32(a, type);
        Put32(a + 4, uint32_t((length + 7) & ~size_t(7)));
        a[8] = nonResident ? 1 : 0;
        a[9] = uint8_t(name.size());
        Put16(a + 10, uint16_t(nameOffset));
        for (size_t i = 0; i < name.size(); ++i)
            Put16(a + nameOffset + 2 * i, name[i]);
        return a;
    }

    // An NTFS 3.0 header: its update-sequence array at 0x2A, and no record number.
    void OldHeader() { Put16(&rec[4], 0x2A); }

    std::vector<uint8_t> Finish(uint16_t usn = 0x0A0B) const
    {
        std::vector<uint8_t> out = rec;
        const size_t array = rec[4] | size_t(rec[5]) << 8;
        Put16(&out[array], usn);
        for (int s = 0; s < 2; ++s) {
            std::memcpy(&out[array + 2 + 2 * s], &out[510 + 512 * s], 2);
            Put16(&out[510 + 512 * s], usn);
        }
        return out;
    }

    std::vector<uint8_t> rec;
    size_t pos = 56;

private:
    // Moves past the attribute at `a` and marks the end of the list; returns its offset.
    size_t Next(const uint8_t* a)
    {
        const size_t at = pos;
        pos += a[4] | size_t(a[5]) << 8;
        Put32(&rec[pos], 0xFFFFFFFF);
        return at;
    }
};

// A $FILE_NAME value.
inline std::vector<uint8_t> FileNameValue(uint64_t parent, uint64_t created, int nameSpace, const std::u16string& name)
{
    std::vector<uint8_t> v(66 + 2 * name.size());
    Put64(&v[0], parent);
    Put64(&v[8], created);
    v[64] = uint8_t(name.size());
    v[65] = uint8_t(nameSpace);
    for (size_t i = 0; i < name.size(); ++i)
        Put16(&v[66 + 2 * i], name[i]);
    return v;
}

} // namespace ntfs_test

// Fuzzes the carving engine with arbitrary signature sets, data and read failures: it must never
// read outside its buffers, its events must not depend on the chunk size or on short reads, and
// every item must begin at a real header and receive exactly the device's bytes to its end.
//
// Input: byte 0 = record count (low 3 bits, +1) | policy (bit 3) | short reads (bit 4);
// byte 1 = chunk size choice; byte 2 = bad-sector seed (0: none); then per record: offset
// (2 bytes, little endian, not limited to 1..512), length (1 byte, not limited to 1..50),
// maximum size (2 bytes), then `length` signature bytes (up to 50 taken); the rest is the device.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/pure/carve_reference.h"

using namespace carve_test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t records = (data[0] & 7) + 1;
    const CarvePolicy policy = (data[0] & 8) ? CarvePolicy::FirstMatch : CarvePolicy::AllMatches;
    const bool shortReads = (data[0] & 16) != 0;
    static const uint32_t kChunks[] = { 1, 2, 3, 8, 16, 512 };
    const uint32_t chunk = kChunks[data[1] % 6];
    const uint8_t badSeed = data[2];
    size_t at = 3;

    std::vector<FileType1> list;
    for (size_t r = 0; r < records && at + 5 <= size; ++r) {
        FileType1 t;
        t.extension = r % 2 ? ".A" : ".B";
        t.offset = data[at] | data[at + 1] << 8;
        const int length = data[at + 2];
        t.maxSize = CString(std::to_wstring(data[at + 3] | data[at + 4] << 8).c_str());
        at += 5;
        t.signatureLength = length;
        for (int j = 0; j < length && j < kMaxSignatureBytes && at < size; ++j)
            t.signature[j] = data[at++];
        t.firstByte = t.signature[0];
        list.push_back(t);
    }
    Medium m;
    m.bytes.assign(data + at, data + size);
    if (m.bytes.empty())
        return 0;
    if (badSeed != 0)
        for (uint64_t s = 0; s < m.Sectors(); ++s)
            if ((s * 131 + badSeed) % 7 == 0)
                m.bad.insert(s);

    // One sector at a time from a source that never reads short is the baseline.
    Recorder rec, base;
    FixedAnswer host(MediaAnswer::Retry), baseHost(MediaAnswer::Retry);
    FaultySource src(m, badSeed, shortReads), plain(m, badSeed, false);
    RunCarve(m, list, policy, 0, m.Sectors() - 1, chunk, src, rec, host);
    RunCarve(m, list, policy, 0, m.Sectors() - 1, 1, plain, base, baseHost);
    if (rec.events != base.events) {
        for (const std::string& e : rec.events)
            fprintf(stderr, "chunk %u: %s\n", chunk, e.c_str());
        for (const std::string& e : base.events)
            fprintf(stderr, "chunk 1: %s\n", e.c_str());
        abort();
    }
    if (!CheckItemBytes(m, rec, SignatureSet(list)).empty())
        abort();
    return 0;
}

// Fuzzes loading archives: any sequence of reads over any input reads or ends in a
// CArchiveException, never a crash, an overread or an allocation out of proportion to the input,
// and no read makes the remaining byte count grow.
// Input: byte 0 = (buffer-size choice << 5) | (number of reads - 1); then one byte per read
// choosing its kind (and a raw read's size); the rest is the archive.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive.h"
#include "tests/pure/alloc_watch.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void ReadOne(CArchive& ar, uint8_t op)
{
    CString s;
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    uint64_t u64;
    double d;
    bool b;
    switch (op % 10) {
    case 0:
        ar >> s;
        break;
    case 1:
        ar.ReadString(s);
        break;
    case 2:
        ar >> u8;
        break;
    case 3:
        ar >> u16;
        break;
    case 4:
        ar >> u32;
        break;
    case 5:
        ar >> u64;
        break;
    case 6:
        ar >> d;
        break;
    case 7:
        ar.ReadCount();
        break;
    case 8: {
        std::vector<uint8_t> raw(op / 10);
        Check(ar.Read(raw.data(), static_cast<unsigned>(raw.size())) <= raw.size());
        break;
    }
    default:
        ar >> b;
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const unsigned kBuffers[] = { 16, 17, 64, 100, 512, 4096, 16, 4096 };
    if (size < 1)
        return 0;
    const unsigned bufferSize = kBuffers[data[0] >> 5];
    const size_t nOps = (data[0] & 31u) + 1;
    if (size < 1 + nOps)
        return 0;
    const uint8_t* ops = data + 1;
    const size_t payloadSize = size - 1 - nOps;

    const size_t largest = alloc_watch::Largest([&] {
        CMemFile in(ops + nOps, payloadSize);
        CArchive ar(&in, CArchive::load, bufferSize);
        for (size_t i = 0; i < nOps; ++i) {
            const uint64_t before = ar.GetRemaining();
            try {
                ReadOne(ar, ops[i]);
            } catch (CException* e) {
                Check(dynamic_cast<CArchiveException*>(e) != nullptr);
                e->Delete();
                break;
            }
            Check(ar.GetRemaining() <= before);
        }
    });
    // Text takes at most four bytes a character, and there are no more characters than bytes.
    Check(largest <= 4 * payloadSize + 8192);
    return 0;
}

// Fuzzes loading archives: any input either reads or ends in a CArchiveException, never a
// crash, an overread or an allocation out of proportion to the input. What was read must
// write back and read again to the same values, and writing is canonical (a second write
// gives the same bytes).
//
// Input: byte 0 = (buffer-size choice << 5) | (number of reads - 1); then one byte per read
// choosing its kind; the rest is the archive.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
#define ZR_WATCH_ALLOCATIONS 1
#endif
#endif

namespace {

// Largest single allocation while reading, to hold it to the size of the input.
size_t g_largest = 0;
bool g_watching = false;
#ifdef ZR_WATCH_ALLOCATIONS
void OnMalloc(const volatile void*, size_t size) {
    if (g_watching && size > g_largest) g_largest = size;
}
void OnFree(const volatile void*) {}
const int g_hooks = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
#endif

enum Op { String, Line, U8, U16, U32, U64, Double, Count, Raw, Bool, kOps };

struct Item {
    Op op;
    CString text;
    uint64_t value = 0;
    bool present = true;  // ReadString's result
    std::vector<uint8_t> raw;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// Reads one item of the given kind. 'wanted' is the raw read size taken from the op byte.
Item ReadItem(CArchive& ar, Op op, unsigned wanted) {
    Item it;
    it.op = op;
    switch (op) {
    case String: ar >> it.text; break;
    case Line: it.present = ar.ReadString(it.text); break;
    case U8: { uint8_t v; ar >> v; it.value = v; break; }
    case U16: { uint16_t v; ar >> v; it.value = v; break; }
    case U32: { uint32_t v; ar >> v; it.value = v; break; }
    case U64: { uint64_t v; ar >> v; it.value = v; break; }
    case Double: {
        double d;
        ar >> d;
        std::memcpy(&it.value, &d, sizeof d);
        break;
    }
    case Count: {
        it.value = ar.ReadCount();
        // What a careful caller does with a count before reserving rows for it.
        if (it.value <= ar.GetRemaining()) it.raw.reserve(static_cast<size_t>(it.value));
        it.raw.clear();
        break;
    }
    case Raw: {
        it.raw.resize(wanted);
        it.raw.resize(ar.Read(it.raw.data(), wanted));
        break;
    }
    case Bool: { bool b; ar >> b; it.value = b; break; }
    default: break;
    }
    return it;
}

void WriteItem(CArchive& ar, const Item& it) {
    switch (it.op) {
    case String: ar << it.text; break;
    case Line:
        if (it.present) ar.WriteString(it.text + L"\r\n");
        break;
    case U8: ar << static_cast<uint8_t>(it.value); break;
    case U16: ar << static_cast<uint16_t>(it.value); break;
    case U32: ar << static_cast<uint32_t>(it.value); break;
    case U64: ar << it.value; break;
    case Double: {
        double d;
        std::memcpy(&d, &it.value, sizeof d);
        ar << d;
        break;
    }
    case Count: ar.WriteCount(it.value); break;
    case Raw:
        if (!it.raw.empty()) ar.Write(it.raw.data(), static_cast<unsigned>(it.raw.size()));
        break;
    case Bool: ar << (it.value != 0); break;
    default: break;
    }
}

std::vector<uint8_t> WriteAll(const std::vector<Item>& items, unsigned bufferSize) {
    CMemFile out;
    {
        CArchive ar(&out, CArchive::store, bufferSize);
        for (const Item& it : items) WriteItem(ar, it);
        ar.Close();
    }
    return out.Detach();
}

bool SameItem(const Item& a, const Item& b) {
    return a.op == b.op && a.text == b.text && a.value == b.value && a.present == b.present && a.raw == b.raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const unsigned kBuffers[] = {16, 17, 64, 100, 512, 4096, 16, 4096};
    const unsigned bufferSize = kBuffers[data[0] >> 5];
    const size_t nOps = (data[0] & 31u) + 1;
    if (size < 1 + nOps) return 0;
    const uint8_t* ops = data + 1;
    const uint8_t* payload = ops + nOps;
    const size_t payloadSize = size - 1 - nOps;

    std::vector<Item> items;
    items.reserve(nOps);
    g_largest = 0;
    g_watching = true;
    {
        CMemFile in(payload, payloadSize);
        CArchive ar(&in, CArchive::load, bufferSize);
        uint64_t remaining = ar.GetRemaining();
        Check(remaining == payloadSize);
        for (size_t i = 0; i < nOps; ++i) {
            Op op = static_cast<Op>(ops[i] % kOps);
            try {
                items.push_back(ReadItem(ar, op, ops[i] / kOps));
            } catch (CException* e) {
                Check(dynamic_cast<CArchiveException*>(e) != nullptr);
                e->Delete();
                break;
            }
            uint64_t now = ar.GetRemaining();
            Check(now <= remaining);
            remaining = now;
        }
    }
    g_watching = false;
    // Text takes at most four bytes a character, and there are no more characters than bytes.
    Check(g_largest <= 4 * payloadSize + 8192);

    // Round trip: what was read writes back and reads again to the same items.
    const std::vector<uint8_t> first = WriteAll(items, bufferSize);
    {
        CMemFile in(first.data(), first.size());
        CArchive ar(&in, CArchive::load, 4096 + 16 - bufferSize);
        for (const Item& it : items) {
            Item again;
            try {
                unsigned wanted = static_cast<unsigned>(it.raw.size());
                again = ReadItem(ar, it.op, wanted);
            } catch (CException* e) {
                e->Delete();
                Check(false);
            }
            if (it.op == Count) again.raw.clear();
            Check(SameItem(it, again));
        }
        Check(ar.GetRemaining() == 0);
    }
    // Writing is canonical: the same items give the same bytes with any buffering.
    Check(WriteAll(items, 4096) == first);
    return 0;
}

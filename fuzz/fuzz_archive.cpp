// Fuzzes loading archives: any input reads or ends in a CArchiveException, never a crash, an
// overread or an allocation out of proportion to the input. What was read writes back and
// reads again to the same values, and writing is canonical (any buffering, the same bytes).
// Input: byte 0 = (buffer-size choice << 5) | (number of reads - 1); then one byte per read
// choosing its kind (and a raw read's size); the rest is the archive.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive.h"
#include "tests/pure/alloc_watch.h"

namespace {

enum Op { String, Line, U8, U16, U32, U64, Double, Count, Raw, Bool, kOps };

struct Item {
    Op op;
    CString text;
    uint64_t value = 0;
    bool present = true;  // ReadString's result
    std::vector<uint8_t> raw;
    bool operator==(const Item& o) const {
        return op == o.op && text == o.text && value == o.value && present == o.present && raw == o.raw;
    }
};

void Check(bool ok) { if (!ok) std::abort(); }

// Loads or stores a number through the bits of it.value.
template <class T> void Number(CArchive& ar, Item& it) {
    T v;
    if (ar.IsLoading()) {
        ar >> v;
        std::memcpy(&it.value, &v, sizeof v);
    } else {
        std::memcpy(&v, &it.value, sizeof v);
        ar << v;
    }
}

// Loads or stores one item; a raw load asks for 'wanted' bytes.
void Serialize(CArchive& ar, Item& it, unsigned wanted = 0) {
    const bool load = ar.IsLoading();
    switch (it.op) {
    case String: load ? void(ar >> it.text) : void(ar << it.text); break;
    case Line:
        if (load) it.present = ar.ReadString(it.text);
        else if (it.present) ar.WriteString(it.text + L"\r\n");
        break;
    case U8: Number<uint8_t>(ar, it); break;
    case U16: Number<uint16_t>(ar, it); break;
    case U32: Number<uint32_t>(ar, it); break;
    case U64: Number<uint64_t>(ar, it); break;
    case Double: Number<double>(ar, it); break;
    case Bool: Number<bool>(ar, it); break;
    case Count: load ? void(it.value = ar.ReadCount()) : ar.WriteCount(it.value); break;
    case Raw:
        if (load) {
            it.raw.resize(wanted);
            it.raw.resize(ar.Read(it.raw.data(), wanted));
        } else if (!it.raw.empty()) {
            ar.Write(it.raw.data(), static_cast<unsigned>(it.raw.size()));
        }
        break;
    default: break;
    }
}

Item ReadItem(CArchive& ar, Op op, unsigned wanted) {
    Item it;
    it.op = op;
    Serialize(ar, it, wanted);
    return it;
}

std::vector<uint8_t> WriteAll(const std::vector<Item>& items, unsigned bufferSize) {
    CMemFile out;
    {
        CArchive ar(&out, CArchive::store, bufferSize);
        for (Item it : items) Serialize(ar, it);
        ar.Close();
    }
    return out.Detach();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const unsigned kBuffers[] = {16, 17, 64, 100, 512, 4096, 16, 4096};
    if (size < 1) return 0;
    const unsigned bufferSize = kBuffers[data[0] >> 5];
    const size_t nOps = (data[0] & 31u) + 1;
    if (size < 1 + nOps) return 0;
    const uint8_t* ops = data + 1;
    const size_t payloadSize = size - 1 - nOps;

    std::vector<Item> items;
    const size_t largest = alloc_watch::Largest([&] {
        CMemFile in(ops + nOps, payloadSize);
        CArchive ar(&in, CArchive::load, bufferSize);
        for (size_t i = 0; i < nOps; ++i) {
            const uint64_t before = ar.GetRemaining();
            try {
                items.push_back(ReadItem(ar, static_cast<Op>(ops[i] % kOps), ops[i] / kOps));
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

    const std::vector<uint8_t> first = WriteAll(items, bufferSize);
    CMemFile in(first.data(), first.size());
    CArchive ar(&in, CArchive::load, 4096 + 16 - bufferSize);
    for (const Item& it : items)  // an exception escaping here ends the run as a crash
        Check(ReadItem(ar, it.op, static_cast<unsigned>(it.raw.size())) == it);
    Check(ar.GetRemaining() == 0);
    Check(WriteAll(items, 4096) == first);
    return 0;
}

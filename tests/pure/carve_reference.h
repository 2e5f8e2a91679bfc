// Test support for the carving engine, shared by the unit tests and the fuzzer: a sector source
// that fails and reads short on purpose, a sink that records events and the bytes each item
// received, and the check of those bytes against the medium.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sigrecovery/pure/carve_engine.h"
#include "sigrecovery/pure/carve_pass.h"

namespace carve_test {

struct Medium {
    std::vector<uint8_t> bytes; // the device; its size need not be a multiple of 512
    std::set<uint64_t> bad;     // sectors that never read

    uint64_t Sectors() const { return (bytes.size() + 511) / 512; }
    bool Bad(uint64_t sector) const { return bad.count(sector) != 0; }
};

// Reads a Medium the way a failing disk does: a bad sector fails alone and makes a read that
// covers it fail or stop short before it; other reads may stop short at random. Bytes past the
// medium's end are never delivered.
struct FaultySource : SectorSource {
    FaultySource(const Medium& m, uint32_t seed, bool randomShort) : m_m(m), m_rng(seed), m_short(randomShort) { }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (!BeginSectorRead(count, buf) || sector >= m_m.Sectors())
            return 0;
        uint32_t n = count;
        for (uint32_t i = 0; i < count; ++i) {
            if (m_m.Bad(sector + i)) {
                if (i == 0 || (m_rng() & 1))
                    return 0;
                n = i;
                break;
            }
        }
        if (m_short && n > 1 && m_rng() % 4 == 0)
            n = 1 + m_rng() % (n - 1);
        const uint64_t from = sector * 512;
        const size_t len = static_cast<size_t>(std::min<uint64_t>(uint64_t(n) * 512, m_m.bytes.size() - from));
        std::memcpy(buf, m_m.bytes.data() + from, len);
        return len;
    }
    const Medium& m_m;
    std::mt19937 m_rng;
    bool m_short;
};

inline std::string OpenEvent(uint64_t id, int record, uint64_t start, const CString& name)
{
    return "open " + std::to_string(id) + " r" + std::to_string(record) + " @" + std::to_string(start) + " " +
        std::string(name.Str().begin(), name.Str().end());
}
inline std::string CloseEvent(uint64_t id, uint64_t end, CarveClose why)
{
    return "close " + std::to_string(id) + " @" + std::to_string(end) + " " +
        (why == CarveClose::NextHeader     ? "header"
             : why == CarveClose::MaxSize  ? "size"
             : why == CarveClose::CutShort ? "cut"
                                           : "end");
}

struct Recorder : CarveSink {
    std::vector<std::string> events;
    std::map<uint64_t, CarveItem> items;
    std::map<uint64_t, std::vector<uint8_t>> data;
    std::map<uint64_t, uint64_t> ends;
    StopFlag* stopAfterOpens = nullptr; // sets the flag at the stopAt-th open
    size_t stopAt = 0;
    size_t failDataAt = 0; // OnData fails at this call (1-based), 0 never
    size_t dataCalls = 0;
    size_t failOpenAt = 0; // likewise OnOpen: the refused item is never closed
    size_t openCalls = 0;
    size_t failCloseAt = 0; // likewise OnClose
    size_t closeCalls = 0;

    bool OnOpen(CarveItem& item) override
    {
        events.push_back(OpenEvent(item.id, item.record, item.start, item.name));
        if (++openCalls == failOpenAt)
            return false;
        items[item.id] = item;
        if (stopAfterOpens && items.size() == stopAt)
            stopAfterOpens->store(1);
        return true;
    }
    bool OnData(const CarveItem& item, const uint8_t* p, size_t n) override
    {
        if (++dataCalls == failDataAt)
            return false;
        data[item.id].insert(data[item.id].end(), p, p + n);
        return true;
    }
    bool OnClose(const CarveItem& item, uint64_t end, CarveClose why) override
    {
        events.push_back(CloseEvent(item.id, end, why));
        ends[item.id] = end;
        return ++closeCalls != failCloseAt;
    }
};

// The bytes an item must have received: the medium's from start to end, unreadable sectors zero.
inline std::vector<uint8_t> ExpectedBytes(const Medium& m, uint64_t start, uint64_t end)
{
    std::vector<uint8_t> out(m.bytes.begin() + static_cast<std::ptrdiff_t>(start),
                             m.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    for (uint64_t s = start / 512; s * 512 < end; ++s) {
        if (!m.Bad(s))
            continue;
        const uint64_t a = std::max(start, s * 512), b = std::min(end, s * 512 + 512);
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(a - start),
                  out.begin() + static_cast<std::ptrdiff_t>(b - start), 0);
    }
    return out;
}

// Empty when every item was closed, begins with its record's signature in readable bytes, and
// got exactly the medium's bytes from its start to its end (no more than its maximum size).
inline std::string CheckItemBytes(const Medium& m, const Recorder& rec, const SignatureSet& set)
{
    for (const auto& [id, item] : rec.items) {
        const std::string what = "item " + std::to_string(id);
        const auto end = rec.ends.find(id);
        if (end == rec.ends.end())
            return what + " never closed";
        const SignatureSet::Record& r = set.Get(item.record);
        for (uint64_t j = 0, p = item.start + r.pos; j < r.length; ++j, ++p)
            if (p >= m.bytes.size() || m.Bad(p / 512) || m.bytes[p] != r.bytes[j])
                return what + " has no header";
        const auto it = rec.data.find(id);
        const std::vector<uint8_t> got = it == rec.data.end() ? std::vector<uint8_t>() : it->second;
        if (end->second - item.start > r.maxSize || got != ExpectedBytes(m, item.start, end->second))
            return what + " got other bytes";
    }
    return "";
}

inline FileType1 MakeSignature(const char* ext, const std::vector<uint8_t>& sig, int offset, const char* maxSize)
{
    FileType1 t;
    t.extension = ext;
    t.maxSize = maxSize;
    t.offset = offset;
    t.signatureLength = static_cast<int32_t>(std::min<size_t>(sig.size(), kMaxSignatureBytes));
    for (int i = 0; i < t.signatureLength; ++i)
        t.signature[i] = sig[i];
    t.firstByte = sig.empty() ? 0 : sig[0];
    return t;
}

// Answers the media question with a fixed answer and counts the questions.
struct FixedAnswer : CarveReadHost {
    explicit FixedAnswer(MediaAnswer a) : answer(a) { }
    MediaAnswer MediaRemovedAnswer() override
    {
        ++asked;
        return answer;
    }
    MediaAnswer answer;
    unsigned asked = 0;
};

// Runs one pass over m; photo-style names for the first-match policy, as the searches use them.
inline CarvePassEnd RunCarve(const Medium& m, const std::vector<FileType1>& list, CarvePolicy policy, uint64_t start,
                             uint64_t end, uint32_t chunk, SectorSource& src, Recorder& rec, CarveReadHost& host,
                             StopFlag* stop = nullptr, uint64_t* scannedEnd = nullptr)
{
    const SignatureSet set(list);
    HitNumbering photoNames(L"GNKX");
    TypeNumbering typeNames;
    CarveNamer& namer = policy == CarvePolicy::FirstMatch ? static_cast<CarveNamer&>(photoNames) : typeNames;
    CarveEngine engine(set, policy, namer, rec, stop);
    MediaQuestion q(host);
    CarveRange range;
    range.start = start, range.end = end, range.deviceBytes = m.bytes.size(), range.chunkSectors = chunk;
    const CarvePassEnd result = RunCarvePass(src, range, engine, q, stop, nullptr);
    if (scannedEnd)
        *scannedEnd = engine.ScannedEnd();
    return result;
}

} // namespace carve_test

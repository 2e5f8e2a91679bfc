#include "sigrecovery/pure/carve_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

CString MakeNumberedFileName(const CString& prefix, const CString& extension, const CString& suffix, uint64_t number)
{
    CString ext = extension;
    if (ext.GetLength() > 0 && ext[0] == L'.')
        ext.Delete(0);
    CString name;
    name.Format(L"%s%05llu%s.%s", prefix.GetString(), static_cast<unsigned long long>(number), suffix.GetString(),
                ext.GetString());
    return name;
}

// ---- SignatureSet ----------------------------------------------------------------------------

SignatureSet::SignatureSet(const std::vector<FileType1>& list)
{
    for (const FileType1& t : list) {
        const int64_t maxSize = MaxSizeBytes(t);
        bool ok = t.offset >= kMinSignatureOffset && t.offset <= kMaxSignatureOffset && t.signatureLength >= 1 &&
            t.signatureLength <= kMaxSignatureBytes && maxSize > 0;
        for (int i = 0; ok && i < t.signatureLength; ++i)
            ok = t.signature[i] >= 0 && t.signature[i] <= 255;
        if (!ok) {
            ++m_refused;
            continue;
        }
        Record r;
        r.type = t;
        r.pos = static_cast<uint16_t>(t.offset - 1);
        r.length = static_cast<uint8_t>(t.signatureLength);
        for (int i = 0; i < t.signatureLength; ++i)
            r.bytes[i] = static_cast<uint8_t>(t.signature[i]);
        r.maxSize = static_cast<uint64_t>(maxSize);
        m_records.push_back(r);
    }

    // Distinct positions in order of first appearance; per position the candidates grouped by
    // first byte, each group in list order (a counting sort keeps the order).
    std::vector<int> probeOf(kMaxSignatureOffset, -1);
    for (const Record& r : m_records) {
        if (probeOf[r.pos] < 0) {
            probeOf[r.pos] = static_cast<int>(m_probes.size());
            m_probes.emplace_back();
            m_probes.back().pos = r.pos;
        }
    }
    std::vector<std::vector<uint32_t>> counts(m_probes.size(), std::vector<uint32_t>(256, 0));
    for (const Record& r : m_records)
        ++counts[probeOf[r.pos]][r.bytes[0]];
    uint32_t next = 0;
    for (size_t k = 0; k < m_probes.size(); ++k) {
        for (int b = 0; b < 256; ++b) {
            m_probes[k].first[b] = next;
            next += counts[k][b];
        }
        m_probes[k].first[256] = next;
    }
    m_candidates.assign(next, 0);
    std::vector<std::vector<uint32_t>> fill(m_probes.size(), std::vector<uint32_t>(256, 0));
    for (size_t i = 0; i < m_records.size(); ++i) {
        const Record& r = m_records[i];
        const int k = probeOf[r.pos];
        m_candidates[m_probes[k].first[r.bytes[0]] + fill[k][r.bytes[0]]++] = static_cast<int32_t>(i);
    }
}

// ---- Namers ----------------------------------------------------------------------------------

CarveNamer::~CarveNamer() = default;
CarveSink::~CarveSink() = default;

CString TypeNumbering::Name(const FileType1& type)
{
    const CString key = MakeTypeKey(type.extension);
    const uint64_t n = ++m_last[key.Str()];
    return MakeNumberedFileName(key, key, CString(), n);
}

uint64_t TypeNumbering::Last(const CString& key) const
{
    auto it = m_last.find(key.Str());
    return it == m_last.end() ? 0 : it->second;
}

CString HitNumbering::Name(const FileType1& type)
{
    return MakeNumberedFileName(m_prefix, type.extension, CString(), ++m_hits);
}

// ---- CarveEngine -----------------------------------------------------------------------------

CarveEngine::CarveEngine(const SignatureSet& set, CarvePolicy policy, CarveNamer& namer, CarveSink& sink,
                         const StopFlag* stop)
    : m_set(set), m_policy(policy), m_namer(namer), m_sink(sink), m_stop(stop)
{ }

void CarveEngine::Begin(uint64_t firstSector)
{
    m_begun = true;
    m_nextSector = firstSector;
    m_scanEnd = m_emitPos = firstSector * kSectorSize;
}

bool CarveEngine::CheckStop()
{
    if (!m_stopped && IsStopped(m_stop))
        m_stopped = true;
    return m_stopped;
}

bool CarveEngine::EmitTo(uint64_t to, const uint8_t* base, uint64_t baseAt)
{
    while (!m_pending.empty() && m_emitPos < to) {
        uint64_t segEnd = to;
        for (const CarveItem& it : m_pending)
            segEnd = std::min(segEnd, it.limit);
        if (segEnd > m_emitPos) {
            const uint8_t* p = base + (m_emitPos - baseAt);
            const size_t n = static_cast<size_t>(segEnd - m_emitPos);
            for (size_t i = 0; i < m_pending.size(); ++i) {
                if (!m_sink.OnData(m_pending[i], p, n)) {
                    // This item and the later ones lack the stretch the earlier ones took.
                    m_cutFrom = i;
                    m_takenTo = segEnd;
                    m_sinkFailed = m_stopped = true;
                    return false;
                }
            }
            m_emitPos = segEnd;
        }
        // Items whose maximum size is used up close here, oldest first.
        for (size_t i = 0; i < m_pending.size();) {
            if (m_pending[i].limit <= m_emitPos) {
                const CarveItem item = m_pending[i];
                m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
                if (!m_sink.OnClose(item, item.limit, CarveClose::MaxSize)) {
                    m_sinkFailed = m_stopped = true;
                    return false;
                }
            } else {
                ++i;
            }
        }
    }
    if (m_emitPos < to)
        m_emitPos = to;
    return true;
}

bool CarveEngine::CloseAll(uint64_t at, CarveClose why)
{
    // Move the items out first: a failing sink must not see them again from Finish.
    std::vector<CarveItem> items;
    items.swap(m_pending);
    bool ok = true;
    for (const CarveItem& item : items)
        ok = m_sink.OnClose(item, at, why) && ok;
    if (!ok)
        m_sinkFailed = m_stopped = true;
    return ok;
}

bool CarveEngine::ScanSector(const uint8_t* sec, size_t reach, uint64_t at)
{
    m_matches.clear();
    const size_t probes = m_set.ProbeCount();
    for (size_t k = 0; k < probes; ++k) {
        const size_t pos = m_set.ProbePos(k);
        if (pos >= reach)
            continue;
        const uint8_t b = sec[pos];
        for (const int32_t *c = m_set.CandidatesBegin(k, b), *e = m_set.CandidatesEnd(k, b); c != e; ++c) {
            const SignatureSet::Record& r = m_set.Get(static_cast<size_t>(*c));
            if (pos + r.length > reach)
                continue;
            if (r.length > 1 && std::memcmp(sec + pos + 1, r.bytes + 1, r.length - 1u) != 0)
                continue;
            m_matches.push_back(*c);
            if (m_policy == CarvePolicy::FirstMatch)
                goto matched;
        }
    }
    if (m_matches.empty())
        return true;
matched:
    // A header: the pending items end here (their bytes up to here first).
    m_headerAt = at;
    if (!EmitTo(at, m_base, m_baseAt))
        return false;
    if (!CloseAll(at, CarveClose::NextHeader))
        return false;
    for (int32_t idx : m_matches) {
        const SignatureSet::Record& r = m_set.Get(static_cast<size_t>(idx));
        CarveItem item;
        item.id = m_nextId++;
        item.record = idx;
        item.extension = r.type.extension;
        item.name = m_namer.Name(r.type);
        item.start = at;
        item.limit = r.maxSize > std::numeric_limits<uint64_t>::max() - at ? std::numeric_limits<uint64_t>::max()
                                                                           : at + r.maxSize;
        if (!m_sink.OnOpen(item)) {
            m_sinkFailed = m_stopped = true;
            return false;
        }
        m_pending.push_back(item);
    }
    return true;
}

bool CarveEngine::ProcessTail(size_t extraReach)
{
    m_haveTail = false;
    if (CheckStop())
        return false;
    m_base = m_tail;
    m_baseAt = m_tailAt;
    if (!ScanSector(m_tail, kSectorSize + extraReach, m_tailAt))
        return false;
    m_scanEnd = m_tailAt + kSectorSize;
    return EmitTo(m_scanEnd, m_tail, m_tailAt);
}

bool CarveEngine::Feed(const uint8_t* data, uint32_t sectorCount, size_t validBytes, const uint8_t* unreadable)
{
    if (!m_begun || m_ended || m_stopped || m_finished || sectorCount == 0)
        return false;
    const uint64_t feedAt = m_nextSector * kSectorSize;
    const size_t total = static_cast<size_t>(sectorCount) * kSectorSize;
    if (validBytes > total)
        validBytes = total;
    // Only sectors the read reached exist; a partial last sector ends the data.
    const uint32_t sectors = static_cast<uint32_t>((validBytes + kSectorSize - 1) / kSectorSize);
    if (validBytes < total)
        m_ended = true;
    auto isBad = [&](uint32_t i) { return unreadable != nullptr && unreadable[i] != 0; };

    if (m_haveTail) {
        size_t extra = 0;
        if (sectors > 0 && !isBad(0)) {
            extra = std::min<size_t>(sizeof(m_tail) - kSectorSize, validBytes);
            std::memcpy(m_tail + kSectorSize, data, extra);
        }
        if (!ProcessTail(extra))
            return false;
    }
    if (sectors == 0) {
        m_ended = true;
        return false;
    }
    m_base = data;
    m_baseAt = feedAt;

    // Ask for a later sector's bytes ahead of time: the probes touch a few scattered cache lines
    // per sector, and would otherwise wait on each of them.
    constexpr uint32_t kPrefetchAhead = 8;
    const bool probing = !m_set.Empty();
    for (uint32_t i = 0; i < sectors; ++i) {
        if (probing && i + kPrefetchAhead < sectors)
            for (size_t line = 0; line < kSectorSize; line += 64)
                __builtin_prefetch(data + size_t(i + kPrefetchAhead) * kSectorSize + line);
        const uint64_t at = feedAt + uint64_t(i) * kSectorSize;
        const uint8_t* sec = data + size_t(i) * kSectorSize;
        const size_t here = std::min<size_t>(kSectorSize, validBytes - size_t(i) * kSectorSize);
        const bool last = i + 1 == sectors;
        if (CheckStop()) {
            // The items keep every byte up to the first sector not scanned.
            EmitTo(m_scanEnd, data, feedAt);
            return false;
        }
        if (!isBad(i)) {
            if (last && here == kSectorSize && !m_ended) {
                // Keep the block's last sector until the next block's first bytes are known.
                if (!EmitTo(at, data, feedAt))
                    return false;
                std::memcpy(m_tail, sec, kSectorSize);
                m_tailAt = at;
                m_haveTail = true;
                m_scanEnd = at;
                break;
            }
            // A signature may run into the next sector when that one was read.
            size_t reach = here;
            if (here == kSectorSize && !last && !isBad(i + 1))
                reach = std::min<size_t>(validBytes - size_t(i) * kSectorSize, sizeof(m_tail));
            if (!ScanSector(sec, reach, at))
                return false;
        }
        m_scanEnd = at + here;
    }
    if (!m_haveTail && !EmitTo(m_scanEnd, data, feedAt))
        return false;
    m_nextSector += sectorCount;
    return !m_ended;
}

void CarveEngine::Finish()
{
    if (m_finished)
        return;
    if (m_haveTail && !m_stopped)
        ProcessTail(0);
    m_haveTail = false;
    m_finished = true;
    if (!m_sinkFailed) {
        // The pending items have received their bytes up to the end of the scanned data.
        CloseAll(m_scanEnd, CarveClose::EndOfData);
    } else {
        // Each item ends where its bytes got to. It is whole only when that is its own end: its
        // size, or a header found after its start; otherwise the failure cut it short, whatever
        // the call that failed (its own write or another's, a create, a close).
        std::vector<CarveItem> items;
        items.swap(m_pending);
        for (size_t i = 0; i < items.size(); ++i) {
            const uint64_t got = i < m_cutFrom ? m_takenTo : m_emitPos;
            const bool whole = got >= items[i].limit || (got == m_headerAt && items[i].start < got);
            m_sink.OnClose(items[i], got, whole ? CarveClose::EndOfData : CarveClose::CutShort);
        }
    }
}

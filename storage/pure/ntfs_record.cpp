#include "storage/pure/ntfs_record.h"

#include <cstring>
#include <new>

#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"

bool ApplyNtfsFixup(uint8_t* buffer, size_t length)
{
    if (length < 8)
        return false;
    const size_t arrayOffset = Le16At(buffer + 4);
    const size_t words = Le16At(buffer + 6);
    if (words < 2 || arrayOffset + 2 > length)
        return false;
    const uint8_t usn0 = buffer[arrayOffset];
    const uint8_t usn1 = buffer[arrayOffset + 1];
    bool allMatched = true;
    size_t checked = 0;
    for (size_t i = 0; i + 1 < words; ++i) {
        const size_t tail = 510 + 512 * i;
        const size_t entry = arrayOffset + 2 + 2 * i;
        if (tail + 1 >= length || entry + 1 >= length)
            break;
        if (buffer[tail] != usn0 || buffer[tail + 1] != usn1)
            allMatched = false;
        buffer[tail] = buffer[entry];
        buffer[tail + 1] = buffer[entry + 1];
        ++checked;
    }
    // A sector the array does not reach cannot show it was written with the others.
    return allMatched && checked == length / 512;
}

bool IsFileRecord(const uint8_t* record, size_t length)
{
    return length >= 4 && std::memcmp(record, "FILE", 4) == 0;
}

NtfsAttributeWalker::NtfsAttributeWalker(const uint8_t* record, size_t length)
    : m_rec(record), m_len(length), m_pos(0), m_done(length < 24)
{
    if (!m_done)
        m_pos = Le16At(record + 20);
}

bool NtfsAttributeWalker::Next(NtfsAttribute& out)
{
    // The smallest header is 16 bytes (resident: 24, non-resident: 64).
    while (!m_done) {
        m_done = true;
        if (m_pos + 16 > m_len)
            return false;
        const uint8_t* a = m_rec + m_pos;
        const uint32_t type = Le32At(a);
        const uint32_t length = Le32At(a + 4);
        if (type == 0 || type == kAttrEnd || length < 16 || length > m_len - m_pos || (length & 7) != 0)
            return false;
        NtfsAttribute at;
        at.offset = m_pos;
        at.type = type;
        at.length = length;
        at.nonResident = a[8] != 0;
        at.nameLength = a[9];
        at.flags = Le16At(a + 12);
        if (a[8] > 1)
            return false;
        const size_t nameOffset = Le16At(a + 10);
        if (at.nameLength != 0 && nameOffset + 2 * size_t(at.nameLength) > length)
            return false;
        at.nameOffset = m_pos + nameOffset;
        if (!at.nonResident) {
            if (length < 24)
                return false;
            const size_t valueLength = Le32At(a + 16);
            const size_t valueOffset = Le16At(a + 20);
            if (valueOffset > length || valueLength > length - valueOffset)
                return false;
            at.valueOffset = m_pos + valueOffset;
            at.valueLength = valueLength;
        } else {
            if (length < 64)
                return false;
            const size_t pairs = Le16At(a + 32);
            if (pairs < 64 || pairs >= length)
                return false;
            at.valueOffset = m_pos + pairs;
            at.valueLength = length - pairs;
            at.lowestVcn = Le64At(a + 16);
            at.dataSize = Le64At(a + 48);
            at.compressionUnit = a[34];
        }
        m_pos += length;
        m_done = false;
        out = at;
        return true;
    }
    return false;
}

bool FindNtfsAttribute(const uint8_t* record, size_t length, uint32_t type, bool unnamedOnly, NtfsAttribute& out)
{
    NtfsAttributeWalker walk(record, length);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type == type && (!unnamedOnly || at.nameLength == 0)) {
            out = at;
            return true;
        }
    }
    return false;
}

int FindUnnamedDataAttribute(const uint8_t* record, size_t* attributeOffset)
{
    NtfsAttribute at;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, at))
        return 0;
    *attributeOffset = at.offset;
    return at.nonResident ? 2 : 1;
}

size_t WalkAttributeList(const uint8_t* value, size_t length,
                         const std::function<bool(const AttributeListEntry&)>& visit)
{
    size_t count = 0;
    for (size_t pos = 0; length - pos >= kAttributeListEntryHeader;) {
        const uint8_t* e = value + pos;
        const size_t entryLength = Le16At(e + 4);
        AttributeListEntry entry;
        entry.type = Le32At(e);
        if (entry.type == 0 || entry.type == kAttrEnd || entryLength < kAttributeListEntryHeader ||
            entryLength > length - pos)
            break;
        entry.nameLength = e[6];
        entry.lowestVcn = Le64At(e + 8);
        entry.recordNumber = NtfsReferenceRecord(Le64At(e + 16));
        entry.sequence = NtfsReferenceSequence(Le64At(e + 16));
        ++count;
        if (!visit(entry))
            break;
        pos += entryLength;
    }
    return count;
}

namespace {

// A little-endian field of `width` bytes (at most 8); sign-extended when asked.
uint64_t ReadVarField(const uint8_t* p, unsigned width, bool isSigned)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v |= uint64_t(p[i]) << (8 * i);
    if (isSigned && width > 0 && width < 8 && (p[width - 1] & 0x80))
        v |= ~uint64_t(0) << (8 * width);
    return v;
}

bool DecodePairs(const uint8_t* pairs, size_t length, std::vector<ClusterRun>& runs)
{
    constexpr uint64_t kMaxCluster = uint64_t(1) << 62;
    size_t p = 0;
    uint64_t current = 0;
    bool haveBase = false;
    while (p < length) {
        const uint8_t header = pairs[p];
        if (header == 0)
            return true;
        const unsigned lenWidth = header & 15;
        const unsigned offWidth = header >> 4;
        if (lenWidth == 0 || lenWidth > 8 || offWidth > 8 || 1 + lenWidth + offWidth > length - p)
            return false;
        ClusterRun run;
        run.clusterCount = ReadVarField(pairs + p + 1, lenWidth, false);
        if (run.clusterCount == 0 || run.clusterCount > kMaxCluster)
            return false;
        if (offWidth == 0) {
            run.sparse = true;
        } else {
            // The very first offset is a cluster number, read unsigned; later ones are deltas.
            const int64_t delta = int64_t(ReadVarField(pairs + p + 1 + lenWidth, offWidth, p != 0));
            // The first run's offset is its cluster number, relative to cluster 0.
            const int64_t base = haveBase ? int64_t(current) : 0;
            if (delta < -base || delta > int64_t(kMaxCluster) - base)
                return false;
            current = uint64_t(base + delta);
            if (current + run.clusterCount > kMaxCluster)
                return false;
            run.firstCluster = current;
            haveBase = true;
        }
        runs.push_back(run);
        p += 1 + lenWidth + offWidth;
    }
    return false;
}

} // namespace

bool DecodeMappingPairs(const uint8_t* pairs, size_t length, std::vector<ClusterRun>& runs)
{
    try {
        return DecodePairs(pairs, length, runs);
    } catch (const std::bad_alloc&) {
        const bool firstNode = runs.empty();
        std::vector<ClusterRun>().swap(runs);
        ReportListMemoryExhausted(ListKind::DataRuns, firstNode);
        return false;
    }
}

bool DecodeAttributeRuns(size_t recordLength, const uint8_t* record, size_t attributeOffset,
                         std::vector<ClusterRun>& runs)
{
    runs.clear();
    if (attributeOffset >= recordLength || recordLength - attributeOffset < 64)
        return false;
    const uint8_t* a = record + attributeOffset;
    const size_t attrLength = Le32At(a + 4);
    const size_t pairs = Le16At(a + 32);
    if (attrLength > recordLength - attributeOffset || pairs >= attrLength)
        return false;
    DecodeMappingPairs(a + pairs, attrLength - pairs, runs);
    return true;
}

int HexDigitValue(uint32_t ch)
{
    const uint8_t c = uint8_t(ch & 0xFF);
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int32_t HexToInt(const wchar_t* text)
{
    size_t n = 0;
    while (text[n])
        ++n;
    // Accumulated from the last digit up; a sum outside the 32-bit range becomes INT32_MIN,
    // the value the x86 conversion of an out-of-range number gives.
    int64_t value = 0;
    int64_t weight = 1;
    for (size_t i = n; i-- > 0;) {
        value += int64_t(HexDigitValue(uint32_t(text[i]))) * weight;
        if (value > INT32_MAX || value < INT32_MIN)
            value = INT32_MIN;
        if (weight > (int64_t(1) << 40))
            weight = int64_t(1) << 44; // any further non-zero digit overflows anyway
        else
            weight *= 16;
    }
    return int32_t(value);
}

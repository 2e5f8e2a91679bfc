#include "storage/pure/ntfs_file_records.h"

#include <algorithm>
#include <map>

#include "storage/pure/fs_names.h"
#include "storage/pure/le.h"

NtfsRecordSource::~NtfsRecordSource() = default;

bool NtfsRecordSource::ReadFreedExtent(uint64_t, const NtfsRecordHeader&, uint64_t, uint8_t*)
{
    return false;
}

namespace {

bool MulAdd(uint64_t a, uint64_t b, uint64_t c, uint64_t* out)
{
    if (b != 0 && a > (UINT64_MAX - c) / b)
        return false;
    *out = a * b + c;
    return true;
}

// The sequence number a record gets when it is freed: one more, 0 skipped.
uint16_t NextSequence(uint16_t sequence)
{
    return sequence == 0xFFFF ? 1 : uint16_t(sequence + 1);
}

// The sequence number a record had before it was freed (one less, 0 skipped); 0 for a record that
// keeps none.
uint16_t PreviousSequence(uint16_t sequence)
{
    return sequence == 0 ? 0 : sequence == 1 ? 0xFFFF : uint16_t(sequence - 1);
}

// `seen` is `listed`, or (for a freed record) one past it; 0 on either side says nothing.
bool SequenceAgrees(uint16_t seen, uint16_t listed, bool freed)
{
    return seen == 0 || listed == 0 || seen == listed || (freed && seen == NextSequence(listed));
}

// Reads a non-resident value of `size` bytes through its runs (holes as zeros). False when a
// product overflows, a cluster lies outside the volume or a sector cannot be read.
bool ReadNonResidentValue(SectorSource& source, const std::vector<ClusterRun>& runs, const NtfsVolumePlace& volume,
                          uint64_t size, std::vector<uint8_t>& out)
{
    out.clear();
    if (volume.sectorsPerCluster == 0)
        return false;
    std::vector<uint8_t> sector(kSectorSize);
    for (const ClusterRun& run : runs) {
        uint64_t sectors = 0, first = 0;
        if (!MulAdd(run.clusterCount, volume.sectorsPerCluster, 0, &sectors))
            return false;
        if (!run.sparse && (!MulAdd(run.firstCluster, volume.sectorsPerCluster, volume.cluster0, &first) ||
                            first >= volume.endSector))
            return false;
        for (uint64_t s = 0; s < sectors && out.size() < size; ++s) {
            if (run.sparse)
                std::fill(sector.begin(), sector.end(), 0);
            else if (first + s >= volume.endSector || !source.ReadSector(first + s, sector.data()))
                return false;
            const size_t take = size_t(std::min<uint64_t>(kSectorSize, size - out.size()));
            out.insert(out.end(), sector.begin(), sector.begin() + take);
        }
        if (out.size() >= size)
            return true;
    }
    return out.size() == size;
}

// The extension record the list entry names for the base record `base` (fixed up), number
// baseNumber.
NtfsExtensionWanted WantedExtension(const AttributeListEntry& entry, const uint8_t* base, uint64_t baseNumber)
{
    const NtfsRecordHeader header = ReadNtfsRecordHeader(base);
    NtfsExtensionWanted wanted;
    wanted.number = entry.recordNumber;
    wanted.sequence = entry.sequence;
    wanted.baseNumber = baseNumber;
    wanted.baseSequence = header.sequence;
    wanted.baseInUse = header.InUse();
    return wanted;
}

} // namespace

bool HasNtfsAttributeList(const uint8_t* record)
{
    NtfsAttribute list;
    return FindNtfsAttribute(record, kMftRecordSize, kAttrAttributeList, true, list);
}

bool HasNtfsIndex(const uint8_t* record)
{
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at))
        if (at.type == kAttrIndexRoot || at.type == kAttrIndexAllocation)
            return true;
    return false;
}

bool ReadNtfsAttributeList(SectorSource& source, const uint8_t* record, const NtfsVolumePlace& volume,
                           std::vector<uint8_t>& value)
{
    value.clear();
    NtfsAttribute list;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrAttributeList, true, list))
        return false;
    if (!list.nonResident) {
        value.assign(record + list.valueOffset, record + list.valueOffset + list.valueLength);
        return true;
    }
    // Runs up to a malformed pair are kept: a value they cover whole is still read.
    std::vector<ClusterRun> runs;
    DecodeMappingPairs(record + list.valueOffset, list.valueLength, runs);
    return ReadNonResidentValue(source, runs, volume, std::min<uint64_t>(list.dataSize, kMaxAttributeListBytes),
                                value);
}

bool ExtensionBelongsTo(const NtfsRecordHeader& extension, uint64_t baseNumber, const NtfsRecordHeader& base)
{
    if (!extension.IsExtension() || NtfsReferenceRecord(extension.baseReference) != baseNumber ||
        extension.InUse() != base.InUse())
        return false;
    // The base reference keeps the base's sequence number from before the base was freed.
    const uint16_t baseWas = NtfsReferenceSequence(extension.baseReference);
    return baseWas == 0 || base.sequence == 0 || baseWas == base.sequence ||
        (!base.InUse() && base.sequence == NextSequence(baseWas));
}

bool IsWantedExtension(const uint8_t* record, const NtfsExtensionWanted& wanted)
{
    if (!IsFileRecord(record, kMftRecordSize))
        return false;
    const NtfsRecordHeader h = ReadNtfsRecordHeader(record);
    NtfsRecordHeader base;
    base.flags = wanted.baseInUse ? 1 : 0;
    base.sequence = wanted.baseSequence;
    return ExtensionBelongsTo(h, wanted.baseNumber, base) && (!h.numbered || h.number == wanted.number) &&
        SequenceAgrees(h.sequence, wanted.sequence, !wanted.baseInUse);
}

bool ReadExtensionAt(SectorSource& source, uint64_t sector, const NtfsExtensionWanted& wanted, uint8_t* record)
{
    // A torn record (a write cut off part way) may keep a stale half that holds a whole older
    // extent: its runs would be taken as the file's. It is never the record wanted.
    return source.Read(sector, kSectorsPerMftRecord, record) == kMftRecordSize &&
        IsFileRecord(record, kMftRecordSize) && ApplyNtfsFixup(record, kMftRecordSize) &&
        IsWantedExtension(record, wanted);
}

bool MftRunRecordSource::ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record)
{
    return ReadMftRecordAt(m_source, m_runs, wanted.number, record) && IsFileRecord(record, kMftRecordSize) &&
        ApplyNtfsFixup(record, kMftRecordSize) && IsWantedExtension(record, wanted);
}

bool RestoreRemovedFileName(const uint8_t* record, std::vector<uint8_t>& out)
{
    // Where the end marker lies: after the last attribute the walk takes.
    size_t end = Le16At(record + 0x14);
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at))
        end = at.offset + at.length;
    constexpr size_t kFileNameFixed = 66;
    if (end > kMftRecordSize - 24 || Le32At(record + end) != kAttrEnd)
        return false;
    const uint8_t* a = record + end;
    const size_t valueLength = Le32At(a + 16), valueOffset = Le16At(a + 20);
    if (a[8] != 0 || a[9] != 0 || valueOffset < 24 || valueOffset % 8 != 0 || valueOffset > kMftRecordSize - end ||
        valueLength < kFileNameFixed || valueLength > kMftRecordSize - end - valueOffset)
        return false;
    const uint8_t* v = a + valueOffset;
    const size_t length = (valueOffset + valueLength + 7) & ~size_t(7);
    if (v[64] == 0 || v[65] > 3 || valueLength != kFileNameFixed + 2 * size_t(v[64]) ||
        end + length + 8 > kMftRecordSize)
        return false;
    out.assign(record, record + kMftRecordSize);
    uint8_t* put = out.data() + end;
    const uint32_t fields[] = { kAttrFileName, uint32_t(length) };
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            put[4 * i + b] = uint8_t(fields[i] >> (8 * b));
    for (int b = 0; b < 8; ++b)
        put[length + b] = b < 4 ? 0xFF : 0;
    return true;
}

bool NameHoldingRecord(const uint8_t* record, std::vector<uint8_t>& out)
{
    static const int kAny[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    if (PreferredMftNameRank(record, kAny, 4) < 4) {
        out.assign(record, record + kMftRecordSize);
        return true;
    }
    return !ReadNtfsRecordHeader(record).InUse() && RestoreRemovedFileName(record, out);
}

namespace {

const int kNameOrder[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };

} // namespace

void BestNameRecord::Consider(std::vector<uint8_t>& record)
{
    const size_t rank = PreferredMftNameRank(record.data(), kNameOrder, 4);
    if (rank < m_rank) {
        m_best.swap(record);
        m_rank = rank;
    }
}

void BestNameRecord::OfferAsItIs(const uint8_t* record)
{
    m_offered.assign(record, record + kMftRecordSize);
    Consider(m_offered);
}

void BestNameRecord::Offer(const uint8_t* record)
{
    if (NameHoldingRecord(record, m_offered))
        Consider(m_offered);
}

std::vector<uint8_t> BestNameRecord::Take(uint8_t baseFlags)
{
    if (m_rank == 4)
        return {};
    m_best[0x16] = baseFlags;
    m_rank = 4;
    return std::move(m_best);
}

namespace {

// The records of one file, each read once: the base record, and the extension records as the list
// names them (a record that could not be taken is remembered as such).
class FileRecords {
public:
    FileRecords(const uint8_t* base, uint64_t baseNumber, NtfsRecordSource& records)
        : m_base(base), m_baseNumber(baseNumber), m_records(records)
    { }

    // The record the entry names, or null when it cannot be taken. Where the base's own number is
    // not known, no other record can be checked as the file's: every entry is looked for in the base.
    const uint8_t* Of(const AttributeListEntry& entry)
    {
        if (entry.recordNumber == m_baseNumber || m_baseNumber == kUnknownNtfsRecord)
            return m_base;
        auto found = m_read.find(entry.recordNumber);
        if (found == m_read.end()) {
            std::vector<uint8_t> record(kMftRecordSize);
            if (!m_records.ReadExtension(WantedExtension(entry, m_base, m_baseNumber), record.data()))
                record.clear();
            found = m_read.emplace(entry.recordNumber, std::move(record)).first;
        }
        return found->second.empty() ? nullptr : found->second.data();
    }

private:
    const uint8_t* m_base;
    uint64_t m_baseNumber;
    NtfsRecordSource& m_records;
    std::map<uint64_t, std::vector<uint8_t>> m_read;
};

// The unnamed $DATA extent of a record that begins at `vcn`.
bool FindDataExtent(const uint8_t* record, uint64_t vcn, NtfsAttribute& out)
{
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type == kAttrData && at.nameLength == 0 && (at.nonResident ? at.lowestVcn : 0) == vcn) {
            out = at;
            return true;
        }
    }
    return false;
}

// `clusters` and those of runs[from] on. Counts of at most 2^62 each; a sum past 64 bits, which can
// begin no extent, is held at its top.
uint64_t AddClusters(uint64_t clusters, const std::vector<ClusterRun>& runs, size_t from)
{
    for (size_t r = from; r < runs.size(); ++r) {
        const uint64_t count = runs[r].clusterCount;
        clusters = count > UINT64_MAX - clusters ? UINT64_MAX : clusters + count;
    }
    return clusters;
}

// Takes the extent found in `record` into parts: the first one gives the sizes and flags, every one
// its runs. False when its runs do not decode (those before the fault are kept).
bool TakeExtent(const uint8_t* record, const NtfsAttribute& at, bool first, NtfsFileParts& parts)
{
    if (first) {
        parts.hasData = true;
        parts.flags = at.flags;
        if (!at.nonResident) {
            parts.resident = true;
            parts.dataSize = at.valueLength;
            parts.initializedSize = at.valueLength;
            parts.residentValue.assign(record + at.valueOffset, record + at.valueOffset + at.valueLength);
            return true;
        }
        parts.dataSize = at.dataSize;
        parts.initializedSize = NtfsInitializedSize(record, at);
        parts.compressionUnit = at.compressionUnit;
    }
    return DecodeMappingPairs(record + at.valueOffset, at.valueLength, parts.runs);
}

void GatherName(const uint8_t* base, const std::vector<AttributeListEntry>& entries, FileRecords& records,
                NtfsFileParts& parts)
{
    BestNameRecord best;
    best.OfferAsItIs(base);
    for (const AttributeListEntry& e : entries) {
        if (best.Done())
            break;
        const uint8_t* record = e.type == kAttrFileName ? records.Of(e) : nullptr;
        // A deleted file's record may have lost the name it held, but for the bytes behind its end.
        if (record != nullptr && record != base)
            best.Offer(record);
    }
    parts.nameRecord = best.Take(base[0x16]);
}

void GatherData(const uint8_t* base, std::vector<AttributeListEntry> entries, FileRecords& records,
                NtfsFileParts& parts)
{
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const AttributeListEntry& e) { return e.type != kAttrData || e.nameLength != 0; }),
                  entries.end());
    // Lists keep their entries in order, but a list written otherwise is read in the data's order.
    std::stable_sort(entries.begin(), entries.end(), [](const AttributeListEntry& a, const AttributeListEntry& b) {
        return a.lowestVcn < b.lowestVcn;
    });
    if (entries.empty()) {
        // No entry for the data (or no list read): what the base record holds of it is all there is.
        NtfsAttribute at;
        if (FindDataExtent(base, 0, at) && !TakeExtent(base, at, true, parts))
            parts.whole = false;
        return;
    }
    uint64_t clusters = 0; // those of the runs taken so far
    for (size_t i = 0; i < entries.size(); ++i) {
        const AttributeListEntry& e = entries[i];
        const bool first = i == 0;
        // Each extent begins where the one before it ended; the first at cluster 0.
        if (e.lowestVcn != clusters || (!first && parts.resident)) {
            parts.whole = false;
            return;
        }
        const size_t had = parts.runs.size();
        const uint8_t* record = records.Of(e);
        NtfsAttribute at;
        const bool taken = record != nullptr && FindDataExtent(record, e.lowestVcn, at) &&
            TakeExtent(record, at, first, parts);
        clusters = AddClusters(clusters, parts.runs, had);
        if (!taken) {
            parts.whole = false;
            return;
        }
    }
}

// The most extents a deleted file's data is taken on in from records its list does not name: as
// many as the longest list names (entries are 32 bytes at the least).
constexpr size_t kMaxFreedExtents = kMaxAttributeListBytes / 32;

// A deleted file whose gathered extents stop short of the size its first extent states: the freed
// extension record that names it and goes on exactly where they end is taken next, and so on.
void TakeFreedExtents(const uint8_t* base, uint64_t baseNumber, const NtfsVolumePlace& volume,
                      NtfsRecordSource& records, NtfsFileParts& parts)
{
    const NtfsRecordHeader header = ReadNtfsRecordHeader(base);
    const uint64_t clusterBytes = uint64_t(volume.sectorsPerCluster) * kSectorSize;
    if (header.InUse() || baseNumber == kUnknownNtfsRecord || !parts.hasData || parts.resident || clusterBytes == 0)
        return;
    const uint64_t needed = parts.dataSize / clusterBytes + (parts.dataSize % clusterBytes != 0 ? 1 : 0);
    uint64_t clusters = AddClusters(0, parts.runs, 0);
    if (clusters >= needed)
        return;
    std::vector<uint8_t> record(kMftRecordSize);
    bool decoded = true;
    for (size_t n = 0; n < kMaxFreedExtents && decoded && clusters < needed; ++n) {
        NtfsAttribute at;
        if (!records.ReadFreedExtent(baseNumber, header, clusters, record.data()) ||
            !FindDataExtent(record.data(), clusters, at))
            break;
        const size_t had = parts.runs.size();
        decoded = TakeExtent(record.data(), at, false, parts);
        const uint64_t before = clusters;
        clusters = AddClusters(clusters, parts.runs, had);
        if (clusters == before)
            break;
    }
    parts.whole = decoded && clusters >= needed;
}

} // namespace

bool FreedDataExtentOf(const uint8_t* record, uint64_t* baseNumber, uint64_t* lowestVcn)
{
    const NtfsRecordHeader h = ReadNtfsRecordHeader(record);
    if (h.InUse() || !h.IsExtension() || !IsFileRecord(record, kMftRecordSize))
        return false;
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type == kAttrData && at.nameLength == 0 && at.nonResident && at.lowestVcn != 0) {
            *baseNumber = NtfsReferenceRecord(h.baseReference);
            *lowestVcn = at.lowestVcn;
            return true;
        }
    }
    return false;
}

bool IsFreedExtentOf(const uint8_t* record, uint64_t baseNumber, const NtfsRecordHeader& base, uint64_t vcn)
{
    if (vcn == 0 || base.InUse() || !IsFileRecord(record, kMftRecordSize))
        return false;
    // Freeing a record counts its sequence number on, so the base's records name the one before it.
    // A freed record that names the base's sequence as it is now belongs to a file that had the
    // number after it; with no list left to say which records were the file's, nothing less than
    // the sequence it had in use is taken.
    const NtfsRecordHeader h = ReadNtfsRecordHeader(record);
    const uint16_t wasInUse = PreviousSequence(base.sequence);
    NtfsAttribute at;
    return h.IsExtension() && !h.InUse() && NtfsReferenceRecord(h.baseReference) == baseNumber && wasInUse != 0 &&
        NtfsReferenceSequence(h.baseReference) == wasInUse && FindDataExtent(record, vcn, at);
}

namespace {

// The unnamed $DATA of a record as it describes it: each extent's first cluster and runs (a
// resident value as its bytes), in the record's order.
struct UnnamedData {
    std::vector<uint64_t> vcns;
    std::vector<ClusterRun> runs;
    std::vector<size_t> runCounts;
    std::vector<uint8_t> resident;
    bool decoded = true;
};

UnnamedData UnnamedDataOf(const uint8_t* record)
{
    UnnamedData out;
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type != kAttrData || at.nameLength != 0)
            continue;
        if (!at.nonResident) {
            out.resident.assign(record + at.valueOffset, record + at.valueOffset + at.valueLength);
            continue;
        }
        const size_t had = out.runs.size();
        out.decoded = DecodeMappingPairs(record + at.valueOffset, at.valueLength, out.runs) && out.decoded;
        out.vcns.push_back(at.lowestVcn);
        out.runCounts.push_back(out.runs.size() - had);
    }
    return out;
}

} // namespace

bool SameUnnamedData(const uint8_t* a, const uint8_t* b)
{
    const UnnamedData x = UnnamedDataOf(a), y = UnnamedDataOf(b);
    const auto sameRun = [](const ClusterRun& p, const ClusterRun& q) {
        return p.firstCluster == q.firstCluster && p.clusterCount == q.clusterCount && p.sparse == q.sparse;
    };
    return x.decoded == y.decoded && x.vcns == y.vcns && x.runCounts == y.runCounts && x.resident == y.resident &&
        std::equal(x.runs.begin(), x.runs.end(), y.runs.begin(), y.runs.end(), sameRun);
}

NtfsFileParts GatherNtfsFileParts(SectorSource& source, const uint8_t* base, uint64_t baseNumber,
                                  const NtfsVolumePlace& volume, NtfsRecordSource& records, unsigned what)
{
    NtfsFileParts parts;
    if (!HasNtfsAttributeList(base))
        return parts;
    std::vector<uint8_t> list;
    std::vector<AttributeListEntry> entries;
    if (ReadNtfsAttributeList(source, base, volume, list)) {
        WalkAttributeList(list.data(), list.size(), [&entries](const AttributeListEntry& e) {
            entries.push_back(e);
            return true;
        });
    } else {
        parts.whole = false;
    }
    FileRecords fileRecords(base, baseNumber, records);
    if (what & kGatherName)
        GatherName(base, entries, fileRecords, parts);
    if (what & kGatherData)
        GatherData(base, entries, fileRecords, parts);
    if ((what & kGatherData) && (what & kGatherFreedData))
        TakeFreedExtents(base, baseNumber, volume, records, parts);
    return parts;
}

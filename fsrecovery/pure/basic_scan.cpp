#include "fsrecovery/pure/basic_scan.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "fsrecovery/pure/ntfs_volume_records.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/ntfs_file_records.h"
#include "storage/pure/ntfs_record.h"

namespace {

bool IsPowerOfTwoUpTo128(uint64_t n)
{
    return n >= 1 && n <= 128 && (n & (n - 1)) == 0;
}

// The first two entries of the sector are "." and "..".
bool IsDirectorySector(const uint8_t* s)
{
    return s[0] == '.' && s[1] == ' ' && s[32] == '.' && s[33] == '.' && s[34] == ' ';
}

uint32_t DotCluster(const uint8_t* s, bool fat32)
{
    return fat32 ? MakeDword(s[0x1A], s[0x1B], s[0x14], s[0x15]) : Le16At(s + 0x1A);
}

bool Stopped(const StopFlag* stop)
{
    return IsStopped(stop);
}

// Reads `count` sectors at `sector`; when the whole block fails, each sector is tried alone
// so that one bad sector costs only itself. ok[i] says whether sector i was delivered.
void ReadBlockPerSector(SectorSource& source, uint64_t sector, uint32_t count, uint8_t* buf, std::vector<bool>& ok)
{
    ok.assign(count, false);
    const size_t got = source.Read(sector, count, buf);
    if (got != 0) {
        const size_t whole = (got + kSectorSize - 1) / kSectorSize;
        for (size_t i = 0; i < count && i < whole; ++i)
            ok[i] = true;
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        ok[i] = source.ReadSector(sector + i, buf + size_t(i) * kSectorSize);
}

// The anchor-and-candidate test of the probe: the sectors per cluster that puts both
// directory clusters on the same cluster-0 sector, or 0.
uint32_t ClusterSizeFromPair(uint64_t s1, uint32_t c1, uint64_t s, uint32_t c2)
{
    if (c1 < 2 || c2 == 0xFFFFFFFFu || c2 <= c1 || s <= s1)
        return 0;
    if (c2 >= s || c2 >= s1)
        return 0;
    const uint64_t ds = s - s1, dc = uint64_t(c2) - c1;
    if (ds % dc != 0 || !IsPowerOfTwoUpTo128(ds / dc))
        return 0;
    const uint64_t spc = ds / dc;
    if (uint64_t(c1) * spc > s1)
        return 0;
    return uint32_t(spc);
}

} // namespace

bool FatGeometryUsable(const VolumeGeometryRecord& geometry)
{
    return IsPowerOfTwoUpTo128(geometry.sectorsPerCluster);
}

bool ProbeFatGeometry(SectorSource& source, bool fat32, uint64_t start, uint64_t end, VolumeGeometryRecord& geometry,
                      const StopFlag* stop, const ScanProgressFn& progress)
{
    if (end <= start)
        return false;
    uint8_t sector[kSectorSize];

    // The first FAT begins with the media byte F8 and a filler FF; the last hit wins.
    uint64_t reserved = 0;
    const uint64_t from = start + (fat32 ? 30 : 0), count = fat32 ? 30 : 10;
    for (uint64_t s = from; s < from + count && s < end; ++s)
        if (source.ReadSector(s, sector) && sector[0] == 0xF8 && sector[1] == 0xFF)
            reserved = s - start;
    if (reserved == 0)
        reserved = fat32 ? 32 : 1;

    std::vector<uint8_t> block(size_t(kFatProbeBlockSectors) * kSectorSize);
    std::vector<bool> ok;
    bool anchored = false;
    uint64_t s1 = 0;
    uint32_t c1 = 0;
    for (uint64_t b = start; b < end; b += kFatProbeBlockSectors) {
        if (Stopped(stop))
            return false;
        if (progress)
            progress(b - start, end - start);
        const uint32_t n = uint32_t(std::min<uint64_t>(kFatProbeBlockSectors, end - b));
        ReadBlockPerSector(source, b, n, block.data(), ok);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* p = block.data() + size_t(i) * kSectorSize;
            if (!ok[i] || !IsDirectorySector(p))
                continue;
            const uint64_t s = b + i;
            const uint32_t c = DotCluster(p, fat32);
            if (!anchored) {
                if (c >= 2 && c <= 0xFFFFFFFEu) {
                    anchored = true;
                    s1 = s;
                    c1 = c;
                }
                continue;
            }
            const uint32_t spc = ClusterSizeFromPair(s1, c1, s, c);
            if (spc == 0)
                continue;
            const uint64_t cluster2 = s1 - uint64_t(c1 - 2) * spc;
            const uint64_t before = start + reserved + (fat32 ? 0 : 32);
            if (cluster2 <= before)
                continue; // no room for the two FATs: not this volume's layout
            const uint64_t fats = cluster2 - before;
            geometry.sectorsPerCluster = spc;
            geometry.cluster0Start = s1 - uint64_t(c1) * spc;
            geometry.reservedSectors = uint32_t(reserved);
            geometry.sectorsPerFat = uint32_t(fats / 2);
            geometry.firstFatSector = uint32_t(start + reserved);
            geometry.secondFatSector = uint32_t(start + reserved + geometry.sectorsPerFat);
            if (fat32) {
                geometry.rootDirSectors = 0;
                geometry.rootStart = 2;
            } else {
                geometry.rootDirSectors = 32;
                geometry.rootStart = uint32_t(start + reserved + 2ull * geometry.sectorsPerFat);
            }
            return true;
        }
    }
    return false;
}

std::vector<FatDirRow> ScanFatDirectoryClusters(SectorSource& source, bool fat32, const VolumeGeometryRecord& geometry,
                                                uint64_t end, const StopFlag* stop, const ScanProgressFn& progress)
{
    std::vector<FatDirRow> rows;
    if (!FatGeometryUsable(geometry))
        return rows;
    const uint32_t spc = geometry.sectorsPerCluster;
    const uint64_t first = geometry.cluster0Start + 2ull * spc;
    std::vector<uint8_t> block(size_t(kFatScanBlockSectors) * kSectorSize);
    uint64_t expected = 2;
    for (uint64_t b = first; b < end; b += kFatScanBlockSectors) {
        if (Stopped(stop))
            break;
        if (progress)
            progress(b - first, end - first);
        if (source.Read(b, kFatScanBlockSectors, block.data()) == 0) {
            expected += kFatScanBlockSectors / spc;
            continue;
        }
        // Only the first sector of each cluster, and only clusters that begin in the volume.
        for (uint32_t off = 0; off < kFatScanBlockSectors; off += spc, ++expected) {
            const uint8_t* p = block.data() + size_t(off) * kSectorSize;
            if (b + off >= end || !IsDirectorySector(p) || DotCluster(p, fat32) != expected)
                continue;
            FatDirRow r;
            r.sector = b + off;
            r.self = uint32_t(expected);
            r.parent = fat32 ? MakeDword(p[0x3A], p[0x3B], p[0x34], p[0x35]) : Le16At(p + 0x3A);
            r.date = Le16At(p + 0x18);
            r.time = Le16At(p + 0x16);
            r.size = Le32At(p + 0x1C);
            r.attr = p[0x0B];
            rows.push_back(r);
        }
    }
    return rows;
}

void CollectAttributeListRecords(const uint8_t* record, std::vector<uint64_t>& list)
{
    NtfsAttribute attributeList;
    if (list.size() >= kMaxRecordListEntries ||
        !FindNtfsAttribute(record, kMftRecordSize, kAttrAttributeList, true, attributeList) ||
        attributeList.nonResident)
        return;
    WalkAttributeList(record + attributeList.valueOffset, attributeList.valueLength, [&](const AttributeListEntry& e) {
        list.push_back(e.recordNumber);
        return list.size() < kMaxRecordListEntries;
    });
}

namespace {

// The $FILE_NAME of the file whose base record is `base` (already fixed up): its own, unless it has
// an attribute list and its name is not of the best name space; then the best name space among it
// and the records its list names (resident or not), by name space Win32, Win32 and DOS, DOS, POSIX,
// its own on a tie. Extension records are read through the run table and taken only when they still
// belong to this base record. One walk over the base record's attributes finds its name and its list
// (*listed; told whenever it has no name); the list is only read for a base record it may lead on.
bool LookUpName(SectorSource& source, const MftRunTableRecord& runs, const NtfsVolumePlace& volume, uint64_t baseNumber,
                const uint8_t* base, NtfsScanRecord& out, bool* listed)
{
    static const int kOrder[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    auto named = [&](const uint8_t* rec, MftNameLook* look) {
        std::u16string name;
        if (ParsePreferredMftName(rec, kOrder, 4, &out.parent, &out.created, name, look) != 1)
            return false;
        out.name = std::move(name);
        return true;
    };
    MftNameLook look;
    const bool own = named(base, &look);
    *listed = look.listed;
    if (!look.BetterElsewhere())
        return own;
    MftRunRecordSource records(source, runs);
    const NtfsFileParts parts = GatherNtfsFileParts(source, base, baseNumber, volume, records, kGatherName);
    return (!parts.nameRecord.empty() && named(parts.nameRecord.data(), nullptr)) || own;
}

// The $MFT's records gathered from its sectors in the order of its virtual sequence. A record is
// two consecutive sectors of that sequence, which may lie in two runs; each whole record that is
// a file record with a name is handed on.
class MftRecordStream {
public:
    MftRecordStream(SectorSource& source, const MftRunTableRecord& runs, const NtfsVolumePlace& volume,
                    const ScanProgressFn& progress, const NtfsRecordFn& found, NtfsFreedExtentNotes* freed)
        : m_source(source), m_runs(runs), m_volume(volume), m_progress(progress), m_found(found), m_freed(freed),
          m_total(runs.totalSectors()), m_recordCount(m_total / kSectorsPerMftRecord)
    {
    }

    // Between two records: where a stop may end the scan.
    bool StartsRecord() const { return m_half == 0; }

    // The next sector of the sequence, read from `at`.
    void TakeSector(const uint8_t* sector, uint64_t at)
    {
        if (m_half == 0)
            m_recordSector = at;
        std::memcpy(m_record + m_half * kSectorSize, sector, kSectorSize);
        if (++m_half == int(kSectorsPerMftRecord))
            FinishRecord();
    }

    // Sectors that cannot be read are passed over in one step: the record they end is lost,
    // the records wholly inside them are counted, and one they begin is marked lost.
    void PassOverSectors(uint64_t first, uint64_t count)
    {
        if (count == 0)
            return;
        if (m_half != 0) {
            const uint64_t take = std::min<uint64_t>(count, kSectorsPerMftRecord - m_half);
            m_recordOk = false;
            m_half += int(take);
            first += take;
            count -= take;
            if (m_half == int(kSectorsPerMftRecord))
                FinishRecord();
        }
        m_number += count / kSectorsPerMftRecord;
        m_half = int(count % kSectorsPerMftRecord);
        if (m_half != 0) {
            m_recordOk = false;
            m_recordSector = first + count - m_half;
        }
        if (m_progress)
            m_progress(m_number * kSectorsPerMftRecord, m_total);
    }

    // The base records left nameless, named now from the extension records met that name them (a
    // deleted file's list may be gone, its extension records not): each read again, the best name
    // space among those that still belong to the base and whose fix-up holds (a torn record may
    // hold a name since replaced). A folder with a list that none names stands nameless under the
    // catch-all folder, with its files and folders; so does a deleted folder that lost its name and
    // list but keeps its index, when a row handed on names it as its folder.
    void NameTheNameless()
    {
        static const int kOrder[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
        std::sort(m_names.begin(), m_names.end(),
                  [](const ExtensionName& a, const ExtensionName& b) { return a.base < b.base; });
        std::vector<Nameless*> indexedOnly;
        for (Nameless& n : m_nameless) {
            BestNameRecord names;
            auto at = std::lower_bound(m_names.begin(), m_names.end(), n.record.record,
                                       [](const ExtensionName& e, uint64_t base) { return e.base < base; });
            for (; at != m_names.end() && at->base == n.record.record && !names.Done(); ++at) {
                if (ExtensionBelongsTo(at->header, n.record.record, n.header) &&
                    ReadMftRecordAt(m_source, m_runs, at->number, m_record) && IsFileRecord(m_record, kMftRecordSize) &&
                    ApplyNtfsFixup(m_record, kMftRecordSize))
                    names.Offer(m_record);
            }
            // Read as the base record's: a folder's name, or a file's as the list shows it.
            const std::vector<uint8_t> best = names.Take(n.header.flags);
            if (!best.empty()) {
                if (n.record.folder)
                    ParsePreferredMftName(best.data(), kOrder, 4, &n.record.parent, &n.record.created, n.record.name);
                else
                    ReadPreferredMftRecordName(best.data(), kOrder, 4, true, nullptr, &n.record.parent,
                                               &n.record.created, n.record.name);
                NoteParent(n.record.parent);
            } else if (n.record.folder && n.listed) {
                n.record.parent = kMiscFolderId;
            } else {
                if (n.record.folder && n.indexed)
                    indexedOnly.push_back(&n);
                continue;
            }
            m_found(std::move(n.record));
        }
        // Once every row is handed on: whether one of them lies in such a folder.
        TidyLaterParents();
        for (Nameless* n : indexedOnly) {
            if (IsParent(n->record.record)) {
                n->record.parent = kMiscFolderId;
                m_found(std::move(n->record));
            }
        }
        m_nameless.clear();
        m_names.clear();
    }

private:
    // An extension record that holds a $FILE_NAME (or, freed, the bytes of one): the base record
    // it names, and where to read it again.
    struct ExtensionName {
        uint64_t base = 0;
        uint64_t number = 0;
        NtfsRecordHeader header;
    };
    // A base record without a name of its own, in its list or anywhere its list leads.
    struct Nameless {
        NtfsScanRecord record;
        NtfsRecordHeader header;
        bool listed = false;
        bool indexed = false; // a folder that keeps its index
    };
    // At most this many of either are kept; the records beyond stay as nameless as they are.
    static constexpr size_t kMaxKept = size_t(1) << 20;

    void NoteExtension()
    {
        if (m_names.size() >= kMaxKept || !NameHoldingRecord(m_record, m_named))
            return;
        ExtensionName e;
        e.header = ReadNtfsRecordHeader(m_record);
        e.base = NtfsReferenceRecord(e.header.baseReference);
        e.number = m_number;
        m_names.push_back(e);
    }

    void TakeBaseRecord()
    {
        NtfsScanRecord r;
        r.record = m_number;
        r.sector = m_recordSector;
        const uint8_t flags = m_record[0x16];
        // Only the plain folder flags make a folder; index views ($Secure, $Quota) are files.
        r.folder = flags == 2 || flags == 3;
        r.deleted = (flags & 1) == 0;
        bool listed = false;
        if (LookUpName(m_source, m_runs, m_volume, m_number, m_record, r, &listed)) {
            NoteParent(r.parent);
            m_found(std::move(r));
            return;
        }
        // A record with a list, or a deleted one that still holds attributes, may be named by an
        // extension record; an empty free record is none.
        NtfsAttribute any;
        if (m_nameless.size() < kMaxKept &&
            (listed || (r.deleted && NtfsAttributeWalker(m_record, kMftRecordSize).Next(any)))) {
            const bool indexed = r.folder && HasNtfsIndex(m_record);
            m_nameless.push_back({ std::move(r), ReadNtfsRecordHeader(m_record), listed, indexed });
        }
    }

    // A row handed on lies in folder `parent`. What is asked at the end is only whether one of the
    // records read is such a folder, so what is kept follows the records read, never the length the
    // $MFT claims (a hole in its runs keeps its numbers, up to the volume's size): a bitmap below at
    // most twice the records read so far, and the folders past it (not read yet, or numbered after
    // a hole) in a list sorted and rid of repeats whenever it doubles, so that it never holds more
    // than 1,024 entries or two a row handed on.
    void NoteParent(uint32_t parent)
    {
        if (parent >= m_recordCount)
            return;
        if (parent < m_parents.size() || GrowParentsFor(parent)) {
            m_parents[parent] = true;
            return;
        }
        // The files of one folder mostly follow each other: one entry for them all.
        if (!m_laterParents.empty() && m_laterParents.back() == parent)
            return;
        m_laterParents.push_back(parent);
        if (m_laterParents.size() >= m_tidyLaterAt)
            TidyLaterParents();
    }

    // Grows the bitmap to hold `parent` when it is below the records read so far, at least
    // doubling it so that the copies of all growths together stay within twice its size.
    bool GrowParentsFor(uint64_t parent)
    {
        if (parent >= m_read)
            return false;
        m_parents.resize(
            size_t(std::min<uint64_t>(m_recordCount, std::max<uint64_t>(parent + 1, 2 * uint64_t(m_parents.size())))));
        return true;
    }

    // Sorts the later folders and drops repeats; those below the records read now go into the bitmap.
    void TidyLaterParents()
    {
        std::sort(m_laterParents.begin(), m_laterParents.end());
        m_laterParents.erase(std::unique(m_laterParents.begin(), m_laterParents.end()), m_laterParents.end());
        const auto reached = std::lower_bound(m_laterParents.begin(), m_laterParents.end(), m_read);
        for (auto it = m_laterParents.begin(); it != reached; ++it) {
            if (*it >= m_parents.size())
                GrowParentsFor(*it);
            m_parents[*it] = true;
        }
        m_laterParents.erase(m_laterParents.begin(), reached);
        m_tidyLaterAt = std::max(kFirstTidy, 2 * m_laterParents.size());
    }

    bool IsParent(uint64_t folder) const
    {
        return (folder < m_parents.size() && m_parents[size_t(folder)]) ||
            std::binary_search(m_laterParents.begin(), m_laterParents.end(), folder);
    }

    void FinishRecord()
    {
        ++m_read;
        if (m_recordOk && IsFileRecord(m_record, kMftRecordSize)) {
            ApplyNtfsFixup(m_record, kMftRecordSize);
            // An extension record holds attributes of its base record's file: never a file or
            // folder of its own; its name names its base record, and a freed one may hold the
            // rest of a deleted file's data that its list no longer names.
            if (ReadNtfsRecordHeader(m_record).IsExtension()) {
                NoteExtension();
                if (m_freed != nullptr)
                    m_freed->Note(m_record, m_recordSector);
            } else {
                TakeBaseRecord();
            }
        }
        ++m_number;
        if (m_progress)
            m_progress(m_number * kSectorsPerMftRecord, m_total);
        m_half = 0;
        m_recordOk = true;
    }

    SectorSource& m_source;
    const MftRunTableRecord& m_runs;
    const NtfsVolumePlace m_volume;
    const ScanProgressFn& m_progress;
    const NtfsRecordFn& m_found;
    NtfsFreedExtentNotes* m_freed;
    const uint64_t m_total;
    // Aligned to a cache line: every sector of the $MFT is copied into it and every record parsed
    // from it, and where the object happens to lie on the stack left it misaligned the scan of a
    // million records took a tenth longer in the Windows build.
    alignas(64) uint8_t m_record[kMftRecordSize];
    std::vector<uint8_t> m_named;
    std::vector<ExtensionName> m_names;
    std::vector<Nameless> m_nameless;
    // The folders the rows handed on lie in, by number: below twice m_read in the bitmap, the
    // rest in the list (sorted up to the last tidy).
    std::vector<bool> m_parents;
    std::vector<uint32_t> m_laterParents;
    static constexpr size_t kFirstTidy = 1024;
    size_t m_tidyLaterAt = kFirstTidy;
    const uint64_t m_recordCount;
    uint64_t m_read = 0; // records read, whatever their numbers
    int m_half = 0; // the sectors of the current record gathered so far
    bool m_recordOk = true;
    uint64_t m_recordSector = 0, m_number = 0;
};

// Reads one run of the $MFT into the stream, a block at a time; a stop ends it between records.
void ScanMftRun(SectorSource& source, uint64_t start, uint64_t length, std::vector<uint8_t>& block,
                const StopFlag* stop, MftRecordStream& records)
{
    for (uint64_t k = 0; k < length && !Stopped(stop);) {
        const uint32_t n = uint32_t(std::min<uint64_t>(kFatScanBlockSectors, length - k));
        // Only whole sectors the read delivered are used; after a short read the next read
        // starts at the first sector it did not deliver.
        const uint32_t delivered = uint32_t(std::min<size_t>(n, source.Read(start + k, n, block.data()) / kSectorSize));
        if (delivered == 0) {
            records.PassOverSectors(start + k, n);
            k += n;
            continue;
        }
        for (uint32_t i = 0; i < delivered; ++i) {
            if (records.StartsRecord() && Stopped(stop))
                break;
            records.TakeSector(block.data() + size_t(i) * kSectorSize, start + k + i);
        }
        k += delivered;
    }
}

} // namespace

void ScanNtfsRecords(SectorSource& source, const MftRunTableRecord& runs, const StopFlag* stop,
                     const ScanProgressFn& progress, const NtfsRecordFn& found, const NtfsVolumePlace& volume,
                     NtfsFreedExtentNotes* freed)
{
    std::vector<uint8_t> block(size_t(kFatScanBlockSectors) * kSectorSize);
    MftRecordStream records(source, runs, volume, progress, found, freed);
    for (size_t run = 0; run < runs.count() && !Stopped(stop); ++run) {
        // A sparse run (start 0) holds no records.
        if (runs.starts[run] == 0)
            records.PassOverSectors(0, runs.lengths[run]);
        else
            ScanMftRun(source, runs.starts[run], runs.lengths[run], block, stop, records);
    }
    // A stopped scan names what it found too.
    records.NameTheNameless();
}

std::vector<NtfsScanRecord> ScanNtfsRecords(SectorSource& source, const MftRunTableRecord& runs, const StopFlag* stop,
                                            const ScanProgressFn& progress, const NtfsVolumePlace& volume)
{
    std::vector<NtfsScanRecord> found;
    ScanNtfsRecords(
        source, runs, stop, progress, [&found](NtfsScanRecord&& r) { found.push_back(std::move(r)); }, volume);
    return found;
}

uint16_t FatTimeWord(int hour, int minute, int second)
{
    return uint16_t(hour * 2048 + minute * 32 + second / 2);
}

void AddMiscFolderRow(FoundStore& store, uint32_t volume, uint32_t parent, uint16_t timeWord)
{
    FoundEntryRow row;
    row.volume = volume;
    row.self = kMiscFolderId;
    row.parent = parent;
    row.time = timeWord;
    row.attr = 16;
    row.cells = FoundEntryRow::kSector | FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate |
        FoundEntryRow::kTime | FoundEntryRow::kSize | FoundEntryRow::kAttr;
    store.AddEntry(row, CString(L"KXR_Miscellaneous"));
}

void AddFatDirRows(FoundStore& store, uint32_t volume, const std::vector<FatDirRow>& rows, bool fat32)
{
    for (const FatDirRow& r : rows) {
        FoundEntryRow row;
        row.volume = volume;
        row.sector = r.sector;
        row.self = r.self;
        row.parent = r.parent;
        row.date = r.date;
        row.time = r.time;
        row.size = r.size;
        row.attr = r.attr;
        row.cells = FoundEntryRow::kSector | FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate |
            FoundEntryRow::kTime | FoundEntryRow::kSize | FoundEntryRow::kAttr | (fat32 ? 0 : FoundEntryRow::kSysId);
        CString name;
        name.Format(L"DIR%d", int(store.EntryCount()));
        store.AddEntry(row, name);
    }
}

void AddNtfsRecord(FoundStore& store, uint32_t volume, NtfsScanRecord&& r)
{
    if (r.folder) {
        if (r.name == u".")
            return; // the root directory itself
        FoundEntryRow row;
        row.volume = volume;
        row.self = r.record;
        row.parent = r.parent;
        row.date = r.created;
        row.deleted = r.deleted;
        row.cells = FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate |
            (r.deleted ? FoundEntryRow::kDeleted : 0);
        store.AddEntry(row, r.name);
        return;
    }
    NtfsFileRow row;
    row.volume = volume;
    row.parent = r.parent;
    row.sector = r.sector;
    if (!r.name.empty()) {
        row.fileTime = r.created;
        row.flags = NtfsFileRow::kStamped;
    }
    store.AddNtfsFile(row, r.name);
}

FoundVolume VolumeOfTarget(const ScanTarget& target)
{
    FoundVolume volume;
    volume.kind = target.kind;
    volume.devicePath = target.devicePath;
    volume.firstSector = target.firstSector;
    volume.endSector = target.endSector;
    CopyGeometryToParams(target.geometry, volume.params);
    volume.params.partitionType = FsKindName(target.kind);
    return volume;
}

namespace {

void StartPhase(const BasicScanObserver& observer, BasicScanPhase phase, uint64_t first, uint64_t end)
{
    if (observer.phase)
        observer.phase(phase, first, end > first ? end : first);
}

} // namespace

BasicScanStatus ScanFatVolume(SectorSource& device, ScanTarget& target, bool bootSectorServed, FoundStore& store,
                              uint16_t timeWord, const StopFlag* stop, const BasicScanObserver& observer)
{
    const bool fat32 = target.kind == FsKind::Fat32;
    if (!bootSectorServed || !FatGeometryUsable(target.geometry)) {
        StartPhase(observer, BasicScanPhase::Probing, target.firstSector, target.endSector);
        if (!ProbeFatGeometry(device, fat32, target.firstSector, target.endSector, target.geometry, stop,
                              observer.progress))
            return IsStopped(stop) ? BasicScanStatus::Stopped : BasicScanStatus::NoGeometry;
    }
    const uint32_t volume = store.AddVolume(VolumeOfTarget(target));
    if (FatGeometryUsable(target.geometry))
        StartPhase(observer, BasicScanPhase::FatScan,
                   target.geometry.cluster0Start + 2ull * target.geometry.sectorsPerCluster, target.endSector);
    const std::vector<FatDirRow> rows =
        ScanFatDirectoryClusters(device, fat32, target.geometry, target.endSector, stop, observer.progress);
    AddMiscFolderRow(store, volume, 0, timeWord);
    AddFatDirRows(store, volume, rows, fat32);
    return IsStopped(stop) ? BasicScanStatus::Stopped : BasicScanStatus::Done;
}

BasicScanStatus ScanNtfsVolume(SectorSource& device, ScanTarget& target, bool bootSectorServed, FoundStore& store,
                               uint16_t timeWord, const StopFlag* stop, const BasicScanObserver& observer)
{
    if (!bootSectorServed)
        return BasicScanStatus::VolumeInvalid;
    MftRunTableRecord runs;
    // No run of the $MFT reaches past the volume's last sector. A torn record 0 in the $MFT gives
    // way to the mirror's whole copy.
    if (!LoadMftRunTableFrom(device, target.geometry.cluster0Start, target.geometry.mftSector,
                             target.geometry.mftMirrSector, target.geometry.sectorsPerCluster, runs,
                             target.endSector > target.geometry.cluster0Start ? target.endSector - 1 : UINT64_MAX) ||
        runs.count() == 0 || runs.totalSectors() == 0)
        return BasicScanStatus::NoMftRuns;
    const uint32_t volume = store.AddVolume(VolumeOfTarget(target));
    AddMiscFolderRow(store, volume, kNtfsRootRecord, timeWord);
    StartPhase(observer, BasicScanPhase::NtfsScan, 0, runs.totalSectors());
    // Each record goes into the store as it is read: no list of all records is ever held.
    NtfsVolumePlace place;
    place.cluster0 = target.geometry.cluster0Start;
    place.sectorsPerCluster = target.geometry.sectorsPerCluster;
    if (target.endSector > target.geometry.cluster0Start)
        place.endSector = target.endSector;
    NtfsFreedExtentNotes freed;
    ScanNtfsRecords(
        device, runs, stop, observer.progress,
        [&store, volume](NtfsScanRecord&& record) { AddNtfsRecord(store, volume, std::move(record)); }, place, &freed);
    // What its saves take a deleted file's unlisted data from; its $MFT runs are loaded where needed.
    auto records = std::make_shared<NtfsRecordIndex>();
    KeepFreedExtents(freed, !IsStopped(stop), *records);
    store.SetNtfsRecords(volume, std::move(records));
    return IsStopped(stop) ? BasicScanStatus::Stopped : BasicScanStatus::Done;
}

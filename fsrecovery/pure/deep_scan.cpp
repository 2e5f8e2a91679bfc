#include "fsrecovery/pure/deep_scan.h"

#include <algorithm>
#include <cstring>

#include "storage/pure/bootsector.h"
#include "storage/pure/fs_names.h"

DeepScanSink::~DeepScanSink() = default;

void DeepScanSink::MftRecordFound(const uint8_t* raw, uint64_t sector)
{
    CarvedMftRecord record;
    if (DecodeCarvedMftRecord(raw, sector, record))
        MftRecord(record);
}

namespace {

// A failed block is read again in pieces of this many sectors.
constexpr uint32_t kRetrySectors = 64;

} // namespace

bool ReadFatBootHit(const uint8_t* s, uint64_t at, FatBootHit& hit)
{
    if (!HasBootSignature(s))
        return false;
    const BootText text = ClassifyBootText(s, false);
    if (text != BootText::Fat32 && text != BootText::Fat16)
        return false;
    hit = FatBootHit();
    hit.fat32 = text == BootText::Fat32;
    const FatBootFields f = ReadFatBootFields(s, hit.fat32);
    hit.sector = at;
    hit.sectorsPerFat = f.sectorsPerFat;
    hit.sectorsPerCluster = f.sectorsPerCluster;
    hit.reservedSectors = f.reservedSectors;
    hit.firstFat = at + f.reservedSectors;
    hit.secondFat = hit.firstFat + f.sectorsPerFat;
    const uint64_t afterFats = hit.secondFat + f.sectorsPerFat;
    uint64_t count = Le32At(s + 0x20);
    if (hit.fat32) {
        hit.rootStart = f.rootCluster;
    } else {
        hit.rootSectors = f.rootEntries / 16;
        hit.rootStart = afterFats;
        if (count == 0)
            count = Le16At(s + 0x13);
    }
    hit.cluster0Start = afterFats + hit.rootSectors - 2ull * f.sectorsPerCluster;
    hit.totalSectors = at + count;
    return true;
}

bool ReadFatDirCluster(const uint8_t* s, uint64_t at, FatDirCluster& row)
{
    if (s[0] != '.' || s[1] != ' ' || s[0x20] != '.' || s[0x21] != '.' || s[0x22] != ' ')
        return false;
    row = FatDirCluster();
    row.sector = at;
    row.self = MakeDword(s[0x1A], s[0x1B], s[0x14], s[0x15]);
    row.parent = MakeDword(s[0x3A], s[0x3B], s[0x34], s[0x35]);
    row.date = Le16At(s + 0x18);
    row.time = Le16At(s + 0x16);
    return true;
}

bool ReadNtfsBootHit(const uint8_t* s, uint64_t at, NtfsBootHit& hit)
{
    if (!HasBootSignature(s) || ClassifyBootText(s, false) != BootText::Ntfs)
        return false;
    const NtfsBootFields f = ReadNtfsBootFields(s);
    if (!IsValidSectorsPerCluster(f.sectorsPerCluster))
        return false;
    hit.sector = at;
    hit.sectorsPerCluster = f.sectorsPerCluster;
    hit.totalSectors = Le64At(s + 0x28);
    return true;
}

bool IsCarvableMftRecord(const uint8_t* s)
{
    return IsFileRecord(s, kSectorSize) && Le32At(s + 0x1C) == kMftRecordSize;
}

bool DecodeCarvedMftName(const uint8_t* raw, uint8_t* rec, CarvedMftName& out)
{
    if (!IsCarvableMftRecord(raw))
        return false;
    std::memcpy(rec, raw, kMftRecordSize);
    ApplyNtfsFixup(rec, kMftRecordSize);
    out.flags = rec[0x16];
    // The record's own number follows the header's fields from NTFS 3.1 on, where the update
    // sequence array moved to 0x30; in older headers 0x2C is part of that array.
    out.numbered = Le16At(rec + 4) >= 0x30;
    out.recordNumber = out.numbered ? Le32At(rec + 0x2C) : 0;
    out.name.clear();
    out.parent = 0;
    out.created = 0;
    static const int kNameSpaces[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    if (ReadPreferredMftRecordName(rec, kNameSpaces, 4, true, nullptr, &out.parent, &out.created, out.name) != 1) {
        out.parent = 0;
        out.created = 0;
    }
    return true;
}

bool DecodeCarvedMftRecord(const uint8_t* raw, uint64_t sector, CarvedMftRecord& out)
{
    uint8_t rec[kMftRecordSize];
    CarvedMftName name;
    if (!DecodeCarvedMftName(raw, rec, name))
        return false;
    out = CarvedMftRecord();
    out.sector = sector;
    out.flags = name.flags;
    out.numbered = name.numbered;
    out.recordNumber = name.recordNumber;
    out.name = NameToCString(name.name);
    out.parent = name.parent;
    out.created = name.created;

    NtfsAttribute data;
    if (FindNtfsAttribute(rec, sizeof rec, kAttrData, true, data)) {
        if (!data.nonResident) {
            out.data = CarvedMftRecord::Data::Resident;
            out.dataSize = data.valueLength;
            out.residentOffset = data.valueOffset;
        } else {
            out.data = CarvedMftRecord::Data::NonResident;
            out.dataSize = data.dataSize;
            // Runs up to a malformed pair are kept: the data before it is still where they say.
            DecodeMappingPairs(rec + data.valueOffset, data.valueLength, out.runs);
        }
    }
    return true;
}

bool FindMftDataAttribute(uint8_t* record, uint64_t* size)
{
    ApplyNtfsFixup(record, kMftRecordSize);
    NtfsAttribute data;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, data))
        return false;
    *size = data.nonResident ? data.dataSize : data.valueLength;
    return true;
}

uint32_t ChooseNtfsSectorsPerCluster(const std::vector<NtfsBootHit>& boots, uint64_t volumeStart)
{
    for (const NtfsBootHit& b : boots) {
        // The backup lies in the volume's last sector: right after the counted sectors, or the
        // last of them where the count takes in the whole partition.
        const uint64_t d = b.sector > volumeStart ? b.sector - volumeStart : 0;
        const bool backup = d != 0 && (d == b.totalSectors || d + 1 == b.totalSectors);
        if (b.sector == volumeStart || backup)
            return b.sectorsPerCluster;
    }
    return boots.empty() ? 8 : boots.front().sectorsPerCluster;
}

uint32_t ReadSectorsInPieces(SectorSource& source, uint64_t first, uint32_t count, uint32_t piece, uint8_t* buf,
                             std::vector<uint8_t>& delivered)
{
    delivered.assign(count, 0);
    if (count == 0 || piece == 0)
        return 0;
    const uint32_t whole = uint32_t(std::min<size_t>(count, source.Read(first, count, buf) / kSectorSize));
    std::fill_n(delivered.begin(), whole, 1);
    uint32_t total = whole;
    for (uint32_t at = whole; at < count; at += piece) {
        const uint32_t n = std::min(piece, count - at);
        const size_t got = source.Read(first + at, n, buf + size_t(at) * kSectorSize);
        const uint32_t arrived = uint32_t(std::min<size_t>(n, got / kSectorSize));
        std::fill_n(delivered.begin() + at, arrived, 1);
        total += arrived;
    }
    return total;
}

namespace {

// Blocks read at once: one read of 4 MiB costs the system less than eight of 512 KiB.
constexpr uint32_t kBlocksPerRead = 8;

class BlockScanner {
public:
    BlockScanner(SectorSource& source, DeepScanTargets targets, DeepScanSink& sink)
        : m_source(source), m_targets(targets), m_sink(sink),
          m_storage(size_t(kBlocksPerRead) * kDeepScanBlockSectors * kSectorSize + kBufferAlignment)
    {
        // A buffer on a page boundary: the system copies into it several times faster.
        const uintptr_t at = reinterpret_cast<uintptr_t>(m_storage.data());
        m_buffer = m_storage.data() + (kBufferAlignment - at % kBufferAlignment) % kBufferAlignment;
    }

    // Reads `count` sectors at `first` (at most kBlocksPerRead blocks) for the examinations that
    // follow.
    void Read(uint64_t first, uint32_t count)
    {
        m_first = first;
        m_count = count;
        ReadSectorsInPieces(m_source, first, count, kRetrySectors, m_buffer, m_delivered);
    }

    // Examines the delivered sectors of [from, from + count) of what was read; returns how many of
    // the first `counted` were delivered.
    uint32_t Examine(uint32_t from, uint32_t count, uint32_t counted)
    {
        uint32_t examined = 0;
        for (uint32_t i = from; i < from + count; ++i) {
            if (!m_delivered[i])
                continue;
            examined += i - from < counted ? 1 : 0;
            ExamineSector(i);
        }
        return examined;
    }

private:
    static constexpr size_t kBufferAlignment = 4096;

    void ExamineSector(uint32_t i)
    {
        const uint8_t* s = m_buffer + size_t(i) * kSectorSize;
        const uint64_t at = m_first + i;
        // Most sectors are none of these: two bytes tell.
        const bool signature = HasBootSignature(s);
        if (m_targets.fat && signature) {
            FatBootHit boot;
            if (ReadFatBootHit(s, at, boot))
                m_sink.FatBoot(boot);
        }
        if (m_targets.ntfs && signature) {
            NtfsBootHit boot;
            if (ReadNtfsBootHit(s, at, boot))
                m_sink.NtfsBoot(boot);
        }
        if (m_targets.bootSectorsOnly)
            return;
        if (m_targets.fat && s[0] == '.') {
            FatDirCluster dir;
            if (ReadFatDirCluster(s, at, dir))
                m_sink.FatDirectory(dir);
        }
        if (!m_targets.ntfs || s[0] != 'F' || !IsCarvableMftRecord(s))
            return;
        // The record's second sector: in the buffer, or read on its own at the buffer's end.
        const uint8_t* raw = s;
        if (i + 1 >= m_count || !m_delivered[i + 1]) {
            if (m_source.Read(at, 2, m_record) != kMftRecordSize)
                return;
            raw = m_record;
        }
        m_sink.MftRecordFound(raw, at);
    }

    SectorSource& m_source;
    DeepScanTargets m_targets;
    DeepScanSink& m_sink;
    std::vector<uint8_t> m_storage;
    uint8_t* m_buffer = nullptr;
    std::vector<uint8_t> m_delivered;
    uint64_t m_first = 0;
    uint32_t m_count = 0;
    uint8_t m_record[kMftRecordSize];
};

} // namespace

DeepScanOutcome RunDeepScan(SectorSource& source, uint64_t first, uint64_t end, DeepScanTargets targets,
                            DeepScanSink& sink, const StopFlag* stop, const ScanProgressFn& progress)
{
    DeepScanOutcome outcome;
    if (end <= first || (!targets.fat && !targets.ntfs))
        return outcome;
    BlockScanner scanner(source, targets, sink);
    const uint64_t total = end - first;
    for (uint64_t done = 0; done < total && !outcome.stopped;) {
        // Every block is read whole, the last one too, as far as the device goes: what lies in
        // its sectors past the range's end is found as well.
        const uint64_t at = first + done;
        const uint64_t blocks = std::min<uint64_t>(kBlocksPerRead, (total - done + kDeepScanBlockSectors - 1) /
                                                                       kDeepScanBlockSectors);
        const uint32_t count = uint32_t(std::min<uint64_t>(blocks * kDeepScanBlockSectors, UINT64_MAX - at));
        for (uint32_t from = 0; from < count && done < total; from += kDeepScanBlockSectors) {
            if (progress)
                progress(done, total);
            if (stop != nullptr && stop->load()) {
                outcome.stopped = true;
                break;
            }
            if (from == 0)
                scanner.Read(at, count);
            const uint32_t block = std::min(kDeepScanBlockSectors, count - from);
            const uint32_t counted = uint32_t(std::min<uint64_t>(block, total - done));
            const uint32_t examined = scanner.Examine(from, block, counted);
            outcome.examined += examined;
            outcome.unreadable += counted - examined;
            done += counted;
        }
    }
    if (progress && !outcome.stopped)
        progress(total, total);
    return outcome;
}

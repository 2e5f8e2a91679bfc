// Fuzzes the NTFS record decoders: fix-up, attribute walk, mapping pairs, $FILE_NAME readers and
// the $MFT run table. The first 1024 bytes are a file record; the whole input is also a small
// volume on which the run table is loaded from a record 0 at sector 0 (or, where that one is torn,
// from a mirror's copy at a record's place the input chooses) and then scanned record by record, as
// Basic Search does, and record 0's file gathered from its extension records (a deleted
// one's also from the freed records its list no longer names, as the scan kept them and as they lie
// along the $MFT): whatever runs the record claims, the scan reads no more than the volume holds
// (libFuzzer's per-input timeout catches a walk that does).
//
// Input: byte 0 = sectors per cluster choice (low 3 bits) and the record whose place holds the
// mirror's copy of record 0 (the others; 0 for none), byte 1 = name space (low 2 bits) and the first
// record's number (the others); then the disk.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t spc = 1u << (data[0] & 7);
    const uint64_t mirror = uint64_t(data[0] >> 3) * kSectorsPerMftRecord;
    const int nameSpace = data[1] & 3;
    const uint64_t baseNumber = data[1] >> 2;
    data += 2;
    size -= 2;

    std::vector<uint8_t> rec(kMftRecordSize);
    std::memcpy(rec.data(), data, size < rec.size() ? size : rec.size());
    ApplyNtfsFixup(rec.data(), rec.size());

    NtfsAttributeWalker walk(rec.data(), rec.size());
    NtfsAttribute at;
    size_t last = 0;
    while (walk.Next(at)) {
        // Every part the walk hands out lies inside the record and after the one before.
        if (at.offset + at.length > rec.size() || at.valueOffset + at.valueLength > rec.size() || at.offset < last)
            abort();
        last = at.offset + at.length;
        if (at.nonResident) {
            std::vector<ClusterRun> runs;
            DecodeMappingPairs(rec.data() + at.valueOffset, at.valueLength, runs);
            if (runs.size() > at.valueLength)
                abort();
        }
    }
    size_t offset = 0;
    std::vector<ClusterRun> runs;
    if (FindUnnamedDataAttribute(rec.data(), &offset) == 2)
        DecodeAttributeRuns(rec.size(), rec.data(), offset, runs);

    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    ParseMftRecordBuffer(rec.data(), nameSpace, &parent, &created, name);
    if (name.size() > 255)
        abort();
    name.clear();
    ReadMftRecordNameBuffer(rec.data(), nameSpace, true, nullptr, &parent, &created, name);

    MemorySectorSource disk(data, size);
    const uint64_t volumeSectors = (size + kSectorSize - 1) / kSectorSize;
    MftRunTableRecord table;
    if (LoadMftRunTableFrom(disk, 0, 0, mirror, spc, table, volumeSectors - 1)) {
        if (table.totalSectors() > volumeSectors)
            abort();
        uint64_t reported = 0;
        const NtfsVolumePlace volume{ 0, spc, volumeSectors };
        NtfsFreedExtentNotes freed;
        ScanNtfsRecords(
            disk, table, nullptr,
            [&](uint64_t done, uint64_t total) {
                if (done > total || done < reported || total != table.totalSectors())
                    abort();
                reported = done;
            },
            [](NtfsScanRecord&&) {}, volume, &freed);
        // The file of the first record gathered from the records its attribute list names, as a
        // save plans it, taken for the record of a number the input chooses.
        MftRunRecordSource records(disk, table);
        const NtfsFileParts parts =
            GatherNtfsFileParts(disk, rec.data(), baseNumber, volume, records, kGatherName | kGatherData);
        if ((!parts.nameRecord.empty() && parts.nameRecord.size() != kMftRecordSize) ||
            parts.residentValue.size() > kMftRecordSize)
            abort();
        const NtfsDataPlan plan = PlanGatheredNtfsData(parts, parts.dataSize, spc, 0);
        if (plan.kind == NtfsDataPlan::Kind::InRecord && plan.residentBytes.size() > kMftRecordSize)
            abort();
        FoundVolume found;
        found.kind = FsKind::Ntfs;
        found.endSector = volumeSectors;
        found.params.sectorsPerCluster = spc;
        const bool inUse = ReadNtfsRecordHeader(rec.data()).InUse();
        for (const bool kept : { true, false }) {
            auto index = std::make_shared<NtfsRecordIndex>();
            index->mftRuns = table;
            if (kept)
                KeepFreedExtents(freed, true, *index);
            found.ntfsRecords = index;
            VolumeRecordReader reader(disk, found);
            const NtfsFileParts listed = reader.Gather(rec.data(), 0, kGatherData);
            const NtfsFileParts more = reader.Gather(rec.data(), 0, kGatherData | kGatherFreedData);
            // Freed records only go on with a deleted file's data, after all its list gave.
            const auto same = [](const ClusterRun& a, const ClusterRun& b) {
                return a.firstCluster == b.firstCluster && a.clusterCount == b.clusterCount && a.sparse == b.sparse;
            };
            if (more.runs.size() < listed.runs.size() || (inUse && more.runs.size() != listed.runs.size()) ||
                !std::equal(listed.runs.begin(), listed.runs.end(), more.runs.begin(), same))
                abort();
            PlanGatheredNtfsData(more, more.dataSize, spc, 0);
        }
        uint8_t buf[kMftRecordSize];
        for (uint64_t n : { uint64_t(0), uint64_t(1), uint64_t(7), uint64_t(100000), UINT64_MAX / 2 }) {
            uint64_t sector = 0;
            if (MftRecordToLbaIn(n, table, &sector) && sector == 0)
                abort(); // a mapped record never lands on sector 0
            ReadMftRecordAt(disk, table, n, buf);
        }
    }
    return 0;
}

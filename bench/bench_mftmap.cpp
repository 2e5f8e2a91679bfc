// Loading the $MFT run table and mapping every record: a synthesized NTFS volume of 100,000
// file records whose $MFT lies in 391 pieces (record 0 and three extension records hold the
// runs), and, when a device or image path is given, that volume through the sector reader.
//
//   bench_mftmap.exe [\\.\Y: | image path]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "storage/pure/bootsector.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"
#include "storage/sector_source.h"
#include "tests/pure/ntfs_test_records.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ntfs_test;

constexpr uint32_t kSpc = 8;
constexpr uint64_t kRecords = 100000;
constexpr uint64_t kRecordsPerRun = 256; // 64 clusters
constexpr uint64_t kRuns = (kRecords + kRecordsPerRun - 1) / kRecordsPerRun;
constexpr uint64_t kFirstCluster = 1000;
constexpr uint64_t kStrideClusters = 100; // 64 of $MFT, then a gap
constexpr size_t kRunsPerRecord = 100;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Mapping pairs for runs [first, last): 64 clusters each, kStrideClusters apart.
std::vector<uint8_t> Pairs(uint64_t first, uint64_t last)
{
    std::vector<uint8_t> p;
    for (uint64_t i = first; i < last; ++i) {
        const uint64_t clusters = kRecordsPerRun * 2 / kSpc;
        const uint32_t delta = i == first ? uint32_t(kFirstCluster + i * kStrideClusters) : kStrideClusters;
        p.insert(p.end(), { 0x31, uint8_t(clusters), uint8_t(delta), uint8_t(delta >> 8), uint8_t(delta >> 16) });
    }
    return p;
}

// The volume: a boot sector, record 0 with an attribute list naming records 20-23 as the
// holders of the later runs, and file records made on demand.
class SyntheticNtfs : public SectorSource {
public:
    SyntheticNtfs()
    {
        m_boot.assign(kSectorSize, 0);
        std::memcpy(&m_boot[3], "NTFS    ", 8);
        Put16(&m_boot[11], 512);
        m_boot[13] = kSpc;
        Put64(&m_boot[0x30], kFirstCluster);
        m_boot[0x40] = 0xF6;
        m_boot[510] = 0x55;
        m_boot[511] = 0xAA;

        RecordBuilder r0(1);
        r0.NonResident(kAttrData, Pairs(0, kRunsPerRecord), 0, kRecords * 1024);
        std::vector<uint8_t> list;
        for (uint64_t k = 0; k * kRunsPerRecord < kRuns; ++k) {
            std::vector<uint8_t> e(32);
            Put32(&e[0], kAttrData);
            Put16(&e[4], 32);
            Put64(&e[8], k * kRunsPerRecord * kRecordsPerRun * 2 / kSpc);
            Put64(&e[16], k == 0 ? 0 : 19 + k);
            list.insert(list.end(), e.begin(), e.end());
            if (k > 0) {
                RecordBuilder ext(1, 0);
                const uint64_t last = std::min<uint64_t>(kRuns, (k + 1) * kRunsPerRecord);
                ext.NonResident(kAttrData, Pairs(k * kRunsPerRecord, last), k * kRunsPerRecord * 64);
                m_special[19 + k] = ext.Finish();
            }
        }
        r0.Resident(kAttrAttributeList, list);
        m_special[0] = r0.Finish();
    }

    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (!BeginSectorRead(count, buf))
            return 0;
        for (uint32_t i = 0; i < count; ++i)
            Fill(sector + i, buf + size_t(i) * kSectorSize);
        return size_t(count) * kSectorSize;
    }

private:
    void Fill(uint64_t sector, uint8_t* out)
    {
        if (sector == 0) {
            std::memcpy(out, m_boot.data(), kSectorSize);
            return;
        }
        const uint64_t cluster = sector / kSpc;
        if (cluster < kFirstCluster)
            return;
        const uint64_t run = (cluster - kFirstCluster) / kStrideClusters;
        const uint64_t within = (cluster - kFirstCluster) % kStrideClusters * kSpc + sector % kSpc;
        if (run >= kRuns || within >= kRecordsPerRun * 2)
            return;
        const uint64_t record = run * kRecordsPerRun + within / 2;
        const std::vector<uint8_t>& bytes = Record(record);
        std::memcpy(out, bytes.data() + (within % 2) * kSectorSize, kSectorSize);
    }

    const std::vector<uint8_t>& Record(uint64_t n)
    {
        auto it = m_special.find(n);
        if (it != m_special.end())
            return it->second;
        if (n != m_cachedNumber) {
            RecordBuilder b(1);
            std::u16string digits;
            for (uint64_t v = n, i = 0; i < 6; ++i, v /= 10)
                digits.insert(digits.begin(), char16_t(u'0' + v % 10));
            const std::u16string text = u"file" + digits + u".txt";
            b.Resident(kAttrFileName, FileNameValue(5, 0, 1, text));
            b.Resident(kAttrData, { 'x' });
            m_cached = b.Finish();
            m_cachedNumber = n;
        }
        return m_cached;
    }

    std::vector<uint8_t> m_boot;
    std::map<uint64_t, std::vector<uint8_t>> m_special;
    std::vector<uint8_t> m_cached;
    uint64_t m_cachedNumber = UINT64_MAX;
};

// Loads the table (record 0 from the $MFT, else from the mirror: 0 for none), maps every record, then
// reads and names every record.
void Run(const char* what, SectorSource& source, uint64_t mftStart, uint64_t mirrorStart, uint32_t spc)
{
    MftRunTableRecord table;
    const auto t0 = Clock::now();
    const bool loaded = LoadMftRunTableFrom(source, 0, mftStart, mirrorStart, spc, table);
    const auto t1 = Clock::now();
    const uint64_t records = table.totalSectors() / kSectorsPerMftRecord;
    uint64_t mapped = 0, sum = 0;
    for (uint64_t n = 0; n < records; ++n) {
        uint64_t sector = 0;
        if (MftRecordToLbaIn(n, table, &sector)) {
            ++mapped;
            sum += sector;
        }
    }
    const auto t2 = Clock::now();
    uint64_t named = 0;
    uint8_t rec[kMftRecordSize];
    for (uint64_t n = 0; n < records; ++n) {
        MftFileName fn;
        if (ReadMftRecordAt(source, table, n, rec) && IsFileRecord(rec, sizeof rec)) {
            ApplyNtfsFixup(rec, sizeof rec);
            named += FindMftFileName(rec, 1, fn) || FindMftFileName(rec, 3, fn) || FindMftFileName(rec, 0, fn);
        }
    }
    const auto t3 = Clock::now();
    std::printf("%s: loaded %s, %zu runs, %llu records\n", what, loaded ? "yes" : "NO", table.count(),
                (unsigned long long)records);
    std::printf("  load run table      %9.3f ms\n", Ms(t0, t1));
    std::printf("  map every record    %9.3f ms  (%llu mapped, %.1f ns each; checksum %llu)\n", Ms(t1, t2),
                (unsigned long long)mapped, records ? Ms(t1, t2) * 1e6 / double(records) : 0.0,
                (unsigned long long)(sum % 1000003));
    std::printf("  read+name records   %9.3f ms  (%llu named)\n", Ms(t2, t3), (unsigned long long)named);
}

} // namespace

int main(int argc, char** argv)
{
    SyntheticNtfs synthetic;
    Run("synthetic volume, 100,000 records", synthetic, kFirstCluster * kSpc, 0, kSpc);

    if (argc > 1) {
        PlatformProbe();
        const std::wstring wide(argv[1], argv[1] + std::strlen(argv[1]));
        KeptHandleSectorSource device(CString(wide.c_str()));
        uint8_t boot[kSectorSize];
        if (!device.IsOpen() || !device.ReadSector(0, boot)) {
            std::printf("%s: cannot read\n", argv[1]);
            return 1;
        }
        const NtfsBootFields f = ReadNtfsBootFields(boot);
        const uint64_t mft = f.mftCluster * f.sectorsPerCluster, mirror = f.mftMirrCluster * f.sectorsPerCluster;
        Run(argv[1], device, mft, mirror, f.sectorsPerCluster);

        // The program's own path: open, seek, read, close per call.
        const auto t0 = Clock::now();
        DeviceSectorSource perCall(CString(wide.c_str()));
        MftRunTableRecord table;
        LoadMftRunTableFrom(perCall, 0, mft, mirror, f.sectorsPerCluster, table);
        std::printf("  LoadMftRunTable through ReadSectors: %.3f ms, %zu runs\n", Ms(t0, Clock::now()), table.count());
    }
    return 0;
}

// What a Basic scan shows while it runs: the phases it tells its dialog in order with the range
// each counts in, progress that stays inside that range, and few reports for many steps.
#include <gtest/gtest.h>

#include <vector>

#include "fsrecovery/pure/basic_scan.h"
#include "storage/pure/volume_check.h"
#include "tests/pure/storage_test_util.h"

namespace {

struct Phase {
    BasicScanPhase phase;
    uint64_t first, end;
    uint64_t lastDone = 0, reports = 0;
    bool outOfRange = false, backwards = false;
};

// Every phase with the progress made in it, as the dialog's observer sees them.
struct Recorder {
    std::vector<Phase> phases;
    BasicScanObserver Observer()
    {
        BasicScanObserver o;
        o.phase = [this](BasicScanPhase p, uint64_t first, uint64_t end) { phases.push_back({ p, first, end }); };
        o.progress = [this](uint64_t done, uint64_t total) {
            if (phases.empty())
                return;
            Phase& p = phases.back();
            p.outOfRange = p.outOfRange || done > total || total != p.end - p.first;
            p.backwards = p.backwards || done < p.lastDone;
            p.lastDone = done;
            ++p.reports;
        };
        return o;
    }
};

struct Image {
    std::unique_ptr<FileSectorSource> src;
    ScanTarget target;
    bool Open(const char* name, FsKind kind)
    {
        src = std::make_unique<FileSectorSource>(storage_test::ImagesDir() + "/" + name);
        target.kind = kind;
        target.endSector = src->SizeBytes() / kSectorSize;
        return !storage_test::ImagesDir().empty() && src->IsOpen();
    }
    bool Check()
    {
        return CheckVolume(*src, *src, FsKindName(target.kind), 0, target.endSector, target.geometry) ==
            VolumeCheck::Valid;
    }
};

TEST(BasicScanPhases, FatProbeThenClusterScanNtfsRecordsEachInItsOwnRange)
{
    Image fat;
    if (!fat.Open("fat32.img", FsKind::Fat32) || !fat.Check())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    // The boot sector's geometry: straight to the directory clusters, from cluster 2 on.
    FoundStore store;
    Recorder checked;
    ASSERT_EQ(ScanFatVolume(*fat.src, fat.target, true, store, 0, nullptr, checked.Observer()), BasicScanStatus::Done);
    ASSERT_EQ(checked.phases.size(), 1u);
    const Phase& clusters = checked.phases[0];
    EXPECT_EQ(clusters.phase, BasicScanPhase::FatScan);
    EXPECT_EQ(clusters.first, fat.target.geometry.cluster0Start + 2ull * fat.target.geometry.sectorsPerCluster);
    EXPECT_EQ(clusters.end, fat.target.endSector);
    EXPECT_FALSE(clusters.outOfRange || clusters.backwards);
    EXPECT_GT(clusters.lastDone + kFatScanBlockSectors, clusters.end - clusters.first);

    // Without a usable boot sector the probe comes first, over the whole volume.
    FoundStore probedStore;
    Recorder probed;
    fat.target.geometry = VolumeGeometryRecord();
    ASSERT_EQ(ScanFatVolume(*fat.src, fat.target, false, probedStore, 0, nullptr, probed.Observer()),
              BasicScanStatus::Done);
    ASSERT_EQ(probed.phases.size(), 2u);
    EXPECT_EQ(probed.phases[0].phase, BasicScanPhase::Probing);
    EXPECT_EQ(probed.phases[0].first, 0u);
    EXPECT_EQ(probed.phases[0].end, fat.target.endSector);
    EXPECT_FALSE(probed.phases[0].outOfRange || probed.phases[0].backwards);
    EXPECT_EQ(probed.phases[1].phase, BasicScanPhase::FatScan);
    EXPECT_EQ(probedStore.EntryCount(), store.EntryCount());

    Image ntfs;
    if (!ntfs.Open("ntfs.img", FsKind::Ntfs) || !ntfs.Check())
        GTEST_SKIP() << "image missing";
    FoundStore ntfsStore;
    Recorder records;
    ASSERT_EQ(ScanNtfsVolume(*ntfs.src, ntfs.target, true, ntfsStore, 0, nullptr, records.Observer()),
              BasicScanStatus::Done);
    ASSERT_EQ(records.phases.size(), 1u);
    const Phase& mft = records.phases[0];
    EXPECT_EQ(mft.phase, BasicScanPhase::NtfsScan);
    EXPECT_EQ(mft.first, 0u);
    EXPECT_GT(mft.end, 0u);
    EXPECT_EQ(mft.lastDone, mft.end); // every sector of the runs counted
    EXPECT_EQ(mft.reports, mft.end / kSectorsPerMftRecord);
    EXPECT_FALSE(mft.outOfRange || mft.backwards);
}

// A $MFT whose own record cannot be read has nothing to scan: the scan says so and stores nothing,
// rather than showing an empty tree as if the volume held nothing.
TEST(BasicScanPhases, AnUnreadableMftRecordEndsTheNtfsScanWithItsOwnStatus)
{
    storage_test::CraftedDisk disk(4096);
    ScanTarget target;
    target.kind = FsKind::Ntfs;
    target.endSector = 4096;
    target.geometry.sectorsPerCluster = 8;
    target.geometry.mftSector = 32; // zeros: no "FILE" record there
    FoundStore store;
    Recorder seen;
    EXPECT_EQ(ScanNtfsVolume(disk, target, true, store, 0, nullptr, seen.Observer()), BasicScanStatus::NoMftRuns);
    EXPECT_EQ(store.VolumeCount(), 0u);
    EXPECT_EQ(store.EntryCount(), 0u);
    EXPECT_TRUE(seen.phases.empty());
    disk.Fail(32);
    EXPECT_EQ(ScanNtfsVolume(disk, target, true, store, 0, nullptr, {}), BasicScanStatus::NoMftRuns);
}

TEST(ProgressThrottle, FirstAndLastReportsPassAndAtMostOnePerStepBetween)
{
    for (uint64_t total : { uint64_t(1), uint64_t(150), uint64_t(1) << 20, uint64_t(1) << 62, UINT64_MAX }) {
        SCOPED_TRACE(total);
        ProgressThrottle throttle;
        EXPECT_TRUE(throttle.Due(0, total));
        uint64_t due = 0;
        const uint64_t stride = total / 100000 + 1;
        for (uint64_t done = stride; done < total && done >= stride; done += stride)
            due += throttle.Due(done, total);
        EXPECT_LE(due, ProgressThrottle::kSteps);
        if (total >= 100000) {
            EXPECT_GE(due, ProgressThrottle::kSteps - 2);
        }
        EXPECT_TRUE(throttle.Due(total, total));
        EXPECT_FALSE(throttle.Due(total, total)); // the end is told once
        throttle.Restart();
        EXPECT_TRUE(throttle.Due(0, total));
    }
}

} // namespace

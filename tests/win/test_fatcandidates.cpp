// Loading a FAT volume found by a Deep scan into the working parameters: only in Deep Search, only
// on a FAT selection, and for FAT16 only once the scan assembled a volume.
#include <gtest/gtest.h>

#include "app/devicetree.h"
#include "app/maindlg.h"
#include "storage/fatcandidates.h"
#include "storage/pure/globals.h"

namespace {

struct FatCandidates : ::testing::Test {
    CDelvaneDlg dlg; // only its search mode is used; it never gets a window
    ZrRecordTable fatRows; // the FAT volumes a Deep scan found, as rows
    uint64_t assembled = 0; // how many of them the scan assembled
    // The selection the loads are asked for and the parameters they fill.
    SelectedVolumeRecord SelectedVolumeInfo;
    uint64_t WantedCluster0Start = 0;
    FatVolumeParamsRecord FatVolumeParams;
    void SetUp() override
    {
        SetSearchHost(&dlg);
        InstallDriveTreeStorageHost(); // the gates ask the host which search runs
        dlg.SearchMode = kModeDeep;
        SelectedVolumeInfo.fsName = L"FAT32";
        WantedCluster0Start = 0;
        FatVolumeParams = FatVolumeParamsRecord();
        fatRows.SetColumns({ { L"Sector", 0 },
                                           { L"SPF", 0 },
                                           { L"SPC", 0 },
                                           { L"Root Sectors", 0 },
                                           { L"Root Start", 0 },
                                           { L"Reserve Sectors", 0 },
                                           { L"Cluster0Start", 0 },
                                           { L"firstFAT", 0 },
                                           { L"secondFAT", 0 },
                                           { L"TotalSectors", 0 },
                                           { L"PartType", 0 },
                                           { L"End Sector", 0 } });
        fatRows.InsertRow(
            { L"2048", L"400", L"8", L"0", L"0", L"32", L"2832", L"2080", L"2480", L"204800", L"FAT32", L"206847" });
        fatRows.InsertRow({ L"300000", L"64", L"4", L"32", L"0", L"4", L"300100", L"300004", L"300068",
                                          L"65536", L"FAT16", L"365535" });
    }
    void TearDown() override { SetSearchHost(nullptr); }
};

TEST_F(FatCandidates, LoadOnlyInDeepSearchOnFat)
{
    dlg.SearchMode = kModeBasic;
    LoadFatCandidate(fatRows.Snapshot(), 1, SelectedVolumeInfo.fsName, FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 0u);

    dlg.SearchMode = kModeDeep;
    SelectedVolumeInfo.fsName = L"NTFS";
    LoadFatCandidate(fatRows.Snapshot(), 1, SelectedVolumeInfo.fsName, FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 0u);

    SelectedVolumeInfo.fsName = L"FAT32";
    LoadFatCandidate(fatRows.Snapshot(), 1, SelectedVolumeInfo.fsName, FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 2832u); // the row's fields are the pure tests' business
}

TEST_F(FatCandidates, ByIndexHonoursTheFat16GateAndTheWantedStart)
{
    SelectedVolumeInfo.fsName = L"FAT16";
    LoadFatCandidateByIndex(fatRows.Snapshot(), 1, 1, assembled, SelectedVolumeInfo.fsName, WantedCluster0Start,
                            FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 0u); // no FAT16 volume assembled yet

    assembled = 2;
    LoadFatCandidateByIndex(fatRows.Snapshot(), 1, 1, assembled, SelectedVolumeInfo.fsName, WantedCluster0Start,
                            FatVolumeParams); // the wanted start (0) is the one held already
    EXPECT_EQ(FatVolumeParams.cluster0Start, 0u);
    WantedCluster0Start = 1;
    LoadFatCandidateByIndex(fatRows.Snapshot(), 1, 1, assembled, SelectedVolumeInfo.fsName, WantedCluster0Start,
                            FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 300100u);

    WantedCluster0Start = 2832;
    LoadFatCandidateByIndex(fatRows.Snapshot(), 0, 0, assembled, SelectedVolumeInfo.fsName, WantedCluster0Start,
                            FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.sectorsPerFat, 400u);
    WantedCluster0Start = 12345; // no row has it
    LoadFatCandidateByIndex(fatRows.Snapshot(), 0, 0, assembled, SelectedVolumeInfo.fsName, WantedCluster0Start,
                            FatVolumeParams);
    EXPECT_EQ(FatVolumeParams.cluster0Start, 2832u);
}

} // namespace

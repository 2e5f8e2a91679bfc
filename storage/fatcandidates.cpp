#include "storage/fatcandidates.h"

#include "app/maindlg.h"
#include "fsrecovery/fsglobals.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/globals.h"

namespace {

bool InDeepSearch()
{
    return g_pMainDlg && g_pMainDlg->SearchMode == kModeDeep;
}

} // namespace

void LoadFatCandidate(int rowNumber)
{
    const CString& fs = SelectedVolumeInfo.fsName;
    if (!InDeepSearch() || (fs != L"FAT32" && fs != L"FAT16"))
        return;
    LoadFatCandidateRow(g_pMainDlg->FatPartitionTable.Snapshot(), rowNumber, FatVolumeParams);
}

void LoadFatCandidateByIndex(int mode, int index)
{
    const CString& fs = SelectedVolumeInfo.fsName;
    if (!InDeepSearch())
        return;
    if (fs != L"FAT32" && !(fs == L"FAT16" && DeepFatVolumeCount != 0))
        return;
    LoadFatCandidateRowByIndex(g_pMainDlg->FatPartitionTable.Snapshot(), mode, index, WantedCluster0Start,
                               FatVolumeParams);
}

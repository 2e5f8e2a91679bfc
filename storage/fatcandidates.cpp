#include "storage/fatcandidates.h"

#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"

void LoadFatCandidate(const std::vector<FatCandidateRow>& rows, int rowNumber)
{
    const CString& fs = SelectedVolumeInfo.fsName;
    if (HostSearchMode() != kModeDeep || (fs != L"FAT32" && fs != L"FAT16"))
        return;
    LoadFatCandidateRow(rows, rowNumber, FatVolumeParams);
}

void LoadFatCandidateByIndex(const std::vector<FatCandidateRow>& rows, int mode, int index, uint64_t assembledVolumes)
{
    const CString& fs = SelectedVolumeInfo.fsName;
    if (HostSearchMode() != kModeDeep)
        return;
    if (fs != L"FAT32" && !(fs == L"FAT16" && assembledVolumes != 0))
        return;
    LoadFatCandidateRowByIndex(rows, mode, index, WantedCluster0Start, FatVolumeParams);
}

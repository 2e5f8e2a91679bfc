#include "storage/fatcandidates.h"

#include "storage/pure/storage_host.h"

void LoadFatCandidate(const std::vector<FatCandidateRow>& rows, int rowNumber, const CString& fsName,
                      FatVolumeParamsRecord& params)
{
    if (HostSearchMode() != kModeDeep || (fsName != L"FAT32" && fsName != L"FAT16"))
        return;
    LoadFatCandidateRow(rows, rowNumber, params);
}

void LoadFatCandidateByIndex(const std::vector<FatCandidateRow>& rows, int mode, int index, uint64_t assembledVolumes,
                             const CString& fsName, uint64_t wantedCluster0Start, FatVolumeParamsRecord& params)
{
    if (HostSearchMode() != kModeDeep)
        return;
    if (fsName != L"FAT32" && !(fsName == L"FAT16" && assembledVolumes != 0))
        return;
    LoadFatCandidateRowByIndex(rows, mode, index, wantedCluster0Start, params);
}

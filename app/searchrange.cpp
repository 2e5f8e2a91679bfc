// The scan range a search with the sector-range fields takes from its drive page.
#include "app/devicetree.h"
#include "app/pure/sector_fields.h"
#include "app/searchsession.h"
#include "storage/driverecords.h"
#include "storage/pure/globals.h"

bool CSearchSession::ApplyTypedRange(Selection& selection, uint64_t start, uint64_t end, const wchar_t* searchModeName,
                                     ScanRequest& request)
{
    ReadSectorFields();
    selection.startSector = start;
    selection.endSector = end;
    if (!MakeScanRequest(selection, searchModeName, request))
        return false;
    if (!selection.physical)
        return true;
    // The selection gave the whole volume on its disk (selected by MakeScanRequest); the fields
    // narrow it.
    ScanTarget& target = request.target;
    VolumeOnDisk volume;
    volume.firstSector = target.firstSector;
    volume.lastSector = target.endSector > target.firstSector ? target.endSector - 1 : target.firstSector;
    volume.diskSectors = DiskTotalSectors;
    VolumeRangeFields typed;
    typed.min = TypedSectorRange().min;
    typed.max = TypedSectorRange().max;
    typed.start = start;
    typed.end = end;
    uint64_t first = 0, last = 0;
    if (!MapVolumeRangeToDisk(typed, volume, &first, &last) || !IsScanRange(first, last)) {
        ZrMessageBox(m_hWnd, SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart), L"Message",
                     MB_OK | MB_ICONINFORMATION);
        return false;
    }
    // The log keeps the volume's size, the scan the narrowed range.
    SelectedVolumeRecord& selected = request.SelectedVolumeInfo;
    target.firstSector = selected.startSector = selected.startSectorCopy = first;
    target.endSector = selected.endSector = last;
    return true;
}

bool CSearchSession::RefuseGroupItem(HTREEITEM item)
{
    const CString text = item != nullptr ? m_driveTree.GetItemText(item) : CString();
    if (item != nullptr && text != L"My Computer" && text != L"Physical Drives" && text != L"Logical Drives")
        return false;
    ZrMessageBox(m_hWnd,
                 L"First you need to select Physical or Logical Drive from the Tree, which you want to recover.",
                 L"Message", MB_OK | MB_ICONINFORMATION);
    return true;
}

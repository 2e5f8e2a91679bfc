#include "app/descriptions.h"

#include "app/searchhost.h"
#include "app/pure/descriptions.h"
#include "app/treeclass.h"
#include "storage/driverecords.h"
#include "storage/pure/drive_texts.h"

CString SelectedDiskGeometryTexts[4];
uint64_t SelectedDiskStartSector = 0;

namespace {

// Rows use image 10 of the list's image list, as every property list of the program.
constexpr int kPropertyImage = 10;

DriveInfoRecord* RecordOf(HTREEITEM item)
{
    if (!ActiveTree || !item)
        return nullptr;
    return reinterpret_cast<DriveInfoRecord*>(ActiveTree->GetItemData(item));
}

CListCtrl* ActiveDetailList()
{
    DeviceDetailHost* host = ActiveTree ? ActiveTree->GetDetailHost() : nullptr;
    return host ? host->DetailList() : nullptr;
}

void SetSelectedDriveValue(uint64_t value)
{
    if (SearchHost* host = GetSearchHost())
        host->SelectedDriveValue = value;
}

void WriteRows(CListCtrl* list, const std::vector<PropertyRow>& rows)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        const int at = list->InsertItem(LVIF_TEXT | LVIF_IMAGE, (int)i, rows[i].label, 0, 0, kPropertyImage, 0);
        list->SetItemText(at, 1, rows[i].value);
    }
}

} // namespace

void FormatPartitionProperties(HTREEITEM item)
{
    SetSelectedDriveValue(0);
    DriveInfoRecord* record = RecordOf(item);
    if (!record)
        return;
    SelectedDriveItem = record;
    SetSelectedDriveValue(record->startSector);

    DeviceDetailHost* host = ActiveTree->GetDetailHost();
    CListCtrl* list = ActiveDetailList();
    if (!list)
        return;
    const int mode = host->Mode();
    if ((mode == kModeBasic || mode == kModeDeep) && !host->IsOnFirstPage())
        return;
    list->DeleteAllItems();
    PartitionPropertyTexts texts;
    texts.endSector = record->endSectorText;
    texts.partitionType = record->partitionType;
    texts.volume = record->volume;
    texts.label = record->label;
    texts.size = record->sizeText;
    texts.freeSpace = record->freeSpaceText;
    texts.searchMode = record->searchModeName;
    texts.serialNumber = record->volumeSerial;
    WriteRows(list, PartitionPropertyRows(texts));
}

void FormatDiskProperties(HTREEITEM item)
{
    SetSelectedDriveValue(0);
    DriveInfoRecord* record = RecordOf(item);
    if (!record)
        return;
    SelectedDriveItem = record;
    SetSelectedDriveValue(record->capacityMiB);

    SelectedDiskGeometryTexts[0] = record->capacity;
    SelectedDiskGeometryTexts[1] = record->cylinders;
    SelectedDiskGeometryTexts[2] = record->heads;
    SelectedDiskGeometryTexts[3] = record->sectorsPerTrack;
    SelectedDiskStartSector = 0;
    DiskTotalSectors = StrToUInt64(record->totalSectors);
    SelectedDiskTexts[0] = record->model;
    SelectedDiskTexts[1] = record->model;
    SelectedDiskTexts[2] = DiskDescription(record->model, record->capacity, DiskTotalSectors, record->diskNumberText);

    CListCtrl* list = ActiveDetailList();
    if (!list)
        return;
    DiskPropertyTexts texts;
    texts.model = record->model;
    texts.mediaType = record->mediaType;
    texts.interfaceType = record->interfaceType;
    texts.capacity = record->capacity;
    texts.cylinders = record->cylinders;
    texts.heads = record->heads;
    texts.sectors = record->totalSectors;
    texts.bytesPerSector = record->bytesPerSector;
    texts.sectorsPerTrack = record->sectorsPerTrack;
    texts.firmwareRevision = record->firmwareRevision;
    texts.serialNumber = record->serialNumber;
    texts.systemName = record->systemName;
    texts.deviceId = record->physicalDeviceId;
    WriteRows(list, DiskPropertyRows(texts));
}

void FillListFromTreeItem(HTREEITEM item)
{
    CListCtrl* list = ActiveDetailList();
    if (!list || !item)
        return;
    for (HTREEITEM child = ActiveTree->GetChildItem(item); child; child = ActiveTree->GetNextSiblingItem(child)) {
        DriveInfoRecord* record = RecordOf(child);
        if (!record)
            continue;
        SelectedDriveItem = record;
        SetSelectedDriveValue(record->capacityMiB);
        CString number;
        number.Format(L"%d", list->GetItemCount() + 1);
        const int at = list->InsertItem(list->GetItemCount(), number);
        list->SetItemText(at, 1, record->diskNumberText);
        list->SetItemText(at, 2, record->diskName);
        list->SetItemText(at, 3, record->tagText);
    }
}

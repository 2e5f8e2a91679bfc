// The physical disks and logical drives in the current search dialog's drive tree, and the tree
// services the dialogs select and insert with.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "app/maindlg.h"
#include "app/notices.h"
#include "app/treeclass.h"
#include "app/pure/textservices.h"
#include "storage/driverecords.h"
#include "storage/partitions.h"
#include "storage/sectorreader.h"

DriveInfoRecord* SelectedDriveItem = nullptr;
std::vector<smpparam> DiskSearchList;
uint64_t DiskTotalSectors = 0;
TreeItemHandle LastDiskItem = nullptr;
CStringArray DiskMediaList;
std::atomic<int> DriveTreeBuilding{ 0 };
uint64_t LogicalDriveSectors = 0;
uint32_t SelectedItemDiskNumber = 0;
uint32_t SelectedItemIsDynamic = 0;
uint64_t SelectedItemVolumeStart = 0;
uint64_t SelectedItemVolumeEnd = 0;

namespace {

constexpr int kDiskImage = 1;
constexpr int kDriveImage = 2;

DriveTreeTargetProvider g_targetProviders[6] = {};

int CurrentSearchMode()
{
    return g_pMainDlg != nullptr ? g_pMainDlg->SearchMode.load() : 0;
}

bool IsBasicOrDeep(int mode)
{
    return mode == kModeBasic || mode == kModeDeep;
}

// The size of what the handle reads, when the geometry query has no answer (image files under
// Wine): the length query, the extended geometry, then the file size.
uint64_t QueryDeviceBytes(HANDLE h)
{
    DWORD got = 0;
    GET_LENGTH_INFORMATION length{};
    if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length), &got, nullptr) &&
        length.Length.QuadPart > 0)
        return uint64_t(length.Length.QuadPart);
    uint8_t ex[256] = {};
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, ex, sizeof(ex), &got, nullptr) &&
        got >= sizeof(DISK_GEOMETRY) + 8) {
        LARGE_INTEGER size;
        memcpy(&size, ex + sizeof(DISK_GEOMETRY), sizeof(size));
        if (size.QuadPart > 0)
            return uint64_t(size.QuadPart);
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0)
        return uint64_t(size.QuadPart);
    return 0;
}

bool DeliversSectorZero(const CString& path)
{
    uint8_t sector[kSectorSize];
    return ReadSectorsCounted(path, 0, 1, sector) != 0;
}

bool QueryStorageProperty(HANDLE h, DWORD propertyId, uint8_t (&answer)[512], DWORD& returned)
{
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = STORAGE_PROPERTY_ID(propertyId);
    query.QueryType = PropertyStandardQuery;
    memset(answer, 0, sizeof(answer));
    returned = 0;
    return DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer, sizeof(answer), &returned,
                           nullptr) != FALSE;
}

HTREEITEM InsertWithImage(CTreeCtrl& tree, const CString& text, int image, LPARAM data, HTREEITEM parent)
{
    return tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, text.GetString(), image, image, 0,
                           0, data, parent, TVI_LAST);
}

} // namespace

void RegisterDriveTreeTarget(int searchMode, DriveTreeTargetProvider provider)
{
    if (searchMode >= kModeBasic && searchMode <= kModeSignature)
        g_targetProviders[searchMode] = provider;
}

namespace {

// The item with this text among the top items and their children ("My Computer" holds the two
// drive groups).
HTREEITEM FindGroupItem(const CTreeCtrl& tree, const wchar_t* text)
{
    for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top)) {
        if (tree.GetItemText(top) == text)
            return top;
        for (HTREEITEM c = tree.GetChildItem(top); c != nullptr; c = tree.GetNextSiblingItem(c))
            if (tree.GetItemText(c) == text)
                return c;
    }
    return nullptr;
}

// Without a registered provider: the active tree, its dialog and its detail host.
bool TargetFromActiveTree(DriveTreeTarget& target)
{
    CTreeClass* tree = ActiveTree;
    if (tree == nullptr || !tree->IsWindow())
        return false;
    target.tree = tree;
    target.dialog = tree->GetParent();
    if (DeviceDetailHost* host = tree->GetDetailHost()) {
        target.onFirstPage = host->IsOnFirstPage();
        if (CListCtrl* list = host->DetailList())
            target.fileList = list->GetSafeHwnd();
    }
    return true;
}

} // namespace

bool GetDriveTreeTarget(DriveTreeTarget& target)
{
    const int mode = CurrentSearchMode();
    target = DriveTreeTarget();
    const bool found = mode >= kModeBasic && mode <= kModeSignature && g_targetProviders[mode] != nullptr
        ? g_targetProviders[mode](target)
        : TargetFromActiveTree(target);
    if (!found || target.tree == nullptr || !target.tree->IsWindow())
        return false;
    if (target.physicalRoot == nullptr)
        target.physicalRoot = FindGroupItem(*target.tree, L"Physical Drives");
    if (target.logicalRoot == nullptr)
        target.logicalRoot = FindGroupItem(*target.tree, L"Logical Drives");
    return true;
}

CString GetMachineName()
{
    wchar_t name[256] = {};
    DWORD size = 255;
    return GetComputerNameW(name, &size) ? CString(name) : CString();
}

CString SearchModeName(int searchMode)
{
    static const wchar_t* const kNames[] = {
        L"", L"Basic Search", L"Deep Search", L"Photo Search", L"Video Search", L"Signature Search"
    };
    return searchMode >= 0 && searchMode <= kModeSignature ? kNames[searchMode] : L"";
}

bool QueryPhysicalDisk(int diskNumber, PhysicalDiskInfo& info)
{
    info = PhysicalDiskInfo();
    if (diskNumber < 0 || diskNumber >= kMaxDisks)
        return false;
    const CString& path = PhysicalDrivePathTable[diskNumber];
    // Access 0: queries only; the sectors are read through the sector reader.
    HANDLE h = CreateFileW(path.GetString(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // A device that opens but never delivers a sector is no disk.
    if (!DeliversSectorZero(path)) {
        CloseHandle(h);
        return false;
    }
    DISK_GEOMETRY geometry{};
    DWORD got = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &got, nullptr)) {
        info.cylinders = uint64_t(geometry.Cylinders.QuadPart);
        info.mediaType = uint32_t(geometry.MediaType);
        info.tracksPerCylinder = geometry.TracksPerCylinder;
        info.sectorsPerTrack = geometry.SectorsPerTrack;
        info.bytesPerSector = geometry.BytesPerSector;
    } else {
        info.exactBytes = QueryDeviceBytes(h);
        if (info.exactBytes == 0) {
            CloseHandle(h);
            return false;
        }
        info.bytesPerSector = kSectorSize;
        info.sectorsPerTrack = 63;
        info.tracksPerCylinder = 255;
        info.cylinders = info.exactBytes / (uint64_t(kSectorSize) * 63 * 255);
        info.mediaType = FixedMedia;
    }
    uint8_t answer[512];
    DWORD returned = 0;
    if (QueryStorageProperty(h, StorageAdapterProperty, answer, returned) && returned > 24) {
        info.adapterAnswered = true;
        info.busType = answer[24];
        if (QueryStorageProperty(h, StorageDeviceProperty, answer, returned))
            info.device = ParseStorageDeviceDescriptor(answer, returned);
    }
    CloseHandle(h);
    return true;
}

void FillDiskRecord(DriveInfoRecord& record, int diskNumber, const PhysicalDiskInfo& info)
{
    const uint64_t bytes = info.exactBytes != 0
        ? info.exactBytes
        : info.cylinders * info.tracksPerCylinder * info.sectorsPerTrack * info.bytesPerSector;
    const uint64_t sectors = bytes / kSectorSize;
    if (info.adapterAnswered) {
        record.interfaceType = BusTypeName(info.busType);
        record.vendor = info.device.vendor;
        record.productText = info.device.product;
        record.model = info.device.product;
        record.firmwareRevision = info.device.revision;
        record.serialNumber = info.device.serial;
    }
    record.mediaType = MediaKindText(info.mediaType, record.interfaceType);
    record.diskName.Format(L"Disk%d", diskNumber);
    record.diskNumberText.Format(L"%d", diskNumber);
    record.diskNumber = uint32_t(diskNumber);
    record.capacity = FormatSize(bytes);
    record.cylinders.Format(L"%I64d", int64_t(info.cylinders));
    record.heads.Format(L"%ld", info.tracksPerCylinder);
    record.sectorsPerTrack.Format(L"%ld", info.sectorsPerTrack);
    record.bytesPerSector.Format(L"%ld", info.bytesPerSector);
    record.totalSectors.Format(L"%llu", sectors);
    record.systemName = GetMachineName();
    record.physicalDeviceId = PhysicalDrivePathTable[diskNumber];
    record.itemText = DiskItemText(diskNumber, record.mediaType, record.capacity);
    record.capacityMiB = bytes >> 20;
    record.searchModeName = SearchModeName(CurrentSearchMode());
}

void AddPhysicalDrives(int code)
{
    if (g_pMainDlg == nullptr)
        return;
    g_pMainDlg->SelectedDriveValue = 0;
    DiskDescriptionList.RemoveAll();
    DriveTreeBuilding = 1;
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    const int mode = CurrentSearchMode();
    if (target.dialog != nullptr)
        target.dialog->EnableWindow(FALSE);
    g_pMainDlg->ShowHintPanel(SW_HIDE);
    if (target.onFirstPage) {
        if (target.fileList != nullptr) {
            ::SendMessageW(target.fileList, LVM_DELETEALLITEMS, 0, 0);
            if (g_pNoDeviceDlg.load() == nullptr || NoDeviceVisible == 0)
                ::ShowWindow(target.fileList, SW_SHOW);
        }
        if (IsBasicOrDeep(mode))
            DiskSearchList.clear();
    }
    CTreeCtrl& tree = *target.tree;
    try {
        for (int n = 0; n < kMaxDisks; ++n) {
            PhysicalDiskInfo info;
            if (!QueryPhysicalDisk(n, info))
                continue;
            DriveInfoRecord* record = new DriveInfoRecord;
            FillDiskRecord(*record, n, info);
            SelectedDriveItem = record;
            DiskMediaList.Add(record->diskNumberText);
            DiskMediaList.Add(record->mediaType);
            const uint64_t sectors = StrToUInt64(record->totalSectors.GetString());
            DiskTotalSectors = sectors;
            SelectedDiskNumber = uint16_t(GetDiskNumberFromText(record->itemText));

            HTREEITEM item = InsertWithImage(tree, record->itemText, kDiskImage, LPARAM(record), target.physicalRoot);
            tree.Expand(target.physicalRoot, TVE_EXPAND);
            tree.SortChildren(target.physicalRoot);
            LastDiskItem = item;

            AddDiskWithPartitions(0, sectors, item, L"Physical");

            if (IsBasicOrDeep(mode) && item != nullptr && tree.GetChildItem(item) == nullptr) {
                smpparam entry;
                entry.cylinders = uint32_t(info.cylinders);
                entry.heads = info.tracksPerCylinder;
                entry.sectorsPerTrack = info.sectorsPerTrack;
                entry.diskItem = item;
                entry.totalSectors = sectors;
                entry.devicePath = PhysicalDrivePathTable[n];
                DiskSearchList.push_back(entry);
            }
            if (code == 45 || code == 46)
                DiskDescriptionList.Add(
                    DiskDescription(record->model, record->capacity, sectors, record->diskNumberText));
        }
    } catch (CException* e) {
        AfxMessageBox(e->GetErrorText().GetString());
        e->Delete();
    }
}

HTREEITEM FindChildItemByText(int diskNumber, HTREEITEM parentItem)
{
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return parentItem;
    const CString tag = FormatDiskTag(diskNumber);
    for (HTREEITEM child = target.tree->GetChildItem(parentItem); child != nullptr;
         child = target.tree->GetNextSiblingItem(child))
        if (target.tree->GetItemText(child).Find(tag.GetString()) >= 0)
            return child;
    return parentItem;
}

void SelectDiskItem(int diskNumber, HTREEITEM parentItem)
{
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    const HTREEITEM item = FindChildItemByText(diskNumber, parentItem);
    DriveInfoRecord* record =
        item != parentItem ? reinterpret_cast<DriveInfoRecord*>(target.tree->GetItemData(item)) : nullptr;
    if (record == nullptr)
        return;
    SelectedDriveItem = record;
    if (g_pMainDlg != nullptr)
        g_pMainDlg->SelectedDriveValue = record->capacityMiB;
    DiskTotalSectors = StrToUInt64(record->totalSectors.GetString());
    SelectedDiskTexts[0] = record->model;
    SelectedDiskTexts[1] = record->model;
    SelectedDiskTexts[2] = DiskDescription(record->model, record->capacity, DiskTotalSectors, record->diskNumberText);
}

HTREEITEM InsertDriveTreeItem(const CString& text, HTREEITEM parentItem)
{
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return nullptr;
    CTreeCtrl& tree = *target.tree;
    HTREEITEM parent = parentItem != nullptr ? parentItem : tree.GetSelectedItem();
    if (parent != nullptr && tree.GetItemText(parent).Find(L"Partition") >= 0)
        return nullptr;
    HTREEITEM item =
        tree.InsertItem(text.GetString(), kDriveImage, kDriveImage, parent != nullptr ? parent : TVI_ROOT, TVI_LAST);
    if (parent != nullptr)
        tree.Expand(parent, TVE_EXPAND);
    if (item != nullptr)
        tree.EnsureVisible(item);
    return item;
}

void LoadSelectedDriveItem()
{
    VolumeExtentStart = 0;
    VolumeExtentEnd = 0;
    VolumeExtentDisk = 0;
    SelectedItemIsDynamic = 0;
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    const HTREEITEM item = target.tree->GetSelectedItem();
    DriveInfoRecord* record =
        item != nullptr ? reinterpret_cast<DriveInfoRecord*>(target.tree->GetItemData(item)) : nullptr;
    if (record == nullptr)
        return;
    SelectedDriveItem = record;
    SelectedItemDiskNumber = record->diskNumber;
    SelectedItemIsDynamic = record->isDynamic;
    SelectedItemVolumeStart = record->volumeStartSector;
    SelectedItemVolumeEnd = record->volumeEndSector;
}

bool IsFloppyDrive(const CString& drive)
{
    wchar_t target[260] = {};
    return QueryDosDeviceW(drive.GetString(), target, 260) != 0 && wcsstr(target, L"Device\\Floppy") != nullptr;
}

void AddLogicalDrives(CString which)
{
    if (g_pMainDlg == nullptr)
        return;
    CDelvaneDlg& main = *g_pMainDlg;
    main.SelectedDriveValue = 0;
    DriveTreeBuilding = 1;
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    if (target.dialog != nullptr)
        target.dialog->EnableWindow(FALSE);
    DWORD mask = GetLogicalDrives();
    for (wchar_t letter = L'A'; mask != 0 && letter <= L'Z'; ++letter, mask >>= 1) {
        const CString letterText(letter);
        if (letterText == which || (mask & 1) == 0 || main.DriveTreeRefreshBusy != 0)
            continue;
        const CString drive = letterText + L":";
        const CString root = drive + L"\\";
        const UINT type = GetDriveTypeW(root.GetString());
        if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_CDROM)
            continue;
        wchar_t label[260] = {};
        wchar_t fsName[261] = {};
        DWORD serial = 0;
        GetVolumeInformationW(root.GetString(), label, 260, &serial, nullptr, nullptr, fsName, 261);
        ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
        const bool sizeKnown = GetDiskFreeSpaceExW(root.GetString(), &freeToCaller, &total, &totalFree) != FALSE;
        if (!sizeKnown)
            main.SelectedDriveValue = 0;
        if (IsFloppyDrive(drive))
            continue;
        const LogicalDriveTexts texts =
            MakeLogicalDriveTexts(letter, label, fsName, sizeKnown, total.QuadPart, totalFree.QuadPart);
        main.LogicalDrivePath = L"\\\\.\\" + drive;
        LogicalDriveSectors = texts.sectors;
        SelectedVolumeInfo.endSector = texts.sectors;
        LogicalDriveKeys.Add(texts.key);

        DriveInfoRecord* record = new DriveInfoRecord;
        SelectedDriveItem = record;
        record->isDynamic = IsVolumeOnDynamicDisk(drive) ? 1 : 0;
        record->itemText = texts.itemText;
        record->extraText = L"Logical Drives";
        record->searchModeName = SearchModeName(CurrentSearchMode());
        record->spareText = L"0";
        record->endSectorText.Format(L"%lld", int64_t(texts.sectors));
        record->partitionType = fsName[0] != 0 ? CString(fsName) : CString(L"Unknown");
        record->volume = drive;
        record->label = label;
        record->sizeText = texts.sizeText;
        record->freeSpaceText = texts.freeSpaceText;
        record->volumeSerial.Format(L"%X", serial);
        record->startSector = main.SelectedDriveValue;
        record->totalBytes = sizeKnown ? total.QuadPart : 0;
        record->diskNumber = VolumeExtentDisk;
        record->volumeStartSector = VolumeExtentStart;
        record->volumeEndSector = VolumeExtentEnd;
        InsertWithImage(*target.tree, texts.itemText, kDriveImage, LPARAM(record), target.logicalRoot);
        target.tree->Expand(target.logicalRoot, TVE_EXPAND);
    }
    main.DriveTreeRefreshBusy = 1;
    if (target.dialog != nullptr)
        target.dialog->EnableWindow(TRUE);
    DriveTreeBuilding = 0;
}

void RefreshDriveTrees()
{
    ResetDiskTable();
    DiskMediaList.RemoveAll();
    DriveTreeBuilding = 1;
    AddPhysicalDrives(45);
    SelectedItemKind = L"Logical";
    DriveTreeBuilding = 1;
    AddLogicalDrives(L"ALL");
    DriveTreeBuilding = 0;
}

int RefreshAfterMediaChange()
{
    if (g_pMainDlg != nullptr)
        g_pMainDlg->DriveTreeRefreshBusy = 0;
    RefreshDriveTrees();
    SelectedItemKind = L"Logical";
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return 0;
    const HTREEITEM root = target.logicalRoot != nullptr && target.tree->GetChildItem(target.logicalRoot)
        ? target.logicalRoot
        : target.physicalRoot;
    return root != nullptr && target.tree->GetChildItem(root) != nullptr ? 1 : 0;
}

void ResetDriveTreeRoot()
{
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    const HTREEITEM root = target.tree->GetRootItem();
    if (root != nullptr) {
        target.tree->SetItemText(root, L"Root");
        target.tree->SetItemImage(root, 0, 0);
    }
}

void FillPartitionList(int diskNumber, HTREEITEM item, const CString& kind)
{
    if (g_pMainDlg == nullptr || diskNumber < 0 || diskNumber >= kMaxDisks || kind == L"Recognised")
        return;
    DriveTreeTarget target;
    uint32_t children = 0;
    if (GetDriveTreeTarget(target)) {
        const HTREEITEM disk = FindChildItemByText(diskNumber, item);
        for (HTREEITEM c = disk != nullptr ? target.tree->GetChildItem(disk) : nullptr; c != nullptr;
             c = target.tree->GetNextSiblingItem(c))
            ++children;
    }
    const DiskPartitionRecord& record = DiskPartitionTable[diskNumber];
    const uint32_t rows = std::min<uint32_t>(std::max(children, record.partitionCount), uint32_t(kPartitionSlotCount));
    ZrRecordTable& table = g_pMainDlg->RecognisedPartitionTable;
    for (uint32_t i = 0; i < rows; ++i) {
        const PartitionSlot& slot = record.slot[i];
        CString cells[6];
        cells[0].Format(L"%d", diskNumber);
        cells[1].Format(L"%d", table.GetItemCount() + 1);
        cells[2].Format(L"%llu", slot.startSector);
        cells[3].Format(L"%llu", std::min(slot.endSector, DiskTotalSectors));
        cells[4] = cells[2];
        cells[5].Format(L"%llu", DiskTotalSectors);
        table.InsertRow(std::vector<CString>(cells, cells + 6));
    }
}

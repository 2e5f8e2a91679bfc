// The physical disks and logical drives in the current search dialog's drive tree, and the tree
// services the dialogs select and insert with.
#include "app/devicetree.h"

#include <algorithm>

#include "app/searchhost.h"
#include "app/notices.h"
#include "app/treeclass.h"
#include "storage/partition_table.h"

namespace {

constexpr int kDiskImage = 1;
constexpr int kDriveImage = 2;

DriveTreeTargetProvider g_targetProviders[6] = {};

bool IsBasicOrDeep(int mode)
{
    return mode == kModeBasic || mode == kModeDeep;
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
    const int mode = InstalledSearchMode();
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

void AddPhysicalDrives(int code)
{
    SearchHost* host = GetSearchHost();
    if (host == nullptr)
        return;
    host->SelectedDriveValue = 0;
    DiskDescriptionList.RemoveAll();
    DriveTreeBuilding = 1;
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return;
    const int mode = InstalledSearchMode();
    if (target.dialog != nullptr)
        target.dialog->EnableWindow(FALSE);
    host->ShowHintPanel(SW_HIDE);
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
            const DriveInfoRecord* record = RecordPhysicalDisk(n, info, mode);
            const uint64_t sectors = DiskTotalSectors;

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
            if (code == kDiskListRefresh || code == kDiskListDescribe)
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

bool SelectDiskItem(int diskNumber, HTREEITEM parentItem)
{
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return false;
    const HTREEITEM item = FindChildItemByText(diskNumber, parentItem);
    DriveInfoRecord* record =
        item != parentItem ? reinterpret_cast<DriveInfoRecord*>(target.tree->GetItemData(item)) : nullptr;
    if (record == nullptr)
        return false;
    SelectedDriveItem = record;
    if (SearchHost* host = GetSearchHost())
        host->SelectedDriveValue = record->capacityMiB;
    DiskTotalSectors = StrToUInt64(record->totalSectors.GetString());
    SelectedDiskTexts[0] = record->model;
    SelectedDiskTexts[1] = record->model;
    SelectedDiskTexts[2] = DiskDescription(record->model, record->capacity, DiskTotalSectors, record->diskNumberText);
    return true;
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

SelectedItemPlace LoadSelectedDriveItem()
{
    SelectedItemPlace place;
    DriveTreeTarget target;
    if (!GetDriveTreeTarget(target))
        return place;
    const HTREEITEM item = target.tree->GetSelectedItem();
    DriveInfoRecord* record =
        item != nullptr ? reinterpret_cast<DriveInfoRecord*>(target.tree->GetItemData(item)) : nullptr;
    if (record == nullptr)
        return place;
    SelectedDriveItem = record;
    place.SelectedItemDiskNumber = record->diskNumber;
    place.SelectedItemIsDynamic = record->isDynamic;
    place.SelectedItemVolumeStart = record->volumeStartSector;
    place.SelectedItemVolumeEnd = record->volumeEndSector;
    return place;
}

void AddLogicalDrives(CString which)
{
    if (GetSearchHost() == nullptr)
        return;
    SearchHost& main = *GetSearchHost();
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
        LogicalDriveInfo info;
        if (!QueryLogicalDrive(letter, info))
            continue;
        if (!info.sizeKnown)
            main.SelectedDriveValue = 0;
        main.LogicalDrivePath = L"\\\\.\\" + info.drive;
        DriveInfoRecord* record = RecordLogicalDrive(info, InstalledSearchMode(), main.SelectedDriveValue);
        InsertWithImage(*target.tree, info.texts.itemText, kDriveImage, LPARAM(record), target.logicalRoot);
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
    AddPhysicalDrives(kDiskListRefresh);
    SelectedItemKind = L"Logical";
    DriveTreeBuilding = 1;
    AddLogicalDrives(L"ALL");
    DriveTreeBuilding = 0;
}

int RefreshAfterMediaChange()
{
    if (SearchHost* host = GetSearchHost())
        host->DriveTreeRefreshBusy = 0;
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

void ResetDriveTreeRoot(CTreeCtrl* resultTree)
{
    DriveTreeTarget target;
    if (resultTree == nullptr || resultTree->GetSafeHwnd() == nullptr ||
        (GetDriveTreeTarget(target) && target.tree == resultTree))
        return;
    if (const HTREEITEM root = resultTree->GetRootItem()) {
        resultTree->SetItemText(root, L"Root");
        resultTree->SetItemImage(root, 0, 0);
    }
}

namespace {

// The volumes Deep Search recognised inside the drive letter that `item`'s parent is, in the order
// of its recognised-partition store.
void FillRecognisedPartitionList(HTREEITEM item)
{
    DriveTreeTarget target;
    auto* tree = GetDriveTreeTarget(target) ? dynamic_cast<CTreeClass*>(target.tree) : nullptr;
    DeviceDetailHost* host = tree != nullptr ? tree->GetDetailHost() : nullptr;
    CListCtrl* store = host != nullptr ? host->RecognisedPartitionStore() : nullptr;
    if (store == nullptr || item == nullptr)
        return;
    CString drive = tree->GetItemText(tree->GetParentItem(item)).Left(2);
    drive.Trim();
    const CString key = CString(L"Log|\\\\.\\") + drive + L"|";
    CString driveEnd;
    driveEnd.Format(L"%llu", (unsigned long long)RecognisedDriveSectors);
    ZrRecordTable& table = GetSearchHost()->RecognisedPartitionTable;
    for (int row = 0; row < store->GetItemCount(); ++row) {
        if (store->GetItemText(row, 0) != key)
            continue;
        CString cells[6];
        cells[0] = key;
        cells[1].Format(L"%d", table.GetItemCount() + 1);
        cells[2] = store->GetItemText(row, 3);
        cells[3] = store->GetItemText(row, 4);
        if (StrToUInt64(cells[3]) > RecognisedDriveSectors)
            cells[3] = driveEnd;
        cells[4] = cells[2];
        cells[5] = driveEnd;
        table.InsertRow(std::vector<CString>(cells, cells + 6));
    }
}

} // namespace

void FillPartitionList(int diskNumber, HTREEITEM item, const CString& kind)
{
    SearchHost* host = GetSearchHost();
    if (host == nullptr)
        return;
    if (kind == L"Recognised") {
        FillRecognisedPartitionList(item);
        return;
    }
    if (diskNumber < 0 || diskNumber >= kMaxDisks)
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
    ZrRecordTable& table = host->RecognisedPartitionTable;
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

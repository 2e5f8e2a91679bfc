// What selecting an item of the device tree shows: the disk list, a disk's, a logical drive's or
// a partition's properties, and the preparation of the dialog's range and file-system controls.
#include <algorithm>
#include <vector>

#include "app/descriptions.h"
#include "app/searchhost.h"
#include "app/pure/recognised_range.h"
#include "app/pure/textservices.h"
#include "app/treeclass.h"
#include "app/devicetree.h"
#include "storage/pure/bootsector.h"

namespace {

const wchar_t kPhysicalDrives[] = L"Physical Drives";
const wchar_t kLogicalDrives[] = L"Logical Drives";
const wchar_t kMyComputer[] = L"My Computer";
const wchar_t kFileSystems[] = L"File Systems";

bool IsDiskIndex(int n)
{
    return n >= 0 && n < kMaxDisks;
}

// Number in the "Value" column of a detail row; an empty or missing text reads 0.
uint64_t RowValue(CListCtrl* list, int row)
{
    return list ? StrToUInt64(list->GetItemText(row, 1)) : 0;
}

const wchar_t* KnownFsIn(const CString& text)
{
    for (const wchar_t* name : { L"FAT16", L"FAT32", L"NTFS" })
        if (text.Find(name) >= 0)
            return name;
    return nullptr;
}

// Empties the list and removes its columns: as many as the header has, else `assumed`.
void ClearRowsAndColumns(CListCtrl* list, int assumed)
{
    list->DeleteAllItems();
    CHeaderCtrl* header = list->GetHeaderCtrl();
    const int columns = header ? header->GetItemCount() : assumed;
    for (int i = 0; i < columns; ++i)
        list->DeleteColumn(0);
}

} // namespace

void DeviceDetailHost::FormatSelectionDetails(const CString& fsName, int index, int diskNumber)
{
    if (SearchHost* host = GetSearchHost())
        host->FormatSelectionDetails(fsName, index, diskNumber);
}

int CTreeClass::ItemDepth(HTREEITEM item) const
{
    if (!item)
        return -1;
    int depth = 0;
    for (HTREEITEM parent = GetParentItem(item); parent; parent = GetParentItem(parent))
        ++depth;
    return depth;
}

void CTreeClass::ShowDeviceItem(HTREEITEM item)
{
    if (!item)
        return;
    SelectedTreeItem = item;
    const CString text = GetItemText(item);
    if (text == kPhysicalDrives) {
        ShowPhysicalDrives(item);
    } else if (text == kLogicalDrives) {
        AddLogicalDrivesRoot();
    } else if (text == kMyComputer) {
        AddMyComputerRoot();
    } else {
        const int depth = ItemDepth(item);
        HTREEITEM parent = GetParentItem(item);
        if (depth == 2 && GetItemText(parent) == kPhysicalDrives)
            ShowDiskDetails(item);
        else if (depth == 2 && GetItemText(parent) == kLogicalDrives)
            ShowLogicalDriveDetails(item);
        else if (depth == 3 && text.Find(L"Recognised") < 0)
            FillPartitionDetails(item);
        else if (depth == 3)
            ShowSectorRange(text);
    }
}

void CTreeClass::ReplaceDetailColumns(CListCtrl* list)
{
    if (!list)
        return;
    ClearRowsAndColumns(list, 4);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 160);
    list->InsertColumn(1, L"Value", LVCFMT_LEFT, 250);
}

void CTreeClass::ResetDetailList()
{
    ForgetShownDetails();
    if (!m_pDetailHost)
        return;
    if (m_pDetailHost->Mode() != kModeBasic)
        m_pDetailHost->ShowSectorRangeControls(SW_HIDE);
    m_pDetailHost->ShowHintPanel(SW_HIDE);
    CListCtrl* list = m_pDetailHost->DetailList();
    if (!list)
        return;
    ClearRowsAndColumns(list, 2);
    list->InsertColumn(0, L"No.", LVCFMT_LEFT, 0);
    list->InsertColumn(1, L"Disk number", LVCFMT_LEFT, 80);
    list->InsertColumn(2, L"Name", LVCFMT_LEFT, 180);
    list->InsertColumn(3, L"Value", LVCFMT_LEFT, 180);
    list->SetColumnWidth(0, 0);
    list->ShowWindow(SW_SHOW);
}

void CTreeClass::ShowPhysicalDrives(HTREEITEM item)
{
    ResetDetailList();
    SelectedItemKind = kPhysicalDrives;
    m_shownItemText = kPhysicalDrives;
    CListCtrl* list = m_pDetailHost ? m_pDetailHost->DetailList() : nullptr;
    if (list) {
        FillListFromTreeItem(item);
        // Ordered by the "Disk number" text, as the column sort orders it.
        const int rows = list->GetItemCount();
        std::vector<std::vector<CString>> cells((size_t)rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 4; ++c)
                cells[(size_t)r].push_back(list->GetItemText(r, c));
        std::stable_sort(cells.begin(), cells.end(),
                         [](const std::vector<CString>& a, const std::vector<CString>& b) { return a[1] < b[1]; });
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 4; ++c)
                list->SetItemText(r, c, cells[(size_t)r][(size_t)c]);
    }
    SetFocus();
}

void CTreeClass::AddLogicalDrivesRoot()
{
    ShowGroupHint(kLogicalDrives);
}
void CTreeClass::AddMyComputerRoot()
{
    ShowGroupHint(kMyComputer);
}

void CTreeClass::ShowGroupHint(const wchar_t* groupText)
{
    SelectedItemKind = groupText;
    m_shownItemText = groupText;
    if (!m_pDetailHost)
        return;
    m_pDetailHost->ShowSectorRangeControls(SW_HIDE);
    m_pDetailHost->ShowDetailPanel(SW_HIDE);
    m_pDetailHost->ShowSearchHint(groupText);
}

void CTreeClass::ShowDiskDetails(HTREEITEM item)
{
    if (!item)
        return;
    CString text = GetItemText(item);
    SelectedDiskTexts[3] = text;
    Select(item, TVGN_CARET);
    const CString firstTop = GetItemText(GetRootItem());

    CString trimmed = text;
    const int disk = GetDiskNumberFromText(trimmed.Trim());
    // A text with no usable disk number selects disk 0, never an index beyond the disk tables.
    SelectedDiskNumber = (uint16_t)(IsDiskIndex(disk) ? disk : 0);
    SelectedItemKind = L"Hard Disk";

    CListCtrl* list = m_pDetailHost ? m_pDetailHost->DetailList() : nullptr;
    if (firstTop != kFileSystems && text != m_shownItemText && list) {
        m_pDetailHost->ShowHintPanel(SW_HIDE);
        ReplaceDetailColumns(list);
        list->ShowWindow(SW_SHOW);
        SelectedDriveId = SelectedDiskNumber;
        FormatDiskProperties(item);
        const uint64_t size = RowValue(list, 6);
        switch (m_pDetailHost->Mode()) {
        case kModeBasic:
            m_pDetailHost->SetDiskSize(size);
            break;
        case kModeDeep: {
            m_pDetailHost->ShowSectorRangeControls(SW_SHOW);
            const wchar_t* fs = nullptr;
            if (GetChildCount(item) == 1)
                fs = KnownFsIn(GetTextInParentheses(GetItemText(GetChildItem(item))));
            if (fs)
                m_pDetailHost->SelectFileSystemCombo(fs);
            else
                m_pDetailHost->SetFileSystemComboIndex(3);
            m_pDetailHost->SetDiskSize(size);
            m_pDetailHost->SetSectorRangeControls(0, size);
            break;
        }
        case kModePhoto:
            m_pDetailHost->ShowSectorRangeControls(SW_SHOW);
            m_pDetailHost->ShowTree();
            m_pDetailHost->SetDiskSize(size);
            m_pDetailHost->SetSectorRangeControls(0, size);
            break;
        default:
            m_pDetailHost->ShowSectorRangeControls(SW_SHOW);
            m_pDetailHost->SetDiskSize(size);
            m_pDetailHost->SetSectorRangeControls(0, size);
            break;
        }
    }

    m_shownItemText = text;
    if (firstTop != kFileSystems)
        SelectedDiskTexts[1] = SelectedDiskTexts[0];
}

void CTreeClass::ShowLogicalDriveDetails(HTREEITEM item)
{
    if (!item)
        return;
    const CString text = GetItemText(item);
    if (text == m_shownItemText)
        return;
    SelectedItemKind = L"Logical";
    m_shownItemText = text;

    CListCtrl* list = m_pDetailHost ? m_pDetailHost->DetailList() : nullptr;
    if (list) {
        list->ShowWindow(SW_HIDE);
        ReplaceDetailColumns(list);
    }
    const wchar_t letter = text.IsEmpty() ? L'\0' : text[0];
    // The letter's code is kept as the drive id only; it never indexes the per-disk tables.
    SelectedDriveId = (uint16_t)(int16_t)(signed char)letter;
    if (SearchHost* host = GetSearchHost()) {
        CString path;
        path.Format(L"\\\\.\\%c:", letter);
        host->LogicalDrivePath = path;
    }
    if (!m_pDetailHost)
        return;
    m_pDetailHost->ShowSearchHint(text);
    m_pDetailHost->HideHintLabels();
    if (list)
        list->ShowWindow(SW_SHOW);
    FormatPartitionProperties(item);

    const uint64_t end = RowValue(list, 1);
    switch (m_pDetailHost->Mode()) {
    case kModeBasic:
        break;
    case kModeDeep:
        m_pDetailHost->SelectFileSystemCombo(list ? list->GetItemText(2, 1) : CString());
        m_pDetailHost->HideFoundFileSystemList();
        m_pDetailHost->ShowSectorRangeControls(SW_SHOW);
        m_pDetailHost->SetSectorRangeControls(0, end);
        break;
    default:
        m_pDetailHost->ShowSectorRangeControls(SW_SHOW);
        m_pDetailHost->SetSectorRangeControls(0, end);
        break;
    }
}

int CTreeClass::PartitionDiskOf(HTREEITEM item)
{
    const HTREEITEM diskItem = item != nullptr ? GetParentItem(item) : nullptr;
    const int disk = diskItem != nullptr ? GetDiskNumberFromText(GetItemText(diskItem)) : -1;
    return IsDiskIndex(disk) ? disk : -1;
}

int CTreeClass::PartitionIndexOf(HTREEITEM item, int disk)
{
    if (item == nullptr || !IsDiskIndex(disk))
        return -1;
    // Only items of this tree are asked for their text: a slot may still hold an item of
    // another dialog's tree.
    const HTREEITEM diskItem = GetParentItem(item);
    const CString text = GetItemText(item);
    const DiskPartitionRecord& record = DiskPartitionTable[disk];
    const int count = (int)std::min<uint32_t>(record.partitionCount, kMaxPartitionsPerDisk);
    for (int n = 0; n < count; ++n) {
        for (HTREEITEM sibling = GetChildItem(diskItem); sibling; sibling = GetNextSiblingItem(sibling)) {
            if (sibling == record.slot[n].treeItem && GetItemText(sibling) == text)
                return n;
        }
    }
    return -1;
}

void CTreeClass::FillPartitionDetails(HTREEITEM item)
{
    if (!item)
        return;
    if (SearchHost* host = GetSearchHost())
        host->SelectedDriveValue = 0;
    if (m_pDetailHost)
        m_pDetailHost->ShowHintPanel(SW_HIDE);

    HTREEITEM diskItem = GetParentItem(item);
    const int disk = GetDiskNumberFromText(GetItemText(diskItem));
    if (!IsDiskIndex(disk))
        return;
    SelectDiskItem(disk, GetParentItem(diskItem));
    const int found = PartitionIndexOf(item, disk);
    if (found < 0)
        return;
    const DiskPartitionRecord& record = DiskPartitionTable[disk];
    const CString text = GetItemText(item);

    SelectedItemKind = L"part";
    Select(item, TVGN_CARET);
    SetItemState(item, TVIS_SELECTED, TVIS_SELECTED);
    Select(item, TVGN_CARET);

    CListCtrl* list = m_pDetailHost ? m_pDetailHost->DetailList() : nullptr;
    ReplaceDetailColumns(list);
    if (m_pDetailHost)
        m_pDetailHost->FormatSelectionDetails(record.fsName[found], found, disk);
    m_shownItemText = text;
    if (m_pDetailHost && m_pDetailHost->Mode() == kModeDeep) {
        m_pDetailHost->HideFoundFileSystemList();
        m_pDetailHost->SelectFileSystemCombo(record.fsName[found]);
    }
}

void CTreeClass::ShowSectorRange(CString text)
{
    if (!m_pDetailHost)
        return;
    m_pDetailHost->ShowHintPanel(SW_HIDE);
    CString drive = GetItemText(GetParentItem(SelectedTreeItem)).Left(2);
    drive.Trim();
    const CString key = CString(L"Log|\\\\.\\") + drive + L"|";

    // The drive's rows of the store, in the order found, without the key column.
    CListCtrl* found = m_pDetailHost->FoundFileSystemList();
    CListCtrl* store = m_pDetailHost->RecognisedPartitionStore();
    if (found) {
        found->DeleteAllItems();
        for (int row = 0; store && row < store->GetItemCount(); ++row) {
            if (store->GetItemText(row, 0).CompareNoCase(key) != 0)
                continue;
            const int at = found->InsertItem(found->GetItemCount(), store->GetItemText(row, 1));
            for (int column = 2; column <= 15; ++column)
                found->SetItemText(at, column - 1, store->GetItemText(row, column));
        }
    }

    m_recognisedKey = key;
    SelectedItemKind = L"Recognised";
    m_shownItemText.Empty();
    m_pDetailHost->ShowFileList(SW_HIDE);
    if (found)
        found->ShowWindow(SW_SHOW);

    const RecognisedItemText parts = ParseRecognisedItemText(text);
    SelectedPartitionText = parts.name;
    if (found)
        found->RedrawItems(0, found->GetItemCount() - 1);
    m_pDetailHost->SelectFileSystemCombo(parts.fsName);
    m_pDetailHost->ShowSectorRangeControls(SW_SHOW);

    CString startText, endText;
    if (found && parts.number >= 1 && parts.number <= found->GetItemCount()) {
        startText = found->GetItemText(parts.number - 1, 2);
        endText = found->GetItemText(parts.number - 1, 3);
    }
    const RecognisedRange range = ComputeRecognisedRange(startText, endText, LogicalDriveKeys, drive);
    RecognisedDriveSectors = range.driveSectors;
    m_pDetailHost->SetRecognisedRange(range.startText, range.endText, range.limitText, range.driveSectors);
    SetFocus();
    m_pDetailHost->FocusSecondTree();
}

CString CTreeClass::GetChildrenFsName(HTREEITEM item)
{
    CString shared;
    for (HTREEITEM child = GetChildItem(item); child; child = GetNextSiblingItem(child)) {
        const CString name = NormaliseFsName(GetTextInParentheses(GetItemText(child)));
        if (child != GetChildItem(item) && name != shared)
            return CString();
        shared = name;
    }
    return shared;
}

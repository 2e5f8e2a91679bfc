#include "app/basicsave.h"

#include <shlobj.h>

#include "app/basicsearch.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/pure/open_row.h"
#include "fsrecovery/folderlist.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

const wchar_t kNothingTickedText[] =
    L"No item has been selected. Please select the item you want to save from left panel.";

SaveFolderPicker g_saveFolderPicker = nullptr;

// The destination notice, then the shell's folder picker; empty when the user cancels.
CString AskSaveFolder(CWnd* owner)
{
    CSaveMsg notice(owner);
    notice.DoModal();
    BROWSEINFOW info{};
    info.hwndOwner = owner ? owner->GetSafeHwnd() : nullptr;
    info.lpszTitle = L"Select the folder to save the recovered files in";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr)
        return CString();
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(chosen, path);
    ::CoTaskMemFree(chosen);
    return ok ? CString(path) : CString();
}

CString PickSaveFolder(CWnd* owner)
{
    return g_saveFolderPicker ? g_saveFolderPicker(owner) : AskSaveFolder(owner);
}

// Lists whole folders for a save through a hidden list that the listings fill like the visible
// one, so the files saved are the files a user would see listed.
class FolderFiles {
public:
    explicit FolderFiles(CWnd* owner)
    {
        if (!m_scratch.Create(LVS_REPORT, CRect(0, 0, 0, 0), owner, 0))
            return;
        for (int c = 0; c < 10; ++c)
            m_scratch.InsertColumn(c, L"", LVCFMT_LEFT, 10);
    }
    ~FolderFiles()
    {
        if (m_scratch.GetSafeHwnd() != nullptr)
            m_scratch.DestroyWindow();
    }
    bool Ready() const { return m_scratch.GetSafeHwnd() != nullptr; }

    // The folders of the subtrees from `first` (its following siblings too when `siblings`)
    // for which `take` is true, each with its own files. Depth first without recursion: a
    // results tree is as deep as the folders on the disk.
    template <class Take>
    void AddFolders(CTreeClass& tree, HTREEITEM first, bool siblings, Take take, std::vector<SaveItem>& items)
    {
        std::vector<HTREEITEM> pending;
        for (HTREEITEM at = first; at != nullptr; at = siblings ? tree.GetNextSiblingItem(at) : nullptr)
            pending.insert(pending.begin(), at);
        while (!pending.empty()) {
            const HTREEITEM item = pending.back();
            pending.pop_back();
            if (take(item))
                AddFolder(tree, item, items);
            std::vector<HTREEITEM> children;
            for (HTREEITEM child = tree.GetChildItem(item); child != nullptr; child = tree.GetNextSiblingItem(child))
                children.push_back(child);
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
    }

private:
    // The files of the folder of `item` (not its subfolders) as save items.
    void AddFolder(CTreeClass& tree, HTREEITEM item, std::vector<SaveItem>& items)
    {
        const bool ntfs = FatVolumeParams.partitionType == L"NTFS";
        const FolderNode* folder = (const FolderNode*)tree.GetItemData(item);
        const uint64_t id = folder ? folder->ownId : (ntfs ? 5 : 0);
        m_scratch.DeleteAllItems();
        StopFolderRead = 0;
        if (ntfs)
            FillFileListNtfs(&m_scratch, 0, id);
        else
            FillFileListFat(&m_scratch, 0, id, folder ? folder->deleted : 0, -1);
        const std::vector<CString> folders = FolderPathOf(tree, item);
        for (int row = 0; row < m_scratch.GetItemCount(); ++row)
            items.push_back({ folders, FileOfListRow(m_scratch, row), FatVolumeParams });
    }

    CListCtrl m_scratch;
};

bool RowTicked(CListCtrl& list, int row)
{
    return (list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool IsFolderRow(CListCtrl& list, int row)
{
    return ClassifyOpenRowType(list.GetItemText(row, 1)) == OpenRowKind::Folder;
}

} // namespace

void SetSaveFolderPicker(SaveFolderPicker picker)
{
    g_saveFolderPicker = picker;
}

FoundFileRef FileOfListRow(CListCtrl& list, int row)
{
    FoundFileRef file;
    file.name = list.GetItemText(row, 0);
    uint64_t value = 0;
    ZrRecordTable::ParseNumber(list.GetItemText(row, 2), ZrRecordTable::SortKey::Decimal, value);
    file.size = value;
    value = 0;
    ZrRecordTable::ParseNumber(list.GetItemText(row, 5), ZrRecordTable::SortKey::Decimal, value);
    file.ntfs = list.GetItemText(row, 7) == L"0";
    if (file.ntfs)
        file.recordSector = value;
    else
        file.firstCluster = (uint32_t)value;
    return file;
}

std::vector<CString> FolderPathOf(CTreeClass& tree, HTREEITEM item)
{
    std::vector<CString> folders;
    for (HTREEITEM at = item; at != nullptr && tree.GetParentItem(at) != nullptr; at = tree.GetParentItem(at))
        folders.insert(folders.begin(), tree.GetItemText(at));
    return folders;
}

HTREEITEM FolderRowItem(CTreeClass& tree, HTREEITEM listed, CListCtrl& list, int row)
{
    uint64_t value = 0;
    if (listed == nullptr ||
        !ZrRecordTable::ParseNumber(list.GetItemText(row, 7), ZrRecordTable::SortKey::Decimal, value) || value == 0)
        return nullptr;
    for (HTREEITEM child = tree.GetChildItem(listed); child != nullptr; child = tree.GetNextSiblingItem(child))
        if ((unsigned long long)(intptr_t)child == value) // as the listing writes it
            return child;
    return nullptr;
}

bool CBasicSearch::NothingTicked()
{
    const int root = m_resultTree.GetCheckState(m_resultTree.GetRootItem());
    if (root != 0 && root != 1)
        return false;
    // A ticked row of the listed folder counts too: ticking a row does not tick the tree.
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        if (RowTicked(m_list, row))
            return false;
    return true;
}

void CBasicSearch::OnSaveSelected()
{
    if (NothingTicked()) {
        ZrMessageBox(GetSafeHwnd(), kNothingTickedText, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (BasicSearchPage < 1)
        return;
    EndListing(false);
    if (WorkerRunning())
        return;
    const CString destination = PickSaveFolder(this);
    if (destination.IsEmpty())
        return;

    std::vector<SaveItem> items;
    FolderFiles folders(this);
    if (!folders.Ready())
        return;
    const int listedBefore = m_list.GetItemCount();
    folders.AddFolders(
        m_resultTree, m_resultTree.GetRootItem(), true,
        [this](HTREEITEM item) { return m_resultTree.GetCheckState(item) == 2; }, items);

    // The ticked rows of the visible list, unless their folder was taken whole above.
    const HTREEITEM shown = m_resultTree.GetSelectedItem();
    if (shown != nullptr && m_resultTree.GetCheckState(shown) != 2) {
        const std::vector<CString> path = FolderPathOf(m_resultTree, shown);
        for (int row = 0; row < listedBefore; ++row)
            if (RowTicked(m_list, row) && !IsFolderRow(m_list, row))
                items.push_back({ path, FileOfListRow(m_list, row), FatVolumeParams });
    }
    SaveFoundItems(items, destination, this);
}

void CBasicSearch::SaveSelectedRows(bool all)
{
    if (BasicSearchPage < 1 || WorkerRunning())
        return;
    const int count = m_list.GetItemCount();
    if (all) {
        for (int row = 0; row < count; ++row) {
            m_list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
            m_list.EnsureVisible(row, FALSE);
        }
    }
    const CString destination = PickSaveFolder(this);
    std::vector<SaveItem> items;
    FolderFiles folders(this);
    if (!destination.IsEmpty() && folders.Ready()) {
        const HTREEITEM shown = m_resultTree.GetSelectedItem();
        const std::vector<CString> path = FolderPathOf(m_resultTree, shown);
        for (int row = m_list.GetNextItem(-1, LVNI_SELECTED); row >= 0 && row < count;
             row = m_list.GetNextItem(row, LVNI_SELECTED)) {
            // A folder row stands for the whole folder, its subfolders included.
            if (IsFolderRow(m_list, row)) {
                if (const HTREEITEM item = FolderRowItem(m_resultTree, shown, m_list, row))
                    folders.AddFolders(
                        m_resultTree, item, false, [](HTREEITEM) { return true; }, items);
            } else {
                items.push_back({ path, FileOfListRow(m_list, row), FatVolumeParams });
            }
        }
        SaveFoundItems(items, destination, this);
    }
    m_list.SetSelectionMark(-1);
    m_list.SetItemState(-1, 0, LVIS_SELECTED);
}

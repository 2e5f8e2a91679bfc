// The ticked rows of the file list (fsrecovery/row_ticks.h).
#include "fsrecovery/row_ticks.h"

#include "fsrecovery/pure/open_row.h"

namespace {

bool RowTicked(CListCtrl& list, int row)
{
    return (list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool IsFolderRow(CListCtrl& list, int row)
{
    return ClassifyOpenRowType(list.GetItemText(row, 1)) == OpenRowKind::Folder;
}

} // namespace

bool RowTicks::TickedRow::operator<(const TickedRow& o) const
{
    if (folder != o.folder)
        return folder < o.folder;
    if (file.volume != o.file.volume)
        return file.volume < o.file.volume;
    if (file.ntfs != o.file.ntfs)
        return file.ntfs < o.file.ntfs;
    if (file.recordSector != o.file.recordSector)
        return file.recordSector < o.file.recordSector;
    if (file.firstCluster != o.file.firstCluster)
        return file.firstCluster < o.file.firstCluster;
    return file.name.Compare(o.file.name) < 0;
}

bool RowTicks::RowKey(HTREEITEM listed, int row, TickedRow& key)
{
    key = TickedRow();
    if (IsFolderRow(m_rows.List(), row)) {
        key.folder = m_rows.FolderRowItem(listed, row);
        return key.folder != nullptr;
    }
    return m_rows.FileOfRow(row, key.file);
}

void RowTicks::NoteMessage(UINT message, LPARAM lParam)
{
    const auto* header = message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(lParam) : nullptr;
    if (header != nullptr && header->code == LVN_ITEMCHANGED && header->hwndFrom == m_rows.List().GetSafeHwnd()) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK))
            m_changed = true;
    }
}

void RowTicks::Keep()
{
    const HTREEITEM listed = m_rows.LastPopulatedItem;
    CListCtrl& list = m_rows.List();
    if (listed == nullptr || m_dialog.Page() < 1 || !list.GetSafeHwnd())
        return;
    // No row was ticked or unticked since the listing, none had a tick kept: nothing to read. A
    // list that tells another window of its changes is read whole.
    if (!m_changed && m_ticked.count(listed) == 0 && ::GetParent(list.GetSafeHwnd()) == m_dialog.GetSafeHwnd())
        return;
    std::set<TickedRow>& ticked = m_ticked[listed];
    TickedRow key;
    // One state read per row; a row's key is made only when the row is ticked or may have been.
    const int rows = list.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        const bool on = RowTicked(list, row);
        if ((!on && ticked.empty()) || !RowKey(listed, row, key))
            continue;
        if (on)
            ticked.insert(key);
        else
            ticked.erase(key);
    }
    if (ticked.empty())
        m_ticked.erase(listed);
}

void RowTicks::Restore()
{
    const HTREEITEM listed = m_rows.LastPopulatedItem;
    const auto found = m_ticked.find(listed);
    CListCtrl& list = m_rows.List();
    if (found == m_ticked.end() || !list.GetSafeHwnd())
        return;
    TickedRow key;
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (RowKey(listed, row, key) && found->second.count(key) != 0)
            list.SetCheck(row, TRUE);
}

void RowTicks::Clear()
{
    m_ticked.clear();
    m_changed = false;
}

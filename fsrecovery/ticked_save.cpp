// Saving the ticked folders and rows of a results page (fsrecovery/ticked_save.h).
#include "fsrecovery/ticked_save.h"

#include <memory>
#include <set>

#include <shlobj.h>

#include "app/notices.h"
#include "app/questions.h"
#include "app/shellservices.h"
#include "app/waitdialogs.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/savefiles.h"

namespace {

const wchar_t kNothingTickedText[] =
    L"No item has been selected. Please select the item you want to save from left panel.";

SaveFolderPicker g_saveFolderPicker = nullptr;
CString PickSaveFolder(CWnd* owner)
{
    return g_saveFolderPicker
        ? g_saveFolderPicker(owner)
        : BrowseForFolder(owner, L"Select the folder to save the recovered files in", BIF_RETURNONLYFSDIRS);
}

// The files of whole folders as save items; the files of one folder share its path.
class SaveCollector : public FileSink {
public:
    SaveCollector(FoundStore& store, std::shared_ptr<const std::vector<CString>> folders, std::vector<SaveItem>& items)
        : m_store(store), m_folders(std::move(folders)), m_items(items)
    { }
    void Add(const FoundFileRef& file, const CString (&)[10]) override
    {
        m_items.push_back({ m_folders, file, &m_store.Volume(file.volume) });
    }

private:
    FoundStore& m_store;
    std::shared_ptr<const std::vector<CString>> m_folders;
    std::vector<SaveItem>& m_items;
};

} // namespace

void SetSaveFolderPicker(SaveFolderPicker picker)
{
    g_saveFolderPicker = picker;
}

template <class Take>
void TickedSave::AddFolders(HTREEITEM first, bool siblings, Take take, std::vector<SaveItem>& items)
{
    // Depth first without recursion: a results tree is as deep as the folders on the disk.
    std::vector<HTREEITEM> pending;
    for (HTREEITEM at = first; at != nullptr; at = siblings ? m_resultTree.GetNextSiblingItem(at) : nullptr)
        pending.insert(pending.begin(), at);
    while (!pending.empty()) {
        const HTREEITEM item = pending.back();
        pending.pop_back();
        if (take(item)) {
            const auto path = std::make_shared<const std::vector<CString>>(FolderPathOf(m_resultTree, item));
            SaveCollector files(m_store, path, items);
            m_files.ListFilesOf(item, files);
        }
        std::vector<HTREEITEM> children;
        for (HTREEITEM child = m_resultTree.GetChildItem(item); child != nullptr;
             child = m_resultTree.GetNextSiblingItem(child))
            children.push_back(child);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

bool TickedSave::NothingTicked()
{
    const int root = m_resultTree.GetCheckState(m_resultTree.GetRootItem());
    if (root != 0 && root != 1)
        return false;
    // Ticked rows count too, of the listed folder and of those listed before: ticking a row does
    // not tick the tree.
    m_ticks.Keep();
    return m_ticks.Rows().empty();
}

void TickedSave::Save()
{
    if (NothingTicked()) {
        ZrMessageBox(m_dialog.GetSafeHwnd(), kNothingTickedText, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (m_dialog.Page() < 1)
        return;
    m_files.EndListing(false);
    if (m_dialog.ScanRunning() || g_pPopulateListThread != nullptr)
        return;
    const CString destination = PickSaveFolder(&m_dialog);
    if (destination.IsEmpty())
        return;

    std::vector<SaveItem> items;
    m_ticks.Keep();
    // Each folder is taken once: a ticked tree folder, a ticked folder row (with what is below
    // it), then the ticked file rows of folders not taken whole.
    std::set<HTREEITEM> taken;
    AddFolders(
        m_resultTree.GetRootItem(), true,
        [&](HTREEITEM item) { return m_resultTree.GetCheckState(item) == 2 && taken.insert(item).second; }, items);
    for (const auto& [listed, rows] : m_ticks.Rows())
        for (const RowTicks::TickedRow& row : rows)
            if (row.folder != nullptr && taken.count(row.folder) == 0)
                AddFolders(
                    row.folder, false, [&](HTREEITEM item) { return taken.insert(item).second; }, items);
    for (const auto& [listed, rows] : m_ticks.Rows()) {
        if (taken.count(listed) != 0)
            continue;
        const auto path = std::make_shared<const std::vector<CString>>(FolderPathOf(m_resultTree, listed));
        for (const RowTicks::TickedRow& row : rows)
            if (row.folder == nullptr && row.file.volume < m_store.VolumeCount())
                items.push_back({ path, row.file, &m_store.Volume(row.file.volume) });
    }
    m_lastSaveWork = SaveFoundItems(items, destination, &m_dialog, false, m_dialog.Host(), &m_request.target).work;
}


// TickedSave: the Save of a file-system search's results page: the ticked folders of the results
// tree and the ticked rows of every folder listed (RowTicks), each folder with its own files,
// saved into a folder the user picks. The dialog holds one; the files of a folder come from its
// listing, and what its scan read (`request`) is kept away from the destination.
#pragma once
#include <vector>

#include "app/searchsession.h"
#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/volume_listing.h"
#include "fsrecovery/file_copy.h"
#include "fsrecovery/folder_listing.h"
#include "fsrecovery/row_ticks.h"
#include "storage/pure/scan_target.h"

struct SaveItem;

// Where Save asks for the destination folder; null restores the destination notice and the
// folder picker. An empty answer cancels the save.
using SaveFolderPicker = CString (*)(CWnd* owner);
void SetSaveFolderPicker(SaveFolderPicker picker);

class TickedSave {
public:
    TickedSave(CSearchSession& dialog, FolderListing& files, RowTicks& ticks, CTreeClass& resultTree,
               FoundStore& store, const ScanRequest& request)
        : m_dialog(dialog), m_files(files), m_ticks(ticks), m_resultTree(resultTree), m_store(store),
          m_request(request)
    { }
    TickedSave(const TickedSave&) = delete;
    TickedSave& operator=(const TickedSave&) = delete;

    // The ticked folders and rows, after the "No item has been selected" message when nothing is
    // ticked.
    void Save();
    // What the last save asked of the system.
    const SaveWork& LastSaveWork() const { return m_lastSaveWork; }

private:
    bool NothingTicked();
    // The save items of the subtrees from `first` (its following siblings too when `siblings`)
    // whose folders `take` accepts, each folder with its own files.
    template <class Take> void AddFolders(HTREEITEM first, bool siblings, Take take, std::vector<SaveItem>& items);

    CSearchSession& m_dialog;
    FolderListing& m_files;
    RowTicks& m_ticks;
    CTreeClass& m_resultTree;
    FoundStore& m_store;
    const ScanRequest& m_request;
    SaveWork m_lastSaveWork;
};

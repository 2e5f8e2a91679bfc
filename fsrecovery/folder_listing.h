// FolderListing: the file list of the results folder selected in a file-system search: its
// subfolder rows, then its files, filled by a worker behind the "Populating" notice, with the
// folder's counts and path, and the FAT folders' names read as they are listed. The dialog holds
// one, hands it the worker's end (WM_ZR_LISTING_ENDED) and answers what the listing asks of it
// through the hooks it gives it.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "app/searchsession.h"
#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/volume_listing.h"

class CPopulate;

// The listing worker's end, posted to the dialog (WPARAM 1: it ran to its end).
constexpr UINT WM_ZR_LISTING_ENDED = WM_APP + 0x241;

class FolderListing {
public:
    // What the listing asks of its dialog.
    struct Hooks {
        // What the root's file rows of a FAT volume show in their cell 9; -1: nothing.
        std::function<int(uint32_t volume)> volumeColumnOf;
        // On the worker: the rows could not get memory.
        std::function<void()> outOfMemory;
        // A folder is about to be listed (the rows shown now are left); a listing has ended
        // (`ranToItsEnd`: it was not stopped and no one is ending it).
        std::function<void()> starts;
        std::function<void(bool ranToItsEnd)> ended;
    };
    // `resultsPresent`: the dialog's word that the scan left something to show (a FAT root's
    // files set it); the labels: "%llu Folders, %llu Files" and the listed folder's path (0: none).
    FolderListing(CSearchSession& dialog, Hooks hooks, CTreeClass& resultTree, CHideColumn& list, FoundStore& store,
                  std::atomic<bool>& resultsPresent, int folderCountLabel, int pathLabel);
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    // The results item whose folder the file list shows (set when its listing starts).
    HTREEITEM LastPopulatedItem = nullptr;

    // A results-tree selection: lists the folder of `item` behind the "Populating" notice.
    void OnResultSelChanged(HTREEITEM item);
    // The listing of `item` itself (on the listing worker): subfolder rows, then its files.
    void FillListedFolder(HTREEITEM item);
    // Waits for the listing worker (asking it to stop first when `stop`), removes the notice and
    // enables the dialog again; nothing to do when no listing runs.
    void EndListing(bool stop);
    // The dialog's handler of WM_ZR_LISTING_ENDED.
    LRESULT OnWorkerEnded(WPARAM finished);
    // A stop asked of the listing (its thread asked to stop counts too).
    bool ListingStopped();
    // The listing's stop, which the folder reads of the results tree poll too.
    StopFlag& ListingStop() { return m_listingStop; }
    // Reads the directory of the FAT folder of `item` for its subfolders' names, unless it was
    // read before. The top item and NTFS volumes read nothing; a folder of the end-of-chain id
    // has no directory and is only marked read. True when a read ran to its end.
    bool ReadFolderOnce(HTREEITEM item);
    // The file list the listing fills.
    CHideColumn& List() { return m_list; }

    // "%llu Folders, %llu Files" of the counts of the current listing, and into its control.
    CString FolderCountText() const;
    void ShowFolderCountText();
    void ResetFolderCounts();
    // The file list and the files behind its rows emptied.
    void EmptyFileList();
    // The subfolders listed last forgotten (the results they name go).
    void ForgetListedFolders();

    // The files of the folder of `item` (every volume's root for the top item), to a sink.
    void ListFilesOf(HTREEITEM item, FileSink& sink);
    // The file behind a row of the file list; false for a folder row or a row of no file.
    bool FileOfRow(int row, FoundFileRef& file) const;
    // The same, to change: null for a folder row or a row of no file.
    FoundFileRef* ListedFileOfRow(int row);
    // The results-tree item a folder row of the file list stands for: its "TreeItem" cell must
    // name a child of `listed`, the folder the list shows. Null when it names none.
    HTREEITEM FolderRowItem(HTREEITEM listed, int row);

private:
    friend class FileListWriter;
    static UINT PopulateListThreadProc(LPVOID param);
    // The steps of a listing: the folder's path in the path label; its subfolders' records (from
    // the tree's own list, else asked of the tree into `asked`); their rows, returning how many.
    void ShowListedFolderPath(HTREEITEM item);
    const std::vector<FolderNode*>& SubfoldersOf(HTREEITEM item, std::vector<FolderNode*>& asked);
    int InsertFolderRows(CListCtrl& list, const std::vector<FolderNode*>& children, bool deleted);

    CSearchSession& m_dialog;
    const Hooks m_hooks;
    CTreeClass& m_resultTree;
    CHideColumn& m_list;
    FoundStore& m_store;
    std::atomic<bool>& m_resultsPresent;
    const int m_folderCountLabel, m_pathLabel;
    StopFlag m_listingStop{ 0 };
    // The folder the listing worker fills: set before the worker starts and left alone until it
    // has ended, so that the worker never reads what the dialog's thread changes meanwhile
    // (LastPopulatedItem is the dialog's).
    HTREEITEM m_workerItem = nullptr;
    std::atomic<uint64_t> m_folderCount{ 0 }, m_fileCount{ 0 };
    // The files the file list shows, by the rows' item data (index + 1).
    std::vector<FoundFileRef> m_listedFiles;
    // The children of the folder listed last (m_listedFoldersOf), so that a folder row's cell is
    // checked in one look-up: a walk over the siblings per row made leaving a folder of many
    // subfolders cost folders x rows.
    std::unordered_set<HTREEITEM> m_listedFolders;
    HTREEITEM m_listedFoldersOf = nullptr;
    std::unique_ptr<CPopulate> m_populateDlg;
    CWinThread* m_listingWorker = nullptr;
    bool m_endingListing = false; // EndListing waits for the listing worker
};

// RowOpener: opening a row of a file-system search's file list. A folder row lists its folder; a
// file row is written into the temporary folder by a worker, behind a notice, and only when that
// succeeded handed to the shell by the dialog's thread. The dialog holds one and hands it the
// worker's three messages; the rows are its listing's.
#pragma once
#include <atomic>
#include <memory>

#include "app/searchsession.h"
#include "fsrecovery/file_copy.h"
#include "fsrecovery/folder_listing.h"
#include "fsrecovery/pure/found_store.h"

class CSavingFilesDlg;

class RowOpener {
public:
    // The worker's messages to the dialog: a folder row to list (sent), a file about to be written
    // (sent, LPARAM the file), the worker's end (posted).
    static constexpr UINT kMsgFolderRow = WM_APP + 0x242;
    static constexpr UINT kMsgBegin = WM_APP + 0x243;
    static constexpr UINT kMsgEnded = WM_APP + 0x244;

    // `folderCountLabel`: the dialog's "%llu Folders, %llu Files" text (0: none).
    RowOpener(CSearchSession& dialog, FolderListing& rows, CTreeClass& resultTree, FoundStore& store,
              int folderCountLabel);
    ~RowOpener();
    RowOpener(const RowOpener&) = delete;
    RowOpener& operator=(const RowOpener&) = delete;

    // Starts the worker for the first selected row unless one runs already.
    void OpenSelected();
    bool Running() const { return m_worker.load() != nullptr; }
    // The worker while its procedure runs (it clears this as it ends); null otherwise.
    CWinThread* Thread() const { return m_thread; }
    // The number the next temporary name of an opened file starts from.
    int32_t FileCounter() const { return m_fileCounter; }
    // Asks a running open to stop and waits for it; nothing is opened.
    void Stop();

    // The dialog's handlers of the three messages.
    LRESULT OnFolderRow(WPARAM row);
    LRESULT OnBegin(LPARAM file);
    LRESULT OnEnded();

private:
    static UINT WorkerProc(LPVOID param);
    // The worker's part (on its thread): a folder row selects its results-tree item, whose
    // listing follows; a file row is written into the temporary folder.
    void OpenFirstSelectedRow();
    // Waits for the worker, deletes it and ends the "opening" state; returns the path of the file
    // it wrote (empty when none). Nothing to do when no worker was started.
    CString EndWorker();

    CSearchSession& m_dialog;
    FolderListing& m_rows;
    CTreeClass& m_resultTree;
    FoundStore& m_store;
    const int m_folderCountLabel;
    // The worker's object (deleted by EndWorker).
    std::atomic<CWinThread*> m_worker{ nullptr };
    // Set as the worker starts, cleared by its procedure as it ends: a second open waits for
    // both this and m_worker.
    CWinThread* m_thread = nullptr;
    // The notice while a file is written, and the file it wrote.
    std::unique_ptr<CSavingFilesDlg> m_notice;
    // The open's stop (set by Stop and the notice's Cancel) and the number of the next temporary
    // name: every open of this dialog gets a fresh one.
    WriteState m_write;
    int32_t m_fileCounter = 0;
    CString m_openedPath;
    bool m_busy = false;
    HCURSOR m_cursorBefore = nullptr;
};

// Opening a row of the file list (fsrecovery/open_row.h).
#include "fsrecovery/open_row.h"

#include "app/pure/textservices.h"
#include "app/questions.h"
#include "app/shellservices.h"
#include "fsrecovery/pure/open_row.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"

RowOpener::RowOpener(CSearchSession& dialog, FolderListing& rows, CTreeClass& resultTree, FoundStore& store,
                     int folderCountLabel)
    : m_dialog(dialog), m_rows(rows), m_resultTree(resultTree), m_store(store), m_folderCountLabel(folderCountLabel)
{ }

RowOpener::~RowOpener() = default;

UINT RowOpener::WorkerProc(LPVOID param)
{
    auto* opener = static_cast<RowOpener*>(param);
    opener->m_rows.ResetFolderCounts();
    if (opener->m_dialog.Page() > 0)
        opener->OpenFirstSelectedRow();
    opener->m_thread = nullptr;
    // The dialog's thread takes this thread's object, ends the "opening" state and hands a
    // written file to the shell.
    ::PostMessageW(opener->m_dialog.GetSafeHwnd(), kMsgEnded, 0, 0);
    return 0;
}

void RowOpener::OpenSelected()
{
    CListCtrl& list = m_rows.List();
    if (m_dialog.Page() < 1 || m_thread != nullptr || m_worker.load() != nullptr)
        return;
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || ClassifyOpenRowType(list.GetItemText(row, 1)) == OpenRowKind::None)
        return;
    m_openedPath.Empty();
    // A stop of an earlier open is not this one's; a stop from here on is.
    m_write.stop = 0;
    // The ended message is handled on this thread, so it always finds the worker stored.
    m_worker = ZrBeginThreadInto(m_thread, WorkerProc, this);
}

void RowOpener::OpenFirstSelectedRow()
{
    CListCtrl& list = m_rows.List();
    const CString countText = m_rows.FolderCountText();
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    const HWND dialog = m_dialog.GetSafeHwnd();
    const OpenRowKind kind = ClassifyOpenRowType(list.GetItemText(row, 1));
    if (kind == OpenRowKind::Folder) {
        if (m_folderCountLabel != 0)
            m_dialog.SetDlgItemText(m_folderCountLabel, countText);
        ::SendMessageW(dialog, kMsgFolderRow, WPARAM(row), 0);
        return;
    }
    FoundFileRef file;
    if (kind != OpenRowKind::File || !m_rows.FileOfRow(row, file))
        return;
    const FoundVolume& volume = m_store.Volume(file.volume);
    const bool writable = file.ntfs ? volume.kind == FsKind::Ntfs : IsFat(volume.kind);
    if (volume.params.sectorsPerCluster == 0 || !writable)
        return;
    ::SendMessageW(dialog, kMsgBegin, 0, LPARAM(&file));
    // Empty unless the whole file was written: a failed or cancelled write is never opened.
    m_write.host = m_dialog.Host();
    m_openedPath = WriteFoundFileForViewing(volume, file, m_fileCounter, m_write);
}

LRESULT RowOpener::OnFolderRow(WPARAM row)
{
    const HTREEITEM item = m_rows.FolderRowItem(m_resultTree.GetSelectedItem(), int(row));
    if (item != nullptr)
        m_resultTree.Select(item, TVGN_CARET); // its selection handler lists the folder
    return 0;
}

LRESULT RowOpener::OnBegin(LPARAM param)
{
    const FoundFileRef& file = *reinterpret_cast<const FoundFileRef*>(param);
    m_cursorBefore = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    auto notice = std::make_unique<CSavingFilesDlg>(&m_dialog, &m_write);
    if (notice->Create()) {
        // Three lines: the name, what is being done and a word of patience. The bars and the
        // file count belong to saving; the bytes line is widened to carry the third text.
        for (int id : { IDC_SAVE_BYTES_BAR, IDC_SAVE_FILES_BAR, IDC_SAVE_FILES })
            if (CWnd* control = notice->GetDlgItem(id))
                control->ShowWindow(SW_HIDE);
        CRect line(10, 44, 290, 53);
        notice->MapDialogRect(&line);
        if (CWnd* third = notice->GetDlgItem(IDC_SAVE_BYTES))
            third->MoveWindow(&line);
        notice->SetDlgItemText(IDC_SAVE_NAME, file.name);
        notice->SetDlgItemText(IDC_SAVE_PATH, L"Opening File : " + FormatSize(file.size));
        notice->SetDlgItemText(IDC_SAVE_BYTES, L"This may take a while, Please wait...");
        notice->CenterWindow(&m_dialog);
        notice->ShowWindow(SW_SHOW);
        notice->EnableWindow(TRUE);
        notice->SetForegroundWindow();
        m_notice = std::move(notice);
    }
    m_dialog.EnableWindow(FALSE);
    m_busy = true;
    return 0;
}

LRESULT RowOpener::OnEnded()
{
    const CString path = EndWorker();
    if (!path.IsEmpty())
        OpenWithShell(kShellOpenFile, path, &m_dialog);
    return 0;
}

CString RowOpener::EndWorker()
{
    CWinThread* worker = m_worker.exchange(nullptr);
    if (worker == nullptr)
        return CString();
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (m_notice) {
        if (m_notice->GetSafeHwnd() != nullptr)
            m_notice->DestroyWindow();
        m_notice.reset();
    }
    if (m_busy) {
        m_busy = false;
        ::SetCursor(m_cursorBefore);
        m_dialog.EnableWindow(TRUE);
        m_rows.List().Invalidate();
    }
    const CString path = m_openedPath;
    m_openedPath.Empty();
    return path;
}

void RowOpener::Stop()
{
    if (m_worker.load() == nullptr)
        return;
    // A long copy ends after its block; what was cut short is not opened.
    m_write.stop = 1;
    EndWorker();
}

// Opening a row of the Basic Search file list, and the mouse and keyboard commands of the file
// list and the results tree: double click, the right-click menus, Ctrl+A and the focus rule.
#include <memory>

#include "app/basicsave.h"
#include "app/basicsearch.h"
#include "app/maindlg.h"
#include "app/pure/open_row.h"
#include "app/pure/textservices.h"
#include "app/questions.h"
#include "app/shellservices.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/fsglobals.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

// Commands of the file list's menu and of the results tree's.
enum : UINT { kMenuOpen = 1, kMenuSave = 3, kMenuSaveAll = 4, kMenuTreeSave = 1 };

PopupMenuPicker g_menuPicker = nullptr;

// The chosen command of a popup menu shown at the cursor; 0 when it was dismissed.
UINT ChooseFromMenu(CWnd* owner, CMenu& menu)
{
    if (g_menuPicker != nullptr)
        return g_menuPicker(menu);
    POINT at{};
    ::GetCursorPos(&at);
    // Without this the menu would not close when the user clicks elsewhere.
    owner->SetForegroundWindow();
    return UINT(menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, owner));
}

bool IsWriterVolume(const CString& type)
{
    return type == L"FAT32" || type == L"FAT16" || type == L"NTFS";
}

} // namespace

void SetPopupMenuPicker(PopupMenuPicker picker)
{
    g_menuPicker = picker;
}

UINT BasicOpenFilesThreadProc(LPVOID param)
{
    auto* dlg = static_cast<CBasicSearch*>(param);
    SaveAborted = 0;
    FoundFolderCount = 0;
    FoundFileCount = 0;
    if (dlg != nullptr && BasicSearchPage > 0)
        dlg->OpenFirstSelectedRow();
    g_pOpenFilesThread = nullptr;
    // The dialog's thread takes this thread's object, ends the "opening" state and hands a
    // written file to the shell.
    if (dlg != nullptr)
        ::PostMessageW(dlg->GetSafeHwnd(), CBasicSearch::kMsgOpenEnded, 0, 0);
    return 0;
}

// ---- On the dialog's thread ------------------------------------------------------------------

void CBasicSearch::OpenSelectedRow()
{
    if (BasicSearchPage < 1 || g_pOpenFilesThread != nullptr || m_openWorker.load() != nullptr)
        return;
    const int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || ClassifyOpenRowType(m_list.GetItemText(row, 1)) == OpenRowKind::None)
        return;
    m_openedPath.Empty();
    // The ended message is handled on this thread, so it always finds the worker stored.
    m_openWorker = ZrBeginThreadInto(g_pOpenFilesThread, BasicOpenFilesThreadProc, this);
}

LRESULT CBasicSearch::OnOpenFolderRow(WPARAM row, LPARAM)
{
    const HTREEITEM item = FolderRowItem(m_resultTree, m_resultTree.GetSelectedItem(), m_list, int(row));
    if (item != nullptr)
        m_resultTree.Select(item, TVGN_CARET); // its selection handler lists the folder
    return 0;
}

LRESULT CBasicSearch::OnOpenBegin(WPARAM, LPARAM param)
{
    const FoundFileRef& file = *reinterpret_cast<const FoundFileRef*>(param);
    m_cursorBeforeOpen = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    auto notice = std::make_unique<CSavingFilesDlg>(this);
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
        notice->CenterWindow(this);
        notice->ShowWindow(SW_SHOW);
        notice->EnableWindow(TRUE);
        notice->SetForegroundWindow();
        m_openNotice = std::move(notice);
    }
    EnableWindow(FALSE);
    m_openBusy = true;
    return 0;
}

LRESULT CBasicSearch::OnOpenEnded(WPARAM, LPARAM)
{
    const CString path = EndOpenWorker();
    if (!path.IsEmpty())
        OpenWithShell(kShellOpenFile, path, this);
    return 0;
}

CString CBasicSearch::EndOpenWorker()
{
    CWinThread* worker = m_openWorker.exchange(nullptr);
    if (worker == nullptr)
        return CString();
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (m_openNotice) {
        if (m_openNotice->GetSafeHwnd() != nullptr)
            m_openNotice->DestroyWindow();
        m_openNotice.reset();
    }
    if (m_openBusy) {
        m_openBusy = false;
        ::SetCursor(m_cursorBeforeOpen);
        EnableWindow(TRUE);
        m_list.Invalidate();
    }
    const CString path = m_openedPath;
    m_openedPath.Empty();
    return path;
}

void CBasicSearch::StopOpenWorker()
{
    if (m_openWorker.load() == nullptr)
        return;
    // A long copy ends after its block; what was cut short is not opened.
    StopSaving = 1;
    EndOpenWorker();
}

// ---- On the open worker's thread -------------------------------------------------------------

void CBasicSearch::OpenFirstSelectedRow()
{
    const CString countText = FolderCountText();
    const int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    const OpenRowKind kind = ClassifyOpenRowType(m_list.GetItemText(row, 1));
    if (kind == OpenRowKind::Folder) {
        SetDlgItemText(IDC_BS_CURRENT_FOLDER, countText);
        ::SendMessageW(m_hWnd, kMsgOpenFolderRow, WPARAM(row), 0);
        return;
    }
    if (kind != OpenRowKind::File || FatVolumeParams.sectorsPerCluster == 0 ||
        !IsWriterVolume(FatVolumeParams.partitionType))
        return;
    const FoundFileRef file = FileOfListRow(m_list, row);
    ::SendMessageW(m_hWnd, kMsgOpenBegin, 0, LPARAM(&file));
    // Empty unless the whole file was written: a failed or cancelled write is never opened.
    m_openedPath = WriteFoundFileForViewing(file);
}

// ---- Notifications and keys ------------------------------------------------------------------

void CBasicSearch::OnNMDblclkFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (BasicSearchPage >= 1)
        OpenSelectedRow();
}

void CBasicSearch::OnNMRClickFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (BasicSearchPage < 1 || m_list.GetSelectedCount() == 0)
        return;
    CMenu menu;
    if (!menu.CreatePopupMenu())
        return;
    menu.AppendMenu(MF_STRING, kMenuOpen, L"Open");
    menu.AppendMenu(MF_SEPARATOR);
    menu.AppendMenu(MF_STRING, kMenuSave, L"Save");
    menu.AppendMenu(MF_STRING, kMenuSaveAll, L"Save All");
    switch (ChooseFromMenu(this, menu)) {
    case kMenuOpen:
        OpenSelectedRow();
        break;
    case kMenuSave:
        SaveSelectedRows(false);
        break;
    case kMenuSaveAll:
        SaveSelectedRows(true);
        break;
    default:
        break;
    }
}

void CBasicSearch::OnNMSetfocusFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (BasicSearchPage < 1 || m_list.GetItemCount() == 0)
        return;
    int mark = m_list.GetSelectionMark();
    if (mark < 0 || mark >= m_list.GetItemCount()) {
        mark = 0;
        m_list.SetSelectionMark(mark);
    }
    m_list.SetItemState(mark, LVIS_SELECTED, LVIS_SELECTED);
}

void CBasicSearch::OnNMRClickResultTree(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (BasicSearchPage < 1 || m_scanWorker.load() != nullptr)
        return;
    CMenu menu;
    if (!menu.CreatePopupMenu())
        return;
    menu.AppendMenu(MF_STRING, kMenuTreeSave, L"Save");
    if (ChooseFromMenu(this, menu) == kMenuTreeSave)
        OnSaveSelected();
}

bool CBasicSearch::SelectAllOnCtrlA(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != 'A' || (::GetKeyState(VK_CONTROL) & 0x8000) == 0 ||
        BasicSearchPage < 1 || ::GetFocus() != m_list.GetSafeHwnd())
        return false;
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        m_list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    return true;
}

// The questions asked in the middle of a search: a recovered file's name is taken (Replace),
// logical or physical scan of a drive letter, the mode of the lost-partition search, and what to
// do with a removable medium that has no partition table.
#pragma once
#include <atomic>
#include <cstdint>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/smalldialog.h"

// The file-exists question's answers within one save, kept by that save: the policy holds from one
// file to the next, so an answer for all files answers every later file of the same save, and a
// new save starts from none.
struct FileExistsAnswer {
    // Read by the save code for every file it is about to write: 0 overwrite, 1 skip, 2 overwrite
    // all, 3 skip all (with cancelled: stop saving), 4 save under ReplaceFileName, 5 rename this and
    // all further files automatically.
    int32_t FileExistsPolicy = 0;
    // Before the question: the full path that exists; after it: the path the answer chose.
    CString ReplaceFileName;
    // "Cancel": the save stops.
    bool cancelled = false;
};

class Replace : public CSmallDialog {
public:
    explicit Replace(FileExistsAnswer& answer, CWnd* parent = nullptr);

    BOOL m_bApplyToAll = FALSE;
    CString m_strFileName;
    CString m_strNewFileName;
    CColorStatic m_fileLabel, m_newLabel;
    CButton m_applyAll, m_overwrite, m_rename, m_skip, m_cancel;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;     // "Overwrite"
    void OnCancel() override; // "Skip" and the close box
    void OnBnClickedRename();
    void OnBnClickedCancel();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);

    FileExistsAnswer& m_answer;
    DECLARE_MESSAGE_MAP()
};

// Ends with 1 "Perform Logical Scan", 2 "Perform Physical Scan" or 0 "Cancel".
class CLogicalDlg : public CSmallDialog {
public:
    explicit CLogicalDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnLogical() { EndDialog(1); }
    void OnPhysical() { EndDialog(2); }
    void OnCancelScan() { EndDialog(0); }
    HBRUSH OnCtlColor(CDC* dc, CWnd*, UINT ctlColor) { return WhiteStatic(dc, ctlColor); }

    DECLARE_MESSAGE_MAP()
};

class CSmpSel : public CSmallDialog {
public:
    explicit CSmpSel(CWnd* parent = nullptr);

    int m_nMode = 0; // 5 Standard, 10 Advanced; set by "Continue"

protected:
    BOOL OnInitDialog() override;
    void OnStandard();
    void OnAdvanced();
    void OnContinue();
    HBRUSH OnCtlColor(CDC* dc, CWnd*, UINT ctlColor) { return WhiteStatic(dc, ctlColor); }

    CMyBtn m_continue, m_cancel;
    DECLARE_MESSAGE_MAP()
};

// IDOK "Search Entire Drive as a single Partition", IDCANCEL "OK, Go Back" or the close box.
class CRem_Media_Scan : public CSmallDialog {
public:
    explicit CRem_Media_Scan(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(CDC* dc, CWnd*, UINT ctlColor) { return WhiteStatic(dc, ctlColor); }

    CMyBtn m_entireDrive, m_goBack;
    DECLARE_MESSAGE_MAP()
};

// Run the questions modally on the calling thread. ShowSmpSelDialog also sets SmpSelMode, the
// lost-partition search's mode (5 Standard, 10 Advanced, 0 when cancelled).
// The file-exists question about answer.ReplaceFileName, its answer written into `answer`, restores
// its owner first, or without one `shownInstead` (the launcher), so that it is never asked of a
// minimised window.
INT_PTR ShowReplaceDialog(FileExistsAnswer& answer, CWnd* owner, CWnd* shownInstead = nullptr);
INT_PTR ShowLogicalDialog(CWnd* owner);
INT_PTR ShowSmpSelDialog(CWnd* owner);

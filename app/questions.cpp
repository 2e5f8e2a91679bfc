#include "app/questions.h"

#include "app/searchhost.h"
#include "app/pure/rename_rule.h"
#include "app/pure/shell_rules.h"
#include "app/startup.h"
#include "resource.h"
#include "app/devicetree.h"

namespace {

bool PathExists(const CString& path)
{
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

const wchar_t* const kLogicalScanText =
    L"When a disk partition is scanned for data recovery on the basis of logical drive, few additional drive "
    L"parameters are also required to scan. This may take some additional time to complete the scanning. "
    L"Scanning the Logical Drive of a disk or Partition is best when you need to recover data from dynamic "
    L"Partition volumes (such as spanned, striped, mirrored, and RAID-5 volumes etc.). However, Dynamic Drives "
    L"are Rarely used in General purpose Computers.\n\nIf your disk is not partitioned for Dynamic Drives, you "
    L"can save scanning time by selecting the Same Drive as Physical Partition under Physical Drives list.\n\n"
    L"To continue scanning the selected Logical Drive click \x2018Perform Logical Scan\x2019 or to scan the "
    L"Physical Partition area of the selected logical Drive, click on \x2018Perform Physical Scan\x2019.";

const wchar_t* const kSmpSelText =
    L"\x2018Standard Mode\x2019 is quick and searches the lost or deleted partitions in the drive on the basis of "
    L"fundamental partition parameters.\n\n\x2018"
    L"Advanced Mode\x2019 thoroughly scans even the omitted "
    L"locations of Drive storage in order to find missing or deleted partitions. \x2018"
    L"Advanced Mode\x2019 "
    L"search may be slower than \x2018Standard Mode\x2019 search but recover missing partitions even in "
    L"exception cases of data loss.";

const wchar_t* const kRemMediaText =
    L"Please select the Partition to start searching for lost data or use search more partitions option to "
    L"find the missing or deleted partitions.\n\nBesides this, you can also use the advanced search mode of "
    L"Zembrolix - Recovery to select Entire Drive or Custom Disk Range or even cross File System selection to "
    L"search the missing data.";

const wchar_t* const kNameTakenText =
    L"A file with this name already exists in the destination folder. Please type another name.";

} // namespace

// ---- Replace ---------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(Replace, CSmallDialog)
    ON_BN_CLICKED(IDC_RPL_RENAME, &Replace::OnBnClickedRename)
    ON_BN_CLICKED(IDC_RPL_CANCEL, &Replace::OnBnClickedCancel)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &Replace::OnHelpIgnored)
END_MESSAGE_MAP()

Replace::Replace(FileExistsAnswer& answer, CWnd* parent)
    : CSmallDialog(IDD_REPLACE_DIALOG, parent, ZrKeyFilter::NoEnterNoEscape), m_answer(answer)
{ }

void Replace::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RPL_FILE_LABEL, m_fileLabel);
    DDX_Control(pDX, IDC_RPL_NEW_LABEL, m_newLabel);
    DDX_Control(pDX, IDC_RPL_APPLY_ALL, m_applyAll);
    DDX_Control(pDX, IDC_RPL_CANCEL, m_cancel);
    DDX_Control(pDX, IDC_RPL_RENAME, m_rename);
    DDX_Control(pDX, IDOK, m_overwrite);
    DDX_Control(pDX, IDCANCEL, m_skip);
    DDX_Check(pDX, IDC_RPL_APPLY_ALL, m_bApplyToAll);
    DDX_Text(pDX, IDC_RPL_FILE, m_strFileName);
    DDX_Text(pDX, IDC_RPL_NEW_FILE, m_strNewFileName);
}

BOOL Replace::OnInitDialog()
{
    m_strFileName = m_answer.ReplaceFileName;
    // A bounded search: when every number is taken the box stays empty for the user to fill.
    m_strNewFileName = FirstFreeRenameCandidate(m_strFileName, PathExists);
    CSmallDialog::OnInitDialog(); // shows both boxes
    m_fileLabel.SetBkColor(RGB(0xCB, 0xCB, 0xCB));
    m_newLabel.SetBkColor(RGB(0xCB, 0xCB, 0xCB));
    return TRUE;
}

void Replace::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    m_answer.FileExistsPolicy = m_bApplyToAll ? 2 : 0;
    m_answer.ReplaceFileName = m_strFileName;
    EndDialog(IDOK);
}

void Replace::OnBnClickedRename()
{
    if (!UpdateData(TRUE))
        return;
    // The typed name is tested again: "Rename" must never write over another existing file.
    CString typed = m_strNewFileName;
    typed.Trim();
    if (typed.IsEmpty() || PathExists(m_strNewFileName)) {
        ZrMessageBox(m_hWnd, kNameTakenText, kProductTitle, MB_OK | MB_ICONINFORMATION);
        if (CWnd* box = GetDlgItem(IDC_RPL_NEW_FILE))
            GotoDlgCtrl(box);
        return;
    }
    m_answer.FileExistsPolicy = m_bApplyToAll ? 5 : 4;
    m_answer.ReplaceFileName = m_strNewFileName;
    EndDialog(IDOK);
}

void Replace::OnCancel()
{
    UpdateData(TRUE);
    m_answer.FileExistsPolicy = m_bApplyToAll ? 3 : 1;
    EndDialog(IDCANCEL);
}

void Replace::OnBnClickedCancel()
{
    UpdateData(TRUE);
    m_answer.FileExistsPolicy = 3;
    m_answer.cancelled = true;
    EndDialog(IDCANCEL);
}

HBRUSH Replace::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    const int id = wnd ? wnd->GetDlgCtrlID() : 0;
    if (id == IDC_RPL_FILE_LABEL || id == IDC_RPL_NEW_LABEL || id == IDC_RPL_APPLY_LABEL)
        return WhiteStatic(dc, ctlColor);
    return (HBRUSH)Default();
}

// ---- Logical or physical -----------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CLogicalDlg, CSmallDialog)
    ON_BN_CLICKED(IDC_LOG_LOGICAL, &CLogicalDlg::OnLogical)
    ON_BN_CLICKED(IDC_LOG_PHYSICAL, &CLogicalDlg::OnPhysical)
    ON_BN_CLICKED(IDC_LOG_CANCEL, &CLogicalDlg::OnCancelScan)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CLogicalDlg::OnHelpIgnored)
END_MESSAGE_MAP()

CLogicalDlg::CLogicalDlg(CWnd* parent) : CSmallDialog(IDD_LOGICAL_SCAN_DIALOG, parent, ZrKeyFilter::NoEnterNoEscape) { }

BOOL CLogicalDlg::OnInitDialog()
{
    CSmallDialog::OnInitDialog();
    if (CWnd* headline = GetDlgItem(IDC_QUESTION_HEADLINE)) {
        headline->SetFont(&SharedGdi.FontArial16Bold);
        const SearchHost* host = GetSearchHost();
        CString path = host != nullptr ? host->LogicalDrivePath : CString();
        path.Trim();
        if (!path.IsEmpty()) {
            CString drive = path.Right(2);
            drive.Trim();
            headline->SetWindowText(L"You have selected a Logical Partition ( " + drive + L" ) to recover data.");
        }
    }
    SetDlgItemText(IDC_QUESTION_TEXT, kLogicalScanText);
    return TRUE;
}

// ---- Partition-search mode -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSmpSel, CSmallDialog)
    ON_BN_CLICKED(IDC_SMP_STANDARD, &CSmpSel::OnStandard)
    ON_BN_CLICKED(IDC_SMP_ADVANCED, &CSmpSel::OnAdvanced)
    ON_BN_CLICKED(IDC_SMP_CONTINUE, &CSmpSel::OnContinue)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CSmpSel::OnHelpIgnored)
END_MESSAGE_MAP()

CSmpSel::CSmpSel(CWnd* parent) : CSmallDialog(IDD_SMP_SEL_DIALOG, parent, ZrKeyFilter::NoEnterNoEscape) { }

BOOL CSmpSel::OnInitDialog()
{
    CSmallDialog::OnInitDialog();
    OnStandard();
    if (CWnd* headline = GetDlgItem(IDC_QUESTION_HEADLINE))
        headline->SetFont(&SharedGdi.FontArial16Bold);
    SetDlgItemText(IDC_QUESTION_TEXT, kSmpSelText);
    MakeIconButton(m_continue, IDC_SMP_CONTINUE, IDI_OK);
    MakeIconButton(m_cancel, IDCANCEL, IDI_EXIT);
    return TRUE;
}

void CSmpSel::OnStandard()
{
    CheckDlgButton(IDC_SMP_STANDARD, BST_CHECKED);
    CheckDlgButton(IDC_SMP_ADVANCED, BST_UNCHECKED);
}

void CSmpSel::OnAdvanced()
{
    CheckDlgButton(IDC_SMP_STANDARD, BST_UNCHECKED);
    CheckDlgButton(IDC_SMP_ADVANCED, BST_CHECKED);
}

void CSmpSel::OnContinue()
{
    if (IsDlgButtonChecked(IDC_SMP_STANDARD))
        m_nMode = 5;
    else if (IsDlgButtonChecked(IDC_SMP_ADVANCED))
        m_nMode = 10;
    EndDialog(IDOK);
}

// ---- Removable medium without a partition table -----------------------------------------------

BEGIN_MESSAGE_MAP(CRem_Media_Scan, CSmallDialog)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CRem_Media_Scan::OnHelpIgnored)
END_MESSAGE_MAP()

CRem_Media_Scan::CRem_Media_Scan(CWnd* parent)
    : CSmallDialog(IDD_REM_MEDIA_DIALOG, parent, ZrKeyFilter::NoEnterNoEscape)
{ }

BOOL CRem_Media_Scan::OnInitDialog()
{
    CSmallDialog::OnInitDialog();
    SetDlgItemText(IDC_QUESTION_TEXT, kRemMediaText);
    MakeIconButton(m_entireDrive, IDOK, IDI_ENTIRE_DRIVE);
    MakeIconButton(m_goBack, IDCANCEL, IDI_OK);
    return TRUE;
}

// ---- Runners ------------------------------------------------------------------------------------

INT_PTR ShowReplaceDialog(FileExistsAnswer& answer, CWnd* owner, CWnd* shownInstead)
{
    // A question asked of a minimised window would wait unseen.
    CWnd* shown = owner != nullptr ? owner : shownInstead;
    if (shown != nullptr && shown->GetSafeHwnd() != nullptr)
        shown->ShowWindow(SW_RESTORE);
    Replace dlg(answer, owner);
    return dlg.DoModal();
}

INT_PTR ShowLogicalDialog(CWnd* owner)
{
    CLogicalDlg dlg(owner);
    return dlg.DoModal();
}

INT_PTR ShowSmpSelDialog(CWnd* owner)
{
    SmpSelMode = 0;
    CSmpSel dlg(owner);
    INT_PTR result = dlg.DoModal();
    if (result == IDOK)
        SmpSelMode = dlg.m_nMode;
    return result;
}

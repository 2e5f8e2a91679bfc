#include "sigrecovery/sigsearch.h"

#include "app/searchhost.h"
#include "app/shellservices.h"
#include "resources/resource.h"
#include "sigrecovery/photosearch.h"
#include "sigrecovery/sigfiles.h"

namespace {

// The summary list's columns; those after "No. of files found" are hidden.
enum SummaryColumn : int {
    kTypeColumn,
    kCountColumn,
    kNameColumn,
    kPathColumn,
    kLastNumberColumn,
    kPassCountColumn,
    kFolderColumn,
    kIconColumn,
    kSummaryColumns
};

SearchDialogLayout MakeLayout(CarveSearchKind kind)
{
    const bool video = kind == CarveSearchKind::Video;
    SearchDialogLayout l = CarveSearchLayout(kind);
    l.templateId = video ? IDD_VIDEO_SEARCH : IDD_SIGNATURE_SEARCH;
    l.driveTree = IDC_SS_DRIVE_TREE;
    l.detailList = IDC_SS_DETAIL_LIST;
    l.progress = IDC_SS_SCAN_PROGRESS;
    l.panel = IDC_SS_PANEL;
    l.back = IDC_SS_BACK;
    l.next = IDC_SS_NEXT;
    l.refresh = IDC_SS_REFRESH;
    l.stop = IDC_SS_STOP;
    l.morePartitions = IDC_SS_MORE_PARTITIONS;
    l.stopPartitions = IDC_SS_STOP_PARTITIONS;
    l.partitionLabel = IDC_SS_PS_LABEL;
    l.partitionProgress = IDC_SS_PS_PROGRESS;
    l.shareButton = IDC_SS_SHARE_BUTTON;
    l.resultControls = { IDC_SS_SCAN_PROGRESS, IDC_SS_PASS_TEXT, IDC_SS_CURRENT, IDC_SS_SCANNED_OF, IDC_SS_STOP };
    l.partitionLocked = { IDC_SS_REFRESH, IDC_RANGE_SLIDER, IDC_RANGE_START, IDC_RANGE_END };
    l.iconButtons = {
        { IDC_SS_MORE_PARTITIONS, IDI_ENTIRE_DRIVE },
        { IDC_SS_STOP_PARTITIONS, IDI_STOP },
        { IDC_SS_BACK, IDI_BACK },
        { IDC_SS_NEXT, IDI_NEXT },
        { IDC_SS_STOP, IDI_STOP },
        { IDC_SS_OPEN_FOLDER, IDI_OPEN_FOLDER },
        { IDC_SS_BROWSE, IDI_BROWSE },
        { IDC_SS_REFRESH, IDI_REFRESH },
        { IDC_SS_CHECK_ALL, IDI_OK },
        { IDC_SS_UNCHECK_ALL, IDI_EXIT },
        { IDC_SS_NEED_HELP, IDI_HELP },
        { IDC_RANGE_HELP, IDI_HELP },
        { IDC_CONTACT_US, IDI_CONTACT },
        { IDC_ABOUT_US, IDI_ABOUT },
    };
    return l;
}

const SearchDialogLayout& LayoutOf(CarveSearchKind kind)
{
    static const SearchDialogLayout signature = MakeLayout(CarveSearchKind::Signature);
    static const SearchDialogLayout video = MakeLayout(CarveSearchKind::Video);
    return kind == CarveSearchKind::Video ? video : signature;
}

const CarveDialogLayout& CarveLayoutOfSignature()
{
    static const CarveDialogLayout layout = [] {
        CarveDialogLayout l;
        l.summary = IDC_SS_SELECTION;
        l.thorough = IDC_SS_THOROUGH;
        l.optionText = IDC_SS_OPTION_TEXT;
        l.destination = IDC_SS_DEST;
        l.hint = IDC_SS_HINT;
        l.openFolder = IDC_SS_OPEN_FOLDER;
        l.currentSector = IDC_SS_CURRENT;
        l.scannedOf = IDC_SS_SCANNED_OF;
        l.passText = IDC_SS_PASS_TEXT;
        l.clearNote = IDC_SS_CLEAR_NOTE;
        l.optionsStep = { IDC_SS_TYPE_LIST,      IDC_SS_CHECK_ALL,    IDC_SS_UNCHECK_ALL, IDC_SS_THOROUGH,
                          IDC_SS_THOROUGH_LABEL, IDC_SS_OPTION_GROUP, IDC_SS_OPTION_TEXT, IDC_SS_DEST_LABEL,
                          IDC_SS_DEST,           IDC_SS_BROWSE,       IDC_SS_DEST_FRAME,  IDC_SS_SELECTION };
        l.driveStep = { IDC_SS_REFRESH, IDC_SS_MORE_PARTITIONS };
        return l;
    }();
    return layout;
}

std::wstring KeyOf(const CString& text)
{
    CString key = text;
    key.Trim();
    key.MakeUpper();
    return std::wstring(key.GetString());
}

void RunPhotoSearch(SearchHost* host)
{
    CRawSearch dlg(host);
    dlg.DoModal();
}

void RunSignatureSearch(SearchHost* host)
{
    CSigDuplicate dlg(CarveSearchKind::Signature, host);
    dlg.DoModal();
}

void RunVideoSearch(SearchHost* host)
{
    CSigDuplicate dlg(CarveSearchKind::Video, host);
    dlg.DoModal();
}

} // namespace

void RegisterCarveSearchDialogs()
{
    RegisterSearchDialog(kModePhoto, RunPhotoSearch);
    RegisterSearchDialog(kModeSignature, RunSignatureSearch);
    RegisterSearchDialog(kModeVideo, RunVideoSearch);
}

BEGIN_MESSAGE_MAP(CSigDuplicate, CCarveSession)
    ON_BN_CLICKED(IDC_SS_NEXT, &CSigDuplicate::OnBnClickedNext)
    ON_BN_CLICKED(IDC_SS_BACK, &CSigDuplicate::OnBnClickedBack)
    ON_BN_CLICKED(IDC_SS_STOP, &CSigDuplicate::OnBnClickedStop)
    ON_BN_CLICKED(IDC_SS_BROWSE, &CSigDuplicate::OnBnClickedBrowse)
    ON_BN_CLICKED(IDC_SS_OPEN_FOLDER, &CSigDuplicate::OnBnClickedOpenFolder)
    ON_BN_CLICKED(IDC_SS_REFRESH, &CSigDuplicate::OnBnClickedRefreshTree)
    ON_BN_CLICKED(IDC_SS_MORE_PARTITIONS, &CSigDuplicate::OnBnClickedSearchMorePartitions)
    ON_BN_CLICKED(IDC_SS_STOP_PARTITIONS, &CSigDuplicate::OnBnClickedStopSearchingPartitions)
    ON_BN_CLICKED(IDC_SS_CHECK_ALL, &CSigDuplicate::OnBnClickedCheckAll)
    ON_BN_CLICKED(IDC_SS_UNCHECK_ALL, &CSigDuplicate::OnBnClickedUncheckAll)
    ON_BN_CLICKED(IDC_SS_NEED_HELP, &CSigDuplicate::OnBnClickedNeedHelp)
    ON_BN_CLICKED(IDC_SS_SHARE_BUTTON, &CSigDuplicate::OnBnClickedShareOnSocialMedia)
    ON_STN_CLICKED(IDC_CONTACT_LABEL, &CSigDuplicate::OnBnClickedContactUs)
    ON_NOTIFY(NM_DBLCLK, IDC_SS_RESULTS, &CSigDuplicate::OnNMDblclkResults)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_SS_DETAIL_LIST, IDC_SS_DETAIL_LIST, &CSigDuplicate::OnNMSetfocusList)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_SS_SELECTION, IDC_SS_SELECTION, &CSigDuplicate::OnNMSetfocusList)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_SS_SUMMARY, IDC_SS_SUMMARY, &CSigDuplicate::OnNMSetfocusList)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_SS_TYPE_LIST, IDC_SS_TYPE_LIST, &CSigDuplicate::OnNMSetfocusList)
END_MESSAGE_MAP()

CSigDuplicate::CSigDuplicate(CarveSearchKind kind, SearchHost* host)
    : CCarveSession(LayoutOf(kind), CarveLayoutOfSignature(), kind, host)
{
}

CSigDuplicate::~CSigDuplicate() = default;

BOOL CSigDuplicate::OnInitDialog()
{
    CCarveSession::OnInitDialog();
    m_summary.InsertColumn(0, L"Name", LVCFMT_LEFT, 200);
    m_summary.InsertColumn(1, L"Value", LVCFMT_LEFT, 210);
    m_summary.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);

    m_typeList.SubclassDlgItem(IDC_SS_TYPE_LIST, this);
    m_typeList.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    m_typeList.InsertColumn(0, L"Extension", LVCFMT_LEFT, 100);
    m_typeList.InsertColumn(1, L"Description", LVCFMT_LEFT, 240);

    m_counts.SubclassDlgItem(IDC_SS_SUMMARY, this);
    m_counts.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    static const wchar_t* const kTitles[kSummaryColumns] = { L"File Types",   L"No. of files found",
                                                             L"Name of file", L"Path of file saved",
                                                             L"LastfileNo",   L"Count",
                                                             L"FolderName",   L"ICON_INDX" };
    for (int c = 0; c < kSummaryColumns; ++c) {
        const int width = c == kTypeColumn ? 60 : c == kCountColumn ? Info().countColumnWidth : 0;
        m_counts.InsertColumn(c, kTitles[c], LVCFMT_LEFT, width);
    }
    for (int c = kNameColumn; c < kSummaryColumns; ++c)
        m_counts.ShowColumn(c, FALSE);
    m_counts.SetColumnWidth(kCountColumn, LVSCW_AUTOSIZE_USEHEADER);
    m_counts.FitColumnToTitle(kTypeColumn);
    m_counts.FitColumnToTitle(kCountColumn);

    m_results.SubclassDlgItem(IDC_SS_RESULTS, this);
    m_results.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_results.InsertColumn(0, L"Name", LVCFMT_LEFT, 300);
    CSystemImageList::AddRef();
    m_imageListHeld = true;
    m_results.SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    return TRUE;
}

void CSigDuplicate::OnDestroyControls()
{
    if (m_imageListHeld) {
        m_results.SetImageList(nullptr, LVSIL_SMALL);
        CSystemImageList::Release();
        m_imageListHeld = false;
    }
}

// ---- The type list --------------------------------------------------------------------------------

void CSigDuplicate::FillFileTypeList(const CString& firstPath, const CString& secondPath, int firstRow)
{
    int row = firstRow;
    for (const FileTypeRow& type : ReadFileTypeRows(firstPath, secondPath)) {
        LVFINDINFOW find{};
        find.flags = LVFI_STRING;
        find.psz = type.key;
        if (m_typeList.SendMessage(LVM_FINDITEMW, WPARAM(-1), LPARAM(&find)) >= 0)
            continue;
        CString key = type.key;
        key.MakeUpper();
        const int at = m_typeList.InsertItem(row++, key);
        m_typeList.SetItemText(at, 1, type.description);
        m_typeList.SetCheck(at, TRUE);
    }
}

std::vector<FileType1> CSigDuplicate::LoadSignatureFile(const CString& fileName)
{
    return ReadTickedSignatures(fileName, [this](const CString& key) {
        const auto tick = m_ticks.find(KeyOf(key));
        return tick == m_ticks.end() || tick->second;
    });
}

void CSigDuplicate::OnBnClickedCheckAll()
{
    for (int row = 0; row < m_typeList.GetItemCount(); ++row)
        m_typeList.SetCheck(row, TRUE);
}

void CSigDuplicate::OnBnClickedUncheckAll()
{
    for (int row = 0; row < m_typeList.GetItemCount(); ++row)
        m_typeList.SetCheck(row, FALSE);
}

// ---- The options step -----------------------------------------------------------------------------

void CSigDuplicate::ShowOptionsControls(bool firstTime)
{
    if (firstTime) {
        m_typeList.DeleteAllItems();
        FillFileTypeList(DataFilePath(Info().generalFile), DataFilePath(Info().thoroughFile), 0);
        m_typeList.SortColumn(0, TRUE);
    }
    m_typeList.SetFocus();
}

void CSigDuplicate::HideOptionsControls(bool toDriveStep)
{
    if (toDriveStep)
        m_typeList.DeleteAllItems();
}

bool CSigDuplicate::ReadScanOptions()
{
    m_ticks.clear();
    bool anyTicked = false;
    for (int row = 0; row < m_typeList.GetItemCount(); ++row) {
        const bool ticked = m_typeList.GetCheck(row) != FALSE;
        m_ticks[KeyOf(m_typeList.GetItemText(row, 0))] = ticked;
        anyTicked = anyTicked || ticked;
    }
    if (!anyTicked) {
        ZrMessageBox(m_hWnd, kCarveNoTypeTickedText, L"Message", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    // The General records now: a data file that cannot be read ends the program here, before the
    // scan starts.
    m_generalSignatures = LoadSignatureFile(Info().generalFile);
    return true;
}

std::vector<CString> CSigDuplicate::CountedTypes()
{
    std::vector<CString> keys;
    for (int row = 0; row < m_typeList.GetItemCount(); ++row)
        if (m_typeList.GetCheck(row))
            keys.push_back(CString(KeyOf(m_typeList.GetItemText(row, 0)).c_str()));
    return keys;
}

std::vector<FileType1> CSigDuplicate::SignaturesForPass(bool thorough)
{
    return thorough ? LoadSignatureFile(Info().thoroughFile) : m_generalSignatures;
}

// ---- The scan step --------------------------------------------------------------------------------

void CSigDuplicate::ShowScanLists()
{
    m_counts.DeleteAllItems();
    int row = 0;
    for (const CarveResults::TypeRow& type : Results().TypeRows()) {
        m_counts.InsertItem(row, type.key);
        for (int c : { kCountColumn, kLastNumberColumn, kPassCountColumn })
            m_counts.SetItemText(row, c, L"0");
        m_counts.SetItemText(row++, kFolderColumn, type.key);
    }
    m_results.DeleteAllItems();
    m_results.ShowWindow(SW_SHOW);
    m_counts.ShowWindow(SW_SHOW);
    m_counts.SetFocus();
}

void CSigDuplicate::HideScanLists()
{
    m_counts.DeleteAllItems();
    m_results.DeleteAllItems();
    m_counts.ShowWindow(SW_HIDE);
    m_results.ShowWindow(SW_HIDE);
}

void CSigDuplicate::OnPassStarting(bool thorough)
{
    if (!thorough)
        return;
    for (int row = 0; row < m_counts.GetItemCount(); ++row) {
        m_counts.SetItemText(row, kPassCountColumn, L"0");
        m_counts.SetItemText(row, kFolderColumn, m_counts.GetItemText(row, kTypeColumn));
    }
}

void CSigDuplicate::ShowFound(const CarveFound& found, CarveListStep step)
{
    if (step != CarveListStep::Append) {
        m_results.DeleteAllItems();
        ShowControls({ IDC_SS_CLEAR_NOTE }, SW_SHOW);
        if (step == CarveListStep::ClearWithNotice)
            ShowClearingNotice();
    }
    int icon = -1;
    const int row = Results().FindType(found.key);
    if (row >= 0 && row < m_counts.GetItemCount()) {
        const CarveResults::TypeRow& type = Results().TypeRows()[size_t(row)];
        CString number;
        number.Format(L"%llu", static_cast<unsigned long long>(type.count));
        m_counts.SetItemText(row, kCountColumn, number);
        m_counts.SetItemText(row, kNameColumn, type.lastName);
        m_counts.SetItemText(row, kPathColumn, type.lastPath);
        number.Format(L"%llu", static_cast<unsigned long long>(FoundNameNumber(found.name, found.key)));
        m_counts.SetItemText(row, kLastNumberColumn, number);
        // The shell is asked once per type.
        CString cached = m_counts.GetItemText(row, kIconColumn);
        if (cached.Trim().IsEmpty()) {
            icon = m_icons.GetIconIndex(found.name, FALSE, TRUE);
            cached.Format(L"%d", icon);
            m_counts.SetItemText(row, kIconColumn, cached);
        } else {
            icon = StrToInt32(cached);
        }
    } else {
        icon = m_icons.GetIconIndex(found.name, FALSE, TRUE);
    }
    const int at = m_results.GetItemCount();
    m_results.InsertItem(LVIF_TEXT | LVIF_IMAGE, at, CarveRowText(found), 0, 0, icon, 0);
    if (at % 10 == 0)
        m_results.EnsureVisible(at, TRUE);
}

void CSigDuplicate::OnNMDblclkResults(NMHDR*, LRESULT* result)
{
    *result = 0;
    const int row = m_results.GetNextItem(-1, LVNI_SELECTED);
    const std::vector<CarveFound>& shown = Results().Shown();
    if (row >= 0 && size_t(row) < shown.size() && !shown[size_t(row)].path.IsEmpty())
        OpenWithShell(kShellOpenFile, shown[size_t(row)].path, this);
}

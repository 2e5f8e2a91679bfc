#include "sigrecovery/photosearch.h"

#include "app/searchhost.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "resources/resource.h"

namespace {

constexpr UINT WM_ZR_THUMBNAILS_READY = WM_APP + 0x268;

const SearchDialogLayout& PhotoLayout()
{
    static const SearchDialogLayout layout = [] {
        SearchDialogLayout l = CarveSearchLayout(CarveSearchKind::Photo);
        l.templateId = IDD_PHOTO_SEARCH;
        l.driveTree = IDC_PS_DRIVE_TREE;
        l.detailList = IDC_PS_DETAIL_LIST;
        l.progress = IDC_PS_SCAN_PROGRESS;
        l.panel = IDC_PS_PANEL;
        l.back = IDC_PS_BACK;
        l.next = IDC_PS_NEXT;
        l.refresh = IDC_PS_REFRESH;
        l.stop = IDC_PS_STOP;
        l.morePartitions = IDC_PS_MORE_PARTITIONS;
        l.stopPartitions = IDC_PS_STOP_PARTITIONS;
        l.partitionLabel = IDC_PS_PS_LABEL;
        l.partitionProgress = IDC_PS_PS_PROGRESS;
        l.resultControls = { IDC_PS_STOP, IDC_PS_SCAN_PROGRESS, IDC_PS_PASS_TEXT, IDC_PS_SCANNED_OF, IDC_PS_CURRENT };
        l.partitionLocked = { IDC_PS_REFRESH, IDC_RANGE_SLIDER, IDC_RANGE_START, IDC_RANGE_END };
        l.wholeDiskStartBlank = true;
        l.iconButtons = {
            { IDC_CONTACT_US, IDI_CONTACT },
            { IDC_ABOUT_US, IDI_ABOUT },
            { IDC_NEED_HELP, IDI_HELP },
            { IDC_PS_REFRESH, IDI_REFRESH },
            { IDC_PS_STOP, IDI_STOP },
            { IDC_PS_BACK, IDI_BACK },
            { IDC_PS_NEXT, IDI_NEXT },
            { IDC_PS_MORE_PARTITIONS, IDI_ENTIRE_DRIVE },
            { IDC_PS_STOP_PARTITIONS, IDI_STOP },
            { IDC_PS_OPEN_FOLDER, IDI_OPEN_FOLDER },
            { IDC_PS_BROWSE, IDI_BROWSE },
            { IDC_RANGE_HELP, IDI_HELP },
        };
        return l;
    }();
    return layout;
}

const CarveDialogLayout& PhotoCarveLayout()
{
    static const CarveDialogLayout layout = [] {
        CarveDialogLayout l;
        l.summary = IDC_PS_SUMMARY;
        l.thorough = IDC_PS_THOROUGH;
        l.optionText = IDC_PS_OPTION_TEXT;
        l.destination = IDC_PS_DEST;
        l.hint = IDC_PS_HINT;
        l.openFolder = IDC_PS_OPEN_FOLDER;
        l.currentSector = IDC_PS_CURRENT;
        l.scannedOf = IDC_PS_SCANNED_OF;
        l.passText = IDC_PS_PASS_TEXT;
        l.clearNote = IDC_PS_CLEAR_NOTE;
        l.optionsStep = { IDC_PS_THOROUGH,    IDC_PS_THOROUGH_LABEL, IDC_PS_OPTION_GROUP,
                          IDC_PS_OPTION_TEXT, IDC_PS_DEST_LABEL,     IDC_PS_DEST,
                          IDC_PS_BROWSE,      IDC_PS_DEST_FRAME,     IDC_PS_SUMMARY };
        l.driveStep = { IDC_PS_REFRESH, IDC_PS_MORE_PARTITIONS };
        return l;
    }();
    return layout;
}

} // namespace

BEGIN_MESSAGE_MAP(CRawSearch, CCarveSession)
    ON_BN_CLICKED(IDC_PS_NEXT, &CRawSearch::OnBnClickedNext)
    ON_BN_CLICKED(IDC_PS_BACK, &CRawSearch::OnBnClickedBack)
    ON_BN_CLICKED(IDC_PS_STOP, &CRawSearch::OnBnClickedStop)
    ON_BN_CLICKED(IDC_PS_BROWSE, &CRawSearch::OnBnClickedBrowse)
    ON_BN_CLICKED(IDC_PS_OPEN_FOLDER, &CRawSearch::OnBnClickedOpenFolder)
    ON_BN_CLICKED(IDC_PS_REFRESH, &CRawSearch::OnBnClickedRefreshTree)
    ON_BN_CLICKED(IDC_PS_MORE_PARTITIONS, &CRawSearch::OnBnClickedSearchMorePartitions)
    ON_BN_CLICKED(IDC_PS_STOP_PARTITIONS, &CRawSearch::OnBnClickedStopSearchingPartitions)
    ON_STN_CLICKED(IDC_CONTACT_LABEL, &CRawSearch::OnBnClickedContactUs)
    ON_NOTIFY(NM_DBLCLK, IDC_PS_THUMBS, &CRawSearch::OnNMDblclkThumbs)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_PS_SUMMARY, IDC_PS_SUMMARY, &CRawSearch::OnNMSetfocusList)
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_PS_DETAIL_LIST, IDC_PS_DETAIL_LIST, &CRawSearch::OnNMSetfocusList)
    ON_MESSAGE(WM_ZR_THUMBNAILS_READY, &CRawSearch::OnThumbnailsReady)
END_MESSAGE_MAP()

CRawSearch::CRawSearch(SearchHost* host)
    : CCarveSession(PhotoLayout(), PhotoCarveLayout(), CarveSearchKind::Photo, host)
{
}

CRawSearch::~CRawSearch() = default;

BOOL CRawSearch::OnInitDialog()
{
    // The thumbnails are drawn with GDI+, which the program starts once and never stops.
    StartGdiplusOnce();
    CCarveSession::OnInitDialog();
    m_summary.InsertColumn(0, L"Name", LVCFMT_LEFT, 365);
    m_summary.InsertColumn(1, L"Value", LVCFMT_LEFT, 360);

    // One row per picture type, from the General list and then the Advance list, each as its
    // data file writes it.
    m_typeCounts.SubclassDlgItem(IDC_PS_TYPE_COUNTS, this);
    m_typeCounts.InsertColumn(0, L"Extension", LVCFMT_LEFT, 100);
    m_typeCounts.InsertColumn(1, L"Count", LVCFMT_LEFT, 100);
    m_typeCounts.InsertColumn(2, L"Folder Name", LVCFMT_LEFT, 100);
    int row = 0;
    for (const CString& type : CountedTypes()) {
        m_typeCounts.InsertItem(row, type);
        m_typeCounts.SetItemText(row, 1, L"0");
        m_typeCounts.SetItemText(row++, 2, type);
    }

    // The thumbnail list takes the place of its placeholder.
    if (CWnd* placeholder = GetDlgItem(IDC_PS_THUMBS)) {
        CRect rect;
        placeholder->GetWindowRect(&rect);
        ScreenToClient(&rect);
        placeholder->DestroyWindow();
        m_thumbs.CreateList(this, rect, IDC_PS_THUMBS);
    }
    return TRUE;
}

void CRawSearch::EndWorkers()
{
    // The scan first: it lists what it has open on its way out.
    CCarveSession::EndWorkers();
    m_maker.Stop();
}

// ---- The options step -----------------------------------------------------------------------------

void CRawSearch::ShowOptionsControls(bool)
{
    m_summary.SetFocus();
}

void CRawSearch::HideOptionsControls(bool) { }

std::vector<CString> CRawSearch::CountedTypes()
{
    std::vector<CString> keys;
    AddDistinctTypeTexts(GeneralFileTypeList, keys);
    AddDistinctTypeTexts(AdvanceFileTypeList, keys);
    return keys;
}

std::vector<FileType1> CRawSearch::SignaturesForPass(bool thorough)
{
    return thorough ? AdvanceFileTypeList : GeneralFileTypeList;
}

// ---- The scan step --------------------------------------------------------------------------------

void CRawSearch::ShowScanLists()
{
    m_countsThorough = true;
    CountPass(false);
    m_thumbs.ResetImages();
    m_thumbs.ShowWindow(SW_SHOW);
    m_maker.Start(m_hWnd, WM_ZR_THUMBNAILS_READY);
}

void CRawSearch::HideScanLists()
{
    m_maker.Stop();
    m_thumbs.Clear();
    m_thumbs.ShowWindow(SW_HIDE);
}

void CRawSearch::CountPass(bool thorough)
{
    if (thorough == m_countsThorough)
        return;
    m_countsThorough = thorough;
    for (int row = 0; row < m_typeCounts.GetItemCount(); ++row) {
        m_typeCounts.SetItemText(row, 1, L"0");
        m_typeCounts.SetItemText(row, 2, m_typeCounts.GetItemText(row, 0));
    }
}

void CRawSearch::OnPassStarting(bool thorough)
{
    CountPass(thorough);
}

void CRawSearch::ShowFound(const CarveFound& found, CarveListStep)
{
    // The pass's notice and its finds may come in either order.
    CountPass(found.thorough);
    const int type = TypeCountRow(found.key);
    if (type >= 0) {
        CString count;
        count.Format(L"%llu", static_cast<unsigned long long>(StrToUInt64(m_typeCounts.GetItemText(type, 1)) + 1));
        m_typeCounts.SetItemText(type, 1, count);
    }
    // Its thumbnail follows from the saved file; a find that could not be saved has none.
    if (!found.path.IsEmpty())
        m_maker.Add(CarveRowText(found), found.path);
}

int CRawSearch::TypeCountRow(const CString& key)
{
    // The whole extension, in any case: a prefix would count "tif" finds in a "tiff" row.
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = key;
    return m_typeCounts.FindItem(&find);
}

LRESULT CRawSearch::OnThumbnailsReady(WPARAM, LPARAM)
{
    ShowReadyThumbnails();
    return 0;
}

void CRawSearch::ShowReadyThumbnails()
{
    for (ThumbnailMaker::Ready& ready : m_maker.TakeReady()) {
        const CarveListStep step = NextListStep(size_t(m_thumbs.Count()), Stopping());
        if (step != CarveListStep::Append) {
            m_thumbs.Clear();
            ShowControls({ IDC_PS_CLEAR_NOTE }, SW_SHOW);
            if (step == CarveListStep::ClearWithNotice)
                ShowClearingNotice();
        }
        m_thumbs.AddThumbnail(ready.thumbnail.bitmap, ready.name, ready.thumbnail.decoded, ready.path);
        ::DeleteObject(ready.thumbnail.bitmap);
    }
}

void CRawSearch::OnNMDblclkThumbs(NMHDR*, LRESULT* result)
{
    const int item = m_thumbs.GetNextItem(-1, LVNI_SELECTED);
    const CString path = m_thumbs.PathOf(item);
    if (!path.IsEmpty())
        OpenWithShell(kShellOpenFile, path, this);
    *result = 0;
}

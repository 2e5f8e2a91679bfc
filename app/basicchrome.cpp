// The Basic Search dialog's look (frame, caption, icon buttons, image lists, share row) and its
// small handlers: help, about, contact and share, scrolling, the key and click filter, and the
// start of a partition search.
#include <algorithm>

#include "app/basicsearch.h"
#include "app/dialogchrome.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

namespace {

const wchar_t kNoStorageAreaFormat[] =
    L"No physical storage area found in Disk(Disk - %d).\n\nIf you have connected your storage using any usb hub "
    L"or extension, check storage connections or connect the storage media directly to your computer.";
const wchar_t kSelectPhysicalDiskText[] =
    L"Select the Physical Disk (in which you want to search Partitions) from the list of available Physical "
    L"Drives in left Panel in order to search deleted or missing Partitions.";

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

bool PartitionSearchBusy()
{
    return g_pMainDlg != nullptr &&
        (g_pMainDlg->PartitionSearchRunning != 0 || g_pMainDlg->PartitionSearchPending != 0);
}

} // namespace

void CBasicSearch::SetupChrome()
{
    AppendAboutMenuEntry(this);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    if (m_toolTip.Create(this)) {
        AddShareTips(m_toolTip, this);
        m_toolTip.Activate(TRUE);
    }
    if (CWnd* logo = GetDlgItem(IDC_LOGO))
        m_captionIcon = (HICON)logo->SendMessage(STM_GETICON, 0, 0);

    static const struct {
        int id;
        UINT icon;
    } kButtons[12] = {
        { IDC_BS_CONTACT, IDI_CONTACT },
        { IDC_BS_ABOUT, IDI_ABOUT },
        { IDC_BS_NEED_HELP, IDI_HELP },
        { IDC_BS_REFRESH, IDI_REFRESH },
        { IDC_BS_STOP, IDI_STOP },
        { IDC_BS_BACK, IDI_BACK },
        { IDC_BS_SAVE, IDI_SAVE },
        { IDC_BS_SAVE_LOG, IDI_SAVE_LOG },
        { IDC_BS_NEXT, IDI_NEXT },
        { IDC_BS_LOAD_LOG, IDI_LOAD_LOG },
        { IDC_BS_MORE_PARTITIONS, IDI_ENTIRE_DRIVE },
        { IDC_BS_STOP_PARTITIONS, IDI_STOP },
    };
    for (int i = 0; i < 12; ++i)
        MakeIconButton(this, m_iconButtons[i], kButtons[i].id, kButtons[i].icon);

    if (m_shareButton.GetSafeHwnd() || m_shareButton.SubclassDlgItem(IDC_SHARE_BUTTON, this)) {
        m_shareButton.LoadBitmaps(IDB_BS_SHARE_UP, IDB_BS_SHARE_DOWN);
        m_shareButton.SizeToContent();
    }

    // The trees' pictures: 24-pixel cells on magenta, and the tick boxes of the results tree as its
    // state images (a folder partly ticked shows the fourth, which the plain check-box style lacks).
    m_driveImages.Create(24, 24, ILC_COLOR32 | ILC_MASK, 1, 1);
    m_resultImages.Create(24, 24, ILC_COLOR32 | ILC_MASK, 1, 1);
    for (auto [list, bitmapId] :
         { std::pair{ &m_driveImages, IDB_DRIVE_TREE_IMAGES }, std::pair{ &m_resultImages, IDB_RESULT_TREE_IMAGES } }) {
        CBitmap strip;
        if (strip.LoadBitmap(bitmapId))
            list->Add(&strip, kMagenta);
    }
    m_stateImages.Create(IDB_TREE_STATE_IMAGES, 13, 1, kWhite);
    m_driveTree.SetImageList(&m_driveImages, TVSIL_NORMAL);
    m_resultTree.SetImageList(&m_resultImages, TVSIL_NORMAL);
    // The list the check-box style made for itself is replaced, and is the dialog's to free.
    const HIMAGELIST own =
        (HIMAGELIST)m_resultTree.SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, (LPARAM)m_stateImages.GetSafeHandle());
    if (own != nullptr && own != m_stateImages.GetSafeHandle())
        ::ImageList_Destroy(own);

    if (m_currentFolder.SubclassDlgItem(IDC_BS_CURRENT_FOLDER, this)) {
        m_currentFolder.SetBkColor(kWhite);
        m_currentFolder.SetTextColor(RGB(0, 0, 255));
    }
    SetupLinkLabel(this, m_linkWeb, IDC_LINK_WEB, WebSiteLink);
    SetupLinkLabel(this, m_linkMail, IDC_LINK_MAIL, SupportMailText);
    if (CWnd* group = GetDlgItem(IDC_BS_CURRENT_GROUP))
        group->SetFont(&FontVerdana13Bold);
    if (CWnd* hint = GetDlgItem(IDC_BS_SELECT_HINT))
        hint->SetFont(&FontConsolas16Bold);

    SetupDialogGlass(this, m_dwm);
}

// ---- Painting --------------------------------------------------------------------------------

BOOL CBasicSearch::OnEraseBkgnd(CDC* dc)
{
    PaintDialogFrame(this, dc, GetDlgItem(IDC_BS_PANEL), m_captionIcon, L"Basic Search", m_dwm);
    return TRUE;
}

void CBasicSearch::OnPaint()
{
    if (!m_painted) {
        m_painted = true;
        const bool noDrives = m_physicalRoot != nullptr && m_logicalRoot != nullptr &&
            m_driveTree.GetChildItem(m_physicalRoot) == nullptr && m_driveTree.GetChildItem(m_logicalRoot) == nullptr;
        if (noDrives)
            ShowNoDeviceDialog();
    }
    if (!PaintMinimisedIcon(this, m_hIcon))
        Default();
}

void CBasicSearch::OnVScroll(UINT code, UINT pos, CWnd*)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    if (!::GetScrollInfo(m_hWnd, SB_VERT, &info))
        info = SCROLLINFO{};
    const int range = std::max(0, info.nMax - info.nMin - int(info.nPage));
    int next = m_scrollPos;
    switch (code) {
    case SB_LINEUP:
        next -= range / 100;
        break;
    case SB_LINEDOWN:
        next += range / 100;
        break;
    case SB_PAGEUP:
        next -= range / 10;
        break;
    case SB_PAGEDOWN:
        next += range / 10;
        break;
    case SB_THUMBPOSITION:
        next = int(pos);
        break;
    default:
        break;
    }
    next = std::clamp(next, 0, range);
    const int moved = m_scrollPos - next;
    m_scrollPos = next;
    ::SetScrollPos(m_hWnd, SB_VERT, next, TRUE);
    if (moved != 0)
        ::ScrollWindow(m_hWnd, 0, moved, nullptr, nullptr);
    Default();
}

// ---- Input -----------------------------------------------------------------------------------

BOOL CBasicSearch::OnSetCursor(CWnd* wnd, UINT, UINT)
{
    return SetLinkCursor(wnd) ? TRUE : (BOOL)Default();
}

bool CBasicSearch::FilterInput(MSG* msg)
{
    if (m_toolTip.GetSafeHwnd())
        m_toolTip.RelayEvent(msg);
    // Ctrl+Break and Ctrl+C reach no control: copying out of the lists is not offered.
    if ((msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == 3 &&
        (::GetKeyState(VK_CONTROL) & 0x8000))
        msg->wParam = 0;
    // Space ticks a results folder the way a click on its box does (the tree's own handling would
    // step on to the "partly ticked" picture and leave the folder's children as they were).
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_SPACE && msg->hwnd == m_resultTree.GetSafeHwnd()) {
        m_resultTree.ToggleCheck(m_resultTree.GetSelectedItem());
        return true;
    }
    if (msg->message != WM_LBUTTONDOWN || (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd)))
        return false;
    if (NoDeviceVisible != 0) {
        EnableWindow(FALSE);
        return true;
    }
    // While partitions are searched only their Stop button takes clicks.
    const CWnd* stop = GetDlgItem(IDC_BS_STOP_PARTITIONS);
    return PartitionSearchBusy() && (stop == nullptr || msg->hwnd != stop->GetSafeHwnd());
}

void CBasicSearch::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == 0x10)
        CDelvaneDlg::ShowAboutDialog();
    else
        Default();
}

LRESULT CBasicSearch::OnHelpKey(WPARAM, LPARAM)
{
    CDelvaneDlg::ShowHelpDialog();
    return TRUE;
}

void CBasicSearch::OnBnClickedNeedHelp()
{
    CDelvaneDlg::ShowHelpDialog();
}
void CBasicSearch::OnBnClickedAboutUs()
{
    CDelvaneDlg::ShowAboutDialog();
}
void CBasicSearch::OnBnClickedContactUs()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CBasicSearch::OnBnClickedShareOnSocialMedia()
{
    ShowShareDialog(this);
}
void CBasicSearch::OnStnClickedLink()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CBasicSearch::OnStnClickedLink2()
{
    OpenWithShell(kShellOpenLink, WebSiteLink, this);
}
void CBasicSearch::OnShareLink(UINT id)
{
    OpenShareIconLink(id);
}

// ---- Search More Partitions ------------------------------------------------------------------

void CBasicSearch::OnBnClickedSearchMorePartitions()
{
    if (PartitionSearchBusy() || g_pBasicLogLoadThread != nullptr || g_pDeepLogLoadThread != nullptr ||
        g_pPopulateListThread != nullptr)
        return;
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    if (SelectedItemKind != L"Hard Disk" || item == nullptr || m_driveTree.GetParentItem(item) != m_physicalRoot) {
        if (NoDeviceVisible != 0) {
            EnableWindow(FALSE);
            return;
        }
        ZrMessageBox(m_hWnd, kSelectPhysicalDiskText, L"Message", MB_OK | MB_ICONINFORMATION);
        m_driveTree.SelectItem(m_physicalRoot);
        return;
    }
    if (PropertyValue(3).IsEmpty()) {
        CString text;
        text.Format(kNoStorageAreaFormat, GetDiskNumberFromText(m_driveTree.GetItemText(item)));
        ZrMessageBox(m_hWnd, text, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ShowSmpSelDialog(this) != IDOK)
        return;

    ShowPartitionSearchControls(true);
    if (!StartPartitionSearchThread())
        ShowPartitionSearchControls(false); // nothing started: the drive page as it was
}

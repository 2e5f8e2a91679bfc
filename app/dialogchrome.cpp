#include "app/dialogchrome.h"

#include <shellapi.h>

#include "app/background.h"
#include "app/startup.h"
#include "look/glass.h"
#include "resources/resource.h"

const wchar_t* const SupportMailText = L"support@zembrolix.example";
const wchar_t* const SupportMailLink = L"mailto:support@zembrolix.example?subject=Zembrolix%20Recovery%20(Premium)%"
                                       L"20support&body=Please%20describe%20your%20problem%20here.";
const wchar_t* const ResellerMailText = L"partners@zembrolix.example";
const wchar_t* const ResellerMailLink =
    L"mailto:partners@zembrolix.example?subject=Reseller%20enquiry&body=Please%20tell%20us%20about%20your%20business.";
const wchar_t* const WebSiteLink = L"https://www.zembrolix.example/";
const wchar_t* const ShareGooglePlusLink = L"https://plus.google.com/share?url=https://www.zembrolix.example/";
const wchar_t* const ShareFacebookLink = L"https://www.facebook.com/sharer/sharer.php?u=https://www.zembrolix.example/";
const wchar_t* const LikeFacebookLink =
    L"https://www.facebook.com/plugins/like.php?href=https://www.zembrolix.example/";
const wchar_t* const ShareTwitterLink = L"https://twitter.com/intent/tweet?url=https://www.zembrolix.example/";
const wchar_t* const SocialCommentsPageLink = L"https://www.zembrolix.example/comments/";

const wchar_t* ShareIconLink(int index)
{
    const wchar_t* const links[4] = { ShareGooglePlusLink, ShareFacebookLink, LikeFacebookLink, ShareTwitterLink };
    return index >= 0 && index < 4 ? links[index] : nullptr;
}

void AppendAboutMenuEntry(CWnd* dialog)
{
    CMenu* menu = dialog->GetSystemMenu(FALSE);
    if (menu == nullptr)
        return;
    wchar_t about[128] = {};
    if (::LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, about, 128) > 0) {
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, 0x10, about);
    }
}

void SetupDialogGlass(CWnd* dialog, DwmApi& dwm, const std::vector<int>& moreGlassControls)
{
    if (IsVistaOrLater() && g_pApp && g_pApp->m_nGlass == 1) {
        // The dialog paints its own glass bands (PaintDialogFrame); the layer takes only the
        // controls that sit on them.
        if (AeroAutoSubclass(dialog->GetSafeHwnd(), zr_glass::kSelfPainted, 0)) {
            for (int id : moreGlassControls)
                AeroSubclassControl(::GetDlgItem(dialog->GetSafeHwnd(), id));
            AeroSubclassControl(::GetDlgItem(dialog->GetSafeHwnd(), IDC_LOGO));
        }
        return;
    }
    if (!dwm.IsLoaded())
        dwm.Load();
    dwm.EnableComposition(0);
}

bool PaintDialogFrame(CWnd* dialog, CDC* dc, CWnd* panel, HICON captionIcon, const CString& caption, DwmApi& dwm)
{
    CRect client, inner;
    dialog->GetClientRect(&client);
    inner = client;
    if (panel != nullptr && panel->GetSafeHwnd() != nullptr) {
        panel->GetWindowRect(&inner);
        dialog->ScreenToClient(&inner);
    }
    // The glass reaches one pixel into the panel so that no seam of the dialog face shows.
    const MARGINS margins = { inner.left + 1, client.right - inner.right + 1, inner.top + 1,
                              client.bottom - inner.bottom + 1 };
    const bool glass = DrawDialogBackground(dialog, dc, inner, margins, dwm);
    if (captionIcon != nullptr)
        ::DrawIconEx(dc->GetSafeHdc(), 6, 4, captionIcon, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT);
    DrawGlowingText(dialog->GetSafeHwnd(), caption, DialogCaptionRect(dialog, panel), glass, dc->GetSafeHdc());
    return glass;
}

CRect DialogCaptionRect(CWnd* dialog, CWnd* panel)
{
    CRect client;
    dialog->GetClientRect(&client);
    CRect inner = client;
    if (panel != nullptr && panel->GetSafeHwnd() != nullptr) {
        panel->GetWindowRect(&inner);
        dialog->ScreenToClient(&inner);
    }
    CRect band(client.left + 48, client.top, client.right, inner.top);
    for (HWND child = ::GetWindow(dialog->GetSafeHwnd(), GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        CRect r;
        ::GetWindowRect(child, &r);
        dialog->ScreenToClient(&r);
        if (::IsWindowVisible(child) && r.top < band.bottom && r.bottom > band.top && r.left >= band.left &&
            r.left < band.right)
            band.right = r.left - 4;
    }
    return band;
}

bool PaintMinimisedIcon(CWnd* dialog, HICON icon)
{
    if (!dialog->IsIconic())
        return false;
    CPaintDC dc(dialog);
    dialog->SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
    CRect rect;
    dialog->GetClientRect(&rect);
    const int x = (rect.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, icon);
    return true;
}

void MakeIconButton(CWnd* dialog, CMyBtn& button, int id, UINT icon)
{
    if (!button.GetSafeHwnd() && (id == 0 || !button.SubclassDlgItem(id, dialog)))
        return;
    CString caption;
    button.GetWindowText(caption);
    button.SetWindowText(L"");
    button.SetIcon(LoadIconImage(icon, 16), 16, 16, caption);
}

void MakeIconButtons(CWnd* dialog, std::initializer_list<IconButtonSpec> buttons)
{
    for (const IconButtonSpec& b : buttons)
        MakeIconButton(dialog, *b.button, b.id, b.icon);
}

void AddShareTips(CToolTipCtrl& tips, CWnd* dialog)
{
    static const struct {
        int id;
        const wchar_t* text;
    } kTips[] = {
        { IDC_SHARE_1, L"Share us using Google+" },
        { IDC_SHARE_2, L"Share us using Facebook" },
        { IDC_SHARE_3, L"Like us using Facebook" },
        { IDC_SHARE_4, L"Share us using Twitter" },
    };
    for (const auto& tip : kTips)
        if (CWnd* icon = dialog->GetDlgItem(tip.id))
            tips.AddTool(icon, tip.text);
}

void OpenShareIconLink(UINT id)
{
    if (const wchar_t* link = ShareIconLink((int)id - IDC_SHARE_1))
        ::ShellExecuteW(nullptr, L"open", link, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

bool SetLinkCursor(CWnd* control)
{
    const int id = control != nullptr ? control->GetDlgCtrlID() : 0;
    if ((id >= IDC_SHARE_1 && id <= IDC_SHARE_4) || id == IDC_LINK_WEB || id == IDC_LINK_MAIL) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    return false;
}

void SetupLinkLabel(CWnd* dialog, CMy_Link_Static& link, int id, const wchar_t* text)
{
    if (!link.GetSafeHwnd() && !link.SubclassDlgItem(id, dialog))
        return;
    link.SetLinkColor(RGB(0, 0, 255));
    link.SetBkColor(RGB(255, 255, 255));
    if (text)
        link.SetWindowText(text);
}

#include "controls.h"
#include "temporaries.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

struct TempMaps {
    std::unordered_map<HMENU, std::unique_ptr<CMenu>> menus;
    std::unordered_map<HIMAGELIST, std::unique_ptr<CImageList>> imageLists;
};
thread_local TempMaps* t_temps = nullptr;

// Frees the calling thread's temporary CMenu and CImageList objects (CWnd::DeleteTempMap runs
// it).
void DeleteThreadTemps()
{
    TempMaps* t = t_temps;
    if (!t)
        return;
    t_temps = nullptr;
    for (auto& kv : t->menus) {
        kv.second->m_hMenu = nullptr; // temporaries never destroy their handles
        ZrRetireTemporary(std::move(kv.second));
    }
    for (auto& kv : t->imageLists) {
        kv.second->m_hImageList = nullptr;
        ZrRetireTemporary(std::move(kv.second));
    }
    delete t;
}

TempMaps& Temps()
{
    if (!t_temps) {
        static const bool registered = ZrRegisterTempMap(&DeleteThreadTemps);
        (void)registered;
        t_temps = new TempMaps();
    }
    return *t_temps;
}

BOOL CreateControl(CWnd* self, LPCWSTR className, LPCWSTR text, DWORD exStyle, DWORD style, const RECT& rect,
                   CWnd* parent, UINT id)
{
    ZrInitCommonControls();
    return self->CWnd::CreateEx(exStyle, className, text, style | WS_CHILD, rect, parent, id);
}

// Reads a text whose length the control does not tell: grows the buffer until the copy no longer
// fills it. `get` copies at most `size` - 1 characters plus a NUL and returns how many it copied.
template <class Get> CString ReadGrowing(Get get)
{
    std::vector<wchar_t> buf;
    for (int size = 512;; size *= 2) {
        buf.assign((size_t)size, L'\0');
        int n = get(buf.data(), size);
        if (n < 0)
            n = 0;
        if (n < size - 1 || size >= (1 << 24))
            return CString(buf.data(), n < size ? n : size - 1);
    }
}

int StateImage(UINT state)
{
    return (int)((state & 0xF000) >> 12);
}

// Image lists held by CImageList objects (not temporaries), and the one check-box image list that
// every list view sharing its image lists uses (made once, kept for the process).
std::mutex g_listsLock;
std::unordered_set<HIMAGELIST>& OwnedLists()
{
    static auto* s = new std::unordered_set<HIMAGELIST>();
    return *s;
}
HIMAGELIST g_sharedCheckBoxes = nullptr;

void NoteOwned(HIMAGELIST h, bool owned)
{
    if (!h)
        return;
    std::lock_guard<std::mutex> g(g_listsLock);
    if (owned)
        OwnedLists().insert(h);
    else
        OwnedLists().erase(h);
}

// A list view with check boxes made their image list itself, and destroys it with itself only if
// it does not share its image lists. Once it shares them, it is moved to the process's single
// copy of those images and its own list is destroyed at once.
void AdoptCheckBoxImages(CListCtrl* list)
{
    if (!(list->GetStyle() & LVS_SHAREIMAGELISTS) || !(list->GetExtendedStyle() & LVS_EX_CHECKBOXES))
        return;
    HIMAGELIST own = (HIMAGELIST)list->SendMessage(LVM_GETIMAGELIST, LVSIL_STATE, 0);
    std::unique_lock<std::mutex> g(g_listsLock);
    if (!own || own == g_sharedCheckBoxes || OwnedLists().count(own))
        return;
    if (!g_sharedCheckBoxes)
        g_sharedCheckBoxes = ImageList_Duplicate(own);
    HIMAGELIST shared = g_sharedCheckBoxes;
    g.unlock();
    if (!shared)
        return;
    list->SendMessage(LVM_SETIMAGELIST, LVSIL_STATE, (LPARAM)shared);
    ImageList_Destroy(own);
}

} // namespace

void ZrInitCommonControls()
{
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX icc = { sizeof(icc),
                                     ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                         ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES };
        ::InitCommonControlsEx(&icc);
    });
}

int ZrControlsTempObjects()
{
    return t_temps ? (int)(t_temps->menus.size() + t_temps->imageLists.size()) : 0;
}

// ---- CImageList ------------------------------------------------------------------------------

CImageList::~CImageList()
{
    DeleteImageList();
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow)
{
    if (m_hImageList)
        return FALSE;
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    NoteOwned(m_hImageList, true);
    return m_hImageList != nullptr;
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask)
{
    return Create(MAKEINTRESOURCEW(bitmapId), cx, grow, mask);
}

BOOL CImageList::Create(LPCWSTR bitmapName, int cx, int grow, COLORREF mask)
{
    if (m_hImageList)
        return FALSE;
    m_hImageList = ImageList_LoadImageW(::GetModuleHandleW(nullptr), bitmapName, cx, grow, mask, IMAGE_BITMAP,
                                        LR_CREATEDIBSECTION);
    NoteOwned(m_hImageList, true);
    return m_hImageList != nullptr;
}

BOOL CImageList::Attach(HIMAGELIST h)
{
    if (!h || m_hImageList)
        return FALSE;
    m_hImageList = h;
    NoteOwned(h, true);
    return TRUE;
}

HIMAGELIST CImageList::Detach()
{
    HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    NoteOwned(h, false);
    return h;
}

BOOL CImageList::DeleteImageList()
{
    HIMAGELIST h = Detach();
    return h ? ImageList_Destroy(h) : FALSE;
}

CImageList* CImageList::FromHandle(HIMAGELIST h)
{
    if (!h)
        return nullptr;
    auto& slot = Temps().imageLists[h];
    if (!slot) {
        slot.reset(new CImageList());
        slot->m_hImageList = h;
    }
    return slot.get();
}

CSize CImageList::GetIconSize() const
{
    int cx = 0, cy = 0;
    if (!m_hImageList || !ImageList_GetIconSize(m_hImageList, &cx, &cy))
        return CSize();
    return CSize(cx, cy);
}

// ---- CMenu -----------------------------------------------------------------------------------

CMenu::~CMenu()
{
    DestroyMenu();
}

BOOL CMenu::CreateMenu()
{
    if (m_hMenu)
        return FALSE;
    m_hMenu = ::CreateMenu();
    return m_hMenu != nullptr;
}

BOOL CMenu::CreatePopupMenu()
{
    if (m_hMenu)
        return FALSE;
    m_hMenu = ::CreatePopupMenu();
    return m_hMenu != nullptr;
}

BOOL CMenu::LoadMenu(LPCWSTR name)
{
    if (m_hMenu)
        return FALSE;
    m_hMenu = ::LoadMenuW(::GetModuleHandleW(nullptr), name);
    return m_hMenu != nullptr;
}

BOOL CMenu::DestroyMenu()
{
    HMENU h = Detach();
    return h ? ::DestroyMenu(h) : FALSE;
}

BOOL CMenu::Attach(HMENU h)
{
    if (!h || m_hMenu)
        return FALSE;
    m_hMenu = h;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    return h;
}

CMenu* CMenu::FromHandle(HMENU h)
{
    if (!h)
        return nullptr;
    auto& slot = Temps().menus[h];
    if (!slot) {
        slot.reset(new CMenu());
        slot->m_hMenu = h;
    }
    return slot.get();
}

int CMenu::GetMenuString(UINT id, CString& text, UINT flags) const
{
    int n = ::GetMenuStringW(m_hMenu, id, nullptr, 0, flags);
    if (n <= 0) {
        text.Empty();
        return 0;
    }
    std::vector<wchar_t> buf((size_t)n + 1, L'\0');
    n = ::GetMenuStringW(m_hMenu, id, buf.data(), n + 1, flags);
    text = CString(buf.data(), n > 0 ? n : 0);
    return text.GetLength();
}

CMenu* CWnd::GetSystemMenu(BOOL revert) const
{
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert));
}

// ---- Buttons and statics ---------------------------------------------------------------------

BOOL CStatic::Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"STATIC", text, 0, style, rect, parent, id);
}

BOOL CButton::Create(LPCWSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"BUTTON", caption, 0, style, rect, parent, id);
}

namespace {
// The DC of a WM_DRAWITEM, borrowed for the duration of one drawing.
struct BorrowedDC : CDC {
    explicit BorrowedDC(HDC h) { Attach(h); }
    ~BorrowedDC() override { Detach(); }
};
} // namespace

void CButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    BorrowedDC borrowed(dis->hDC);
    CDC* dc = &borrowed;
    CRect r(dis->rcItem);
    UINT state = DFCS_BUTTONPUSH;
    if (dis->itemState & ODS_SELECTED)
        state |= DFCS_PUSHED;
    if (dis->itemState & ODS_DISABLED)
        state |= DFCS_INACTIVE;
    dc->DrawFrameControl(&r, DFC_BUTTON, state);
    CString text = GetWindowText();
    int oldMode = dc->SetBkMode(TRANSPARENT);
    COLORREF oldColor =
        dc->SetTextColor(::GetSysColor((dis->itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    CRect textRect = r;
    if (dis->itemState & ODS_SELECTED)
        textRect.OffsetRect(1, 1);
    dc->DrawText(text, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    dc->SetTextColor(oldColor);
    dc->SetBkMode(oldMode);
    if (dis->itemState & ODS_FOCUS) {
        r.DeflateRect(3, 3);
        dc->DrawFocusRect(&r);
    }
}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (CWnd::OnChildNotify(message, wParam, lParam, pResult))
        return TRUE;
    if (message != WM_DRAWITEM)
        return FALSE;
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    if (pResult)
        *pResult = TRUE;
    return TRUE;
}

BOOL CBitmapButton::LoadBitmaps(UINT normal, UINT selected, UINT focus, UINT disabled)
{
    return LoadBitmaps(normal ? MAKEINTRESOURCEW(normal) : nullptr, selected ? MAKEINTRESOURCEW(selected) : nullptr,
                       focus ? MAKEINTRESOURCEW(focus) : nullptr, disabled ? MAKEINTRESOURCEW(disabled) : nullptr);
}

BOOL CBitmapButton::LoadBitmaps(LPCWSTR normal, LPCWSTR selected, LPCWSTR focus, LPCWSTR disabled)
{
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapDisabled.DeleteObject();
    if (!normal || !m_bitmap.LoadBitmap(normal))
        return FALSE;
    // The others are optional: a missing one falls back to the normal bitmap when drawn.
    if (selected)
        m_bitmapSel.LoadBitmap(selected);
    if (focus)
        m_bitmapFocus.LoadBitmap(focus);
    if (disabled)
        m_bitmapDisabled.LoadBitmap(disabled);
    return TRUE;
}

BOOL CBitmapButton::AutoLoad(UINT id, CWnd* parent)
{
    if (!SubclassDlgItem(id, parent))
        return FALSE;
    CString name = GetWindowText();
    if (name.IsEmpty())
        return FALSE;
    if (!LoadBitmaps(CString(name + L"U").GetString(), CString(name + L"D").GetString(),
                     CString(name + L"F").GetString(), CString(name + L"X").GetString()))
        return FALSE;
    SizeToContent();
    return TRUE;
}

void CBitmapButton::SizeToContent()
{
    CSize s = m_bitmap.GetSize();
    if (s.cx > 0 && s.cy > 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    CBitmap* use = &m_bitmap;
    UINT state = dis->itemState;
    if ((state & ODS_SELECTED) && m_bitmapSel.m_hObject)
        use = &m_bitmapSel;
    else if ((state & ODS_FOCUS) && m_bitmapFocus.m_hObject)
        use = &m_bitmapFocus;
    else if ((state & ODS_DISABLED) && m_bitmapDisabled.m_hObject)
        use = &m_bitmapDisabled;
    if (!use->m_hObject)
        return;
    BorrowedDC target(dis->hDC);
    CDC mem;
    if (!mem.CreateCompatibleDC(&target))
        return;
    HGDIOBJ old = mem.SelectObject(use);
    CRect r(dis->rcItem);
    target.BitBlt(r.left, r.top, r.Width(), r.Height(), &mem, 0, 0, SRCCOPY);
    mem.SelectObject(old);
}

// ---- Edit, combo box, list box, progress -----------------------------------------------------

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"EDIT", nullptr, 0, style, rect, parent, id);
}

void CEdit::SetSel(int start, int end, BOOL noScroll)
{
    SendMessage(EM_SETSEL, (WPARAM)start, (LPARAM)end);
    if (!noScroll)
        SendMessage(EM_SCROLLCARET, 0, 0);
}

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"COMBOBOX", nullptr, 0, style, rect, parent, id);
}

void CComboBox::GetLBText(int index, CString& text) const
{
    int n = GetLBTextLen(index);
    if (n == CB_ERR) {
        text.Empty();
        return;
    }
    std::vector<wchar_t> buf((size_t)n + 1, L'\0');
    int got = GetLBText(index, buf.data());
    text = CString(buf.data(), got > 0 ? got : 0);
}

CString CComboBox::GetLBText(int index) const
{
    CString s;
    GetLBText(index, s);
    return s;
}

BOOL CListBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"LISTBOX", nullptr, 0, style, rect, parent, id);
}

void CListBox::GetText(int index, CString& text) const
{
    int n = GetTextLen(index);
    if (n == LB_ERR) {
        text.Empty();
        return;
    }
    std::vector<wchar_t> buf((size_t)n + 1, L'\0');
    int got = GetText(index, buf.data());
    text = CString(buf.data(), got > 0 ? got : 0);
}

UINT CListBox::ItemFromPoint(CPoint p, BOOL& outside) const
{
    DWORD r = (DWORD)SendMessage(LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y));
    outside = HIWORD(r) != 0;
    return LOWORD(r);
}

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"msctls_progress32", nullptr, 0, style, rect, parent, id);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    PBRANGE r = {};
    SendMessage(PBM_GETRANGE, TRUE, (LPARAM)&r);
    lower = r.iLow;
    upper = r.iHigh;
}

// ---- Header ----------------------------------------------------------------------------------

BOOL CHeaderCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"SysHeader32", nullptr, 0, style, rect, parent, id);
}

CImageList* CHeaderCtrl::SetImageList(CImageList* list)
{
    return CImageList::FromHandle((HIMAGELIST)SendMessage(HDM_SETIMAGELIST, 0, (LPARAM)CImageList::SafeHandle(list)));
}

CImageList* CHeaderCtrl::GetImageList() const
{
    return CImageList::FromHandle((HIMAGELIST)SendMessage(HDM_GETIMAGELIST, 0, 0));
}

// ---- List view -------------------------------------------------------------------------------

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"SysListView32", nullptr, 0, style, rect, parent, id);
}

BOOL CListCtrl::CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"SysListView32", nullptr, exStyle, style, rect, parent, id);
}

int CListCtrl::InsertColumn(int col, LPCWSTR heading, int format, int width, int subItem)
{
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_FMT;
    c.pszText = const_cast<LPWSTR>(heading ? heading : L"");
    c.fmt = format;
    if (width != -1) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    if (subItem != -1) {
        c.mask |= LVCF_SUBITEM;
        c.iSubItem = subItem;
    }
    return InsertColumn(col, &c);
}

int CListCtrl::InsertItem(int index, LPCWSTR text)
{
    return InsertItem(LVIF_TEXT, index, text, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(int index, LPCWSTR text, int image)
{
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, index, text, 0, 0, image, 0);
}

int CListCtrl::InsertItem(UINT mask, int index, LPCWSTR text, UINT state, UINT stateMask, int image, LPARAM data)
{
    LVITEMW it = {};
    it.mask = mask;
    it.iItem = index;
    it.pszText = const_cast<LPWSTR>(text);
    it.state = state;
    it.stateMask = stateMask;
    it.iImage = image;
    it.lParam = data;
    return InsertItem(&it);
}

BOOL CListCtrl::SetItem(int index, int subItem, UINT mask, LPCWSTR text, int image, UINT state, UINT stateMask,
                        LPARAM data)
{
    LVITEMW it = {};
    it.mask = mask;
    it.iItem = index;
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text);
    it.iImage = image;
    it.state = state;
    it.stateMask = stateMask;
    it.lParam = data;
    return SetItem(&it);
}

int CListCtrl::GetItemText(int index, int subItem, LPWSTR buf, int max) const
{
    if (!buf || max <= 0)
        return 0;
    LVITEMW it = {};
    it.iSubItem = subItem;
    it.pszText = buf;
    it.cchTextMax = max;
    buf[0] = L'\0';
    return (int)SendMessage(LVM_GETITEMTEXTW, (WPARAM)index, (LPARAM)&it);
}

CString CListCtrl::GetItemText(int index, int subItem) const
{
    return ReadGrowing([&](wchar_t* buf, int size) { return GetItemText(index, subItem, buf, size); });
}

BOOL CListCtrl::SetItemText(int index, int subItem, LPCWSTR text)
{
    LVITEMW it = {};
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text);
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, (WPARAM)index, (LPARAM)&it);
}

DWORD_PTR CListCtrl::GetItemData(int index) const
{
    LVITEMW it = {};
    it.mask = LVIF_PARAM;
    it.iItem = index;
    return GetItem(&it) ? (DWORD_PTR)it.lParam : 0;
}

BOOL CListCtrl::SetItemData(int index, DWORD_PTR data)
{
    return SetItem(index, 0, LVIF_PARAM, nullptr, 0, 0, 0, (LPARAM)data);
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask)
{
    LVITEMW it = {};
    it.state = state;
    it.stateMask = mask;
    return SetItemState(index, &it);
}

BOOL CListCtrl::GetCheck(int index) const
{
    return StateImage(GetItemState(index, LVIS_STATEIMAGEMASK)) != 1;
}

BOOL CListCtrl::SetCheck(int index, BOOL check)
{
    return SetItemState(index, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), LVIS_STATEIMAGEMASK);
}

POSITION CListCtrl::GetFirstSelectedItemPosition() const
{
    int first = GetNextItem(-1, LVNI_SELECTED);
    return first < 0 ? nullptr : reinterpret_cast<POSITION>((INT_PTR)first + 1);
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const
{
    int index = (int)(reinterpret_cast<INT_PTR>(pos) - 1);
    int next = GetNextItem(index, LVNI_SELECTED);
    pos = next < 0 ? nullptr : reinterpret_cast<POSITION>((INT_PTR)next + 1);
    return index;
}

BOOL CListCtrl::GetItemRect(int index, LPRECT r, UINT code) const
{
    r->left = (LONG)code;
    return (BOOL)SendMessage(LVM_GETITEMRECT, (WPARAM)index, (LPARAM)r);
}

BOOL CListCtrl::GetSubItemRect(int index, int subItem, int area, CRect& r) const
{
    r.top = subItem;
    r.left = area;
    return (BOOL)SendMessage(LVM_GETSUBITEMRECT, (WPARAM)index, (LPARAM) static_cast<RECT*>(&r));
}

int CListCtrl::HitTest(CPoint p, UINT* flags) const
{
    LVHITTESTINFO info = {};
    info.pt = p;
    int index = HitTest(&info);
    if (flags)
        *flags = info.flags;
    return index;
}

CSize CListCtrl::SetIconSpacing(int cx, int cy)
{
    DWORD old = (DWORD)SendMessage(LVM_SETICONSPACING, 0, MAKELPARAM(cx, cy));
    return CSize((short)LOWORD(old), (short)HIWORD(old));
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle)
{
    // A list view that loses its check boxes destroys the state image list it shows, whoever
    // owns it: the shared check-box images (or a list of ours) are taken back first, or every
    // list that shows check boxes later would draw them from a destroyed list.
    if ((GetExtendedStyle() & LVS_EX_CHECKBOXES) && !(exStyle & LVS_EX_CHECKBOXES)) {
        HIMAGELIST state = (HIMAGELIST)SendMessage(LVM_GETIMAGELIST, LVSIL_STATE, 0);
        bool kept = false;
        {
            std::lock_guard<std::mutex> g(g_listsLock);
            kept = state != nullptr && (state == g_sharedCheckBoxes || OwnedLists().count(state) != 0);
        }
        if (kept)
            SendMessage(LVM_SETIMAGELIST, LVSIL_STATE, 0);
    }
    DWORD old = (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)exStyle);
    AdoptCheckBoxImages(this);
    return old;
}

CImageList* CListCtrl::SetImageList(CImageList* list, int type)
{
    // The CImageList keeps owning its list: without this style the control would destroy it
    // too when it is destroyed.
    if (list && list->m_hImageList && !(GetStyle() & LVS_SHAREIMAGELISTS))
        ModifyStyle(0, LVS_SHAREIMAGELISTS);
    HIMAGELIST old = (HIMAGELIST)SendMessage(LVM_SETIMAGELIST, (WPARAM)type, (LPARAM)CImageList::SafeHandle(list));
    AdoptCheckBoxImages(this);
    return CImageList::FromHandle(old);
}

CImageList* CListCtrl::GetImageList(int type) const
{
    return CImageList::FromHandle((HIMAGELIST)SendMessage(LVM_GETIMAGELIST, (WPARAM)type, 0));
}

// ---- Tree view -------------------------------------------------------------------------------

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"SysTreeView32", nullptr, 0, style, rect, parent, id);
}

BOOL CTreeCtrl::CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(this, L"SysTreeView32", nullptr, exStyle, style, rect, parent, id);
}

HTREEITEM CTreeCtrl::InsertItem(UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                                LPARAM data, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCTW ins = {};
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = mask;
    ins.item.pszText = const_cast<LPWSTR>(text);
    ins.item.iImage = image;
    ins.item.iSelectedImage = selectedImage;
    ins.item.state = state;
    ins.item.stateMask = stateMask;
    ins.item.lParam = data;
    return InsertItem(&ins);
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, HTREEITEM parent, HTREEITEM after)
{
    return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after)
{
    return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, after);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const
{
    TVITEMW it = {};
    it.mask = TVIF_CHILDREN | TVIF_HANDLE;
    it.hItem = item;
    return GetItem(&it) && it.cChildren != 0;
}

BOOL CTreeCtrl::SetItem(HTREEITEM item, UINT mask, LPCWSTR text, int image, int selectedImage, UINT state,
                        UINT stateMask, LPARAM data)
{
    TVITEMW it = {};
    it.hItem = item;
    it.mask = mask | TVIF_HANDLE;
    it.pszText = const_cast<LPWSTR>(text);
    it.iImage = image;
    it.iSelectedImage = selectedImage;
    it.state = state;
    it.stateMask = stateMask;
    it.lParam = data;
    return SetItem(&it);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const
{
    return ReadGrowing([&](wchar_t* buf, int size) {
        TVITEMW it = {};
        it.mask = TVIF_TEXT | TVIF_HANDLE;
        it.hItem = item;
        it.pszText = buf;
        it.cchTextMax = size;
        buf[0] = L'\0';
        if (!GetItem(&it))
            return 0;
        // A callback item may answer with its own buffer.
        const wchar_t* text = it.pszText ? it.pszText : buf;
        int n = 0;
        while (n < size - 1 && text[n])
            ++n;
        if (text != buf) {
            for (int i = 0; i < n; ++i)
                buf[i] = text[i];
            buf[n] = L'\0';
        }
        return n;
    });
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCWSTR text)
{
    return SetItem(item, TVIF_TEXT, text, 0, 0, 0, 0, 0);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const
{
    TVITEMW it = {};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = item;
    return GetItem(&it) ? (DWORD_PTR)it.lParam : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data)
{
    return SetItem(item, TVIF_PARAM, nullptr, 0, 0, 0, 0, (LPARAM)data);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask)
{
    return SetItem(item, TVIF_STATE, nullptr, 0, 0, state, mask, 0);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const
{
    TVITEMW it = {};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    it.hItem = item;
    if (!GetItem(&it))
        return FALSE;
    image = it.iImage;
    selectedImage = it.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage)
{
    return SetItem(item, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, image, selectedImage, 0, 0, 0);
}

BOOL CTreeCtrl::GetCheck(HTREEITEM item) const
{
    return StateImage(GetItemState(item, TVIS_STATEIMAGEMASK)) != 1;
}

BOOL CTreeCtrl::SetCheck(HTREEITEM item, BOOL check)
{
    return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), TVIS_STATEIMAGEMASK);
}

HTREEITEM CTreeCtrl::HitTest(CPoint p, UINT* flags) const
{
    TVHITTESTINFO info = {};
    info.pt = p;
    HTREEITEM item = HitTest(&info);
    if (flags)
        *flags = info.flags;
    return item;
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, LPRECT r, BOOL textOnly) const
{
    // The message takes the item in the rectangle it fills.
    *reinterpret_cast<HTREEITEM*>(r) = item;
    return (BOOL)SendMessage(TVM_GETITEMRECT, textOnly, (LPARAM)r);
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int type)
{
    return CImageList::FromHandle(
        (HIMAGELIST)SendMessage(TVM_SETIMAGELIST, (WPARAM)type, (LPARAM)CImageList::SafeHandle(list)));
}

CImageList* CTreeCtrl::GetImageList(int type) const
{
    return CImageList::FromHandle((HIMAGELIST)SendMessage(TVM_GETIMAGELIST, (WPARAM)type, 0));
}

// ---- Tooltip ---------------------------------------------------------------------------------

namespace {

void FillToolInfo(TTTOOLINFOW& ti, CWnd* wnd, UINT_PTR id)
{
    ti = TTTOOLINFOW{};
    // The size without lpReserved is understood by every version of the control.
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    HWND h = CWnd::SafeHwnd(wnd);
    if (id == 0) {
        HWND parent = ::GetParent(h);
        ti.hwnd = parent ? parent : h;
        ti.uFlags = TTF_IDISHWND;
        ti.uId = (UINT_PTR)h;
    } else {
        ti.hwnd = h;
        ti.uId = id;
    }
}

} // namespace

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    ZrInitCommonControls();
    BOOL ok =
        CWnd::CreateEx(WS_EX_TOPMOST, L"tooltips_class32", nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP | style,
                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CWnd::SafeHwnd(parent), nullptr);
    return ok;
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, LPCWSTR text, LPCRECT rect, UINT_PTR id)
{
    if (!wnd || !wnd->m_hWnd)
        return FALSE;
    TTTOOLINFOW ti;
    FillToolInfo(ti, wnd, id);
    if (id != 0) {
        if (rect)
            ti.rect = *rect;
        else
            ::GetClientRect(wnd->m_hWnd, &ti.rect);
    }
    ti.hinst = ::GetModuleHandleW(nullptr);
    ti.lpszText = const_cast<LPWSTR>(text);
    return (BOOL)SendMessage(TTM_ADDTOOLW, 0, (LPARAM)&ti);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, UINT textId, LPCRECT rect, UINT_PTR id)
{
    // With hinst set, a text that is a resource id is loaded by the control.
    return AddTool(wnd, MAKEINTRESOURCEW(textId), rect, id);
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT_PTR id)
{
    TTTOOLINFOW ti;
    FillToolInfo(ti, wnd, id);
    SendMessage(TTM_DELTOOLW, 0, (LPARAM)&ti);
}

void CToolTipCtrl::UpdateTipText(LPCWSTR text, CWnd* wnd, UINT_PTR id)
{
    TTTOOLINFOW ti;
    FillToolInfo(ti, wnd, id);
    ti.hinst = ::GetModuleHandleW(nullptr);
    ti.lpszText = const_cast<LPWSTR>(text);
    SendMessage(TTM_UPDATETIPTEXTW, 0, (LPARAM)&ti);
}

void CToolTipCtrl::GetText(CString& text, CWnd* wnd, UINT_PTR id) const
{
    // Tips are short; the control copies at most this many characters.
    const int max = 1024;
    std::vector<wchar_t> buf(max + 1, L'\0');
    TTTOOLINFOW ti;
    FillToolInfo(ti, wnd, id);
    ti.lpszText = buf.data();
    SendMessage(TTM_GETTEXTW, (WPARAM)max, (LPARAM)&ti);
    text = ti.lpszText && ti.lpszText != LPSTR_TEXTCALLBACKW ? CString(ti.lpszText) : CString();
}

void CToolTipCtrl::SetToolRect(CWnd* wnd, UINT_PTR id, LPCRECT rect)
{
    TTTOOLINFOW ti;
    FillToolInfo(ti, wnd, id);
    ti.rect = *rect;
    SendMessage(TTM_NEWTOOLRECTW, 0, (LPARAM)&ti);
}

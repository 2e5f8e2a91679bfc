// Control classes: thin wrappers over the standard and common controls.
//
// The CWnd-derived wrappers add no data members and no virtual functions that code would call on
// a temporary: code casts the plain CWnd that GetDlgItem returns, e.g. (CListCtrl*)GetDlgItem(id),
// and calls members on it. Only CBitmapButton (its bitmaps) holds data; CButton adds the virtual
// DrawItem, which runs only on a real CButton object that subclasses an owner-drawn button.
//
// Check boxes. The list view's and tree view's GetCheck follow the controls' own convention for
// state images: image 1 is unchecked, 2 is checked; GetCheck is TRUE for any state image other
// than 1, including none at all (the control's GetCheckState reads that as -1). SetCheck sets
// image 2 or 1.
//
// Image lists given to a list view through CListCtrl::SetImageList stay owned by their CImageList:
// the wrapper gives the control LVS_SHAREIMAGELISTS so that it does not destroy them too. (Tree
// views and headers never destroy image lists.) A list view that shares its image lists would no
// longer destroy the check-box images it makes for LVS_EX_CHECKBOXES either; SetImageList and
// SetExtendedStyle therefore move it to one check-box image list kept for the whole process and
// destroy its own. Give a list view its state image list through SetImageList too.
//
// Temporaries. CMenu::FromHandle, CImageList::FromHandle and the members that return a CMenu* or
// CImageList* (GetSubMenu, GetSystemMenu, GetImageList, SetImageList's previous list) hand out
// objects of the calling thread that never destroy their handle and live until
// CWnd::DeleteTempMap.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "types.h"
#include "cstring.h"
#include "wnd.h"
#include "gdi.h"

// Registers the common control classes (once per process). The Create members call it; dialogs
// with common controls in their templates should call it before creating the dialog.
void ZrInitCommonControls();

int ZrControlsTempObjects();

// An opaque iteration position (index + 1, never null while valid).
#ifndef ZR_POSITION_DEFINED
#define ZR_POSITION_DEFINED
struct ZrPositionTag;
typedef ZrPositionTag* POSITION;
#endif

class CImageList {
public:
    HIMAGELIST m_hImageList = nullptr;

    CImageList() = default;
    virtual ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    static HIMAGELIST SafeHandle(const CImageList* il) { return il ? il->m_hImageList : nullptr; }

    // flags: ILC_COLOR32 | ILC_MASK and so on; fails when this object already holds a list.
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    // Cut from a bitmap resource of images cx wide; `mask` is the transparent colour
    // (CLR_NONE for none).
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    BOOL Create(LPCWSTR bitmapName, int cx, int grow, COLORREF mask);
    // Takes ownership of a list; fails when this object already holds one.
    BOOL Attach(HIMAGELIST h);
    HIMAGELIST Detach();
    BOOL DeleteImageList();
    static CImageList* FromHandle(HIMAGELIST h);

    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    BOOL SetImageCount(UINT count) { return ImageList_SetImageCount(m_hImageList, count); }
    // Each returns the index of the (first) new image, or -1. The list copies the pixels: the
    // icon and bitmaps remain the caller's.
    int Add(HICON icon) { return ImageList_ReplaceIcon(m_hImageList, -1, icon); }
    int Add(CBitmap* bitmap, CBitmap* mask)
    {
        return ImageList_Add(m_hImageList, (HBITMAP)CGdiObject::SafeHandle(bitmap),
                             (HBITMAP)CGdiObject::SafeHandle(mask));
    }
    int Add(CBitmap* bitmap, COLORREF mask)
    {
        return ImageList_AddMasked(m_hImageList, (HBITMAP)CGdiObject::SafeHandle(bitmap), mask);
    }
    int Replace(int index, HICON icon) { return ImageList_ReplaceIcon(m_hImageList, index, icon); }
    BOOL Replace(int index, CBitmap* bitmap, CBitmap* mask)
    {
        return ImageList_Replace(m_hImageList, index, (HBITMAP)CGdiObject::SafeHandle(bitmap),
                                 (HBITMAP)CGdiObject::SafeHandle(mask));
    }
    // index -1 removes every image.
    BOOL Remove(int index) { return ImageList_Remove(m_hImageList, index); }
    BOOL RemoveAll() { return Remove(-1); }
    BOOL Draw(CDC* dc, int image, POINT p, UINT style)
    {
        return ImageList_Draw(m_hImageList, image, CDC::SafeHdc(dc), p.x, p.y, style);
    }
    BOOL DrawEx(CDC* dc, int image, POINT p, SIZE s, COLORREF bk, COLORREF fg, UINT style)
    {
        return ImageList_DrawEx(m_hImageList, image, CDC::SafeHdc(dc), p.x, p.y, s.cx, s.cy, bk, fg, style);
    }
    COLORREF SetBkColor(COLORREF c) { return ImageList_SetBkColor(m_hImageList, c); }
    COLORREF GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
    BOOL SetOverlayImage(int image, int overlay) { return ImageList_SetOverlayImage(m_hImageList, image, overlay); }
    // A new icon the caller destroys (DestroyIcon).
    HICON ExtractIcon(int image) { return ImageList_ExtractIcon(nullptr, m_hImageList, image); }
    BOOL GetImageInfo(int image, IMAGEINFO* info) const { return ImageList_GetImageInfo(m_hImageList, image, info); }
    CSize GetIconSize() const;
};

class CMenu {
public:
    HMENU m_hMenu = nullptr;

    CMenu() = default;
    virtual ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }

    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    BOOL LoadMenu(UINT id) { return LoadMenu(MAKEINTRESOURCEW(id)); }
    BOOL LoadMenu(LPCWSTR name);
    // Destroys the menu and its submenus. A menu attached to a window is destroyed with the
    // window: Detach such a menu instead.
    BOOL DestroyMenu();
    BOOL Attach(HMENU h);
    HMENU Detach();
    static CMenu* FromHandle(HMENU h);

    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr)
    {
        return ::AppendMenuW(m_hMenu, flags, id, text);
    }
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr)
    {
        return ::InsertMenuW(m_hMenu, position, flags, id, text);
    }
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr)
    {
        return ::ModifyMenuW(m_hMenu, position, flags, id, text);
    }
    // DeleteMenu destroys a submenu at the position; RemoveMenu only takes it out.
    BOOL DeleteMenu(UINT position, UINT flags) { return ::DeleteMenu(m_hMenu, position, flags); }
    BOOL RemoveMenu(UINT position, UINT flags) { return ::RemoveMenu(m_hMenu, position, flags); }
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    // 0 for a separator, (UINT)-1 for a submenu or a bad position.
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
    UINT GetMenuState(UINT id, UINT flags) const { return ::GetMenuState(m_hMenu, id, flags); }
    int GetMenuString(UINT id, LPWSTR buf, int max, UINT flags) const
    {
        return ::GetMenuStringW(m_hMenu, id, buf, max, flags);
    }
    int GetMenuString(UINT id, CString& text, UINT flags) const;
    CMenu* GetSubMenu(int position) const { return FromHandle(::GetSubMenu(m_hMenu, position)); }
    UINT EnableMenuItem(UINT id, UINT enable) { return (UINT)::EnableMenuItem(m_hMenu, id, enable); }
    UINT CheckMenuItem(UINT id, UINT check) { return (UINT)::CheckMenuItem(m_hMenu, id, check); }
    BOOL CheckMenuRadioItem(UINT first, UINT last, UINT item, UINT flags)
    {
        return ::CheckMenuRadioItem(m_hMenu, first, last, item, flags);
    }
    BOOL SetDefaultItem(UINT item, BOOL byPosition = FALSE) { return ::SetMenuDefaultItem(m_hMenu, item, byPosition); }
    UINT GetDefaultItem(UINT flags, BOOL byPosition = FALSE) const
    {
        return ::GetMenuDefaultItem(m_hMenu, byPosition, flags);
    }
    BOOL GetMenuItemInfo(UINT item, LPMENUITEMINFOW info, BOOL byPosition = FALSE) const
    {
        return ::GetMenuItemInfoW(m_hMenu, item, byPosition, info);
    }
    BOOL SetMenuItemInfo(UINT item, LPCMENUITEMINFOW info, BOOL byPosition = FALSE)
    {
        return ::SetMenuItemInfoW(m_hMenu, item, byPosition, info);
    }
    BOOL SetMenuItemBitmaps(UINT position, UINT flags, CBitmap* unchecked, CBitmap* checked)
    {
        return ::SetMenuItemBitmaps(m_hMenu, position, flags, (HBITMAP)CGdiObject::SafeHandle(unchecked),
                                    (HBITMAP)CGdiObject::SafeHandle(checked));
    }
    // With TPM_RETURNCMD the result is the chosen command (0 for none) and nothing is sent.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* wnd, LPCRECT rect = nullptr)
    {
        return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, CWnd::SafeHwnd(wnd), rect);
    }
    BOOL TrackPopupMenuEx(UINT flags, int x, int y, CWnd* wnd, LPTPMPARAMS params)
    {
        return ::TrackPopupMenuEx(m_hMenu, flags, x, y, CWnd::SafeHwnd(wnd), params);
    }
};

class CStatic : public CWnd {
public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xffff);
    // The previous image is returned and stays the caller's. (A static of common controls 6 may
    // keep its own copy of a 32-bit bitmap; the one given stays the caller's all the same.)
    HICON SetIcon(HICON icon) { return (HICON)SendMessage(STM_SETICON, (WPARAM)icon, 0); }
    HICON GetIcon() const { return (HICON)SendMessage(STM_GETICON, 0, 0); }
    HBITMAP SetBitmap(HBITMAP bitmap) { return (HBITMAP)SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap); }
    HBITMAP GetBitmap() const { return (HBITMAP)SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0); }
    HCURSOR SetCursor(HCURSOR cursor) { return (HCURSOR)SendMessage(STM_SETIMAGE, IMAGE_CURSOR, (LPARAM)cursor); }
};

class CButton : public CWnd {
public:
    BOOL Create(LPCWSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const { return (int)SendMessage(BM_GETCHECK, 0, 0); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, (WPARAM)check, 0); }
    UINT GetState() const { return (UINT)SendMessage(BM_GETSTATE, 0, 0); }
    void SetState(BOOL highlight) { SendMessage(BM_SETSTATE, highlight, 0); }
    UINT GetButtonStyle() const { return GetStyle() & 0xffff; }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    HICON SetIcon(HICON icon) { return (HICON)SendMessage(BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon); }
    HICON GetIcon() const { return (HICON)SendMessage(BM_GETIMAGE, IMAGE_ICON, 0); }
    HBITMAP SetBitmap(HBITMAP bitmap) { return (HBITMAP)SendMessage(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap); }
    HBITMAP GetBitmap() const { return (HBITMAP)SendMessage(BM_GETIMAGE, IMAGE_BITMAP, 0); }

    // Draws an owner-drawn button. Reached through the parent's WM_DRAWITEM when the class's
    // message map has no ON_WM_DRAWITEM_REFLECT entry for it; the parent's own handler is then
    // not called. This default draws a plain push button with the window's text.
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// An owner-drawn button showing one of up to four bitmaps: normal, pressed, focused, disabled
// (the normal one stands in for a missing one). The window must have BS_OWNERDRAW.
class CBitmapButton : public CButton {
public:
    CBitmap m_bitmap;
    CBitmap m_bitmapSel;
    CBitmap m_bitmapFocus;
    CBitmap m_bitmapDisabled;

    // Replaces all four; a zero id or null name leaves that one empty. False when the normal
    // one cannot be loaded.
    BOOL LoadBitmaps(UINT normal, UINT selected = 0, UINT focus = 0, UINT disabled = 0);
    BOOL LoadBitmaps(LPCWSTR normal, LPCWSTR selected = nullptr, LPCWSTR focus = nullptr, LPCWSTR disabled = nullptr);
    // Subclasses the dialog's button `id` and loads the bitmaps named after its caption with the
    // suffixes U (normal), D (pressed), F (focused) and X (disabled), then sizes it to them.
    BOOL AutoLoad(UINT id, CWnd* parent);
    // Resizes the button to its normal bitmap.
    void SizeToContent();
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
};

class CEdit : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void SetSel(DWORD selection, BOOL noScroll = FALSE)
    {
        SetSel((int)(short)LOWORD(selection), (int)(short)HIWORD(selection), noScroll);
    }
    // Start in the low word, end in the high word (each clipped to 16 bits); the int form is exact.
    DWORD GetSel() const { return (DWORD)SendMessage(EM_GETSEL, 0, 0); }
    void GetSel(int& start, int& end) const { SendMessage(EM_GETSEL, (WPARAM)&start, (LPARAM)&end); }
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE) { SendMessage(EM_REPLACESEL, canUndo, (LPARAM)text); }
    void SetLimitText(UINT max) { SendMessage(EM_SETLIMITTEXT, max, 0); }
    void LimitText(int max = 0) { SendMessage(EM_LIMITTEXT, (WPARAM)max, 0); }
    UINT GetLimitText() const { return (UINT)SendMessage(EM_GETLIMITTEXT, 0, 0); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return (BOOL)SendMessage(EM_SETREADONLY, readOnly, 0); }
    int GetLineCount() const { return (int)SendMessage(EM_GETLINECOUNT, 0, 0); }
    int LineIndex(int line = -1) const { return (int)SendMessage(EM_LINEINDEX, (WPARAM)line, 0); }
    int LineLength(int charIndex = -1) const { return (int)SendMessage(EM_LINELENGTH, (WPARAM)charIndex, 0); }
    int LineFromChar(int charIndex = -1) const { return (int)SendMessage(EM_LINEFROMCHAR, (WPARAM)charIndex, 0); }
    void LineScroll(int lines, int chars = 0) { SendMessage(EM_LINESCROLL, (WPARAM)chars, (LPARAM)lines); }
    int GetFirstVisibleLine() const { return (int)SendMessage(EM_GETFIRSTVISIBLELINE, 0, 0); }
    BOOL GetModify() const { return (BOOL)SendMessage(EM_GETMODIFY, 0, 0); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, modified, 0); }
    void SetMargins(UINT left, UINT right)
    {
        SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(left, right));
    }
    void SetPasswordChar(wchar_t ch) { SendMessage(EM_SETPASSWORDCHAR, ch, 0); }
    BOOL SetCueBanner(LPCWSTR text, BOOL whenFocused = FALSE)
    {
        return (BOOL)SendMessage(EM_SETCUEBANNER, whenFocused, (LPARAM)text);
    }
    BOOL CanUndo() const { return (BOOL)SendMessage(EM_CANUNDO, 0, 0); }
    BOOL Undo() { return (BOOL)SendMessage(EM_UNDO, 0, 0); }
    void EmptyUndoBuffer() { SendMessage(EM_EMPTYUNDOBUFFER, 0, 0); }
    void Clear() { SendMessage(WM_CLEAR, 0, 0); }
    void Copy() { SendMessage(WM_COPY, 0, 0); }
    void Cut() { SendMessage(WM_CUT, 0, 0); }
    void Paste() { SendMessage(WM_PASTE, 0, 0); }
};

class CComboBox : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT, 0, 0); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL, 0, 0); }
    // -1 clears the selection; returns CB_ERR for an index out of range.
    int SetCurSel(int index) { return (int)SendMessage(CB_SETCURSEL, (WPARAM)index, 0); }
    int AddString(LPCWSTR text) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)text); }
    int InsertString(int index, LPCWSTR text) { return (int)SendMessage(CB_INSERTSTRING, (WPARAM)index, (LPARAM)text); }
    int DeleteString(UINT index) { return (int)SendMessage(CB_DELETESTRING, index, 0); }
    void ResetContent() { SendMessage(CB_RESETCONTENT, 0, 0); }
    int GetLBTextLen(int index) const { return (int)SendMessage(CB_GETLBTEXTLEN, (WPARAM)index, 0); }
    // The buffer must hold GetLBTextLen + 1 characters.
    int GetLBText(int index, LPWSTR buf) const { return (int)SendMessage(CB_GETLBTEXT, (WPARAM)index, (LPARAM)buf); }
    // Empties `text` for an index out of range.
    void GetLBText(int index, CString& text) const;
    CString GetLBText(int index) const;
    // Searches from after `startAfter` (-1: from the start), wrapping; case-insensitive.
    int FindString(int startAfter, LPCWSTR text) const
    {
        return (int)SendMessage(CB_FINDSTRING, (WPARAM)startAfter, (LPARAM)text);
    }
    int FindStringExact(int startAfter, LPCWSTR text) const
    {
        return (int)SendMessage(CB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)text);
    }
    int SelectString(int startAfter, LPCWSTR text)
    {
        return (int)SendMessage(CB_SELECTSTRING, (WPARAM)startAfter, (LPARAM)text);
    }
    int SetItemData(int index, DWORD_PTR data) { return (int)SendMessage(CB_SETITEMDATA, (WPARAM)index, (LPARAM)data); }
    DWORD_PTR GetItemData(int index) const { return (DWORD_PTR)SendMessage(CB_GETITEMDATA, (WPARAM)index, 0); }
    int SetItemDataPtr(int index, void* data) { return SetItemData(index, (DWORD_PTR)data); }
    void* GetItemDataPtr(int index) const { return (void*)GetItemData(index); }
    DWORD GetEditSel() const { return (DWORD)SendMessage(CB_GETEDITSEL, 0, 0); }
    BOOL SetEditSel(int start, int end) { return (BOOL)SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(start, end)); }
    BOOL LimitText(int max) { return (BOOL)SendMessage(CB_LIMITTEXT, (WPARAM)max, 0); }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, show, 0); }
    BOOL GetDroppedState() const { return (BOOL)SendMessage(CB_GETDROPPEDSTATE, 0, 0); }
    int SetDroppedWidth(UINT width) { return (int)SendMessage(CB_SETDROPPEDWIDTH, width, 0); }
    int GetDroppedWidth() const { return (int)SendMessage(CB_GETDROPPEDWIDTH, 0, 0); }
    int SetItemHeight(int index, UINT height) { return (int)SendMessage(CB_SETITEMHEIGHT, (WPARAM)index, height); }
    int GetItemHeight(int index) const { return (int)SendMessage(CB_GETITEMHEIGHT, (WPARAM)index, 0); }
    BOOL SetMinVisibleItems(int count) { return (BOOL)SendMessage(CB_SETMINVISIBLE, (WPARAM)count, 0); }
    int GetTopIndex() const { return (int)SendMessage(CB_GETTOPINDEX, 0, 0); }
    int SetTopIndex(int index) { return (int)SendMessage(CB_SETTOPINDEX, (WPARAM)index, 0); }
};

class CListBox : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const { return (int)SendMessage(LB_GETCOUNT, 0, 0); }
    int GetCurSel() const { return (int)SendMessage(LB_GETCURSEL, 0, 0); }
    int SetCurSel(int index) { return (int)SendMessage(LB_SETCURSEL, (WPARAM)index, 0); }
    int AddString(LPCWSTR text) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)text); }
    int InsertString(int index, LPCWSTR text) { return (int)SendMessage(LB_INSERTSTRING, (WPARAM)index, (LPARAM)text); }
    int DeleteString(UINT index) { return (int)SendMessage(LB_DELETESTRING, index, 0); }
    void ResetContent() { SendMessage(LB_RESETCONTENT, 0, 0); }
    int GetTextLen(int index) const { return (int)SendMessage(LB_GETTEXTLEN, (WPARAM)index, 0); }
    int GetText(int index, LPWSTR buf) const { return (int)SendMessage(LB_GETTEXT, (WPARAM)index, (LPARAM)buf); }
    void GetText(int index, CString& text) const;
    int FindString(int startAfter, LPCWSTR text) const
    {
        return (int)SendMessage(LB_FINDSTRING, (WPARAM)startAfter, (LPARAM)text);
    }
    int FindStringExact(int startAfter, LPCWSTR text) const
    {
        return (int)SendMessage(LB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)text);
    }
    int SelectString(int startAfter, LPCWSTR text)
    {
        return (int)SendMessage(LB_SELECTSTRING, (WPARAM)startAfter, (LPARAM)text);
    }
    int SetItemData(int index, DWORD_PTR data) { return (int)SendMessage(LB_SETITEMDATA, (WPARAM)index, (LPARAM)data); }
    DWORD_PTR GetItemData(int index) const { return (DWORD_PTR)SendMessage(LB_GETITEMDATA, (WPARAM)index, 0); }
    // Multiple-selection boxes.
    int GetSel(int index) const { return (int)SendMessage(LB_GETSEL, (WPARAM)index, 0); }
    int SetSel(int index, BOOL select = TRUE) { return (int)SendMessage(LB_SETSEL, select, (LPARAM)index); }
    int GetSelCount() const { return (int)SendMessage(LB_GETSELCOUNT, 0, 0); }
    int GetSelItems(int max, LPINT items) const { return (int)SendMessage(LB_GETSELITEMS, (WPARAM)max, (LPARAM)items); }
    int GetTopIndex() const { return (int)SendMessage(LB_GETTOPINDEX, 0, 0); }
    int SetTopIndex(int index) { return (int)SendMessage(LB_SETTOPINDEX, (WPARAM)index, 0); }
    int SetItemHeight(int index, UINT height)
    {
        return (int)SendMessage(LB_SETITEMHEIGHT, (WPARAM)index, MAKELPARAM(height, 0));
    }
    int GetItemHeight(int index) const { return (int)SendMessage(LB_GETITEMHEIGHT, (WPARAM)index, 0); }
    int GetItemRect(int index, LPRECT r) const { return (int)SendMessage(LB_GETITEMRECT, (WPARAM)index, (LPARAM)r); }
    // The nearest item in the low word; the high word is 1 when the point is outside every item.
    UINT ItemFromPoint(CPoint p, BOOL& outside) const;
    void SetHorizontalExtent(int cx) { SendMessage(LB_SETHORIZONTALEXTENT, (WPARAM)cx, 0); }
};

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, (WPARAM)lower, (LPARAM)upper); }
    void GetRange(int& lower, int& upper) const;
    // Each returns the previous position.
    int SetPos(int pos) { return (int)SendMessage(PBM_SETPOS, (WPARAM)pos, 0); }
    int OffsetPos(int delta) { return (int)SendMessage(PBM_DELTAPOS, (WPARAM)delta, 0); }
    int StepIt() { return (int)SendMessage(PBM_STEPIT, 0, 0); }
    int GetPos() const { return (int)SendMessage(PBM_GETPOS, 0, 0); }
    // Returns the previous step.
    int SetStep(int step) { return (int)SendMessage(PBM_SETSTEP, (WPARAM)step, 0); }
    // Colours apply only when the control is not themed. CLR_DEFAULT restores the default.
    COLORREF SetBarColor(COLORREF c) { return (COLORREF)SendMessage(PBM_SETBARCOLOR, 0, (LPARAM)c); }
    COLORREF SetBkColor(COLORREF c) { return (COLORREF)SendMessage(PBM_SETBKCOLOR, 0, (LPARAM)c); }
    BOOL SetMarquee(BOOL on, int intervalMs) { return (BOOL)SendMessage(PBM_SETMARQUEE, on, (LPARAM)intervalMs); }
    int SetState(int state) { return (int)SendMessage(PBM_SETSTATE, (WPARAM)state, 0); }
    int GetState() const { return (int)SendMessage(PBM_GETSTATE, 0, 0); }
};

class CHeaderCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetItemCount() const { return (int)SendMessage(HDM_GETITEMCOUNT, 0, 0); }
    BOOL GetItem(int index, HDITEMW* item) const
    {
        return (BOOL)SendMessage(HDM_GETITEMW, (WPARAM)index, (LPARAM)item);
    }
    BOOL SetItem(int index, HDITEMW* item) { return (BOOL)SendMessage(HDM_SETITEMW, (WPARAM)index, (LPARAM)item); }
    int InsertItem(int index, HDITEMW* item) { return (int)SendMessage(HDM_INSERTITEMW, (WPARAM)index, (LPARAM)item); }
    BOOL DeleteItem(int index) { return (BOOL)SendMessage(HDM_DELETEITEM, (WPARAM)index, 0); }
    BOOL GetItemRect(int index, LPRECT r) const { return (BOOL)SendMessage(HDM_GETITEMRECT, (WPARAM)index, (LPARAM)r); }
    int OrderToIndex(int order) const { return (int)SendMessage(HDM_ORDERTOINDEX, (WPARAM)order, 0); }
    BOOL GetOrderArray(LPINT order, int count) const
    {
        return (BOOL)SendMessage(HDM_GETORDERARRAY, (WPARAM)count, (LPARAM)order);
    }
    BOOL SetOrderArray(int count, LPINT order)
    {
        return (BOOL)SendMessage(HDM_SETORDERARRAY, (WPARAM)count, (LPARAM)order);
    }
    int HitTest(LPHDHITTESTINFO info) const { return (int)SendMessage(HDM_HITTEST, 0, (LPARAM)info); }
    BOOL Layout(HDLAYOUT* layout) { return (BOOL)SendMessage(HDM_LAYOUT, 0, (LPARAM)layout); }
    CImageList* SetImageList(CImageList* list);
    CImageList* GetImageList() const;
};

class CListCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    using CWnd::CreateEx;

    // Columns. width -1 and subItem -1 leave those fields unset.
    int InsertColumn(int col, const LVCOLUMNW* column)
    {
        return (int)SendMessage(LVM_INSERTCOLUMNW, (WPARAM)col, (LPARAM)column);
    }
    int InsertColumn(int col, LPCWSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
    BOOL DeleteColumn(int col) { return (BOOL)SendMessage(LVM_DELETECOLUMN, (WPARAM)col, 0); }
    BOOL GetColumn(int col, LVCOLUMNW* column) const
    {
        return (BOOL)SendMessage(LVM_GETCOLUMNW, (WPARAM)col, (LPARAM)column);
    }
    BOOL SetColumn(int col, const LVCOLUMNW* column)
    {
        return (BOOL)SendMessage(LVM_SETCOLUMNW, (WPARAM)col, (LPARAM)column);
    }
    int GetColumnWidth(int col) const { return (int)SendMessage(LVM_GETCOLUMNWIDTH, (WPARAM)col, 0); }
    // LVSCW_AUTOSIZE / LVSCW_AUTOSIZE_USEHEADER fit the contents.
    BOOL SetColumnWidth(int col, int cx)
    {
        return (BOOL)SendMessage(LVM_SETCOLUMNWIDTH, (WPARAM)col, MAKELPARAM(cx, 0));
    }
    CHeaderCtrl* GetHeaderCtrl() const
    {
        return (CHeaderCtrl*)CWnd::FromHandle((HWND)SendMessage(LVM_GETHEADER, 0, 0));
    }
    int GetStringWidth(LPCWSTR text) const { return (int)SendMessage(LVM_GETSTRINGWIDTHW, 0, (LPARAM)text); }

    // Items. Each Insert returns the new item's index, or -1.
    int InsertItem(const LVITEMW* item) { return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)item); }
    int InsertItem(int index, LPCWSTR text);
    int InsertItem(int index, LPCWSTR text, int image);
    int InsertItem(UINT mask, int index, LPCWSTR text, UINT state, UINT stateMask, int image, LPARAM data);
    BOOL DeleteItem(int index) { return (BOOL)SendMessage(LVM_DELETEITEM, (WPARAM)index, 0); }
    BOOL DeleteAllItems() { return (BOOL)SendMessage(LVM_DELETEALLITEMS, 0, 0); }
    int GetItemCount() const { return (int)SendMessage(LVM_GETITEMCOUNT, 0, 0); }
    // Reserves room for many items, or for LVS_OWNERDATA sets the count (flags LVSICF_*).
    void SetItemCount(int count) { SendMessage(LVM_SETITEMCOUNT, (WPARAM)count, 0); }
    BOOL SetItemCountEx(int count, DWORD flags = LVSICF_NOINVALIDATEALL)
    {
        return (BOOL)SendMessage(LVM_SETITEMCOUNT, (WPARAM)count, (LPARAM)flags);
    }
    BOOL GetItem(LVITEMW* item) const { return (BOOL)SendMessage(LVM_GETITEMW, 0, (LPARAM)item); }
    BOOL SetItem(const LVITEMW* item) { return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)item); }
    BOOL SetItem(int index, int subItem, UINT mask, LPCWSTR text, int image, UINT state, UINT stateMask, LPARAM data);
    // The whole text, however long.
    CString GetItemText(int index, int subItem) const;
    int GetItemText(int index, int subItem, LPWSTR buf, int max) const;
    BOOL SetItemText(int index, int subItem, LPCWSTR text);
    DWORD_PTR GetItemData(int index) const;
    BOOL SetItemData(int index, DWORD_PTR data);
    UINT GetItemState(int index, UINT mask) const
    {
        return (UINT)SendMessage(LVM_GETITEMSTATE, (WPARAM)index, (LPARAM)mask);
    }
    // index -1: every item.
    BOOL SetItemState(int index, UINT state, UINT mask);
    BOOL SetItemState(int index, LVITEMW* item)
    {
        return (BOOL)SendMessage(LVM_SETITEMSTATE, (WPARAM)index, (LPARAM)item);
    }
    // See the header comment for the state-image convention.
    BOOL GetCheck(int index) const;
    BOOL SetCheck(int index, BOOL check = TRUE);

    // Selection and navigation.
    UINT GetSelectedCount() const { return (UINT)SendMessage(LVM_GETSELECTEDCOUNT, 0, 0); }
    POSITION GetFirstSelectedItemPosition() const;
    // Returns the item at `pos` and moves `pos` to the next selected item (null after the last).
    int GetNextSelectedItem(POSITION& pos) const;
    int GetNextItem(int index, int flags) const
    {
        return (int)SendMessage(LVM_GETNEXTITEM, (WPARAM)index, MAKELPARAM(flags, 0));
    }
    int GetSelectionMark() const { return (int)SendMessage(LVM_GETSELECTIONMARK, 0, 0); }
    int SetSelectionMark(int index) { return (int)SendMessage(LVM_SETSELECTIONMARK, 0, (LPARAM)index); }
    BOOL EnsureVisible(int index, BOOL partialOK)
    {
        return (BOOL)SendMessage(LVM_ENSUREVISIBLE, (WPARAM)index, partialOK);
    }
    int GetTopIndex() const { return (int)SendMessage(LVM_GETTOPINDEX, 0, 0); }
    int GetCountPerPage() const { return (int)SendMessage(LVM_GETCOUNTPERPAGE, 0, 0); }
    int GetHotItem() const { return (int)SendMessage(LVM_GETHOTITEM, 0, 0); }
    int SetHotItem(int index) { return (int)SendMessage(LVM_SETHOTITEM, (WPARAM)index, 0); }

    // Searching and sorting. FindItem searches from after `startAfter` (-1: from the start).
    int FindItem(LVFINDINFOW* find, int startAfter = -1) const
    {
        return (int)SendMessage(LVM_FINDITEMW, (WPARAM)startAfter, (LPARAM)find);
    }
    // The callback receives the two items' data (SetItemData) and `data`.
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data)
    {
        return (BOOL)SendMessage(LVM_SORTITEMS, (WPARAM)data, (LPARAM)compare);
    }
    // The callback receives the two items' current indexes and `data`.
    BOOL SortItemsEx(PFNLVCOMPARE compare, DWORD_PTR data)
    {
        return (BOOL)SendMessage(LVM_SORTITEMSEX, (WPARAM)data, (LPARAM)compare);
    }

    // Geometry. code/area: LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL, LVIR_SELECTBOUNDS.
    BOOL GetItemRect(int index, LPRECT r, UINT code) const;
    BOOL GetSubItemRect(int index, int subItem, int area, CRect& r) const;
    int HitTest(LVHITTESTINFO* info) const { return (int)SendMessage(LVM_HITTEST, 0, (LPARAM)info); }
    int HitTest(CPoint p, UINT* flags = nullptr) const;
    // Fills iItem and iSubItem; returns the item or -1.
    int SubItemHitTest(LPLVHITTESTINFO info) { return (int)SendMessage(LVM_SUBITEMHITTEST, 0, (LPARAM)info); }
    BOOL GetItemPosition(int index, LPPOINT p) const
    {
        return (BOOL)SendMessage(LVM_GETITEMPOSITION, (WPARAM)index, (LPARAM)p);
    }
    BOOL SetItemPosition(int index, POINT p)
    {
        return (BOOL)SendMessage(LVM_SETITEMPOSITION32, (WPARAM)index, (LPARAM)&p);
    }
    // Returns the previous spacing.
    CSize SetIconSpacing(int cx, int cy);
    CSize SetIconSpacing(CSize s) { return SetIconSpacing(s.cx, s.cy); }
    BOOL Arrange(UINT code) { return (BOOL)SendMessage(LVM_ARRANGE, code, 0); }
    BOOL Scroll(CSize s) { return (BOOL)SendMessage(LVM_SCROLL, (WPARAM)s.cx, (LPARAM)s.cy); }
    BOOL GetOrigin(LPPOINT p) const { return (BOOL)SendMessage(LVM_GETORIGIN, 0, (LPARAM)p); }
    BOOL GetViewRect(LPRECT r) const { return (BOOL)SendMessage(LVM_GETVIEWRECT, 0, (LPARAM)r); }

    // Appearance.
    // Returns the previous extended style.
    DWORD SetExtendedStyle(DWORD exStyle);
    DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0); }
    // type: LVSIL_NORMAL, LVSIL_SMALL or LVSIL_STATE. Returns the previous list (a temporary).
    CImageList* SetImageList(CImageList* list, int type);
    CImageList* GetImageList(int type) const;
    BOOL SetBkColor(COLORREF c) { return (BOOL)SendMessage(LVM_SETBKCOLOR, 0, (LPARAM)c); }
    COLORREF GetBkColor() const { return (COLORREF)SendMessage(LVM_GETBKCOLOR, 0, 0); }
    BOOL SetTextColor(COLORREF c) { return (BOOL)SendMessage(LVM_SETTEXTCOLOR, 0, (LPARAM)c); }
    COLORREF GetTextColor() const { return (COLORREF)SendMessage(LVM_GETTEXTCOLOR, 0, 0); }
    BOOL SetTextBkColor(COLORREF c) { return (BOOL)SendMessage(LVM_SETTEXTBKCOLOR, 0, (LPARAM)c); }
    COLORREF GetTextBkColor() const { return (COLORREF)SendMessage(LVM_GETTEXTBKCOLOR, 0, 0); }
    // LV_VIEW_ICON, LV_VIEW_DETAILS, ...: 1 on success, -1 on failure.
    int SetView(DWORD view) { return (int)SendMessage(LVM_SETVIEW, view, 0); }
    DWORD GetView() const { return (DWORD)SendMessage(LVM_GETVIEW, 0, 0); }
    BOOL RedrawItems(int first, int last) { return (BOOL)SendMessage(LVM_REDRAWITEMS, (WPARAM)first, (LPARAM)last); }
    BOOL Update(int index) { return (BOOL)SendMessage(LVM_UPDATE, (WPARAM)index, 0); }
};

class CTreeCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    using CWnd::CreateEx;

    // Inserting. Each returns the new item, or null.
    HTREEITEM InsertItem(LPTVINSERTSTRUCTW insert)
    {
        return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)insert);
    }
    HTREEITEM InsertItem(UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask, LPARAM data,
                         HTREEITEM parent, HTREEITEM after);
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item) { return (BOOL)SendMessage(TVM_DELETEITEM, 0, (LPARAM)item); }
    BOOL DeleteAllItems() { return (BOOL)SendMessage(TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT); }

    // Navigation: each returns null when there is no such item.
    UINT GetCount() const { return (UINT)SendMessage(TVM_GETCOUNT, 0, 0); }
    UINT GetVisibleCount() const { return (UINT)SendMessage(TVM_GETVISIBLECOUNT, 0, 0); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    {
        return (HTREEITEM)SendMessage(TVM_GETNEXTITEM, code, (LPARAM)item);
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetFirstVisibleItem() const { return GetNextItem(nullptr, TVGN_FIRSTVISIBLE); }
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXTVISIBLE); }
    HTREEITEM GetPrevVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUSVISIBLE); }
    HTREEITEM GetLastVisibleItem() const { return GetNextItem(nullptr, TVGN_LASTVISIBLE); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetDropHilightItem() const { return GetNextItem(nullptr, TVGN_DROPHILITE); }
    BOOL ItemHasChildren(HTREEITEM item) const;

    // Selection and expansion.
    BOOL Select(HTREEITEM item, UINT code) { return (BOOL)SendMessage(TVM_SELECTITEM, code, (LPARAM)item); }
    BOOL SelectItem(HTREEITEM item) { return Select(item, TVGN_CARET); }
    BOOL SelectDropTarget(HTREEITEM item) { return Select(item, TVGN_DROPHILITE); }
    BOOL SelectSetFirstVisible(HTREEITEM item) { return Select(item, TVGN_FIRSTVISIBLE); }
    // code: TVE_EXPAND, TVE_COLLAPSE, TVE_TOGGLE.
    BOOL Expand(HTREEITEM item, UINT code) { return (BOOL)SendMessage(TVM_EXPAND, code, (LPARAM)item); }
    BOOL EnsureVisible(HTREEITEM item) { return (BOOL)SendMessage(TVM_ENSUREVISIBLE, 0, (LPARAM)item); }

    // Item attributes.
    BOOL GetItem(TVITEMW* item) const { return (BOOL)SendMessage(TVM_GETITEMW, 0, (LPARAM)item); }
    BOOL SetItem(TVITEMW* item) { return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)item); }
    BOOL SetItem(HTREEITEM item, UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                 LPARAM data);
    // The whole text, however long.
    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, LPCWSTR text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    UINT GetItemState(HTREEITEM item, UINT mask) const
    {
        return (UINT)SendMessage(TVM_GETITEMSTATE, (WPARAM)item, (LPARAM)mask);
    }
    BOOL SetItemState(HTREEITEM item, UINT state, UINT mask);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    // See the header comment for the state-image convention. Check boxes need TVS_CHECKBOXES
    // (best set after the control is created: ModifyStyle(0, TVS_CHECKBOXES)).
    BOOL GetCheck(HTREEITEM item) const;
    BOOL SetCheck(HTREEITEM item, BOOL check = TRUE);

    // Geometry.
    HTREEITEM HitTest(TVHITTESTINFO* info) const { return (HTREEITEM)SendMessage(TVM_HITTEST, 0, (LPARAM)info); }
    // flags receives TVHT_ONITEMLABEL, TVHT_ONITEMSTATEICON, ...
    HTREEITEM HitTest(CPoint p, UINT* flags = nullptr) const;
    // False when the item is not visible (a collapsed parent).
    BOOL GetItemRect(HTREEITEM item, LPRECT r, BOOL textOnly) const;

    // Sorting: children of `item` (null or TVI_ROOT: the top level) by text, or by a callback
    // that receives the items' data.
    BOOL SortChildren(HTREEITEM item) { return (BOOL)SendMessage(TVM_SORTCHILDREN, 0, (LPARAM)item); }
    BOOL SortChildrenCB(LPTVSORTCB sort, BOOL recurse = FALSE)
    {
        return (BOOL)SendMessage(TVM_SORTCHILDRENCB, recurse, (LPARAM)sort);
    }

    // Appearance. type: TVSIL_NORMAL or TVSIL_STATE. Returns the previous list (a temporary).
    CImageList* SetImageList(CImageList* list, int type);
    CImageList* GetImageList(int type) const;
    UINT GetIndent() const { return (UINT)SendMessage(TVM_GETINDENT, 0, 0); }
    void SetIndent(UINT indent) { SendMessage(TVM_SETINDENT, indent, 0); }
    int GetItemHeight() const { return (int)SendMessage(TVM_GETITEMHEIGHT, 0, 0); }
    int SetItemHeight(int height) { return (int)SendMessage(TVM_SETITEMHEIGHT, (WPARAM)height, 0); }
    COLORREF SetBkColor(COLORREF c) { return (COLORREF)SendMessage(TVM_SETBKCOLOR, 0, (LPARAM)c); }
    COLORREF SetTextColor(COLORREF c) { return (COLORREF)SendMessage(TVM_SETTEXTCOLOR, 0, (LPARAM)c); }
    COLORREF SetLineColor(COLORREF c) { return (COLORREF)SendMessage(TVM_SETLINECOLOR, 0, (LPARAM)c); }
};

// A tooltip for tools of a window. Messages must reach it: call RelayEvent from the owner's
// PreTranslateMessage.
class CToolTipCtrl : public CWnd {
public:
    // A popup owned by `parent` (TTS_ALWAYSTIP | TTS_NOPREFIX are added).
    BOOL Create(CWnd* parent, DWORD style = 0);
    // id 0: the tool is the window `wnd` itself (its parent gets the notifications). Otherwise
    // the tool is the area `rect` of `wnd` (its client area when null) known by `id`.
    // LPSTR_TEXTCALLBACK as text makes the tooltip ask with TTN_GETDISPINFO.
    BOOL AddTool(CWnd* wnd, LPCWSTR text = LPSTR_TEXTCALLBACKW, LPCRECT rect = nullptr, UINT_PTR id = 0);
    BOOL AddTool(CWnd* wnd, UINT textId, LPCRECT rect = nullptr, UINT_PTR id = 0);
    void DelTool(CWnd* wnd, UINT_PTR id = 0);
    void UpdateTipText(LPCWSTR text, CWnd* wnd, UINT_PTR id = 0);
    void GetText(CString& text, CWnd* wnd, UINT_PTR id = 0) const;
    void SetToolRect(CWnd* wnd, UINT_PTR id, LPCRECT rect);
    int GetToolCount() const { return (int)SendMessage(TTM_GETTOOLCOUNT, 0, 0); }
    void Activate(BOOL activate) { SendMessage(TTM_ACTIVATE, activate, 0); }
    void RelayEvent(LPMSG msg) { SendMessage(TTM_RELAYEVENT, 0, (LPARAM)msg); }
    // Returns the previous width; -1 allows any width. A width makes multi-line tips possible.
    int SetMaxTipWidth(int width) { return (int)SendMessage(TTM_SETMAXTIPWIDTH, 0, (LPARAM)width); }
    // All three delays from one (TTDT_AUTOMATIC), or one of them.
    void SetDelayTime(UINT delay) { SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, (LPARAM)(DWORD)delay); }
    void SetDelayTime(DWORD type, int time) { SendMessage(TTM_SETDELAYTIME, type, MAKELPARAM(time, 0)); }
    int GetDelayTime(DWORD type) const { return (int)SendMessage(TTM_GETDELAYTIME, type, 0); }
    void SetTipBkColor(COLORREF c) { SendMessage(TTM_SETTIPBKCOLOR, c, 0); }
    void SetTipTextColor(COLORREF c) { SendMessage(TTM_SETTIPTEXTCOLOR, c, 0); }
    BOOL SetTitle(UINT icon, LPCWSTR title) { return (BOOL)SendMessage(TTM_SETTITLEW, icon, (LPARAM)title); }
    void Pop() { SendMessage(TTM_POP, 0, 0); }
    void Update() { SendMessage(TTM_UPDATE, 0, 0); }
};

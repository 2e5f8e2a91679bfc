// An icon push button and a hyperlink-style label.
#pragma once
#include "afxwin.h"
#include "look/staticcolors.h"

// A new icon whose colour pixels are looked up by luminance in a table of 256 colours (entry 0 for
// white, 255 for black), keeping each pixel's alpha and the source's mask; null on any failure.
// The caller owns the result.
HICON CreateMappedIcon(HICON icon, const COLORREF* table);
// A grey copy of an icon (null for a null icon or on failure); the caller owns the result.
HICON CreateGrayscaleIcon(HICON icon);

// An owner-drawn push button (BS_OWNERDRAW) showing a small icon beside a caption it draws itself,
// and a grey copy of the icon while disabled. Dialogs move the window text into the caption:
//     CString text; m_btn.GetWindowText(text); m_btn.SetWindowText(L"");
//     m_btn.SetIcon(icon16, 16, 16, text);
class CMyBtn : public CButton {
public:
    CMyBtn() = default;
    ~CMyBtn() override;
    CMyBtn(const CMyBtn&) = delete;
    CMyBtn& operator=(const CMyBtn&) = delete;

    // Takes ownership of `icon` (null: no icon), destroying the icon pair held before; makes the
    // grey copy, stores the layout size and the caption, and redraws at once.
    void SetIcon(HICON icon, int width, int height, const CString& caption);
    HICON GetButtonIcon() const { return m_hIcon; }
    HICON GetGrayIcon() const { return m_hGrayIcon; }
    const CString& GetCaption() const { return m_strCaption; }

    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void OnCustomDraw(NMHDR* header, LRESULT* result);

protected:
    // Caption and icon into a DC over a button rectangle.
    void DrawContent(HDC dc, const RECT& rect);

    HICON m_hIcon = nullptr;
    HICON m_hGrayIcon = nullptr;
    int m_nIconWidth = 16;
    int m_nIconHeight = 16;
    CString m_strCaption;

    DECLARE_MESSAGE_MAP()
};

// A static text that looks like a hyperlink: link-coloured text on a pale background, the hand
// cursor over the text. It opens nothing itself: give the control SS_NOTIFY and handle its click
// in the dialog as a command of its id (ON_STN_CLICKED).
class CMy_Link_Static : public CStatic {
public:
    CMy_Link_Static();
    ~CMy_Link_Static() override = default;
    CMy_Link_Static(const CMy_Link_Static&) = delete;
    CMy_Link_Static& operator=(const CMy_Link_Static&) = delete;

    // Each stores the colour and redraws at once.
    void SetLinkColor(COLORREF color);
    void SetBkColor(COLORREF color);
    COLORREF GetLinkColor() const { return m_colors.Text(); }
    COLORREF GetBkColor() const { return m_colors.Background(); }

    HBRUSH CtlColor(CDC* dc, UINT ctlColor);

protected:
    void PreSubclassWindow() override;
    LRESULT OnSetFont(WPARAM font, LPARAM redraw);
    void OnDestroy();
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);

    // Blue text on a pale background until the dialog sets its own.
    ZrStaticColors m_colors{ RGB(241, 244, 250), RGB(0, 0, 255) };
    CFont m_font; // Verdana 13; owned by the control

private:
    // The brush and the font, unless they exist.
    void CreateGdiObjects();

    DECLARE_MESSAGE_MAP()
};

// GDI objects, device contexts and the leak accounting of the class library.
#include <gtest/gtest.h>

#include <vector>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"

namespace {

bool Alive(HGDIOBJ h) { return ::GetObjectType(h) != 0; }

// A top-level window whose paint handler builds a small off-screen picture with a font, a brush,
// a pen and a compatible bitmap made afresh each time, as the program's custom-drawn views do.
class PaintWindow : public CWnd {
public:
    int paints = 0;
    bool leak = false;                 // keep one brush handle per paint, as a careless handler would
    std::vector<HGDIOBJ> leaked;
    COLORREF sampled = CLR_INVALID;    // a pixel of the off-screen picture, read before it is shown

    BOOL Open(UINT classStyle = CS_DBLCLKS)
    {
        LPCWSTR cls = classStyle & CS_OWNDC ? CWnd::RegisterClassOnce(L"ZrGdiTestOwnDC", classStyle)
                                            : CWnd::RegisterClassOnce(L"ZrGdiTestWindow", classStyle);
        return CreateEx(0, cls, L"GDI test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 320, 200,
                        nullptr, nullptr);
    }

    void OnPaint()
    {
        CPaintDC dc(this);
        CFont font;
        font.CreatePointFont(90, L"Tahoma", &dc);
        CBrush brush(RGB(0, 0, 200));
        CPen pen(PS_SOLID, 1, RGB(200, 0, 0));
        CDC mem;
        mem.CreateCompatibleDC(&dc);
        CBitmap bmp;
        bmp.CreateCompatibleBitmap(&dc, 120, 40);

        HGDIOBJ oldBmp = mem.SelectObject(&bmp);
        int saved = mem.SaveDC();
        mem.SelectObject(&font);
        mem.SelectObject(&pen);
        mem.SelectObject(&brush);
        mem.FillSolidRect(0, 0, 120, 40, RGB(255, 255, 255));
        mem.Rectangle(10, 10, 30, 30);
        mem.TextOut(40, 10, CString(L"Paint"));
        sampled = mem.GetPixel(20, 20);
        dc.BitBlt(0, 0, 120, 40, &mem, 0, 0, SRCCOPY);
        mem.RestoreDC(saved);
        mem.SelectObject(oldBmp);

        if (leak) {
            CBrush lost(RGB(1, 2, 3));
            leaked.push_back(lost.Detach());
        }
        ++paints;
    }

    void Repaint(int times)
    {
        for (int i = 0; i < times; ++i)
            ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PaintWindow, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

} // namespace

// ---- Ownership -------------------------------------------------------------------------------

TEST(GdiOwnership, CreatedObjectsAreDeletedOnceAndCounted)
{
    const int base = ZrGdiLiveObjects();
    HGDIOBJ brush, font;
    {
        CBrush b(RGB(1, 2, 3));
        CFont f;
        ASSERT_TRUE(f.CreatePointFont(100, L"Arial"));
        CRgn r;
        ASSERT_TRUE(r.CreateRectRgn(0, 0, 10, 10));
        brush = b.m_hObject;
        font = f.m_hObject;
        EXPECT_EQ(base + 3, ZrGdiLiveObjects());
        // Deleting early leaves nothing for the destructor to delete a second time.
        EXPECT_TRUE(r.DeleteObject());
        EXPECT_FALSE(r.DeleteObject());
        EXPECT_EQ(base + 2, ZrGdiLiveObjects());
        // Recreating is refused (one of two handles would be lost) and the refused one not kept.
        EXPECT_FALSE(b.CreateSolidBrush(RGB(2, 2, 2)));
        EXPECT_EQ(brush, b.m_hObject);
        EXPECT_EQ(base + 2, ZrGdiLiveObjects());
    }
    EXPECT_FALSE(Alive(brush));
    EXPECT_FALSE(Alive(font));
    EXPECT_EQ(base, ZrGdiLiveObjects());

    // An attached handle is owned, and was never the layer's to count.
    HBRUSH foreign = ::CreateSolidBrush(RGB(9, 9, 9));
    {
        CBrush b;
        ASSERT_TRUE(b.Attach(foreign));
        EXPECT_FALSE(b.Attach(::GetSysColorBrush(COLOR_WINDOW)));   // already holds one
    }
    EXPECT_FALSE(Alive(foreign));
    EXPECT_EQ(base, ZrGdiLiveObjects());

    // A detached handle stays counted until someone, even not the layer, deletes it.
    HGDIOBJ kept;
    {
        CPen p(PS_SOLID, 2, RGB(0, 0, 0));
        kept = p.Detach();
    }
    EXPECT_TRUE(Alive(kept));
    EXPECT_EQ(base + 1, ZrGdiLiveObjects());
    ::DeleteObject(kept);
    EXPECT_EQ(base, ZrGdiLiveObjects());

    // System objects are neither counted nor deleted.
    HBRUSH sys = ::GetSysColorBrush(COLOR_BTNFACE);
    {
        CPen p;
        ASSERT_TRUE(p.CreateStockObject(BLACK_PEN));
        CBrush b;
        ASSERT_TRUE(b.CreateSysColorBrush(COLOR_BTNFACE));
        EXPECT_EQ(base, ZrGdiLiveObjects());
    }
    EXPECT_TRUE(Alive(::GetStockObject(BLACK_PEN)));
    EXPECT_TRUE(Alive(sys));
}

TEST(GdiOwnership, FromHandleTemporariesAndWindowFontsNeverDelete)
{
    CWnd::DeleteTempMap();
    HFONT f = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    HDC screen = ::GetDC(nullptr);
    CFont* tf = CFont::FromHandle(f);
    EXPECT_EQ(tf, CFont::FromHandle(f));   // one temporary per handle
    EXPECT_EQ(nullptr, CFont::FromHandle(nullptr));
    EXPECT_EQ(screen, CDC::FromHandle(screen)->m_hDC);
    CWnd label;   // a control: plain windows keep no font
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"label", WS_POPUP, CRect(0, 0, 80, 20), nullptr, 0));
    label.SetFont(tf, FALSE);
    EXPECT_EQ(tf, label.GetFont());   // the font comes back as its temporary
    EXPECT_EQ(2, ZrGdiTempObjects());
    CWnd::DeleteTempMap();
    EXPECT_EQ(0, ZrGdiTempObjects());
    EXPECT_TRUE(Alive(f));
    EXPECT_EQ(OBJ_DC, ::GetObjectType(screen));
    label.DestroyWindow();
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(f);
}

// ---- Device contexts -------------------------------------------------------------------------

TEST(GdiDC, MemoryDCsDrawAndAreDeletedByTheirObjects)
{
    const int dcs = ZrGdiLiveDCs();
    HDC made;
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        made = dc.m_hDC;
        EXPECT_FALSE(dc.CreateCompatibleDC(nullptr));   // already holds one
        EXPECT_EQ(dcs + 1, ZrGdiLiveDCs());
        CBitmap bmp;
        ASSERT_TRUE(bmp.CreateBitmap(100, 60, 1, 32, nullptr));
        HGDIOBJ old = dc.SelectObject(&bmp);
        CPen pen(PS_SOLID, 1, RGB(0, 255, 0));
        EXPECT_EQ(::GetStockObject(BLACK_PEN), dc.SelectObject(&pen));
        EXPECT_EQ(nullptr, dc.SelectObject((CPen*)nullptr));   // nothing selected, nothing changed
        EXPECT_EQ(pen.m_hObject, dc.GetCurrentObject(OBJ_PEN));
        dc.SelectStockObject(BLACK_PEN);

        // FillSolidRect paints and leaves the background colour alone.
        dc.SetBkColor(RGB(1, 2, 3));
        dc.FillSolidRect(CRect(0, 0, 100, 60), RGB(255, 255, 255));
        EXPECT_EQ(RGB(255, 255, 255), dc.GetPixel(50, 30));
        EXPECT_EQ(RGB(1, 2, 3), dc.GetBkColor());
        // The 3D frame: the second colour owns the top-right and bottom-left corners.
        dc.Draw3dRect(CRect(70, 30, 90, 50), RGB(0, 255, 0), RGB(0, 0, 0));
        EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(88, 30));
        EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(89, 30));
        EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(70, 49));
        // The extent of a whole NUL-terminated string.
        CFont font;
        ASSERT_TRUE(font.CreatePointFont(120, L"Arial", &dc));
        HGDIOBJ oldFont = dc.SelectObject(&font);
        CSize three = dc.GetTextExtent(CString(L"WWW"));
        EXPECT_GT(three.cx, 2 * dc.GetTextExtent(L"W", 1).cx);
        EXPECT_EQ(three, dc.GetTextExtent(L"WWW", -1));
        dc.SelectObject(oldFont);
        dc.SelectObject(old);
    }
    EXPECT_EQ(0u, ::GetObjectType(made));
    EXPECT_EQ(dcs, ZrGdiLiveDCs());

    HDC foreign = ::CreateCompatibleDC(nullptr);
    {
        CDC dc;
        dc.Attach(foreign);
        dc.Detach();
    }
    EXPECT_EQ((DWORD)OBJ_MEMDC, ::GetObjectType(foreign));   // detached: given up
    {
        CDC dc;
        dc.Attach(foreign);
    }
    EXPECT_EQ(0u, ::GetObjectType(foreign));                 // attached: owned
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
}

// ---- Painting --------------------------------------------------------------------------------

TEST(GdiPaint, TwoHundredRepaintsLeaveTheCountsUnchangedAndALeakShows)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open());
    w.Repaint(1);   // the first paint may make lasting system objects (font caches and such)
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&m);
    const int before = w.paints;
    const int objects = ZrGdiLiveObjects();
    const int dcs = ZrGdiLiveDCs();
    const int temps = ZrGdiTempObjects();

    w.Repaint(200);
    EXPECT_EQ(before + 200, w.paints);
    EXPECT_EQ(RGB(0, 0, 200), w.sampled);   // the off-screen picture really was drawn
    EXPECT_EQ(objects, ZrGdiLiveObjects());
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    EXPECT_EQ(temps, ZrGdiTempObjects());

    // The counter counts: a paint that keeps a brush each time raises it.
    w.leak = true;
    w.Repaint(50);
    EXPECT_EQ(objects + 50, ZrGdiLiveObjects());
    for (HGDIOBJ h : w.leaked)
        ::DeleteObject(h);
    EXPECT_EQ(objects, ZrGdiLiveObjects());
    w.DestroyWindow();
}

TEST(GdiPaint, WindowDCsComeBackAndTemporariesGo)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open());
    CWnd::DeleteTempMap();
    const int dcs = ZrGdiLiveDCs();
    for (int i = 0; i < 100; ++i) {
        CDC* dc = w.GetDC();
        ASSERT_NE(nullptr, dc);
        EXPECT_EQ(1, w.ReleaseDC(dc));
    }
    EXPECT_EQ(0, ZrGdiTempObjects());   // released DCs are forgotten at once, not at idle
    EXPECT_EQ(dcs, ZrGdiLiveDCs());

    // An unreleased DC shows, and keeps its object across the idle-time clean-up.
    CDC* held = w.GetDC();
    EXPECT_EQ(dcs + 1, ZrGdiLiveDCs());
    CWnd::DeleteTempMap();
    EXPECT_NE(nullptr, held->m_hDC);
    w.ReleaseDC(held);
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    EXPECT_EQ(0, ZrGdiTempObjects());
    {
        CClientDC client(&w);
        CWindowDC whole(&w);
        EXPECT_EQ(dcs + 2, ZrGdiLiveDCs());
    }
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    w.DestroyWindow();

    // A window's own DC is one object until the last release.
    PaintWindow own;
    ASSERT_TRUE(own.Open(CS_OWNDC));
    CDC* a = own.GetDC();
    CDC* b = own.GetDC();
    ASSERT_EQ(a, b);
    own.ReleaseDC(a);
    EXPECT_NE(nullptr, b->m_hDC);   // still in use through the second GetDC
    own.ReleaseDC(b);
    EXPECT_EQ(0, ZrGdiTempObjects());
    own.DestroyWindow();
}

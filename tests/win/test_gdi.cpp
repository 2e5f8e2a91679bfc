// GDI objects, device contexts and the leak accounting of the class library.
#include <gtest/gtest.h>

#include <vector>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"

namespace {

bool Alive(HGDIOBJ h) { return ::GetObjectType(h) != 0; }

void Pump()
{
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

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
        HGDIOBJ oldFont = mem.SelectObject(&font);
        HGDIOBJ oldPen = mem.SelectObject(&pen);
        HGDIOBJ oldBrush = mem.SelectObject(&brush);
        mem.FillSolidRect(0, 0, 120, 40, RGB(255, 255, 255));
        mem.Rectangle(10, 10, 30, 30);
        mem.SetBkMode(TRANSPARENT);
        mem.TextOut(40, 10, CString(L"Paint"));
        sampled = mem.GetPixel(20, 20);
        dc.BitBlt(0, 0, 120, 40, &mem, 0, 0, SRCCOPY);
        mem.SelectObject(oldBrush);
        mem.SelectObject(oldPen);
        mem.SelectObject(oldFont);
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
    HGDIOBJ brush, pen, font, region;
    {
        CBrush b(RGB(1, 2, 3));
        CPen p(PS_DOT, 1, RGB(4, 5, 6));
        CFont f;
        ASSERT_TRUE(f.CreatePointFont(100, L"Arial"));
        CRgn r;
        ASSERT_TRUE(r.CreateRectRgn(0, 0, 10, 10));
        brush = b.m_hObject;
        pen = p.m_hObject;
        font = f.m_hObject;
        region = r.m_hObject;
        EXPECT_TRUE(Alive(brush) && Alive(pen) && Alive(font) && Alive(region));
        EXPECT_EQ(base + 4, ZrGdiLiveObjects());

        // Deleting early leaves nothing for the destructor to delete a second time.
        EXPECT_TRUE(r.DeleteObject());
        EXPECT_EQ(nullptr, r.m_hObject);
        EXPECT_FALSE(r.DeleteObject());
        EXPECT_EQ(base + 3, ZrGdiLiveObjects());
    }
    EXPECT_FALSE(Alive(brush));
    EXPECT_FALSE(Alive(pen));
    EXPECT_FALSE(Alive(font));
    EXPECT_FALSE(Alive(region));
    EXPECT_EQ(base, ZrGdiLiveObjects());
}

TEST(GdiOwnership, AttachOwnsAndDetachGivesUp)
{
    const int base = ZrGdiLiveObjects();
    HBRUSH foreign = ::CreateSolidBrush(RGB(9, 9, 9));
    {
        CBrush b;
        ASSERT_TRUE(b.Attach(foreign));
        EXPECT_FALSE(b.Attach(::GetSysColorBrush(COLOR_WINDOW)));   // already holds one
        EXPECT_EQ(foreign, (HBRUSH)b);
    }
    EXPECT_FALSE(Alive(foreign));   // an attached handle is owned
    EXPECT_EQ(base, ZrGdiLiveObjects());   // and was never the layer's to count

    HGDIOBJ kept;
    {
        CPen p(PS_SOLID, 2, RGB(0, 0, 0));
        kept = p.Detach();
        EXPECT_EQ(nullptr, p.m_hObject);
    }
    EXPECT_TRUE(Alive(kept));
    // Still alive, still made by the layer: counted until someone deletes it...
    EXPECT_EQ(base + 1, ZrGdiLiveObjects());
    ::DeleteObject(kept);
    // ...even when that someone is not the layer.
    EXPECT_EQ(base, ZrGdiLiveObjects());

    // A detached handle can be handed to another object, which then deletes it.
    {
        CFont a;
        ASSERT_TRUE(a.CreatePointFont(80, L"Arial"));
        CFont b;
        b.Attach(a.Detach());
        EXPECT_EQ(base + 1, ZrGdiLiveObjects());
    }
    EXPECT_EQ(base, ZrGdiLiveObjects());
}

TEST(GdiOwnership, RecreatingFailsAndSystemObjectsAreNeverCounted)
{
    const int base = ZrGdiLiveObjects();
    {
        CPen p(PS_SOLID, 1, RGB(1, 1, 1));
        HGDIOBJ first = p.m_hObject;
        EXPECT_FALSE(p.CreatePen(PS_SOLID, 3, RGB(2, 2, 2)));   // would lose one of two handles
        EXPECT_EQ(first, p.m_hObject);
        EXPECT_EQ(base + 1, ZrGdiLiveObjects());                // and the refused one was not kept
    }
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

TEST(GdiOwnership, FromHandleTemporariesNeverDelete)
{
    CWnd::DeleteTempMap();
    HFONT f = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    HBITMAP bmp = ::CreateBitmap(4, 4, 1, 32, nullptr);
    CFont* tf = CFont::FromHandle(f);
    EXPECT_EQ(tf, CFont::FromHandle(f));   // one temporary per handle
    EXPECT_EQ(f, (HFONT)*tf);
    CBitmap* tb = CBitmap::FromHandle(bmp);
    EXPECT_EQ(CSize(4, 4), tb->GetSize());
    EXPECT_EQ(nullptr, CFont::FromHandle(nullptr));
    HDC screen = ::GetDC(nullptr);
    CDC* td = CDC::FromHandle(screen);
    EXPECT_EQ(screen, td->m_hDC);
    EXPECT_EQ(3, ZrGdiTempObjects());

    CWnd::DeleteTempMap();
    EXPECT_EQ(0, ZrGdiTempObjects());
    EXPECT_TRUE(Alive(f));
    EXPECT_TRUE(Alive(bmp));
    EXPECT_EQ(OBJ_DC, ::GetObjectType(screen));
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(f);
    ::DeleteObject(bmp);
}

// ---- Device contexts -------------------------------------------------------------------------

TEST(GdiDC, MemoryDCsAreDeletedByTheirObjects)
{
    const int base = ZrGdiLiveDCs();
    HDC made;
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        made = dc.m_hDC;
        EXPECT_FALSE(dc.CreateCompatibleDC(nullptr));   // already holds one
        EXPECT_EQ(made, dc.m_hDC);
        EXPECT_EQ(base + 1, ZrGdiLiveDCs());
    }
    EXPECT_EQ(0u, ::GetObjectType(made));
    EXPECT_EQ(base, ZrGdiLiveDCs());

    // Attach owns, Detach gives up.
    HDC foreign = ::CreateCompatibleDC(nullptr);
    {
        CDC dc;
        dc.Attach(foreign);
    }
    EXPECT_EQ(0u, ::GetObjectType(foreign));
    foreign = ::CreateCompatibleDC(nullptr);
    {
        CDC dc;
        dc.Attach(foreign);
        dc.Detach();
    }
    EXPECT_EQ((DWORD)OBJ_MEMDC, ::GetObjectType(foreign));
    ::DeleteDC(foreign);
    EXPECT_EQ(base, ZrGdiLiveDCs());
}

TEST(GdiDC, SelectObjectHandsBackThePreviousObject)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CDC screen;
    screen.Attach(::GetDC(nullptr));
    CBitmap bmp;
    ASSERT_TRUE(bmp.CreateCompatibleBitmap(&screen, 16, 16));
    ::ReleaseDC(nullptr, screen.Detach());

    HGDIOBJ defaultBitmap = dc.GetCurrentObject(OBJ_BITMAP);
    HGDIOBJ old = dc.SelectObject(&bmp);
    EXPECT_EQ(defaultBitmap, old);
    EXPECT_EQ(bmp.m_hObject, dc.GetCurrentObject(OBJ_BITMAP));

    CPen pen(PS_SOLID, 1, RGB(0, 255, 0));
    HGDIOBJ oldPen = dc.SelectObject(&pen);
    EXPECT_EQ(::GetStockObject(BLACK_PEN), oldPen);
    EXPECT_EQ(nullptr, dc.SelectObject((CPen*)nullptr));   // nothing selected, nothing changed
    EXPECT_EQ(pen.m_hObject, dc.GetCurrentObject(OBJ_PEN));

    EXPECT_EQ(pen.m_hObject, dc.SelectObject(oldPen));
    EXPECT_EQ(bmp.m_hObject, dc.SelectObject(old));
    EXPECT_EQ(defaultBitmap, dc.GetCurrentObject(OBJ_BITMAP));
}

TEST(GdiDC, FillsFramesGradientsAndText)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CBitmap bmp;
    ASSERT_TRUE(bmp.CreateBitmap(100, 60, 1, 32, nullptr));
    HGDIOBJ old = dc.SelectObject(&bmp);

    // FillSolidRect paints and leaves the background colour alone.
    dc.SetBkColor(RGB(1, 2, 3));
    dc.FillSolidRect(CRect(0, 0, 100, 60), RGB(255, 255, 255));
    EXPECT_EQ(RGB(255, 255, 255), dc.GetPixel(50, 30));
    EXPECT_EQ(RGB(1, 2, 3), dc.GetBkColor());

    // The 3D frame: one colour top and left, the other bottom and right, corners included.
    dc.Draw3dRect(CRect(70, 30, 90, 50), RGB(0, 255, 0), RGB(0, 0, 0));
    EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(70, 40));
    EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(88, 30));
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(89, 30));
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(70, 49));
    EXPECT_EQ(RGB(255, 255, 255), dc.GetPixel(80, 40));

    ASSERT_TRUE(dc.FillGradientRect(CRect(0, 52, 100, 60), RGB(0, 0, 0), RGB(250, 250, 250), false));
    EXPECT_LT(GetRValue(dc.GetPixel(0, 55)), 10);
    EXPECT_GT(GetRValue(dc.GetPixel(99, 55)), 230);

    // Point sizes follow the DC's resolution; extents of a whole NUL-terminated string.
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(120, L"Arial", &dc));
    LOGFONTW lf = {};
    ASSERT_TRUE(font.GetLogFont(&lf));
    EXPECT_EQ(-::MulDiv(12, dc.GetDeviceCaps(LOGPIXELSY), 72), lf.lfHeight);
    HGDIOBJ oldFont = dc.SelectObject(&font);
    CSize three = dc.GetTextExtent(CString(L"WWW"));
    EXPECT_GT(three.cx, 2 * dc.GetTextExtent(L"W", 1).cx);
    EXPECT_EQ(three, dc.GetTextExtent(L"WWW", -1));
    EXPECT_EQ(0, dc.GetTextExtent(CString()).cx);
    dc.SelectObject(oldFont);
    dc.SelectObject(old);
}

// ---- Painting --------------------------------------------------------------------------------

TEST(GdiPaint, TwoHundredRepaintsLeaveTheCountsUnchanged)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open());
    w.Repaint(1);   // the first paint may make lasting system objects (font caches and such)
    Pump();
    const int objects = ZrGdiLiveObjects();
    const int dcs = ZrGdiLiveDCs();
    const int temps = ZrGdiTempObjects();
    const int before = w.paints;

    w.Repaint(200);
    EXPECT_EQ(before + 200, w.paints);
    EXPECT_EQ(RGB(0, 0, 200), w.sampled);   // the off-screen picture really was drawn
    EXPECT_EQ(objects, ZrGdiLiveObjects());
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    EXPECT_EQ(temps, ZrGdiTempObjects());
    w.DestroyWindow();
}

TEST(GdiPaint, ALeakyPaintShowsInTheCount)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open());
    w.Repaint(1);
    const int objects = ZrGdiLiveObjects();
    w.leak = true;
    w.Repaint(50);
    EXPECT_EQ(50u, w.leaked.size());
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
        dc->SetPixel(1, 1, RGB(0, 0, 0));
        EXPECT_EQ(1, w.ReleaseDC(dc));
    }
    EXPECT_EQ(0, ZrGdiTempObjects());   // released DCs are forgotten at once, not at idle
    EXPECT_EQ(dcs, ZrGdiLiveDCs());

    // An unreleased DC shows, and keeps its object across the idle-time clean-up.
    CDC* held = w.GetDC();
    EXPECT_EQ(dcs + 1, ZrGdiLiveDCs());
    CWnd::DeleteTempMap();
    EXPECT_EQ(1, ZrGdiTempObjects());
    EXPECT_NE(nullptr, held->m_hDC);
    w.ReleaseDC(held);
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    EXPECT_EQ(0, ZrGdiTempObjects());

    {
        CClientDC client(&w);
        CWindowDC whole(&w);
        EXPECT_EQ(dcs + 2, ZrGdiLiveDCs());
        CRect box;
        client.GetClipBox(&box);
        CRect area;
        w.GetClientRect(&area);
        EXPECT_EQ(area, box);
    }
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    w.DestroyWindow();
}

TEST(GdiPaint, AWindowsOwnDCIsOneObjectUntilTheLastRelease)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open(CS_OWNDC));
    CWnd::DeleteTempMap();
    CDC* a = w.GetDC();
    CDC* b = w.GetDC();
    ASSERT_EQ(a, b);   // the same handle each time, hence the same temporary
    w.ReleaseDC(a);
    EXPECT_NE(nullptr, b->m_hDC);   // still in use through the second GetDC
    EXPECT_EQ(1, ZrGdiTempObjects());
    w.ReleaseDC(b);
    EXPECT_EQ(0, ZrGdiTempObjects());
    w.DestroyWindow();
}

TEST(GdiPaint, FontsGoToWindowsAndComeBackAsTemporaries)
{
    PaintWindow w;
    ASSERT_TRUE(w.Open());
    CWnd label;   // a control: plain windows keep no font
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"label", WS_CHILD | WS_VISIBLE, CRect(0, 0, 80, 20), &w, 1));
    CWnd::DeleteTempMap();
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(110, L"Arial"));
    label.SetFont(&font, FALSE);
    CFont* got = label.GetFont();
    ASSERT_NE(nullptr, got);
    EXPECT_NE(&font, got);
    EXPECT_EQ(font.m_hObject, got->m_hObject);
    CWnd::DeleteTempMap();
    EXPECT_TRUE(Alive(font.m_hObject));   // the temporary did not take the font with it
    label.SetFont((CFont*)nullptr, FALSE);
    EXPECT_EQ(nullptr, label.GetFont());
    w.DestroyWindow();
}

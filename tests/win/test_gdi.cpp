// GDI objects, device contexts and the leak accounting of the class library.
#include <gtest/gtest.h>

#include <vector>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"

namespace {

bool Alive(HGDIOBJ h) { return ::GetObjectType(h) != 0; }

// A window whose paint makes a font, brush, pen and off-screen bitmap afresh each time, as the
// program's custom-drawn views do.
class PaintWindow : public CWnd {
public:
    int paints = 0;
    bool leak = false;                 // keep one brush handle per paint, as a careless handler would
    std::vector<HGDIOBJ> leaked;
    COLORREF sampled = CLR_INVALID;    // a pixel of the off-screen picture, read before it is shown

    BOOL Open()
    {
        LPCWSTR cls = CWnd::RegisterClassOnce(L"ZrGdiTestWindow", CS_DBLCLKS);
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
        EXPECT_TRUE(r.DeleteObject());
        EXPECT_FALSE(r.DeleteObject());
        EXPECT_EQ(base + 2, ZrGdiLiveObjects());
        // Recreating is refused: one of two handles would be lost.
        EXPECT_FALSE(b.CreateSolidBrush(RGB(2, 2, 2)));
        EXPECT_EQ(brush, b.m_hObject);
        EXPECT_EQ(base + 2, ZrGdiLiveObjects());
    }
    EXPECT_FALSE(Alive(brush));
    EXPECT_FALSE(Alive(font));
    EXPECT_EQ(base, ZrGdiLiveObjects());

    // A detached handle stays counted until someone deletes it.
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

TEST(GdiDC, WindowAndMemoryDCsAreReleasedAndDeleted)
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
    {
        CClientDC client(&w);
        CWindowDC whole(&w);
        CDC mem;
        ASSERT_TRUE(mem.CreateCompatibleDC(&client));
        EXPECT_FALSE(mem.CreateCompatibleDC(nullptr));   // already holds one
        EXPECT_EQ(dcs + 3, ZrGdiLiveDCs());
    }
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    w.DestroyWindow();
}

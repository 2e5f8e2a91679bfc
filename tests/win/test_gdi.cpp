// GDI object ownership and the leak accounting that the repaint tests of the controls and of
// the Basic Search dialog rely on.
#include <gtest/gtest.h>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"

namespace {

bool Alive(HGDIOBJ h)
{
    return ::GetObjectType(h) != 0;
}

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

    // System objects are neither counted nor deleted.
    {
        CPen p;
        ASSERT_TRUE(p.CreateStockObject(BLACK_PEN));
        EXPECT_EQ(base, ZrGdiLiveObjects());
    }
    EXPECT_TRUE(Alive(::GetStockObject(BLACK_PEN)));
}

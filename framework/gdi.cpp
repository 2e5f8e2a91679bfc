#include "gdi.h"
#include "temporaries.h"
#include "wnd.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace {

// Handles the layer made and has not deleted. A handle given away by Detach stays listed while it
// exists; whoever deletes it outside the layer is noticed when the list is next pruned.
struct Registry {
    std::mutex lock;
    std::unordered_set<HGDIOBJ> objects;
    std::unordered_set<HDC> dcs;
    size_t pruneAt = 256;
    int windowDCs = 0;
};

Registry& Reg()
{
    static auto* r = new Registry(); // never destroyed: objects may outlive statics
    return *r;
}

// Drops handles that no longer exist. Called with the lock held.
void PruneLocked(Registry& r)
{
    for (auto it = r.objects.begin(); it != r.objects.end();)
        it = ::GetObjectType(*it) == 0 ? r.objects.erase(it) : std::next(it);
    for (auto it = r.dcs.begin(); it != r.dcs.end();)
        it = ::GetObjectType(*it) == 0 ? r.dcs.erase(it) : std::next(it);
    // Amortised: a program that hands handles out and deletes them itself must not make the
    // list grow without bound.
    r.pruneAt = (r.objects.size() + r.dcs.size()) * 2 + 256;
}

void Record(HGDIOBJ h)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.objects.insert(h);
    if (r.objects.size() + r.dcs.size() >= r.pruneAt)
        PruneLocked(r);
}

void Forget(HGDIOBJ h)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.objects.erase(h);
}

void RecordDC(HDC h)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.dcs.insert(h);
    if (r.objects.size() + r.dcs.size() >= r.pruneAt)
        PruneLocked(r);
}

void ForgetDC(HDC h)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.dcs.erase(h);
}

void NoteWindowDCs(int delta)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.windowDCs += delta;
}

// The calling thread's temporaries. A DC from CWnd::GetDC carries a count of the GetDC calls not
// yet matched by ReleaseDC (a class or own DC is the same handle each time).
struct TempDC {
    std::unique_ptr<CDC> dc;
    int windowRefs = 0;
};
struct TempMaps {
    std::unordered_map<HGDIOBJ, std::unique_ptr<CGdiObject>> objects;
    std::unordered_map<HDC, TempDC> dcs;
};
thread_local TempMaps* t_temps = nullptr;

// Frees the calling thread's temporary GDI and DC objects (CWnd::DeleteTempMap runs it).
void DeleteThreadTemps()
{
    TempMaps* t = t_temps;
    if (!t)
        return;
    for (auto& kv : t->objects) {
        kv.second->m_hObject = nullptr; // temporaries never own their handles
        ZrRetireTemporary(std::move(kv.second));
    }
    t->objects.clear();
    // A DC taken by CWnd::GetDC and not yet released keeps its object until ReleaseDC, so the
    // pointer the caller holds stays good.
    for (auto it = t->dcs.begin(); it != t->dcs.end();) {
        if (it->second.windowRefs > 0) {
            ++it;
        } else {
            it->second.dc->m_hDC = nullptr;
            ZrRetireTemporary(std::move(it->second.dc));
            it = t->dcs.erase(it);
        }
    }
    if (t->dcs.empty()) {
        t_temps = nullptr; // nothing left: a thread that ends now leaves nothing behind
        delete t;
    }
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

CGdiObject* NewWrapperFor(HGDIOBJ h)
{
    switch (::GetObjectType(h)) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
        return new CPen();
    case OBJ_BRUSH:
        return new CBrush();
    case OBJ_FONT:
        return new CFont();
    case OBJ_BITMAP:
        return new CBitmap();
    case OBJ_REGION:
        return new CRgn();
    default:
        return new CGdiObject();
    }
}

} // namespace

int ZrGdiLiveObjects()
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    PruneLocked(r);
    return (int)r.objects.size();
}

int ZrGdiLiveDCs()
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.lock);
    PruneLocked(r);
    return (int)r.dcs.size() + r.windowDCs;
}

int ZrGdiTempObjects()
{
    return t_temps ? (int)(t_temps->objects.size() + t_temps->dcs.size()) : 0;
}

// ---- CGdiObject ------------------------------------------------------------------------------

CGdiObject::~CGdiObject()
{
    DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ h)
{
    if (!h || m_hObject)
        return FALSE;
    m_hObject = h;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    HGDIOBJ h = Detach();
    if (!h)
        return FALSE;
    // Stock objects and system colour brushes may be held too: deleting them is a harmless no-op.
    BOOL ok = ::DeleteObject(h);
    if (ok)
        Forget(h);
    return ok;
}

BOOL CGdiObject::Adopt(HGDIOBJ h)
{
    if (!h)
        return FALSE;
    if (m_hObject) {
        // Creating over a live object would lose one of the two handles: refuse, and do not
        // leak the new one.
        ::DeleteObject(h);
        return FALSE;
    }
    m_hObject = h;
    Record(h);
    return TRUE;
}

BOOL CGdiObject::CreateStockObject(int index)
{
    HGDIOBJ h = ::GetStockObject(index);
    return h ? Attach(h) : FALSE;
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h)
{
    if (!h)
        return nullptr;
    auto& slot = Temps().objects[h];
    if (!slot) {
        slot.reset(NewWrapperFor(h));
        slot->m_hObject = h;
    }
    return slot.get();
}

BOOL CBrush::CreatePatternBrush(CBitmap* bitmap)
{
    return Adopt(::CreatePatternBrush((HBITMAP)SafeHandle(bitmap)));
}

BOOL CBrush::CreateSysColorBrush(int index)
{
    HBRUSH h = ::GetSysColorBrush(index);
    return h ? Attach(h) : FALSE;
}

BOOL CFont::CreatePointFont(int pointSize, LPCWSTR faceName, CDC* dc)
{
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfHeight = pointSize;
    if (faceName)
        lstrcpynW(lf.lfFaceName, faceName, LF_FACESIZE);
    return CreatePointFontIndirect(&lf, dc);
}

BOOL CFont::CreatePointFontIndirect(const LOGFONTW* lf, CDC* dc)
{
    HDC hdc = CDC::SafeHdc(dc);
    HDC screen = hdc ? nullptr : ::GetDC(nullptr);
    HDC use = hdc ? hdc : screen;
    // Tenths of a point to logical units: device pixels first, then through the DC's mapping.
    POINT size = { 0, ::MulDiv(::GetDeviceCaps(use, LOGPIXELSY), lf->lfHeight, 720) };
    POINT origin = { 0, 0 };
    ::DPtoLP(use, &size, 1);
    ::DPtoLP(use, &origin, 1);
    if (screen)
        ::ReleaseDC(nullptr, screen);
    LOGFONTW copy = *lf;
    copy.lfHeight = -abs(size.y - origin.y);
    return CreateFontIndirect(&copy);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    HDC hdc = CDC::SafeHdc(dc);
    if (hdc)
        return Adopt(::CreateCompatibleBitmap(hdc, width, height));
    HDC screen = ::GetDC(nullptr);
    BOOL ok = Adopt(::CreateCompatibleBitmap(screen, width, height));
    ::ReleaseDC(nullptr, screen);
    return ok;
}

CSize CBitmap::GetSize() const
{
    BITMAP bm = {};
    if (!m_hObject || !GetBitmap(&bm))
        return CSize();
    return CSize(bm.bmWidth, bm.bmHeight);
}

// ---- CDC -------------------------------------------------------------------------------------

CDC::~CDC()
{
    if (m_hDC)
        DeleteDC();
}

BOOL CDC::Attach(HDC h)
{
    if (!h || m_hDC)
        return FALSE;
    m_hDC = h;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    m_hDC = nullptr;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc)
{
    if (m_hDC)
        return FALSE;
    HDC h = ::CreateCompatibleDC(SafeHdc(dc));
    if (!h)
        return FALSE;
    m_hDC = h;
    RecordDC(h);
    return TRUE;
}

BOOL CDC::CreateDC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* init)
{
    if (m_hDC)
        return FALSE;
    HDC h = ::CreateDCW(driver, device, output, init);
    if (!h)
        return FALSE;
    m_hDC = h;
    RecordDC(h);
    return TRUE;
}

BOOL CDC::CreateIC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* init)
{
    if (m_hDC)
        return FALSE;
    HDC h = ::CreateICW(driver, device, output, init);
    if (!h)
        return FALSE;
    m_hDC = h;
    RecordDC(h);
    return TRUE;
}

BOOL CDC::DeleteDC()
{
    HDC h = Detach();
    if (!h)
        return FALSE;
    BOOL ok = ::DeleteDC(h);
    if (ok)
        ForgetDC(h);
    return ok;
}

CDC* CDC::FromHandle(HDC h)
{
    if (!h)
        return nullptr;
    TempDC& slot = Temps().dcs[h];
    if (!slot.dc) {
        slot.dc.reset(new CDC());
        slot.dc->m_hDC = h;
    }
    return slot.dc.get();
}

CWnd* CDC::GetWindow() const
{
    return CWnd::FromHandle(::WindowFromDC(m_hDC));
}

void CDC::NoteWindowDC(int delta)
{
    NoteWindowDCs(delta);
}

CPoint CDC::SetViewportOrg(int x, int y)
{
    POINT old = {};
    ::SetViewportOrgEx(m_hDC, x, y, &old);
    return CPoint(old);
}

CPoint CDC::OffsetViewportOrg(int dx, int dy)
{
    POINT old = {};
    ::OffsetViewportOrgEx(m_hDC, dx, dy, &old);
    return CPoint(old);
}

CPoint CDC::GetViewportOrg() const
{
    POINT p = {};
    ::GetViewportOrgEx(m_hDC, &p);
    return CPoint(p);
}

CPoint CDC::SetWindowOrg(int x, int y)
{
    POINT old = {};
    ::SetWindowOrgEx(m_hDC, x, y, &old);
    return CPoint(old);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT old = {};
    ::MoveToEx(m_hDC, x, y, &old);
    return CPoint(old);
}

CSize CDC::GetTextExtent(LPCWSTR text, int count) const
{
    SIZE s = {};
    if (text && count < 0)
        count = lstrlenW(text);
    if (text && count > 0)
        ::GetTextExtentPoint32W(m_hDC, text, count, &s);
    else
        ::GetTextExtentPoint32W(m_hDC, L"", 0, &s);
    return CSize(s);
}

void CDC::FillSolidRect(LPCRECT r, COLORREF color)
{
    COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, r, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    RECT r = { x, y, x + cx, y + cy };
    FillSolidRect(&r, color);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight)
{
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

void CDC::Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight)
{
    Draw3dRect(r->left, r->top, r->right - r->left, r->bottom - r->top, topLeft, bottomRight);
}

BOOL CDC::GradientFill(TRIVERTEX* vertices, ULONG count, void* mesh, ULONG meshCount, DWORD mode)
{
    return ::GdiGradientFill(m_hDC, vertices, count, mesh, meshCount, mode);
}

BOOL CDC::FillGradientRect(LPCRECT r, COLORREF from, COLORREF to, bool vertical)
{
    TRIVERTEX v[2] = {};
    v[0].x = r->left;
    v[0].y = r->top;
    v[0].Red = (COLOR16)(GetRValue(from) << 8);
    v[0].Green = (COLOR16)(GetGValue(from) << 8);
    v[0].Blue = (COLOR16)(GetBValue(from) << 8);
    v[1].x = r->right;
    v[1].y = r->bottom;
    v[1].Red = (COLOR16)(GetRValue(to) << 8);
    v[1].Green = (COLOR16)(GetGValue(to) << 8);
    v[1].Blue = (COLOR16)(GetBValue(to) << 8);
    GRADIENT_RECT g = { 0, 1 };
    return GradientFill(v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

BOOL CDC::TransparentBlt(int x, int y, int cx, int cy, CDC* src, int xSrc, int ySrc, int cxSrc, int cySrc,
                         UINT transparent)
{
    return ::GdiTransparentBlt(m_hDC, x, y, cx, cy, SafeHdc(src), xSrc, ySrc, cxSrc, cySrc, transparent);
}

// ---- Window DCs ------------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(CWnd::SafeHwnd(wnd))
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
    if (m_hDC)
        NoteWindowDC(+1);
}

CPaintDC::~CPaintDC()
{
    if (m_hDC) {
        ::EndPaint(m_hWnd, &m_ps);
        NoteWindowDC(-1);
    }
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(CWnd::SafeHwnd(wnd))
{
    m_hDC = ::GetDC(m_hWnd);
    if (m_hDC)
        NoteWindowDC(+1);
}

CClientDC::~CClientDC()
{
    if (m_hDC) {
        ::ReleaseDC(m_hWnd, m_hDC);
        NoteWindowDC(-1);
    }
    m_hDC = nullptr;
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(CWnd::SafeHwnd(wnd))
{
    m_hDC = ::GetWindowDC(m_hWnd);
    if (m_hDC)
        NoteWindowDC(+1);
}

CWindowDC::~CWindowDC()
{
    if (m_hDC) {
        ::ReleaseDC(m_hWnd, m_hDC);
        NoteWindowDC(-1);
    }
    m_hDC = nullptr;
}

// ---- The CWnd members that hand out GDI objects ----------------------------------------------

void CWnd::SetFont(CFont* font, BOOL redraw)
{
    ::SendMessageW(m_hWnd, WM_SETFONT, (WPARAM)CGdiObject::SafeHandle(font), redraw);
}

CFont* CWnd::GetFont() const
{
    return CFont::FromHandle((HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
}

CDC* CWnd::GetDC()
{
    HDC h = ::GetDC(m_hWnd);
    if (!h)
        return nullptr;
    CDC* dc = CDC::FromHandle(h);
    Temps().dcs[h].windowRefs++;
    NoteWindowDCs(+1);
    return dc;
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc || !dc->m_hDC)
        return 0;
    HDC h = dc->m_hDC;
    int released = ::ReleaseDC(m_hWnd, h);
    if (t_temps) {
        auto it = t_temps->dcs.find(h);
        if (it != t_temps->dcs.end() && it->second.dc.get() == dc && it->second.windowRefs > 0) {
            NoteWindowDCs(-1);
            if (--it->second.windowRefs == 0) {
                it->second.dc->m_hDC = nullptr;
                ZrRetireTemporary(std::move(it->second.dc));
                t_temps->dcs.erase(it);
            }
        }
    }
    return released;
}

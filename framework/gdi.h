// GDI objects and device contexts.
//
// Ownership. A CGdiObject owns the handle it holds, whether it created it (Create*, Load*) or was
// given it (Attach): its destructor and DeleteObject delete it. Detach gives the handle up without
// deleting it. A CDC likewise deletes, in its destructor, a DC it made or was given by Attach;
// CPaintDC, CClientDC and CWindowDC instead end painting / release their window DC.
// Objects returned by FromHandle (and by CWnd::GetFont, CWnd::GetDC) are temporaries of the
// calling thread: they never delete their handle and live until CWnd::DeleteTempMap (the message
// loop's idle time); a DC from CWnd::GetDC is forgotten as soon as CWnd::ReleaseDC releases it.
//
// Selecting. CDC::SelectObject returns the previously selected object as a raw HGDIOBJ (no
// temporary object is made for it); hand it back to SelectObject(HGDIOBJ) to restore:
//     HGDIOBJ old = dc.SelectObject(&font); ... dc.SelectObject(old);
// An object must be deselected before it is destroyed, or GDI cannot delete it.
//
// Leak accounting. Every pen, brush, font, bitmap or region made through these classes is
// recorded until the layer deletes it; ZrGdiLiveObjects() is the number of those that still exist
// (one whose handle was Detach'ed and then deleted with ::DeleteObject no longer counts; one that
// was Detach'ed and dropped does: that is a leak). ZrGdiLiveDCs() counts DCs made by CDC
// (CreateCompatibleDC, CreateDC) and not yet deleted, plus window DCs taken through the layer and
// not yet released. Both are process-wide; GetGuiResources cannot be used for this under Wine.
//
// Null objects. GetSafeHandle and GetSafeHdc read the member: they cannot be called through a null
// pointer (the compiler assumes `this` is never null). Use CGdiObject::SafeHandle(p) and
// CDC::SafeHdc(p) for a pointer that may be null; the members taking object pointers accept null.
#pragma once
#include <windows.h>
#include "types.h"
#include "cstring.h"

class CDC;
class CWnd;
class CBitmap;

int ZrGdiLiveObjects();
int ZrGdiLiveDCs();
// Temporary GDI and DC objects held for the calling thread (FromHandle, CWnd::GetDC, GetFont).
int ZrGdiTempObjects();

class CGdiObject {
public:
    HGDIOBJ m_hObject = nullptr;

    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    operator HGDIOBJ() const { return m_hObject; }
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // The handle of an object pointer that may be null.
    static HGDIOBJ SafeHandle(const CGdiObject* o) { return o ? o->m_hObject : nullptr; }

    // Takes ownership of a handle; fails when this object already holds one.
    BOOL Attach(HGDIOBJ h);
    HGDIOBJ Detach();
    // Deletes the held handle (false when there is none or GDI refuses, e.g. it is still selected).
    BOOL DeleteObject();

    int GetObject(int size, LPVOID buf) const { return ::GetObjectW(m_hObject, size, buf); }
    UINT GetObjectType() const { return ::GetObjectType(m_hObject); }
    // Stock objects are held but not counted (GDI ignores their deletion).
    BOOL CreateStockObject(int index);
    BOOL UnrealizeObject() { return ::UnrealizeObject(m_hObject); }

    static CGdiObject* FromHandle(HGDIOBJ h);

protected:
    // Stores a handle this layer just created and records it; deletes it if this object is taken.
    BOOL Adopt(HGDIOBJ h);
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    BOOL CreatePen(int style, int width, COLORREF color) { return Adopt(::CreatePen(style, width, color)); }
    BOOL CreatePen(int style, int width, const LOGBRUSH* brush, int styleCount = 0, const DWORD* styles = nullptr)
    {
        return Adopt(::ExtCreatePen((DWORD)style, (DWORD)width, brush, (DWORD)styleCount, styles));
    }
    BOOL CreatePenIndirect(const LOGPEN* lp) { return Adopt(::CreatePenIndirect(lp)); }
    int GetLogPen(LOGPEN* lp) const { return GetObject(sizeof(LOGPEN), lp); }
    operator HPEN() const { return (HPEN)m_hObject; }
    static CPen* FromHandle(HPEN h) { return static_cast<CPen*>(CGdiObject::FromHandle(h)); }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color) { return Adopt(::CreateSolidBrush(color)); }
    BOOL CreateHatchBrush(int index, COLORREF color) { return Adopt(::CreateHatchBrush(index, color)); }
    BOOL CreateBrushIndirect(const LOGBRUSH* lb) { return Adopt(::CreateBrushIndirect(lb)); }
    BOOL CreatePatternBrush(CBitmap* bitmap);
    // System colour brushes belong to the system: held but not counted (deleting one is a no-op).
    BOOL CreateSysColorBrush(int index);
    int GetLogBrush(LOGBRUSH* lb) const { return GetObject(sizeof(LOGBRUSH), lb); }
    operator HBRUSH() const { return (HBRUSH)m_hObject; }
    static CBrush* FromHandle(HBRUSH h) { return static_cast<CBrush*>(CGdiObject::FromHandle(h)); }
};

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONTW* lf) { return Adopt(::CreateFontIndirectW(lf)); }
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                    BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                    BYTE pitchAndFamily, LPCWSTR faceName)
    {
        return Adopt(::CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                                   charSet, outPrecision, clipPrecision, quality, pitchAndFamily, faceName));
    }
    // Size in tenths of a point, for the given DC (the screen when null).
    BOOL CreatePointFont(int pointSize, LPCWSTR faceName, CDC* dc = nullptr);
    // lfHeight is in tenths of a point.
    BOOL CreatePointFontIndirect(const LOGFONTW* lf, CDC* dc = nullptr);
    int GetLogFont(LOGFONTW* lf) const { return GetObject(sizeof(LOGFONTW), lf); }
    operator HFONT() const { return (HFONT)m_hObject; }
    static CFont* FromHandle(HFONT h) { return static_cast<CFont*>(CGdiObject::FromHandle(h)); }
};

class CBitmap : public CGdiObject {
public:
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
    {
        return Adopt(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
    }
    BOOL CreateBitmapIndirect(const BITMAP* bm) { return Adopt(::CreateBitmapIndirect(bm)); }
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    BOOL CreateDiscardableBitmap(CDC* dc, int width, int height) { return CreateCompatibleBitmap(dc, width, height); }
    // From the program's resources.
    BOOL LoadBitmap(UINT id) { return LoadBitmap(MAKEINTRESOURCEW(id)); }
    BOOL LoadBitmap(LPCWSTR name) { return Adopt(::LoadBitmapW(::GetModuleHandleW(nullptr), name)); }
    BOOL LoadOEMBitmap(UINT id) { return Adopt(::LoadBitmapW(nullptr, MAKEINTRESOURCEW(id))); }
    int GetBitmap(BITMAP* bm) const { return GetObject(sizeof(BITMAP), bm); }
    CSize GetSize() const; // (0, 0) when there is no bitmap
    DWORD SetBitmapBits(DWORD count, const void* bits)
    {
        return (DWORD)::SetBitmapBits((HBITMAP)m_hObject, count, bits);
    }
    DWORD GetBitmapBits(DWORD count, LPVOID bits) const
    {
        return (DWORD)::GetBitmapBits((HBITMAP)m_hObject, (LONG)count, bits);
    }
    operator HBITMAP() const { return (HBITMAP)m_hObject; }
    static CBitmap* FromHandle(HBITMAP h) { return static_cast<CBitmap*>(CGdiObject::FromHandle(h)); }
};

class CRgn : public CGdiObject {
public:
    BOOL CreateRectRgn(int x1, int y1, int x2, int y2) { return Adopt(::CreateRectRgn(x1, y1, x2, y2)); }
    BOOL CreateRectRgnIndirect(LPCRECT r) { return Adopt(::CreateRectRgnIndirect(r)); }
    BOOL CreateEllipticRgn(int x1, int y1, int x2, int y2) { return Adopt(::CreateEllipticRgn(x1, y1, x2, y2)); }
    BOOL CreateEllipticRgnIndirect(LPCRECT r) { return Adopt(::CreateEllipticRgnIndirect(r)); }
    BOOL CreateRoundRectRgn(int x1, int y1, int x2, int y2, int x3, int y3)
    {
        return Adopt(::CreateRoundRectRgn(x1, y1, x2, y2, x3, y3));
    }
    BOOL CreatePolygonRgn(const POINT* points, int count, int fillMode)
    {
        return Adopt(::CreatePolygonRgn(points, count, fillMode));
    }
    // Both sources must exist; this region must already exist too (as with the API).
    int CombineRgn(const CRgn* a, const CRgn* b, int mode)
    {
        return ::CombineRgn((HRGN)m_hObject, (HRGN)SafeHandle(a), (HRGN)SafeHandle(b), mode);
    }
    int CopyRgn(const CRgn* src) { return ::CombineRgn((HRGN)m_hObject, (HRGN)SafeHandle(src), nullptr, RGN_COPY); }
    BOOL EqualRgn(const CRgn* other) const { return ::EqualRgn((HRGN)m_hObject, (HRGN)SafeHandle(other)); }
    int OffsetRgn(int dx, int dy) { return ::OffsetRgn((HRGN)m_hObject, dx, dy); }
    int OffsetRgn(POINT p) { return OffsetRgn(p.x, p.y); }
    int GetRgnBox(LPRECT r) const { return ::GetRgnBox((HRGN)m_hObject, r); }
    BOOL PtInRegion(int x, int y) const { return ::PtInRegion((HRGN)m_hObject, x, y); }
    BOOL PtInRegion(POINT p) const { return PtInRegion(p.x, p.y); }
    BOOL RectInRegion(LPCRECT r) const { return ::RectInRegion((HRGN)m_hObject, r); }
    void SetRectRgn(int x1, int y1, int x2, int y2) { ::SetRectRgn((HRGN)m_hObject, x1, y1, x2, y2); }
    void SetRectRgn(LPCRECT r) { SetRectRgn(r->left, r->top, r->right, r->bottom); }
    operator HRGN() const { return (HRGN)m_hObject; }
    static CRgn* FromHandle(HRGN h) { return static_cast<CRgn*>(CGdiObject::FromHandle(h)); }
};

class CDC {
public:
    HDC m_hDC = nullptr;

    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    static HDC SafeHdc(const CDC* dc) { return dc ? dc->m_hDC : nullptr; }

    // Takes ownership of a DC (the destructor deletes it unless it is Detach'ed first).
    BOOL Attach(HDC h);
    HDC Detach();
    // A memory DC compatible with `dc` (the screen when null).
    BOOL CreateCompatibleDC(CDC* dc);
    BOOL CreateDC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* init);
    BOOL CreateIC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* init);
    BOOL DeleteDC();

    static CDC* FromHandle(HDC h);

    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    CWnd* GetWindow() const;

    // Selection: see the header comment.
    HGDIOBJ SelectObject(HGDIOBJ h) { return h ? ::SelectObject(m_hDC, h) : nullptr; }
    HGDIOBJ SelectObject(CGdiObject* obj) { return SelectObject(CGdiObject::SafeHandle(obj)); }
    HGDIOBJ SelectObject(CPen* pen) { return SelectObject(CGdiObject::SafeHandle(pen)); }
    HGDIOBJ SelectObject(CBrush* brush) { return SelectObject(CGdiObject::SafeHandle(brush)); }
    HGDIOBJ SelectObject(CFont* font) { return SelectObject(CGdiObject::SafeHandle(font)); }
    HGDIOBJ SelectObject(CBitmap* bitmap) { return SelectObject(CGdiObject::SafeHandle(bitmap)); }
    // A region is copied in as the clipping region: returns the region type (SIMPLEREGION...).
    int SelectObject(CRgn* rgn) { return ::SelectClipRgn(m_hDC, (HRGN)CGdiObject::SafeHandle(rgn)); }
    HGDIOBJ SelectStockObject(int index) { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
    HGDIOBJ GetCurrentObject(UINT type) const { return ::GetCurrentObject(m_hDC, type); }

    // Colours and modes.
    COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetBkMode() const { return ::GetBkMode(m_hDC); }
    int SetROP2(int mode) { return ::SetROP2(m_hDC, mode); }
    int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
    UINT SetTextAlign(UINT flags) { return ::SetTextAlign(m_hDC, flags); }
    int SetMapMode(int mode) { return ::SetMapMode(m_hDC, mode); }
    int GetMapMode() const { return ::GetMapMode(m_hDC); }
    CPoint SetViewportOrg(int x, int y);
    CPoint SetViewportOrg(POINT p) { return SetViewportOrg(p.x, p.y); }
    CPoint OffsetViewportOrg(int dx, int dy);
    CPoint GetViewportOrg() const;
    CPoint SetWindowOrg(int x, int y);
    CPoint SetWindowOrg(POINT p) { return SetWindowOrg(p.x, p.y); }
    void DPtoLP(LPPOINT p, int count = 1) const { ::DPtoLP(m_hDC, p, count); }
    void DPtoLP(LPRECT r) const { ::DPtoLP(m_hDC, reinterpret_cast<LPPOINT>(r), 2); }
    void LPtoDP(LPPOINT p, int count = 1) const { ::LPtoDP(m_hDC, p, count); }
    void LPtoDP(LPRECT r) const { ::LPtoDP(m_hDC, reinterpret_cast<LPPOINT>(r), 2); }

    // Clipping.
    int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }
    int IntersectClipRect(int x1, int y1, int x2, int y2) { return ::IntersectClipRect(m_hDC, x1, y1, x2, y2); }
    int IntersectClipRect(LPCRECT r) { return IntersectClipRect(r->left, r->top, r->right, r->bottom); }
    int ExcludeClipRect(int x1, int y1, int x2, int y2) { return ::ExcludeClipRect(m_hDC, x1, y1, x2, y2); }
    int ExcludeClipRect(LPCRECT r) { return ExcludeClipRect(r->left, r->top, r->right, r->bottom); }
    int SelectClipRgn(CRgn* rgn) { return ::SelectClipRgn(m_hDC, (HRGN)CGdiObject::SafeHandle(rgn)); }
    BOOL PtVisible(int x, int y) const { return ::PtVisible(m_hDC, x, y); }
    BOOL RectVisible(LPCRECT r) const { return ::RectVisible(m_hDC, r); }

    // Text.
    BOOL TextOut(int x, int y, LPCWSTR text, int count) { return ::TextOutW(m_hDC, x, y, text, count); }
    BOOL TextOut(int x, int y, const CString& text) { return TextOut(x, y, text.GetString(), text.GetLength()); }
    BOOL ExtTextOut(int x, int y, UINT options, LPCRECT r, LPCWSTR text, UINT count, const INT* dx = nullptr)
    {
        return ::ExtTextOutW(m_hDC, x, y, options, r, text, count, dx);
    }
    BOOL ExtTextOut(int x, int y, UINT options, LPCRECT r, const CString& text, const INT* dx = nullptr)
    {
        return ExtTextOut(x, y, options, r, text.GetString(), (UINT)text.GetLength(), dx);
    }
    // count -1: up to the terminating NUL.
    int DrawText(LPCWSTR text, int count, LPRECT r, UINT format) { return ::DrawTextW(m_hDC, text, count, r, format); }
    int DrawText(const CString& text, LPRECT r, UINT format)
    {
        return DrawText(text.GetString(), text.GetLength(), r, format);
    }
    int DrawTextEx(LPWSTR text, int count, LPRECT r, UINT format, LPDRAWTEXTPARAMS params)
    {
        return ::DrawTextExW(m_hDC, text, count, r, format, params);
    }
    CSize GetTextExtent(LPCWSTR text, int count) const;
    CSize GetTextExtent(const CString& text) const { return GetTextExtent(text.GetString(), text.GetLength()); }
    BOOL GetTextMetrics(LPTEXTMETRICW tm) const { return ::GetTextMetricsW(m_hDC, tm); }
    int GetTextFace(int count, LPWSTR face) const { return ::GetTextFaceW(m_hDC, count, face); }

    // Filling and outlines.
    // Fills with a solid colour; the DC's background colour is left as it was.
    void FillSolidRect(LPCRECT r, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    void FillRect(LPCRECT r, CBrush* brush) { ::FillRect(m_hDC, r, (HBRUSH)CGdiObject::SafeHandle(brush)); }
    void FillRect(LPCRECT r, HBRUSH brush) { ::FillRect(m_hDC, r, brush); }
    void FrameRect(LPCRECT r, CBrush* brush) { ::FrameRect(m_hDC, r, (HBRUSH)CGdiObject::SafeHandle(brush)); }
    void FrameRect(LPCRECT r, HBRUSH brush) { ::FrameRect(m_hDC, r, brush); }
    void InvertRect(LPCRECT r) { ::InvertRect(m_hDC, r); }
    // A frame one pixel wide: top and left in one colour, bottom and right in the other.
    void Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight);
    void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
    BOOL Rectangle(int x1, int y1, int x2, int y2) { return ::Rectangle(m_hDC, x1, y1, x2, y2); }
    BOOL Rectangle(LPCRECT r) { return Rectangle(r->left, r->top, r->right, r->bottom); }
    BOOL RoundRect(int x1, int y1, int x2, int y2, int x3, int y3)
    {
        return ::RoundRect(m_hDC, x1, y1, x2, y2, x3, y3);
    }
    BOOL RoundRect(LPCRECT r, POINT corner)
    {
        return RoundRect(r->left, r->top, r->right, r->bottom, corner.x, corner.y);
    }
    BOOL Ellipse(int x1, int y1, int x2, int y2) { return ::Ellipse(m_hDC, x1, y1, x2, y2); }
    BOOL Ellipse(LPCRECT r) { return Ellipse(r->left, r->top, r->right, r->bottom); }
    BOOL Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }
    BOOL Polyline(const POINT* points, int count) { return ::Polyline(m_hDC, points, count); }
    CPoint MoveTo(int x, int y);
    CPoint MoveTo(POINT p) { return MoveTo(p.x, p.y); }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL LineTo(POINT p) { return LineTo(p.x, p.y); }
    COLORREF SetPixel(int x, int y, COLORREF c) { return ::SetPixel(m_hDC, x, y, c); }
    COLORREF SetPixel(POINT p, COLORREF c) { return SetPixel(p.x, p.y, c); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF GetPixel(POINT p) const { return GetPixel(p.x, p.y); }
    BOOL PatBlt(int x, int y, int cx, int cy, DWORD rop) { return ::PatBlt(m_hDC, x, y, cx, cy, rop); }
    BOOL DrawEdge(LPRECT r, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, r, edge, flags); }
    void DrawFocusRect(LPCRECT r) { ::DrawFocusRect(m_hDC, r); }
    BOOL DrawFrameControl(LPRECT r, UINT type, UINT state) { return ::DrawFrameControl(m_hDC, r, type, state); }
    // Fills rectangles or triangles with colour gradients (GDI's GradientFill).
    BOOL GradientFill(TRIVERTEX* vertices, ULONG count, void* mesh, ULONG meshCount, DWORD mode);
    // A left-to-right or top-to-bottom two-colour gradient over a rectangle.
    BOOL FillGradientRect(LPCRECT r, COLORREF from, COLORREF to, bool vertical);

    // Images.
    BOOL BitBlt(int x, int y, int cx, int cy, CDC* src, int xSrc, int ySrc, DWORD rop)
    {
        return ::BitBlt(m_hDC, x, y, cx, cy, SafeHdc(src), xSrc, ySrc, rop);
    }
    BOOL StretchBlt(int x, int y, int cx, int cy, CDC* src, int xSrc, int ySrc, int cxSrc, int cySrc, DWORD rop)
    {
        return ::StretchBlt(m_hDC, x, y, cx, cy, SafeHdc(src), xSrc, ySrc, cxSrc, cySrc, rop);
    }
    // Copies all but the pixels of one colour (GDI's TransparentBlt).
    BOOL TransparentBlt(int x, int y, int cx, int cy, CDC* src, int xSrc, int ySrc, int cxSrc, int cySrc,
                        UINT transparent);
    BOOL DrawIcon(int x, int y, HICON icon)
    {
        return ::DrawIconEx(m_hDC, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    }
    BOOL DrawIcon(POINT p, HICON icon) { return DrawIcon(p.x, p.y, icon); }
    // cx/cy 0 with DI_DEFAULTSIZE: the system's icon size; 0 without it: the icon's own size.
    BOOL DrawIconEx(int x, int y, HICON icon, int cx, int cy, UINT step = 0, HBRUSH flicker = nullptr,
                    UINT flags = DI_NORMAL)
    {
        return ::DrawIconEx(m_hDC, x, y, icon, cx, cy, step, flicker, flags);
    }
    BOOL DrawIconEx(POINT p, HICON icon, SIZE s, UINT step = 0, HBRUSH flicker = nullptr, UINT flags = DI_NORMAL)
    {
        return DrawIconEx(p.x, p.y, icon, s.cx, s.cy, step, flicker, flags);
    }

protected:
    // Window DCs (GetDC, GetWindowDC, BeginPaint) are tracked so that unreleased ones show in
    // ZrGdiLiveDCs(); the classes below call these.
    static void NoteWindowDC(int delta);
};

// Painting inside WM_PAINT: BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps = {};

protected:
    HWND m_hWnd;
};

// The client area's DC, released in the destructor.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

protected:
    HWND m_hWnd;
};

// The whole window's DC (frame included), released in the destructor.
class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

protected:
    HWND m_hWnd;
};

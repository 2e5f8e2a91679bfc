#include "look/piechartwnd.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <objidl.h>
#include <gdiplus.h>

using namespace Gdiplus;

namespace {

constexpr wchar_t kClassName[] = L"ZrPieChart";
constexpr UINT kScrollBarId = 1;

Color Argb(uint32_t argb)
{
    return Color((ARGB)argb);
}

Color WithAlpha(uint32_t argb, BYTE alpha)
{
    return Color((ARGB)((uint32_t(alpha) << 24) | (argb & 0x00FFFFFFu)));
}

RectF ToRectF(const zr_pie::Rect& r)
{
    return RectF((REAL)r.left, (REAL)r.top, (REAL)r.Width(), (REAL)r.Height());
}

RectF Shrunk(const zr_pie::Rect& r, double by)
{
    return RectF((REAL)(r.left + by), (REAL)(r.top + by), (REAL)(r.Width() - 2 * by), (REAL)(r.Height() - 2 * by));
}

// A font of `family`; when it is empty or not installed, the generic sans-serif family or, where a
// system lacks its font, the first of a few common ones that is there. (The generic family is
// asked for by name: GDI+'s own accessor keeps a process-wide copy that would outlive this
// chart's GDI+ start-up.)
std::unique_ptr<Font> MakeFont(const CString& family, int points, int style)
{
    const wchar_t* const families[] = { family.GetString(), L"Microsoft Sans Serif", L"Tahoma",
                                        L"Arial",           L"Liberation Sans",      L"DejaVu Sans" };
    std::unique_ptr<Font> font;
    for (const wchar_t* name : families) {
        if (!*name)
            continue;
        FontFamily candidate(name);
        if (candidate.GetLastStatus() != Ok)
            continue;
        font = std::make_unique<Font>(&candidate, (REAL)points, style, UnitPoint);
        if (font->GetLastStatus() == Ok)
            return font;
    }
    // Nothing to draw text with: the text calls fail harmlessly.
    return font ? std::move(font) : std::make_unique<Font>(L"", (REAL)points, style, UnitPoint);
}

SizeF Measure(Graphics& g, const wchar_t* text, const Font& font, const StringFormat& format, REAL boxHeight)
{
    RectF bounds;
    g.MeasureString(text, -1, &font, RectF(0, 0, 100000.0f, boxHeight), &format, &bounds);
    return SizeF(bounds.Width, bounds.Height);
}

// The vertical gradient over a face's bounds.
std::unique_ptr<LinearGradientBrush> VerticalGradient(const RectF& bounds, const Color& from, const Color& to)
{
    const REAL x = bounds.X + bounds.Width / 2;
    const REAL bottom = bounds.Height > 0 ? bounds.GetBottom() : bounds.Y + 1;
    return std::make_unique<LinearGradientBrush>(PointF(x, bounds.Y), PointF(x, bottom), from, to);
}

std::vector<PointF> ToPoints(const std::vector<zr_pie::PointF>& points)
{
    std::vector<PointF> out;
    out.reserve(points.size());
    for (const zr_pie::PointF& p : points)
        out.emplace_back((REAL)p.x, (REAL)p.y);
    return out;
}

} // namespace

BEGIN_MESSAGE_MAP(CPieChartWnd, CWnd)
    ON_WM_PAINT()
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_VSCROLL()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CPieChartWnd::CPieChartWnd() = default;

CPieChartWnd::~CPieChartWnd()
{
    if (m_hWnd && m_createdHere)
        ::DestroyWindow(m_hWnd);
    m_slices.clear();
    if (m_gdiplusStarted)
        GdiplusShutdown(m_gdiplusToken);
}

BOOL CPieChartWnd::Create(LPCWSTR title, const RECT& rect, CWnd* parent, UINT id)
{
    m_title = title ? title : L"";
    LPCWSTR cls = CWnd::RegisterClassOnce(kClassName, CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW));
    if (!cls)
        return FALSE;
    return CWnd::CreateEx(0, cls, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, rect, parent, id);
}

int CPieChartWnd::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    ModifyStyle(0, WS_CLIPCHILDREN);
    if (!m_gdiplusStarted) {
        GdiplusStartupInput input;
        m_gdiplusStarted = GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Ok;
    }
    CRect client;
    GetClientRect(&client);
    m_legendScroll.CreateEx(0, L"SCROLLBAR", nullptr, WS_CHILD | SBS_VERT, client.right - 40, client.top + 10, 20,
                            std::max(0, client.Height() - 20), m_hWnd, (HMENU)(UINT_PTR)kScrollBarId);
    return 0;
}

zr_pie::Rect CPieChartWnd::Client() const
{
    RECT r = {};
    if (m_hWnd)
        ::GetClientRect(m_hWnd, &r);
    return zr_pie::Rect{ r.left, r.top, r.right, r.bottom };
}

zr_pie::Rect CPieChartWnd::PieArea() const
{
    return zr_pie::ChartArea(Client(), m_pieOverride, m_pieSize - 10, true, m_horizontalOffset);
}

zr_pie::Rect CPieChartWnd::LegendArea() const
{
    const zr_pie::Rect client = Client();
    return zr_pie::ChartArea(client, m_legendOverride, client.right, false, m_horizontalOffset);
}

int CPieChartWnd::ScrollLimit() const
{
    SCROLLINFO info = { sizeof(info), SIF_RANGE | SIF_PAGE };
    if (!m_legendScroll.GetSafeHwnd() || !::GetScrollInfo(m_legendScroll.GetSafeHwnd(), SB_CTL, &info))
        return 0;
    return std::max(0, info.nMax - std::max(0, (int)info.nPage - 1) - info.nMin);
}

void CPieChartWnd::SetUpScrollBar()
{
    HWND bar = m_legendScroll.GetSafeHwnd();
    if (!bar)
        return;
    const int height = LegendArea().Height();
    SCROLLINFO info = { sizeof(info), SIF_RANGE | SIF_PAGE };
    info.nMin = 0;
    info.nMax = m_legend.totalHeight;
    info.nPage = (UINT)std::max(0, height);
    ::SetScrollInfo(bar, SB_CTL, &info, TRUE);
    ::ShowWindow(bar, m_legend.totalHeight > height ? SW_SHOW : SW_HIDE);
}

void CPieChartWnd::UpdateLegend()
{
    const int height = LegendArea().Height();
    zr_pie::MeasureLegend(m_legend, m_sliceCount, height);
    SetUpScrollBar();
    int pos = m_legendScroll.GetSafeHwnd() ? ::GetScrollPos(m_legendScroll.GetSafeHwnd(), SB_CTL) : 0;
    zr_pie::FirstVisibleFromPosition(m_legend, m_sliceCount, height, pos, false, ScrollLimit());
}

void CPieChartWnd::OnSize(UINT type, int cx, int cy)
{
    Default();
    const zr_pie::Rect client = Client();
    m_pieSize = zr_pie::InitialPieSize(client.Width());
    const zr_pie::Rect legend = LegendArea();
    zr_pie::SizeLegendRows(m_legend, legend);
    if (m_legendScroll.GetSafeHwnd())
        ::MoveWindow(m_legendScroll.GetSafeHwnd(), client.right - m_scrollBarWidth, legend.top, 20, legend.Height(),
                     TRUE);
    UpdateLegend();
}

void CPieChartWnd::OnVScroll(UINT code, UINT, CWnd*)
{
    HWND bar = m_legendScroll.GetSafeHwnd();
    if (bar) {
        SCROLLINFO info = { sizeof(info), SIF_POS | SIF_TRACKPOS };
        ::GetScrollInfo(bar, SB_CTL, &info);
        const int pos = zr_pie::ScrollLegend(m_legend, m_sliceCount, LegendArea().Height(), (int)code, info.nPos,
                                             info.nTrackPos, ScrollLimit());
        Invalidate(TRUE);
        ::SetScrollPos(bar, SB_CTL, pos, TRUE);
    }
    Default();
}

void CPieChartWnd::OnLButtonDown(UINT, CPoint point)
{
    for (auto& [key, slice] : m_slices)
        slice.selected = false;
    const zr_pie::Rect pie = PieArea();
    int hit = -1;
    if (m_style == zr_pie::kRing || m_style == zr_pie::kFlat) {
        hit = zr_pie::HitTestFlat(m_slices, pie, m_startAngle, m_style == zr_pie::kRing, point.x, point.y);
    } else if (m_style == zr_pie::k3D) {
        const zr_pie::Pie3D g = Prepare3D(pie);
        const auto order = zr_pie::DrawOrder3D(m_slices, m_startAngle3d, zr_pie::FrontBack{ m_frontKey, m_backKey });
        hit = zr_pie::HitTest3D(m_slices, m_startAngle3d, g, order, point.x, point.y);
    }
    if (hit >= 0)
        m_slices[hit].selected = true;
    Invalidate(TRUE);
    Default();
}

int CPieChartWnd::RemoveAll()
{
    m_slices.clear();
    m_total = 0;
    m_sliceCount = 0;
    if (m_hWnd) {
        UpdateLegend();
        Invalidate(TRUE);
    } else {
        zr_pie::MeasureLegend(m_legend, 0, 0);
        m_legend.firstVisible = 0;
    }
    return 1;
}

int CPieChartWnd::AddSlice(double value, uint32_t color1, uint32_t color2, uint32_t color3, LPCWSTR name,
                           LPCWSTR valueText, int explode, BYTE alpha3d)
{
    if (!std::isfinite(value) || value < 0)
        return -1;
    const int key = m_sliceCount;
    zr_pie::Slice& s = m_slices[key];
    s.value = value;
    s.color1 = color1;
    s.color2 = color2;
    s.color3 = color3;
    s.name = name ? name : L"";
    s.valueText = valueText ? valueText : L"";
    s.explode = explode;
    s.alpha3d = alpha3d;
    ++m_sliceCount;
    m_total = zr_pie::AssignSweeps(m_slices);
    if (m_hWnd) {
        UpdateLegend();
        Invalidate(TRUE);
    }
    return key;
}

void CPieChartWnd::SetStyle(int style)
{
    m_style = style;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CPieChartWnd::SetTilt(float degrees)
{
    m_tilt = std::isfinite(degrees) ? std::clamp(degrees, 0.0f, 89.0f) : 0.0f;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CPieChartWnd::SetStartAngle(float degrees)
{
    m_startAngle = std::isfinite(degrees) ? std::fmod(degrees, 360.0f) : 0.0f;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CPieChartWnd::ShowLabels(BOOL show)
{
    m_labelsShown = show;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CPieChartWnd::SetAreas(const RECT& pie, const RECT& legend)
{
    m_pieOverride = zr_pie::Rect{ pie.left, pie.top, pie.right, pie.bottom };
    m_legendOverride = zr_pie::Rect{ legend.left, legend.top, legend.right, legend.bottom };
    if (m_hWnd) {
        zr_pie::SizeLegendRows(m_legend, LegendArea());
        UpdateLegend();
        Invalidate(TRUE);
    }
}

void CPieChartWnd::SaveImage(LPCWSTR path)
{
    m_imagePath = path ? path : L"";
    m_saveRequest = TRUE;
    if (m_hWnd)
        Invalidate(TRUE);
}

zr_pie::Pie3D CPieChartWnd::Prepare3D(const zr_pie::Rect& pie)
{
    const zr_pie::Pie3D g = zr_pie::Geometry3D(pie, m_tilt, m_depthRatio);
    m_startAngle3d = (float)zr_pie::Prepare3D(m_slices, pie, m_startAngle, g);
    const zr_pie::FrontBack fb = zr_pie::FindFrontBack(m_slices, m_startAngle3d);
    m_frontKey = fb.front;
    m_backKey = fb.back;
    return g;
}

// ---- Painting ------------------------------------------------------------------------------------

void CPieChartWnd::OnPaint()
{
    CPaintDC dc(this);
    if (m_style != zr_pie::kRing && m_style != zr_pie::kFlat && m_style != zr_pie::k3D)
        return;
    const zr_pie::Rect client = Client();
    if (client.IsEmpty())
        return;
    Bitmap bitmap(client.Width(), client.Height(), PixelFormat32bppARGB);
    if (bitmap.GetLastStatus() != Ok)
        return;
    {
        Graphics g(&bitmap);
        g.SetSmoothingMode(SmoothingModeHighQuality);
        DrawBackgroundAndTitle(g, client);
        DrawLegend(g, client); // may move the pie's right edge
        const zr_pie::Rect pie = PieArea();
        if (m_style == zr_pie::k3D)
            Draw3D(g, pie);
        else
            DrawFlat(g, pie, m_style == zr_pie::kRing);
        if (m_labelsShown)
            DrawLabels(g, pie);
    }
    Graphics screen(dc.GetSafeHdc());
    CachedBitmap cached(&bitmap, &screen);
    if (m_saveRequest) {
        SaveBitmap(bitmap);
        m_saveRequest = FALSE;
    }
    screen.DrawCachedBitmap(&cached, client.left, client.top);
}

void CPieChartWnd::DrawBackgroundAndTitle(Graphics& g, const zr_pie::Rect& client)
{
    SolidBrush ground(Color(255, GetRValue(m_background), GetGValue(m_background), GetBValue(m_background)));
    g.FillRectangle(&ground, ToRectF(client));
    const int right = std::max(client.right, 300), bottom = std::max(client.bottom, 150);
    LinearGradientBrush gradient(Point(client.left, client.top), Point(right, bottom), Argb(m_gradientStart),
                                 Argb(m_gradientEnd));
    g.FillRectangle(&gradient, client.left, client.top, right - client.left, bottom - client.top);

    const auto font = MakeFont(m_titleFontFamily, zr_pie::TitlePointSize(client.Height(), (size_t)m_title.GetLength()),
                               m_titleFontStyle);
    StringFormat format;
    const SizeF size = Measure(g, m_title.GetString(), *font, format, (REAL)client.Height());
    SolidBrush text(Argb(m_textColor));
    g.DrawString(m_title.GetString(), -1, font.get(),
                 PointF((REAL)((client.left + client.right) / 2 - size.Width * 0.5), (REAL)(client.top + 8)), &text);
}

void CPieChartWnd::DrawLegend(Graphics& g, const zr_pie::Rect& client)
{
    const zr_pie::Rect area = LegendArea();
    StringFormat format(StringFormatFlagsNoClip);
    const auto font =
        MakeFont(m_legendFontFamily, zr_pie::LegendPointSize(m_legendFontSize, area.Height()), m_legendFontStyle);
    const REAL rowHeight = (REAL)m_legend.rowHeight;
    double nameWidth = 0;
    for (const auto& [key, slice] : m_slices)
        nameWidth = std::max<double>(nameWidth, Measure(g, slice.name.c_str(), *font, format, rowHeight).Width);
    nameWidth += 1;
    const SizeF valueBox = Measure(g, L"100.00 GB", *font, format, rowHeight);
    const double valueWidth = valueBox.Width + 1, valueHeight = valueBox.Height;

    const zr_pie::LegendPlan plan =
        zr_pie::PlanLegend(m_slices, m_legend, area, client, m_legendOverride, nameWidth, valueWidth, valueHeight);
    SolidBrush column(Argb(m_legendBackground));
    g.FillRectangle(&column, (REAL)plan.columnX, (REAL)plan.columnY, (REAL)plan.columnWidth, (REAL)plan.columnHeight);
    SolidBrush text(Argb(m_textColor));
    Pen separator(Argb(zr_pie::Shade(m_legendBackground, 200)), 1.0f);
    for (const zr_pie::LegendRow& row : plan.rows) {
        const zr_pie::Slice& slice = m_slices.at(row.key);
        g.DrawString(slice.valueText.c_str(), -1, font.get(),
                     RectF((REAL)row.valueX, (REAL)row.y, (REAL)valueWidth, (REAL)valueHeight), &format, &text);
        if (row.separator)
            g.DrawLine(&separator, (REAL)plan.columnX, (REAL)row.separatorY, (REAL)(plan.columnX + valueWidth),
                       (REAL)row.separatorY);
        g.DrawString(slice.name.c_str(), -1, font.get(),
                     RectF((REAL)row.nameX, (REAL)row.y, (REAL)nameWidth, rowHeight), &format, &text);
        const RectF box((REAL)row.boxX, (REAL)row.y, (REAL)m_legend.boxWidth, rowHeight);
        SolidBrush fill(Argb(slice.color3));
        Pen frame(Argb(zr_pie::Shade(slice.color3, 200)), 2.0f);
        g.FillRectangle(&fill, box);
        g.DrawRectangle(&frame, box);
    }
    if (plan.newPieSize >= 0)
        m_pieSize = plan.newPieSize;
}

void CPieChartWnd::DrawFlat(Graphics& g, const zr_pie::Rect& pie, bool ring)
{
    const double d = pie.Width() / (ring ? 15.0 : 25.0);
    LinearGradientBrush background(Point(pie.left, pie.top), Point(pie.right, pie.bottom), Argb(m_gradientStart),
                                   Argb(m_gradientEnd));
    SolidBrush highlight(WithAlpha(m_highlight, 100));
    Pen highlightPen(Argb(m_highlight), 1.0f);
    Pen holePen(&background, 5.0f);
    double a = m_startAngle;
    for (const auto& [key, s] : m_slices) {
        const zr_pie::Rect r = zr_pie::ExplodedRect(pie, a + s.sweep / 2.0, s.explode);
        const RectF outer = ToRectF(r), inner = Shrunk(r, d);
        const REAL x = (REAL)(r.right / 2);
        const uint32_t outerFrom = ring ? s.color1 : s.color2, outerTo = ring ? s.color2 : s.color3;
        LinearGradientBrush gradient(PointF(x, (REAL)r.top), PointF(x, (REAL)r.bottom), Argb(outerFrom), Argb(outerTo));
        g.FillPie(&gradient, outer, (REAL)a, s.sweep);
        if (ring)
            gradient.SetLinearColors(Argb(s.color2), Argb(s.color1));
        else
            gradient.SetLinearColors(Argb(s.color3), Argb(s.color1));
        g.FillPie(&gradient, inner, (REAL)a, s.sweep);
        if (ring) {
            Pen outline(Argb(zr_pie::Shade(s.color3, 160)), 1.0f);
            g.DrawPie(&outline, outer, (REAL)a, s.sweep);
        }
        if (s.selected) {
            g.FillPie(&highlight, outer, (REAL)a, s.sweep);
            g.DrawPie(&highlightPen, outer, (REAL)a, s.sweep);
        }
        if (ring) {
            const RectF hole = Shrunk(r, 4.5 * d);
            g.FillPie(&background, hole, (REAL)a, s.sweep);
            g.DrawPie(&holePen, hole, (REAL)a, s.sweep);
        }
        a += s.sweep;
    }
}

void CPieChartWnd::Draw3D(Graphics& g, const zr_pie::Rect& pie)
{
    const zr_pie::Pie3D geometry = Prepare3D(pie);
    const auto order = zr_pie::DrawOrder3D(m_slices, m_startAngle3d, zr_pie::FrontBack{ m_frontKey, m_backKey });
    const auto starts = zr_pie::StartAngles3D(m_slices, m_startAngle3d);
    SolidBrush highlight(WithAlpha(m_highlight, 100));
    Pen highlightPen(Argb(m_highlight), 1.0f);
    for (const zr_pie::DrawStep& step : order) {
        const zr_pie::Slice& s = m_slices.at(step.key);
        Pen outline(Argb(s.color3), 0.8f);
        for (const zr_pie::Face& face : zr_pie::SliceFaces(s, starts.at(step.key), geometry, step.part)) {
            const std::vector<PointF> points = ToPoints(face.points);
            if (points.size() < 3)
                continue;
            GraphicsPath path;
            path.AddPolygon(points.data(), (INT)points.size());
            RectF bounds;
            path.GetBounds(&bounds);
            if (face.kind == zr_pie::FaceKind::Wall) {
                SolidBrush wall(WithAlpha(zr_pie::Shade(s.color3, 120), s.alpha3d));
                g.FillPath(&wall, &path);
            } else {
                const bool top = face.kind == zr_pie::FaceKind::Top;
                const auto gradient = VerticalGradient(bounds, WithAlpha(top ? s.color2 : s.color1, s.alpha3d),
                                                       WithAlpha(top ? s.color1 : s.color2, s.alpha3d));
                g.FillPath(gradient.get(), &path);
            }
            g.DrawPath(&outline, &path);
            if (s.selected) {
                g.FillPath(&highlight, &path);
                g.DrawPath(&highlightPen, &path);
            }
        }
    }
}

void CPieChartWnd::DrawLabels(Graphics& g, const zr_pie::Rect& pie)
{
    const auto font = MakeFont(m_legendFontFamily, zr_pie::LabelPointSize(pie.Height()), m_legendFontStyle);
    StringFormat format;
    SolidBrush text(Argb(m_textColor));
    const zr_pie::Pie3D geometry = zr_pie::Geometry3D(pie, m_tilt, m_depthRatio);
    const auto starts = zr_pie::StartAngles3D(m_slices, m_startAngle3d);
    double a = m_startAngle;
    for (const auto& [key, s] : m_slices) {
        const zr_pie::PointF at = m_style == zr_pie::k3D ? zr_pie::LabelPoint3D(s, starts.at(key), geometry)
                                                         : zr_pie::LabelPointFlat(pie, a, s.sweep, s.explode);
        a += s.sweep;
        const SizeF size = Measure(g, s.name.c_str(), *font, format, (REAL)pie.Height());
        g.DrawString(s.name.c_str(), -1, font.get(),
                     PointF((REAL)(at.x - size.Width / 2), (REAL)(at.y - size.Height / 2)), &text);
    }
}

void CPieChartWnd::SaveBitmap(Bitmap& bitmap)
{
    const std::wstring mime = zr_pie::ImageMimeType(m_imagePath.GetString());
    if (mime.empty())
        return;
    UINT count = 0, bytes = 0;
    if (GetImageEncodersSize(&count, &bytes) != Ok || bytes == 0)
        return;
    std::vector<BYTE> storage(bytes);
    auto* encoders = reinterpret_cast<ImageCodecInfo*>(storage.data());
    if (GetImageEncoders(count, bytes, encoders) != Ok)
        return;
    for (UINT i = 0; i < count; ++i) {
        if (!encoders[i].MimeType || mime != encoders[i].MimeType)
            continue;
        // A failed write leaves no part-written file behind (but never removes one that was
        // there before the save began).
        const bool existed = ::GetFileAttributesW(m_imagePath.GetString()) != INVALID_FILE_ATTRIBUTES;
        if (bitmap.Save(m_imagePath.GetString(), &encoders[i].Clsid, nullptr) != Ok && !existed)
            ::DeleteFileW(m_imagePath.GetString());
        return;
    }
}

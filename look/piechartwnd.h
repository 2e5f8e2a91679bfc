// A child window that draws a pie chart of named values with a title and a legend, as a ring, a
// flat pie or a 3-D pie. A click selects the slice under it; the legend scrolls with a scroll bar
// of its own when its rows do not fit; the picture can be saved as an image file on the next paint.
// All drawing goes through GDI+ into an off-screen bitmap that reaches the window in one transfer.
//
// The chart keeps a GDI+ start-up of its own (from WM_CREATE to its destructor), so it never shuts
// down the application's. User-interface thread only.
#pragma once
#include <cstdint>

#include "afxwin.h"
#include "look/pure/piechart.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
} // namespace Gdiplus

class CPieChartWnd : public CWnd {
public:
    CPieChartWnd();
    ~CPieChartWnd() override;

    // Stores the title and creates the window (WS_VISIBLE | WS_BORDER) as child `id` of `parent`.
    BOOL Create(LPCWSTR title, const RECT& rect, CWnd* parent, UINT id);
    // Deletes every slice, resets the totals and the legend and repaints; the window stays. 1.
    int RemoveAll();

    // Adds a slice after the last one and spreads the circle over the slices by value. Returns its
    // key, or -1 for a value that is negative or not a number.
    int AddSlice(double value, uint32_t color1, uint32_t color2, uint32_t color3, LPCWSTR name, LPCWSTR valueText,
                 int explode = 0, BYTE alpha3d = 255);
    // 0 ring, 1 flat pie, 2 3-D pie; any other style draws nothing.
    void SetStyle(int style);
    void SetTilt(float degrees);
    void SetStartAngle(float degrees);
    void ShowLabels(BOOL show);
    // Fixed pie and legend areas (an empty rectangle: computed from the window's size).
    void SetAreas(const RECT& pie, const RECT& legend);
    // Saves the picture to `path` at the next paint; the format follows the extension (bmp, gif,
    // jpg/jpeg/jpe, png, tif/tiff). An unknown format or a failed write leaves no file.
    void SaveImage(LPCWSTR path);

    const zr_pie::Slices& Slices() const { return m_slices; }
    const zr_pie::Legend& LegendState() const { return m_legend; }
    double Total() const { return m_total; }
    int FrontSliceKey() const { return m_frontKey; }
    int BackSliceKey() const { return m_backKey; }
    HWND LegendScrollBar() const { return m_legendScroll.GetSafeHwnd(); }
    // The areas for the window's current size.
    zr_pie::Rect PieArea() const;
    zr_pie::Rect LegendArea() const;

protected:
    void OnPaint();
    int OnCreate(LPCREATESTRUCTW create);
    void OnSize(UINT type, int cx, int cy);
    void OnVScroll(UINT code, UINT position, CWnd* scrollBar);
    void OnLButtonDown(UINT flags, CPoint point);

private:
    zr_pie::Rect Client() const;
    // Legend heights, scroll range and first visible row, after the slices or the size changed.
    void UpdateLegend();
    void SetUpScrollBar();
    int ScrollLimit() const;
    // The 3-D geometry for the current pie area; fills in each slice's 3-D angles and points.
    zr_pie::Pie3D Prepare3D(const zr_pie::Rect& pie);

    void DrawBackgroundAndTitle(Gdiplus::Graphics& g, const zr_pie::Rect& client);
    void DrawLegend(Gdiplus::Graphics& g, const zr_pie::Rect& client);
    void DrawFlat(Gdiplus::Graphics& g, const zr_pie::Rect& pie, bool ring);
    void Draw3D(Gdiplus::Graphics& g, const zr_pie::Rect& pie);
    void DrawLabels(Gdiplus::Graphics& g, const zr_pie::Rect& pie);
    void SaveBitmap(Gdiplus::Bitmap& bitmap);

    CWnd m_legendScroll; // vertical scroll bar, control id 1
    int m_sliceCount = 0;
    float m_startAngle = 0.0f;
    float m_startAngle3d = 0.0f;
    float m_tilt = 0.0f;
    float m_depthRatio = 0.5f;
    double m_total = 0.0;
    COLORREF m_background = RGB(255, 255, 255);
    zr_pie::Legend m_legend;
    int m_pieSize = 200; // right edge of the pie area + 10
    int m_scrollBarWidth = 20;
    CString m_legendFontFamily;
    int m_legendFontStyle = 0; // regular
    int m_legendFontSize = -1; // 0 or less: from the legend's height
    uint32_t m_textColor = 0xFF000000u;
    uint32_t m_legendBackground = 0xFFFFFFFFu;
    uint32_t m_accentColor = 0xFF0000FFu;
    uint32_t m_gradientStart = 0xFFFFFFFFu;
    uint32_t m_gradientEnd = 0xFFFFFFFFu;
    float m_styleValues[2] = { 200.0f, 10.0f };
    CString m_title;
    CString m_titleFontFamily;
    int m_titleFontStyle = 4; // underline
    int m_horizontalOffset = 0;
    int m_frontKey = -1;
    int m_backKey = -1;
    uint32_t m_highlight = 0xFF6BE6FFu;
    CString m_imagePath;
    BOOL m_saveRequest = FALSE;
    BOOL m_labelsShown = TRUE;
    zr_pie::Slices m_slices;
    int m_style = zr_pie::kRing;
    zr_pie::Rect m_pieOverride;
    zr_pie::Rect m_legendOverride;
    ULONG_PTR m_gdiplusToken = 0; // this chart's own GDI+ start-up; 0 when none
    bool m_gdiplusStarted = false;

    DECLARE_MESSAGE_MAP()
};

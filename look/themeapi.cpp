#include "look/themeapi.h"

BOOL ZrRuntimeLibrary::Load()
{
    if (m_hModule) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    m_hModule = ::LoadLibraryW(m_libraryName);
    return m_hModule != nullptr;
}

void ZrRuntimeLibrary::Unload()
{
    if (m_hModule) {
        ::FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}

FARPROC ZrRuntimeLibrary::Find(const char* exportName) const
{
    if (!m_hModule) {
        ::SetLastError((DWORD)ZR_E_NOT_LOADED);
        return nullptr;
    }
    return ::GetProcAddress(m_hModule, exportName);
}

// DwmApi

BOOL DwmApi::IsCompositionEnabled() const
{
    BOOL enabled = FALSE;
    HRESULT hr = CallHr<HRESULT(WINAPI*)(BOOL*)>("DwmIsCompositionEnabled", &enabled);
    if (hr == ZR_E_NOT_LOADED)
        ::SetLastError((DWORD)ZR_E_NOT_LOADED);
    return SUCCEEDED(hr) && enabled;
}

HRESULT DwmApi::ExtendFrameIntoClientArea(HWND hWnd, const MARGINS* margins) const
{
    return CallHr<HRESULT(WINAPI*)(HWND, const MARGINS*)>("DwmExtendFrameIntoClientArea", hWnd, margins);
}

HRESULT DwmApi::EnableComposition(UINT enable) const
{
    return CallHr<HRESULT(WINAPI*)(UINT)>("DwmEnableComposition", enable);
}

// UxThemeApi

HRESULT UxThemeApi::BufferedPaintInit() const
{
    return CallHr<HRESULT(WINAPI*)()>("BufferedPaintInit");
}

HRESULT UxThemeApi::BufferedPaintUnInit() const
{
    return CallHr<HRESULT(WINAPI*)()>("BufferedPaintUnInit");
}

HTHEME UxThemeApi::OpenThemeData(HWND hWnd, LPCWSTR classList) const
{
    return CallValue<HTHEME, HTHEME(WINAPI*)(HWND, LPCWSTR)>("OpenThemeData", hWnd, classList);
}

HRESULT UxThemeApi::CloseThemeData(HTHEME theme) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME)>("CloseThemeData", theme);
}

HPAINTBUFFER UxThemeApi::BeginBufferedPaint(HDC target, const RECT* targetRect, BP_BUFFERFORMAT format,
                                            BP_PAINTPARAMS* params, HDC* paintDC) const
{
    return CallValue<HPAINTBUFFER, HPAINTBUFFER(WINAPI*)(HDC, const RECT*, BP_BUFFERFORMAT, BP_PAINTPARAMS*, HDC*)>(
        "BeginBufferedPaint", target, targetRect, format, params, paintDC);
}

HRESULT UxThemeApi::EndBufferedPaint(HPAINTBUFFER buffer, BOOL updateTarget) const
{
    return CallHr<HRESULT(WINAPI*)(HPAINTBUFFER, BOOL)>("EndBufferedPaint", buffer, updateTarget);
}

HRESULT UxThemeApi::DrawThemeTextEx(HTHEME theme, HDC dc, int part, int state, LPCWSTR text, int count, DWORD flags,
                                    LPRECT rect, const DTTOPTS* options) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, LPRECT, const DTTOPTS*)>(
        "DrawThemeTextEx", theme, dc, part, state, text, count, flags, rect, options);
}

HRESULT UxThemeApi::GetThemeInt(HTHEME theme, int part, int state, int prop, int* value) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, int, int, int, int*)>("GetThemeInt", theme, part, state, prop, value);
}

HRESULT UxThemeApi::BufferedPaintSetAlpha(HPAINTBUFFER buffer, const RECT* rect, BYTE alpha) const
{
    return CallHr<HRESULT(WINAPI*)(HPAINTBUFFER, const RECT*, BYTE)>("BufferedPaintSetAlpha", buffer, rect, alpha);
}

HRESULT UxThemeApi::DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                        const RECT* clip) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*)>("DrawThemeBackground", theme, dc,
                                                                                     part, state, rect, clip);
}

HRESULT UxThemeApi::GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, const RECT* bounds,
                                                  RECT* content) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*)>("GetThemeBackgroundContentRect", theme,
                                                                               dc, part, state, bounds, content);
}

HRESULT UxThemeApi::GetThemeBitmap(HTHEME theme, int part, int state, int prop, ULONG flags, HBITMAP* bitmap) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, int, int, int, ULONG, HBITMAP*)>("GetThemeBitmap", theme, part, state, prop,
                                                                            flags, bitmap);
}

HRESULT UxThemeApi::GetThemeColor(HTHEME theme, int part, int state, int prop, COLORREF* color) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, int, int, int, COLORREF*)>("GetThemeColor", theme, part, state, prop, color);
}

HRESULT UxThemeApi::GetThemePartSize(HTHEME theme, HDC dc, int part, int state, LPCRECT rect, THEMESIZE size,
                                     SIZE* out) const
{
    return CallHr<HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, THEMESIZE, SIZE*)>("GetThemePartSize", theme, dc,
                                                                                      part, state, rect, size, out);
}

BOOL UxThemeApi::GetTextGlowSize(int* size, LPCWSTR themeClass) const
{
    if (!size) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HTHEME theme = OpenThemeData(nullptr, themeClass ? themeClass : L"CompositedWindow::Window");
    if (!theme) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    GetThemeInt(theme, 0, 0, 2425 /* TMT_TEXTGLOWSIZE */, size);
    CloseThemeData(theme);
    return TRUE;
}

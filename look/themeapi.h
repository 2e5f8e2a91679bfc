// Run-time bindings of dwmapi.dll and uxtheme.dll.
//
// The program also runs on systems that have neither the desktop window manager nor buffered
// painting, so it never imports these libraries: each binding loads its library by name and looks
// every export up by name at every call (no address is cached, so a library unloaded in between is
// never called through a stale pointer). Every call is harmless when the library or the export is
// missing:
//   - HRESULT operations: not loaded -> ZR_E_NOT_LOADED; export missing -> HRESULT_FROM_WIN32 of the
//     loader's error;
//   - handle and BOOL operations: not loaded -> SetLastError(ZR_E_NOT_LOADED) and 0; export
//     missing -> 0 with the error GetProcAddress left.
// A binding is used by the thread of the window that owns it. Copies are not allowed: each object
// loads and frees its own handle (the destructor frees it too).
#pragma once
#include <windows.h>
#include <uxtheme.h>
#include <dwmapi.h>

// The error the bindings report while their library is not loaded.
constexpr HRESULT ZR_E_NOT_LOADED = (HRESULT)0x80040007L;

class ZrRuntimeLibrary {
public:
    ZrRuntimeLibrary(const ZrRuntimeLibrary&) = delete;
    ZrRuntimeLibrary& operator=(const ZrRuntimeLibrary&) = delete;

    // FALSE with ERROR_ALREADY_INITIALIZED when already loaded (the first handle stays); otherwise
    // loads the library, FALSE (loader's error in GetLastError) when that fails.
    BOOL Load();
    void Unload();
    BOOL IsLoaded() const { return m_hModule != nullptr; }

protected:
    explicit ZrRuntimeLibrary(const wchar_t* libraryName) : m_libraryName(libraryName) { }
    ~ZrRuntimeLibrary() { Unload(); }

    // The export's address, or null: not loaded (last error ZR_E_NOT_LOADED) or not found (last
    // error from GetProcAddress).
    FARPROC Find(const char* exportName) const;

    template <class Fn, class... A> HRESULT CallHr(const char* exportName, A... args) const
    {
        if (!m_hModule)
            return ZR_E_NOT_LOADED;
        FARPROC p = Find(exportName);
        if (!p)
            return HRESULT_FROM_WIN32(::GetLastError());
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p))(args...);
    }
    template <class R, class Fn, class... A> R CallValue(const char* exportName, A... args) const
    {
        FARPROC p = Find(exportName);
        if (!p)
            return R();
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p))(args...);
    }

private:
    HMODULE m_hModule = nullptr;
    const wchar_t* m_libraryName;
};

class DwmApi : public ZrRuntimeLibrary {
public:
    DwmApi() : ZrRuntimeLibrary(L"dwmapi.dll") { }

    // TRUE only when DwmIsCompositionEnabled succeeds and reports TRUE.
    BOOL IsCompositionEnabled() const;
    HRESULT ExtendFrameIntoClientArea(HWND hWnd, const MARGINS* margins) const;
    HRESULT EnableComposition(UINT enable) const;

protected:
    // Binds another library under the same calls (tests: a missing library, a missing export).
    explicit DwmApi(const wchar_t* libraryName) : ZrRuntimeLibrary(libraryName) { }
};

class UxThemeApi : public ZrRuntimeLibrary {
public:
    UxThemeApi() : ZrRuntimeLibrary(L"uxtheme.dll") { }

    HRESULT BufferedPaintInit() const;
    HRESULT BufferedPaintUnInit() const;
    HTHEME OpenThemeData(HWND hWnd, LPCWSTR classList) const;
    HRESULT CloseThemeData(HTHEME theme) const;
    HPAINTBUFFER BeginBufferedPaint(HDC target, const RECT* targetRect, BP_BUFFERFORMAT format, BP_PAINTPARAMS* params,
                                    HDC* paintDC) const;
    HRESULT EndBufferedPaint(HPAINTBUFFER buffer, BOOL updateTarget) const;
    HRESULT DrawThemeTextEx(HTHEME theme, HDC dc, int part, int state, LPCWSTR text, int count, DWORD flags,
                            LPRECT rect, const DTTOPTS* options) const;
    HRESULT GetThemeInt(HTHEME theme, int part, int state, int prop, int* value) const;
    HRESULT BufferedPaintSetAlpha(HPAINTBUFFER buffer, const RECT* rect, BYTE alpha) const;
    HRESULT BufferedPaintSetAlpha(HPAINTBUFFER buffer, const RECT* rect) const
    {
        return BufferedPaintSetAlpha(buffer, rect, 255);
    }
    HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip) const;
    HRESULT GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, const RECT* bounds,
                                          RECT* content) const;
    HRESULT GetThemeBitmap(HTHEME theme, int part, int state, int prop, ULONG flags, HBITMAP* bitmap) const;
    HRESULT GetThemeColor(HTHEME theme, int part, int state, int prop, COLORREF* color) const;
    HRESULT GetThemePartSize(HTHEME theme, HDC dc, int part, int state, LPCRECT rect, THEMESIZE size, SIZE* out) const;

    // The text glow size of a theme class (null: "CompositedWindow::Window"), opened without a
    // window. FALSE with ERROR_INVALID_PARAMETER for a null pointer, ERROR_FILE_NOT_FOUND when the
    // class cannot be opened; otherwise TRUE whatever the read gave.
    BOOL GetTextGlowSize(int* size, LPCWSTR themeClass = nullptr) const;

protected:
    explicit UxThemeApi(const wchar_t* libraryName) : ZrRuntimeLibrary(libraryName) { }
};

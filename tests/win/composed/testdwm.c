/* A stand-in for the desktop window manager's library, for tests only: Wine has no desktop
   composition, so this one reports it on. Built twice, as dwmapi.dll (loaded by the glass tests
   through a DLL override) and as zr_tripwire.dll (whose calls the tests count to catch a use of
   released bindings). Every export counts its calls. */
#include <windows.h>

static volatile LONG calls;
static volatile LONG composition = TRUE;

__declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled)
{
    InterlockedIncrement(&calls);
    if (!enabled)
        return E_INVALIDARG;
    *enabled = composition ? TRUE : FALSE;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DwmExtendFrameIntoClientArea(HWND window, const void* margins)
{
    InterlockedIncrement(&calls);
    return window && margins ? S_OK : E_INVALIDARG;
}

__declspec(dllexport) HRESULT WINAPI DwmEnableComposition(UINT enable)
{
    InterlockedIncrement(&calls);
    InterlockedExchange(&composition, enable ? TRUE : FALSE);
    return S_OK;
}

/* Under the visual-styles library's names: a released uxtheme binding poisoned with this module
   calls these. */
__declspec(dllexport) HRESULT WINAPI BufferedPaintInit(void)
{
    InterlockedIncrement(&calls);
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI BufferedPaintUnInit(void)
{
    InterlockedIncrement(&calls);
    return S_OK;
}

__declspec(dllexport) void* WINAPI BeginBufferedPaint(HDC dc, const RECT* rect, int format, void* params, HDC* out)
{
    InterlockedIncrement(&calls);
    if (out)
        *out = NULL;
    return NULL;
}

__declspec(dllexport) void* WINAPI OpenThemeData(HWND window, const WCHAR* classes)
{
    InterlockedIncrement(&calls);
    return NULL;
}

__declspec(dllexport) LONG WINAPI ZrTestDwmCalls(void)
{
    return calls;
}

#include "look/glass.h"

#include <new>
#include <utility>
#include <vector>

#include "look/glassprocs.h"

using namespace zr_glass_impl;

namespace {

ZrGlassReleaseHook g_releaseHook = nullptr;

const MARGINS kWholeWindow = { -1, -1, -1, -1 };

// A failure whose call left no error still fails.
DWORD ErrorOr(DWORD error, DWORD fallback)
{
    return error != 0 ? error : fallback;
}

template <class Binding> void FreeBinding(Binding* binding)
{
    if (!binding)
        return;
    binding->Unload();
    binding->~Binding();
    if (!(g_releaseHook && g_releaseHook(binding, sizeof(Binding))))
        ::operator delete(binding);
}

struct SharedBindings {
    const DwmApi* dwm;
    const UxThemeApi* uxTheme;
};

BOOL CALLBACK ForgetBindings(HWND window, LPARAM lParam)
{
    const SharedBindings* shared = reinterpret_cast<const SharedBindings*>(lParam);
    if (AeroSubclassRecord* r = AeroGetRecord(window)) {
        if (r->dwm == shared->dwm)
            r->dwm = nullptr;
        if (r->uxTheme == shared->uxTheme)
            r->uxTheme = nullptr;
    }
    return TRUE;
}

// Ends buffered painting, nulls the binding pointers of the dialog's record and of every
// descendant's copy, then frees the bindings. Runs once: a second call finds null pointers.
void ReleaseBindings(HWND dialog, AeroSubclassRecord* record)
{
    DwmApi* dwm = record->dwm;
    UxThemeApi* uxTheme = record->uxTheme;
    if (!dwm && !uxTheme)
        return;
    if (uxTheme)
        uxTheme->BufferedPaintUnInit();
    record->dwm = nullptr;
    record->uxTheme = nullptr;
    SharedBindings shared = { dwm, uxTheme };
    ::EnumChildWindows(dialog, ForgetBindings, reinterpret_cast<LPARAM>(&shared));
    FreeBinding(uxTheme);
    FreeBinding(dwm);
}

// Installs `procedure` on `control` under a copy of its parent's record. 0 or the error.
DWORD Install(HWND control, WNDPROC procedure, DWORD startFlags)
{
    if (!control || !::IsWindow(control) || !procedure)
        return ERROR_INVALID_PARAMETER;
    HWND parent = ::GetParent(control);
    if (!parent)
        return ERROR_INVALID_PARAMETER;
    const AeroSubclassRecord* parentRecord = AeroGetRecord(parent);
    if (!parentRecord)
        return ERROR_FILE_NOT_FOUND;
    if (AeroGetRecord(control))
        return ERROR_ALREADY_INITIALIZED;
    auto* record = static_cast<AeroSubclassRecord*>(::LocalAlloc(LPTR, sizeof(AeroSubclassRecord)));
    if (!record)
        return ErrorOr(::GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    *record = *parentRecord;
    record->flags |= startFlags;
    record->selectionStart = record->selectionEnd = -1;
    record->player = nullptr;
    record->previous = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(control, GWLP_WNDPROC));
    if (!::SetPropW(control, kRecordProperty, record)) {
        const DWORD error = ErrorOr(::GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
        ::LocalFree(record);
        return error;
    }
    ::SetLastError(0);
    const LONG_PTR previous = ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    if (!previous) {
        const DWORD error = ErrorOr(::GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        ::RemovePropW(control, kRecordProperty);
        ::LocalFree(record);
        return error;
    }
    record->previous = reinterpret_cast<WNDPROC>(previous);
    return 0;
}

struct Installed {
    HWND window;
    WNDPROC procedure;
};

// One enumeration: the class flags, the parent whose direct children are taken, the first error
// and what was installed (so that a failed set-up can take it back).
struct DispatchContext {
    DWORD* error;
    DWORD flags;
    HWND parent;
    std::vector<Installed>* installed;
};

struct DescendantWalk {
    const wchar_t* className;
    zr_glass::Proc proc;
    std::vector<Installed>* installed;
};

bool HasClass(HWND window, const wchar_t* name)
{
    wchar_t buffer[zr_glass::kClassNameCapacity] = {};
    const int length = ::GetClassNameW(window, buffer, zr_glass::kClassNameCapacity);
    return length > 0 && std::wstring_view(buffer, (size_t)length) == name;
}

void InstallRule(HWND control, const zr_glass::ClassRule& rule, std::vector<Installed>* installed, DWORD* error);

BOOL CALLBACK DescendantDispatch(HWND window, LPARAM lParam)
{
    const DescendantWalk* walk = reinterpret_cast<const DescendantWalk*>(lParam);
    // A descendant that cannot be set up (no record on its own parent, or one of its own) keeps
    // its own look; the control above it has its glass all the same.
    if (HasClass(window, walk->className) && !AeroGetRecord(window))
        InstallRule(window, zr_glass::RuleFor(walk->proc), walk->installed, nullptr);
    return TRUE;
}

void InstallRule(HWND control, const zr_glass::ClassRule& rule, std::vector<Installed>* installed, DWORD* error)
{
    WNDPROC procedure = ProcedureFor(rule.proc);
    const DWORD result = Install(control, procedure, rule.startFlags);
    if (result != 0) {
        if (error)
            *error = result;
        return;
    }
    if (installed)
        installed->push_back(Installed{ control, procedure });
    if (rule.childClass) {
        DescendantWalk walk = { rule.childClass, rule.childProc, installed };
        ::EnumChildWindows(control, DescendantDispatch, reinterpret_cast<LPARAM>(&walk));
    }
}

BOOL CALLBACK AeroClassDispatch(HWND child, LPARAM lParam)
{
    const DispatchContext* context = reinterpret_cast<const DispatchContext*>(lParam);
    if (*context->error != 0 || ::GetParent(child) != context->parent)
        return TRUE;
    wchar_t name[zr_glass::kClassNameCapacity] = {};
    const int length = ::GetClassNameW(child, name, zr_glass::kClassNameCapacity);
    if (length <= 0)
        return TRUE;
    const zr_glass::ClassRule rule =
        zr_glass::MatchClass(std::wstring_view(name, (size_t)length), (uint32_t)::GetWindowLongW(child, GWL_STYLE));
    if (rule.proc != zr_glass::Proc::None && (rule.classBit & context->flags) != 0)
        InstallRule(child, rule, context->installed, context->error);
    return TRUE;
}

bool CompositionOn(const AeroSubclassRecord* record)
{
    return record && record->dwm && record->dwm->IsCompositionEnabled();
}

// A control that asked to be drawn again on the glass is drawn now. False when it did not ask.
bool PaintPendingControl(HWND control)
{
    AeroSubclassRecord* controlRecord = control && ::IsWindow(control) ? AeroGetRecord(control) : nullptr;
    if (!controlRecord || !(controlRecord->flags & zr_glass::kRepaintPending))
        return false;
    if (HDC dc = ::GetDC(control)) {
        RECT area;
        ::GetWindowRect(control, &area);
        ::MapWindowPoints(HWND_DESKTOP, control, reinterpret_cast<POINT*>(&area), 2);
        PaintControlOnGlass(control, dc, &area, FALSE);
        ::ReleaseDC(control, dc);
    }
    controlRecord->flags &= ~zr_glass::kRepaintPending;
    return true;
}

// The dialog's background as clear glass. False when the dialog is minimised or paints its own
// glass: its own procedure paints it then.
bool PaintDialogGlass(HWND dialog, const AeroSubclassRecord* record)
{
    if (::IsIconic(dialog) || (record->flags & zr_glass::kOwnGlass))
        return false;
    PAINTSTRUCT ps;
    if (HDC dc = ::BeginPaint(dialog, &ps)) {
        // Black is clear glass once the frame covers the window.
        if (CompositionOn(record) && SUCCEEDED(record->dwm->ExtendFrameIntoClientArea(dialog, &kWholeWindow))) {
            RECT client;
            ::GetClientRect(dialog, &client);
            ::PatBlt(dc, client.left, client.top, client.right - client.left, client.bottom - client.top, BLACKNESS);
        }
    }
    ::EndPaint(dialog, &ps);
    return true;
}

// Controls whose look a notification or a colour request changes are drawn again on the glass.
void RedrawChangedControls(const AeroSubclassRecord* record, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->code == LVN_ITEMCHANGED) {
            if (HWND columns = reinterpret_cast<HWND>(::SendMessageW(header->hwndFrom, LVM_GETHEADER, 0, 0))) {
                ::InvalidateRect(columns, nullptr, TRUE);
                ::UpdateWindow(columns);
            }
        }
        break;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == 1 && lParam != 0) {
            ::InvalidateRect(reinterpret_cast<HWND>(lParam), nullptr, TRUE);
            ::UpdateWindow(reinterpret_cast<HWND>(lParam));
        }
        break;
    case WM_CTLCOLOREDIT: {
        HWND edit = reinterpret_cast<HWND>(lParam);
        if (AeroSubclassRecord* r = AeroGetRecord(edit))
            r->flags |= zr_glass::kRepaintPending;
        ::PostMessageW(edit, record->redrawMessage, 0, 0);
        break;
    }
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (AeroGetRecord(control))
            RequestGlassRedraw(control, record->redrawMessage);
        break;
    }
    default:
        break;
    }
}

LRESULT CALLBACK AeroDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    AeroSubclassRecord* record = AeroGetRecord(dialog);
    if (!record)
        return ::DefWindowProcW(dialog, message, wParam, lParam);
    const WNDPROC previous = record->previous;
    if (message == WM_DESTROY || message == WM_NCDESTROY) {
        // The bindings go with the dialog even when something subclassed it above this procedure
        // and the record must stay: the pointers are nulled, so nothing uses them afterwards.
        if (message == WM_DESTROY)
            ReleaseBindings(dialog, record);
        Uninstall(dialog, AeroDialogProc, record);
        return ::CallWindowProcW(previous, dialog, message, wParam, lParam);
    }
    if (!CompositionOn(record))
        return ::CallWindowProcW(previous, dialog, message, wParam, lParam);
    if (message == record->redrawMessage) {
        if (!PaintPendingControl(reinterpret_cast<HWND>(lParam)))
            return ::CallWindowProcW(previous, dialog, message, wParam, lParam);
        return 0;
    }
    if (message == WM_PAINT && PaintDialogGlass(dialog, record))
        return 1;
    RedrawChangedControls(record, message, wParam, lParam);
    return ::CallWindowProcW(previous, dialog, message, wParam, lParam);
}

// What one AeroAutoSubclass call has set up so far, so that a failure can take it back.
struct GlassSetup {
    DwmApi* dwm = nullptr;
    UxThemeApi* uxTheme = nullptr;
    AeroSubclassRecord* record = nullptr;
    bool paintInit = false;
    bool stored = false;
    std::vector<Installed> installed;
};

// The bindings, loaded, and the dialog's record. 0 or the error.
DWORD AllocateGlass(GlassSetup& setup)
{
    setup.dwm = new (std::nothrow) DwmApi;
    setup.uxTheme = new (std::nothrow) UxThemeApi;
    setup.record = static_cast<AeroSubclassRecord*>(::LocalAlloc(LPTR, sizeof(AeroSubclassRecord)));
    if (!setup.dwm || !setup.uxTheme)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!setup.record)
        return ErrorOr(::GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    if (!setup.dwm->Load() || !setup.uxTheme->Load())
        return ErrorOr(::GetLastError(), ERROR_MOD_NOT_FOUND);
    return 0;
}

DWORD StartBufferedPaint(GlassSetup& setup)
{
    const HRESULT hr = setup.uxTheme->BufferedPaintInit();
    if (FAILED(hr))
        return (DWORD)hr;
    setup.paintInit = true;
    return 0;
}

// Fills the dialog's record and hangs it on the dialog. 0 or the error.
DWORD StoreDialogRecord(HWND dialog, DWORD flags, UINT redrawMessage, GlassSetup& setup)
{
    AeroSubclassRecord* record = setup.record;
    record->dwm = setup.dwm;
    record->uxTheme = setup.uxTheme;
    record->redrawMessage = redrawMessage;
    record->flags = (flags & zr_glass::kSelfPainted) ? DWORD(zr_glass::kOwnGlass) : 0;
    record->selectionStart = record->selectionEnd = -1;
    if (!::SetPropW(dialog, kRecordProperty, record))
        return ErrorOr(::GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    setup.stored = true;
    return 0;
}

// The dialog's direct children of the classes `flags` names get their glass procedures.
DWORD SubclassChildControls(HWND dialog, DWORD flags, GlassSetup& setup)
{
    DWORD error = 0;
    DispatchContext context = { &error, flags, dialog, &setup.installed };
    ::EnumChildWindows(dialog, AeroClassDispatch, reinterpret_cast<LPARAM>(&context));
    return error;
}

DWORD SubclassDialog(HWND dialog, AeroSubclassRecord* record)
{
    ::SetLastError(0);
    const LONG_PTR previous = ::SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AeroDialogProc));
    if (!previous)
        return ErrorOr(::GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    record->previous = reinterpret_cast<WNDPROC>(previous);
    return 0;
}

// The steps of AeroAutoSubclass in order, up to the first that fails. 0 or its error.
DWORD SetUpGlass(HWND dialog, DWORD flags, UINT redrawMessage, GlassSetup& setup)
{
    DWORD error = AllocateGlass(setup);
    if (error)
        return error;
    if (setup.dwm->IsCompositionEnabled() && !(flags & zr_glass::kSelfPainted))
        setup.dwm->ExtendFrameIntoClientArea(dialog, &kWholeWindow);
    if ((error = StartBufferedPaint(setup)) != 0 || (error = StoreDialogRecord(dialog, flags, redrawMessage, setup)) != 0 ||
        (error = SubclassChildControls(dialog, flags, setup)) != 0)
        return error;
    return SubclassDialog(dialog, setup.record);
}

// Takes back everything a failed AeroAutoSubclass did, the last first.
void TakeBackGlass(HWND dialog, GlassSetup& setup)
{
    for (auto it = setup.installed.rbegin(); it != setup.installed.rend(); ++it)
        if (AeroSubclassRecord* r = AeroGetRecord(it->window))
            Uninstall(it->window, it->procedure, r);
    if (setup.stored)
        ::RemovePropW(dialog, kRecordProperty);
    if (setup.paintInit)
        setup.uxTheme->BufferedPaintUnInit();
    FreeBinding(setup.uxTheme);
    FreeBinding(setup.dwm);
    if (setup.record)
        ::LocalFree(setup.record);
}

} // namespace

namespace zr_glass_impl {

BOOL Uninstall(HWND window, WNDPROC self, AeroSubclassRecord* record)
{
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) != self)
        return FALSE;
    ClosePlayer(record);
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
    ::RemovePropW(window, kRecordProperty);
    ::LocalFree(record);
    return TRUE;
}

bool GlassActive(HWND control, const AeroSubclassRecord* record)
{
    return AeroGetRecord(::GetParent(control)) != nullptr && CompositionOn(record);
}

bool ControlPrologue(HWND window, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC self, bool ncDestroyToo,
                     AeroSubclassRecord** record, LRESULT* result)
{
    AeroSubclassRecord* r = AeroGetRecord(window);
    if (!r) {
        *result = ::DefWindowProcW(window, message, wParam, lParam);
        return true;
    }
    const WNDPROC previous = r->previous;
    if (message == WM_DESTROY || (ncDestroyToo && message == WM_NCDESTROY)) {
        Uninstall(window, self, r);
        *result = ::CallWindowProcW(previous, window, message, wParam, lParam);
        return true;
    }
    if (!GlassActive(window, r)) {
        *result = ::CallWindowProcW(previous, window, message, wParam, lParam);
        return true;
    }
    *record = r;
    return false;
}

void RequestGlassRedraw(HWND control, UINT redrawMessage)
{
    if (AeroSubclassRecord* r = AeroGetRecord(control))
        r->flags |= zr_glass::kRepaintPending;
    ::PostMessageW(control, redrawMessage, 0, 0);
}

} // namespace zr_glass_impl

AeroSubclassRecord* AeroGetRecord(HWND window)
{
    return window ? static_cast<AeroSubclassRecord*>(::GetPropW(window, kRecordProperty)) : nullptr;
}

BOOL AeroAutoSubclass(HWND dialog, DWORD flags, DWORD reserved)
{
    if (!dialog || !::IsWindow(dialog) || reserved != 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Subclassing the dialog a second time would chain its procedure to itself.
    if (AeroGetRecord(dialog)) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    const UINT redrawMessage = ::RegisterWindowMessageW(L"AeroAutoSubclassRedraw");
    if (!redrawMessage) {
        ::SetLastError(ErrorOr(::GetLastError(), ERROR_NOT_ENOUGH_MEMORY));
        return FALSE;
    }
    GlassSetup setup;
    const DWORD error = SetUpGlass(dialog, flags, redrawMessage, setup);
    if (!error)
        return TRUE;
    TakeBackGlass(dialog, setup);
    ::SetLastError(error);
    return FALSE;
}

BOOL AeroSubclassControl(HWND control)
{
    if (!control || !::IsWindow(control) || !::GetParent(control)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wchar_t name[zr_glass::kClassNameCapacity] = {};
    const int length = ::GetClassNameW(control, name, zr_glass::kClassNameCapacity);
    const zr_glass::ClassRule rule = length > 0
        ? zr_glass::MatchClass(std::wstring_view(name, (size_t)length), (uint32_t)::GetWindowLongW(control, GWL_STYLE))
        : zr_glass::ClassRule{};
    if (rule.proc == zr_glass::Proc::None) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    DWORD error = 0;
    InstallRule(control, rule, nullptr, &error);
    ::SetLastError(error);
    return error == 0;
}

ZrGlassReleaseHook ZrSetGlassReleaseHook(ZrGlassReleaseHook hook)
{
    return std::exchange(g_releaseHook, hook);
}

#include "dialog.h"
#include "app.h"

#include <limits>
#include <type_traits>
#include <vector>

namespace {

// Thrown by CDataExchange::Fail and caught only by UpdateData.
struct ExchangeFailed { };

CString ReadWindowText(HWND h)
{
    int n = ::GetWindowTextLengthW(h);
    if (n <= 0)
        return CString();
    std::vector<wchar_t> buf((size_t)n + 1, L'\0');
    int got = ::GetWindowTextW(h, buf.data(), n + 1);
    return CString(buf.data(), got > 0 ? got : 0);
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Whole-field integer parsing: blanks, an optional sign (only '+' for unsigned types), at least one
// digit, blanks. Anything else, or a value that does not fit T, is rejected.
template <class T> bool ParseWhole(const wchar_t* s, T& out)
{
    static_assert(std::is_integral_v<T>);
    while (IsBlank(*s))
        ++s;
    bool negative = false;
    if (*s == L'+' || *s == L'-') {
        negative = *s == L'-';
        ++s;
    }
    if (negative && std::is_unsigned_v<T>)
        return false;
    if (*s < L'0' || *s > L'9')
        return false;
    uint64_t magnitude = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        unsigned digit = unsigned(*s - L'0');
        if (magnitude > (UINT64_MAX - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    while (IsBlank(*s))
        ++s;
    if (*s)
        return false;
    if constexpr (std::is_signed_v<T>) {
        uint64_t limit =
            negative ? uint64_t(std::numeric_limits<T>::max()) + 1 : uint64_t(std::numeric_limits<T>::max());
        if (magnitude > limit)
            return false;
        out = negative ? T(int64_t(0 - magnitude)) : T(magnitude);
    } else {
        if (magnitude > uint64_t(std::numeric_limits<T>::max()))
            return false;
        out = T(magnitude);
    }
    return true;
}

template <class T> void ExchangeNumber(CDataExchange* pDX, int id, T& value)
{
    HWND h = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        T parsed{};
        CString text = ReadWindowText(h);
        if (!ParseWhole(text.GetString(), parsed))
            pDX->Fail();
        value = parsed;
    } else {
        ::SetWindowTextW(h, std::to_wstring(value).c_str());
    }
}

bool IsComboBox(HWND h)
{
    wchar_t cls[32] = {};
    ::GetClassNameW(h, cls, 32);
    return ::lstrcmpiW(cls, L"ComboBox") == 0;
}

bool IsIdleMessage(const MSG& msg, POINT& lastMouse)
{
    switch (msg.message) {
    case WM_PAINT:
    case 0x0118: // the system's caret-blink timer
        return false;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
        if (msg.pt.x == lastMouse.x && msg.pt.y == lastMouse.y)
            return false;
        lastMouse = msg.pt;
        return true;
    default:
        return true;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_pParentWnd(parent), m_nIDHelp(templateId)
{
    SetTemplate(MAKEINTRESOURCEW(templateId));
}

CDialog::CDialog(LPCWSTR templateName, CWnd* parent) : m_pParentWnd(parent)
{
    SetTemplate(templateName);
}

CDialog::~CDialog()
{
    // A modeless dialog still open: destroy it now, while the object is still a CDialog.
    if (m_hWnd && ::IsWindow(m_hWnd) && ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(m_hWnd);
}

void CDialog::SetTemplate(LPCWSTR templateName)
{
    if (IS_INTRESOURCE(templateName)) {
        m_templateNameStore.clear();
        m_lpszTemplateName = templateName;
    } else {
        m_templateNameStore = templateName ? templateName : L"";
        m_lpszTemplateName = m_templateNameStore.c_str();
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Everything but the first WM_INITDIALOG is left to the dialog manager: once the object has
    // the window, its messages arrive through StandardWndProc and only reach here as defaults.
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* dlg = reinterpret_cast<CDialog*>(lParam);
    if (!dlg || CWnd::FromHandlePermanent(hWnd))
        return FALSE;
    if (!dlg->SubclassWindow(hWnd))
        return FALSE;
    // Through the message map, so that Default() inside OnInitDialog sees this message.
    return (INT_PTR)CWnd::StandardWndProc(hWnd, WM_INITDIALOG, wParam, lParam);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    return OnInitDialog();
}

BOOL CDialog::CreateFromTemplate(LPCWSTR templateName, HWND parent)
{
    if (m_hWnd || !templateName)
        return FALSE;
    HWND h = ::CreateDialogParamW(AfxGetResourceHandle(), templateName, parent, &CDialog::DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!h)
        return FALSE;
    if (m_hWnd != h) {
        // The object could not take the window (it stands for another one): do not leave an
        // orphan dialog behind.
        ::DestroyWindow(h);
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    return Create(MAKEINTRESOURCEW(templateId), parent);
}

BOOL CDialog::Create(LPCWSTR templateName, CWnd* parent)
{
    if (m_hWnd)
        return FALSE;
    SetTemplate(templateName);
    if (IS_INTRESOURCE(templateName))
        m_nIDHelp = (UINT)(UINT_PTR)templateName;
    m_pParentWnd = parent;
    HWND hParent = SafeHwnd(parent);
    if (!hParent) {
        CWnd* main = AfxGetMainWnd();
        if (main && main != this && main->m_hWnd &&
            ::GetWindowThreadProcessId(main->m_hWnd, nullptr) == ::GetCurrentThreadId())
            hParent = main->m_hWnd;
    }
    m_bInModalLoop = false;
    return CreateFromTemplate(m_lpszTemplateName, hParent);
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1;

    HWND owner = RequestedOwner();
    if (!owner)
        owner = ::GetActiveWindow();
    if (owner) {
        HWND root = ::GetAncestor(owner, GA_ROOT);
        if (root)
            owner = root;
    }
    bool enableOwner = false;
    if (owner && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }

    m_hWndOwner = owner;
    m_nModalResult = -1;
    m_bContinueModal = true; // before creation: EndDialog in OnInitDialog must stick
    m_bInModalLoop = true;
    INT_PTR result = -1;
    if (CreateFromTemplate(m_lpszTemplateName, owner)) {
        if (m_bContinueModal && !::IsWindowVisible(m_hWnd))
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        result = RunModalLoop();
    }
    m_bInModalLoop = false;
    m_bContinueModal = false;

    // Hide first and give the owner back its input before the window goes, so that activation
    // returns to the owner rather than to some other program's window.
    if (m_hWnd)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (enableOwner)
        ::EnableWindow(owner, TRUE);
    if (owner && m_hWnd && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(owner);
    if (m_hWnd)
        DestroyWindow();
    m_hWndOwner = nullptr;
    return result;
}

INT_PTR CDialog::RunModalLoop()
{
    bool idle = true;
    POINT lastMouse = { -1, -1 };
    MSG msg;
    while (m_bContinueModal) {
        if (!m_hWnd)
            return -1; // destroyed while running
        if (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            idle = false;
            if (m_hWndOwner && !(GetStyle() & DS_NOIDLEMSG))
                ::SendMessageW(m_hWndOwner, WM_ENTERIDLE, MSGF_DIALOGBOX, (LPARAM)m_hWnd);
            if (!CWnd::IsHandlingMessage())
                CWnd::DeleteTempMap();
            continue; // messages sent meanwhile may have ended the dialog
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is closing: leave the request for the loops further out.
            ::PostQuitMessage((int)msg.wParam);
            return -1;
        }
        if (got == -1)
            return -1;
        if (!CWnd::WalkPreTranslateTree(m_hWnd, &msg) && !::IsDialogMessageW(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (IsIdleMessage(msg, lastMouse))
            idle = true;
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bInModalLoop) {
        m_bContinueModal = false;
        if (m_hWnd)
            ::PostMessageW(m_hWnd, WM_NULL, 0, 0); // wakes the loop if it is waiting
    } else if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return FALSE;
    // A dialog inside another window leaves navigation to the top-level dialog.
    if (!m_hWnd || (GetStyle() & WS_CHILD))
        return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
        return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

DWORD CDialog::GetDefID() const
{
    return (DWORD)::SendMessageW(m_hWnd, DM_GETDEFID, 0, 0);
}

void CDialog::SetDefID(UINT id)
{
    ::SendMessageW(m_hWnd, DM_SETDEFID, id, 0);
}

void CDialog::NextDlgCtrl() const
{
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0);
}

void CDialog::PrevDlgCtrl() const
{
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, 0);
}

void CDialog::GotoDlgCtrl(CWnd* control)
{
    if (control && control->m_hWnd)
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)control->m_hWnd, TRUE);
}

void CDialog::MapDialogRect(LPRECT rect) const
{
    ::MapDialogRect(m_hWnd, rect);
}

// ---------------------------------------------------------------------------------------------
// Data exchange

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    if (!m_hWnd || !::IsWindow(m_hWnd))
        return FALSE;
    ZrNotifyLockout lockout(m_hWnd);
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const ExchangeFailed&) {
        return FALSE;
    }
    return TRUE;
}

CDataExchange::CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd)
{ }

HWND CDataExchange::PrepareCtrl(int id)
{
    HWND h = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, id) : nullptr;
    if (!h) {
        ::OutputDebugStringW(L"data exchange: no control with this id in the dialog\n");
        m_hWndLastControl = nullptr;
        Fail();
    }
    m_hWndLastControl = h;
    m_bEditLastControl = FALSE;
    return h;
}

HWND CDataExchange::PrepareEditCtrl(int id)
{
    HWND h = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return h;
}

void CDataExchange::Fail()
{
    if (m_bSaveAndValidate && m_hWndLastControl) {
        ::SetFocus(m_hWndLastControl);
        if (m_bEditLastControl)
            ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw ExchangeFailed();
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd)
        return; // already subclassed by an earlier exchange
    HWND h = pDX->PrepareCtrl(id);
    if (!control.SubclassWindow(h))
        pDX->Fail();
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    HWND h = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = ReadWindowText(h);
    else
        ::SetWindowTextW(h, value.GetString());
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    ExchangeNumber(pDX, id, value);
}
void DDX_Text(CDataExchange* pDX, int id, UINT& value)
{
    ExchangeNumber(pDX, id, value);
}
void DDX_Text(CDataExchange* pDX, int id, long& value)
{
    ExchangeNumber(pDX, id, value);
}
void DDX_Text(CDataExchange* pDX, int id, DWORD& value)
{
    ExchangeNumber(pDX, id, value);
}
void DDX_Text(CDataExchange* pDX, int id, long long& value)
{
    ExchangeNumber(pDX, id, value);
}
void DDX_Text(CDataExchange* pDX, int id, unsigned long long& value)
{
    ExchangeNumber(pDX, id, value);
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND h = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        value = (int)::SendMessageW(h, BM_GETCHECK, 0, 0);
    } else {
        int state = (value == BST_CHECKED || value == BST_INDETERMINATE) ? value : BST_UNCHECKED;
        ::SendMessageW(h, BM_SETCHECK, (WPARAM)state, 0);
    }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
    HWND h = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = -1;
    int index = 0;
    do {
        if (::SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (pDX->m_bSaveAndValidate) {
                if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    value = index;
            } else {
                ::SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        h = ::GetWindow(h, GW_HWNDNEXT);
    } while (h && !(::GetWindowLongW(h, GWL_STYLE) & WS_GROUP));
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    HWND h = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
        index = (int)::SendMessageW(h, CB_GETCURSEL, 0, 0);
    else
        ::SendMessageW(h, CB_SETCURSEL, (WPARAM)index, 0);
}

void DDX_CBString(CDataExchange* pDX, int id, CString& value)
{
    HWND h = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        if (::GetWindowTextLengthW(h) > 0) {
            value = ReadWindowText(h);
            return;
        }
        int sel = (int)::SendMessageW(h, CB_GETCURSEL, 0, 0);
        value.Empty();
        if (sel != CB_ERR) {
            int n = (int)::SendMessageW(h, CB_GETLBTEXTLEN, (WPARAM)sel, 0);
            if (n > 0) {
                std::vector<wchar_t> buf((size_t)n + 1, L'\0');
                int got = (int)::SendMessageW(h, CB_GETLBTEXT, (WPARAM)sel, (LPARAM)buf.data());
                value = CString(buf.data(), got > 0 ? got : 0);
            }
        }
    } else if (value.IsEmpty()) {
        // An empty value means no selection (matching it would pick the first item).
        ::SendMessageW(h, CB_SETCURSEL, (WPARAM)-1, 0);
        ::SetWindowTextW(h, L"");
    } else if (::SendMessageW(h, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)value.GetString()) == CB_ERR) {
        ::SetWindowTextW(h, value.GetString()); // ignored by a drop-down list
    }
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars)
{
    if (pDX->m_bSaveAndValidate) {
        if (value.GetLength() > maxChars)
            pDX->Fail();
        return;
    }
    HWND h = pDX->m_hWndLastControl;
    if (!h)
        return;
    if (IsComboBox(h))
        ::SendMessageW(h, CB_LIMITTEXT, (WPARAM)maxChars, 0);
    else if (pDX->m_bEditLastControl)
        ::SendMessageW(h, EM_LIMITTEXT, (WPARAM)maxChars, 0);
}

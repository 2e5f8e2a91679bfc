#include "app/searchcontrols.h"

#include "afxwin.h"
#include "app/searchhost.h"
#include "app/notices.h"
#include "app/treeclass.h"
#include "look/rangeslider.h"
#include "resource.h"

namespace {

// The sector fields: start, end, and the Min and Max limits beside the slider.
constexpr int kStartEdit = IDC_RANGE_START, kEndEdit = IDC_RANGE_END, kMinEdit = IDC_RANGE_MIN, kMaxEdit = IDC_RANGE_MAX;

CRangeSlider* FindRangeSlider(CWnd* dialog)
{
    for (HWND child = ::GetWindow(dialog->m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        ::GetClassNameW(child, cls, 32);
        if (wcscmp(cls, L"MFCRangeSlider") == 0)
            return dynamic_cast<CRangeSlider*>(CWnd::FromHandlePermanent(child));
    }
    return nullptr;
}

void WriteNumber(CWnd* dialog, int id, uint64_t value)
{
    CString text;
    text.Format(L"%llu", value);
    dialog->SetDlgItemText(id, text);
}

} // namespace

int ShowNoDeviceDialog()
{
    SearchHost* host = GetSearchHost();
    CDialog* active = host ? host->ActiveSearchDialog() : nullptr;
    if (active && active->m_hWnd)
        active->SetForegroundWindow();
    if (g_pNoDeviceDlg.load())
        return 1; // already up: it does its own work
    CNoDevice notice(active);
    if (notice.DoModal() != IDCANCEL)
        return 1;
    CWnd* launcher = host ? host->LauncherWindow() : nullptr;
    if (launcher && host->LogLoaderOf(host->SearchMode.load()) && launcher->m_hWnd)
        launcher->EnableWindow(FALSE);
    return 0;
}

void SetSectorRangeControls(uint64_t startSector, uint64_t endSector, CWnd* dialog)
{
    if (!dialog || !dialog->m_hWnd)
        return;
    WriteNumber(dialog, kStartEdit, startSector);
    WriteNumber(dialog, kEndEdit, endSector);
    const int mode = InstalledSearchMode();
    if (mode >= kModeDeep && mode <= kModeSignature) {
        if (CRangeSlider* slider = FindRangeSlider(dialog)) {
            slider->SetMinMax(double(startSector), double(endSector));
            slider->SetRange(double(startSector), double(endSector));
            slider->SetVisualMinMax(double(startSector), double(endSector));
        }
    }
    // The slider's notifications may have rewritten the fields: put the exact values back.
    WriteNumber(dialog, kStartEdit, startSector);
    WriteNumber(dialog, kEndEdit, endSector);
    WriteNumber(dialog, kMinEdit, startSector);
    WriteNumber(dialog, kMaxEdit, endSector);
}

void ClearTreeSelection()
{
    CTreeClass* tree = ActiveTree;
    if (!tree || !tree->m_hWnd)
        return;
    HTREEITEM first = tree->GetRootItem();
    if (!first || tree->GetItemText(first) != L"Root")
        return;
    SelectedTreeItem = nullptr;
    tree->SelectItem(nullptr);
}

#include "plain_dialog.h"

#include "test_resource.h"

namespace zr_test {

namespace {
INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}
} // namespace

bool OpenPlainTestDialog(CWnd& dlg)
{
    ZrInitCommonControls();
    HWND h = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_DIALOG), nullptr,
                                  PlainDialogProc, 0);
    if (!h)
        return false;
    if (!dlg.SubclassWindow(h)) {
        ::DestroyWindow(h);
        return false;
    }
    return true;
}

} // namespace zr_test

#include "dialog_script.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "ui_wait.h"

namespace zr_test {

namespace {

struct Script {
    CDialog* dlg;
    std::vector<DialogStep>* steps;
    size_t next;
    bool alive;
};
Script* g_script = nullptr;

void CALLBACK OnScriptTick(HWND, UINT, UINT_PTR, DWORD)
{
    Script* s = g_script;
    HWND h = s ? s->dlg->GetSafeHwnd() : nullptr;
    if (!h || !::IsWindowVisible(h) || s->next >= s->steps->size())
        return;
    if (s->next + 1 == s->steps->size())
        s->alive = true;
    (*s->steps)[s->next++](h);
}

} // namespace

INT_PTR RunScripted(CDialog& dlg, std::vector<DialogStep> steps, bool* aliveBeforeLast)
{
    CreateSharedGdiObjects(); // as the program does at start-up
    Script script{ &dlg, &steps, 0, false };
    Script* outer = g_script; // a step may run a dialog of its own
    g_script = &script;
    ModalWatchdog guard;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 40, OnScriptTick);
    INT_PTR result = dlg.DoModal();
    ::KillTimer(nullptr, timer);
    g_script = outer;
    if (aliveBeforeLast)
        *aliveBeforeLast = script.alive;
    EXPECT_FALSE(guard.Fired());
    return result;
}

DialogStep Key(WPARAM key)
{
    return [key](HWND dlg) {
        HWND target = ::GetFocus();
        if (!target || (target != dlg && !::IsChild(dlg, target)))
            target = dlg;
        ::PostMessageW(target, WM_KEYDOWN, key, 0x00010001);
    };
}

DialogStep Click(int id)
{
    return [id](HWND h) { ::PostMessageW(::GetDlgItem(h, id), BM_CLICK, 0, 0); };
}

DialogStep CloseBox()
{
    return [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); };
}

} // namespace zr_test

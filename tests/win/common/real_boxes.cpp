#include "common/real_boxes.h"

#include <gtest/gtest.h>

#include <map>

#include "app/waitdialogs.h"
#include "common/images.h"
#include "common/ui_wait.h"

namespace zr_test {

namespace {

std::map<UINT_PTR, RealBoxes*> g_watchers;

// The text control of a message box.
constexpr int kBoxTextId = 0xFFFF;

} // namespace

RealBoxes::RealBoxes(CFsSearchSession& dialog, DWORD holdMs)
    : m_dialog(dialog), m_holdMs(holdMs), m_previousHook(ZrSetMessageBoxHook(nullptr)),
      m_timer(::SetTimer(nullptr, 0, 20, OnTimer))
{
    g_watchers[m_timer] = this;
}

RealBoxes::~RealBoxes()
{
    ::KillTimer(nullptr, m_timer);
    g_watchers.erase(m_timer);
    ZrSetMessageBoxHook(m_previousHook);
}

bool RealBoxes::AllEnded() const
{
    for (const SeenBox& seen : m_boxes)
        if (!seen.answered && !seen.closedByItself)
            return false;
    return true;
}

void CALLBACK RealBoxes::OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto it = g_watchers.find(id);
    if (it != g_watchers.end())
        it->second->Look();
}

// A message box: a visible dialog of this thread that no object of ours stands for.
BOOL CALLBACK RealBoxes::Find(HWND wnd, LPARAM self)
{
    auto* watcher = reinterpret_cast<RealBoxes*>(self);
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (::lstrcmpW(cls, L"#32770") != 0 || !::IsWindowVisible(wnd) || CWnd::FromHandlePermanent(wnd) != nullptr)
        return TRUE;
    for (const SeenBox& seen : watcher->m_boxes)
        if (seen.box == wnd)
            return TRUE;
    SeenBox seen;
    seen.box = wnd;
    wchar_t text[2048] = {};
    ::GetDlgItemTextW(wnd, kBoxTextId, text, 2048);
    seen.text = text;
    seen.owner = ::GetWindow(wnd, GW_OWNER);
    CTreeClass& tree = watcher->m_dialog.ResultTree();
    seen.treeEnabled = tree.IsWindowEnabled() != FALSE;
    seen.treeSelected = tree.GetSelectedItem() != nullptr;
    seen.listing = g_pPopulateListThread != nullptr;
    seen.shownAt = ::GetTickCount();
    watcher->m_boxes.push_back(seen);
    return TRUE;
}

void RealBoxes::Look()
{
    for (SeenBox& seen : m_boxes) {
        if (seen.answered || seen.closedByItself)
            continue;
        if (!::IsWindow(seen.box)) {
            seen.closedByItself = true;
        } else if (::GetTickCount() - seen.shownAt >= m_holdMs && g_pPopulateListThread == nullptr) {
            seen.answered = true;
            ::PostMessageW(seen.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    ::EnumThreadWindows(::GetCurrentThreadId(), Find, LPARAM(this));
}

std::vector<SeenBox> LoadSeenOnScreen(CFsSearchSession& dialog, const std::function<void()>& start)
{
    RealBoxes watcher(dialog);
    start();
    PumpUntil([&] { return !watcher.Boxes().empty() && watcher.AllEnded() && !dialog.LogLoading() &&
                           g_pPopulateListThread == nullptr; },
              60000);
    return watcher.Boxes();
}

void ExpectLoadSaidFirst(CFsSearchSession& dialog, const std::vector<SeenBox>& boxes, bool damaged)
{
    ASSERT_EQ(1u, boxes.size());
    const SeenBox& box = boxes[0];
    EXPECT_GE(box.text.Find(damaged ? L"Please browse the valid Log file or Scan the disk again."
                                    : L"has been loaded successfully."),
              0)
        << Narrow(std::wstring(box.text.GetString()));
    EXPECT_EQ(dialog.GetSafeHwnd(), box.owner);
    EXPECT_FALSE(box.closedByItself) << "the box went before it was answered";
    EXPECT_FALSE(box.treeEnabled);
    EXPECT_FALSE(box.treeSelected);
    EXPECT_FALSE(box.listing);
    CTreeClass& tree = dialog.ResultTree();
    const auto enabled = [&](int id) { return dialog.GetDlgItem(id)->IsWindowEnabled() != FALSE; };
    EXPECT_TRUE(tree.IsWindowVisible());
    EXPECT_FALSE(dialog.DriveTree().IsWindowVisible());
    EXPECT_TRUE(enabled(dialog.Layout().back));
    if (damaged) {
        // Load Log may be pressed again.
        EXPECT_EQ(0, dialog.Page());
        EXPECT_FALSE(tree.IsWindowEnabled());
        EXPECT_GE(tree.GetCount(), 1u);
        EXPECT_TRUE(enabled(dialog.Layout().next));
    } else {
        EXPECT_EQ(10, dialog.Page());
        EXPECT_TRUE(tree.IsWindowEnabled());
        EXPECT_EQ(tree.GetRootItem(), tree.GetSelectedItem());
        EXPECT_FALSE(enabled(dialog.Layout().next));
    }
}

void ExpectEveryLoadSaidFirst(CFsSearchSession& dialog, const CString& whole, const CString& damaged,
                              const std::function<void(const CString& startUpLog)>& reopen,
                              const std::function<void(const CString& log)>& pick)
{
    for (bool startUp : { false, true })
        for (bool isDamaged : { false, true }) {
            SCOPED_TRACE(testing::Message() << (startUp ? "start-up log" : "Load Log") << (isDamaged ? ", damaged" : ""));
            const CString log = isDamaged ? damaged : whole;
            pick(log);
            ExpectLoadSaidFirst(dialog,
                                LoadSeenOnScreen(dialog,
                                                 [&] {
                                                     reopen(startUp ? log : CString());
                                                     if (!startUp)
                                                         dialog.OnBnClickedLoadLog();
                                                 }),
                                isDamaged);
            if (isDamaged) {
                pick(whole);
                ExpectLoadSaidFirst(dialog, LoadSeenOnScreen(dialog, [&] { dialog.OnBnClickedLoadLog(); }), false);
            }
        }
}

} // namespace zr_test

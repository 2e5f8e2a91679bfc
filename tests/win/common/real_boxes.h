// Message boxes as a person meets them: the real box on screen, not the recording hook. While
// alive, every message box this thread shows is found on screen, its text and owner read and
// the search dialog's results tree looked at as it comes up; it is answered (OK) only once it
// has stayed up a while and no folder listing runs, so that a box that goes by itself (with the
// window that owned it) shows as such.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "afxwin.h"
#include "fsrecovery/fssession.h"

namespace zr_test {

struct SeenBox {
    HWND box = nullptr;
    CString text;
    HWND owner = nullptr;
    // The results tree as the box came up: enabled, with an item selected; a listing running.
    bool treeEnabled = false;
    bool treeSelected = false;
    bool listing = false;
    DWORD shownAt = 0;
    bool answered = false;
    bool closedByItself = false; // gone before it was answered
};

class RealBoxes {
public:
    explicit RealBoxes(CFsSearchSession& dialog, DWORD holdMs = 700);
    ~RealBoxes();
    RealBoxes(const RealBoxes&) = delete;
    RealBoxes& operator=(const RealBoxes&) = delete;

    const std::vector<SeenBox>& Boxes() const { return m_boxes; }
    // Every box seen was answered or has gone.
    bool AllEnded() const;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK Find(HWND wnd, LPARAM self);
    void Look();

    CFsSearchSession& m_dialog;
    const DWORD m_holdMs;
    std::vector<SeenBox> m_boxes;
    ZrMessageBoxHook m_previousHook;
    UINT_PTR m_timer = 0;
};

// One log load seen on screen: `start` begins it (Load Log pressed, or the dialog made again
// with its start-up log); returns the boxes once they are answered and no load or listing runs.
std::vector<SeenBox> LoadSeenOnScreen(CFsSearchSession& dialog, const std::function<void()>& start);

// What a load must show, whole or `damaged` part way: one box, over the dialog, that stays until
// it is answered and comes before the results tree is enabled or listed; then the results page
// (whole), or what was read in the disabled results tree on the first page (damaged).
void ExpectLoadSaidFirst(CFsSearchSession& dialog, const std::vector<SeenBox>& boxes, bool damaged);

// The four loads, each with ExpectLoadSaidFirst: a `whole` log and a `damaged` one, by Load Log
// and as the start-up log. `reopen` makes the dialog again, with the start-up log when one is
// given, ready for Load Log otherwise; `pick` sets the log Load Log picks. After the damaged
// log, Load Log is pressed again for the whole one.
void ExpectEveryLoadSaidFirst(CFsSearchSession& dialog, const CString& whole, const CString& damaged,
                              const std::function<void(const CString& startUpLog)>& reopen,
                              const std::function<void(const CString& log)>& pick);

} // namespace zr_test

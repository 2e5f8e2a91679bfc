// What the benchmarks that drive a search dialog share beyond dialog_bench.h: opening the
// dialog, choosing a drive letter for the image, Next with its question answered, and the wait for
// the results page.
#pragma once
#include <atomic>
#include <memory>

#include "app/devicetree.h"
#include "app/maindlg.h"
#include "app/searchhost.h"
#include "app/treeclass.h"
#include "bench/dialog_bench.h"
#include "fsrecovery/pure/result_tree.h"
#include "look/rangeslider.h"

namespace bench {

// A search dialog of the program's templates, made and shown on this thread with `main` as the
// main dialog of search mode `mode`; null after saying why not.
template <class Dialog>
std::unique_ptr<Dialog> OpenSearchDialog(CWinApp& app, CDelvaneDlg& main, int mode, void (*registerDialog)(),
                                         UINT templateId)
{
    if (!UseProgramTemplates(app))
        return nullptr;
    ZrInitCommonControls();
    main.SearchMode = mode;
    SetSearchHost(&main);
    InstallDriveTreeStorageHost();
    registerDialog();
    ZrSetMessageBoxHook(RecordBox);
    auto dlg = std::make_unique<Dialog>(&main);
    RegisterTemplateClass(app.m_hInstance, CRangeSlider::kClassName);
    if (!dlg->Create(templateId, nullptr)) {
        std::printf("the search dialog cannot be created\n");
        return nullptr;
    }
    dlg->ShowWindow(SW_SHOW);
    PumpUntil([] { return false; }, 100);
    return dlg;
}

// Selects the first drive letter of the dialog's drive tree (the benchmark makes its path the
// image's, so any will do); false after saying so when there is none.
template <class Dialog> bool SelectAnyDriveLetter(Dialog& dlg)
{
    CTreeClass& drives = dlg.DriveTree();
    const HTREEITEM drive = drives.GetChildItem(dlg.LogicalDrivesItem());
    if (drive == nullptr) {
        std::printf("no drive letter in the drive tree\n");
        return false;
    }
    drives.SelectItem(drive);
    PumpUntil([] { return false; }, 50);
    return true;
}

// Pumps until a search dialog shows its results after Next: its page 1, its scan thread gone,
// Back enabled and Next not, its results tree rooted. False when that took longer than an hour.
template <class Dialog>
bool WaitForResultsPage(Dialog& dlg, CWinThread* const& scanThread, int back, int next)
{
    auto enabled = [&](int id) { return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE; };
    return PumpUntil(
        [&] {
            return dlg.Page() == 1 && scanThread == nullptr && enabled(back) && !enabled(next) &&
                dlg.ResultTree().GetRootItem() != nullptr;
        },
        3600000);
}

// The folder to list after "Root": its first child that is neither the catch-all folder nor one of
// the file system's own ($Extend): the first of the user's folders, which has rows.
inline HTREEITEM FirstUserFolder(CTreeClass& tree)
{
    for (HTREEITEM c = tree.GetChildItem(tree.GetRootItem()); c != nullptr; c = tree.GetNextSiblingItem(c)) {
        const CString text = tree.GetItemText(c);
        if (text != kMiscFolderName && !text.IsEmpty() && text[0] != L'$')
            return c;
    }
    return nullptr;
}

// Runs a Next handler, answering its logical-or-physical question "logical" (the moment in
// g_answered).
template <class Next> void NextAnsweredLogical(Next next)
{
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, AnswerTimer);
    next();
    ::KillTimer(nullptr, timer);
}

} // namespace bench

#include "app/searchhost.h"

#include <algorithm>
#include <mutex>

#include "app/pure/shell_rules.h"
#include "app/shellservices.h"

const wchar_t* const HintSelectDrive =
    L"Select the Drive (from which you want to recover data) from the List of available Physical or Logical Drives "
    L"in the left Panel. In case of Deleted or missing Partitions, click on 'Search More Partitions' button to find "
    L"lost drives. Select the Drive and click 'Next' Button to continue...";
const wchar_t* const HintSelectFiles = L"Select Files and Folders from left Panel Directories Tree and Click on 'Save' "
                                       L"button to save recovered Files and Folders.";
const wchar_t* const HintViewRecovered =
    L"To view the recovered Data, please click on 'Open Containing Folder' button. "
    L"Or Click on \x2018"
    L"Back\x2019 Button to select another disk for recovery.";
const wchar_t* const HintStopRecovery =
    L"To Stop recovery, click on 'Stop' Button or please wait for the process to be completed.";
const wchar_t* const HintStopSearching =
    L"You can stop searching Files and Folders by clicking on 'Stop' button. However, it is strongly recommended "
    L"that you should allow the software to complete the searching Process.";
const wchar_t* const kInvalidLogText =
    L"The selected recovery Log (index of recovered files and folders) file is invalid or corrupted. "
    L"Recovery cannot continue with this log file.\n\nPlease browse the valid Log file or Scan the disk again.";

namespace {

std::atomic<SearchHost*> g_installedHost{ nullptr };

std::mutex g_registryMutex;
ZrSearchDialogRunner g_runners[kModeSignature + 1] = {};
std::atomic<int>* g_pageIndices[kModeSignature + 1] = {};
std::vector<CWinThread**> g_workerGlobals;
struct OpenDialog {
    std::atomic<CDialog*> dialog{ nullptr };
    std::atomic<std::atomic<int>*> partitionSearchWord{ nullptr };
};
OpenDialog g_openDialogs[kModeSignature + 1];

bool IsSearchMode(int mode)
{
    return mode >= kModeBasic && mode <= kModeSignature;
}

bool TakesInput(HWND wnd)
{
    return wnd != nullptr && ::IsWindow(wnd) && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd) && !::IsIconic(wnd);
}

// The property that marks a window closing by itself, under an atom of its own, added once.
LPCWSTR ClosesByItselfProperty()
{
    static const ATOM atom = ::GlobalAddAtomW(L"ZrClosesByItself");
    return MAKEINTATOM(atom);
}

// The top-level window of `wnd`, or, when that closes by itself, the first of its owners that
// does not; null when every one does.
HWND StayingWindowOf(HWND wnd)
{
    if (wnd == nullptr || !::IsWindow(wnd))
        return nullptr;
    wnd = ::GetAncestor(wnd, GA_ROOT);
    // Owner chains are short; the bound only keeps a damaged one from holding the box back.
    for (int step = 0; wnd != nullptr && ClosesByItself(wnd); ++step)
        wnd = step < 64 ? ::GetWindow(wnd, GW_OWNER) : nullptr;
    return wnd;
}

// The window itself, or the dialog in front of it that keeps it disabled; the window itself
// again, disabled, when the one in front closes by itself.
HWND FrontOf(HWND wnd)
{
    wnd = StayingWindowOf(wnd);
    if (wnd == nullptr)
        return nullptr;
    if (TakesInput(wnd))
        return wnd;
    const HWND popup = ::GetLastActivePopup(wnd);
    if (popup == wnd || !TakesInput(popup))
        return nullptr;
    return ClosesByItself(popup) ? wnd : popup;
}

[[maybe_unused]] const bool g_boxOwnerPickerSet = (ZrSetOwnerPicker(&PickBoxOwner), true);

} // namespace

SearchHost::~SearchHost()
{
    SearchHost* self = this;
    g_installedHost.compare_exchange_strong(self, nullptr);
}

void SearchHost::CleanTempFolder()
{
    TempFileNames.clear();
    DeleteTempFiles(TempFolderPath);
}

CDialog* SearchHost::ActiveSearchDialog() const
{
    return OpenSearchDialog(SearchMode.load());
}

void SearchHost::ResetScanCounters()
{
    PartitionSearchPending = 0;
    PartitionSearchRunning = 0;
    const int mode = SearchMode.load();
    if (mode != kModeBasic && mode != kModeDeep)
        return;
    const CDialog* open = OpenSearchDialog(mode);
    if (open != nullptr && open->GetSafeHwnd() != nullptr)
        if (std::atomic<int>* word = g_openDialogs[mode].partitionSearchWord.load())
            *word = 0;
}

CWinThread** SearchHost::LogLoadThreadSlot(int mode)
{
    return mode == kModeBasic ? &BasicLogLoadThread : mode == kModeDeep ? &DeepLogLoadThread : nullptr;
}

CWinThread* SearchHost::LogLoaderOf(int mode) const
{
    return mode == kModeBasic ? BasicLogLoadThread : mode == kModeDeep ? DeepLogLoadThread : nullptr;
}

// ---- Progress bars -------------------------------------------------------------------------------

void SearchHost::SetProgressRange64(HWND bar, uint64_t start, uint64_t end, int32_t step)
{
    m_lastProgressPercent = 0;
    ::SendMessageW(bar, PBM_SETPOS, 0, 0);
    ZrProgressPlan plan = PlanProgressRange(start, end, step);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, plan.rangeMax);
    ::SendMessageW(bar, PBM_SETSTEP, plan.step, 0);
    ::SendMessageW(bar, PBM_SETPOS, 0, 0);
    if (plan.small && plan.fullAtOnce)
        ::SendMessageW(bar, PBM_SETPOS, plan.rangeMax, 0);
}

void SearchHost::UpdateProgress(HWND bar, uint64_t start, uint64_t end, uint64_t position)
{
    if (PlanProgressRange(start, end, 1).small) {
        ::SendMessageW(bar, PBM_STEPIT, 0, 0);
        return;
    }
    int32_t percent = ProgressPercent(start, end, position);
    int last = m_lastProgressPercent.load();
    while (percent > last) {
        if (m_lastProgressPercent.compare_exchange_weak(last, percent)) {
            ::SendMessageW(bar, PBM_SETPOS, percent, 0);
            break;
        }
    }
}

void SearchHost::SetProgressPosition64(HWND bar, uint64_t start, uint64_t end, uint64_t position)
{
    const ZrProgressPlan plan = PlanProgressRange(start, end, 1);
    if (!plan.small) {
        UpdateProgress(bar, start, end, position);
        return;
    }
    const uint64_t at = position <= start ? 0 : std::min<uint64_t>(position - start, uint64_t(plan.rangeMax));
    ::SendMessageW(bar, PBM_SETPOS, WPARAM(at), 0);
}

// ---- The installed host --------------------------------------------------------------------------

SearchHost* GetSearchHost()
{
    return g_installedHost.load();
}

void SetSearchHost(SearchHost* host)
{
    g_installedHost = host;
}

int InstalledSearchMode()
{
    const SearchHost* host = g_installedHost.load();
    return host != nullptr ? host->SearchMode.load() : kModeNone;
}

HWND PickBoxOwner(HWND requested)
{
    if (const HWND front = FrontOf(requested))
        return front;
    if (SearchHost* host = g_installedHost.load()) {
        if (CDialog* search = host->ActiveSearchDialog())
            if (const HWND front = FrontOf(search->GetSafeHwnd()))
                return front;
        if (const HWND front = FrontOf(CWnd::SafeHwnd(host->LauncherWindow())))
            return front;
    }
    // Nothing takes input: the window asked for waits behind the box (disabled, it stays so).
    return requested != nullptr && ::IsWindow(requested) ? StayingWindowOf(requested) : requested;
}

void MarkClosesByItself(HWND wnd)
{
    if (wnd != nullptr)
        ::SetPropW(wnd, ClosesByItselfProperty(), HANDLE(1));
}

bool ClosesByItself(HWND wnd)
{
    return wnd != nullptr && ::GetPropW(wnd, ClosesByItselfProperty()) != nullptr;
}

// ---- The open search dialogs ---------------------------------------------------------------------

void RegisterOpenSearchDialog(int searchMode, CDialog* dialog, std::atomic<int>* partitionSearchWord)
{
    if (!IsSearchMode(searchMode))
        return;
    g_openDialogs[searchMode].partitionSearchWord = partitionSearchWord;
    g_openDialogs[searchMode].dialog = dialog;
}

void ForgetOpenSearchDialog(int searchMode, const CDialog* dialog)
{
    if (!IsSearchMode(searchMode))
        return;
    CDialog* expected = const_cast<CDialog*>(dialog);
    if (g_openDialogs[searchMode].dialog.compare_exchange_strong(expected, nullptr))
        g_openDialogs[searchMode].partitionSearchWord = nullptr;
}

CDialog* OpenSearchDialog(int searchMode)
{
    return IsSearchMode(searchMode) ? g_openDialogs[searchMode].dialog.load() : nullptr;
}

// ---- Registration of the search dialogs and workers ----------------------------------------------

void RegisterSearchDialog(int searchMode, ZrSearchDialogRunner runner)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    if (IsSearchMode(searchMode))
        g_runners[searchMode] = runner;
}

ZrSearchDialogRunner GetSearchDialogRunner(int searchMode)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    return IsSearchMode(searchMode) ? g_runners[searchMode] : nullptr;
}

void RunBasicSearchDialog(SearchHost* host)
{
    if (ZrSearchDialogRunner runner = GetSearchDialogRunner(kModeBasic))
        runner(host);
}

void RunDeepSearchDialog(SearchHost* host)
{
    if (ZrSearchDialogRunner runner = GetSearchDialogRunner(kModeDeep))
        runner(host);
}

void RegisterSearchPageIndex(int searchMode, std::atomic<int>* page)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    if (IsSearchMode(searchMode))
        g_pageIndices[searchMode] = page;
}

void UnregisterSearchPageIndex(int searchMode, const std::atomic<int>* page)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    if (IsSearchMode(searchMode) && g_pageIndices[searchMode] == page)
        g_pageIndices[searchMode] = nullptr;
}

void ResetSearchPages(std::initializer_list<int> modes)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    for (int mode : modes)
        if (std::atomic<int>* page = IsSearchMode(mode) ? g_pageIndices[mode] : nullptr)
            *page = 0;
}

void RegisterWorkerGlobal(CWinThread** global)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    if (std::find(g_workerGlobals.begin(), g_workerGlobals.end(), global) == g_workerGlobals.end())
        g_workerGlobals.push_back(global);
}

std::vector<CWinThread*> RequestRegisteredWorkersStop()
{
    std::vector<CWinThread*> running;
    std::lock_guard<std::mutex> lock(g_registryMutex);
    for (CWinThread** global : g_workerGlobals)
        if (CWinThread* thread = *global) {
            thread->RequestStop();
            running.push_back(thread);
        }
    return running;
}

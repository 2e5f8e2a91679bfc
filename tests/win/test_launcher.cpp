// The launcher in-process: Go runs a search dialog on the mode thread, a second Go meanwhile is
// ignored, the launcher comes back enabled, Escape cannot close it, the exit question decides,
// and a scan log on the command line is accepted or refused by its header. Then start-up's
// registry association, the wait services, the temporary-file clean-up, and the real program
// started as a process, photographed and ended through its exit question.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/pure/shell_rules.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/images.h"   // Narrow
#include "common/ui_wait.h"
#include "resource.h"
#include "storage/pure/globals.h"
#include "test_resource.h"

using zr_test::ModalWatchdog;
using zr_test::PumpUntil;
using zr_test::WaitUntil;

namespace {

// ---- A stand-in search dialog and the hooks that record what the launcher does ----------------

std::atomic<int> g_testDialogRuns{ 0 };
std::atomic<DWORD> g_testDialogThread{ 0 };
std::atomic<HWND> g_testDialogWnd{ nullptr };
std::atomic<bool> g_launcherVisibleWhenRun{ false };

class TestSearchDialog : public CDialog {
public:
    TestSearchDialog() : CDialog(IDD_TEST_CHILD) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        g_testDialogThread = ::GetCurrentThreadId();
        g_testDialogWnd = m_hWnd;
        if (g_pMainDlg) {
            g_launcherVisibleWhenRun = g_pMainDlg->IsWindowVisible() != FALSE;
            g_pMainDlg->SearchDialogStarted();
        }
        return TRUE;
    }
};

void RunTestSearchDialog()
{
    ++g_testDialogRuns;
    TestSearchDialog dlg;
    dlg.DoModal();
    g_testDialogWnd = nullptr;
}

struct BoxCall {
    CString text, caption;
    UINT type = 0;
};
std::vector<BoxCall> g_boxes;
int g_boxAnswer = IDNO;

int RecordBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_boxes.push_back({ text, caption, type });
    return g_boxAnswer;
}

std::atomic<int> g_endCalls{ 0 };
void RecordEnd(int code)
{
    ++g_endCalls;
    // The process would end here; the test ends the launcher's modal loop instead.
    if (g_pMainDlg)
        g_pMainDlg->EndDialog(IDCANCEL);
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateSharedGdiObjects();
        g_boxes.clear();
        g_boxAnswer = IDNO;
        g_endCalls = 0;
        g_testDialogRuns = 0;
        g_testDialogThread = 0;
        g_testDialogWnd = nullptr;
        for (int mode = kModeBasic; mode <= kModeSignature; ++mode)
            RegisterSearchDialog(mode, nullptr);
        m_oldBox = ZrSetMessageBoxHook(RecordBox);
        m_oldEnd = ZrSetProcessEnder(RecordEnd);
        ClearCommandLineLogPath();
    }
    void TearDown() override
    {
        ZrSetMessageBoxHook(m_oldBox);
        ZrSetProcessEnder(m_oldEnd);
        for (int mode = kModeBasic; mode <= kModeSignature; ++mode)
            RegisterSearchDialog(mode, nullptr);
        ClearCommandLineLogPath();
    }

    // Runs the launcher modally on this thread while `script` drives it from another thread;
    // the script ends by closing the launcher (answer Yes). Returns DoModal's result.
    INT_PTR RunLauncher(CDelvaneDlg& dlg, const std::function<void(CDelvaneDlg&)>& script)
    {
        std::thread driver([&] {
            WaitUntil([&] { return dlg.GetSafeHwnd() && dlg.IsWindowVisible(); });
            script(dlg);
        });
        ModalWatchdog watchdog(30000);
        INT_PTR result = dlg.DoModal();
        driver.join();
        EXPECT_FALSE(watchdog.Fired()) << "the launcher did not end";
        return result;
    }

    // Handled by the time it returns.
    static void Click(CDelvaneDlg& dlg, int id)
    {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)::GetDlgItem(dlg.GetSafeHwnd(), id));
    }
    static void CloseWithYes(CDelvaneDlg& dlg)
    {
        g_boxAnswer = IDYES;
        dlg.PostMessage(WM_CLOSE);
    }

    ZrMessageBoxHook m_oldBox = nullptr;
    ZrProcessEnder m_oldEnd = nullptr;
};

CString WriteLog(const wchar_t* name, const CString& marker, int32_t mode)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CString path = CString(temp) + name;
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    ar << CString(L"Zembrolix Recovery Log") << marker << CString(L"\\\\.\\X:") << mode;
    ar.Close();
    file.Close();
    return path;
}

const wchar_t* const kInvalidLog =
    L"The selected recovery Log (index of recovered files and folders) file is invalid or corrupted. "
    L"Recovery cannot continue with this log file.\n\nPlease browse the valid Log file or Scan the disk again.";

} // namespace

// ---- The mode thread ------------------------------------------------------------------------

TEST_F(LauncherTest, GoRunsTheSearchDialogOnTheModeThreadOnceAndTheLauncherComesBack)
{
    RegisterSearchDialog(kModePhoto, RunTestSearchDialog);
    CDelvaneDlg dlg;
    std::atomic<bool> disabledWhileOpen{ false }, loadingClosed{ false }, secondGoIgnored{ false };
    std::atomic<bool> backEnabled{ false }, threadCleared{ false };
    std::atomic<int> modeSeen{ 0 };
    std::atomic<int> tablesEmptied{ -1 };
    DWORD uiThread = ::GetCurrentThreadId();

    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        d.FoundEntryTable.InsertRow({ L"left over" });
        Click(d, IDC_GO_PHOTO);
        WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
        modeSeen = d.SearchMode.load();
        tablesEmptied = d.FoundEntryTable.GetItemCount();
        WaitUntil([&] { return !d.IsWindowEnabled(); });
        disabledWhileOpen = !d.IsWindowEnabled();
        loadingClosed = WaitUntil([&] { return d.LoadingDialog == nullptr; });

        // A second Go of any mode while the search dialog is open changes nothing.
        Click(d, IDC_GO_BASIC);
        secondGoIgnored = g_testDialogRuns == 1 && d.SearchMode == kModePhoto;

        ::PostMessageW(g_testDialogWnd.load(), WM_COMMAND, IDCANCEL, 0);
        backEnabled = WaitUntil([&] { return d.IsWindowEnabled() && d.IsWindowVisible(); });
        threadCleared = WaitUntil([] { return g_pModeSearchThread == nullptr; });
        CloseWithYes(d);
    });

    EXPECT_EQ(modeSeen, kModePhoto);
    EXPECT_EQ(g_testDialogRuns, 1);
    EXPECT_NE(g_testDialogThread.load(), 0u);
    EXPECT_NE(g_testDialogThread.load(), uiThread);
    EXPECT_EQ(tablesEmptied, 0);
    EXPECT_TRUE(disabledWhileOpen);
    EXPECT_TRUE(loadingClosed);
    EXPECT_TRUE(secondGoIgnored);
    EXPECT_TRUE(backEnabled);
    EXPECT_TRUE(threadCleared);
    EXPECT_EQ(g_endCalls, 1);
}

TEST_F(LauncherTest, GoForAModeWithoutADialogLeavesTheLauncherUsable)
{
    CDelvaneDlg dlg;
    std::atomic<bool> usable{ false };
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        Click(d, IDC_GO_SIGNATURE);
        usable = WaitUntil([&] {
            return g_pModeSearchThread == nullptr && d.LoadingDialog == nullptr && d.IsWindowEnabled();
        });
        // and a search can start again afterwards
        RegisterSearchDialog(kModeDeep, RunTestSearchDialog);
        Click(d, IDC_GO_DEEP);
        WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
        ::PostMessageW(g_testDialogWnd.load(), WM_COMMAND, IDCANCEL, 0);
        WaitUntil([&] { return g_pModeSearchThread == nullptr && d.IsWindowEnabled(); });
        CloseWithYes(d);
    });
    EXPECT_TRUE(usable);
    EXPECT_EQ(g_testDialogRuns, 1);
}

TEST_F(LauncherTest, AModeThreadThatCannotStartClosesTheLoadingDialogAndSaysSo)
{
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    ZrModeThreadStarter old = ZrSetModeThreadStarter([](CWinThread*&, AFX_THREADPROC, LPVOID) -> CWinThread* {
        return nullptr;
    });
    CDelvaneDlg dlg;
    std::atomic<bool> loadingGone{ false }, enabled{ false }, timerStopped{ false }, noThread{ false };
    std::atomic<size_t> boxes{ 0 };
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        Click(d, IDC_GO_BASIC);
        loadingGone = d.LoadingDialog == nullptr;
        enabled = d.IsWindowEnabled() != FALSE;
        noThread = g_pModeSearchThread == nullptr;
        boxes = g_boxes.size();
        int ticks = d.TimerTicks;
        ::Sleep(300);   // several timer periods
        timerStopped = d.TimerTicks == ticks;
        CloseWithYes(d);
    });
    ZrSetModeThreadStarter(old);
    EXPECT_TRUE(loadingGone);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(noThread);
    EXPECT_TRUE(timerStopped);
    EXPECT_EQ(g_testDialogRuns, 0);
    ASSERT_EQ(boxes, 1u);
    EXPECT_EQ(g_boxes[0].caption, CString(L"Message"));
}

// ---- Exit and Escape ------------------------------------------------------------------------

TEST_F(LauncherTest, EscapeNeverClosesAndOnlyYesToTheExitQuestionEnds)
{
    CDelvaneDlg dlg;
    std::atomic<bool> aliveAfterEscape{ false }, aliveAfterNo{ false };
    std::atomic<size_t> boxesAfterEscape{ 99 };
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        HWND go = ::GetDlgItem(d.GetSafeHwnd(), IDC_GO_BASIC);
        for (HWND target : { go, d.GetSafeHwnd() }) {
            ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        }
        ::Sleep(300);   // posted keys go through the modal loop; give it time to act on them
        aliveAfterEscape = d.IsWindowVisible() != FALSE && g_endCalls == 0;
        boxesAfterEscape = g_boxes.size();

        g_boxAnswer = IDNO;
        d.SendMessage(WM_CLOSE);
        aliveAfterNo = d.IsWindowVisible() != FALSE && g_endCalls == 0;
        Click(d, IDC_EXIT);   // the Exit button asks the same question
        CloseWithYes(d);
    });
    EXPECT_TRUE(aliveAfterEscape);
    EXPECT_EQ(boxesAfterEscape, 0u);
    EXPECT_TRUE(aliveAfterNo);
    ASSERT_EQ(g_boxes.size(), 3u);
    for (const BoxCall& box : g_boxes) {
        EXPECT_EQ(box.text, CString(L"Do you want to exit from Zembrolix Recovery (Premium)?"));
        EXPECT_EQ(box.caption, CString(L"Message"));
        EXPECT_EQ(box.type, (UINT)(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    }
    EXPECT_EQ(g_endCalls, 1);
}

namespace {
CWinThread* g_testWorker = nullptr;
std::atomic<bool> g_workerFinished{ false }, g_finishedBeforeEnd{ false };
}

TEST_F(LauncherTest, ExitLetsRunningWorkersFinishBeforeTheProcessEnds)
{
    RegisterWorkerGlobal(&g_testWorker);
    g_workerFinished = false;
    ZrSetProcessEnder([](int code) {
        g_finishedBeforeEnd = g_workerFinished.load();
        RecordEnd(code);
    });
    ASSERT_NE(ZrBeginThreadInto(g_testWorker, [](LPVOID) -> UINT {
        while (!AfxGetThread()->StopRequested())
            ::Sleep(5);
        ::Sleep(50);   // its own finishing steps
        g_workerFinished = true;
        return 0;
    }, nullptr), nullptr);
    CDelvaneDlg dlg;
    RunLauncher(dlg, [&](CDelvaneDlg& d) { CloseWithYes(d); });
    EXPECT_TRUE(g_finishedBeforeEnd);
    EXPECT_EQ(g_endCalls, 1);
    delete g_testWorker;
    g_testWorker = nullptr;
}

TEST_F(LauncherTest, ExitDeletesOnlyOurTemporaryFiles)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CString dir = CString(temp) + L"zr_launcher_exit\\";
    CreateDirectoryPath(dir + L"VKD9\\inner");
    const wchar_t* ours[] = { L"VKD0", L"VKD1.jpg", L"VKD22.pdf" };
    const wchar_t* theirs[] = { L"myVKD1.doc", L"VKD1.tar.gz", L"VKDnotes.txt", L"vkd3.jpg" };
    for (const wchar_t* name : ours)
        CreateEmptyFile(dir + name);
    for (const wchar_t* name : theirs)
        CreateEmptyFile(dir + name);
    CreateEmptyFile(dir + L"VKD9\\inner\\VKD5.jpg");

    EXPECT_EQ(DeleteTempFiles(dir), 3);
    for (const wchar_t* name : ours)
        EXPECT_EQ(::GetFileAttributesW(dir + name), INVALID_FILE_ATTRIBUTES) << CString(name).GetLength();
    for (const wchar_t* name : theirs)
        EXPECT_NE(::GetFileAttributesW(dir + name), INVALID_FILE_ATTRIBUTES) << CString(name).GetLength();
    EXPECT_NE(::GetFileAttributesW(dir + L"VKD9\\inner\\VKD5.jpg"), INVALID_FILE_ATTRIBUTES);

    // The launcher's exit runs the same clean-up on its temporary folder.
    CDelvaneDlg dlg;
    CreateEmptyFile(dir + L"VKD7.png");
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        TempFolderPath = dir;
        CloseWithYes(d);
    });
    EXPECT_EQ(::GetFileAttributesW(dir + L"VKD7.png"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW(dir + L"myVKD1.doc"), INVALID_FILE_ATTRIBUTES);
}

// ---- The command-line scan log ----------------------------------------------------------------

TEST_F(LauncherTest, ABasicLogRunsItsSearchBeforeTheLauncherIsShown)
{
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    g_launcherVisibleWhenRun = true;
    SetCommandLineLogPath(WriteLog(L"zr_basic.QLX", kScanLogMarker, 1));
    CDelvaneDlg dlg;
    std::thread closer([] {
        WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
        ::PostMessageW(g_testDialogWnd.load(), WM_COMMAND, IDCANCEL, 0);
    });
    RunLauncher(dlg, [&](CDelvaneDlg& d) { CloseWithYes(d); });
    closer.join();
    EXPECT_EQ(g_testDialogRuns, 1);
    EXPECT_EQ(g_testDialogThread.load(), ::GetCurrentThreadId());
    EXPECT_FALSE(g_launcherVisibleWhenRun);
    EXPECT_EQ(g_boxes.size(), 1u);   // only the exit question
}

TEST_F(LauncherTest, AWrongOrUnreadableLogIsRefusedAndTheLauncherStartsNormally)
{
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    RegisterSearchDialog(kModePhoto, RunTestSearchDialog);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CString truncated = CString(temp) + L"zr_truncated.QLX";
    {
        CFile file(truncated, CFile::modeCreate | CFile::modeWrite);
        file.Write("\x05\x00", 2);
        file.Close();
    }
    const CString logs[] = {
        WriteLog(L"zr_photo.QLX", kScanLogMarker, 3),           // a right marker, a mode it cannot load
        WriteLog(L"zr_marker.QLX", L"SomeOtherProgram2013", 1),
        truncated,
        CString(temp) + L"zr_missing_log.QLX",                   // cannot be opened at all
    };
    for (const CString& log : logs) {
        g_boxes.clear();
        SetCommandLineLogPath(log);
        CDelvaneDlg dlg;
        std::atomic<int> modeAtStart{ -1 };
        std::atomic<bool> pathCleared{ false };
        RunLauncher(dlg, [&](CDelvaneDlg& d) {
            modeAtStart = d.SearchMode.load();
            pathCleared = !CommandLineLogPending.load();
            CloseWithYes(d);
        });
        EXPECT_EQ(g_testDialogRuns, 0) << log.GetLength();
        EXPECT_EQ(modeAtStart, kModeNone);
        EXPECT_TRUE(pathCleared);
        ASSERT_EQ(g_boxes.size(), 2u);   // the refusal, then the exit question
        EXPECT_EQ(g_boxes[0].text, CString(kInvalidLog));
        EXPECT_EQ(g_boxes[0].caption, CString(L"Message"));
        EXPECT_EQ(g_boxes[0].type, (UINT)MB_ICONINFORMATION);
    }
}

// ---- Services --------------------------------------------------------------------------------

TEST_F(LauncherTest, ProgressAndWaitServicesFromAWorker)
{
    CDelvaneDlg dlg;
    std::atomic<int> smallPos{ -1 }, afterWrap{ -1 }, fullAtOnce{ -1 }, largeForward{ -1 }, largeEnd{ -1 };
    std::atomic<bool> waitShownOnUiThread{ false }, ownerDisabled{ false }, waitHidden{ false }, ownerBack{ false };
    DWORD uiThread = ::GetCurrentThreadId();
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 10, d.GetSafeHwnd(), nullptr, nullptr, nullptr);
        d.SetProgressRange64(bar, 0, 100, 2);
        for (int i = 0; i < 50; ++i)
            d.UpdateProgress(bar, 0, 100, i);
        smallPos = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);
        d.UpdateProgress(bar, 0, 100, 51);
        afterWrap = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);
        d.SetProgressRange64(bar, 0, 1, 5);
        fullAtOnce = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);

        const uint64_t end = 0x100000000ull;
        d.SetProgressRange64(bar, 0, end, 1);
        d.UpdateProgress(bar, 0, end, end / 2);
        d.UpdateProgress(bar, 0, end, end / 4);   // out of order: never backwards
        largeForward = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);
        d.UpdateProgress(bar, 0, end, end * 3);   // past the end: clamped
        largeEnd = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);

        d.ShowWaitDialog(nullptr, TRUE);
        waitShownOnUiThread = d.WaitDialog && d.WaitDialog->IsWindowVisible()
                              && ::GetWindowThreadProcessId(d.WaitDialog->GetSafeHwnd(), nullptr) == uiThread;
        ownerDisabled = !d.IsWindowEnabled();
        d.CloseWaitDialog(nullptr);
        waitHidden = d.WaitDialog && !d.WaitDialog->IsWindowVisible();
        ownerBack = d.IsWindowEnabled() != FALSE;
        ::PostMessageW(bar, WM_CLOSE, 0, 0);
        CloseWithYes(d);
    });
    EXPECT_EQ(smallPos, 100);
    EXPECT_EQ(afterWrap, 2);   // the bar starts over, as the loading bar relies on
    EXPECT_EQ(fullAtOnce, 1);
    EXPECT_EQ(largeForward, 50);
    EXPECT_EQ(largeEnd, 100);
    EXPECT_TRUE(waitShownOnUiThread);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(waitHidden);
    EXPECT_TRUE(ownerBack);
}

TEST_F(LauncherTest, SelectionDetailsFillTheActiveDialogsList)
{
    CDelvaneDlg main;
    ASSERT_TRUE(main.Create(IDD_MAIN_DIALOG));
    CDialog photo(IDD_TEST_DIALOG);
    ASSERT_TRUE(photo.Create(IDD_TEST_DIALOG));
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 200, 100, photo.GetSafeHwnd(),
                                  (HMENU)1019, nullptr, nullptr);
    for (int col = 0; col < 2; ++col) {
        LVCOLUMNW c = { LVCF_WIDTH, 0, 100 };
        ::SendMessageW(list, LVM_INSERTCOLUMNW, col, (LPARAM)&c);
    }
    g_pPhotoSearchDlg = &photo;
    main.SearchMode = kModePhoto;
    DiskPartitionTable[2].slot[1].startSector = 2048;
    DiskPartitionTable[2].slot[1].endSector = 206848;

    main.FormatSelectionDetails(L"FAT32", 1, 2);
    auto cell = [&](int row, int col) {
        wchar_t text[128] = {};
        LVITEMW item = {};
        item.iSubItem = col;
        item.pszText = text;
        item.cchTextMax = 128;
        ::SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
        return CString(text);
    };
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 7);
    EXPECT_TRUE(::GetWindowLongW(list, GWL_STYLE) & WS_VISIBLE);   // the list is shown
    EXPECT_EQ(cell(0, 0), CString(L"1. Disk Number : "));
    EXPECT_EQ(cell(0, 1), CString(L"2"));
    EXPECT_EQ(cell(1, 1), CString(L"2"));              // partition index + 1
    EXPECT_EQ(cell(2, 1), CString(L"FAT32"));
    EXPECT_EQ(cell(3, 1), CString(L"Photo Search"));
    EXPECT_EQ(cell(4, 1), CString(L"2048"));
    EXPECT_EQ(cell(5, 1), CString(L"206848"));
    EXPECT_EQ(cell(6, 0), CString(L"7. Size : "));
    EXPECT_EQ(cell(6, 1), CString(L"100.00 MB"));      // trimmed of the number's padding

    // Numbers out of range touch nothing.
    main.FormatSelectionDetails(L"NTFS", 50, 2);
    main.FormatSelectionDetails(L"NTFS", 0, 26);
    main.FormatSelectionDetails(L"NTFS", -1, -1);
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 7);
    EXPECT_EQ(cell(2, 1), CString(L"FAT32"));

    DiskPartitionTable[2].slot[1] = PartitionSlot();
    g_pPhotoSearchDlg = nullptr;
    photo.DestroyWindow();
    main.DestroyWindow();
}

TEST_F(LauncherTest, RecordTablesHaveTheirColumns)
{
    CDelvaneDlg dlg;
    std::vector<int> counts;
    RunLauncher(dlg, [&](CDelvaneDlg& d) {
        for (ZrRecordTable* t : d.RecordTables())
            counts.push_back(t->GetColumnCount());
        CloseWithYes(d);
    });
    EXPECT_EQ(counts, (std::vector<int>{ 8, 10, 4, 6, 12, 12, 11, 7, 2, 6 }));
    EXPECT_EQ(dlg.FoundEntryTable.GetColumnName(11), CString(L"Cluster0Start"));
    EXPECT_EQ(dlg.FatBootHitTable.GetColumnName(10), CString(L"PartType"));
}

TEST(Startup, TheAssociationQuotesTheProgramAndTheArgument)
{
    ZrMessageBoxHook old = ZrSetMessageBoxHook(RecordBox);
    g_boxes.clear();
    EXPECT_EQ(RegisterLogAssociation(), 2);
    ZrSetMessageBoxHook(old);
    EXPECT_TRUE(g_boxes.empty());

    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    ASSERT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, L".QLX", nullptr, RRF_RT_REG_SZ, nullptr, value, &size), ERROR_SUCCESS);
    EXPECT_STREQ(value, L"Log File");
    size = sizeof(value);
    ASSERT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, L".QLX\\shell\\Open with program\\command", nullptr, RRF_RT_REG_SZ,
                             nullptr, value, &size), ERROR_SUCCESS);
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(CString(value), L"\"" + CString(program) + L"\" \"%1\"");
}

// ---- The real program ---------------------------------------------------------------------------

namespace {

struct FoundWindow {
    DWORD pid;
    const wchar_t* title;
    HWND hwnd;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<FoundWindow*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[256] = {};
    ::GetWindowTextW(hwnd, title, 256);
    if (pid == f->pid && ::IsWindowVisible(hwnd) && wcscmp(title, f->title) == 0) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD pid, const wchar_t* title)
{
    FoundWindow f{ pid, title, nullptr };
    WaitUntil([&] {
        ::EnumWindows(FindProcessWindow, (LPARAM)&f);
        return f.hwnd != nullptr;
    }, 20000);
    return f.hwnd;
}

bool SaveScreenshot(const CString& path)
{
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = { sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB };
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    const DWORD stride = ((w * 3 + 3) & ~3), bytes = stride * h;
    BITMAPFILEHEADER fh = { 0x4D42, (DWORD)(sizeof(fh) + sizeof(BITMAPINFOHEADER) + bytes), 0, 0,
                            (DWORD)(sizeof(fh) + sizeof(BITMAPINFOHEADER)) };
    bool ok = false;
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ok = ::WriteFile(file, &fh, sizeof(fh), &written, nullptr)
             && ::WriteFile(file, &bi.bmiHeader, sizeof(BITMAPINFOHEADER), &written, nullptr)
             && ::WriteFile(file, bits, bytes, &written, nullptr);
        ::CloseHandle(file);
    }
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace

namespace {

struct ProgramPaths {
    CString build;     // the build folder, which holds the program
    CString program;
};

ProgramPaths FindProgram()
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    CString dir = self;
    dir = dir.Left(dir.ReverseFind(L'\\'));
    ProgramPaths p;
    p.build = dir.Left(dir.ReverseFind(L'\\'));
    p.program = p.build + L"\\ZembrolixRecovery.exe";
    return p;
}

struct Started {
    PROCESS_INFORMATION pi = {};
    bool ok = false;
    ~Started()
    {
        if (!ok)
            return;
        DWORD code = 0;
        if (::GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE)
            ::TerminateProcess(pi.hProcess, 1);   // only a program that failed its test is left
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    DWORD WaitExit(DWORD ms)
    {
        if (::WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

void Start(Started& s, const CString& program, const CString& folder)
{
    CString commandLine = L"\"" + program + L"\"";
    STARTUPINFOW si = { sizeof(si) };
    s.ok = ::CreateProcessW(program, commandLine.GetBuffer(commandLine.GetLength() + 1), nullptr, nullptr, FALSE, 0,
                            nullptr, folder, &si, &s.pi) != FALSE;
    commandLine.ReleaseBuffer();
}

} // namespace

TEST(Program, StartsShowsTheLauncherAndEndsThroughTheExitQuestion)
{
    ProgramPaths paths = FindProgram();
    if (::GetFileAttributesW(paths.program) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the program is not built";

    Started run;
    Start(run, paths.program, paths.build);
    ASSERT_TRUE(run.ok);
    HWND launcher = WaitForWindow(run.pi.dwProcessId, kProductTitle);
    ASSERT_NE(launcher, nullptr);
    ASSERT_NE(::GetDlgItem(launcher, IDC_GO_BASIC), nullptr) << "the data files did not load";
    // Start-up wrote the association for this program.
    wchar_t command[1024] = {};
    DWORD size = sizeof(command);
    EXPECT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, L".QLX\\shell\\Open with program\\command", nullptr, RRF_RT_REG_SZ,
                             nullptr, command, &size), ERROR_SUCCESS);
    EXPECT_EQ(CString(command).CompareNoCase(L"\"" + paths.program + L"\" \"%1\""), 0) << zr_test::Narrow(command);
    ::Sleep(500);   // let it paint
    EXPECT_TRUE(SaveScreenshot(paths.build + L"\\launcher_screenshot.bmp"));

    // Escape goes nowhere; the exit question ends the process with exit code 0.
    ::PostMessageW(::GetDlgItem(launcher, IDC_GO_BASIC), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(run.WaitExit(500), (DWORD)STILL_ACTIVE);
    ::PostMessageW(launcher, WM_CLOSE, 0, 0);
    HWND question = WaitForWindow(run.pi.dwProcessId, L"Message");
    ASSERT_NE(question, nullptr);
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(run.WaitExit(20000), 0u);
}

TEST(Program, AMissingDataFileEndsStartUpWithANonZeroExitCode)
{
    ProgramPaths paths = FindProgram();
    if (::GetFileAttributesW(paths.program) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the program is not built";
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CString folder = CString(temp) + L"zr_no_data_files";
    ::CreateDirectoryW(folder, nullptr);
    CString program = folder + L"\\ZembrolixRecovery.exe";
    ASSERT_TRUE(::CopyFileW(paths.program, program, FALSE));

    Started run;
    Start(run, program, folder);
    ASSERT_TRUE(run.ok);
    HWND box = WaitForWindow(run.pi.dwProcessId, kProductTitle);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(::GetDlgItem(box, IDC_GO_BASIC), nullptr);   // the message, not the launcher
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    EXPECT_EQ(CString(text).Find(L"Couldn't open source file: "), 0) << zr_test::Narrow(text);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD code = run.WaitExit(20000);
    EXPECT_NE(code, 0u);
    EXPECT_NE(code, (DWORD)STILL_ACTIVE);
    ::DeleteFileW(program);
}

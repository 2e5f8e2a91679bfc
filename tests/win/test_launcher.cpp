// The launcher in-process (the mode thread, exit, a scan log on the command line, the wait
// services), then the real program started as a process.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/shellservices.h"
#include "app/pure/folder_nodes.h"
#include "app/pure/shell_rules.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/images.h" // Narrow
#include "common/ui_wait.h"
#include "resource.h"
#include "storage/pure/globals.h"
#include "test_resource.h"

using zr_test::WaitUntil;

namespace {

std::atomic<int> g_testDialogRuns{ 0 };
std::atomic<DWORD> g_testDialogThread{ 0 };
std::atomic<HWND> g_testDialogWnd{ nullptr };
std::atomic<bool> g_launcherVisibleWhenRun{ false };

class TestSearchDialog : public CDialog {
public:
    explicit TestSearchDialog(SearchHost* host) : CDialog(IDD_TEST_CHILD), m_host(host) { }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        g_testDialogThread = ::GetCurrentThreadId();
        g_testDialogWnd = m_hWnd;
        if (m_host) {
            g_launcherVisibleWhenRun = m_host->LauncherWindow()->IsWindowVisible() != FALSE;
            m_host->SearchDialogStarted();
        }
        return TRUE;
    }

private:
    SearchHost* m_host;
};

void RunTestSearchDialog(SearchHost* host)
{
    ++g_testDialogRuns;
    TestSearchDialog(host).DoModal();
    g_testDialogWnd = nullptr;
}

void CloseTestDialog()
{
    WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
    ::PostMessageW(g_testDialogWnd.load(), WM_COMMAND, IDCANCEL, 0);
}

std::vector<CString> g_boxes; // the message boxes shown, answered with g_boxAnswer
int g_boxAnswer = IDNO;

int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return g_boxAnswer;
}

CWinThread* g_testWorker = nullptr;
std::atomic<bool> g_workerFinished{ false }, g_finishedBeforeEnd{ false };

std::atomic<int> g_endCalls{ 0 };
std::atomic<int> g_firstEndCode{ -1 };
void RecordEnd(int code)
{
    if (g_endCalls == 0)
        g_firstEndCode = code;
    ++g_endCalls;
    if (SearchHost* host = GetSearchHost()) // the process would end here; the test ends the launcher's modal loop
        static_cast<CDialog*>(host->LauncherWindow())->EndDialog(IDCANCEL);
}

CString TempDir()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
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
        m_oldBox = ZrSetMessageBoxHook(RecordBox);
        m_oldEnd = ZrSetProcessEnder(RecordEnd);
    }
    void TearDown() override
    {
        ZrSetMessageBoxHook(m_oldBox);
        ZrSetProcessEnder(m_oldEnd);
        for (int mode = kModeBasic; mode <= kModeSignature; ++mode)
            RegisterSearchDialog(mode, nullptr);
        ClearCommandLineLogPath();
    }

    // Runs a launcher modally here while `script` drives it from another thread, then closes it
    // by answering Yes to the exit question.
    static void RunLauncher(const std::function<void(CDelvaneDlg&)>& script)
    {
        CDelvaneDlg dlg;
        std::thread driver([&] {
            WaitUntil([&] { return dlg.GetSafeHwnd() && dlg.IsWindowVisible(); });
            script(dlg);
            g_boxAnswer = IDYES;
            dlg.PostMessage(WM_CLOSE);
        });
        zr_test::ModalWatchdog watchdog(30000);
        dlg.DoModal();
        driver.join();
        EXPECT_FALSE(watchdog.Fired()) << "the launcher did not end";
    }
    static void Click(CDelvaneDlg& dlg, int id)
    {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)::GetDlgItem(dlg.GetSafeHwnd(), id));
    }

    ZrMessageBoxHook m_oldBox = nullptr;
    ZrProcessEnder m_oldEnd = nullptr;
};

CString WriteLog(const wchar_t* name, const CString& marker, int32_t mode)
{
    CString path = TempDir() + name;
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    ar << CString(L"Zembrolix Recovery Log") << marker << CString(L"\\\\.\\X:") << mode;
    ar.Close();
    file.Close();
    return path;
}

} // namespace

TEST_F(LauncherTest, GoRunsTheSearchDialogOnTheModeThreadOnceAndTheLauncherComesBack)
{
    RegisterSearchDialog(kModePhoto, RunTestSearchDialog);
    RunLauncher([&](CDelvaneDlg& d) {
        d.RecognisedPartitionTable.InsertRow({ L"left over" });
        Click(d, IDC_GO_PHOTO);
        WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
        EXPECT_EQ(d.SearchMode.load(), kModePhoto);
        EXPECT_EQ(d.RecognisedPartitionTable.GetItemCount(), 0);
        EXPECT_TRUE(WaitUntil([&] { return !d.IsWindowEnabled() && d.LoadingDialog == nullptr; }));

        Click(d, IDC_GO_BASIC); // a second Go meanwhile changes nothing
        EXPECT_EQ(g_testDialogRuns, 1);
        EXPECT_EQ(d.SearchMode.load(), kModePhoto);

        CloseTestDialog();
        EXPECT_TRUE(WaitUntil([&] { return d.IsWindowEnabled() && d.IsWindowVisible(); }));
        EXPECT_TRUE(WaitUntil([&] { return d.ModeSearchThread == nullptr; }));
    });
    EXPECT_NE(g_testDialogThread.load(), ::GetCurrentThreadId());
    EXPECT_EQ(g_endCalls, 1);
}

// Go for a file-system search starts it with no folder records and on its drive page; Go for a
// carving search leaves them be.
TEST_F(LauncherTest, GoStartsBasicSearchOnItsFirstPage)
{
    std::atomic<int> page{ 3 };
    RegisterSearchPageIndex(kModeBasic, &page);
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    RegisterSearchDialog(kModePhoto, RunTestSearchDialog);
    RunLauncher([&](CDelvaneDlg& d) {
        const struct {
            int go, page;
        } steps[] = { { IDC_GO_PHOTO, 3 }, { IDC_GO_BASIC, 0 } };
        for (const auto& step : steps) {
            g_testDialogWnd = nullptr;
            Click(d, step.go);
            WaitUntil([] { return g_testDialogWnd.load() != nullptr; });
            EXPECT_EQ(step.page, page.load());
            CloseTestDialog();
            EXPECT_TRUE(WaitUntil([&] { return d.ModeSearchThread == nullptr; }));
        }
    });
    RegisterSearchPageIndex(kModeBasic, nullptr);
}

TEST_F(LauncherTest, AModeThreadThatCannotStartClosesTheLoadingDialogAndSaysSo)
{
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    ZrModeThreadStarter old =
        ZrSetModeThreadStarter([](CWinThread*&, AFX_THREADPROC, LPVOID) -> CWinThread* { return nullptr; });
    RunLauncher([&](CDelvaneDlg& d) {
        Click(d, IDC_GO_BASIC);
        EXPECT_TRUE(d.LoadingDialog == nullptr);
        EXPECT_TRUE(d.IsWindowEnabled());
        EXPECT_TRUE(d.ModeSearchThread == nullptr);
        EXPECT_EQ(g_boxes.size(), 1u);
        const int ticks = d.TimerTicks;
        ::Sleep(300); // several timer periods
        EXPECT_EQ(d.TimerTicks, ticks) << "the loading timer still runs";
    });
    ZrSetModeThreadStarter(old);
    EXPECT_EQ(g_testDialogRuns, 0);
    ASSERT_EQ(g_boxes.size(), 2u); // the failure, then the exit question
    EXPECT_NE(g_boxes[0], g_boxes[1]);
}

TEST_F(LauncherTest, ExitLetsWorkersFinishAndDeletesOnlyOurTemporaryFiles)
{
    const CString dir = TempDir() + L"zr_launcher_exit\\";
    CreateDirectoryPath(dir + L"VKD9");
    const wchar_t* ours[] = { L"VKD0", L"VKD1.jpg", L"VKD22.pdf" };
    const wchar_t* theirs[] = { L"myVKD1.doc", L"VKD1.tar.gz", L"vkd3.jpg", L"VKD9\\VKD5.jpg" };
    for (const wchar_t* name : ours)
        CreateEmptyFile(dir + name);
    for (const wchar_t* name : theirs)
        CreateEmptyFile(dir + name);

    RegisterWorkerGlobal(&g_testWorker);
    ZrSetProcessEnder([](int code) {
        g_finishedBeforeEnd = g_workerFinished.load();
        RecordEnd(code);
    });
    ASSERT_NE(ZrBeginThreadInto(
                  g_testWorker,
                  [](LPVOID) -> UINT {
                      while (!AfxGetThread()->StopRequested())
                          ::Sleep(5);
                      ::Sleep(50); // its own finishing steps
                      g_workerFinished = true;
                      return 0;
                  },
                  nullptr),
              nullptr);
    RunLauncher([&](CDelvaneDlg& d) { d.TempFolderPath = dir; });
    EXPECT_TRUE(g_finishedBeforeEnd);
    EXPECT_EQ(g_endCalls, 1);
    delete g_testWorker;
    g_testWorker = nullptr;
    for (const wchar_t* name : ours)
        EXPECT_EQ(::GetFileAttributesW(dir + name), INVALID_FILE_ATTRIBUTES) << zr_test::Narrow(name);
    for (const wchar_t* name : theirs)
        EXPECT_NE(::GetFileAttributesW(dir + name), INVALID_FILE_ATTRIBUTES) << zr_test::Narrow(name);
}

TEST_F(LauncherTest, ABasicLogRunsItsSearchFirstAndAnyOtherIsRefused)
{
    RegisterSearchDialog(kModeBasic, RunTestSearchDialog);
    RegisterSearchDialog(kModePhoto, RunTestSearchDialog);
    const CString truncated = TempDir() + L"zr_truncated.QLX";
    CFile(truncated, CFile::modeCreate | CFile::modeWrite).Write("\x05\x00", 2);
    const struct {
        CString path;
        bool accepted;
    } logs[] = {
        { WriteLog(L"zr_basic.QLX", kScanLogMarker, 1), true },
        { WriteLog(L"zr_photo.QLX", kScanLogMarker, 3), false }, // a mode it cannot load
        { WriteLog(L"zr_marker.QLX", L"SomeOtherProgram2013", 1), false },
        { truncated, false },
        { TempDir() + L"zr_missing_log.QLX", false }, // cannot be opened at all: the program ends
    };
    for (const auto& log : logs) {
        g_boxes.clear();
        g_endCalls = 0;
        g_firstEndCode = -1;
        g_testDialogRuns = 0;
        g_launcherVisibleWhenRun = true;
        SetCommandLineLogPath(log.path);
        std::thread closer;
        if (log.accepted)
            closer = std::thread(CloseTestDialog);
        RunLauncher([&](CDelvaneDlg& d) {
            if (!log.accepted) {
                EXPECT_EQ(d.SearchMode.load(), kModeNone);
                EXPECT_FALSE(CommandLineLogPending.load());
            }
        });
        if (closer.joinable())
            closer.join();
        const std::string name = zr_test::Narrow(log.path.GetString());
        EXPECT_EQ(g_testDialogRuns, log.accepted ? 1 : 0) << name;
        if (log.accepted) {
            EXPECT_EQ(g_testDialogThread.load(), ::GetCurrentThreadId());
            EXPECT_FALSE(g_launcherVisibleWhenRun);
            EXPECT_EQ(g_boxes.size(), 1u); // only the exit question
        } else if (&log == &logs[4]) {
            // A log that cannot be opened ends the program after its message, with a code that
            // says so.
            ASSERT_GE(g_boxes.size(), 1u) << name;
            EXPECT_GE(g_boxes[0].Find(L"invalid or corrupted"), 0);
            EXPECT_EQ(kExitUnusableLog, g_firstEndCode.load());
        } else {
            ASSERT_EQ(g_boxes.size(), 2u) << name; // the refusal, then the exit question
            EXPECT_GE(g_boxes[0].Find(L"invalid or corrupted"), 0);
            EXPECT_EQ(0, g_firstEndCode.load()) << name;
        }
        ClearCommandLineLogPath();
    }
}

TEST_F(LauncherTest, ProgressAndWaitServicesFromAWorker)
{
    const DWORD uiThread = ::GetCurrentThreadId();
    RunLauncher([&](CDelvaneDlg& d) {
        HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 10, d.GetSafeHwnd(), nullptr,
                                     nullptr, nullptr);
        const uint64_t end = 0x100000000ull;
        d.SetProgressRange64(bar, 0, end, 1);
        d.UpdateProgress(bar, 0, end, end / 2);
        d.UpdateProgress(bar, 0, end, end / 4); // out of order: never backwards
        EXPECT_EQ((int)::SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
        d.UpdateProgress(bar, 0, end, end * 3); // past the end: clamped
        EXPECT_EQ((int)::SendMessageW(bar, PBM_GETPOS, 0, 0), 100);

        d.ShowWaitDialog(nullptr, TRUE);
        EXPECT_TRUE(d.WaitDialog && d.WaitDialog->IsWindowVisible() &&
                    ::GetWindowThreadProcessId(d.WaitDialog->GetSafeHwnd(), nullptr) == uiThread);
        EXPECT_FALSE(d.IsWindowEnabled());
        d.CloseWaitDialog(nullptr);
        EXPECT_TRUE(d.WaitDialog && !d.WaitDialog->IsWindowVisible());
        EXPECT_TRUE(d.IsWindowEnabled());
        ::PostMessageW(bar, WM_CLOSE, 0, 0);
    });
}

namespace {

HWND WaitForWindow(DWORD pid, const wchar_t* title)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w = ::FindWindowExW(nullptr, nullptr, nullptr, title); w && !found;
                 w = ::FindWindowExW(nullptr, w, nullptr, title)) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(w, &owner);
                if (owner == pid && ::IsWindowVisible(w))
                    found = w;
            }
            return found != nullptr;
        },
        20000);
    return found;
}

// The program in the build folder (this test sits in its tests folder); empty when not built.
CString BuiltProgram()
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    CString dir = self;
    dir = dir.Left(dir.ReverseFind(L'\\'));
    const CString program = dir.Left(dir.ReverseFind(L'\\')) + L"\\ZembrolixRecovery.exe";
    return ::GetFileAttributesW(program) == INVALID_FILE_ATTRIBUTES ? CString() : program;
}

// A started program, ended at the close if its test left it running.
struct Started {
    PROCESS_INFORMATION pi = {};
    bool ok = false;
    Started(const CString& program, const CString& folder)
    {
        CString commandLine = L"\"" + program + L"\"";
        STARTUPINFOW si = { sizeof(si) };
        ok = ::CreateProcessW(program, commandLine.GetBuffer(commandLine.GetLength() + 1), nullptr, nullptr, FALSE, 0,
                              nullptr, folder, &si, &pi) != FALSE;
        commandLine.ReleaseBuffer();
    }
    ~Started()
    {
        if (ok && WaitExit(0) == STILL_ACTIVE)
            ::TerminateProcess(pi.hProcess, 1);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    DWORD WaitExit(DWORD ms)
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

} // namespace

TEST(Program, StartsShowsTheLauncherAndEndsThroughTheExitQuestion)
{
    const CString program = BuiltProgram();
    if (program.IsEmpty())
        GTEST_SKIP() << "the program is not built";
    Started run(program, program.Left(program.ReverseFind(L'\\')));
    ASSERT_TRUE(run.ok);
    HWND launcher = WaitForWindow(run.pi.dwProcessId, kProductTitle);
    ASSERT_NE(launcher, nullptr);
    ASSERT_NE(::GetDlgItem(launcher, IDC_GO_BASIC), nullptr) << "the data files did not load";
    // Start-up wrote the association for this program, both paths quoted.
    wchar_t command[1024] = {};
    DWORD size = sizeof(command);
    EXPECT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, L".QLX\\shell\\Open with program\\command", nullptr, RRF_RT_REG_SZ,
                             nullptr, command, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(CString(command).CompareNoCase(L"\"" + program + L"\" \"%1\""), 0) << zr_test::Narrow(command);
    ::PostMessageW(launcher, WM_CLOSE, 0, 0);
    HWND question = WaitForWindow(run.pi.dwProcessId, L"Message");
    ASSERT_NE(question, nullptr);
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(run.WaitExit(20000), 0u);
}

TEST(Program, AMissingDataFileEndsStartUpWithExitCode3)
{
    const CString built = BuiltProgram();
    if (built.IsEmpty())
        GTEST_SKIP() << "the program is not built";
    const CString folder = TempDir() + L"zr_no_data_files", program = folder + L"\\ZembrolixRecovery.exe";
    ::CreateDirectoryW(folder, nullptr);
    ASSERT_TRUE(::CopyFileW(built, program, FALSE));
    {
        Started run(program, folder);
        ASSERT_TRUE(run.ok);
        HWND box = WaitForWindow(run.pi.dwProcessId, kProductTitle);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(::GetDlgItem(box, IDC_GO_BASIC), nullptr); // the message, not the launcher
        wchar_t text[512] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 512);
        EXPECT_EQ(CString(text).Find(L"Couldn't open source file: "), 0) << zr_test::Narrow(text);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(run.WaitExit(20000), 3u);
    }
    ::DeleteFileW(program);
}

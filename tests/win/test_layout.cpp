// Every screen a user meets, as it shows with the fonts the program gets: the launcher, each page
// of Basic, Deep, Photo, Signature and Video Search (drive page, options, scanning, results) and every
// small dialog and notice. On each, every text is whole inside its control, no control leaves the
// dialog or lies over another unless meant to, the caption is not drawn under a control, and
// every box and dialog opens over a window that is shown and takes input. The whole run is done
// at 96 dpi and again, in a second process, at 120 dpi.
//
// To add a screen: a small dialog is one row of SmallDialogs(); a search dialog's pages are
// walked by a test of their own that calls ExpectLayout at each page (see the Basic, Deep and
// carving walks below), with the template's allowances in RulesFor.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/background.h"
#include "app/devicetree.h"
#include "app/dialogchrome.h"
#include "app/notices.h"
#include "app/pure/shell_rules.h"
#include "app/questions.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/carve_search_fixture.h"
#include "common/deep_search_fixture.h"
#include "common/dialog_script.h"
#include "common/images.h"
#include "common/layout_check.h"
#include "common/ui_wait.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "sigrecovery/clearingnotice.h"
#include "sigrecovery/mediaremoved.h"
#include "sigrecovery/pure/carve_search.h"

using namespace zr_test;

namespace {

// What each template places over something else on purpose.
LayoutRules RulesFor(UINT templateId)
{
    LayoutRules rules;
    switch (templateId) {
    case IDD_BASIC_SEARCH:
        // The results tree takes the drive tree's place; the hint lies over the list's place.
        rules.overlapsAllowed = { { IDC_BS_DRIVE_TREE, IDC_BS_RESULT_TREE } };
        break;
    case IDD_DEEP_SEARCH:
        // As in Basic Search, the results tree takes the drive tree's place.
        rules.overlapsAllowed = { { IDC_DS_DRIVE_TREE, IDC_DS_RESULT_TREE } };
        break;
    default:
        break;
    }
    return rules;
}

void ExpectLayout(HWND dialog, const std::string& screen, UINT templateId)
{
    ASSERT_NE(nullptr, dialog) << screen;
    for (const std::string& problem : LayoutProblems(dialog, RulesFor(templateId)))
        ADD_FAILURE() << screen << " at " << ScreenDpi() << " dpi: " << problem;
}

// The caption a search dialog or the launcher draws in its top band.
void ExpectCaption(CWnd& dialog, int panelId, const wchar_t* caption, const std::string& screen)
{
    const CRect band = DialogCaptionRect(&dialog, dialog.GetDlgItem(panelId));
    for (const std::string& problem : CaptionProblems(dialog.GetSafeHwnd(), band, GlowingCaption(caption),
                                                      HFONT(SharedGdi.FontCalibri36Medium.GetSafeHandle())))
        ADD_FAILURE() << screen << " at " << ScreenDpi() << " dpi: " << problem;
}

// The window a dialog or box opens over is shown and takes input (before the dialog takes it).
void ExpectShownOwner(HWND dialog, const std::string& screen, HWND expected)
{
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    EXPECT_EQ(expected, owner) << screen << ": opens over another window";
    EXPECT_TRUE(owner != nullptr && ::IsWindowVisible(owner)) << screen << ": its owner is not shown";
}

struct SmallDialog {
    const char* name;
    UINT templateId;
    std::function<std::unique_ptr<CDialog>()> make;
};

std::vector<SmallDialog> SmallDialogs()
{
    return {
        { "About", IDD_ABOUT_DIALOG, [] { return std::make_unique<CAbout_Dlg>(); } },
        { "Help and Support", IDD_HELP_SUPPORT_DIALOG, [] { return std::make_unique<CHelp>(); } },
        { "Basic notice", IDD_MSG_STAND_DIALOG, [] { return std::make_unique<CMsgStand>(); } },
        { "Deep notice", IDD_ADVANCE_DIALOG, [] { return std::make_unique<CAdvanceDlg>(); } },
        { "destination notice", IDD_SAVE_MSG_DIALOG, [] { return std::make_unique<CSaveMsg>(); } },
        { "share", IDD_SHARE_IT_DIALOG, [] { return std::make_unique<CShare_It_Dlg>(); } },
        { "no device", IDD_NO_DEVICE_DIALOG, [] { return std::make_unique<CNoDevice>(); } },
        { "replace question", IDD_REPLACE_DIALOG,
          [] {
              static FileExistsAnswer answer;
              return std::make_unique<Replace>(answer);
          } },
        { "logical or physical", IDD_LOGICAL_SCAN_DIALOG, [] { return std::make_unique<CLogicalDlg>(); } },
        { "partition search mode", IDD_SMP_SEL_DIALOG, [] { return std::make_unique<CSmpSel>(); } },
        { "whole disk question", IDD_REM_MEDIA_DIALOG, [] { return std::make_unique<CRem_Media_Scan>(); } },
        { "medium removed", IDD_MEDIA_REMOVED_DIALOG, [] { return std::make_unique<CMediaRemoved>(); } },
    };
}

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateSharedGdiObjects();
        ZrInitCommonControls();
        ASSERT_TRUE(launcher.Create(IDD_MAIN_DIALOG, nullptr));
        launcher.ShowWindow(SW_SHOW);
        SetSearchHost(&launcher);
        NoDeviceVisible = 0;
        PumpPending();
    }
    void TearDown() override
    {
        SetSearchHost(nullptr);
        launcher.DestroyWindow();
        PumpPending();
        CWnd::DeleteTempMap();
    }
    CDelvaneDlg launcher;
};

int CALLBACK FoundFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The caption buttons of the title bars are drawn with the Marlett font; without it they read
// "0 1 r".
TEST(Layout, TheCaptionButtonsFontIsThere)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcscpy(wanted.lfFaceName, L"Marlett");
    HDC screen = ::GetDC(nullptr);
    bool found = false;
    ::EnumFontFamiliesExW(screen, &wanted, FoundFont, LPARAM(&found), 0);
    ::ReleaseDC(nullptr, screen);
    EXPECT_TRUE(found);
}

TEST_F(LayoutTest, TheLauncherAndEverySmallDialog)
{
    ExpectLayout(launcher.GetSafeHwnd(), "launcher", IDD_MAIN_DIALOG);
    ExpectCaption(launcher, IDC_MAIN_FRAME, kProductTitle, "launcher");

    for (const SmallDialog& d : SmallDialogs()) {
        SCOPED_TRACE(d.name);
        std::unique_ptr<CDialog> dialog = d.make();
        bool seen = false;
        RunScripted(*dialog, { [&](HWND h) {
                        seen = true;
                        ExpectLayout(h, d.name, d.templateId);
                        ExpectShownOwner(h, d.name, launcher.GetSafeHwnd());
                        dialog->EndDialog(IDCANCEL);
                    } });
        EXPECT_TRUE(seen);
        NoDeviceVisible = 0;
    }

    // The modeless ones: loading a search, the wait dialog, the folder-listing notice, saving
    // files and the clearing notices of the three carving searches.
    auto* loading = new CModeless1(&launcher); // it goes with its window
    ASSERT_TRUE(loading->Create());
    ExpectLayout(loading->GetSafeHwnd(), "loading a search", IDD_LOADING_DIALOG);
    loading->DestroyWindow();

    launcher.ShowWaitDialog(&launcher, TRUE);
    ASSERT_NE(nullptr, launcher.WaitDialog);
    ExpectLayout(launcher.WaitDialog->GetSafeHwnd(), "wait", IDD_WAIT_DIALOG);
    launcher.CloseWaitDialog(&launcher);

    CPopulate populate;
    ASSERT_TRUE(populate.Create(&launcher));
    populate.ShowWindow(SW_SHOW);
    ExpectLayout(populate.GetSafeHwnd(), "listing folders", IDD_POPULATE_DIALOG);
    populate.DestroyWindow();

    CSavingFilesDlg saving(&launcher);
    ASSERT_TRUE(saving.Create());
    saving.ShowWindow(SW_SHOW);
    ExpectLayout(saving.GetSafeHwnd(), "saving files", IDD_SAVING_FILES);
    saving.DestroyWindow();

    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        const CarveSearchInfo& info = DescribeCarveSearch(kind);
        CRawDlg clearing(&launcher);
        ASSERT_TRUE(clearing.Show(info.clearingTitle, info.clearingNote));
        ExpectLayout(clearing.GetSafeHwnd(), std::string("clearing notice of ") + Narrow(info.caption),
                     IDD_CLEARING_NOTICE);
        clearing.DestroyWindow();
    }
}

// A search's drive page with its first disk picked, that disk's partition search running, and its
// first partition picked. The partition search waits on this thread for each update it shows, so
// nothing moves while the page is looked at.
void ExpectDiskPages(CSearchSession& dlg, CDelvaneDlg& main, const std::function<void()>& searchMore,
                     int searchProgress, const std::string& name, UINT templateId)
{
    const HWND h = dlg.GetSafeHwnd();
    CTreeClass& tree = dlg.DriveTree();
    const HTREEITEM disk = tree.GetChildItem(dlg.PhysicalDrivesItem());
    ASSERT_NE(nullptr, disk);
    tree.SelectItem(disk);
    PumpPending();
    ExpectLayout(h, name + ": a disk picked", templateId);
    {
        DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
        searchMore();
        ASSERT_TRUE(PumpEachUntil([&] { return dlg.GetDlgItem(searchProgress)->IsWindowVisible() != FALSE; }));
        ExpectLayout(h, name + ": searching partitions", templateId);
        ASSERT_TRUE(PumpUntil(
            [&] { return g_pPartitionSearchThread == nullptr && main.PartitionSearchRunning == 0; }, 60000));
    }
    tree.SelectItem(disk);
    PumpPending();
    const HTREEITEM partition = tree.GetChildItem(disk);
    ASSERT_NE(nullptr, partition);
    tree.SelectItem(partition);
    PumpPending();
    ExpectLayout(h, name + ": a partition picked", templateId);
}

// Basic Search: the drive page with a disk, a partition and a drive letter picked, the page while
// a scan runs, the results page with a folder listed, and the drive page again after Back.
TEST_F(BasicSearchTest, LayoutOfEveryPage)
{
    ASSERT_TRUE(PumpUntil([] { return g_pBasicDriveTreeThread == nullptr; }, 30000));
    const HWND h = dlg.GetSafeHwnd();
    ExpectLayout(h, "Basic: drive page", IDD_BASIC_SEARCH);
    ExpectCaption(dlg, IDC_BS_PANEL, L"Basic Search", "Basic");

    ExpectDiskPages(
        dlg, main, [&] { dlg.OnBnClickedSearchMorePartitions(); }, IDC_BS_PS_PROGRESS, "Basic", IDD_BASIC_SEARCH);
    ASSERT_FALSE(HasFatalFailure());
    SelectDrive(L"X:");
    ExpectLayout(h, "Basic: a drive letter picked", IDD_BASIC_SEARCH);

    NextAnswering(IDC_LOG_LOGICAL);
    ExpectLayout(h, "Basic: scanning", IDD_BASIC_SEARCH);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    ExpectLayout(h, "Basic: results", IDD_BASIC_SEARCH);
    ListFolder(dlg.ResultTree().GetRootItem());
    ExpectLayout(h, "Basic: a folder listed", IDD_BASIC_SEARCH);
    dlg.OnBnClickedBack();
    PumpPending();
    ExpectLayout(h, "Basic: back on the drive page", IDD_BASIC_SEARCH);
}

// Deep Search: the drive page with a disk (and its partition search running), a partition and a
// drive letter picked, the page while a scan runs, the results with a folder listed, and the
// drive page again after Back.
class DeepLayoutTest : public DeepSearchDialogTest {
protected:
    void Field(int id, uint64_t value)
    {
        CString text;
        text.Format(L"%llu", (unsigned long long)value);
        dlg.SetDlgItemText(id, text);
    }
};

TEST_F(DeepLayoutTest, LayoutOfEveryPage)
{
    ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 30000));
    const HWND h = dlg.GetSafeHwnd();
    ExpectLayout(h, "Deep: drive page", IDD_DEEP_SEARCH);
    ExpectCaption(dlg, IDC_MAIN_FRAME, L"Deep Search", "Deep");

    ExpectDiskPages(
        dlg, main, [&] { dlg.OnBnClickedSearchMorePartitions(); }, IDC_DS_PS_PROGRESS, "Deep", IDD_DEEP_SEARCH);
    ASSERT_FALSE(HasFatalFailure());

    CTreeClass& tree = dlg.DriveTree();
    HTREEITEM letter = nullptr;
    for (HTREEITEM c = tree.GetChildItem(dlg.LogicalDrivesItem()); c != nullptr && letter == nullptr;
         c = tree.GetNextSiblingItem(c))
        if (tree.GetItemText(c).Find(L"P:") >= 0)
            letter = c;
    ASSERT_NE(nullptr, letter);
    tree.SelectItem(letter);
    PumpPending();
    ExpectLayout(h, "Deep: a drive letter picked", IDD_DEEP_SEARCH);

    const uint64_t sectors = ReadOnlyFile(ImagePath(L"deepntfs.img")).Size() / 512;
    ASSERT_NE(0u, sectors);
    Field(IDC_RANGE_MIN, 0);
    Field(IDC_RANGE_MAX, sectors);
    Field(IDC_RANGE_START, 0);
    Field(IDC_RANGE_END, sectors);
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 2);
    {
        DialogAnswerer answer(IDC_LOG_LOGICAL, IDC_LOG_LOGICAL, h);
        dlg.OnBnClickedNext();
    }
    ExpectLayout(h, "Deep: scanning", IDD_DEEP_SEARCH);
    ASSERT_TRUE(PumpUntil(
        [&] {
            return dlg.Page() == 1 && dlg.ScanThread() == nullptr && g_pPopulateListThread == nullptr &&
                dlg.ResultTree().GetRootItem() != nullptr && dlg.GetDlgItem(IDC_DS_BACK)->IsWindowEnabled();
        },
        60000));
    ExpectLayout(h, "Deep: results", IDD_DEEP_SEARCH);
    CTreeClass& results = dlg.ResultTree();
    HTREEITEM folder = results.GetChildItem(results.GetRootItem());
    ASSERT_NE(nullptr, folder);
    results.SelectItem(folder);
    ASSERT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000));
    ExpectLayout(h, "Deep: a folder listed", IDD_DEEP_SEARCH);
    dlg.OnBnClickedBack();
    PumpPending();
    ExpectLayout(h, "Deep: back on the drive page", IDD_DEEP_SEARCH);
}

// Photo, Signature and Video Search: the drive step with the disk picked, the options step, the
// scan step while it runs and after it.
TEST_F(CarveSearchTest, LayoutOfEveryStep)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        Open(kind);
        const std::string name = Narrow(dlg->Info().caption);
        SCOPED_TRACE(name);
        const UINT templateId = kind == CarveSearchKind::Photo ? IDD_PHOTO_SEARCH
            : kind == CarveSearchKind::Video                   ? IDD_VIDEO_SEARCH
                                                               : IDD_SIGNATURE_SEARCH;
        const HWND h = dlg->GetSafeHwnd();
        ExpectLayout(h, name + ": drive step", templateId);
        ExpectCaption(*dlg, dlg->Layout().panel, dlg->Info().caption, name);
        SelectMedium(false, 0, sectors - 1);
        ExpectLayout(h, name + ": the disk picked", templateId);
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        ExpectLayout(h, name + ": options step", templateId);
        dlg->SetDlgItemText(dlg->CarveLayout().destination, NewDestination());
        dlg->OnBnClickedNext();
        ASSERT_EQ(CCarveSession::kScanStep, dlg->Page());
        ExpectLayout(h, name + ": scanning", templateId);
        WaitForScanEnd();
        ExpectLayout(h, name + ": results", templateId);
        dlg->DestroyWindow();
        PumpPending();
    }
}

// The same screens at 120 dpi: the setting is read when a process starts, so a second run of
// these tests is started with it and the setting is put back as it was afterwards.
TEST(Layout, AllOfItAt120Dpi)
{
    if (const char* dpi = std::getenv("ZR_LAYOUT_DPI")) {
        // This is the second run itself.
        EXPECT_EQ(std::atoi(dpi), ScreenDpi());
        return;
    }
    HKEY desktop = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                                               KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &desktop, nullptr));
    DWORD before = 0, size = sizeof(before), type = 0;
    const bool had = ::RegQueryValueExW(desktop, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&before),
                                        &size) == ERROR_SUCCESS && type == REG_DWORD;
    const DWORD wanted = 120;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&wanted), sizeof(wanted)));
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_color=no";
    ::SetEnvironmentVariableW(L"ZR_LAYOUT_DPI", L"120");
    STARTUPINFOW start{ sizeof(start) };
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process);
    ::SetEnvironmentVariableW(L"ZR_LAYOUT_DPI", nullptr);
    DWORD code = 1;
    if (started) {
        ::WaitForSingleObject(process.hProcess, 240000);
        ::GetExitCodeProcess(process.hProcess, &code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    if (had)
        ::RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before), sizeof(before));
    else
        ::RegDeleteValueW(desktop, L"LogPixels");
    ::RegCloseKey(desktop);
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, code) << "the screens at 120 dpi (their failures are listed above)";
}

} // namespace

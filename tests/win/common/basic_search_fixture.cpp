#include "common/basic_search_fixture.h"

#include <algorithm>
#include <fstream>

#include "app/searchhost.h"
#include "app/waitdialogs.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/driverecords.h"
#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"
#include "storage/sector_source.h"

namespace zr_test {

std::vector<CString> g_boxes;
int g_boxAnswer = IDNO;

std::vector<CString> g_boxesWithoutOwner;

int RecordBox(HWND owner, LPCWSTR text, LPCWSTR, UINT)
{
    // A box over a hidden or disabled window (or none) would wait where the user cannot answer
    // it; but a window disabled behind one that closes by itself (a progress window) owns the box
    // in that window's place, which the box would not outlive.
    const bool behindTransient = owner != nullptr && ClosesByItself(::GetLastActivePopup(owner));
    if (owner == nullptr || !::IsWindowVisible(owner) || (!::IsWindowEnabled(owner) && !behindTransient))
        g_boxesWithoutOwner.push_back(text);
    g_boxes.push_back(text);
    return g_boxAnswer;
}

namespace {

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts(1);
    for (char c : path)
        if (c != '/')
            parts.back() += c;
        else if (!parts.back().empty())
            parts.emplace_back();
    if (parts.back().empty())
        parts.pop_back();
    return parts;
}

CString g_saveFolder;
CString PickSaveFolder(CWnd*)
{
    return g_saveFolder;
}

std::map<UINT_PTR, DialogAnswerer*> g_answerers;

} // namespace

DialogAnswerer::DialogAnswerer(int marker, int button, HWND except, int firstClick)
    : m_marker(marker), m_button(button), m_except(except), m_firstClick(firstClick),
      m_timer(::SetTimer(nullptr, 0, 30, OnTimer))
{
    g_answerers[m_timer] = this;
}

DialogAnswerer::~DialogAnswerer()
{
    ::KillTimer(nullptr, m_timer);
    g_answerers.erase(m_timer);
}

void CALLBACK DialogAnswerer::OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto it = g_answerers.find(id);
    if (it != g_answerers.end())
        ::EnumThreadWindows(::GetCurrentThreadId(), Answer, LPARAM(it->second));
}

BOOL CALLBACK DialogAnswerer::Answer(HWND wnd, LPARAM self)
{
    auto* a = reinterpret_cast<DialogAnswerer*>(self);
    HWND button = ::GetDlgItem(wnd, a->m_button);
    if (wnd == a->m_except || button == nullptr || ::GetDlgItem(wnd, a->m_marker) == nullptr ||
        !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    ++a->m_count;
    a->m_lastOwner = ::GetWindow(wnd, GW_OWNER);
    if (HWND first = a->m_firstClick != 0 ? ::GetDlgItem(wnd, a->m_firstClick) : nullptr)
        ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(a->m_firstClick, BN_CLICKED), LPARAM(first));
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(a->m_button, BN_CLICKED), LPARAM(button));
    ::EnableWindow(wnd, FALSE); // answered once while the click is on its way
    return TRUE;
}

std::vector<TruthLine> LoadTruth(const std::wstring& image)
{
    std::ifstream in(Narrow(ImagePath(image + L".truth.tsv")));
    return fs_walk::ParseTruth(in);
}

std::vector<TruthLine> PartitionOneFiles(const std::wstring& image)
{
    std::vector<TruthLine> files;
    for (TruthLine e : LoadTruth(image))
        if (!e.isDir() && e.path.rfind("1:", 0) == 0 && (e.state == "live" || e.state == "deleted")) {
            e.path.erase(0, 2);
            files.push_back(e);
        }
    return files;
}

std::vector<TruthLine> CompressedDiskFiles()
{
    return PartitionOneFiles(L"ntfscomp.img");
}

std::vector<TruthLine> WithoutFillers(std::vector<TruthLine> files)
{
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const TruthLine& e) { return e.path.rfind("/Fill/", 0) == 0; }),
                files.end());
    return files;
}

const Medium& ExtensionDisk()
{
    static const Medium disk{ L"ntfsext.img", nullptr, L"NTFS", L"(Disk17 ", L"Partition - 1", "1:" };
    return disk;
}

void ExpectSavedWhole(const std::vector<TruthLine>& files, const std::map<std::string, std::string>& saved)
{
    for (const TruthLine& e : files) {
        const auto found = saved.find(e.sha256);
        if (found == saved.end())
            ADD_FAILURE() << e.path << " was not saved whole";
        else
            EXPECT_TRUE(SamePath(Lower(found->second), Lower(e.path))) << found->second;
    }
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_GE(g_boxes.back().Find(L" 0 failed"), 0) << ToUtf8(g_boxes.back());
}

bool SameName(const std::string& shown, const std::string& truth)
{
    return shown == truth || (!truth.empty() && shown == "_" + truth.substr(1));
}

bool SamePath(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameName);
}

bool EndsWithFolder(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    return !a.empty() && !b.empty() && SameName(a.back(), b.back());
}

void TakeSavedFiles(const std::wstring& folder, const std::string& relative, std::map<std::string, std::string>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = folder.empty() ? INVALID_HANDLE_VALUE : ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) // never the root of the current drive
        return;
    do {
        const std::wstring name = data.cFileName, full = folder + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        const std::string path = relative + "/" + Narrow(name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            TakeSavedFiles(full, path, out);
        else
            out[Sha256Hex(ReadAt(full, 0, 64u << 20))] = path;
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    ::RemoveDirectoryW(folder.c_str());
}

bool ScanPassed(CSearchSession& dlg, int scannedId, int currentId, double share)
{
    CString scanned, current;
    dlg.GetDlgItemText(scannedId, scanned);
    dlg.GetDlgItemText(currentId, current);
    if (!dlg.ScanRunning())
        return true;
    if (scanned.Find(L"sectors scanned of total ") != 0 || current.IsEmpty())
        return false;
    return double(StrToUInt64(current.GetString())) >= share * double(StrToUInt64(scanned.Mid(25).GetString()));
}

CString NewTempFolder(const wchar_t* prefix)
{
    static int made = 0;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    CString folder;
    folder.Format(L"%ls%ls_%lu_%d", temp, prefix, (unsigned long)::GetTickCount(), ++made);
    ::CreateDirectoryW(folder, nullptr);
    return folder;
}

std::string FileSha(const CString& path)
{
    return Sha256Hex(ReadAt(std::wstring(path.GetString()), 0, 64u << 20));
}

void BeginSearchDialogTest(CDelvaneDlg& main, int mode, ZrMessageBoxHook& previousHook)
{
    ZrInitCommonControls();
    main.SearchMode = mode;
    SetSearchHost(&main);
    InstallDriveTreeStorageHost();
    PlatformProbe();
    g_boxes.clear();
    g_boxesWithoutOwner.clear();
    g_boxAnswer = IDNO;
    previousHook = ZrSetMessageBoxHook(RecordBox);
}

void ShowSearchDialogUnderTest(CDialog& dlg, std::unique_ptr<DialogAnswerer>& notices)
{
    notices = std::make_unique<DialogAnswerer>(IDC_MS_OK, IDC_MS_OK, dlg.GetSafeHwnd());
    dlg.ShowWindow(SW_SHOW);
}

void EndSearchDialogTest(CSearchSession& dlg, std::unique_ptr<DialogAnswerer>& notices, ZrMessageBoxHook previousHook)
{
    for (const CString& text : g_boxesWithoutOwner)
        ADD_FAILURE() << "a message box with no visible, enabled owner: " << Narrow(std::wstring(text.GetString()));
    if (dlg.GetSafeHwnd() != nullptr)
        dlg.DestroyWindow();
    PumpPending();
    notices.reset();
    SetSaveFolderPicker(nullptr);
    ZrSetMessageBoxHook(previousHook);
    SetStorageHost(nullptr);
    SetSearchHost(nullptr);
    dlg.SetPage(0);
    CWnd::DeleteTempMap();
}

void BasicSearchTest::SetUp()
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    BeginSearchDialogTest(main, kModeBasic, previousHook);
    RegisterBasicSearchDialog();
    SetBasicScanProc(nullptr);
    ASSERT_TRUE(dlg.Create(IDD_BASIC_SEARCH, nullptr));
    ShowSearchDialogUnderTest(dlg, notices);
}

void BasicSearchTest::TearDown()
{
    if (GetSearchHost() == nullptr)
        return;
    EndSearchDialogTest(dlg, notices, previousHook);
    SetBasicScanProc(nullptr);
}

HTREEITEM BasicSearchTest::ChildStartingWith(HTREEITEM parent, const wchar_t* prefix)
{
    CTreeClass& tree = dlg.DriveTree();
    for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c))
        if (tree.GetItemText(c).Find(prefix) == 0)
            return c;
    return nullptr;
}

void BasicSearchTest::SelectDrive(const wchar_t* letter, const wchar_t* image, const wchar_t* fs)
{
    HTREEITEM drive = ChildStartingWith(dlg.LogicalDrivesItem(), letter);
    ASSERT_NE(nullptr, drive);
    dlg.DriveTree().SelectItem(drive);
    PumpPending();
    ASSERT_GE(dlg.DetailList()->GetItemCount(), 3);
    // Wine answers a drive letter's volume queries from the folder behind it, not the image.
    imageSectors = ReadOnlyFile(ImagePath(image)).Size() / 512;
    ASSERT_NE(0u, imageSectors);
    CString end;
    end.Format(L"%llu", (unsigned long long)imageSectors);
    dlg.DetailList()->SetItemText(1, 1, end);
    dlg.DetailList()->SetItemText(2, 1, fs);
}

void BasicSearchTest::PlaceDriveOnDisk(const wchar_t* letter, int disk, int index, uint64_t& first, uint64_t& end)
{
    const HTREEITEM drive = ChildStartingWith(dlg.LogicalDrivesItem(), letter);
    ASSERT_NE(nullptr, drive);
    auto* record = reinterpret_cast<DriveInfoRecord*>(dlg.DriveTree().GetItemData(drive));
    ASSERT_NE(nullptr, record);
    const DiskPartitionRecord& table = DiskPartitionTable[disk];
    ASSERT_LT(uint32_t(index), table.partitionCount);
    first = table.slot[index].startSector;
    end = table.slot[index].endSector;
    record->diskNumber = uint32_t(disk);
    record->volumeStartSector = first;
    record->volumeEndSector = end;
}

void BasicSearchTest::ClickDisk(int disk)
{
    const HTREEITEM item = FindChildItemByText(disk, dlg.PhysicalDrivesItem());
    ASSERT_NE(dlg.PhysicalDrivesItem(), item);
    dlg.DriveTree().SelectItem(item);
    PumpPending();
}

void BasicSearchTest::NextAnswering(int button)
{
    DialogAnswerer answer(button, button);
    dlg.OnBnClickedNext();
}

void BasicSearchTest::ScanDrive(const wchar_t* letter, const wchar_t* image, const wchar_t* fs)
{
    SelectDrive(letter, image, fs);
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
}

void BasicSearchTest::ScanMedium(const Medium& m)
{
    if (m.letter != nullptr)
        return ScanDrive(m.letter, m.image, m.fs);
    CTreeClass& tree = dlg.DriveTree();
    HTREEITEM disk = tree.GetChildItem(dlg.PhysicalDrivesItem());
    while (disk != nullptr && tree.GetItemText(disk).Find(m.disk) < 0)
        disk = tree.GetNextSiblingItem(disk);
    ASSERT_NE(nullptr, disk);
    const HTREEITEM part = ChildStartingWith(disk, m.partition);
    ASSERT_NE(nullptr, part);
    tree.SelectItem(part);
    PumpPending();
    dlg.OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
}

std::map<std::string, std::string> BasicSearchTest::SaveEverything(const CString& destination, HTREEITEM skip)
{
    CTreeClass& results = dlg.ResultTree();
    for (HTREEITEM top = results.GetRootItem(); top; top = results.GetNextSiblingItem(top))
        results.SetCheckRecursive(top, 2);
    if (skip != nullptr) {
        results.SetCheckRecursive(skip, 1);
        results.SetCheckState(results.GetRootItem(), 2);
    }
    return SaveWith(destination, [&] { dlg.OnBnClickedSave(); });
}

HTREEITEM BasicSearchTest::ResultChild(HTREEITEM parent, const char* name)
{
    CTreeClass& tree = dlg.ResultTree();
    for (HTREEITEM c = parent ? tree.GetChildItem(parent) : nullptr; c != nullptr; c = tree.GetNextSiblingItem(c))
        if (SameName(Narrow(std::wstring(tree.GetItemText(c).GetString())), name))
            return c;
    return nullptr;
}

void BasicSearchTest::ListFolder(HTREEITEM item)
{
    dlg.ResultTree().SelectItem(item);
    ASSERT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000));
}

std::map<std::string, std::string> BasicSearchTest::SaveWith(const CString& destination,
                                                             const std::function<void()>& press)
{
    g_saveFolder = destination;
    SetSaveFolderPicker(PickSaveFolder);
    press();
    SetSaveFolderPicker(nullptr);
    std::map<std::string, std::string> saved;
    TakeSavedFiles(std::wstring(destination.GetString()), "", saved);
    return saved;
}

bool BasicSearchTest::Enabled(int id)
{
    return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE;
}

CString CountsOfList(CListCtrl& list)
{
    unsigned long long folders = 0, files = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        ++(list.GetItemText(row, 1) == L"FOLDER" ? folders : files);
    CString text;
    text.Format(L"%llu Folders, %llu Files", folders, files);
    return text;
}

bool BasicSearchTest::OnResultsPage()
{
    return dlg.Page() == 1 && dlg.ScanThread() == nullptr && g_pPopulateListThread == nullptr &&
        Enabled(IDC_BS_BACK) && !Enabled(IDC_BS_NEXT) && dlg.ResultTree().GetRootItem() != nullptr;
}

} // namespace zr_test

#include "common/basic_search_fixture.h"

#include "app/waitdialogs.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/driverecords.h"
#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"
#include "storage/sectorreader.h"

namespace zr_test {

std::vector<CString> g_boxes;
int g_noResultNotices = 0;

namespace {

int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return IDNO;
}

// Answers the next dialog of this thread that has button `g_answerButton` by clicking it (from a
// timer, which the dialog's own modal loop dispatches).
int g_answerButton = 0;
BOOL CALLBACK ClickAnswer(HWND wnd, LPARAM)
{
    HWND button = ::GetDlgItem(wnd, g_answerButton);
    if (button == nullptr || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(g_answerButton, BN_CLICKED), LPARAM(button));
    return FALSE;
}
void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), ClickAnswer, 0);
}

// Closes the no-results notice (the window with its OK button that is not the search dialog).
BOOL CALLBACK CloseNoResultNotice(HWND wnd, LPARAM searchDialog)
{
    HWND ok = ::GetDlgItem(wnd, IDC_MS_OK);
    if (ok == nullptr || wnd == HWND(searchDialog) || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    ++g_noResultNotices;
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDC_MS_OK, BN_CLICKED), LPARAM(ok));
    ::EnableWindow(wnd, FALSE);   // counted once while the click is on its way
    return TRUE;
}
void CALLBACK NoticeTimer(HWND, UINT, UINT_PTR, DWORD)
{
    CWnd* search = g_pBasicSearchDlg;
    ::EnumThreadWindows(::GetCurrentThreadId(), CloseNoResultNotice,
                        LPARAM(search != nullptr ? search->GetSafeHwnd() : nullptr));
}

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c != '/')
            part += c;
        else if (!part.empty())
            parts.push_back(part), part.clear();
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

} // namespace

std::vector<TruthRow> LoadTruthRows(const std::wstring& image)
{
    std::vector<TruthRow> rows;
    const std::vector<uint8_t> bytes = ReadAt(ImagePath(image + L".truth.tsv"), 0, 1 << 20);
    std::string line;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n') {
            line += char(bytes[i]);
            continue;
        }
        std::vector<std::string> cells(1);
        for (char c : line)
            if (c == '\t')
                cells.emplace_back();
            else
                cells.back().push_back(c);
        if (!line.empty() && line[0] != '#' && cells.size() >= 4)
            rows.push_back({ cells[0], cells[1], cells[2], cells[3], cells.size() > 4 ? cells[4] : std::string() });
        line.clear();
    }
    return rows;
}

bool SameName(const std::string& shown, const std::string& truth)
{
    return shown == truth || (!truth.empty() && shown == "_" + truth.substr(1));
}

bool SamePath(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameName(a[i], b[i]))
            return false;
    return true;
}

bool EndsWithFolder(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    return !a.empty() && !b.empty() && SameName(a.back(), b.back());
}

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch;
    return text;
}

void TakeSavedFiles(const std::wstring& folder, const std::string& relative, std::map<std::string, std::string>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::string path = relative + "/" + Narrow(name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            TakeSavedFiles(folder + L"\\" + name, path, out);
        else
            out[Sha256Hex(ReadAt(folder + L"\\" + name, 0, 64u << 20))] = path;
        ::DeleteFileW((folder + L"\\" + name).c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    ::RemoveDirectoryW(folder.c_str());
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

void BasicSearchTest::SetUp()
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    ZrInitCommonControls();
    main.SearchMode = kModeBasic;
    g_pMainDlg = &main;
    InstallDriveTreeStorageHost();
    PlatformProbe();
    RegisterBasicSearchDialog();
    SetBasicScanProc(nullptr);
    g_boxes.clear();
    previousHook = ZrSetMessageBoxHook(RecordBox);
    g_noResultNotices = 0;
    noticeTimer = ::SetTimer(nullptr, 0, 30, NoticeTimer);
    ASSERT_TRUE(dlg.Create(IDD_BASIC_SEARCH, nullptr));
    dlg.ShowWindow(SW_SHOW);
}

void BasicSearchTest::TearDown()
{
    if (g_pMainDlg == nullptr)
        return;
    if (dlg.GetSafeHwnd() != nullptr)
        dlg.DestroyWindow();
    PumpPending();
    ::KillTimer(nullptr, noticeTimer);
    SetBasicScanProc(nullptr);
    ZrSetMessageBoxHook(previousHook);
    SetStorageHost(nullptr);
    g_pMainDlg = nullptr;
    BasicSearchPage = 0;
    CWnd::DeleteTempMap();
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
    // Wine answers the volume queries of a drive letter from the folder behind it, not from
    // the image: the rows are set to what the image holds.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExW(ImagePath(image).c_str(), GetFileExInfoStandard, &data));
    imageSectors = ((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 512;
    CString end;
    end.Format(L"%llu", (unsigned long long)imageSectors);
    dlg.DetailList()->SetItemText(1, 1, end);
    dlg.DetailList()->SetItemText(2, 1, fs);
}

void BasicSearchTest::NextAnswering(int button)
{
    g_answerButton = button;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, AnswerTimer);
    dlg.OnBnClickedNext();
    ::KillTimer(nullptr, timer);
}

void BasicSearchTest::ScanDrive(const wchar_t* letter, const wchar_t* image, const wchar_t* fs)
{
    SelectDrive(letter, image, fs);
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
}

void BasicSearchTest::CollectFolders(HTREEITEM parent, const std::string& path, std::set<std::string>& out)
{
    CTreeClass& tree = dlg.ResultTree();
    for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c)) {
        const std::string child = path + Narrow(std::wstring(tree.GetItemText(c).GetString())) + "/";
        out.insert(child);
        CollectFolders(c, child, out);
    }
}

std::set<std::string> BasicSearchTest::AllFolders()
{
    CTreeClass& tree = dlg.ResultTree();
    std::set<std::string> all;
    for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top)) {
        const std::string path = "/" + Narrow(std::wstring(tree.GetItemText(top).GetString())) + "/";
        all.insert(path);
        CollectFolders(top, path, all);
    }
    return all;
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

bool BasicSearchTest::Enabled(int id)
{
    return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE;
}

bool BasicSearchTest::OnResultsPage()
{
    return BasicSearchPage == 1 && g_pBasicScanThread == nullptr && g_pPopulateListThread == nullptr &&
           Enabled(IDC_BS_BACK) && !Enabled(IDC_BS_NEXT) && dlg.ResultTree().GetRootItem() != nullptr;
}

} // namespace zr_test

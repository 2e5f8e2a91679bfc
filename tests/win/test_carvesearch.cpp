// The Photo, Signature and Video Search dialogs driven end to end on carvemedia.img
// (\\.\PhysicalDrive6 and \\.\M:): what each finds against the truth file, where the finds are
// saved and with which bytes, the thumbnails and counts they show, Stop, Back and Next, the
// destination rule, and a medium with more finds than a list shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/devicetree.h"
#include "app/notices.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "common/basic_search_fixture.h"
#include "common/carve_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "sigrecovery/photosearch.h"
#include "app/pure/sector_fields.h"
#include "app/pure/tree_rules.h"
#include "storage/destination_check.h"
#include "storage/pure/destination_check.h"
#include "storage/pure/storage_host.h"
#include "sigrecovery/sigfiles.h"
#include "sigrecovery/sigsearch.h"
#include "storage/pure/globals.h"
#include "storage/sector_source.h"

using namespace zr_test;

namespace {

// The files (not folders) directly in `folder`.
int CountFiles(const CString& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(folder + L"\\*", &data);
    int count = 0;
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do
        count += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return count;
}

// Every change of the names in a folder while it lives, as the system reports them: a file made
// and deleted at once shows too.
class FolderWatch {
public:
    explicit FolderWatch(const CString& folder)
    {
        m_dir = ::CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        m_over.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_watching = m_dir != INVALID_HANDLE_VALUE &&
            ::ReadDirectoryChangesW(m_dir, m_buffer, sizeof(m_buffer), FALSE,
                                    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                        FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE,
                                    nullptr, &m_over, nullptr);
    }
    ~FolderWatch()
    {
        if (m_dir != INVALID_HANDLE_VALUE) {
            ::CancelIo(m_dir);
            ::CloseHandle(m_dir);
        }
        ::CloseHandle(m_over.hEvent);
    }
    bool Watching() const { return m_watching; }
    // Whether anything changed, waiting up to `ms` for the report.
    bool Changed(DWORD ms) { return ::WaitForSingleObject(m_over.hEvent, ms) == WAIT_OBJECT_0; }

private:
    HANDLE m_dir = INVALID_HANDLE_VALUE;
    OVERLAPPED m_over{};
    bool m_watching = false;
    alignas(8) uint8_t m_buffer[4096];
};

CString g_browseAnswer;
CString AnswerBrowse(CWnd*)
{
    return g_browseAnswer;
}

// Photo Search over the whole disk: both passes' pictures are found, saved whole up to their end
// and shown as thumbnails, each decoded from its file but the picture cut short by another file;
// the hidden type counts count the last pass.
TEST_F(CarveSearchTest, PhotoSearchShowsEveryPictureAsAThumbnail)
{
    Open(CarveSearchKind::Photo);
    SelectMedium(false, 0, sectors - 1);
    NextFromDriveStep();
    ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(0u, dlg->Target().firstSector);
    EXPECT_EQ(sectors - 1, dlg->Target().endSector);
    EXPECT_EQ(CString(kDisk), dlg->Target().devicePath);
    EXPECT_TRUE(dlg->IsDlgButtonChecked(IDC_PS_THOROUGH));
    const CString destination = NewDestination();
    ScanInto(destination);
    EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));

    const std::vector<CarveFind> expected = Expected("photo", true);
    ExpectFinds(expected, destination);
    auto& photo = static_cast<CRawSearch&>(*dlg);
    CThumbsListCtrl& thumbs = photo.Thumbnails();
    ASSERT_EQ(int(expected.size()), thumbs.Count());
    for (int i = 0; i < thumbs.Count(); ++i) {
        const CString name = thumbs.GetItemText(i, 0);
        SCOPED_TRACE(ToUtf8(name));
        const auto f =
            std::find_if(expected.begin(), expected.end(), [&](const CarveFind& c) { return c.name == ToUtf8(name); });
        ASSERT_NE(expected.end(), f);
        const auto planted = std::find_if(truth.planted.begin(), truth.planted.end(),
                                          [&](const CarvePlanted& p) { return p.name == f->planted; });
        ASSERT_NE(truth.planted.end(), planted);
        const bool whole = planted->note.find("overlapped-by") == std::string::npos;
        if (whole) {
            EXPECT_TRUE(thumbs.Decoded(i));
        }
        EXPECT_EQ(CString(thumbs.PathOf(i)).Right(name.GetLength()), name);
        // Five to a row, 135 pixels apart.
        POINT at{}, first{};
        thumbs.SendMessage(LVM_GETITEMPOSITION, WPARAM(i), LPARAM(&at));
        thumbs.SendMessage(LVM_GETITEMPOSITION, 0, LPARAM(&first));
        EXPECT_EQ((i % 5) * 135, at.x - first.x);
        EXPECT_EQ((i / 5) * 135, at.y - first.y);
    }

    // The hidden list counts the Thorough pass's pictures: one JPEG.
    CListCtrl& counts = photo.TypeCounts();
    for (int row = 0; row < counts.GetItemCount(); ++row)
        EXPECT_EQ(counts.GetItemText(row, 0) == L"jpg" ? L"1" : L"0", counts.GetItemText(row, 1))
            << ToUtf8(counts.GetItemText(row, 0));

    EXPECT_TRUE(Visible(IDC_PS_OPEN_FOLDER));
    EXPECT_FALSE(Visible(IDC_PS_STOP));
    EXPECT_FALSE(Enabled(IDC_PS_NEXT));
    dlg->OnBnClickedOpenFolder();
    ASSERT_EQ(1u, g_opened.size());
    EXPECT_EQ(destination + L"\\Zembrolix Recovery (Premium)\\Photo Search", g_opened[0]);
    thumbs.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    NMHDR click{ thumbs.GetSafeHwnd(), UINT_PTR(IDC_PS_THUMBS), UINT(NM_DBLCLK) };
    dlg->SendMessage(WM_NOTIFY, IDC_PS_THUMBS, LPARAM(&click));
    ASSERT_EQ(2u, g_opened.size());
    EXPECT_EQ(thumbs.PathOf(2), g_opened[1]);

    // A picture the list cannot take leaves its own item without one, not the later items with
    // their neighbours' pictures.
    const auto imageOf = [&](int item) {
        LVITEMW lv{};
        lv.mask = LVIF_IMAGE;
        lv.iItem = item;
        thumbs.GetItem(&lv);
        return lv.iImage;
    };
    const int before = thumbs.Count();
    const HIMAGELIST images = (HIMAGELIST)thumbs.SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL, 0);
    const int pictures = ImageList_GetImageCount(images);
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 120, 120);
    ::ReleaseDC(nullptr, screen);
    thumbs.AddThumbnail(nullptr, L"lost.jpg", false, L"lost.jpg");
    thumbs.AddThumbnail(bitmap, L"next.jpg", true, L"next.jpg");
    ::DeleteObject(bitmap);
    ASSERT_EQ(before + 2, thumbs.Count());
    EXPECT_EQ(I_IMAGENONE, imageOf(before));
    EXPECT_EQ(pictures, imageOf(before + 1));
    EXPECT_EQ(pictures + 1, ImageList_GetImageCount(images));
}

// Signature Search through the drive letter: every type ticked, the finds listed with their icons
// and counted per type over both passes; without the Thorough box only the General pass runs.
TEST_F(CarveSearchTest, SignatureSearchListsAndCountsEveryFind)
{
    for (bool thorough : { true, false }) {
        SCOPED_TRACE(thorough ? "with the Thorough pass" : "General pass only");
        Open(CarveSearchKind::Signature);
        SelectMedium(true, 0, sectors - 1);
        // A smaller disk looked at before does not cut the drive letter's range.
        DiskTotalSectors = 100;
        main.SelectedDriveValue = 1;
        NextFromDriveStep(IDC_LOG_LOGICAL);
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        EXPECT_EQ(CString(L"\\\\.\\M:"), dlg->Target().devicePath);
        EXPECT_EQ(sectors - 1, dlg->Target().endSector);
        auto& sig = static_cast<CSigDuplicate&>(*dlg);
        CColoredListCtrl& types = sig.TypeList();
        ASSERT_GT(types.GetItemCount(), 3);
        for (int row = 0; row < types.GetItemCount(); ++row) {
            EXPECT_TRUE(types.GetCheck(row));
            EXPECT_EQ(types.GetItemText(row, 0), CString(types.GetItemText(row, 0)).MakeUpper());
        }
        dlg->CheckDlgButton(IDC_SS_THOROUGH, thorough ? BST_CHECKED : BST_UNCHECKED);
        const CString destination = NewDestination();
        ScanInto(destination);
        EXPECT_TRUE(g_boxes.empty());
        // The last pass's texts stay.
        EXPECT_EQ(CString(thorough ? L"(Searching files based on:  Thorough Signature Scanning Algorithm)"
                                   : L"(Searching files based on:  General Signature Recovery Procedure)"),
                  Text(IDC_SS_PASS_TEXT));
        CString total;
        total.Format(L"sectors scanned of total %llu", (unsigned long long)(sectors - 1));
        EXPECT_EQ(total, Text(IDC_SS_SCANNED_OF));

        const std::vector<CarveFind> expected = Expected("sig", thorough);
        ExpectFinds(expected, destination);
        CColoredListCtrl& results = sig.ResultList();
        ASSERT_EQ(int(expected.size()), results.GetItemCount());
        for (int row = 0; row < results.GetItemCount(); ++row)
            EXPECT_EQ(dlg->Results().Shown()[size_t(row)].name, results.GetItemText(row, 0));

        std::map<std::string, int> perType;
        for (const CarveFind& f : expected)
            ++perType[f.key];
        CHideColumn& summary = sig.SummaryList();
        ASSERT_EQ(types.GetItemCount(), summary.GetItemCount());
        for (int row = 0; row < summary.GetItemCount(); ++row) {
            const std::string key = ToUtf8(summary.GetItemText(row, 0));
            SCOPED_TRACE(key);
            EXPECT_EQ(perType[key], StrToInt32(summary.GetItemText(row, 1)));
            // The icon is asked for once per type and kept in its hidden cell.
            EXPECT_EQ(perType[key] > 0, !summary.GetItemText(row, 7).IsEmpty());
        }
        // A found file opens from its row.
        g_opened.clear();
        results.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
        NMHDR click{ results.GetSafeHwnd(), UINT_PTR(IDC_SS_RESULTS), UINT(NM_DBLCLK) };
        dlg->SendMessage(WM_NOTIFY, IDC_SS_RESULTS, LPARAM(&click));
        ASSERT_EQ(1u, g_opened.size());
        EXPECT_EQ(dlg->Results().Shown()[1].path, g_opened[0]);
        dlg->DestroyWindow();
    }
}

// Video Search numbers its finds per video type and counts them in its own summary.
TEST_F(CarveSearchTest, VideoSearchNumbersPerVideoType)
{
    Open(CarveSearchKind::Video);
    SelectMedium(false, 0, sectors - 1);
    NextFromDriveStep();
    auto& video = static_cast<CSigDuplicate&>(*dlg);
    std::set<std::wstring> types;
    for (int row = 0; row < video.TypeList().GetItemCount(); ++row)
        types.insert(video.TypeList().GetItemText(row, 0).GetString());
    EXPECT_EQ(1u, types.count(L"MP4"));
    EXPECT_EQ(0u, types.count(L"PDF"));
    const CString destination = NewDestination();
    ScanInto(destination);
    ExpectFinds(Expected("video", true), destination);
    const CarveResults& results = dlg->Results();
    ASSERT_GE(results.FindType(L"MP4"), 0);
    EXPECT_EQ(4u, results.TypeRows()[size_t(results.FindType(L"MP4"))].count);
    EXPECT_EQ(1u, results.TypeRows()[size_t(results.FindType(L"AVI"))].count);

    // With no folder of finds (nothing recovered into it) Open Containing Folder says why.
    const CString folder = destination + L"\\Zembrolix Recovery (Premium)\\Video Search";
    ASSERT_TRUE(::MoveFileW(folder, folder + L" away"));
    g_boxes.clear();
    g_opened.clear();
    dlg->OnBnClickedOpenFolder();
    ASSERT_TRUE(::MoveFileW(folder + L" away", folder));
    EXPECT_TRUE(g_opened.empty());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"no folder of recovered files"), 0);
}

// A Photo Search whose scan waits after its first find until Stop is pressed: the stop lands in
// the General pass for sure.
class PhotoHeldAfterFirstFind : public CRawSearch {
public:
    explicit PhotoHeldAfterFirstFind(SearchHost* host) : CRawSearch(host) { }
    void AddResultRow(const CarveFound& found) override
    {
        CRawSearch::AddResultRow(found);
        if (++finds == 1)
            while (!StopRequested())
                ::Sleep(1);
    }
    std::atomic<int> finds{ 0 };
};

// Stop during the General pass keeps what was found and runs no Thorough pass; Back and Next then
// scan again into the same folder under new names, and the first scan's files stay as they were;
// into another folder a new scan's names start at 1 again.
TEST_F(CarveSearchTest, StopKeepsTheFindsAndANewScanNeverOverwritesThem)
{
    Open(CarveSearchKind::Photo, std::make_unique<PhotoHeldAfterFirstFind>(&main));
    auto& photo = static_cast<PhotoHeldAfterFirstFind&>(*dlg);
    const int hint = dlg->CarveLayout().hint;
    EXPECT_EQ(CString(HintSelectDrive), Text(hint));
    SelectMedium(false, 0, sectors - 1);
    NextFromDriveStep();
    const CString destination = NewDestination();
    dlg->SetDlgItemText(IDC_PS_DEST, destination);
    dlg->OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([&] { return photo.finds.load() >= 1; }, 30000));
    // Photo Search asks to let its scan finish, and says which pass runs over which range.
    EXPECT_EQ(CString(HintStopSearching), Text(hint));
    PumpPending();
    EXPECT_EQ(CString(L"(Currently performing Search based on:  General Recovery Procedure)"),
              Text(IDC_PS_PASS_TEXT));
    CString total;
    total.Format(L"sectors scanned of total %llu", (unsigned long long)(sectors - 1));
    EXPECT_EQ(total, Text(IDC_PS_SCANNED_OF));
    EXPECT_FALSE(Text(IDC_PS_CURRENT).IsEmpty());
    const uint64_t reached = StrToUInt64(Text(IDC_PS_CURRENT).GetString());
    EXPECT_LT(reached, sectors);
    EXPECT_FALSE(Enabled(IDC_PS_BACK));
    dlg->OnBnClickedBack(); // refused while the scan runs
    EXPECT_EQ(CCarveSession::kScanStep, dlg->Page());
    dlg->OnBnClickedStop();
    WaitForScanEnd();
    EXPECT_FALSE(dlg->ScanRunning());
    const std::vector<CarveFound> first = dlg->Results().Shown();
    ASSERT_GE(first.size(), 1u);
    EXPECT_LT(first.size(), Expected("photo", false).size());
    for (const CarveFound& f : first)
        EXPECT_FALSE(f.thorough) << ToUtf8(f.name);
    EXPECT_EQ(int(first.size()), photo.Thumbnails().Count());
    EXPECT_EQ(CString(HintViewRecovered), Text(hint));
    std::map<CString, std::string> saved;
    for (const CarveFound& f : first)
        saved[f.path] = FileSha(f.path);

    // Back keeps the options; Next scans again, numbering from 1 past the files already there.
    EXPECT_TRUE(Enabled(IDC_PS_BACK));
    dlg->OnBnClickedBack();
    ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
    EXPECT_FALSE(photo.Thumbnails().IsWindowVisible());
    EXPECT_EQ(0, photo.Thumbnails().Count());
    dlg->CheckDlgButton(IDC_PS_THOROUGH, BST_UNCHECKED);
    ScanInto(destination);
    const std::vector<CarveFound>& second = dlg->Results().Shown();
    ASSERT_EQ(Expected("photo", false).size(), second.size());
    for (const CarveFound& f : second) {
        EXPECT_EQ(0u, saved.count(f.path)) << ToUtf8(f.path);
        EXPECT_FALSE(f.thorough);
    }
    for (const auto& [path, sha] : saved)
        EXPECT_EQ(sha, FileSha(path)) << ToUtf8(path);
    // Into a new folder the names are those of a first scan again, from GNKX00001 on.
    dlg->OnBnClickedBack();
    const CString fresh = NewDestination();
    ScanInto(fresh);
    ExpectFinds(Expected("photo", false), fresh);

    // Back twice returns to the drive step with the tree.
    dlg->OnBnClickedBack();
    dlg->OnBnClickedBack();
    EXPECT_EQ(CCarveSession::kDriveStep, dlg->Page());
    EXPECT_TRUE(dlg->DriveTree().IsWindowVisible());
    EXPECT_TRUE(Text(IDC_PS_DEST).IsEmpty());
    EXPECT_EQ(CString(HintSelectDrive), Text(hint));
}

// The drive step's refusals: a group item, an empty Start, and a range too short for the search
// (Photo Search takes no range of one sector; Signature Search does); and the options step's:
// no type ticked, no folder, a folder on the medium being read.
TEST_F(CarveSearchTest, RefusesWhatCannotBeScanned)
{
    Open(CarveSearchKind::Photo);
    dlg->DriveTree().SelectItem(dlg->DriveTree().GetRootItem());
    dlg->OnBnClickedNext();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"select Physical or Logical Drive"), 0);
    SelectMedium(false, 0, 1);
    dlg->OnBnClickedNext();
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ(SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart), g_boxes[1]);
    dlg->SetDlgItemText(IDC_RANGE_START, L"  ");
    dlg->OnBnClickedNext();
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ(SectorFieldsRefusalText(SectorFieldsCheck::StartMissing), g_boxes[2]);
    EXPECT_EQ(CCarveSession::kDriveStep, dlg->Page());
    dlg->DestroyWindow();

    g_boxes.clear();
    Open(CarveSearchKind::Signature);
    SelectMedium(true, 0, 1);
    NextFromDriveStep(IDC_LOG_LOGICAL);
    ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    auto& sig = static_cast<CSigDuplicate&>(*dlg);
    sig.OnBnClickedUncheckAll();
    dlg->OnBnClickedNext();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(CString(kCarveNoTypeTickedText), g_boxes[0]);
    EXPECT_EQ(0, sig.SummaryList().GetItemCount());
    sig.OnBnClickedCheckAll();
    dlg->OnBnClickedNext();
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ(DestinationRefusalText(DestinationCheck::Empty), g_boxes[1]);
    // M:\ is the drive letter being read: refused before anything is made in it, even for a moment.
    {
        FolderWatch watch(L"M:\\");
        ASSERT_TRUE(watch.Watching());
        dlg->SetDlgItemText(IDC_SS_DEST, L"M:\\");
        dlg->OnBnClickedNext();
        EXPECT_FALSE(watch.Changed(500));
    }
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ(DestinationRefusalText(DestinationCheck::OnScannedMedium), g_boxes[2]);
    {
        // The same watch sees the probe of a folder elsewhere, which is let through.
        const CString elsewhere = NewDestination();
        FolderWatch watch(elsewhere);
        EXPECT_EQ(DestinationCheck::Ok, CheckDestinationFolder(elsewhere, { ScannedMediumOf(L"\\\\.\\M:", 0, 1) }));
        EXPECT_TRUE(watch.Changed(5000));
    }
    dlg->SetDlgItemText(IDC_SS_DEST, NewDestination() + L"\\missing");
    dlg->OnBnClickedNext();
    ASSERT_EQ(4u, g_boxes.size());
    EXPECT_EQ(DestinationRefusalText(DestinationCheck::Missing), g_boxes[3]);
    EXPECT_EQ(CCarveSession::kOptionsStep, dlg->Page());
    EXPECT_FALSE(dlg->ScanRunning());

    // A cancelled folder browser empties the folder box.
    SetFolderBrowserHook(AnswerBrowse);
    g_browseAnswer.Empty();
    dlg->OnBnClickedBrowse();
    EXPECT_TRUE(Text(IDC_SS_DEST).IsEmpty());

    // Back empties the type list; the next Next fills it afresh, all ticked.
    sig.OnBnClickedUncheckAll();
    dlg->OnBnClickedBack();
    EXPECT_EQ(0, sig.TypeList().GetItemCount());
    EXPECT_EQ(CCarveSession::kDriveStep, dlg->Page());
    SelectMedium(true, 0, 1);
    NextFromDriveStep(IDC_LOG_LOGICAL);
    ASSERT_GT(sig.TypeList().GetItemCount(), 0);
    EXPECT_TRUE(sig.TypeList().GetCheck(0));

    // Refresh Tree lists the drives again on the drive step.
    dlg->OnBnClickedBack();
    dlg->OnBnClickedRefreshTree();
    EXPECT_NE(nullptr, ChildWith(dlg->PhysicalDrivesItem(), L"(Disk6 - "));
    EXPECT_EQ(dlg->DriveTree().GetRootItem(), dlg->DriveTree().GetSelectedItem());
    EXPECT_TRUE(Enabled(IDC_SS_NEXT));
}

// Refresh Tree forgets the colours of the items it takes away: no new item shows the green of a
// partition found before, also where it takes over an old item's handle.
TEST_F(CarveSearchTest, RefreshTreeForgetsTheColoursOfTheItemsItTakesAway)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature }) {
        Open(kind);
        SCOPED_TRACE(ToUtf8(dlg->Info().caption));
        CTreeClass& tree = dlg->DriveTree();
        auto eachItem = [&](const std::function<void(HTREEITEM)>& f) {
            std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
                for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
                    f(item);
                    walk(tree.GetChildItem(item));
                }
            };
            walk(tree.GetRootItem());
        };
        std::set<HTREEITEM> before;
        eachItem([&](HTREEITEM item) {
            tree.SetItemColor(item, kFoundGreen);
            before.insert(item);
        });
        dlg->OnBnClickedRefreshTree();
        int reused = 0, coloured = 0;
        eachItem([&](HTREEITEM item) {
            reused += before.count(item) != 0 ? 1 : 0;
            coloured += tree.FindColorFont(item) != nullptr ? 1 : 0;
        });
        EXPECT_EQ(0, coloured) << reused << " handles taken over";
        dlg->DestroyWindow();
    }
}

// The range slider and the four fields follow each other; a field that is not a number changes
// nothing and asks nothing.
TEST_F(CarveSearchTest, SliderAndSectorFieldsFollowEachOther)
{
    Open(CarveSearchKind::Video);
    SelectMedium(false, 0, 0);
    EXPECT_TRUE(Visible(IDC_RANGE_SLIDER));
    EXPECT_EQ(CString(L"0"), Text(IDC_RANGE_MIN));
    const CString max = Text(IDC_RANGE_MAX);
    EXPECT_EQ(sectors, StrToUInt64(max));

    SetField(IDC_RANGE_START, 1000);
    SetField(IDC_RANGE_END, 5000);
    int64_t left = 0, right = 0;
    dlg->RangeSlider().GetRange(left, right);
    EXPECT_EQ(1000, left);
    EXPECT_EQ(5000, right);
    dlg->SetDlgItemText(IDC_RANGE_END, L"12x");
    dlg->RangeSlider().GetRange(left, right);
    EXPECT_EQ(5000, right);
    SetField(IDC_RANGE_END, 500); // below the start: the slider keeps its range
    dlg->RangeSlider().GetRange(left, right);
    EXPECT_EQ(5000, right);

    dlg->RangeSlider().SetRange(2048, 4096);
    dlg->SendMessage(RANGE_CHANGED, 0, 0);
    EXPECT_EQ(CString(L"2048"), Text(IDC_RANGE_START));
    EXPECT_EQ(CString(L"4096"), Text(IDC_RANGE_END));
    EXPECT_TRUE(g_boxes.empty());

    // A partition offers its whole disk, as every search with a range does.
    const HTREEITEM disk = ChildWith(dlg->PhysicalDrivesItem(), L"(Disk2 - ");
    ASSERT_NE(nullptr, disk);
    const HTREEITEM partition = dlg->DriveTree().GetChildItem(disk);
    ASSERT_NE(nullptr, partition);
    dlg->DriveTree().SelectItem(partition);
    PumpPending();
    ASSERT_EQ(CString(L"part"), SelectedItemKind);
    EXPECT_EQ(0u, StrToUInt64(Text(IDC_RANGE_START)));
    EXPECT_EQ(DiskTotalSectors, StrToUInt64(Text(IDC_RANGE_END)));
    EXPECT_LT(uint64_t(DiskPartitionTable[2].slot[0].endSector), DiskTotalSectors);
}

// A search that reads a medium of its own making instead of the selected one.
template <class Search> class OnFile : public Search {
public:
    template <class... A> explicit OnFile(const CString& file, A... args) : Search(args...), file(file) { }
    CString DevicePath() override { return file; }
    CString file;
};

// A medium of `count` finds, one every two sectors, each starting with `header`.
CString MakeMedium(const CString& folder, int count, const char* header)
{
    const CString medium = folder + L"\\many.img";
    std::vector<uint8_t> bytes(size_t(count) * 2 * 512, 0);
    for (int i = 0; i < count; ++i)
        memcpy(&bytes[size_t(i) * 1024], header, strlen(header));
    HANDLE h = ::CreateFileW(medium, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok ? medium : CString();
}

// The two lines of every clearing notice shown on this thread while it lives, read from the notice
// window as it comes up.
class NoticeWatch {
public:
    NoticeWatch() : m_hook(::SetWindowsHookExW(WH_CALLWNDPROCRET, Seen, nullptr, ::GetCurrentThreadId()))
    {
        s_shown = &m_shown;
    }
    ~NoticeWatch()
    {
        ::UnhookWindowsHookEx(m_hook);
        s_shown = nullptr;
    }
    const std::vector<std::pair<CString, CString>>& Shown() const { return m_shown; }

private:
    static LRESULT CALLBACK Seen(int code, WPARAM wParam, LPARAM lParam)
    {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && s_shown != nullptr && call->message == WM_SHOWWINDOW && call->wParam != 0 &&
            ::GetDlgItem(call->hwnd, IDC_CN_TITLE) != nullptr) {
            wchar_t title[200] = {}, note[400] = {};
            ::GetDlgItemTextW(call->hwnd, IDC_CN_TITLE, title, 200);
            ::GetDlgItemTextW(call->hwnd, IDC_CN_NOTE, note, 400);
            s_shown->emplace_back(title, note);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static std::vector<std::pair<CString, CString>>* s_shown;
    HHOOK m_hook;
    std::vector<std::pair<CString, CString>> m_shown;
};
std::vector<std::pair<CString, CString>>* NoticeWatch::s_shown = nullptr;

// More finds than the list shows: the list is emptied at 2,000 rows with the notice and goes on;
// the count and the files on disk hold every find.
TEST_F(CarveSearchTest, AFullResultListIsClearedAndNothingIsLost)
{
    constexpr int kFiles = 2100;
    const CString medium = MakeMedium(NewDestination(), kFiles, "%PDF-1.4\n");
    ASSERT_FALSE(medium.IsEmpty());
    Open(CarveSearchKind::Signature, std::make_unique<OnFile<CSigDuplicate>>(medium, CarveSearchKind::Signature, &main));
    SelectMedium(false, 0, uint64_t(kFiles) * 2 - 1);
    NextFromDriveStep();
    auto& sig = static_cast<CSigDuplicate&>(*dlg);
    sig.OnBnClickedUncheckAll();
    for (int row = 0; row < sig.TypeList().GetItemCount(); ++row)
        if (sig.TypeList().GetItemText(row, 0) == L"PDF")
            sig.TypeList().SetCheck(row, TRUE);
    dlg->CheckDlgButton(IDC_SS_THOROUGH, BST_UNCHECKED);
    const CString destination = NewDestination();
    NoticeWatch notices;
    ScanInto(destination);
    // The notice goes after its second.
    ASSERT_TRUE(PumpUntil([&] { return dlg->IsWindowEnabled() != FALSE; }, 5000));
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{
                  { L"Clearing recovered file window...",
                    L"To maintain the speed of recovery, recovered file window is cleared after every 2000 files." } }),
              notices.Shown());

    EXPECT_EQ(1u, dlg->Results().Clearings());
    EXPECT_EQ(uint64_t(kFiles), dlg->Results().FoundCount());
    EXPECT_EQ(kFiles - 2000, sig.ResultList().GetItemCount());
    EXPECT_TRUE(Visible(IDC_SS_CLEAR_NOTE));
    ASSERT_EQ(1, sig.SummaryList().GetItemCount());
    EXPECT_EQ(CString(L"2100"), sig.SummaryList().GetItemText(0, 1));
    CString pdfFolder;
    ASSERT_TRUE(CarvePassFolder(destination, CarveSearchKind::Signature, false, &pdfFolder));
    EXPECT_EQ(kFiles, CountFiles(pdfFolder + L"\\PDF"));
}

// A destination that takes only part of a find (run by test_carvesearch_filesize under a
// file-size limit, refusing bytes as a full disk does): the search stops with its message, which
// names the file and says that it is incomplete; the file stays, cut short, and its row says so
// too; a find closed before it is whole and its row plain.
TEST_F(CarveSearchTest, AFindCutShortByTheDestinationIsMarkedIncompleteUnderAFileSizeLimit)
{
    const char* limitText = std::getenv("ZR_FILE_SIZE_LIMIT");
    if (limitText == nullptr)
        GTEST_SKIP() << "runs under test_carvesearch_filesize";
    const uint64_t limit = std::strtoull(limitText, nullptr, 10);
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        const char* search = kind == CarveSearchKind::Photo ? "photo"
            : kind == CarveSearchKind::Video                ? "video"
                                                            : "sig";
        SCOPED_TRACE(search);
        // From a find that fits under the limit (where there is one) to well past the start of
        // the next one, which the limit then cuts.
        std::vector<CarveFind> finds = Expected(search, false);
        std::sort(finds.begin(), finds.end(), [](const CarveFind& a, const CarveFind& b) { return a.start < b.start; });
        ASSERT_GE(finds.size(), 2u);
        size_t cut = 0;
        for (size_t i = 0; i + 1 < finds.size() && cut == 0; ++i)
            if (finds[i].end - finds[i].start <= limit)
                cut = i + 1;
        const size_t whole = cut == 0 ? 0 : 1;
        ASSERT_GT(finds[cut].end - finds[cut].start, 2 * limit);
        Open(kind);
        SelectMedium(false, finds[cut - whole].start / 512, finds[cut].start / 512 + 2 * limit / 512);
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        dlg->CheckDlgButton(dlg->CarveLayout().thorough, BST_UNCHECKED);
        g_boxes.clear();
        ScanInto(NewDestination());

        const std::vector<CarveFound>& shown = dlg->Results().Shown();
        ASSERT_EQ(whole + 1, shown.size());
        const CarveFound& last = shown.back();
        EXPECT_TRUE(last.incomplete);
        EXPECT_EQ(limit, ReadOnlyFile(std::wstring(last.path.GetString())).Size());
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(L"The search has been stopped"), 0) << ToUtf8(g_boxes[0]);
        EXPECT_GT(g_boxes[0].Find(L"This file is incomplete"), g_boxes[0].Find(last.path)) << ToUtf8(g_boxes[0]);
        EXPECT_GE(g_boxes[0].Find(last.path), 0) << ToUtf8(g_boxes[0]);
        if (whole != 0) {
            EXPECT_FALSE(shown[0].incomplete);
            EXPECT_EQ(finds[cut - 1].sha256, FileSha(shown[0].path));
        }
        // The rows as the lists show them.
        std::vector<CString> rows;
        if (kind == CarveSearchKind::Photo) {
            auto& photo = static_cast<CRawSearch&>(*dlg);
            for (int i = 0; i < photo.Thumbnails().Count(); ++i)
                rows.push_back(photo.Thumbnails().GetItemText(i, 0));
        } else {
            CColoredListCtrl& results = static_cast<CSigDuplicate&>(*dlg).ResultList();
            for (int i = 0; i < results.GetItemCount(); ++i)
                rows.push_back(results.GetItemText(i, 0));
        }
        std::vector<CString> expected;
        for (const CarveFound& f : shown)
            expected.push_back(&f == &last ? f.name + L" (incomplete)" : f.name);
        EXPECT_EQ(expected, rows);
        dlg->DestroyWindow();
        PumpPending();
    }
}

// More pictures than the thumbnail list shows: it is emptied at 2,000 and goes on; a picture that
// does not decode shows the default picture.
TEST_F(CarveSearchTest, AFullThumbnailListIsClearedAndGoesOn)
{
    constexpr int kPictures = 2030;
    const CString medium = MakeMedium(NewDestination(), kPictures, "GIF89a");
    ASSERT_FALSE(medium.IsEmpty());
    Open(CarveSearchKind::Photo, std::make_unique<OnFile<CRawSearch>>(medium, &main));
    SelectMedium(false, 0, uint64_t(kPictures) * 2 - 1);
    NextFromDriveStep();
    dlg->CheckDlgButton(IDC_PS_THOROUGH, BST_UNCHECKED);
    NoticeWatch notices;
    ScanInto(NewDestination());
    ASSERT_TRUE(PumpUntil([&] { return dlg->IsWindowEnabled() != FALSE; }, 5000));
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{
                  { L"Clearing current preview window...",
                    L"To maintain the speed of recovery, thumbnails preview window is cleared after every 2000 "
                    L"thumbnails." } }),
              notices.Shown());
    auto& photo = static_cast<CRawSearch&>(*dlg);
    EXPECT_EQ(uint64_t(kPictures), dlg->Results().FoundCount());
    ASSERT_EQ(kPictures - 2000, photo.Thumbnails().Count());
    EXPECT_TRUE(Visible(IDC_PS_CLEAR_NOTE));
    EXPECT_FALSE(photo.Thumbnails().Decoded(0));
    CString last;
    last.Format(L"GNKX%05d.gif", kPictures);
    EXPECT_EQ(last, photo.Thumbnails().GetItemText(kPictures - 2001, 0));
}

// A Signature Search whose scan waits after its first find until it is stopped, then (when asked)
// goes on for a while before it lets that find go.
class SigHeldAfterFirstFind : public OnFile<CSigDuplicate> {
public:
    SigHeldAfterFirstFind(const CString& medium, SearchHost* host)
        : OnFile<CSigDuplicate>(medium, CarveSearchKind::Signature, host) { }
    void AddResultRow(const CarveFound& found) override
    {
        CSigDuplicate::AddResultRow(found);
        if (++finds != 1)
            return;
        while (!StopRequested())
            ::Sleep(1);
        if (closeWhileStopping)
            PostMessage(WM_CLOSE);
        if (lingerMs != 0) {
            ::Sleep(lingerMs);
            enabledWhileStopping = ::IsWindowEnabled(GetSafeHwnd()) != FALSE;
        }
    }
    void ScanFinished() override { finished = true; }
    void EndWorkers() override
    {
        OnFile<CSigDuplicate>::EndWorkers();
        finishedWhenWorkersEnded = finished.load();
    }
    void ShowNotice() { ShowClearingNotice(); }
    std::atomic<int> finds{ 0 };
    DWORD lingerMs = 0;
    bool closeWhileStopping = false;
    std::atomic<bool> enabledWhileStopping{ false }, finished{ false }, finishedWhenWorkersEnded{ false };
};

// Two PDF finds: sectors 0 to 7, then from sector 8 to the end, `sectors` in all.
CString MakeTwoFinds(const CString& folder, uint32_t sectors)
{
    const CString medium = folder + L"\\twofinds.img";
    std::vector<uint8_t> bytes(size_t(sectors) * 512);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t('a' + i % 23);
    memcpy(&bytes[0], "%PDF-1.4\n", 9);
    memcpy(&bytes[8 * 512], "%PDF-1.4\n", 9);
    HANDLE h = ::CreateFileW(medium, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok ? medium : CString();
}

// Every file below `folder` (its path under it) with its bytes.
void FilesBelow(const CString& folder, std::map<CString, std::vector<uint8_t>>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(folder + L"\\*", &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const CString name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const CString path = folder + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FilesBelow(path, out);
        else
            out[path] = ReadAt(std::wstring(path.GetString()), 0, 64u << 20);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

class HeldCarveTest : public CarveSearchTest {
protected:
    // A Signature Search for PDF files over MakeTwoFinds(sectors) into `destination`, held after
    // its first find.
    SigHeldAfterFirstFind& StartHeld(uint32_t sectors, const CString& destination)
    {
        medium = MakeTwoFinds(NewDestination(), sectors);
        Open(CarveSearchKind::Signature, std::make_unique<SigHeldAfterFirstFind>(medium, &main));
        auto& sig = static_cast<SigHeldAfterFirstFind&>(*dlg);
        SelectMedium(false, 0, sectors - 1);
        NextFromDriveStep();
        sig.OnBnClickedUncheckAll();
        for (int row = 0; row < sig.TypeList().GetItemCount(); ++row)
            if (sig.TypeList().GetItemText(row, 0) == L"PDF")
                sig.TypeList().SetCheck(row, TRUE);
        dlg->CheckDlgButton(IDC_SS_THOROUGH, BST_UNCHECKED);
        dlg->SetDlgItemText(IDC_SS_DEST, destination);
        dlg->OnBnClickedNext();
        EXPECT_TRUE(PumpUntil([&] { return sig.finds.load() >= 1; }, 30000));
        return sig;
    }
    CString medium;
};

// Closing the program while a scan writes a find: the scan ends first, and the find the close cut
// short is deleted; the finds that ended by themselves stay whole.
TEST_F(HeldCarveTest, ClosingDuringAFindLeavesEveryFileWholeOrAbsent)
{
    constexpr uint32_t kSectors = 8 + 4096; // the second find: 2 MiB
    const CString destination = NewDestination();
    // The first find has ended; the second opens as soon as the scan goes on, and the close lets it.
    StartHeld(kSectors, destination);
    ASSERT_FALSE(HasFailure());
    g_boxAnswer = IDYES;
    dlg->SendMessage(WM_CLOSE);
    EXPECT_FALSE(dlg->ScanRunning());
    std::map<CString, std::vector<uint8_t>> files;
    FilesBelow(destination, files);
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(files.begin()->second == ReadAt(std::wstring(medium.GetString()), 0, 8 * 512))
        << ToUtf8(files.begin()->first);
}

// A Stop waits for the scan with the dialog disabled: the clearing notice's second ending during
// that wait does not enable it (a close could then end the program in the middle of a file).
TEST_F(HeldCarveTest, TheClearingNoticeLeavesAStoppingDialogDisabled)
{
    SigHeldAfterFirstFind& sig = StartHeld(64, NewDestination());
    ASSERT_FALSE(HasFailure());
    sig.lingerMs = 1600;
    sig.ShowNotice();
    dlg->OnBnClickedStop();
    EXPECT_FALSE(dlg->ScanRunning());
    EXPECT_FALSE(sig.enabledWhileStopping.load());
    EXPECT_TRUE(dlg->IsWindowEnabled());
}

// The stop every search dialog has ends a carving scan by itself (as the program's exit sets it):
// the scan reads no further than the chunks under way, lists the find it had open, and its thread
// word is clear after it.
TEST_F(HeldCarveTest, TheSearchsOwnStopEndsTheScan)
{
    constexpr uint32_t kSectors = 8 + 4096;
    SigHeldAfterFirstFind& sig = StartHeld(kSectors, NewDestination());
    ASSERT_FALSE(HasFailure());
    dlg->RequestScanStop();
    ASSERT_TRUE(dlg->WaitForScanWorker());
    EXPECT_TRUE(sig.finished.load());
    EXPECT_FALSE(dlg->ScanThreadRunning());
    EXPECT_LE(dlg->State().progressSector.load(), 3u * kCarveChunkSectors);
    dlg->ShowPendingFinds();
    EXPECT_EQ(2u, dlg->Results().FoundCount());
}

// A close that still arrives while a Stop waits for the scan waits for the scan too before the
// program ends: the file being written is finished or deleted first.
TEST_F(HeldCarveTest, ACloseDuringAStopWaitsForTheScan)
{
    SigHeldAfterFirstFind& sig = StartHeld(64, NewDestination());
    ASSERT_FALSE(HasFailure());
    sig.lingerMs = 300;
    sig.closeWhileStopping = true;
    g_boxAnswer = IDYES;
    dlg->OnBnClickedStop();
    EXPECT_TRUE(sig.finishedWhenWorkersEnded.load());
    EXPECT_FALSE(dlg->ScanRunning());
}

// The scan of the test below, and whether it had ended when the program was ended.
SigHeldAfterFirstFind* g_endingScan = nullptr;
int g_endCode = -1;
bool g_scanEndedFirst = false;
void RecordProgramEnd(int code)
{
    g_endCode = code;
    g_scanEndedFirst = g_endingScan != nullptr && g_endingScan->finished.load();
}

// The program ended from elsewhere (its main window's exit) while a scan writes a find: the scan
// ends before the process does, and the find it was writing is deleted.
TEST_F(HeldCarveTest, EndingTheProgramEndsTheScanFirst)
{
    const CString destination = NewDestination();
    g_endingScan = &StartHeld(8 + 4096, destination);
    ASSERT_FALSE(HasFailure());
    const ZrProcessEnder previous = ZrSetProcessEnder(RecordProgramEnd);
    main.EndProgram();
    ZrSetProcessEnder(previous);
    g_endingScan = nullptr;
    EXPECT_EQ(0, g_endCode);
    EXPECT_TRUE(g_scanEndedFirst);
    std::map<CString, std::vector<uint8_t>> files;
    FilesBelow(destination, files);
    EXPECT_EQ(1u, files.size()); // the first find alone, which had ended by itself
}

// Closing the dialog while a partition search runs ends that search without its result box, which
// nobody would see and which would hold up the close.
TEST_F(CarveSearchTest, ClosingDuringAPartitionSearchShowsNoResultBox)
{
    Open(CarveSearchKind::Signature);
    SelectMedium(false, 0, 1);
    {
        DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
        dlg->OnBnClickedSearchMorePartitions();
    }
    // Nothing was pumped since it started: the search cannot have ended (its end steps wait for
    // this thread's windows).
    ASSERT_NE(nullptr, g_pPartitionSearchThread);
    const size_t boxes = g_boxes.size();
    ModalWatchdog watchdog(20000);
    dlg->DestroyWindow();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(nullptr, g_pPartitionSearchThread);
    EXPECT_EQ(boxes, g_boxes.size()) << ToUtf8(g_boxes.back());
    PumpUntil([&] { return main.PartitionSearchRunning == 0; }, 10000);
    EXPECT_EQ(boxes, g_boxes.size());
}

// Leaving a scan running by closing the dialog stops it and waits for it.
TEST_F(CarveSearchTest, DestroyingTheDialogEndsAHeldScan)
{
    Open(CarveSearchKind::Photo, std::make_unique<PhotoHeldAfterFirstFind>(&main));
    auto& photo = static_cast<PhotoHeldAfterFirstFind&>(*dlg);
    SelectMedium(false, 0, sectors - 1);
    NextFromDriveStep();
    dlg->SetDlgItemText(IDC_PS_DEST, NewDestination());
    dlg->OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([&] { return photo.finds.load() >= 1; }, 30000));
    dlg->DestroyWindow();
    EXPECT_FALSE(dlg->ScanThreadRunning());
    EXPECT_FALSE(photo.ThumbnailsPending());
}

// The options step sums up the source chosen on the drive step, and a drive letter asked to be
// read through its disk is: each carving search finds on \\.\PhysicalDrive6 what it finds on M:,
// the same medium.
TEST_F(CarveSearchTest, TheOptionsStepSumsUpTheSourceAndADriveLetterIsReadThroughItsDisk)
{
    auto summaryRows = [&] {
        std::vector<std::pair<CString, CString>> rows;
        CListCtrl* list = static_cast<CListCtrl*>(dlg->GetDlgItem(dlg->CarveLayout().summary));
        for (int row = 0; row < list->GetItemCount(); ++row)
            rows.emplace_back(list->GetItemText(row, 0), list->GetItemText(row, 1));
        return rows;
    };
    const CString last = [&] {
        CString text;
        text.Format(L"%llu", (unsigned long long)(sectors - 1));
        return text;
    }();

    // A disk: its range only.
    Open(CarveSearchKind::Photo);
    SelectMedium(false, 0, sectors - 1);
    NextFromDriveStep();
    ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{ { L"1. Search Type : ", L"Photo Search" },
                                                          { L"2. Start Sector : ", L"0" },
                                                          { L"3. End Sector : ", last } }),
              summaryRows());
    dlg->DestroyWindow();

    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        Open(kind);
        SCOPED_TRACE(ToUtf8(dlg->Info().caption));
        SelectMedium(true, 0, sectors - 1);
        // Wine tells neither a drive letter's place on its disk nor, for a letter made from an
        // image file, its size: the record and the Max field say them, as Windows would for a
        // drive that is a whole disk.
        SetField(IDC_RANGE_MAX, sectors - 1);
        DriveInfoRecord* record =
            reinterpret_cast<DriveInfoRecord*>(dlg->DriveTree().GetItemData(dlg->DriveTree().GetSelectedItem()));
        ASSERT_NE(nullptr, record);
        record->diskNumber = 6;
        record->volumeStartSector = 0;
        record->volumeEndSector = sectors;
        NextFromDriveStep(IDC_LOG_PHYSICAL);
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        EXPECT_EQ(CString(kDisk), dlg->Target().devicePath);
        EXPECT_EQ(0u, dlg->Target().firstSector);
        EXPECT_EQ(sectors - 1, dlg->Target().endSector);
        const std::vector<std::pair<CString, CString>> rows = summaryRows();
        ASSERT_EQ(4u, rows.size());
        EXPECT_EQ(CString(L"1. Search Type : "), rows[0].first);
        EXPECT_EQ(CString(dlg->Info().caption), rows[0].second);
        EXPECT_EQ(CString(L"2. Partition Type : "), rows[1].first);
        EXPECT_EQ((std::pair<CString, CString>{ L"3. Start Sector : ", L"0" }), rows[2]);
        EXPECT_EQ((std::pair<CString, CString>{ L"4. End Sector : ", last }), rows[3]);
        if (kind != CarveSearchKind::Photo) // Photo's passes are shown in their own test
            dlg->CheckDlgButton(dlg->CarveLayout().thorough, BST_CHECKED);
        const CString destination = NewDestination();
        ScanInto(destination);
        const char* search = kind == CarveSearchKind::Photo ? "photo" : kind == CarveSearchKind::Video ? "video" : "sig";
        ExpectFinds(Expected(search, true), destination);
        dlg->DestroyWindow();
    }
}

// A partition picked on a partitioned disk (mbr.img, \\.\PhysicalDrive2) is summed up with its
// type; the range stays the whole disk's, as the drive step's fields show it, and the scan over it
// ends without a question at the disk's end.
TEST_F(CarveSearchTest, TheOptionsStepSumsUpAPartitionOfADisk)
{
    Open(CarveSearchKind::Signature);
    const HTREEITEM disk = ChildWith(dlg->PhysicalDrivesItem(), L"(Disk2 - ");
    ASSERT_NE(nullptr, disk);
    const HTREEITEM part = ChildWith(disk, L"Partition - 1 ( FAT32 )");
    ASSERT_NE(nullptr, part);
    dlg->DriveTree().SelectItem(part);
    PumpPending();
    NextFromDriveStep();
    ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    const uint64_t diskSectors = ReadOnlyFile(ImagePath(L"mbr.img")).Size() / 512;
    CString end;
    end.Format(L"%llu", (unsigned long long)diskSectors);
    CListCtrl* list = static_cast<CListCtrl*>(dlg->GetDlgItem(dlg->CarveLayout().summary));
    std::vector<std::pair<CString, CString>> rows;
    for (int row = 0; row < list->GetItemCount(); ++row)
        rows.emplace_back(list->GetItemText(row, 0), list->GetItemText(row, 1));
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{ { L"1. Search Type : ", L"Signature Search" },
                                                          { L"2. Partition Type : ", L"FAT32" },
                                                          { L"3. Start Sector : ", L"0" },
                                                          { L"4. End Sector : ", end } }),
              rows);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), dlg->Target().devicePath);
    EXPECT_EQ(diskSectors, dlg->Target().endSector);
    ScanInto(NewDestination());
    EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
}

} // namespace

namespace {

// "Go" beside each carving search runs its dialog; Back on its drive step ends it.
TEST_F(CarveSearchTest, TheLauncherOpensEachCarvingSearch)
{
    RegisterCarveSearchDialogs();
    const struct {
        int mode, back;
        const wchar_t* caption;
    } searches[] = { { kModePhoto, IDC_PS_BACK, L"Photo Search" },
                     { kModeSignature, IDC_SS_BACK, L"Signature Search" },
                     { kModeVideo, IDC_SS_BACK, L"Video Search" } };
    for (const auto& s : searches) {
        SCOPED_TRACE(ToUtf8(CString(s.caption)));
        main.SearchMode = s.mode;
        const ZrSearchDialogRunner run = GetSearchDialogRunner(s.mode);
        ASSERT_NE(nullptr, run);
        ModalWatchdog watchdog(20000);
        {
            DialogAnswerer back(s.back, s.back);
            run(&main);
            EXPECT_EQ(1, back.Count());
        }
        EXPECT_FALSE(watchdog.Fired());
        EXPECT_EQ(nullptr, SearchSessionOfMode(s.mode));
    }
}

// A partition search that ends by itself gives the drive step back, and a disk without partitions
// is offered whole as one partition, selected.
TEST_F(CarveSearchTest, APartitionSearchGivesTheDriveStepBack)
{
    Open(CarveSearchKind::Signature);
    // Anything but a disk: the search is refused and "Physical Drives" selected.
    SelectMedium(true, 0, 1);
    dlg->OnBnClickedSearchMorePartitions();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(dlg->PhysicalDrivesItem(), dlg->DriveTree().GetSelectedItem());

    SelectMedium(false, 0, 1);
    const HTREEITEM disk = dlg->DriveTree().GetSelectedItem();
    // A disk that shows no capacity is refused only when its End is 0 too: with a range left to
    // pick, the search asks for its mode (cancelled here).
    {
        CListCtrl& details = *dlg->DetailList();
        const CString capacity = details.GetItemText(3, 1);
        details.SetItemText(3, 1, L"");
        g_boxes.clear();
        {
            DialogAnswerer cancel(IDC_SMP_CONTINUE, IDCANCEL);
            dlg->OnBnClickedSearchMorePartitions();
            EXPECT_EQ(1, cancel.Count());
        }
        EXPECT_TRUE(g_boxes.empty());
        SetField(IDC_RANGE_END, 0);
        dlg->OnBnClickedSearchMorePartitions();
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(0, g_boxes[0].Find(L"No physical storage area found in Disk(Disk - 6)."));
        details.SetItemText(3, 1, capacity);
        SetField(IDC_RANGE_END, 1);
        g_boxes.clear();
    }
    {
        DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
        dlg->OnBnClickedSearchMorePartitions();
    }
    ASSERT_TRUE(
        PumpUntil([&] { return g_pPartitionSearchThread == nullptr && main.PartitionSearchRunning == 0; }, 60000));
    PumpPending();
    EXPECT_TRUE(Enabled(IDC_SS_NEXT));
    EXPECT_TRUE(Enabled(IDC_SS_BACK));
    EXPECT_TRUE(Visible(IDC_SS_MORE_PARTITIONS));
    EXPECT_FALSE(Visible(IDC_SS_STOP_PARTITIONS));
    EXPECT_FALSE(Visible(IDC_SS_PS_PROGRESS));
    EXPECT_TRUE(dlg->DriveTree().IsWindowEnabled());
    const HTREEITEM whole = dlg->DriveTree().GetChildItem(disk);
    ASSERT_NE(nullptr, whole);
    EXPECT_EQ(whole, dlg->DriveTree().GetSelectedItem());
    EXPECT_EQ(CString(L"part"), SelectedItemKind);
    // The whole disk is the range offered.
    EXPECT_EQ(sectors, StrToUInt64(Text(IDC_RANGE_END)));
}

} // namespace

// The list's first paint may come only after the last picture when the dialog was busy; the
// pictures stay on their grid, five to a row 135 pixels apart, whenever it comes.
TEST(ThumbnailGrid, KeptWhenTheListFirstPaintsAfterTheLastPicture)
{
    CWnd host;
    ASSERT_TRUE(host.CreateEx(0, L"STATIC", L"host", WS_POPUP, CRect(0, 0, 800, 600), nullptr, 0));
    CThumbsListCtrl thumbs;
    ASSERT_TRUE(thumbs.CreateList(&host, CRect(0, 0, 780, 580), 1234));
    HDC screen = ::GetDC(nullptr);
    for (int i = 0; i < 12; ++i) {
        HBITMAP picture = ::CreateCompatibleBitmap(screen, 100, 100);
        thumbs.AddThumbnail(picture, L"x.jpg", true, L"x.jpg");
        ::DeleteObject(picture);
    }
    ::ReleaseDC(nullptr, screen);
    host.ShowWindow(SW_SHOW);
    thumbs.ShowWindow(SW_SHOW);
    ::UpdateWindow(thumbs.GetSafeHwnd());
    PumpPending();
    for (int i = 0; i < thumbs.Count(); ++i) {
        POINT at{};
        thumbs.SendMessage(LVM_GETITEMPOSITION, WPARAM(i), LPARAM(&at));
        EXPECT_EQ(35 + (i % 5) * 135, at.x) << i;
        EXPECT_EQ(35 + (i / 5) * 135, at.y) << i;
    }
    host.DestroyWindow();
}

// The Deep Search dialog driven end to end on media whose partition table, boot sector or FATs
// are gone: \\.\PhysicalDrive4 (deepdisk, MBR wiped), O: (deepfat32, no boot sector and no FATs),
// P: (deepntfs, no boot sector) and \\.\PhysicalDrive14 (deepntfsdisk, three NTFS volumes, MBR and
// boot sectors zeroed).

#include <algorithm>
#include <random>
#include <set>

#include "app/notices.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/deep_search_fixture.h"
#include "common/images.h"
#include "common/real_boxes.h"
#include "common/spill_disks.h"
#include "common/ui_wait.h"
#include "fsrecovery/pure/deep_scan.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "app/devicetree.h"
#include "fsrecovery/deepsearch.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/destination_check.h"
#include "storage/driverecords.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"
#include "storage/sector_source.h"

namespace {

using namespace zr_test;

class DeepSearchTest : public DeepSearchDialogTest {
protected:
    HTREEITEM ChildWith(HTREEITEM parent, const wchar_t* text)
    {
        CTreeClass& tree = dlg.DriveTree();
        for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c))
            if (tree.GetItemText(c).Find(text) >= 0)
                return c;
        return nullptr;
    }
    void SetField(int id, uint64_t value)
    {
        CString text;
        text.Format(L"%llu", (unsigned long long)value);
        dlg.SetDlgItemText(id, text);
    }
    // Selects the drive letter or disk of `image`, the whole image as the range (Wine answers a
    // drive letter's size from the folder behind it) and `fs` in the combo.
    void SelectMedium(const wchar_t* item, bool disk, const wchar_t* image, int fs)
    {
        const HTREEITEM found = ChildWith(disk ? dlg.PhysicalDrivesItem() : dlg.LogicalDrivesItem(), item);
        ASSERT_NE(nullptr, found);
        dlg.DriveTree().SelectItem(found);
        PumpPending();
        imageSectors = ReadOnlyFile(ImagePath(image)).Size() / 512;
        ASSERT_NE(0u, imageSectors);
        if (!disk) {
            // The drive's own size, as its property rows tell it.
            CString end;
            end.Format(L"%llu", (unsigned long long)imageSectors);
            dlg.DetailList()->SetItemText(1, 1, end);
        }
        SetField(IDC_RANGE_MIN, 0);
        SetField(IDC_RANGE_MAX, imageSectors);
        SetField(IDC_RANGE_START, 0);
        SetField(IDC_RANGE_END, imageSectors);
        dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, fs);
    }
    // The volumes inside drive P: searched for (Search More Partitions), the first one found
    // selected: the list of P:'s recognised volumes shows in place of its properties.
    void SelectRecognisedVolume()
    {
        SelectMedium(L"P:", false, L"deepntfs.img", 2);
        CString end;
        end.Format(L"%llu", (unsigned long long)imageSectors);
        dlg.DetailList()->SetItemText(1, 1, end);
        dlg.OnBnClickedSearchMorePartitions();
        ASSERT_TRUE(PumpUntil([&] { return !dlg.RecognisedSearchRunning(); }, 30000));
        ASSERT_EQ(0, dlg.DriveTree().GetItemText(dlg.DriveTree().GetSelectedItem()).Find(L"Recognised1 - "));
        ASSERT_TRUE(dlg.GetDlgItem(IDC_DS_FOUND_VOLUMES)->IsWindowVisible());
    }
    void Next()
    {
        // The question's Logical button has the id of this dialog's share button.
        DialogAnswerer answer(IDC_LOG_LOGICAL, IDC_LOG_LOGICAL, dlg.GetSafeHwnd());
        dlg.OnBnClickedNext();
    }
    bool Enabled(int id) { return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    bool OnResultsPage()
    {
        return dlg.Page() == 1 && dlg.ScanThread() == nullptr && g_pPopulateListThread == nullptr &&
            Enabled(IDC_DS_BACK) && !Enabled(IDC_DS_NEXT) && dlg.ResultTree().GetRootItem() != nullptr;
    }
    void Scan(const wchar_t* item, bool disk, const wchar_t* image, int fs)
    {
        SelectMedium(item, disk, image, fs);
        Next();
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    }
    // Every folder by its path; the volumes of one disk may each have a folder of the same path.
    void MapFolders(HTREEITEM parent, const std::string& path, std::map<std::string, std::vector<HTREEITEM>>& out)
    {
        CTreeClass& tree = dlg.ResultTree();
        for (HTREEITEM c = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); c; c = tree.GetNextSiblingItem(c)) {
            const std::string child = path + Narrow(std::wstring(tree.GetItemText(c).GetString())) + "/";
            out[child].push_back(c);
            MapFolders(c, child, out);
        }
    }
    // The listed file names of a folder (lower case).
    std::set<std::string> List(HTREEITEM item)
    {
        dlg.ResultTree().SelectItem(nullptr);
        dlg.ResultTree().SelectItem(item);
        EXPECT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000));
        std::set<std::string> names;
        CListCtrl& list = dlg.FileList();
        for (int row = 0; row < list.GetItemCount(); ++row)
            if (list.GetItemText(row, 1) != L"FOLDER")
                names.insert(Lower(Narrow(std::wstring(list.GetItemText(row, 0).GetString()))));
        return names;
    }
    // Ticks everything but the folders below "Root" named `skip` (the root's own files stay ticked)
    // and saves into `destination`.
    std::map<std::string, std::string> SaveEverything(const CString& destination, const wchar_t* skip = nullptr)
    {
        CTreeClass& results = dlg.ResultTree();
        for (HTREEITEM top = results.GetRootItem(); top; top = results.GetNextSiblingItem(top))
            results.SetCheckRecursive(top, 2);
        for (HTREEITEM c = skip ? results.GetChildItem(results.GetRootItem()) : nullptr; c;
             c = results.GetNextSiblingItem(c))
            if (results.GetItemText(c) == skip) {
                results.SetCheckRecursive(c, 1);
                results.SetCheckState(results.GetRootItem(), 2);
            }
        static CString folder;
        folder = destination;
        SetSaveFolderPicker([](CWnd*) { return folder; });
        {
            // Folders of several volumes may share a path: their files are kept under new names.
            DialogAnswerer rename(IDC_RPL_RENAME, IDC_RPL_RENAME, dlg.GetSafeHwnd());
            dlg.OnBnClickedSave();
        }
        SetSaveFolderPicker(nullptr);
        std::map<std::string, std::string> saved;
        TakeSavedFiles(std::wstring(destination.GetString()), "", saved);
        return saved;
    }

    // Under Wine a drive letter reports the size of the folder behind it; the drive list is made
    // to tell the image's, as the system would for a real drive.
    void ListDriveAs(const CString& path, uint64_t sectors)
    {
        for (int i = 0; i < LogicalDriveKeys.GetSize(); ++i)
            if (LogicalDriveKeys[i].Find(path + L"|") == 0)
                LogicalDriveKeys.RemoveAt(i--);
        CString key;
        key.Format(L"%ls|%llu", path.GetString(), (unsigned long long)sectors);
        LogicalDriveKeys.Add(key);
    }

    // The dialog closed and made again, as a later run of the program shows it: with its
    // start-up log when one is given, else with its drive trees listed.
    void Reopen(const CString& startUpLog = CString())
    {
        notices.reset();
        dlg.DestroyWindow();
        PumpPending();
        dlg.SetPage(0);
        SplashMayClose = 0;
        SetCommandLineLogPath(startUpLog);
        ASSERT_TRUE(dlg.Create(IDD_DEEP_SEARCH, nullptr));
        ShowSearchDialogUnderTest(dlg, notices);
        if (startUpLog.IsEmpty())
            ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));
    }

    // Load Log with the log the picker gives (which it keeps giving), until the loaded results
    // are listed.
    void LoadPickedLog()
    {
        g_boxes.clear();
        dlg.OnBnClickedLoadLog();
        ASSERT_TRUE(PumpUntil(
            [&] { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); }, 60000))
            << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    }

    // The table cases below, each run over a part of its table by a case of its own.
    void ExpectNoVolumeReachesPastItsPartition(PartitionKind kind);
    enum class Pick { Disk, Partition, Letter, LetterThroughDisk, Recognised };
    struct LogCell {
        Pick pick;
        const wchar_t* item; // the disk's or the letter's item
        const wchar_t* image;
        int fs;
        int partition; // of the disk, from 1
        bool narrowed;
    };
    void ExpectALoadedLogSavesWhatItsScanSaved(const std::vector<LogCell>& cells);

    uint64_t imageSectors = 0;
    int finishedBefore = 0;
};

// Next refuses a group item, a range outside Min..Max or not ascending, and "Unknown", each with
// its message, and stays on the drive page.
TEST_F(DeepSearchTest, NextChecksTheDrivePageFirst)
{
    dlg.DriveTree().SelectItem(dlg.DriveTree().GetRootItem());
    dlg.OnBnClickedNext();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"select Physical or Logical Drive"), 0);

    const auto refusedWith = [&](const wchar_t* text) {
        g_boxes.clear();
        Next();
        EXPECT_EQ(0, dlg.Page());
        return g_boxes.size() == 1 && g_boxes[0].Find(text) >= 0;
    };
    SelectMedium(L"O:", false, L"deepfat32.img", 1);
    SetField(IDC_RANGE_END, 0);
    EXPECT_TRUE(refusedWith(L"End Sector"));
    SetField(IDC_RANGE_START, 500);
    SetField(IDC_RANGE_END, 500);
    EXPECT_TRUE(refusedWith(L"End Sector"));
    dlg.SetDlgItemText(IDC_RANGE_START, L"");
    EXPECT_TRUE(refusedWith(L"End Sector"));
    // The slider keeps what is typed inside Min..Max; the scan below starts at Min.
    SetField(IDC_RANGE_MIN, 100);
    SetField(IDC_RANGE_START, 100);
    SetField(IDC_RANGE_END, imageSectors);
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 3);
    EXPECT_TRUE(refusedWith(L"Select file system type"));
    // Cancel in the logical-or-physical question ends Next silently.
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 1);
    g_boxes.clear();
    {
        DialogAnswerer cancel(IDC_LOG_CANCEL, IDC_LOG_CANCEL, dlg.GetSafeHwnd());
        dlg.OnBnClickedNext();
    }
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(0, dlg.Page());

    // Before a scan: Save refuses; after it, Next waits for Back and Refresh Tree refuses.
    dlg.OnBnClickedSave();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"Saving function is not available"), 0);
    g_boxes.clear();
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    EXPECT_EQ(100u, dlg.Target().firstSector);
    EXPECT_EQ(imageSectors, dlg.Target().endSector);
    g_boxes.clear();
    dlg.OnBnClickedNext();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(1, dlg.Page());
    dlg.OnBnClickedRefresh();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"refresh the list of Drives only before"), 0);
    dlg.OnBnClickedBack();
    EXPECT_EQ(0, dlg.Page());
    EXPECT_TRUE(dlg.DriveTree().IsWindowVisible());
    EXPECT_FALSE(dlg.ResultTree().IsWindowVisible());
}

struct DeepMedium {
    const wchar_t* item;
    bool disk;
    const wchar_t* image;
    int fs; // combo index: 0 FAT16, 1 FAT32, 2 NTFS
};

// The whole path at which the results tree shows the truth's `folder`: "/Root" and the folder, or,
// where the folder lies below one of the medium's `lost` folders (whose own record is gone), the
// catch-all folder and the rest of the path from the orphan down.
std::string WholePathOf(const std::string& folder, const std::vector<std::string>& lost = {})
{
    for (const std::string& gone : lost)
        if (folder.size() > gone.size() && folder.compare(0, gone.size(), gone) == 0)
            return "/Root/KXR_Miscellaneous/" + folder.substr(gone.size());
    return "/Root" + folder;
}

// Every live and deleted file the truth keeps intact is listed under its folder with its name and
// saved with its bytes, each volume read with its own geometry: three FAT volumes of a disk
// without partition table (two of them on the same cluster numbers), a FAT32 volume without boot
// sector and FATs, an NTFS volume without boot sector, and three NTFS volumes (1, 4 and 8
// sectors per cluster, sharing record numbers and folder names) of a disk without partition
// table whose only boot sector left is a damaged backup: each read with the geometry its own
// records give.
TEST_F(DeepSearchTest, EveryIntactFileIsFoundAndSavedByteExact)
{
    const DeepMedium media[] = {
        { L"(Disk4 ", true, L"deepdisk.img", 0 },
        { L"O:", false, L"deepfat32.img", 1 },
        { L"P:", false, L"deepntfs.img", 2 },
        { L"(Disk14 ", true, L"deepntfsdisk.img", 2 },
    };
    for (const DeepMedium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        g_boxes.clear();
        Scan(m.item, m.disk, m.image, m.fs);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(1, dlg.FinishedScans() - finishedBefore);
        finishedBefore = dlg.FinishedScans();
        std::map<std::string, std::vector<HTREEITEM>> folders;
        MapFolders(nullptr, "/", folders);

        // The truth's intact files by folder (the volume's prefix "N:" dropped: every volume's
        // root folders are under "Root").
        std::map<std::string, std::vector<TruthLine>> byFolder;
        for (TruthLine e : LoadTruth(m.image)) {
            if ((e.state != "live" && e.state != "deleted") || e.isDir())
                continue;
            const size_t colon = e.path.find(':');
            if (colon != std::string::npos && colon < 3)
                e.path.erase(0, colon + 1);
            byFolder[e.path.substr(0, e.path.rfind('/') + 1)].push_back(e);
        }
        ASSERT_GE(byFolder.size(), 3u);
        size_t files = 0;
        for (const auto& [folder, entries] : byFolder) {
            std::set<std::string> listed;
            for (const auto& [path, items] : folders)
                if (SamePath(path, WholePathOf(folder)))
                    for (HTREEITEM item : items)
                        for (const std::string& name : List(item))
                            listed.insert(name);
            EXPECT_FALSE(listed.empty()) << folder;
            for (const TruthLine& e : entries) {
                const std::string name = Lower(e.path.substr(folder.size()));
                EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const std::string& shown) {
                    return SameName(shown, name);
                })) << e.path;
                ++files;
            }
        }
        EXPECT_GE(files, 8u);

        const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_deep"));
        for (const auto& [folder, entries] : byFolder)
            for (const TruthLine& e : entries)
                EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
}

// Deep Search over the range of an NTFS partition whose compressed folder keeps its files in LZNT1
// units: every file, compressed, plain and fragmented, live and deleted, saves with the bytes that
// were written, under its own folder.
TEST_F(DeepSearchTest, CompressedFilesSaveWithTheBytesWritten)
{
    const std::vector<TruthLine> files = CompressedDiskFiles();
    if (files.empty())
        GTEST_SKIP() << "ntfscomp.img was made without a FUSE mount: it holds no compressed files";
    const std::vector<LayoutEntry> layout = LoadLayout(L"ntfscomp.img");
    ASSERT_EQ(1u, layout.size());
    SelectMedium(L"(Disk25 ", true, L"ntfscomp.img", 2);
    SetField(IDC_RANGE_START, layout[0].start);
    SetField(IDC_RANGE_END, layout[0].start + layout[0].count);
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    ExpectSavedWhole(files, SaveEverything(NewTempFolder(L"zr_deepcompressed")));
}

// Every folder of the results tree below `item`, by its path.
void FolderPaths(CTreeClass& tree, HTREEITEM item, const CString& path, std::set<CString>& out)
{
    for (HTREEITEM c = tree.GetChildItem(item); c != nullptr; c = tree.GetNextSiblingItem(c)) {
        const CString child = path + L"/" + tree.GetItemText(c);
        out.insert(child);
        FolderPaths(tree, c, child, out);
    }
}

// A new scan log's path in a new folder named from `folderPrefix`, which the Save Log and Load
// Log pickers answer with from now on.
CString PickNewLog(const wchar_t* folderPrefix, const wchar_t* name)
{
    static CString log;
    log = NewTempFolder(folderPrefix) + L"\\" + name;
    SetScanLogPathPicker([](CWnd*, bool) { return log; });
    return log;
}

// Save Log into a new log (PickNewLog): the save says it succeeded.
void SaveNewLog(CDeepSearch& dlg, const wchar_t* folderPrefix, const wchar_t* name)
{
    PickNewLog(folderPrefix, name);
    g_boxes.clear();
    dlg.OnBnClickedSaveLog();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"saved successfully"), 0);
}

// Deep Search over the range of an NTFS partition whose files lie in several records each (their
// records found wherever they lie, the extension records by their own numbers): every file, the
// large ones in hundreds of fragments, live and deleted (those whose lists lost their last extent
// among them), and the 3,000 files of a folder whose name lies in an extension record, saves with its
// bytes under its own folder; and again, file for file, after Save Log and Load Log.
TEST_F(DeepSearchTest, FilesInSeveralRecordsSaveWithTheirBytesAndAgainAfterALoad)
{
    const std::vector<TruthLine> files = PartitionOneFiles(ExtensionDisk().image);
    if (files.empty())
        GTEST_SKIP() << "ntfsext.img was made without a FUSE mount: it holds no files";
    const std::vector<LayoutEntry> layout = LoadLayout(ExtensionDisk().image);
    ASSERT_EQ(1u, layout.size());
    SelectMedium(ExtensionDisk().disk, true, ExtensionDisk().image, 2);
    SetField(IDC_RANGE_START, layout[0].start);
    SetField(IDC_RANGE_END, layout[0].start + layout[0].count);
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    // The fillers around them are plain files: the saves pass them over.
    const std::map<std::string, std::string> scanned = SaveEverything(NewTempFolder(L"zr_deepextension"), L"Fill");
    ExpectSavedWhole(WithoutFillers(files), scanned);
    SaveNewLog(dlg, L"zr_deepextensionlog", L"extension.QLX");
    dlg.OnBnClickedBack();
    LoadPickedLog();
    SetScanLogPathPicker(nullptr);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(scanned, SaveEverything(NewTempFolder(L"zr_deepextensionload"), L"Fill"));
}

// How far the carving had gone when it last reported to the dialog. On a range of 200 blocks every
// block is reported, so after a stop it tells the block the carving saw the stop before (it runs
// to the range's end when the stop came after the carving).
uint64_t CarvedTo(const CDeepSearch& dlg)
{
    struct Reach : CDeepSearch {
        static uint64_t Of(const CDeepSearch& d) { return (d.*&Reach::m_carvedTo).load(); }
    };
    return Reach::Of(dlg);
}

// Scans stopped at random moments finish once, on what they found: no hang, the partial tree
// shown, Back and Next working after.
TEST_F(DeepSearchTest, StopAtRandomMomentsFinishesOnceWithWhatWasFound)
{
    const DeepMedium media[] = {
        { L"(Disk4 ", true, L"deepdisk.img", 0 },
        { L"P:", false, L"deepntfs.img", 2 },
    };
    std::mt19937 random(11);
    int shorter = 0;
    std::set<CString> whole[2];
    for (int k = 0; k < 2; ++k) {
        Scan(media[k].item, media[k].disk, media[k].image, media[k].fs);
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", whole[k]);
        ASSERT_GE(whole[k].size(), 3u);
        dlg.OnBnClickedBack();
    }
    // A stop pressed as the scan starts: it ends after its first block with a partial tree.
    // Stop asks the worker to stop only after its own window work, which under Wine takes about as
    // long as the worker's set-up before its first block; meanwhile the carving may go on, and once
    // it has the first volume's boot sector (in the third block) that volume's whole tree, every
    // path of the whole scan, is read from it. A round whose carving went past its first block
    // tells nothing of the stop and is pressed again.
    {
        int tries = 0, inTime = 0;
        while (inTime == 0 && tries < 20) {
            ++tries;
            SCOPED_TRACE(testing::Message() << "stop at the start, try " << tries);
            const int finished = dlg.FinishedScans();
            SelectMedium(media[0].item, media[0].disk, media[0].image, media[0].fs);
            Next();
            dlg.OnBnClickedStop();
            ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
            EXPECT_EQ(finished + 1, dlg.FinishedScans());
            std::set<CString> found;
            FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", found);
            if (CarvedTo(dlg) <= kDeepScanBlockSectors) {
                ++inTime;
                EXPECT_LT(found.size(), whole[0].size());
            }
            dlg.OnBnClickedBack();
        }
        EXPECT_EQ(1, inTime) << "no stop reached the carving within its first block in " << tries << " tries";
        RecordProperty("stop_at_start_tries", tries);
    }
    for (int round = 0; round < 20; ++round) {
        const DeepMedium& m = media[round % 2];
        SCOPED_TRACE(testing::Message() << "round " << round << " " << Narrow(m.image));
        g_boxes.clear();
        const int finished = dlg.FinishedScans();
        SelectMedium(m.item, m.disk, m.image, m.fs);
        Next();
        ASSERT_EQ(1, dlg.Page());
        const double share = double(random() % 1000) / 1000.0;
        PumpUntil([&] { return ScanPassed(dlg, IDC_DS_SCANNED, IDC_DS_CURRENT, share); }, 30000);
        if (dlg.ScanRunning()) {
            dlg.OnBnClickedBack();
            EXPECT_EQ(1u, g_boxes.size());
            EXPECT_EQ(1, dlg.Page());
        }
        dlg.OnBnClickedStop();
        dlg.OnBnClickedStop(); // a second Stop finds nothing to stop
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
        EXPECT_EQ(finished + 1, dlg.FinishedScans());
        EXPECT_TRUE(dlg.ResultTree().IsWindowVisible());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_DS_STOP)->IsWindowVisible());
        std::set<CString> found;
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", found);
        for (const CString& path : found)
            EXPECT_TRUE(whole[round % 2].count(path) != 0 || path.Find(L"KXR_Miscellaneous") >= 0) << ToUtf8(path);
        shorter += found.size() < whole[round % 2].size();
        List(dlg.ResultTree().GetRootItem());
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
    // These media are small: most stops land in the finishing steps, which run to their end.
    RecordProperty("stopped_short", shorter);
    std::set<CString> again;
    Scan(media[0].item, media[0].disk, media[0].image, media[0].fs);
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", again);
    EXPECT_EQ(whole[0], again);
}

// Search More Partitions on a drive letter lists the NTFS volume inside it (found by the copy of
// its boot sector) as a "Recognised" item; Next on that item scans the volume through the drive
// letter. A second search adds nothing; a stopped one keeps the drive page working.
TEST_F(DeepSearchTest, VolumesInsideADriveLetterAreListedAndScanned)
{
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    HTREEITEM drive = dlg.DriveTree().GetSelectedItem();
    CString end;
    end.Format(L"%llu", (unsigned long long)imageSectors);
    dlg.DetailList()->SetItemText(1, 1, end);
    g_boxes.clear();
    dlg.OnBnClickedSearchMorePartitions();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.RecognisedSearchRunning(); }, 30000));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(CString(L"Found 1 more partitions in selected Drive ( Drive - P: )"), g_boxes[0]);
    HTREEITEM recognised = dlg.DriveTree().GetChildItem(drive);
    ASSERT_NE(nullptr, recognised);
    EXPECT_EQ(0, dlg.DriveTree().GetItemText(recognised).Find(L"Recognised1 - "));
    EXPECT_GT(dlg.DriveTree().GetItemText(recognised).Find(L"- NTFS"), 0);
    EXPECT_EQ(recognised, dlg.DriveTree().GetSelectedItem());
    EXPECT_TRUE(Enabled(IDC_DS_NEXT));
    // The drive's volumes show in place of its properties; a row's file system is the one chosen.
    CListCtrl& volumes = *dlg.FoundFileSystemList();
    ASSERT_EQ(1, volumes.GetItemCount());
    EXPECT_TRUE(volumes.IsWindowVisible());
    EXPECT_EQ(CString(L"NTFS"), volumes.GetItemText(0, 1));
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 0);
    volumes.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    NMHDR click{ volumes.GetSafeHwnd(), UINT_PTR(IDC_DS_FOUND_VOLUMES), UINT(NM_CLICK) };
    dlg.SendMessage(WM_NOTIFY, IDC_DS_FOUND_VOLUMES, LPARAM(&click));
    EXPECT_EQ(2, int(dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_GETCURSEL)));

    // Again: the volume is known already.
    dlg.DriveTree().SelectItem(drive);
    PumpPending();
    dlg.DetailList()->SetItemText(1, 1, end);
    g_boxes.clear();
    dlg.OnBnClickedSearchMorePartitions();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.RecognisedSearchRunning(); }, 30000));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(0, g_boxes[0].Find(L"No more partitions found"));
    EXPECT_EQ(nullptr, dlg.DriveTree().GetNextSiblingItem(recognised));

    // After Refresh Tree the drive's volumes are found again.
    dlg.OnBnClickedRefresh();
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    dlg.DetailList()->SetItemText(1, 1, end);
    g_boxes.clear();
    dlg.OnBnClickedSearchMorePartitions();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.RecognisedSearchRunning(); }, 30000));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(CString(L"Found 1 more partitions in selected Drive ( Drive - P: )"), g_boxes[0]);
    recognised = dlg.DriveTree().GetSelectedItem();
    ASSERT_NE(nullptr, recognised);
    EXPECT_EQ(0, dlg.DriveTree().GetItemText(recognised).Find(L"Recognised1 - "));
    drive = dlg.DriveTree().GetParentItem(recognised);
    dlg.DriveTree().SelectItem(drive);
    PumpPending();

    // Stopped at once: the question, then the drive page as it was.
    dlg.DetailList()->SetItemText(1, 1, end);
    g_boxes.clear();
    dlg.OnBnClickedSearchMorePartitions();
    g_boxAnswer = IDYES;
    dlg.OnBnClickedStopSearchingPartitions();
    g_boxAnswer = IDNO;
    EXPECT_FALSE(dlg.RecognisedSearchRunning());
    EXPECT_GE(g_boxes.size(), 1u);
    EXPECT_TRUE(Enabled(IDC_DS_NEXT));
    EXPECT_TRUE(dlg.GetDlgItem(IDC_DS_MORE_PARTITIONS)->IsWindowVisible());

    dlg.DriveTree().SelectItem(recognised);
    PumpPending();
    SetField(IDC_RANGE_MIN, 0);
    SetField(IDC_RANGE_MAX, imageSectors);
    SetField(IDC_RANGE_START, 0);
    SetField(IDC_RANGE_END, imageSectors);
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 2);
    g_boxes.clear();
    dlg.OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CString(L"\\\\.\\P:"), dlg.Target().devicePath);
    // The volume goes with the results into a scan log.
    ASSERT_EQ(1u, dlg.Store().recognisedPartitions.size());
    EXPECT_EQ(CString(L"Log|\\\\.\\P:|"), dlg.Store().recognisedPartitions[0].drive);
    EXPECT_EQ(0u, dlg.Store().recognisedPartitions[0].startSector);
    std::set<CString> found;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", found);
    EXPECT_GE(found.size(), 3u);
}

// Results go into a scan log and come back from it in a fresh dialog, each FAT volume with its
// geometry, the NTFS records with theirs (on a disk of three NTFS volumes each volume's, though
// the log keeps one): the same folders, every intact file saved with its bytes.
TEST_F(DeepSearchTest, ResultsComeBackFromTheScanLog)
{
    const DeepMedium media[] = {
        { L"(Disk4 ", true, L"deepdisk.img", 0 },
        { L"P:", false, L"deepntfs.img", 2 },
        { L"(Disk14 ", true, L"deepntfsdisk.img", 2 },
    };
    for (const DeepMedium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        Scan(m.item, m.disk, m.image, m.fs);
        ASSERT_FALSE(HasFatalFailure());
        std::set<CString> scanned;
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", scanned);
        SaveNewLog(dlg, L"zr_deeplog", L"deep.QLX");
        ASSERT_FALSE(HasFatalFailure());
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
        // Nothing of the scan is left but the log.
        Reopen();
        ASSERT_FALSE(HasFatalFailure());
        if (!m.disk)
            ListDriveAs(CString(L"\\\\.\\") + m.item, imageSectors);
        g_boxes.clear();
        dlg.OnBnClickedLoadLog();
        SetScanLogPathPicker(nullptr);
        ASSERT_TRUE(PumpUntil(
            [&] { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); }, 60000))
            << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        std::set<CString> loaded;
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", loaded);
        EXPECT_EQ(scanned, loaded);
        const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_deeplogsave"));
        int files = 0;
        for (const TruthLine& e : LoadTruth(m.image)) {
            if ((e.state != "live" && e.state != "deleted") || e.isDir())
                continue;
            ++files;
            EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
        }
        EXPECT_GE(files, 8);
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
}

// A FAT scan of a volume that holds no FAT assembles nothing; its log, saved with the selected
// file system, loads again.
TEST_F(DeepSearchTest, AScanThatAssembledNothingSavesALogThatLoads)
{
    Scan(L"P:", false, L"deepntfs.img", 1);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(0u, dlg.Store().VolumeCount());
    // Nothing found: Deep Search's own notice, over the Deep dialog, not Basic Search's.
    ASSERT_TRUE(PumpUntil([&] { return deepNotices->Count() == 1; }));
    EXPECT_EQ(dlg.GetSafeHwnd(), deepNotices->LastOwner());
    EXPECT_EQ(0, notices->Count());
    SaveNewLog(dlg, L"zr_deepnothing", L"nothing.QLX");
    ASSERT_FALSE(HasFatalFailure());
    dlg.OnBnClickedBack();
    ListDriveAs(L"\\\\.\\P:", imageSectors);
    g_boxes.clear();
    dlg.OnBnClickedLoadLog();
    SetScanLogPathPicker(nullptr);
    ASSERT_TRUE(PumpUntil(
        [&] { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); }, 30000))
        << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0) << ToUtf8(g_boxes[0]);
    // The parameters a save of the loaded results writes.
    ScanLogData logged;
    logged.header.mode = kScanLogModeDeep;
    AddRequestToLog(dlg.Request(), dlg.Store(), logged);
    EXPECT_EQ(CString(L"FAT32"), logged.params.partitionType);
}

// A drive letter scanned over part of its range is logged with the drive's own size, which
// finds the drive again: the log loads.
TEST_F(DeepSearchTest, ALogOfANarrowedDriveLetterLoads)
{
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    ASSERT_FALSE(HasFatalFailure());
    SetField(IDC_RANGE_END, imageSectors / 2);
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    EXPECT_EQ(imageSectors / 2, dlg.Request().target.endSector);
    std::set<CString> scanned;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", scanned);
    SaveNewLog(dlg, L"zr_deepnarrow", L"narrow.QLX");
    ASSERT_FALSE(HasFatalFailure());
    dlg.OnBnClickedBack();
    ListDriveAs(L"\\\\.\\P:", imageSectors);
    LoadPickedLog();
    SetScanLogPathPicker(nullptr);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0) << ToUtf8(g_boxes[0]);
    EXPECT_EQ(CString(L"\\\\.\\P:"), CurrentDevicePath);
    // The narrowed range comes back as it was scanned.
    EXPECT_EQ(imageSectors / 2, dlg.Request().target.endSector);
    std::set<CString> loaded;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", loaded);
    EXPECT_EQ(scanned, loaded);
}

// The root of a scan of several FAT volumes lists each volume's files, each row telling its
// volume in the hidden "FILE_SYS" cell.
TEST_F(DeepSearchTest, RootFilesTellTheirVolume)
{
    Scan(L"(Disk4 ", true, L"deepdisk.img", 0);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_GE(dlg.Store().VolumeCount(), 2u);
    CListCtrl& list = dlg.FileList();
    List(dlg.ResultTree().GetRootItem());
    std::set<CString> volumes;
    int files = 0;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.GetItemText(row, 1) == L"FOLDER")
            continue;
        ++files;
        const CString cell = list.GetItemText(row, 9);
        EXPECT_FALSE(cell.IsEmpty()) << ToUtf8(list.GetItemText(row, 0));
        EXPECT_LT(StrToUInt64(cell.GetString()), dlg.Store().VolumeCount());
        volumes.insert(cell);
    }
    EXPECT_GT(files, 0);
    EXPECT_GE(volumes.size(), 2u);
}

// Search More Partitions wants a disk or a drive letter: anything else is refused with Deep
// Search's own words, the found file systems hidden and "Physical Drives" selected.
TEST_F(DeepSearchTest, SearchMorePartitionsAsksForADiskOrADrive)
{
    CTreeClass& tree = dlg.DriveTree();
    const HTREEITEM disk2 = ChildWith(dlg.PhysicalDrivesItem(), L"(Disk2 ");
    ASSERT_NE(nullptr, disk2);
    for (HTREEITEM item : { tree.GetRootItem(), tree.GetChildItem(disk2) }) {
        tree.SelectItem(item);
        PumpPending();
        dlg.GetDlgItem(IDC_DS_FOUND_VOLUMES)->ShowWindow(SW_SHOW);
        g_boxes.clear();
        dlg.OnBnClickedSearchMorePartitions();
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(CString(L"Select the Physical or Logical Drive (in which you want to search Partitions) from the list "
                          L"of available Drives in left Panel in order to search deleted or missing Partitions."),
                  g_boxes[0]);
        EXPECT_FALSE(dlg.GetDlgItem(IDC_DS_FOUND_VOLUMES)->IsWindowVisible());
        EXPECT_EQ(dlg.PhysicalDrivesItem(), tree.GetSelectedItem());
        EXPECT_EQ(nullptr, g_pPartitionSearchThread);
    }
}

// The removable-medium search Basic Search runs serves this dialog too: a medium without a
// partition table holding a FAT16 boot sector gets its partition item and the report.
TEST_F(DeepSearchTest, RemovableMediumIsSearchedForItsPartitions)
{
    constexpr int kDisk = 8; // a number no other test uses
    constexpr uint32_t kHeads = 16, kSectorsPerTrack = 63, kCylinders = 130;
    const std::wstring file = DosDeviceFile(L"physicaldrive8");
    const std::vector<uint8_t> boot = ReadAt(ImagePath(L"fat16.img"), 0, 512);
    ASSERT_TRUE(!file.empty() && boot.size() == 512u);
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    ::WriteFile(h, boot.data(), 512, &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(uint64_t(kCylinders) * kHeads * kSectorsPerTrack * 512);
    ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);

    DiskPartitionTable[kDisk] = DiskPartitionRecord();
    auto* record = new DriveInfoRecord; // drive records live as long as the program
    record->itemText = DiskItemText(kDisk, L"Removable Media", L" 64 MB");
    const HTREEITEM medium = dlg.DriveTree().InsertItem(record->itemText, dlg.PhysicalDrivesItem());
    dlg.DriveTree().SetItemData(medium, DWORD_PTR(record));
    smpparam entry;
    entry.cylinders = kCylinders;
    entry.heads = kHeads;
    entry.sectorsPerTrack = kSectorsPerTrack;
    entry.diskItem = medium;
    entry.devicePath = PhysicalDrivePathTable[kDisk];
    DiskSearchList.assign(1, entry);
    g_boxes.clear();
    ASSERT_TRUE(dlg.StartRemovableMediaSearch());
    EXPECT_FALSE(Enabled(IDC_DS_NEXT));
    // A partition shown while the tree is still searched leaves the sector range hidden; the end
    // of the search shows it.
    const HTREEITEM disk2 = ChildWith(dlg.PhysicalDrivesItem(), L"(Disk2 ");
    ASSERT_NE(nullptr, disk2);
    dlg.DriveTree().SelectItem(dlg.DriveTree().GetChildItem(disk2));
    EXPECT_EQ(CString(L"part"), SelectedItemKind);
    EXPECT_FALSE(dlg.GetDlgItem(IDC_RANGE_SLIDER)->IsWindowVisible());
    EXPECT_TRUE(PumpUntil([&] { return g_pDeepDriveTreeThread == nullptr && Enabled(IDC_DS_NEXT); }, 20000));
    EXPECT_TRUE(dlg.GetDlgItem(IDC_RANGE_SLIDER)->IsWindowVisible());
    ASSERT_NE(nullptr, dlg.DriveTree().GetChildItem(medium));
    EXPECT_EQ(CString(L"Partition - 1 ( FAT16 )"), dlg.DriveTree().GetItemText(dlg.DriveTree().GetChildItem(medium)));
    EXPECT_EQ(1,
              long(std::count(g_boxes.begin(), g_boxes.end(),
                              CString(L"Found 1 more partitions in selected Disk ( Disk - 8 )"))));
    dlg.DriveTree().DeleteItem(medium);
    ::DeleteFileW(file.c_str());
    DiskPartitionTable[kDisk] = DiskPartitionRecord();
    DiskSearchList.clear();
}

// The answer to the save-log question on leaving (every other question: No), each box recorded
// and its owner checked.
int g_saveLogAnswer = IDNO;
int AnswerLeaving(HWND owner, LPCWSTR text, LPCWSTR title, UINT type)
{
    const int answer = RecordBox(owner, text, title, type);
    return CString(text).Find(L"Do you want to save the Recovery scanning Log") == 0 ? g_saveLogAnswer : answer;
}

int g_basicRuns = 0;
CString g_basicLogSeen;
void RecordBasicDialog(SearchHost* host)
{
    ++g_basicRuns;
    g_basicLogSeen = host != nullptr && host->LogModeSwitchPending.load() == 1 ? CommandLineLogPath : CString();
}

// A Deep log named on the command line opens in a fresh dialog as it was saved; a Basic log
// opened in Deep Search asks to switch: No stays on the drive page, Yes hands the file to Basic
// Search.
TEST_F(DeepSearchTest, DeepLogAtStartUpAndBasicLogHandedOver)
{
    Scan(L"P:", false, L"deepntfs.img", 2);
    ASSERT_FALSE(HasFatalFailure());
    std::set<CString> scanned;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", scanned);
    const CString log = PickNewLog(L"zr_deepstart", L"deep.QLX");
    dlg.OnBnClickedSaveLog();
    dlg.OnBnClickedBack();

    // A later run of the program, started with the log.
    Reopen(log);
    ASSERT_FALSE(HasFatalFailure());
    ListDriveAs(L"\\\\.\\P:", imageSectors);
    g_boxes.clear();
    ASSERT_TRUE(PumpUntil(
        [&] { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); }, 60000))
        << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    EXPECT_EQ(1, SplashMayClose.load());
    EXPECT_TRUE(CommandLineLogPath.IsEmpty());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0);
    std::set<CString> loaded;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", loaded);
    EXPECT_EQ(scanned, loaded);
    EXPECT_TRUE(dlg.LogSaved()); // nothing new to save
    dlg.OnBnClickedBack();
    ASSERT_EQ(0, dlg.Page());

    // The same log marked as a Basic Search's: the mode word follows the kind, the marker and the
    // disk identity, each a counted text.
    std::vector<uint8_t> bytes = ReadAt(std::wstring(log.GetString()), 0, 1u << 24);
    ASSERT_GT(bytes.size(), 200u);
    size_t at = 4 + 2 * size_t(bytes[3]);
    at += 4 + 2 * size_t(bytes[at + 3]);
    at += 4 + 2 * size_t(bytes[at + 3]);
    ASSERT_LT(at, bytes.size());
    EXPECT_EQ(2, bytes[at]); // saved as a Deep Search's
    bytes[at] = 1;
    {
        CFile file(log, CFile::modeCreate | CFile::modeWrite);
        file.Write(bytes.data(), UINT(bytes.size()));
    }
    RegisterSearchDialog(kModeBasic, RecordBasicDialog);
    g_boxes.clear();
    dlg.OnBnClickedLoadLog();
    PumpPending();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"saved in basic Recovery mode"), 0);
    EXPECT_EQ(0, dlg.Page());
    EXPECT_EQ(0, g_basicRuns);
    g_boxAnswer = IDYES;
    dlg.OnBnClickedLoadLog();
    g_boxAnswer = IDNO;
    SetScanLogPathPicker(nullptr);
    EXPECT_EQ(1, g_basicRuns);
    EXPECT_EQ(log, g_basicLogSeen);
    EXPECT_EQ(0, main.LogModeSwitchPending.load());
    RegisterSearchDialog(kModeBasic, nullptr);
    // The dialog that handed the log over goes with the other one.
    EXPECT_TRUE(PumpUntil([&] { return dlg.GetSafeHwnd() == nullptr || !dlg.IsWindowVisible(); }));
}

// A load's message comes first, over the dialog, and stays until it is answered; only then is the
// results tree enabled and its top folder listed. A log that fails part way says so and leaves
// what was read on the first page, where Load Log may be pressed again. By Load Log and as the
// start-up log, whole and damaged.
TEST_F(DeepSearchTest, ALoadsMessageComesFirstAndStaysUntilAnswered)
{
    Scan(L"P:", false, L"deepntfs.img", 2);
    ASSERT_FALSE(HasFatalFailure());
    const CString good = PickNewLog(L"zr_deepbox", L"good.QLX");
    dlg.OnBnClickedSaveLog();
    dlg.OnBnClickedBack();
    const CString bad = good + L".cut.QLX";
    static CString picked;
    SetScanLogPathPicker([](CWnd*, bool) { return picked; });
    const std::vector<uint8_t> bytes = ReadAt(std::wstring(good.GetString()), 0, 1u << 24);
    ASSERT_GT(bytes.size(), 200u);
    {
        CFile cut(bad, CFile::modeCreate | CFile::modeWrite);
        cut.Write(bytes.data(), UINT(bytes.size() * 3 / 4));
    }
    ExpectEveryLoadSaidFirst(
        dlg, good, bad,
        [&](const CString& startUpLog) {
            Reopen(startUpLog);
            ListDriveAs(L"\\\\.\\P:", imageSectors);
        },
        [](const CString& log) { picked = log; });
    SetScanLogPathPicker(nullptr);
}

// Leaving with results not saved asks once whether to save the log; Yes saves it, and a saved
// result is not asked about again.
TEST_F(DeepSearchTest, LeavingAsksOnceToSaveTheLog)
{
    ZrSetMessageBoxHook(AnswerLeaving);
    Scan(L"P:", false, L"deepntfs.img", 2);
    ASSERT_FALSE(HasFatalFailure());
    const auto close = [&] {
        g_boxes.clear();
        dlg.SendMessage(WM_CLOSE);
        return g_boxes;
    };
    std::vector<CString> asked = close();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(0, asked[0].Find(L"Do you want to save the Recovery scanning Log"));
    EXPECT_GE(asked[1].Find(L"Do you want to exit"), 0);
    asked = close();
    ASSERT_EQ(1u, asked.size()); // asked once
    EXPECT_GE(asked[0].Find(L"Do you want to exit"), 0);

    // New results are asked about again; Yes writes the log.
    dlg.OnBnClickedBack();
    Scan(L"P:", false, L"deepntfs.img", 2);
    ASSERT_FALSE(HasFatalFailure());
    const CString log = PickNewLog(L"zr_deepleave", L"leave.QLX");
    g_saveLogAnswer = IDYES;
    asked = close();
    g_saveLogAnswer = IDNO;
    SetScanLogPathPicker(nullptr);
    ASSERT_EQ(3u, asked.size());
    EXPECT_GE(asked[1].Find(L"saved successfully"), 0);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(log));
    EXPECT_TRUE(dlg.LogSaved());
    EXPECT_EQ(1u, close().size());
}

// Where the volume of a destination folder lies: on the scanned disk, as the system would place
// another partition of it (Wine places no volume on a disk). The scanned disk is no volume.
DiskExtent g_destinationPlace;
bool PlaceDestinationVolume(const CString& volumePath, std::vector<DiskExtent>* extents)
{
    if (volumePath.Left(11).CompareNoCase(L"\\\\?\\Volume{") != 0)
        return false;
    *extents = { g_destinationPlace };
    return true;
}

// After a Deep Search of a range of a disk, a save keeps off all the scan read: a folder on a
// volume inside the range is refused although no file saved comes from it (the range may hold
// lost files the search did not make out); one on a volume past the range takes the files.
TEST_F(DeepSearchTest, ASaveKeepsOffTheWholeRangeTheScanRead)
{
    const std::vector<LayoutEntry> volumes = LoadLayout(L"deepdisk.img");
    ASSERT_EQ(3u, volumes.size());
    SelectMedium(L"(Disk4 ", true, L"deepdisk.img", 0);
    SetField(IDC_RANGE_END, volumes[2].start); // the first two volumes
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    struct Placed {
        VolumeExtentsQuery system = SetVolumeExtentsQuery(PlaceDestinationVolume);
        ~Placed() { SetVolumeExtentsQuery(system); }
    } placed;
    // Before the first volume: inside the range, on no volume the search found.
    g_destinationPlace = { 4, 1, volumes[0].start - 1 };
    g_boxes.clear();
    EXPECT_TRUE(SaveEverything(NewTempFolder(L"zr_deeprange")).empty());
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_EQ(CString(kDestinationOnSourceText), g_boxes.back());
    // The third volume's place, past the range.
    g_destinationPlace = { 4, volumes[2].start + 1, volumes[2].count - 1 };
    g_boxes.clear();
    const std::map<std::string, std::string> past = SaveEverything(NewTempFolder(L"zr_deeprange"));
    EXPECT_FALSE(past.empty());
    for (const CString& box : g_boxes)
        EXPECT_NE(CString(kDestinationOnSourceText), box);
    // The range read ends at the sector before the third volume: a volume on its last sector is
    // on it, one that begins at the sector after it is not. That one takes the same files, given
    // with blanks around it too: the save uses the folder it checked.
    g_destinationPlace = { 4, volumes[2].start - 1, 1 };
    g_boxes.clear();
    EXPECT_TRUE(SaveEverything(NewTempFolder(L"zr_deeprange")).empty());
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_EQ(CString(kDestinationOnSourceText), g_boxes.back());
    g_destinationPlace = { 4, volumes[2].start, volumes[2].count };
    g_boxes.clear();
    const CString after = NewTempFolder(L"zr_deeprange");
    SaveEverything(L"  " + after + L" \t");
    for (const CString& box : g_boxes)
        EXPECT_NE(CString(kDestinationOnSourceText), box);
    std::map<std::string, std::string> saved;
    TakeSavedFiles(std::wstring(after.GetString()), "", saved);
    EXPECT_EQ(past, saved);
}

// A narrowed range reads the NTFS records inside it with the volume's own cluster 0, not the
// range's first sector: every intact file still comes back with its bytes.
TEST_F(DeepSearchTest, NarrowedNtfsRangeKeepsTheVolumesClusters)
{
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    SetField(IDC_RANGE_START, 100);
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    EXPECT_EQ(100u, dlg.Target().firstSector);
    const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_deepnarrow"));
    int files = 0;
    for (const TruthLine& e : LoadTruth(L"deepntfs.img")) {
        if ((e.state != "live" && e.state != "deleted") || e.isDir())
            continue;
        ++files;
        EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
    }
    EXPECT_GE(files, 8);
}

// deepntfsdisk.img with the record of the folder "Projects" zeroed on every volume but the first,
// written to `path` (a file at a device's link name): "Old plans" of those volumes is an orphan.
bool MakeDiskWithOrphans(const std::wstring& path)
{
    const std::wstring image = ImagePath(L"deepntfsdisk.img");
    std::vector<uint8_t> disk = ReadAt(image, 0, size_t(ReadOnlyFile(image).Size()));
    const std::vector<LayoutEntry> volumes = LoadLayout(L"deepntfsdisk.img");
    if (disk.empty() || volumes.size() != 3)
        return false;
    static const char16_t kName[] = u"Projects";
    const uint8_t* name = reinterpret_cast<const uint8_t*>(kName);
    const size_t nameBytes = 16;
    int zeroed = 0;
    for (size_t at = size_t(volumes[1].start) * 512; at + 1024 <= disk.size(); at += 512) {
        if (std::memcmp(&disk[at], "FILE", 4) != 0 ||
            std::search(disk.begin() + at, disk.begin() + at + 1024, name, name + nameBytes) == disk.begin() + at + 1024)
            continue;
        std::fill(disk.begin() + at, disk.begin() + at + 1024, 0);
        ++zeroed;
    }
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && ::WriteFile(h, disk.data(), DWORD(disk.size()), &written, nullptr) &&
        written == disk.size();
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    return ok && zeroed == 2;
}

// The second and third of three NTFS volumes lost their folder "Projects": the orphan "Old plans"
// of each lies under the one catch-all folder with its subfolder "2019" below it, both listed
// and saved at their whole paths; the first volume's folders stay where they were.
TEST_F(DeepSearchTest, OrphansOfEveryVolumeKeepTheirSubfoldersUnderTheCatchAll)
{
    const std::wstring file = DosDeviceFile(L"physicaldrive15");
    struct Gone {
        std::wstring path;
        ~Gone() { ::DeleteFileW(path.c_str()); }
    } gone{ file };
    ASSERT_TRUE(!file.empty() && MakeDiskWithOrphans(file));
    dlg.OnBnClickedRefresh();
    ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));
    const HTREEITEM item = ChildWith(dlg.PhysicalDrivesItem(), L"(Disk15 ");
    ASSERT_NE(nullptr, item);
    dlg.DriveTree().SelectItem(item);
    PumpPending();
    imageSectors = ReadOnlyFile(file).Size() / 512;
    SetField(IDC_RANGE_MIN, 0);
    SetField(IDC_RANGE_MAX, imageSectors);
    SetField(IDC_RANGE_START, 0);
    SetField(IDC_RANGE_END, imageSectors);
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 2);
    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));

    std::map<std::string, std::vector<HTREEITEM>> folders;
    MapFolders(nullptr, "/", folders);
    EXPECT_EQ(1u, folders["/Root/Projects/Old plans/2019/"].size());
    EXPECT_EQ(2u, folders["/Root/KXR_Miscellaneous/Old plans/"].size());
    EXPECT_EQ(2u, folders["/Root/KXR_Miscellaneous/Old plans/2019/"].size());
    EXPECT_EQ(0u, folders.count("/Root/KXR_Miscellaneous/2019/"));
    // Every intact file of a folder still known is listed at the folder's whole path; the files of
    // "Projects" itself are lost with it on the two volumes.
    std::map<std::string, std::string> where; // sha256 -> the path it must be saved at
    for (TruthLine e : LoadTruth(L"deepntfsdisk.img")) {
        if ((e.state != "live" && e.state != "deleted") || e.isDir())
            continue;
        const bool orphaned = e.path.compare(0, 2, "1:") != 0;
        e.path.erase(0, e.path.find(':') + 1);
        const std::string folder = e.path.substr(0, e.path.rfind('/') + 1);
        if (orphaned && folder == "/Projects/")
            continue;
        const std::string shown = WholePathOf(folder, orphaned ? std::vector<std::string>{ "/Projects/" }
                                                               : std::vector<std::string>{});
        std::set<std::string> listed;
        for (HTREEITEM folderItem : folders[shown])
            for (const std::string& name : List(folderItem))
                listed.insert(name);
        EXPECT_EQ(1u, listed.count(Lower(e.path.substr(folder.size())))) << e.path;
        where[e.sha256] = shown.substr(std::string("/Root").size()) + e.path.substr(folder.size());
    }
    EXPECT_GE(where.size(), 20u);
    const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_deeporphans"));
    for (const auto& [sha, path] : where) {
        const auto found = saved.find(sha);
        ASSERT_NE(found, saved.end()) << path;
        // Files of the same name in one folder are kept under new names: the folders must agree.
        EXPECT_EQ(Lower(path.substr(0, path.rfind('/'))), Lower(found->second.substr(0, found->second.rfind('/'))))
            << path << " saved as " << found->second;
    }
    dlg.OnBnClickedBack();
}

bool Shown(CWnd& dlg, int id)
{
    return dlg.GetDlgItem(id)->IsWindowVisible() != FALSE;
}

// The results page, after a scan and after a log load alike, shows the results tree and the file
// list with the frame "Current Folder" and the listed folder's counts, and nothing of the drive
// page: neither the hint of a group item nor the list of a drive's recognised volumes. The frame
// and the counts are not shown while the scan runs nor after Back.
TEST_F(DeepSearchTest, TheResultsPageShowsTheSameAfterAScanAndAfterALoad)
{
    const auto resultsPageShown = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_TRUE(Shown(dlg, IDC_DS_CURRENT_GROUP));
        EXPECT_TRUE(Shown(dlg, IDC_DS_FOLDER_COUNT));
        CString counts;
        dlg.GetDlgItemText(IDC_DS_FOLDER_COUNT, counts);
        EXPECT_EQ(CountsOfList(dlg.FileList()), counts);
        EXPECT_TRUE(dlg.FileList().IsWindowVisible());
        EXPECT_FALSE(Shown(dlg, IDC_DS_FOUND_VOLUMES));
        EXPECT_FALSE(Shown(dlg, IDC_DS_SELECT_HINT));
        EXPECT_FALSE(Shown(dlg, IDC_DS_HINT_PANEL));
    };
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    Next();
    EXPECT_FALSE(Shown(dlg, IDC_DS_CURRENT_GROUP));
    EXPECT_FALSE(Shown(dlg, IDC_DS_FOLDER_COUNT));
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    ASSERT_GT(dlg.FileList().GetItemCount(), 0);
    resultsPageShown("after the scan");
    SaveNewLog(dlg, L"zr_deeppage", L"page.QLX");
    ASSERT_FALSE(HasFatalFailure());
    dlg.OnBnClickedBack();
    EXPECT_FALSE(Shown(dlg, IDC_DS_CURRENT_GROUP));
    EXPECT_FALSE(Shown(dlg, IDC_DS_FOLDER_COUNT));
    const auto load = [&] {
        ListDriveAs(L"\\\\.\\P:", imageSectors);
        LoadPickedLog();
    };

    // A volume recognised inside the drive letter, selected: its list shows in place of the
    // properties until the log is loaded.
    SelectRecognisedVolume();
    ASSERT_FALSE(HasFatalFailure());
    load();
    ASSERT_FALSE(HasFatalFailure());
    resultsPageShown("after a load over a recognised volume");
    dlg.OnBnClickedBack();

    // A group item selected: its hint shows in place of the properties until the log is loaded.
    dlg.DriveTree().SelectItem(dlg.DriveTree().GetRootItem());
    PumpPending();
    ASSERT_TRUE(Shown(dlg, IDC_DS_SELECT_HINT));
    load();
    ASSERT_FALSE(HasFatalFailure());
    resultsPageShown("after a load over a group item");
    SetScanLogPathPicker(nullptr);
    dlg.OnBnClickedBack();
    EXPECT_FALSE(Shown(dlg, IDC_DS_FOLDER_COUNT));
}

// The hint of a group item takes the whole list area: both its labels show and the list of a
// drive's recognised volumes does not stay under them, whether "My Computer" is clicked after a
// recognised volume or a refused load puts the drive page back.
TEST_F(DeepSearchTest, TheHintCoversTheRecognisedVolumesList)
{
    const auto hintShown = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_TRUE(Shown(dlg, IDC_DS_HINT_PANEL));
        EXPECT_TRUE(Shown(dlg, IDC_DS_SELECT_HINT));
        EXPECT_FALSE(Shown(dlg, IDC_DS_FOUND_VOLUMES));
        EXPECT_FALSE(dlg.FileList().IsWindowVisible());
    };
    SelectRecognisedVolume();
    ASSERT_FALSE(HasFatalFailure());
    CTreeClass& tree = dlg.DriveTree();
    const HTREEITEM recognised = tree.GetSelectedItem();

    tree.SelectItem(tree.GetRootItem());
    PumpPending();
    hintShown("My Computer after a recognised volume");
    tree.SelectItem(recognised);
    PumpPending();
    ASSERT_TRUE(Shown(dlg, IDC_DS_FOUND_VOLUMES));
    EXPECT_FALSE(Shown(dlg, IDC_DS_HINT_PANEL));
    EXPECT_FALSE(Shown(dlg, IDC_DS_SELECT_HINT));

    // A file that is no scan log: refused, the drive page back with "My Computer" selected.
    const CString log = PickNewLog(L"zr_deephint", L"notalog.QLX");
    {
        CFile file;
        ASSERT_TRUE(file.Open(log, CFile::modeCreate | CFile::modeWrite));
        const char junk[] = "not a scan log at all";
        file.Write(junk, sizeof junk);
    }
    g_boxes.clear();
    dlg.OnBnClickedLoadLog();
    SetScanLogPathPicker(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !dlg.LogLoading(); }, 30000));
    EXPECT_EQ(0, dlg.Page());
    EXPECT_EQ(1u, g_boxes.size());
    EXPECT_EQ(tree.GetRootItem(), tree.GetSelectedItem());
    hintShown("a refused load");
}

// Need Help tells the selected drive and the item it lies under before the help dialog opens, as
// in the carving searches, on the drive page and on the results page alike.
TEST_F(DeepSearchTest, NeedHelpTellsTheSelectedDriveFirst)
{
    SelectMedium(L"P:", false, L"deepntfs.img", 2);
    const CString told = L"Selected Drive : " + dlg.DriveTree().GetItemText(dlg.DriveTree().GetSelectedItem()) +
        L"\nParent Item : Logical Drives";
    const auto needHelp = [&] {
        g_boxes.clear();
        DialogAnswerer help(IDC_HELP_LAUNCH, IDOK, dlg.GetSafeHwnd());
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NEED_HELP, BN_CLICKED),
                        LPARAM(dlg.GetDlgItem(IDC_NEED_HELP)->GetSafeHwnd()));
        EXPECT_EQ(1, help.Count());
    };
    needHelp();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(told, g_boxes[0]);

    Next();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    needHelp();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(told, g_boxes[0]);
}

// A disk whose last partition, a FAT16 one, lost sectors to a smaller partition entry: its boot
// sector claims `more` sectors more than its partition holds, and the sectors after the partition
// hold other bytes. The partition's last cluster holds `lastCluster`, where the deleted root file
// "LASTCLUS.BIN" of 24 clusters begins. `image`'s partition table and that partition are copied
// into `path` (a file at a device's link name); the rest stays unwritten.
struct PastPartitionDisk {
    uint64_t partitionStart = 0, partitionEnd = 0, diskSectors = 0;
    std::vector<uint8_t> lastCluster;
};

bool MakeDiskPastItsPartition(const std::wstring& path, const wchar_t* image, uint32_t more, PastPartitionDisk& out)
{
    const std::wstring from = ImagePath(image);
    const std::vector<LayoutEntry> layout = LoadLayout(image);
    if (layout.empty() || layout.back().fs != "fat16")
        return false;
    const uint64_t start = layout.back().start, end = start + layout.back().count;
    // Where the table that leads to the partition begins: the extended partition of an MBR disk.
    uint64_t tableFrom = start;
    for (const LayoutEntry& e : layout)
        if (e.fs == "extended")
            tableFrom = e.start;
    out.partitionStart = start;
    out.partitionEnd = end;
    out.diskSectors = ReadOnlyFile(from).Size() / 512;
    if (end + more > out.diskSectors)
        return false;
    std::vector<uint8_t> head = ReadAt(from, 0, 2048 * 512);
    std::vector<uint8_t> tail = ReadAt(from, tableFrom * 512, size_t(out.diskSectors - tableFrom) * 512);
    if (head.size() != 2048 * 512 || tail.empty())
        return false;
    uint8_t* boot = &tail[size_t(start - tableFrom) * 512];
    if (Le16At(boot + 0x13) != 0) {
        const uint32_t total = Le16At(boot + 0x13) + more;
        boot[0x13] = uint8_t(total), boot[0x14] = uint8_t(total >> 8);
    } else {
        const uint32_t total = Le32At(boot + 0x20) + more;
        for (int i = 0; i < 4; ++i)
            boot[0x20 + i] = uint8_t(total >> (8 * i));
    }
    const uint32_t spc = boot[0x0D];
    const uint64_t root = start + Le16At(boot + 0x0E) + uint64_t(boot[0x10]) * Le16At(boot + 0x16);
    const uint64_t cluster2 = root + Le16At(boot + 0x11) * 32u / 512;
    const uint64_t clusters = (end - cluster2) / spc;
    const uint64_t lastSector = cluster2 + (clusters - 1) * spc;
    out.lastCluster.assign(size_t(spc) * 512, 0);
    for (size_t i = 0; i < out.lastCluster.size(); ++i)
        out.lastCluster[i] = uint8_t("the partition's last cluster\n"[i % 29]);
    std::copy(out.lastCluster.begin(), out.lastCluster.end(), tail.begin() + ptrdiff_t((lastSector - tableFrom) * 512));
    for (uint64_t at = (end - tableFrom) * 512; at < (end + more - tableFrom) * 512; ++at)
        tail[size_t(at)] = uint8_t("past the partition's end\n"[at % 25]);
    // The deleted file's entry, in the first free place of the root directory.
    uint8_t* entry = &tail[size_t(root - tableFrom) * 512];
    while (entry[0] != 0)
        entry += 32;
    std::memcpy(entry, "LASTCLUSBIN", 11);
    entry[0] = 0xE5;
    entry[11] = 0x20;
    const uint32_t cluster = uint32_t(clusters + 1), size = 24 * spc * 512;
    entry[26] = uint8_t(cluster), entry[27] = uint8_t(cluster >> 8);
    for (int i = 0; i < 4; ++i)
        entry[28 + i] = uint8_t(size >> (8 * i));

    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(tableFrom * 512);
    const bool ok = ::WriteFile(h, head.data(), DWORD(head.size()), &written, nullptr) && written == head.size() &&
        ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
        ::WriteFile(h, tail.data(), DWORD(tail.size()), &written, nullptr) && written == tail.size();
    ::CloseHandle(h);
    return ok;
}

// The saved file of `saved` (sha256 -> path) whose name ends in `name`; empty when none is.
std::string SavedShaOf(const std::map<std::string, std::string>& saved, const std::string& name)
{
    for (const auto& [sha, path] : saved)
        if (path.size() >= name.size() && Lower(path.substr(path.size() - name.size())) == Lower(name))
            return sha;
    return {};
}

// A FAT16 volume whose boot sector claims more than the partition that holds it (a logical
// partition of an MBR disk, and a partition of a GPT disk, each the disk's last) is read no
// further than its partition: a deleted file that starts at the partition's last cluster is saved
// with that cluster's bytes alone, none from past the partition, after the scan and again after
// its log is loaded.
TEST_F(DeepSearchTest, AFatVolumeIsReadNoFurtherThanItsPartition)
{
    const struct {
        const wchar_t* device;
        const wchar_t* item;
        const wchar_t* image;
        uint32_t more;
        bool throughLog;
    } disks[] = {
        { L"physicaldrive9", L"(Disk9 ", L"mbr.img", 2048, true },
        { L"physicaldrive10", L"(Disk10 ", L"gpt.img", 20000, false },
    };
    for (const auto& d : disks) {
        SCOPED_TRACE(Narrow(d.image));
        const std::wstring file = DosDeviceFile(d.device);
        struct Gone {
            std::wstring path;
            ~Gone() { ::DeleteFileW(path.c_str()); }
        } gone{ file };
        PastPartitionDisk disk;
        ASSERT_TRUE(!file.empty() && MakeDiskPastItsPartition(file, d.image, d.more, disk));
        dlg.OnBnClickedRefresh();
        ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));
        const HTREEITEM item = ChildWith(dlg.PhysicalDrivesItem(), d.item);
        ASSERT_NE(nullptr, item);
        dlg.DriveTree().SelectItem(item);
        PumpPending();
        // The partition and the sectors its boot sector claims after it.
        SetField(IDC_RANGE_MIN, 0);
        SetField(IDC_RANGE_MAX, disk.diskSectors);
        SetField(IDC_RANGE_START, disk.partitionStart);
        SetField(IDC_RANGE_END, disk.partitionEnd + d.more);
        dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, 0);
        Next();
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
        const std::string whole = Sha256Hex(disk.lastCluster);
        EXPECT_EQ(whole, SavedShaOf(SaveEverything(NewTempFolder(L"zr_deeppast")), "ASTCLUS.BIN"));
        if (d.throughLog) {
            SaveNewLog(dlg, L"zr_deeppastlog", L"past.QLX");
            ASSERT_FALSE(HasFatalFailure());
            dlg.OnBnClickedBack();
            LoadPickedLog();
            SetScanLogPathPicker(nullptr);
            ASSERT_FALSE(HasFatalFailure());
            EXPECT_EQ(whole, SavedShaOf(SaveEverything(NewTempFolder(L"zr_deeppastlogsave")), "ASTCLUS.BIN"));
        }
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
}

// A volume, FAT or NTFS, that begins inside a partition of the disk's table ends no later than
// that partition, whatever its boot sector claims: on a disk whose FAT16, FAT32 and NTFS volumes
// are MBR primary, logical or GPT partitions (`kind`), each boot sector claiming one sector more
// than its partition, more than a cluster more, or no size at all (NTFS: both its boot sectors
// gone), a scan of the partition saves the file that runs past it with the partition's whole
// clusters of it alone, every other file as it is; and so does a save after its log is loaded.
void DeepSearchTest::ExpectNoVolumeReachesPastItsPartition(PartitionKind kind)
{
    SpillDisk disk(24, kind);
    ASSERT_TRUE(disk.Made());
    dlg.OnBnClickedRefresh();
    ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));
    const HTREEITEM diskItem = ChildWith(dlg.PhysicalDrivesItem(), L"(Disk24 ");
    ASSERT_NE(nullptr, diskItem);
    for (size_t k = 0; k < disk.Volumes().size(); ++k) {
        const SpillVolume& v = disk.Volumes()[k];
        for (const SizeClaim claim :
             { SizeClaim{ true, 1 }, SizeClaim{ true, v.sectorsPerCluster + 1ull }, SizeClaim{ false, 0 } }) {
            SCOPED_TRACE(testing::Message() << "table " << int(kind) << ", " << Narrow(v.fs) << " claiming "
                                            << (claim.stated ? std::to_string(claim.more) + " more" : "no size"));
            ASSERT_TRUE(disk.Claim(k, claim));
            const HTREEITEM part = ChildWith(diskItem, (L"Partition - " + std::to_wstring(k + 1)).c_str());
            ASSERT_NE(nullptr, part);
            dlg.DriveTree().SelectItem(part);
            PumpPending();
            SetField(IDC_RANGE_MIN, 0);
            SetField(IDC_RANGE_MAX, disk.Sectors());
            SetField(IDC_RANGE_START, v.start);
            SetField(IDC_RANGE_END, v.start + v.sectors);
            dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, k);
            Next();
            ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
            ExpectSavedAsThePartitionHoldsIt(disk, k, SaveEverything(NewTempFolder(L"zr_deepclaim")));
            SaveNewLog(dlg, L"zr_deepclaimlog", L"claim.QLX");
            ASSERT_FALSE(HasFatalFailure());
            dlg.OnBnClickedBack();
            LoadPickedLog();
            SetScanLogPathPicker(nullptr);
            ASSERT_FALSE(HasFatalFailure());
            ExpectSavedAsThePartitionHoldsIt(disk, k, SaveEverything(NewTempFolder(L"zr_deepclaimload")));
            dlg.OnBnClickedBack();
            ASSERT_EQ(0, dlg.Page());
        }
    }
}

TEST_F(DeepSearchTest, NoVolumeReachesPastThePrimaryPartitionItBeginsIn)
{
    ExpectNoVolumeReachesPastItsPartition(PartitionKind::Primary);
}

TEST_F(DeepSearchTest, NoVolumeReachesPastTheLogicalPartitionItBeginsIn)
{
    ExpectNoVolumeReachesPastItsPartition(PartitionKind::Logical);
}

TEST_F(DeepSearchTest, NoVolumeReachesPastTheGptPartitionItBeginsIn)
{
    ExpectNoVolumeReachesPastItsPartition(PartitionKind::Gpt);
}

// Whatever was selected (a disk, a partition, a drive letter read through its volume or through
// its disk, a volume recognised in a drive letter), over the range offered or a narrowed one, with
// FAT16, FAT32 (one inferred from its folders, its boot sector and FATs gone) or NTFS volumes, a
// save after Save Log, Back and Load Log writes what the save after the scan wrote, file for file
// and byte for byte, and so does a save after the log is loaded at start-up.
void DeepSearchTest::ExpectALoadedLogSavesWhatItsScanSaved(const std::vector<LogCell>& cells)
{
    for (const LogCell& c : cells) {
        SCOPED_TRACE(testing::Message() << Narrow(c.item) << " " << Narrow(c.image) << " partition " << c.partition
                                        << (c.narrowed ? " narrowed" : ""));
        const bool letter = c.pick == Pick::Letter || c.pick == Pick::Recognised;
        const CString drive = CString(L"\\\\.\\") + c.item;
        if (letter)
            ListDriveAs(drive, ReadOnlyFile(ImagePath(c.image)).Size() / 512);
        SelectMedium(c.item, c.pick == Pick::Disk || c.pick == Pick::Partition, c.image, c.fs);
        ASSERT_FALSE(HasFatalFailure());
        uint64_t start = 0, end = imageSectors;
        if (c.pick == Pick::Partition) {
            const HTREEITEM part =
                ChildWith(dlg.DriveTree().GetSelectedItem(), (L"Partition - " + std::to_wstring(c.partition)).c_str());
            ASSERT_NE(nullptr, part);
            dlg.DriveTree().SelectItem(part);
            PumpPending();
            const DiskPartitionRecord& table = DiskPartitionTable[2];
            start = table.slot[c.partition - 1].startSector;
            end = table.slot[c.partition - 1].endSector;
            SetField(IDC_RANGE_MIN, 0);
            SetField(IDC_RANGE_MAX, imageSectors);
            SetField(IDC_RANGE_START, start);
            dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, c.fs);
        } else if (c.pick == Pick::LetterThroughDisk) {
            // Wine tells no drive letter's place on a disk: the letter's record is made to say it
            // lies on Disk2 as that disk's partition.
            auto* record =
                reinterpret_cast<DriveInfoRecord*>(dlg.DriveTree().GetItemData(dlg.DriveTree().GetSelectedItem()));
            ASSERT_NE(nullptr, record);
            const PartitionSlot& slot = DiskPartitionTable[2].slot[c.partition - 1];
            record->diskNumber = 2;
            record->volumeStartSector = slot.startSector;
            record->volumeEndSector = slot.endSector;
        } else if (c.pick == Pick::Recognised) {
            g_boxes.clear();
            dlg.OnBnClickedSearchMorePartitions();
            ASSERT_TRUE(PumpUntil([&] { return !dlg.RecognisedSearchRunning(); }, 30000));
            ASSERT_EQ(0, dlg.DriveTree().GetItemText(dlg.DriveTree().GetSelectedItem()).Find(L"Recognised1 - "));
            SetField(IDC_RANGE_MIN, 0);
            SetField(IDC_RANGE_MAX, imageSectors);
            SetField(IDC_RANGE_START, 0);
            dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, c.fs);
        }
        SetField(IDC_RANGE_END, c.narrowed ? start + (end - start) / 2 : end);
        {
            DialogAnswerer answer(IDC_LOG_LOGICAL,
                                  c.pick == Pick::LetterThroughDisk ? IDC_LOG_PHYSICAL : IDC_LOG_LOGICAL,
                                  dlg.GetSafeHwnd());
            dlg.OnBnClickedNext();
        }
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
        EXPECT_EQ(c.pick == Pick::LetterThroughDisk, dlg.Request().ScanAsPhysicalDisk);
        const std::map<std::string, std::string> scanned = SaveEverything(NewTempFolder(L"zr_logcell"));
        EXPECT_GE(scanned.size(), 3u);
        const CString log = PickNewLog(L"zr_logcelllog", L"cell.QLX");
        g_boxes.clear();
        dlg.OnBnClickedSaveLog();
        dlg.OnBnClickedBack();
        LoadPickedLog();
        SetScanLogPathPicker(nullptr);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(scanned, SaveEverything(NewTempFolder(L"zr_logcellload")));
        dlg.OnBnClickedBack();

        // The log named on the command line of a later run.
        notices.reset();
        dlg.DestroyWindow();
        PumpPending();
        dlg.SetPage(0);
        SetCommandLineLogPath(log);
        ASSERT_TRUE(dlg.Create(IDD_DEEP_SEARCH, nullptr));
        ShowSearchDialogUnderTest(dlg, notices);
        if (letter)
            ListDriveAs(drive, imageSectors);
        ASSERT_TRUE(PumpUntil([&] { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); },
                              60000));
        EXPECT_EQ(scanned, SaveEverything(NewTempFolder(L"zr_logcellstart")));
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
        ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));
    }
}

TEST_F(DeepSearchTest, ALoadedLogSavesWhatItsScanSavedOfADisk)
{
    ExpectALoadedLogSavesWhatItsScanSaved({
        { Pick::Disk, L"(Disk4 ", L"deepdisk.img", 0, 0, false },
        { Pick::Disk, L"(Disk14 ", L"deepntfsdisk.img", 2, 0, true },
    });
}

TEST_F(DeepSearchTest, ALoadedLogSavesWhatItsScanSavedOfAPartition)
{
    ExpectALoadedLogSavesWhatItsScanSaved({
        { Pick::Partition, L"(Disk2 ", L"mbr.img", 2, 2, false },
        { Pick::Partition, L"(Disk2 ", L"mbr.img", 2, 2, true },
        { Pick::Partition, L"(Disk2 ", L"mbr.img", 1, 1, true },
    });
}

TEST_F(DeepSearchTest, ALoadedLogSavesWhatItsScanSavedOfADriveLetter)
{
    ExpectALoadedLogSavesWhatItsScanSaved({
        { Pick::Recognised, L"P:", L"deepntfs.img", 2, 0, false },
        { Pick::Letter, L"O:", L"deepfat32.img", 1, 0, false },
        { Pick::Letter, L"P:", L"deepntfs.img", 2, 0, true },
        { Pick::Letter, L"Y:", L"ntfs.img", 2, 0, true },
        { Pick::Letter, L"W:", L"fat16.img", 0, 0, false },
        { Pick::LetterThroughDisk, L"X:", L"fat32.img", 1, 1, false },
    });
}

} // namespace

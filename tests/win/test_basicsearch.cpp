// The Basic Search dialog driven end to end on every kind of test medium, broken ones included.

#include <algorithm>
#include <atomic>
#include <random>
#include <set>

#include "app/notices.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "app/devicetree.h"
#include "app/startup.h"
#include "fsrecovery/basic_scan.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/driverecords.h"
#include "storage/pure/globals.h"
#include "storage/pure/scan_target.h"

namespace {

using namespace zr_test;

// A refused Next, on the drive page or the results page, leaves the selection state and the
// geometry the savers divide by alone.
TEST_F(BasicSearchTest, RefusedNextChangesNothing)
{
    ScanRequest& request = dlg.Request();
    request.target.geometry.sectorsPerCluster = request.FatVolumeParams.sectorsPerCluster = 8;
    dlg.DriveTree().SelectItem(dlg.DriveTree().GetRootItem());
    dlg.OnBnClickedNext();
    EXPECT_EQ(1u, g_boxes.size());

    // An end at or below the start, as the property list might show it for a broken record.
    SelectDrive(L"X:");
    dlg.DetailList()->SetItemText(1, 1, L"0");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_GE(g_boxes[1].Find(L"End Sector"), 0);
    NextAnswering(IDC_LOG_CANCEL);
    EXPECT_EQ(2u, g_boxes.size());
    EXPECT_EQ(0, dlg.Page());
    EXPECT_EQ(8u, request.target.geometry.sectorsPerCluster);
    EXPECT_EQ(8u, request.FatVolumeParams.sectorsPerCluster);

    g_boxes.clear();
    ScanDrive(L"X:");
    EXPECT_EQ(imageSectors, request.SelectedVolumeInfo.endSector);
    EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    // The results open on "Root", whatever takes the focus when Stop goes away.
    EXPECT_EQ(dlg.ResultTree().GetRootItem(), dlg.ResultTree().GetSelectedItem());
    const uint32_t spc = request.target.geometry.sectorsPerCluster;
    request.FatVolumeParams.sectorsPerCluster = 4;
    dlg.OnBnClickedNext();
    EXPECT_EQ(spc, request.target.geometry.sectorsPerCluster);
    EXPECT_EQ(4u, request.FatVolumeParams.sectorsPerCluster);
    EXPECT_EQ(1, dlg.Page());
}

// A drive letter's range is its own, whatever disk was selected last (Disk6 is far smaller than
// X:): read through its volume it is held by no disk, read through the disk it lies on by that
// disk alone.
TEST_F(BasicSearchTest, ADriveLettersRangeIsNotCutToADiskSelectedBefore)
{
    for (int answer : { IDC_LOG_LOGICAL, IDC_LOG_PHYSICAL }) {
        SCOPED_TRACE(answer == IDC_LOG_LOGICAL ? "logical" : "physical");
        ClickDisk(6);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_LT(StrToUInt64(dlg.PropertyValue(6)), 100000u);
        SelectDrive(L"X:");
        uint64_t first = 0, end = imageSectors;
        if (answer == IDC_LOG_PHYSICAL)
            PlaceDriveOnDisk(L"X:", 2, 0, first, end);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_GT(end - first, 100000u);
        // Disk6 is left the disk selected last (its size, and a drive value the launcher keeps)
        // while X: stays the item shown.
        SelectDiskItem(6, dlg.PhysicalDrivesItem());
        ASSERT_LT(DiskTotalSectors, 100000u);
        NextAnswering(answer);
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
        const ScanTarget& target = dlg.Request().target;
        EXPECT_EQ(first, target.firstSector);
        EXPECT_EQ(end, target.endSector);
        EXPECT_EQ(CString(answer == IDC_LOG_LOGICAL ? L"\\\\.\\X:" : L"\\\\.\\PhysicalDrive2"), target.devicePath);
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
}

// A drive letter read through its disk whose place there begins at or past the disk's end leaves
// nothing to read: Next refuses it with the End Sector message, stays on the drive page and keeps
// the request it had, never one whose range runs backwards.
TEST_F(BasicSearchTest, ADrivePlacedPastItsDisksEndIsRefused)
{
    SelectDiskItem(2, dlg.PhysicalDrivesItem());
    const uint64_t diskSectors = DiskTotalSectors;
    ASSERT_GT(diskSectors, 0u);
    for (const uint64_t past : { uint64_t(0), uint64_t(1), uint64_t(1000) }) {
        SCOPED_TRACE(past);
        SelectDrive(L"X:");
        uint64_t first = 0, end = 0;
        PlaceDriveOnDisk(L"X:", 2, 0, first, end);
        ASSERT_FALSE(HasFatalFailure());
        auto* record = reinterpret_cast<DriveInfoRecord*>(
            dlg.DriveTree().GetItemData(ChildStartingWith(dlg.LogicalDrivesItem(), L"X:")));
        record->volumeStartSector = diskSectors + past;
        record->volumeEndSector = diskSectors + past + 1000;
        const ScanTarget before = dlg.Request().target;
        g_boxes.clear();
        NextAnswering(IDC_LOG_PHYSICAL);
        PumpPending();
        EXPECT_EQ(0, dlg.Page());
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(L"End Sector"), 0) << ToUtf8(g_boxes[0]);
        EXPECT_EQ(before.firstSector, dlg.Request().target.firstSector);
        EXPECT_EQ(before.endSector, dlg.Request().target.endSector);
    }
}

class MediaTest : public BasicSearchTest {
protected:
    // Every folder of the results tree by its path ("/Root/A/").
    void MapFolders(HTREEITEM parent, const std::string& path, std::map<std::string, HTREEITEM>& out)
    {
        CTreeClass& tree = dlg.ResultTree();
        for (HTREEITEM c = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); c; c = tree.GetNextSiblingItem(c)) {
            const std::string child = path + Narrow(std::wstring(tree.GetItemText(c).GetString())) + "/";
            out[child] = c;
            MapFolders(c, child, out);
        }
    }

    // The truth's folder under "Root", or under the catch-all folder when its parent was lost.
    HTREEITEM FolderItem(const std::map<std::string, HTREEITEM>& folders, const std::string& truth)
    {
        for (const auto& f : folders)
            if (SamePath(f.first, "/Root" + truth))
                return f.second;
        for (const auto& f : folders)
            if (truth != "/" && f.first.find("/KXR_Miscellaneous/") != std::string::npos &&
                EndsWithFolder(f.first, truth))
                return f.second;
        return nullptr;
    }

    // The hash a saved file must have: for a file that points outside its volume the note's
    // "clipped=" one (what its volume holds of it), else its own.
    static std::string SavedHash(const TruthLine& e)
    {
        return e.notes.rfind("clipped=", 0) == 0 ? e.notes.substr(8) : e.sha256;
    }

    // The listed files of a folder (lower-case name -> size digits), each listed once.
    std::map<std::string, std::string> List(HTREEITEM item)
    {
        dlg.ResultTree().SelectItem(nullptr); // so that the root is listed again too
        ListFolder(item);
        std::map<std::string, std::string> files;
        CListCtrl& list = *dlg.DetailList();
        int fileRows = 0;
        for (int row = 0; row < list.GetItemCount(); ++row) {
            if (list.GetItemText(row, 1) == L"FOLDER") {
                // Folder rows carry their own entry's stamp (not an empty or zero one) and no size.
                if (list.GetItemText(row, 0) != L"KXR_Miscellaneous") {
                    EXPECT_GE(StrToInt32(list.GetItemText(row, 3).Right(4)), 2000) << row;
                }
                EXPECT_TRUE(list.GetItemText(row, 2).IsEmpty()) << row;
                continue;
            }
            ++fileRows;
            std::string size = Narrow(std::wstring(list.GetItemText(row, 2).GetString()));
            size.erase(std::remove_if(size.begin(), size.end(), [](char ch) { return ch < '0' || ch > '9'; }),
                       size.end());
            files[Lower(Narrow(std::wstring(list.GetItemText(row, 0).GetString())))] = size;
        }
        EXPECT_EQ(size_t(fileRows), files.size());
        return files;
    }
};

// Every intact file, deleted ones included, is listed with its size and saved with the truth's
// bytes in its own folder.
TEST_F(MediaTest, EveryIntactFileIsListedAndSavedByteExact)
{
    const Medium media[] = {
        { L"fat16.img", L"W:", L"FAT16" },
        { L"fat32.img", L"X:", L"FAT32" },
        { L"ntfs.img", L"Y:", L"NTFS" },
        { L"mbr.img", nullptr, L"FAT32", L"(Disk2 ", L"Partition - 1", "1:" },
        { L"gpt.img", nullptr, L"NTFS", L"(Disk1 ", L"Partition - 2", "2:" },
    };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image) + " " + m.truthPrefix);
        ScanMedium(m);
        if (HasFatalFailure())
            return;
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        std::map<std::string, HTREEITEM> folders;
        MapFolders(nullptr, "/", folders);

        // The truth's intact folders and files of this volume, files by folder.
        std::map<std::string, std::vector<TruthLine>> byFolder;
        std::map<std::string, int> shaCount;
        int deleted = 0;
        for (TruthLine e : LoadTruth(m.image)) {
            if (e.path.compare(0, m.truthPrefix.size(), m.truthPrefix) != 0 ||
                (e.state != "live" && e.state != "deleted") || e.notes.find("parent-overwritten") != std::string::npos)
                continue;
            e.path.erase(0, m.truthPrefix.size());
            std::vector<TruthLine>& files = byFolder[e.path.substr(0, e.path.rfind('/') + 1)];
            if (!e.isDir()) {
                files.push_back(e);
                ++shaCount[e.sha256];
                deleted += e.state == "deleted";
            }
        }
        EXPECT_GE(byFolder.size(), 10u);
        EXPECT_GE(deleted, 3);

        for (const auto& [folder, files] : byFolder) {
            const HTREEITEM item = FolderItem(folders, folder);
            EXPECT_NE(nullptr, item) << folder;
            if (item == nullptr)
                continue;
            const std::map<std::string, std::string> listed = List(item);
            for (const TruthLine& e : files) {
                const std::string name = Lower(e.path.substr(folder.size()));
                const auto shown = std::find_if(listed.begin(), listed.end(),
                                                [&](const auto& row) { return SameName(row.first, name); });
                EXPECT_NE(listed.end(), shown) << e.path;
                if (shown != listed.end()) {
                    EXPECT_EQ(std::to_string(e.size), shown->second) << e.path;
                }
            }
        }

        // /BULK only costs time here: the benchmark measures large copies.
        const std::map<std::string, std::string> saved =
            SaveEverything(NewTempFolder(L"zr_media"), ResultChild(dlg.ResultTree().GetRootItem(), "BULK"));
        for (const auto& [folder, files] : byFolder) {
            for (const TruthLine& e : files) {
                if (folder == "/BULK/")
                    continue;
                const auto found = saved.find(e.sha256);
                EXPECT_NE(saved.end(), found) << e.path;
                if (found == saved.end() || shaCount[e.sha256] > 1)
                    continue;
                const std::string dir = found->second.substr(0, found->second.rfind('/') + 1);
                EXPECT_TRUE(SamePath(dir, folder) || (folder != "/" && EndsWithFolder(dir, folder)))
                    << found->second << " for " << e.path;
            }
        }
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// Looping chains, zero sectors per cluster, NTFS attributes past their record: a message or a
// partial result, listings that end with each entry once, and the undamaged files exact.
TEST_F(MediaTest, BrokenVolumesEndWithAMessageOrAPartialResult)
{
    const Medium media[] = {
        { L"fatloop.img", L"R:", L"FAT16" },
        { L"fatzero.img", L"S:", L"FAT16" },
        { L"ntfsbad.img", L"T:", L"NTFS" },
    };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        const int noticesBefore = Notices();
        ScanMedium(m);
        if (HasFatalFailure())
            return;
        std::map<std::string, HTREEITEM> folders;
        MapFolders(nullptr, "/", folders);
        for (const auto& f : folders) {
            SCOPED_TRACE(f.first);
            List(f.second);
        }
        const bool told = !g_boxes.empty() || Notices() > noticesBefore;

        const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_broken"));
        int intact = 0;
        for (const TruthLine& e : LoadTruth(m.image)) {
            if (e.isDir() || !e.notes.empty() || told)
                continue;
            ++intact;
            EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
        }
        EXPECT_TRUE(told || intact >= 2);
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// An NTFS volume that passes its check but whose $MFT record is gone and its mirror's copy torn
// (\\.\N:, made with mkntfs and damaged at set-up): the dialog says why it shows nothing instead
// of an empty tree that looks like an empty volume, and no second notice follows. Next first clears
// the partition-search counters a search left set, without which Search More Partitions stays
// refused.
TEST_F(BasicSearchTest, AnUnreadableMftIsSaidOnTheDialogAndNextClearsLeftPartitionSearchCounters)
{
    SelectDrive(L"N:", L"nomft\\nomft.img", L"NTFS");
    main.PartitionSearchPending = 1;
    main.PartitionSearchRunning = 1;
    const int noticesBefore = Notices();
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    EXPECT_EQ(0, main.PartitionSearchPending.load());
    EXPECT_EQ(0, main.PartitionSearchRunning.load());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(BasicScanStatusMessage(BasicScanStatus::NoMftRuns), g_boxes[0]);
    EXPECT_GE(g_boxes[0].Find(L"(the Master File Table)"), 0);
    EXPECT_EQ(noticesBefore, Notices());
    const HTREEITEM root = dlg.ResultTree().GetRootItem();
    ASSERT_NE(nullptr, root);
    EXPECT_EQ(nullptr, dlg.ResultTree().GetChildItem(root));
    EXPECT_EQ(0u, dlg.Store().EntryCount());
    EXPECT_TRUE(Enabled(IDC_BS_BACK));
}

// A FAT16 entry whose size says 4 GiB, a FAT32 chain through a cluster past the volume's last and
// an NTFS run past the last cluster: each file is saved with what its own volume holds of it and
// not a byte of what follows the volume (marker sectors of no volume, the next partition), and the
// summary counts it as not saved whole. The other files are saved exactly.
TEST_F(MediaTest, NoSavedByteComesFromOutsideTheFilesVolume)
{
    const Medium media[] = {
        { L"spilldisk.img", nullptr, L"FAT16", L"(Disk19 ", L"Partition - 1", "1:" },
        { L"spilldisk.img", nullptr, L"FAT32", L"(Disk19 ", L"Partition - 2", "2:" },
        { L"spilldisk.img", nullptr, L"NTFS", L"(Disk19 ", L"Partition - 3", "3:" },
    };
    const std::vector<TruthLine> truth = LoadTruth(L"spilldisk.img");
    ASSERT_EQ(9u, truth.size());
    for (const Medium& m : media) {
        SCOPED_TRACE(m.truthPrefix);
        ScanMedium(m);
        if (HasFatalFailure())
            return;
        g_boxes.clear();
        const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_spill"));
        int files = 0;
        for (const TruthLine& e : truth) {
            if (e.path.compare(0, m.truthPrefix.size(), m.truthPrefix) != 0)
                continue;
            ++files;
            EXPECT_EQ(1u, saved.count(SavedHash(e))) << e.path;
        }
        EXPECT_EQ(3, files);
        // NTFS's own files ("$MFT" ...) are saved, or fail, besides.
        const size_t own = size_t(
            std::count_if(saved.begin(), saved.end(), [](const auto& f) { return f.second.rfind("/$", 0) != 0; }));
        EXPECT_EQ(size_t(files), own);
        ASSERT_FALSE(g_boxes.empty());
        if (own == saved.size()) {
            EXPECT_EQ(FormatSaveSummary(2, 0, 1), g_boxes.back());
        }
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// A FAT16 volume whose FATs are zeroed, on a drive that goes on past it: the scan works its
// layout out from its folders, and its boot sector still says where it ends. A file whose size
// runs past that end and one whose first cluster lies past it are saved with what the volume holds
// of them (the second with nothing) and not a byte of the drive's sectors after it.
TEST_F(MediaTest, AVolumeWithoutFatsEndsWhereItsBootSectorSays)
{
    ScanMedium({ L"fatpast.img", L"K:", L"FAT16" });
    if (HasFatalFailure())
        return;
    g_boxes.clear();
    const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_past"));
    int files = 0, clippedFiles = 0;
    for (const TruthLine& e : LoadTruth(L"fatpast.img")) {
        if (e.isDir())
            continue;
        ++files;
        clippedFiles += SavedHash(e) != e.sha256;
        EXPECT_EQ(1u, saved.count(SavedHash(e))) << e.path;
    }
    EXPECT_EQ(5, files);
    EXPECT_EQ(2, clippedFiles);
}

// NTFS's own files that keep their bytes in named streams only ($Secure, $Quota, $ObjId,
// $Reparse) are listed with size 0 and saved as the empty files they are: a whole volume made by
// mkntfs saves without a failure.
TEST_F(MediaTest, OwnFilesWithoutAnUnnamedStreamSaveAsEmptyFiles)
{
    ScanMedium({ L"ntfs.img", L"Y:", L"NTFS" });
    if (HasFatalFailure())
        return;
    g_boxes.clear();
    const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_own"));
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_GE(g_boxes.back().Find(L" skipped, 0 failed."), 0) << ToUtf8(g_boxes.back());
    EXPECT_EQ(1u, saved.count(Sha256Hex(nullptr, 0)));
}

// Names holding "..", "\", ":" and control characters are saved under plain names, inside the
// destination and nowhere else.
TEST_F(MediaTest, HostileNamesAreSavedInsideTheDestination)
{
    const std::pair<Medium, int> cases[] = {
        { { L"fatnames.img", L"U:", L"FAT16" }, 6 },
        { { L"ntfsbad.img", L"T:", L"NTFS" }, 1 },
    };
    for (const auto& [medium, hostileFiles] : cases) {
        SCOPED_TRACE(Narrow(medium.image));
        ScanMedium(medium);
        if (HasFatalFailure())
            return;
        const CString outer = NewTempFolder(L"zr_names");
        const CString destination = outer + L"\\dest";
        ASSERT_TRUE(::CreateDirectoryW(destination, nullptr));
        const std::map<std::string, std::string> saved = SaveEverything(destination);
        int hostile = 0;
        for (const TruthLine& e : LoadTruth(medium.image)) {
            if (e.isDir() || e.notes.rfind("name=", 0) != 0)
                continue;
            ++hostile;
            const auto found = saved.find(e.sha256);
            ASSERT_NE(saved.end(), found) << e.path;
            // Plain names only, and as many folders deep as on the volume.
            const std::string path = found->second + "/";
            EXPECT_EQ(std::count(e.path.begin(), e.path.end(), '/') + 1, std::count(path.begin(), path.end(), '/'))
                << path;
            EXPECT_EQ(std::string::npos, path.find_first_of(":\\")) << path;
            EXPECT_TRUE(std::none_of(path.begin(), path.end(), [](char ch) { return (unsigned char)ch < 0x20; }))
                << path;
            for (const char* step : { "//", "/./", "/../" })
                EXPECT_EQ(std::string::npos, path.find(step)) << path;
        }
        EXPECT_EQ(hostileFiles, hostile);
        EXPECT_TRUE(::RemoveDirectoryW(outer)) << "something landed beside the destination";
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// A long name that holds half of a surrogate pair, as damaged FAT volumes show them, is saved
// under the name without it; a file the destination refuses (a folder of its name is there) is
// counted among the failed ones, and every other file of the volume is saved, byte for byte.
TEST_F(MediaTest, AHalfSurrogateNameIsSavedCleanedAndARefusedFileFailsAlone)
{
    ScanMedium({ L"fatlone.img", L"L:", L"FAT16" });
    if (HasFatalFailure())
        return;
    const CString destination = NewTempFolder(L"zr_lone");
    ASSERT_TRUE(::CreateDirectoryW(destination + L"\\taken.txt", nullptr));
    g_boxes.clear();
    std::map<std::string, std::string> saved;
    {
        DialogAnswerer overwrite(IDC_RPL_RENAME, IDOK); // which the folder of that name refuses
        saved = SaveEverything(destination);
        EXPECT_EQ(1, overwrite.Count());
    }
    uint64_t others = 0;
    for (const TruthLine& e : LoadTruth(L"fatlone.img")) {
        if (e.isDir() || e.path == "/taken.txt")
            continue;
        ++others;
        const auto found = saved.find(e.sha256);
        ASSERT_NE(saved.end(), found) << e.path;
        EXPECT_TRUE(e.notes.empty() || found->second == "/halfpair.txt") << found->second;
    }
    EXPECT_EQ(15u, others);
    EXPECT_EQ(others, saved.size());
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_EQ(FormatSaveSummary(others, 0, 1), g_boxes.back());
}

// A click on the tick box of a results folder, as the user makes it.
void ClickTickBox(CTreeClass& tree, HTREEITEM item)
{
    tree.EnsureVisible(item);
    PumpPending();
    CRect label;
    ASSERT_TRUE(tree.GetItemRect(item, &label, TRUE));
    // The box stands before the folder's picture, which stands before the name.
    CImageList* states = tree.GetImageList(TVSIL_STATE);
    CImageList* pictures = tree.GetImageList(TVSIL_NORMAL);
    ASSERT_TRUE(states != nullptr && pictures != nullptr);
    const CPoint at(label.left - pictures->GetIconSize().cx - states->GetIconSize().cx / 2, label.CenterPoint().y);
    UINT hit = 0;
    ASSERT_EQ(item, tree.HitTest(at, &hit));
    ASSERT_NE(0u, hit & TVHT_ONITEMSTATEICON);
    tree.PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    tree.PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    PumpPending();
}

// What is ticked is what is saved: a deleted subfolder ticked alone saves its own files and no file
// of its parent (which shows partly ticked); the parent ticked afterwards saves everything below it.
TEST_F(BasicSearchTest, ATickedSubfolderSavesItsFilesAndNoneOfItsParents)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem();
    const HTREEITEM old = ResultChild(root, "OLDSTUFF");
    ASSERT_NE(nullptr, old);
    const HTREEITEM sub = ResultChild(old, "Sub");
    ASSERT_NE(nullptr, sub);
    std::set<std::string> inSub, inOld;
    for (const TruthLine& e : LoadTruth(L"fat32.img")) {
        if (e.isDir() || e.path.rfind("/OLDSTUFF/", 0) != 0)
            continue;
        inOld.insert(e.sha256);
        if (e.path.rfind("/OLDSTUFF/Sub/", 0) == 0)
            inSub.insert(e.sha256);
    }
    ASSERT_EQ(3u, inSub.size());
    ASSERT_GT(inOld.size(), inSub.size());
    const auto shas = [](const std::map<std::string, std::string>& saved) {
        std::set<std::string> out;
        for (const auto& f : saved)
            out.insert(f.first);
        return out;
    };

    tree.Expand(old, TVE_EXPAND);
    ClickTickBox(tree, sub);
    EXPECT_EQ(2, tree.GetCheckState(sub));
    EXPECT_EQ(3, tree.GetCheckState(old));
    EXPECT_EQ(3, tree.GetCheckState(root));
    EXPECT_EQ(inSub, shas(SaveWith(NewTempFolder(L"zr_ticks"), [&] { dlg.OnBnClickedSave(); })));

    // A partly ticked box is cleared by the first click and ticked, with all below it, by the next.
    ClickTickBox(tree, old);
    EXPECT_EQ(1, tree.GetCheckState(sub));
    ClickTickBox(tree, old);
    EXPECT_EQ(2, tree.GetCheckState(old));
    EXPECT_EQ(2, tree.GetCheckState(sub));
    EXPECT_EQ(3, tree.GetCheckState(root));
    EXPECT_EQ(inOld, shas(SaveWith(NewTempFolder(L"zr_ticks"), [&] { dlg.OnBnClickedSave(); })));
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

// Real scans of the FAT32 and NTFS images stopped at random moments: each ends on the results
// page with a tree made of what the whole scan finds (nothing more), and Back and Next work after.
TEST_F(BasicSearchTest, StopAtRandomMomentsOfARealScanKeepsWhatItFound)
{
    struct Volume {
        const wchar_t *letter, *image, *fs;
        std::set<CString> whole; // the folders of a scan left to its end
    } volumes[] = { { L"X:", L"fat32.img", L"FAT32" }, { L"Y:", L"ntfs.img", L"NTFS" } };
    for (Volume& v : volumes) {
        ScanDrive(v.letter, v.image, v.fs);
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", v.whole);
        ASSERT_GE(v.whole.size(), 5u);
        dlg.OnBnClickedBack();
    }
    std::mt19937 random(7);
    int shorter = 0;
    for (int round = 0; round < 16; ++round) {
        Volume& v = volumes[round % 2];
        SCOPED_TRACE(testing::Message() << "round " << round << " " << Narrow(v.image));
        g_boxes.clear();
        SelectDrive(v.letter, v.image, v.fs);
        NextAnswering(IDC_LOG_LOGICAL);
        ASSERT_EQ(1, dlg.Page());
        // Until the scan has read a random share of what it reads (its counters say how far it is).
        const double share = double(random() % 1000) / 1000.0;
        PumpUntil([&] { return ScanPassed(dlg, IDC_BS_SCANNED, IDC_BS_CURRENT, share); }, 30000);
        // Back is refused while the scan runs (the dialog's own view of it, which only its thread
        // changes).
        if (dlg.ScanRunning()) {
            dlg.OnBnClickedBack();
            EXPECT_EQ(1u, g_boxes.size());
            EXPECT_EQ(1, dlg.Page());
        }
        dlg.OnBnClickedStop();
        dlg.OnBnClickedStop(); // a second Stop finds nothing to stop
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
        EXPECT_TRUE(dlg.ResultTree().IsWindowVisible());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_BS_STOP)->IsWindowVisible());
        std::set<CString> found;
        FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", found);
        // A stopped FAT scan finds its folders by cluster and names them from their parents: one
        // whose parent was not reached yet waits under the catch-all folder with its number.
        for (const CString& path : found)
            EXPECT_TRUE(v.whole.count(path) != 0 || path.Find(L"KXR_Miscellaneous/") >= 0) << ToUtf8(path);
        shorter += found.size() < v.whole.size();
        ListFolder(dlg.ResultTree().GetRootItem());
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
    }
    EXPECT_GE(shorter, 3); // most stops came before the end
    ScanDrive(L"X:");
    std::set<CString> again;
    FolderPaths(dlg.ResultTree(), dlg.ResultTree().GetRootItem(), L"", again);
    EXPECT_EQ(volumes[0].whole, again);
}

// A found-entry store that cannot grow ends the program with the words of the list it could not
// grow (NTFS records as data runs, FAT folders as cluster lists), not with an unhandled exception.
std::vector<int> g_endedWith;
void RecordEnd(int code)
{
    g_endedWith.push_back(code);
}
UINT ScanWithLittleMemory(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    dlg->Store().SetMemoryLimit(64 << 10);
    ScanTarget target = dlg->Target();
    RunBasicScan(target, dlg->Store(), &dlg->ScanStop(), dlg->Host(), dlg->ProgressBar());
    ADD_FAILURE() << "the scan went on without the memory for its rows";
    return 0;
}

TEST_F(BasicSearchTest, AStoreThatCannotGrowEndsTheProgramWithItsMessage)
{
    const ZrProcessEnder previous = ZrSetProcessEnder(RecordEnd);
    SetBasicScanProc(ScanWithLittleMemory);
    const struct {
        const wchar_t *letter, *image, *fs, *text;
    } cases[] = { { L"Y:", L"ntfs.img", L"NTFS", L"Memory Allocation Error." },
                  { L"X:", L"fat32.img", L"FAT32", L"Not Enough Memory" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.fs));
        g_boxes.clear();
        g_endedWith.clear();
        ScanDrive(c.letter, c.image, c.fs);
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(CString(c.text), g_boxes[0]);
        EXPECT_EQ(std::vector<int>{ 0 }, g_endedWith);
        dlg.OnBnClickedBack();
    }
    SetBasicScanProc(nullptr);
    ZrSetProcessEnder(previous);
}

// An exit asked for while found files are being saved (here from the main window, by a timer that
// the save's own message loop runs): the save stops after the block it copies and deletes the file
// it was writing, and only then does the program end; every file left is whole.
CDelvaneDlg* g_exiting = nullptr;
bool g_savingAtEnd = true;
void RecordEndAfterSave(int code)
{
    g_endedWith.push_back(code);
    g_savingAtEnd = g_exiting != nullptr && g_exiting->SavingFilesDlg != nullptr;
}
void CALLBACK ExitDuringSave(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    if (g_exiting != nullptr)
        g_exiting->OnClose();
}

TEST_F(BasicSearchTest, AnExitDuringASaveLeavesEveryFileWholeOrAbsent)
{
    ScanDrive(L"X:");
    // What a save that is not stopped writes: every file whole.
    std::set<std::string> whole;
    for (const auto& f : SaveEverything(NewTempFolder(L"zr_exit")))
        whole.insert(f.first);
    g_endedWith.clear();
    const ZrProcessEnder previous = ZrSetProcessEnder(RecordEndAfterSave);
    g_boxAnswer = IDYES;
    g_exiting = &main;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 40, ExitDuringSave);
    const std::map<std::string, std::string> saved = SaveEverything(NewTempFolder(L"zr_exit"));
    ::KillTimer(nullptr, timer);
    g_exiting = nullptr;
    ZrSetProcessEnder(previous);
    EXPECT_EQ(std::vector<int>{ 0 }, g_endedWith);
    EXPECT_FALSE(g_savingAtEnd);
    EXPECT_LT(saved.size(), whole.size()); // it was stopped
    for (const auto& [sha, path] : saved)
        EXPECT_EQ(1u, whole.count(sha)) << path;
}

// Narrowing and widening switch between two fixed widths however often they are repeated.
TEST_F(BasicSearchTest, ProgressAreaSwitchesBetweenTwoWidths)
{
    auto width = [&] {
        CRect r;
        dlg.GetDlgItem(IDC_BS_PROGRESS)->GetWindowRect(&r);
        return r.Width();
    };
    const int wide = width();
    dlg.ShrinkProgressArea();
    dlg.ShrinkProgressArea();
    EXPECT_EQ(wide - 75, width());
    dlg.GrowProgressArea();
    dlg.GrowProgressArea();
    EXPECT_EQ(wide, width());
}

} // namespace

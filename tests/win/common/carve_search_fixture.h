// A Photo, Signature or Video Search dialog on carvemedia.img (\\.\PhysicalDrive6 and \\.\M:):
// message boxes recorded, the shell's openings recorded, the shipped data files in place, and the
// steps a user takes from the drive step to the end of a scan.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/devicetree.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/shellservices.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "sigrecovery/carvesession.h"
#include "sigrecovery/photosearch.h"
#include "sigrecovery/sigsearch.h"
#include "storage/pure/storage_host.h"
#include "storage/sector_source.h"

namespace zr_test {

constexpr wchar_t kDisk[] = L"\\\\.\\PhysicalDrive6";

// What the shell was asked to open (while a carving test runs).
extern std::vector<CString> g_opened;
void RecordOpen(int, const CString& target, CWnd*);

// The shipped data files beside the test program, where the dialogs look for them; the Photo
// lists loaded once, as start-up does.
void PrepareDataFiles();

class CarveSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        truth = LoadCarveMediaTruth(L"carvemedia.img");
        if (truth.found.empty())
            GTEST_SKIP() << "no carvemedia truth (ZR_IMAGES not set?)";
        PrepareDataFiles();
        // Open() sets the mode of the dialog it opens.
        BeginSearchDialogTest(main, kModePhoto, previousHook);
        g_opened.clear();
        SetShellOpenHook(RecordOpen);
        sectors = ReadOnlyFile(kDisk).Size() / 512;
        ASSERT_GT(sectors, 0u);
    }

    void TearDown() override
    {
        for (const CString& text : g_boxesWithoutOwner)
            ADD_FAILURE() << "a message box with no visible, enabled owner: " << Narrow(std::wstring(text.GetString()));
        if (dlg != nullptr && dlg->GetSafeHwnd() != nullptr)
            dlg->DestroyWindow();
        PumpPending();
        dlg.reset();
        SetShellOpenHook(nullptr);
        SetFolderBrowserHook(nullptr);
        ZrSetMessageBoxHook(previousHook);
        SetStorageHost(nullptr);
        SetSearchHost(nullptr);
        std::map<std::string, std::string> taken;
        for (const CString& folder : folders)
            TakeSavedFiles(std::wstring(folder.GetString()), "", taken);
        CWnd::DeleteTempMap();
    }

    // Opens the dialog of `kind` (or the one given) on the drive step.
    void Open(CarveSearchKind kind, std::unique_ptr<CCarveSession> made = nullptr)
    {
        const int mode = kind == CarveSearchKind::Photo ? kModePhoto
            : kind == CarveSearchKind::Video            ? kModeVideo
                                                        : kModeSignature;
        main.SearchMode = mode;
        if (made == nullptr) {
            if (kind == CarveSearchKind::Photo)
                made = std::make_unique<CRawSearch>(&main);
            else
                made = std::make_unique<CSigDuplicate>(kind, &main);
        }
        dlg = std::move(made);
        const UINT templateId = kind == CarveSearchKind::Photo ? IDD_PHOTO_SEARCH
            : kind == CarveSearchKind::Video                   ? IDD_VIDEO_SEARCH
                                                               : IDD_SIGNATURE_SEARCH;
        ASSERT_TRUE(dlg->Create(templateId, nullptr));
        dlg->ShowWindow(SW_SHOW);
        PumpPending();
    }

    HTREEITEM ChildWith(HTREEITEM parent, const wchar_t* text)
    {
        CTreeClass& tree = dlg->DriveTree();
        for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c))
            if (tree.GetItemText(c).Find(text) >= 0)
                return c;
        return nullptr;
    }

    // Selects the carving disk (or the drive letter M:) and sets the sector fields.
    void SelectMedium(bool driveLetter, uint64_t start, uint64_t end)
    {
        const HTREEITEM item = driveLetter ? ChildWith(dlg->LogicalDrivesItem(), L"M:")
                                           : ChildWith(dlg->PhysicalDrivesItem(), L"(Disk6 - ");
        ASSERT_NE(nullptr, item);
        dlg->DriveTree().SelectItem(item);
        PumpPending();
        SetField(IDC_RANGE_START, start);
        SetField(IDC_RANGE_END, end);
    }

    void SetField(int id, uint64_t value)
    {
        CString text;
        text.Format(L"%llu", (unsigned long long)value);
        dlg->SetDlgItemText(id, text);
    }

    // Next on the drive step (answering the logical-or-physical question when it comes).
    void NextFromDriveStep(int logicalAnswer = IDC_LOG_LOGICAL)
    {
        DialogAnswerer answer(logicalAnswer, logicalAnswer);
        dlg->OnBnClickedNext();
    }

    CString NewDestination()
    {
        folders.push_back(NewTempFolder(L"zrcarvedlg"));
        return folders.back();
    }

    // Next on the options step with `destination`, then waits for the scan (and the thumbnails)
    // to end.
    void ScanInto(const CString& destination)
    {
        dlg->SetDlgItemText(dlg->CarveLayout().destination, destination);
        dlg->OnBnClickedNext();
        ASSERT_EQ(CCarveSession::kScanStep, dlg->Page());
        // The guide line while the scan runs (its end is shown only once this thread looks).
        EXPECT_EQ(CString(dlg->Info().kind == CarveSearchKind::Photo ? HintStopSearching : HintStopRecovery),
                  Text(dlg->CarveLayout().hint));
        WaitForScanEnd();
        EXPECT_EQ(CString(HintViewRecovered), Text(dlg->CarveLayout().hint));
    }

    void WaitForScanEnd()
    {
        auto* photo = dynamic_cast<CRawSearch*>(dlg.get());
        ASSERT_TRUE(PumpUntil(
            [&] {
                return !dlg->ScanRunning() && Enabled(dlg->Layout().back) &&
                    (photo == nullptr || !photo->ThumbnailsPending());
            },
            60000));
        dlg->ShowPendingFinds();
        if (photo != nullptr)
            photo->ShowReadyThumbnails();
    }

    bool Enabled(int id) { return dlg->GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    CString Text(int id)
    {
        CString text;
        dlg->GetDlgItemText(id, text);
        return text;
    }
    bool Visible(int id) { return dlg->GetDlgItem(id)->IsWindowVisible() != FALSE; }

    // The truth's finds of one search (photo, sig, video), of the General pass or of both.
    std::vector<CarveFind> Expected(const char* search, bool withThorough)
    {
        std::vector<CarveFind> out;
        for (const CarveFind& f : truth.found)
            if (f.search == search && (withThorough || f.pass == "general"))
                out.push_back(f);
        return out;
    }

    // Every expected find is shown under its name, saved in its pass's and type's folder with the
    // bytes the truth gives; nothing else was found.
    void ExpectFinds(const std::vector<CarveFind>& expected, const CString& destination)
    {
        const std::vector<CarveFound>& shown = dlg->Results().Shown();
        ASSERT_EQ(expected.size(), shown.size());
        for (const CarveFind& f : expected) {
            SCOPED_TRACE(f.name);
            const auto row =
                std::find_if(shown.begin(), shown.end(), [&](const CarveFound& c) { return ToUtf8(c.name) == f.name; });
            ASSERT_NE(shown.end(), row);
            EXPECT_EQ(row->thorough, f.pass == "thorough");
            CString path;
            ASSERT_TRUE(
                CarveFilePath(destination, dlg->Info().kind, row->thorough, Widen(f.key).c_str(), row->name, &path));
            EXPECT_EQ(path, row->path);
            EXPECT_EQ(f.sha256, FileSha(path));
        }
    }

    CDelvaneDlg main;
    std::unique_ptr<CCarveSession> dlg;
    CarveMediaTruth truth;
    uint64_t sectors = 0;
    std::vector<CString> folders;
    ZrMessageBoxHook previousHook = nullptr;
};

} // namespace zr_test

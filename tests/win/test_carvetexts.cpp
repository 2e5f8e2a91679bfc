// What the carving dialogs tell on carvemedia.img (\\.\PhysicalDrive6) beside their scans: Need
// Help's selected-drive box, Photo Search's rows for the whole disk offered as a partition, and
// Photo Search's count per picture type, each type in a row of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/carve_search_fixture.h"
#include "sigrecovery/sigfiles.h"

using namespace zr_test;

namespace {

// Need Help tells the selected drive and the item it lies under, then opens the help dialog;
// F1 opens the help dialog alone.
TEST_F(CarveSearchTest, NeedHelpTellsTheSelectedDriveBeforeTheHelpDialog)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        Open(kind);
        SCOPED_TRACE(ToUtf8(dlg->Info().caption));
        SelectMedium(false, 0, sectors - 1);
        CTreeClass& tree = dlg->DriveTree();
        const HTREEITEM disk = tree.GetSelectedItem();
        const int helpButton = kind == CarveSearchKind::Photo ? IDC_NEED_HELP : IDC_SS_NEED_HELP;
        g_boxes.clear();
        size_t boxesWhenHelpShown = 0;
        {
            DialogAnswerer help(IDC_HELP_LAUNCH, IDOK, dlg->GetSafeHwnd());
            dlg->SendMessage(WM_COMMAND, MAKEWPARAM(helpButton, BN_CLICKED),
                             LPARAM(dlg->GetDlgItem(helpButton)->GetSafeHwnd()));
            boxesWhenHelpShown = g_boxes.size();
            EXPECT_EQ(1, help.Count());
        }
        ASSERT_EQ(1u, boxesWhenHelpShown);
        EXPECT_EQ(L"Selected Drive : " + tree.GetItemText(disk) + L"\nParent Item : Physical Drives", g_boxes[0]);

        // After the tree made way for the options step, the box still names the chosen drive.
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        g_boxes.clear();
        {
            DialogAnswerer help(IDC_HELP_LAUNCH, IDOK, dlg->GetSafeHwnd());
            dlg->SendMessage(WM_COMMAND, MAKEWPARAM(helpButton, BN_CLICKED),
                             LPARAM(dlg->GetDlgItem(helpButton)->GetSafeHwnd()));
            EXPECT_EQ(1, help.Count());
        }
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(0, g_boxes[0].Find(L"Selected Drive : " + tree.GetItemText(disk) + L"\n"));

        g_boxes.clear();
        {
            DialogAnswerer help(IDC_HELP_LAUNCH, IDOK, dlg->GetSafeHwnd());
            dlg->SendMessage(WM_HELP, 0, 0);
            EXPECT_EQ(1, help.Count());
        }
        EXPECT_TRUE(g_boxes.empty());
        dlg->DestroyWindow();
    }
}

// A partition search on a disk without partitions offers the whole disk; Photo Search's detail
// rows leave its start sector empty (the Start field holds it), Signature Search's show 0.
TEST_F(CarveSearchTest, TheWholeDiskOfferedShowsPhotoSearchNoStartSector)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature }) {
        Open(kind);
        SCOPED_TRACE(ToUtf8(dlg->Info().caption));
        SelectMedium(false, 0, 1);
        const HTREEITEM disk = dlg->DriveTree().GetSelectedItem();
        {
            DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
            dlg->OnBnClickedSearchMorePartitions();
        }
        ASSERT_TRUE(
            PumpUntil([&] { return g_pPartitionSearchThread == nullptr && main.PartitionSearchRunning == 0; }, 60000));
        PumpPending();
        const HTREEITEM whole = dlg->DriveTree().GetChildItem(disk);
        ASSERT_NE(nullptr, whole);
        ASSERT_EQ(whole, dlg->DriveTree().GetSelectedItem());

        CListCtrl& details = *dlg->DetailList();
        ASSERT_EQ(7, details.GetItemCount());
        const bool photo = kind == CarveSearchKind::Photo;
        EXPECT_EQ(CString(L"4. Search Mode : "), details.GetItemText(3, 0));
        EXPECT_EQ(CString(dlg->Info().caption), details.GetItemText(3, 1));
        EXPECT_EQ(CString(L"5. Start Sector : "), details.GetItemText(4, 0));
        EXPECT_EQ(CString(photo ? L"" : L"0"), details.GetItemText(4, 1));
        EXPECT_EQ(CString(L"6. End Sector : "), details.GetItemText(5, 0));
        EXPECT_EQ(sectors, StrToUInt64(details.GetItemText(5, 1)));
        EXPECT_EQ(CString(L"0"), Text(IDC_RANGE_START));
        EXPECT_EQ(sectors, StrToUInt64(Text(IDC_RANGE_END)));

        // The drive step's Next reads the range from the fields, not from the rows.
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes.back()));
        EXPECT_EQ(0u, dlg->Target().firstSector);
        dlg->DestroyWindow();
        PumpPending();
    }
}

// Photo Search on a medium of its own, with the given General list.
class PhotoOnFile : public CRawSearch {
public:
    PhotoOnFile(const CString& medium, SearchHost* host) : CRawSearch(host), file(medium) { }
    CString DevicePath() override { return file; }
    CString file;
};

FileType1 Signature(const wchar_t* extension, const char* header)
{
    FileType1 t;
    t.extension = extension;
    t.maxSize = L"512";
    t.offset = 1;
    t.signatureLength = int32_t(strlen(header));
    for (int i = 0; i < t.signatureLength; ++i)
        t.signature[i] = uint8_t(header[i]);
    t.firstByte = t.signature[0];
    return t;
}

// The type-count list has a row per type as its data file writes it, a type whose extension
// begins another's included, and counts each find in its own type's row.
TEST_F(CarveSearchTest, PhotoCountsEachTypeInItsOwnRow)
{
    const std::vector<FileType1> general = GeneralFileTypeList, advance = AdvanceFileTypeList;
    GeneralFileTypeList = { Signature(L".TIFF", "MM\x01*"), Signature(L".tif", "II*\x01"),
                            Signature(L".jpg", "\xFF\xD8\xFF") };
    AdvanceFileTypeList = { Signature(L".jp", "\xFF\xD8\xFE"), Signature(L".JPG", "\xFF\xD8\xFD") };
    struct Restore {
        const std::vector<FileType1>&g, &a;
        ~Restore()
        {
            GeneralFileTypeList = g;
            AdvanceFileTypeList = a;
        }
    } restore{ general, advance };

    // Sectors: tif, TIFF, tif, jpg; each find one sector.
    const char* const headers[] = { "II*\x01", "MM\x01*", "II*\x01", "\xFF\xD8\xFF" };
    const CString medium = NewDestination() + L"\\types.img";
    std::vector<uint8_t> bytes(sizeof(headers) / sizeof(headers[0]) * 512, 0x20);
    for (size_t i = 0; i < sizeof(headers) / sizeof(headers[0]); ++i)
        memcpy(&bytes[i * 512], headers[i], strlen(headers[i]));
    HANDLE h = ::CreateFileW(medium, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ASSERT_TRUE(h != INVALID_HANDLE_VALUE && ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    ::CloseHandle(h);

    Open(CarveSearchKind::Photo, std::make_unique<PhotoOnFile>(medium, &main));
    CListCtrl& counts = static_cast<CRawSearch&>(*dlg).TypeCounts();
    const auto rows = [&] {
        std::vector<std::pair<CString, CString>> out;
        for (int row = 0; row < counts.GetItemCount(); ++row)
            out.emplace_back(counts.GetItemText(row, 0), counts.GetItemText(row, 1));
        return out;
    };
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{
                  { L"TIFF", L"0" }, { L"tif", L"0" }, { L"jpg", L"0" }, { L"jp", L"0" } }),
              rows());
    for (int row = 0; row < counts.GetItemCount(); ++row)
        EXPECT_EQ(counts.GetItemText(row, 0), counts.GetItemText(row, 2));

    SelectMedium(false, 0, 3);
    NextFromDriveStep();
    dlg->CheckDlgButton(IDC_PS_THOROUGH, BST_UNCHECKED);
    ScanInto(NewDestination());
    EXPECT_EQ(4u, dlg->Results().FoundCount());
    EXPECT_EQ((std::vector<std::pair<CString, CString>>{
                  { L"TIFF", L"1" }, { L"tif", L"2" }, { L"jpg", L"1" }, { L"jp", L"0" } }),
              rows());
}

} // namespace

#include "fsrecovery/savefiles.h"

#include "app/maindlg.h"
#include "app/questions.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/destinationfacts.h"
#include "storage/pure/namesanitiser.h"

const wchar_t* const kDestinationOnSourceText =
    L"The selected folder is on the drive being recovered. Saving there could overwrite the deleted "
    L"data you want to recover.\n\nPlease select a folder on another drive.";

CSavingFilesDlg::CSavingFilesDlg(CWnd* parent) : CDialog(IDD_SAVING_FILES, parent) { }

BOOL CSavingFilesDlg::Create()
{
    return CDialog::Create(IDD_SAVING_FILES, m_pParentWnd);
}

BOOL CSavingFilesDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    ::SendDlgItemMessageW(m_hWnd, IDC_SAVE_FILES_BAR, PBM_SETRANGE32, 0,
                          LPARAM(TotalFilesToSave > 0x7FFFFFFF ? 0x7FFFFFFF : TotalFilesToSave));
    ::SendDlgItemMessageW(m_hWnd, IDC_SAVE_FILES_BAR, PBM_SETSTEP, 1, 0);
    return TRUE;
}

void CSavingFilesDlg::OnCancel()
{
    StopSaving = 1;
    SaveAborted = 1;
    if (CWnd* button = GetDlgItem(IDCANCEL))
        button->EnableWindow(FALSE);
}

bool DestinationOnScannedVolume(const CString& folder, const FoundVolume& volume)
{
    return DestinationOnScannedMedium(GatherDestinationFacts(folder, false),
                                      ScannedMediumOf(volume.devicePath, volume.firstSector, volume.endSector));
}

SaveCounts SaveFoundItems(const std::vector<SaveItem>& items, const CString& destination, CWnd* owner, bool quiet)
{
    SaveCounts counts;
    HWND ownerWnd = owner ? owner->GetSafeHwnd() : nullptr;
    CString probe;
    bool onSource = !JoinUnderFolder(destination, CString(L"x"), &probe);
    const FoundVolume* checked = nullptr;
    for (const SaveItem& item : items) {
        if (onSource || item.volume == nullptr || item.volume == checked)
            continue;
        onSource = DestinationOnScannedVolume(destination, *item.volume);
        checked = item.volume;
    }
    if (onSource) {
        ZrMessageBox(ownerWnd, kDestinationOnSourceText, L"Message", MB_OK | MB_ICONINFORMATION);
        counts.skipped = items.size();
        return counts;
    }
    FileExistsPolicy = 0;
    SaveAborted = 0;
    StopSaving = 0;
    OpeningForView = 0;
    SavedFileCount = 0;
    TotalFilesToSave = items.size();

    CSavingFilesDlg dialog(owner);
    if (dialog.Create()) {
        dialog.ShowWindow(SW_SHOW);
        g_pSavingFilesDlg = &dialog;
    }
    if (ownerWnd)
        ::EnableWindow(ownerWnd, FALSE);
    for (const SaveItem& item : items) {
        PumpSavingDialog();
        if (SaveAborted) {
            ++counts.skipped;
            continue;
        }
        std::vector<CString> names;
        if (item.folders)
            names = *item.folders;
        names.push_back(item.file.name);
        CString path;
        if (item.volume == nullptr || !JoinUnderFolder(destination, names, &path)) {
            ++counts.failed;
            continue;
        }
        CreateDirectoryPath(PathFolderPart(path));
        const SaveOutcome outcome = item.file.ntfs
            ? SaveNtfsFile(*item.volume, path, item.file.name, item.file.size, item.file.recordSector, 0, 0, 1)
            : SaveFatFile(*item.volume, path, item.file.name, item.file.size, item.file.firstCluster, 1);
        if (outcome == SaveOutcome::Saved)
            ++counts.saved;
        else if (outcome == SaveOutcome::Skipped)
            ++counts.skipped;
        else
            ++counts.failed;
    }
    if (ownerWnd)
        ::EnableWindow(ownerWnd, TRUE);
    g_pSavingFilesDlg = nullptr;
    if (dialog.GetSafeHwnd())
        dialog.DestroyWindow();
    if (!quiet)
        ZrMessageBox(ownerWnd, FormatSaveSummary(counts.saved, counts.skipped, counts.failed), L"Message",
                     MB_OK | MB_ICONINFORMATION);
    return counts;
}

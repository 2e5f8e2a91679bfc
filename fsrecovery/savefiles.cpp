#include "fsrecovery/savefiles.h"

#include <set>

#include "app/searchhost.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/destination_check.h"
#include "storage/pure/namesanitiser.h"

const wchar_t* const kDestinationOnSourceText =
    L"The selected folder is on the drive being recovered. Saving there could overwrite the deleted "
    L"data you want to recover.\n\nPlease select a folder on another drive.";

CSavingFilesDlg::CSavingFilesDlg(CWnd* parent, WriteState* state)
    : CDialog(IDD_SAVING_FILES, parent), m_state(state) { }

BOOL CSavingFilesDlg::Create()
{
    return CDialog::Create(IDD_SAVING_FILES, m_pParentWnd);
}

BOOL CSavingFilesDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    MarkClosesByItself(m_hWnd);
    const uint64_t total = m_state ? m_state->totalFiles : 0;
    ::SendDlgItemMessageW(m_hWnd, IDC_SAVE_FILES_BAR, PBM_SETRANGE32, 0,
                          LPARAM(total > 0x7FFFFFFF ? 0x7FFFFFFF : total));
    ::SendDlgItemMessageW(m_hWnd, IDC_SAVE_FILES_BAR, PBM_SETSTEP, 1, 0);
    return TRUE;
}

void CSavingFilesDlg::OnCancel()
{
    if (m_state)
        m_state->stop = 1;
    if (CWnd* button = GetDlgItem(IDCANCEL))
        button->EnableWindow(FALSE);
}

DestinationCheck CheckSaveDestination(const CString& folder, const std::vector<SaveItem>& items,
                                      const ScanTarget* read)
{
    // Every volume the items come from is a medium read; the whole range scanned for it counts.
    std::vector<ScannedMedium> media;
    std::set<const FoundVolume*> seen;
    for (const SaveItem& item : items)
        if (item.volume != nullptr && seen.insert(item.volume).second)
            media.push_back(ScannedMediumOf(item.volume->devicePath, item.volume->firstSector, item.volume->endSector));
    // So does all the scan read: a range of a disk may hold more lost files than those of the
    // volumes it gave, on volumes the scan did not make out.
    if (read != nullptr && !read->devicePath.IsEmpty())
        media.push_back(ScannedMediumOf(read->devicePath, read->firstSector, read->endSector));
    return CheckDestinationFolder(folder, media);
}

SaveCounts SaveFoundItems(const std::vector<SaveItem>& items, const CString& destination, CWnd* owner, bool quiet,
                          SearchHost* host, const ScanTarget* read)
{
    SaveCounts counts;
    HWND ownerWnd = owner ? owner->GetSafeHwnd() : nullptr;
    // One string for the check and for every file: a folder judged is the folder written to.
    CString folder = destination;
    folder.Trim();
    const DestinationCheck check = CheckSaveDestination(folder, items, read);
    if (check != DestinationCheck::Ok) {
        ZrMessageBox(ownerWnd,
                     check == DestinationCheck::OnScannedMedium ? CString(kDestinationOnSourceText)
                                                                : DestinationRefusalText(check),
                     L"Message", MB_OK | MB_ICONINFORMATION);
        counts.skipped = items.size();
        return counts;
    }
    // A state of its own: nothing of an earlier save (its stop, its answers for all files) holds.
    SaveRun run(folder, host);
    run.State().totalFiles = items.size();
    CSavingFilesDlg dialog(owner, &run.State());
    if (dialog.Create()) {
        dialog.ShowWindow(SW_SHOW);
        run.SetDialog(&dialog);
        if (host != nullptr)
            host->SavingFilesDlg = &dialog;
    }
    if (ownerWnd)
        ::EnableWindow(ownerWnd, FALSE);
    for (const SaveItem& item : items) {
        run.Pump();
        if (IsStopped(&run.State().stop)) {
            ++counts.skipped;
            continue;
        }
        std::vector<CString> names;
        if (item.folders)
            names = *item.folders;
        names.push_back(item.file.name);
        CString path;
        if (item.volume == nullptr || !JoinUnderFolder(folder, names, &path)) {
            ++counts.failed;
            continue;
        }
        run.MakeFolder(PathFolderPart(path));
        const SaveOutcome outcome = item.file.ntfs ? SaveNtfsFile(*item.volume, path, item.file.name, item.file.size,
                                                                  item.file.recordSector, 0, 0, 1, run.State(), &run)
                                                   : SaveFatFile(*item.volume, path, item.file.name, item.file.size,
                                                                 item.file.firstCluster, 1, run.State(), &run);
        // A file written only as far as its volume holds it is not saved whole: it counts with
        // those that failed, although what could be read of it is kept.
        if (outcome == SaveOutcome::Saved)
            ++counts.saved;
        else if (outcome == SaveOutcome::Skipped)
            ++counts.skipped;
        else
            ++counts.failed;
    }
    // The figures of the last file are the ones left on screen.
    run.Paint();
    run.PumpDialog();
    counts.aborted = IsStopped(&run.State().stop);
    counts.work = run.Work();
    if (ownerWnd)
        ::EnableWindow(ownerWnd, TRUE);
    if (host != nullptr && host->SavingFilesDlg == &dialog)
        host->SavingFilesDlg = nullptr;
    run.SetDialog(nullptr);
    if (dialog.GetSafeHwnd())
        dialog.DestroyWindow();
    // An exit asked for during the save ends the program now that no file is half written.
    if (host != nullptr && host->SaveEnded())
        return counts;
    if (!quiet)
        ZrMessageBox(ownerWnd, FormatSaveSummary(counts.saved, counts.skipped, counts.failed), L"Message",
                     MB_OK | MB_ICONINFORMATION);
    return counts;
}

#include "fsrecovery/savefiles.h"

#include <winioctl.h>

#include "app/maindlg.h"
#include "app/questions.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
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

namespace {

// "\\.\X:" gives 'X', anything else 0.
wchar_t DriveLetterOfDevice(const CString& device)
{
    if (device.GetLength() == 6 && device.Left(4) == L"\\\\.\\" && device[5] == L':')
        return wchar_t(towupper(device[4]));
    return 0;
}

// "\\.\PhysicalDriveN" gives N, anything else -1.
int DiskNumberOfDevice(const CString& device)
{
    const CString prefix = L"\\\\.\\PhysicalDrive";
    if (device.GetLength() <= prefix.GetLength() || device.Left(prefix.GetLength()).CompareNoCase(prefix) != 0)
        return -1;
    int n = 0;
    for (int i = prefix.GetLength(); i < device.GetLength(); ++i) {
        if (device[i] < L'0' || device[i] > L'9' || n > 999)
            return -1;
        n = n * 10 + (device[i] - L'0');
    }
    return n;
}

// The sectors of the volume holding `root` ("X:\") on disk `disk` overlap [first, end).
bool VolumeOverlapsScannedRange(const CString& root, int disk, uint64_t first, uint64_t end)
{
    CString volume = L"\\\\.\\" + root.Left(2);
    HANDLE h = ::CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    union {
        VOLUME_DISK_EXTENTS extents;
        uint8_t space[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
    } buffer{};
    DWORD got = 0;
    const BOOL ok =
        ::DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &buffer, sizeof(buffer), &got, nullptr);
    ::CloseHandle(h);
    if (!ok)
        return false;
    for (DWORD i = 0; i < buffer.extents.NumberOfDiskExtents && i < 32; ++i) {
        const DISK_EXTENT& e = buffer.extents.Extents[i];
        if (int(e.DiskNumber) != disk)
            continue;
        const uint64_t start = uint64_t(e.StartingOffset.QuadPart) / 512;
        const uint64_t stop = start + uint64_t(e.ExtentLength.QuadPart) / 512;
        if (end <= first || (start < end && first < stop))
            return true; // a whole-disk scan, or the extents overlap
    }
    return false;
}

} // namespace

bool DestinationOnScannedVolume(const CString& folder, const FoundVolume& volume)
{
    wchar_t root[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(folder, root, MAX_PATH))
        return false;
    const CString rootText = root;
    if (rootText.GetLength() < 2 || rootText[1] != L':')
        return false;
    const wchar_t letter = wchar_t(towupper(rootText[0]));
    if (DriveLetterOfDevice(volume.devicePath) == letter)
        return true;
    const int disk = DiskNumberOfDevice(volume.devicePath);
    return disk >= 0 && VolumeOverlapsScannedRange(rootText, disk, volume.firstSector, volume.endSector);
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

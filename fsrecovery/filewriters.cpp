#include "fsrecovery/filewriters.h"

#include <vector>

#include "app/maindlg.h"
#include "app/pure/rename_rule.h"
#include "app/pure/textservices.h"
#include "app/questions.h"
#include "devicepath.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/namesanitiser.h"
#include "storage/pure/ntfs_record.h"
#include "storage/sectorreader.h"

std::atomic<int32_t> StopSaving{ 0 };
std::atomic<int32_t> OpeningForView{ 0 };
uint64_t SavedFileCount = 0;
uint64_t TotalFilesToSave = 0;
int32_t OpenFileCounter = 0;

const wchar_t* const kSaveWriteFailedText =
    L"Unable to continue saving recovered data.\n\nEither Destination Drive is inaccessible or there is "
    L"no free space available in drive to save recovered data.";

void PumpSavingDialog()
{
    CWnd* saving = g_pSavingFilesDlg;
    if (!saving || ::GetWindowThreadProcessId(saving->GetSafeHwnd(), nullptr) != ::GetCurrentThreadId())
        return;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(int(msg.wParam));
            return;
        }
        if (::IsDialogMessageW(saving->GetSafeHwnd(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

namespace {

// How many times a typed name is asked for again when the cleaned name is taken too.
constexpr int kRenameAttempts = 16;

bool PathExists(const CString& path)
{
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The progress of one file in the "Saving Files..." dialog, when a save shows it.
class SaveProgressView {
public:
    SaveProgressView(bool checkExists, uint64_t size)
        : m_size(size), m_on(checkExists && !OpeningForView && g_pSavingFilesDlg && g_pMainDlg)
    { }
    void Start(const CString& path, const CString& name, uint32_t blockBytes)
    {
        if (!m_on)
            return;
        HWND dlg = g_pSavingFilesDlg->GetSafeHwnd();
        g_pMainDlg->SetSaveStatusText(path);
        ::SetDlgItemTextW(dlg, IDC_SAVE_FILES, FormatProgress(SavedFileCount, TotalFilesToSave));
        ::SetDlgItemTextW(dlg, IDC_SAVE_NAME, name);
        ::SetDlgItemTextW(dlg, IDC_SAVE_BYTES, FormatByteCount(m_size, 0));
        g_pMainDlg->SetProgressRange64(::GetDlgItem(dlg, IDC_SAVE_BYTES_BAR), 0, m_size, int32_t(blockBytes));
    }
    void Bytes(uint64_t written)
    {
        if (!m_on)
            return;
        HWND dlg = g_pSavingFilesDlg->GetSafeHwnd();
        ::SetDlgItemTextW(dlg, IDC_SAVE_BYTES, FormatByteCount(m_size, written));
        g_pMainDlg->UpdateProgress(::GetDlgItem(dlg, IDC_SAVE_BYTES_BAR), 0, m_size, written);
    }
    void Finish()
    {
        if (!m_on)
            return;
        HWND dlg = g_pSavingFilesDlg->GetSafeHwnd();
        ::SetDlgItemTextW(dlg, IDC_SAVE_BYTES, FormatByteCount(m_size, m_size));
        HWND bar = ::GetDlgItem(dlg, IDC_SAVE_BYTES_BAR);
        ::SendMessageW(bar, PBM_SETPOS, ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 0);
        HWND files = ::GetDlgItem(dlg, IDC_SAVE_FILES_BAR);
        if (uint64_t(::SendMessageW(files, PBM_GETPOS, 0, 0)) < TotalFilesToSave)
            ::SendMessageW(files, PBM_STEPIT, 0, 0);
    }

private:
    uint64_t m_size;
    bool m_on;
};

// The destination file, written through one handle. A file that is not committed is deleted
// when it goes, so a save that failed half way leaves no truncated file behind.
class DestinationFile {
public:
    explicit DestinationFile(const CString& path) : m_path(path)
    {
        // Whatever a destination says, a device is never opened for writing.
        if (IsRawDevicePath(path))
            return;
        m_handle = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~DestinationFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_handle);
            if (!m_keep)
                ::DeleteFileW(m_path);
        }
    }
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Write(const uint8_t* data, size_t length)
    {
        DWORD done = 0;
        return length == 0 || (::WriteFile(m_handle, data, DWORD(length), &done, nullptr) && done == length);
    }
    bool Commit()
    {
        m_keep = ::FlushFileBuffers(m_handle) != FALSE;
        return m_keep;
    }

private:
    CString m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_keep = false;
};

// A destination that cannot be created or written stops the whole save: the next file would
// meet the same full or inaccessible drive.
SaveOutcome DestinationFailed()
{
    if (!OpeningForView) {
        SaveAborted = 1;
        HWND owner = g_pSavingFilesDlg ? g_pSavingFilesDlg->GetSafeHwnd() : nullptr;
        ZrMessageBox(owner, kSaveWriteFailedText, L"Message", MB_OK | MB_ICONINFORMATION);
    }
    return SaveOutcome::Aborted;
}

bool StopRequested()
{
    PumpSavingDialog();
    return StopSaving != 0 || SaveAborted != 0;
}

// The sectors the files of `volume` may be read from, after its boot sector where that is known.
VolumeBounds BoundsOf(SectorSource& source, const FoundVolume& volume)
{
    uint8_t boot[kSectorSize] = {};
    const bool read = source.Read(VolumeBootSector(volume), 1, boot) == kSectorSize;
    return FileDataBounds(volume, read ? boot : nullptr);
}

// Copies the extents, held to the volume, into path; size 0 gives an empty file. A file that
// cannot be written whole is written as far as it goes and is Partial.
SaveOutcome WriteExtents(SectorSource& source, std::vector<CopyExtent> extents, const FoundVolume& volume,
                         const CString& path, uint64_t size, SaveProgressView& view)
{
    const bool cut = ClipExtentsToVolume(extents, size, BoundsOf(source, volume));
    DestinationFile file(path);
    if (!file.IsOpen())
        return DestinationFailed();
    const CopyResult result = CopyExtents(
        source, extents, size, kCopyReadSectors,
        [&file](const uint8_t* data, size_t length) { return file.Write(data, length); },
        [] { return StopRequested(); }, [&view](uint64_t written) { view.Bytes(written); });
    view.Finish();
    switch (result) {
    case CopyResult::Done:
    case CopyResult::RunsEnded:
        if (!file.Commit())
            return DestinationFailed();
        return result == CopyResult::Done && !cut ? SaveOutcome::Saved : SaveOutcome::Partial;
    case CopyResult::Stopped:
        StopSaving = 0;
        return SaveOutcome::Skipped;
    case CopyResult::WriteFailed:
        return DestinationFailed();
    case CopyResult::BadGeometry:
        break;
    }
    return SaveOutcome::Failed;
}

CWnd* ReplaceOwner()
{
    const int mode = g_pMainDlg ? g_pMainDlg->SearchMode.load() : 0;
    return mode == kModeDeep ? static_cast<CWnd*>(g_pDeepSearchDlg) : static_cast<CWnd*>(g_pBasicSearchDlg);
}

// The answer's path, cleaned and kept inside the folder of the original path.
bool AnsweredPath(const CString& original, CString* path)
{
    return JoinUnderFolder(PathFolderPart(original), PathNamePart(ReplaceFileName), path);
}

// Undoes the count of a file that the rule let through but that was not written.
SaveOutcome Uncount(SaveOutcome outcome, bool counted)
{
    if (counted && outcome != SaveOutcome::Saved && outcome != SaveOutcome::Partial && SavedFileCount > 0)
        --SavedFileCount;
    return outcome;
}

} // namespace

bool ApplyFileExistsRule(CString& path, CString& name)
{
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (!PathExists(path)) {
            ++SavedFileCount;
            return true;
        }
        ReplaceFileName = path;
        if (FileExistsPolicy == 3)
            return false;
        if (FileExistsPolicy == 5) {
            const CString free = FirstFreeRenameCandidate(path, PathExists);
            if (free.IsEmpty())
                return false;
            path = free;
            name = PathNamePart(path);
            ++SavedFileCount;
            return true;
        }
        name = PathNamePart(path);
        if (FileExistsPolicy != 2) {
            ShowReplaceDialog(ReplaceOwner());
            if (SaveAborted || FileExistsPolicy == 1 || FileExistsPolicy == 3)
                return false;
        }
        if (FileExistsPolicy == 0 || FileExistsPolicy == 2) {
            ++SavedFileCount;
            return true;
        }
        // A typed name is cleaned like any other and checked again: when the cleaned name is
        // taken as well, the next round asks again (4) or renames automatically (5).
        CString renamed;
        if (!AnsweredPath(path, &renamed))
            return false;
        path = renamed;
        name = PathNamePart(path);
    }
    return false;
}

SaveOutcome SaveFatFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint32_t firstCluster,
                        int16_t checkExists)
{
    StopSaving = 0;
    if (SaveAborted)
        return SaveOutcome::Skipped;
    const FatVolumeParamsRecord& params = volume.params;
    const uint32_t spc = params.sectorsPerCluster;
    // Clusters 0 and 1 hold no data: a file that claims them would be written from the FAT.
    if (spc == 0 || (size != 0 && firstCluster < 2))
        return SaveOutcome::Failed;
    SaveProgressView view(checkExists == 1, size);
    view.Start(path, name, kCopyReadSectors * kSectorSize);
    if (checkExists == 1) {
        const CString before = path;
        if (!ApplyFileExistsRule(path, name))
            return SaveOutcome::Skipped;
        if (path != before)
            view.Start(path, name, kCopyReadSectors * kSectorSize);
    }
    KeptHandleSectorSource source(volume.devicePath);
    const uint64_t needed = ClustersForSize(size, spc);
    std::vector<CopyExtent> extents;
    if (needed != 0) {
        // A chain of exactly the clusters the size needs is trusted; a deleted file's cleared
        // entries give none, and its clusters are then taken as contiguous.
        std::vector<uint32_t> chain;
        bool chained = false;
        for (uint32_t fat : { params.firstFatSector, params.secondFatSector }) {
            const FatChainGeometry geometry{ volume.kind == FsKind::Fat32, fat, params.sectorsPerFat };
            if (fat == 0 || !IsFat(volume.kind))
                continue;
            WalkFatChain(
                source, geometry, firstCluster, needed + 1, [] { return StopRequested(); }, chain);
            if (chain.size() == needed) {
                chained = true;
                break;
            }
        }
        const bool ok = chained ? FatChainExtents(chain, spc, params.cluster0Start, extents)
                                : FatContiguousExtents(firstCluster, needed, spc, params.cluster0Start, extents);
        if (!ok)
            return Uncount(SaveOutcome::Failed, checkExists == 1);
    }
    return Uncount(WriteExtents(source, std::move(extents), volume, path, size, view), checkExists == 1);
}

SaveOutcome SaveNtfsFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint64_t recordSector,
                         uint64_t /*parent*/, uint64_t /*own*/, int16_t checkExists)
{
    StopSaving = 0;
    if (SaveAborted)
        return SaveOutcome::Skipped;
    const FatVolumeParamsRecord& params = volume.params;
    if (checkExists == 1 && !ApplyFileExistsRule(path, name))
        return SaveOutcome::Skipped;
    const bool counted = checkExists == 1;
    KeptHandleSectorSource source(volume.devicePath);
    std::vector<uint8_t> record(kMftRecordSize, 0);
    if (source.Read(recordSector, kSectorsPerMftRecord, record.data()) == 0)
        return Uncount(SaveOutcome::Failed, counted);
    ApplyNtfsFixup(record.data(), record.size());
    size_t at = 0;
    const int kind = FindUnnamedDataAttribute(record.data(), &at);
    SaveProgressView view(counted, size);
    if (kind == 1) {
        size_t dataOffset = 0;
        if (!ResidentDataSpan(record.data(), at, size, &dataOffset))
            return Uncount(SaveOutcome::Failed, counted);
        view.Start(path, name, kSectorSize);
        DestinationFile file(path);
        if (!file.IsOpen() || !file.Write(record.data() + dataOffset, size_t(size)))
            return Uncount(DestinationFailed(), counted);
        view.Finish();
        return Uncount(file.Commit() ? SaveOutcome::Saved : DestinationFailed(), counted);
    }
    NtfsAttribute data;
    std::vector<ClusterRun> runs;
    std::vector<CopyExtent> extents;
    if (kind != 2 || !FindNtfsAttribute(record.data(), record.size(), kAttrData, true, data) || data.offset != at ||
        !DecodeMappingPairs(record.data() + data.valueOffset, data.valueLength, runs) ||
        !NtfsRunExtents(runs, params.sectorsPerCluster, params.cluster0Start, extents))
        return Uncount(SaveOutcome::Failed, counted);
    view.Start(path, name, kCopyReadSectors * kSectorSize);
    return Uncount(WriteExtents(source, std::move(extents), volume, path, size, view), counted);
}

CString WriteFoundFileForViewing(const FoundVolume& volume, const FoundFileRef& file)
{
    CString folder = TempFolderPath;
    if (folder.IsEmpty() || volume.params.sectorsPerCluster == 0)
        return CString();
    CreateDirectoryPath(folder);
    CString path;
    // Every open gets a fresh number, so a viewer that still holds the previous file is never
    // in the way.
    if (!JoinUnderFolder(folder, TempViewName(OpenFileCounter++, file.name), &path))
        return CString();
    ::DeleteFileW(path);
    OpeningForView = 1;
    SaveAborted = 0;
    const SaveOutcome outcome = file.ntfs ? SaveNtfsFile(volume, path, file.name, file.size, file.recordSector, 0, 0, 0)
                                          : SaveFatFile(volume, path, file.name, file.size, file.firstCluster, 0);
    OpeningForView = 0;
    // A file cut at its volume's end opens as far as it goes.
    if (outcome != SaveOutcome::Saved && outcome != SaveOutcome::Partial)
        return CString();
    if (g_pMainDlg)
        g_pMainDlg->TempFileNames.push_back(path);
    return path;
}

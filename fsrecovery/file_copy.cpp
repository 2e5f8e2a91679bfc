#include "fsrecovery/file_copy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/searchhost.h"
#include "app/shellservices.h"
#include "app/pure/rename_rule.h"
#include "app/pure/textservices.h"
#include "app/questions.h"
#include "devicepath.h"
#include "exceptions.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/namesanitiser.h"
#include "storage/pure/ntfs_record.h"
#include "storage/sector_source.h"

const wchar_t* const kSaveWriteFailedText =
    L"Unable to continue saving recovered data.\n\nEither Destination Drive is inaccessible or there is "
    L"no free space available in drive to save recovered data.";

void SaveRun::PumpDialog()
{
    CWnd* saving = m_dialog;
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

// ---- One save's shared handle, folders and view ------------------------------------------------

SaveRun::SaveRun(const CString& destination, SearchHost* host) : m_destination(destination)
{
    m_state.host = host;
    // The destination exists (the save checked it): nothing at or above it is made.
    m_destination.TrimRight(L"\\/");
    m_folders.insert(m_destination);
}

SaveRun::~SaveRun() = default;

SectorSource& SaveRun::Device(const CString& path)
{
    auto found = m_devices.find(path);
    // A device that could not be opened is tried again for the next file, as it was before the
    // save kept its handle.
    if (found == m_devices.end() || !found->second->IsOpen()) {
        ++m_work.deviceOpens;
        auto device = std::make_unique<KeptHandleSectorSource>(path);
        found = m_devices.insert_or_assign(path, std::move(device)).first;
    }
    return *found->second;
}

void SaveRun::MakeFolder(const CString& folder)
{
    // The levels not made yet, innermost first; each step shortens the path, so the walk ends.
    std::vector<CString> missing;
    for (CString at = folder; !at.IsEmpty() && m_folders.count(at) == 0; at = PathFolderPart(at)) {
        missing.push_back(at);
        if (at.GetLength() <= m_destination.GetLength())
            break;
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        ::CreateDirectoryW(*level, nullptr);
        ++m_work.folderCreations;
        m_folders.insert(*level);
    }
}

void SaveRun::Pump()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_pumped < std::chrono::milliseconds(10))
        return;
    m_pumped = now;
    PumpDialog();
}

void SaveRun::ShowFile(const CString& path, const CString& name, uint64_t size, uint32_t blockBytes)
{
    m_path = path;
    m_name = name;
    m_size = size;
    m_blockBytes = blockBytes;
    m_written = 0;
    m_filesText = m_state.savedFiles;
    m_newFile = m_changed = true;
    PaintWhenDue();
}

void SaveRun::ShowBytes(uint64_t written)
{
    m_written = written;
    m_changed = true;
    PaintWhenDue();
}

void SaveRun::ShowFileDone()
{
    m_written = m_size;
    ++m_filesDone;
    m_changed = true;
    PaintWhenDue();
}

void SaveRun::PaintWhenDue()
{
    if (m_pacer.Due())
        Paint();
}

void SaveRun::Paint()
{
    SearchHost* host = m_state.host;
    if (!m_changed || m_dialog == nullptr || host == nullptr)
        return;
    ++m_work.viewUpdates;
    HWND dlg = m_dialog->GetSafeHwnd();
    HWND bar = ::GetDlgItem(dlg, IDC_SAVE_BYTES_BAR);
    if (m_newFile) {
        host->SetSaveStatusText(m_path);
        ::SetDlgItemTextW(dlg, IDC_SAVE_FILES, FormatProgress(m_filesText, m_state.totalFiles));
        ::SetDlgItemTextW(dlg, IDC_SAVE_NAME, m_name);
        host->SetProgressRange64(bar, 0, m_size, int32_t(m_blockBytes));
        m_newFile = false;
    }
    ::SetDlgItemTextW(dlg, IDC_SAVE_BYTES, FormatByteCount(m_size, m_written));
    if (m_written >= m_size)
        ::SendMessageW(bar, PBM_SETPOS, ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 0);
    else
        host->SetProgressPosition64(bar, 0, m_size, m_written);
    const uint64_t files = std::min<uint64_t>({ m_filesDone, m_state.totalFiles, 0x7FFFFFFF });
    ::SendDlgItemMessageW(dlg, IDC_SAVE_FILES_BAR, PBM_SETPOS, WPARAM(files), 0);
    m_changed = false;
    m_pacer.Updated();
}

namespace {

// How many times a typed name is asked for again when the cleaned name is taken too.
constexpr int kRenameAttempts = 16;

bool PathExists(const CString& path)
{
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The progress of one file in the "Saving Files..." dialog, when its save shows one: through the
// save's run, which paints as its pacer allows.
class SaveProgressView {
public:
    SaveProgressView(bool checkExists, uint64_t size, const WriteState& state, SaveRun* run)
        : m_size(size), m_run(checkExists && !state.forView && state.host && run && run->Dialog() ? run : nullptr)
    { }
    void Start(const CString& path, const CString& name, uint32_t blockBytes)
    {
        if (m_run)
            m_run->ShowFile(path, name, m_size, blockBytes);
    }
    void Bytes(uint64_t written)
    {
        if (m_run)
            m_run->ShowBytes(written);
    }
    void Finish()
    {
        if (m_run)
            m_run->ShowFileDone();
    }

private:
    uint64_t m_size;
    SaveRun* m_run; // null: nothing shown
};

// The destination file, written through one handle. A file that is not committed is deleted
// when it goes, so a save that failed half way leaves no truncated file behind.
class DestinationFile {
public:
    // flush: the file's bytes are forced to the disk before it counts as written. A save of many
    // files leaves that to the system (a write error still shows in WriteFile or CloseHandle); a
    // file of its own is flushed.
    // onlyNew: the file is created only when no file of that name exists (else IsOpen is false).
    DestinationFile(const CString& path, bool flush, bool onlyNew = false) : m_path(path), m_flush(flush)
    {
        // Whatever a destination says, a device is never opened for writing.
        if (IsRawDevicePath(path)) {
            m_error = ERROR_ACCESS_DENIED;
            return;
        }
        m_handle = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, onlyNew ? CREATE_NEW : CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE)
            m_error = ::GetLastError();
    }
    ~DestinationFile()
    {
        // Still open: the file was not committed.
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_handle);
            ::DeleteFileW(m_path);
        }
    }
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Write(const uint8_t* data, size_t length)
    {
        // A write that takes part of the bytes is followed by one for the rest, which says why it
        // fails; one that takes none without saying why met a full disk.
        while (length > 0) {
            DWORD done = 0;
            if (!::WriteFile(m_handle, data, DWORD(length), &done, nullptr)) {
                m_error = ::GetLastError();
                return false;
            }
            if (done == 0) {
                m_error = ERROR_DISK_FULL;
                return false;
            }
            data += std::min<size_t>(done, length);
            length -= std::min<size_t>(done, length);
        }
        return true;
    }
    bool Commit()
    {
        if (m_flush && !::FlushFileBuffers(m_handle)) {
            m_error = ::GetLastError();
            return false;
        }
        const BOOL closed = ::CloseHandle(m_handle);
        if (!closed)
            m_error = ::GetLastError();
        m_handle = INVALID_HANDLE_VALUE;
        if (!closed)
            ::DeleteFileW(m_path);
        return closed != FALSE;
    }
    // Why the file could not be made or written (GetLastError), 0 while nothing failed.
    DWORD Error() const { return m_error; }

private:
    CString m_path;
    bool m_flush;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DWORD m_error = ERROR_SUCCESS;
};

// A full destination stops the whole save: every later file would meet the same full disk. Any
// other failure to make or write a file (a name the destination refuses, a file of that name
// locked or a folder, a file too large for it) loses that file alone, which the save counts
// among the failed ones; the files after it are saved.
SaveOutcome DestinationFailed(WriteState& state, DWORD error, const SaveRun* run)
{
    if (CFileException::OsErrorToException(long(error)) != CFileException::diskFull)
        return SaveOutcome::Failed;
    if (!state.forView) {
        state.stop = 1;
        HWND owner = run && run->Dialog() ? run->Dialog()->GetSafeHwnd() : nullptr;
        ZrMessageBox(owner, kSaveWriteFailedText, L"Message", MB_OK | MB_ICONINFORMATION);
    }
    return SaveOutcome::Aborted;
}

bool StopRequested(const WriteState& state, SaveRun* run)
{
    if (run)
        run->Pump();
    return IsStopped(&state.stop);
}

} // namespace

// The sectors the files of `volume` may be read from, after its boot sector where that is known.
static VolumeBounds BoundsOf(SectorSource& source, const FoundVolume& volume)
{
    uint8_t boot[kSectorSize] = {};
    const bool read = source.Read(VolumeBootSector(volume), 1, boot) == kSectorSize;
    return FileDataBounds(volume, read ? boot : nullptr);
}

const VolumeBounds& SaveRun::Bounds(SectorSource& device, const FoundVolume& volume)
{
    auto found = m_bounds.find(&volume);
    if (found == m_bounds.end())
        found = m_bounds.emplace(&volume, BoundsOf(device, volume)).first;
    return found->second;
}

VolumeRecordReader& SaveRun::Records(SectorSource& device, const FoundVolume& volume)
{
    std::unique_ptr<VolumeRecordReader>& kept = m_records[&volume];
    // A device opened again for a later file is another source: the reader follows it.
    if (!kept || &kept->Device() != &device)
        kept = std::make_unique<VolumeRecordReader>(device, volume);
    return *kept;
}

namespace {

// The file the file-exists rule already made for path, else path made now (replacing a file).
DestinationFile& Destination(std::optional<DestinationFile>& claimed, const CString& path, bool flush)
{
    if (!claimed)
        claimed.emplace(path, flush);
    return *claimed;
}

// Copies the extents, held to the volume, into path; size 0 gives an empty file. A file that
// cannot be written whole is written as far as it goes and is Partial. With `unitSectors` the
// extents are a compressed attribute's, copied unit by unit; one of its units outside the volume
// or damaged fails the file, as its bytes cannot be known.
SaveOutcome WriteExtents(SectorSource& source, std::vector<CopyExtent> extents, uint32_t unitSectors,
                         const FoundVolume& volume, const CString& path, uint64_t size, SaveProgressView& view,
                         WriteState& state, SaveRun* run, std::optional<DestinationFile>& claimed,
                         uint64_t validBytes = UINT64_MAX, bool incomplete = false)
{
    // Past the initialized size the clusters hold old bytes: they are not even read.
    if (unitSectors == 0 && validBytes < size)
        HoleExtentsFrom(extents, validBytes);
    const bool cut = ClipExtentsToVolume(extents, size, run ? run->Bounds(source, volume) : BoundsOf(source, volume),
                                         unitSectors);
    if (cut && unitSectors != 0)
        return SaveOutcome::Failed;
    DestinationFile& file = Destination(claimed, path, run == nullptr);
    if (!file.IsOpen())
        return DestinationFailed(state, file.Error(), run);
    CopySink sink = [&file](const uint8_t* data, size_t length) { return file.Write(data, length); };
    if (validBytes < size)
        sink = ZerosFrom(validBytes, std::move(sink));
    const CopyStop stop = [&state, run] { return StopRequested(state, run); };
    const CopyProgress progress = [&view](uint64_t written) { view.Bytes(written); };
    const CopyResult result = unitSectors != 0
        ? CopyCompressedExtents(source, extents, size, unitSectors, sink, stop, progress)
        : CopyExtents(source, extents, size, kCopyReadSectors, sink, stop, progress);
    view.Finish();
    switch (result) {
    case CopyResult::Done:
    case CopyResult::RunsEnded:
        if (!file.Commit())
            return DestinationFailed(state, file.Error(), run);
        return result == CopyResult::Done && !cut && !incomplete ? SaveOutcome::Saved : SaveOutcome::Partial;
    case CopyResult::Stopped:
        return SaveOutcome::Skipped;
    case CopyResult::WriteFailed:
        return DestinationFailed(state, file.Error(), run);
    case CopyResult::BadGeometry:
    case CopyResult::Damaged:
        break;
    }
    return SaveOutcome::Failed;
}

// The file-exists question belongs to the search dialog that saves.
CWnd* ReplaceOwner(const SearchHost* host)
{
    return host != nullptr ? host->ActiveSearchDialog() : nullptr;
}

// The answer's path, cleaned and kept inside the folder of the original path.
bool AnsweredPath(const CString& original, const FileExistsAnswer& answer, CString* path)
{
    return JoinUnderFolder(PathFolderPart(original), PathNamePart(answer.ReplaceFileName), path);
}

// Undoes the count of a file that the rule let through but that was not written.
SaveOutcome Uncount(SaveOutcome outcome, bool counted, WriteState& state)
{
    if (counted && outcome != SaveOutcome::Saved && outcome != SaveOutcome::Partial && state.savedFiles > 0)
        --state.savedFiles;
    return outcome;
}

// The file-exists rule with the destination made in the same step: a free name is created at once
// and only if it is still free (under Wine every look at a name that does not exist reads its
// whole folder, so a probe and then a creation cost that twice); only a name already taken goes
// through the rule, which may skip it, rename it or let it be replaced. False: skipped.
bool ClaimDestination(CString& path, CString& name, WriteState& state, bool flush,
                      std::optional<DestinationFile>& claimed)
{
    claimed.emplace(path, flush, true);
    if (claimed->IsOpen()) {
        ++state.savedFiles;
        return true;
    }
    // Taken, or not creatable at all: the rule looks and decides as it always did, and the file
    // is created (replacing one) once it has.
    claimed.reset();
    return ApplyFileExistsRule(path, name, state);
}

} // namespace

bool ApplyFileExistsRule(CString& path, CString& name, WriteState& state)
{
    FileExistsAnswer& answer = state.existing;
    SearchHost* host = state.host;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (!PathExists(path)) {
            ++state.savedFiles;
            return true;
        }
        answer.ReplaceFileName = path;
        if (answer.FileExistsPolicy == 3)
            return false;
        if (answer.FileExistsPolicy == 5) {
            const CString free = FirstFreeRenameCandidate(path, PathExists);
            if (free.IsEmpty())
                return false;
            path = free;
            name = PathNamePart(path);
            ++state.savedFiles;
            return true;
        }
        name = PathNamePart(path);
        if (answer.FileExistsPolicy != 2) {
            ShowReplaceDialog(answer, ReplaceOwner(host), host != nullptr ? host->LauncherWindow() : nullptr);
            if (answer.cancelled)
                state.stop = 1;
            if (IsStopped(&state.stop) || answer.FileExistsPolicy == 1 || answer.FileExistsPolicy == 3)
                return false;
        }
        if (answer.FileExistsPolicy == 0 || answer.FileExistsPolicy == 2) {
            ++state.savedFiles;
            return true;
        }
        // A typed name is cleaned like any other and checked again: when the cleaned name is
        // taken as well, the next round asks again (4) or renames automatically (5).
        CString renamed;
        if (!AnsweredPath(path, answer, &renamed))
            return false;
        path = renamed;
        name = PathNamePart(path);
    }
    return false;
}

SaveOutcome SaveFatFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint32_t firstCluster,
                        int16_t checkExists, WriteState& state, SaveRun* run)
{
    if (IsStopped(&state.stop))
        return SaveOutcome::Skipped;
    const FatVolumeParamsRecord& params = volume.params;
    const uint32_t spc = params.sectorsPerCluster;
    // Clusters 0 and 1 hold no data: a file that claims them would be written from the FAT.
    if (spc == 0 || (size != 0 && firstCluster < 2))
        return SaveOutcome::Failed;
    SaveProgressView view(checkExists == 1, size, state, run);
    view.Start(path, name, kCopyReadSectors * kSectorSize);
    std::optional<DestinationFile> claimed;
    if (checkExists == 1) {
        const CString before = path;
        if (!ClaimDestination(path, name, state, run == nullptr, claimed))
            return SaveOutcome::Skipped;
        if (path != before)
            view.Start(path, name, kCopyReadSectors * kSectorSize);
    }
    std::optional<KeptHandleSectorSource> own;
    SectorSource& source = run ? run->Device(volume.devicePath) : own.emplace(volume.devicePath);
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
                source, geometry, firstCluster, needed + 1, [&state, run] { return StopRequested(state, run); }, chain);
            if (chain.size() == needed) {
                chained = true;
                break;
            }
        }
        const bool ok = chained ? FatChainExtents(chain, spc, params.cluster0Start, extents)
                                : FatContiguousExtents(firstCluster, needed, spc, params.cluster0Start, extents);
        if (!ok)
            return Uncount(SaveOutcome::Failed, checkExists == 1, state);
    }
    return Uncount(WriteExtents(source, std::move(extents), 0, volume, path, size, view, state, run, claimed),
                   checkExists == 1, state);
}

SaveOutcome SaveNtfsFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint64_t recordSector,
                         uint64_t /*parent*/, uint64_t /*own*/, int16_t checkExists, WriteState& state, SaveRun* run)
{
    if (IsStopped(&state.stop))
        return SaveOutcome::Skipped;
    std::optional<DestinationFile> claimed;
    if (checkExists == 1 && !ClaimDestination(path, name, state, run == nullptr, claimed))
        return SaveOutcome::Skipped;
    const bool counted = checkExists == 1;
    std::optional<KeptHandleSectorSource> own;
    SectorSource& source = run ? run->Device(volume.devicePath) : own.emplace(volume.devicePath);
    // The volume's records by number: a file in several records is gathered through them.
    std::optional<VolumeRecordReader> ownRecords;
    VolumeRecordReader& records = run ? run->Records(source, volume) : ownRecords.emplace(source, volume);
    // A deleted file's freed records may be looked for along the whole $MFT: the save's stop ends
    // that look, and the save ends as a stopped save does.
    records.SetStop([&state, run] { return StopRequested(state, run); });
    std::vector<uint8_t> record;
    const NtfsDataPlan plan = PlanFoundNtfsData(recordSector, size, records, record);
    records.SetStop({});
    if (IsStopped(&state.stop))
        return Uncount(SaveOutcome::Skipped, counted, state);
    SaveProgressView view(counted, size, state, run);
    if (plan.kind == NtfsDataPlan::Kind::Unusable)
        return Uncount(SaveOutcome::Failed, counted, state);
    if (plan.kind == NtfsDataPlan::Kind::InRecord) {
        view.Start(path, name, kSectorSize);
        DestinationFile& file = Destination(claimed, path, run == nullptr);
        const uint8_t* bytes =
            plan.residentBytes.empty() ? record.data() + plan.recordOffset : plan.residentBytes.data();
        if (!file.IsOpen() || !file.Write(bytes, size_t(size)))
            return Uncount(DestinationFailed(state, file.Error(), run), counted, state);
        view.Finish();
        return Uncount(file.Commit() ? SaveOutcome::Saved : DestinationFailed(state, file.Error(), run), counted,
                       state);
    }
    view.Start(path, name, plan.unitSectors != 0 ? plan.unitSectors * kSectorSize : kCopyReadSectors * kSectorSize);
    return Uncount(WriteExtents(source, std::move(plan.extents), plan.unitSectors, volume, path, size, view, state,
                                run, claimed, plan.validBytes, plan.incomplete),
                   counted, state);
}

CString WriteFoundFileForViewing(const FoundVolume& volume, const FoundFileRef& file, int32_t& counter,
                                 WriteState& state)
{
    SearchHost* host = state.host;
    CString folder = host != nullptr ? host->TempFolderPath : CString();
    if (folder.IsEmpty() || volume.params.sectorsPerCluster == 0)
        return CString();
    CreateDirectoryPath(folder);
    CString path;
    // Every open gets a fresh number, so a viewer that still holds the previous file is never
    // in the way.
    if (!JoinUnderFolder(folder, TempViewName(counter++, file.name), &path))
        return CString();
    // Each search dialog counts its own opens; a name an earlier one recorded is passed over
    // (bounded by the names recorded).
    if (host) {
        const std::vector<CString>& recorded = host->TempFileNames;
        const auto taken = [&recorded](const CString& name) {
            return std::any_of(recorded.begin(), recorded.end(),
                               [&name](const CString& kept) { return kept.CompareNoCase(name) == 0; });
        };
        for (size_t passed = 0; passed <= recorded.size() && taken(path); ++passed)
            if (!JoinUnderFolder(folder, TempViewName(counter++, file.name), &path))
                return CString();
    }
    ::DeleteFileW(path);
    state.forView = true;
    const SaveOutcome outcome = file.ntfs
        ? SaveNtfsFile(volume, path, file.name, file.size, file.recordSector, 0, 0, 0, state)
        : SaveFatFile(volume, path, file.name, file.size, file.firstCluster, 0, state);
    state.forView = false;
    // A file cut at its volume's end opens as far as it goes.
    if (outcome != SaveOutcome::Saved && outcome != SaveOutcome::Partial)
        return CString();
    if (host)
        host->TempFileNames.push_back(path);
    return path;
}

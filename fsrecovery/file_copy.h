// Writing found files out of the scanned medium: the FAT and NTFS writers, the file-exists
// rule they apply when saving, and the open-for-viewing path through the temporary folder.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include "afxwin.h"
#include "app/pure/view_pacer.h"
#include "app/questions.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "fsrecovery/pure/volume_listing.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/stop_flag.h"

class KeptHandleSectorSource;
class SearchHost;

// What the writers read and change of the save or the open they serve.
struct WriteState {
    // The one stop of the save or the open: set by Cancel in the "Saving Files..." dialog, by
    // "Cancel" in the file-exists question and by a full destination. The block copy stops between
    // blocks and every later file is skipped. A save starts with a state of its own; an open
    // clears it before it starts.
    StopFlag stop{ 0 };
    // A file written for viewing: no message box, no saving dialog.
    bool forView = false;
    // Files written so far and the files the save means to write.
    uint64_t savedFiles = 0;
    uint64_t totalFiles = 0;
    // The launcher the writers report to: the "Saving Files..." figures and bars, the dialog
    // that owns the file-exists question, the temporary folder and its files; null: none.
    SearchHost* host = nullptr;
    // The file-exists question's answers so far.
    FileExistsAnswer existing;
};

// What became of one file.
enum class SaveOutcome {
    Saved,   // written (counted in WriteState::savedFiles when the file-exists rule applied)
    Partial, // written as far as its volume holds it, or its data lasts: not whole, but kept
    Skipped, // the file-exists answer said skip, or the save was already stopped
    Failed,  // nothing usable to write (unreadable record, no data, bad geometry, ...), or the
             // destination refused this file (its name, a locked file or a folder there, ...)
    Aborted, // the destination is full: the stop is set and the user told
};

// What a save asked of the system, counted so that its growth with the files can be checked: it
// should open each device once, create each folder once and paint the dialog a bounded number of
// times, however many files there are.
struct SaveWork {
    uint64_t deviceOpens = 0;
    uint64_t folderCreations = 0;
    uint64_t viewUpdates = 0;
};

// What the files of one save share: one read handle per device for the whole save, the folders
// made so far, and the "Saving Files..." dialog's figures, painted as a ViewPacer allows (and once
// more when the save ends, so the last figures are always the ones shown).
class SaveRun {
public:
    SaveRun(const CString& destination, SearchHost* host);
    ~SaveRun();
    SaveRun(const SaveRun&) = delete;
    SaveRun& operator=(const SaveRun&) = delete;

    // The device, opened for reading on its first use in this save.
    SectorSource& Device(const CString& path);
    // Makes folder and the folders above it up to the destination, each once per save.
    void MakeFolder(const CString& folder);
    // The sectors the files of `volume` may be read from, worked out once per save.
    const VolumeBounds& Bounds(SectorSource& device, const FoundVolume& volume);
    // The file records of `volume` by number, read from `device`, kept for the whole save.
    VolumeRecordReader& Records(SectorSource& device, const FoundVolume& volume);
    // The "Saving Files..." dialog the save shows (null: none), which its figures go to and
    // whose Cancel stops it.
    void SetDialog(CWnd* dialog) { m_dialog = dialog; }
    CWnd* Dialog() const { return m_dialog; }
    // Lets the dialog paint and take its Cancel when 10 ms have passed since it last could.
    void Pump();
    // Lets the dialog paint and take its Cancel now.
    void PumpDialog();

    // The figures of the file being written; shown when the pacer says the last paint is old enough.
    void ShowFile(const CString& path, const CString& name, uint64_t size, uint32_t blockBytes);
    void ShowBytes(uint64_t written);
    void ShowFileDone();
    // Paints the latest figures now.
    void Paint();

    const SaveWork& Work() const { return m_work; }
    // The save's stop, view and file counts.
    WriteState& State() { return m_state; }

private:
    void PaintWhenDue();

    CString m_destination;
    WriteState m_state;
    CWnd* m_dialog = nullptr;
    std::map<CString, std::unique_ptr<KeptHandleSectorSource>> m_devices;
    std::set<CString> m_folders;
    std::map<const FoundVolume*, VolumeBounds> m_bounds;
    std::map<const FoundVolume*, std::unique_ptr<VolumeRecordReader>> m_records;
    std::chrono::steady_clock::time_point m_pumped{};
    SaveWork m_work;
    // The latest figures and whether they differ from those painted.
    CString m_path, m_name;
    uint64_t m_size = 0, m_written = 0, m_filesText = 0, m_filesDone = 0;
    uint32_t m_blockBytes = 0;
    bool m_newFile = false, m_changed = false;
    ViewPacer m_pacer;
};

// The shown text of a full destination, which stops the save.
extern const wchar_t* const kSaveWriteFailedText;

// Writes a FAT file of `size` bytes from firstCluster of `volume` into path. The chain comes from
// the first FAT copy, else the second, else the clusters are taken as contiguous. Nothing is read
// from outside the volume (FileDataBounds): a file said to run past it is written up to the
// volume's end, and a cluster outside it as zeros; either is Partial. checkExists 1 applies the
// file-exists rule and counts the file.
// `state` is the stop and counts of the save or open; `run` is the save the file belongs to (its
// device handle, folders and view, and then its State()), null for a file of its own.
SaveOutcome SaveFatFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint32_t firstCluster,
                        int16_t checkExists, WriteState& state, SaveRun* run = nullptr);

// Writes the unnamed data of the NTFS file record at recordSector of `volume` (resident or
// through its runs, sparse runs as zeros; a compressed attribute decompressed unit by unit; the
// bytes past its initialized size as zeros) into path, as PlanNtfsData plans it; runs are held to
// the volume as FAT clusters are. A file whose attribute list names other records is gathered from
// them (PlanGatheredNtfsData); one of them that cannot be taken leaves the file Partial, written as
// far as its extents reach. A compressed file with a unit that does not decompress or lies outside
// the volume, and a file Windows keeps compressed behind a reparse point, fail and leave no file.
// parent and own are not needed to find the data.
SaveOutcome SaveNtfsFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint64_t recordSector,
                         uint64_t parent, uint64_t own, int16_t checkExists, WriteState& state, SaveRun* run = nullptr);

// The file-exists rule for path under the answers of `state`: true when the file is to be written
// (path and name may have changed to a new name), false when it is skipped (or the question was
// cancelled, which stops the save). Counts the file in savedFiles when it is written. The
// question, when asked, belongs to the host's active search dialog.
bool ApplyFileExistsRule(CString& path, CString& name, WriteState& state);

// Writes the file of `volume` into the launcher's temporary folder (state.host's) under a fresh
// "VKD<n>" name, records the name there for clean-up and returns the path; empty when it could not
// be written or there is no launcher. `counter` is the
// number of the next name, moved past the names this program recorded already (an earlier search
// dialog's files may still be open in a viewer); `state` carries the open's stop.
CString WriteFoundFileForViewing(const FoundVolume& volume, const FoundFileRef& file, int32_t& counter,
                                 WriteState& state);

// Writing found files out of the scanned medium: the FAT and NTFS writers, the file-exists
// rule they apply when saving, and the open-for-viewing path through the temporary folder.
#pragma once
#include <atomic>
#include <cstdint>
#include "afxwin.h"
#include "fsrecovery/pure/volume_listing.h"

// 1 stops the block copy between blocks; each writer clears it at its start.
extern std::atomic<int32_t> StopSaving;
// 1 while a file is written for viewing: no message box, no saving dialog.
extern std::atomic<int32_t> OpeningForView;
// Files written so far in the current save and the files that save means to write.
extern uint64_t SavedFileCount;
extern uint64_t TotalFilesToSave;
// The number in the next temporary name.
extern int32_t OpenFileCounter;

// What became of one file.
enum class SaveOutcome {
    Saved,   // written (counted in SavedFileCount when the file-exists rule applied)
    Partial, // written as far as its volume holds it, or its data lasts: not whole, but kept
    Skipped, // the file-exists answer said skip, or the save was already stopped
    Failed,  // nothing usable to write: unreadable record, no data, bad geometry, ...
    Aborted, // the destination could not be written: SaveAborted is set and the user told
};

// The shown text of the destination failure.
extern const wchar_t* const kSaveWriteFailedText;

// Writes a FAT file of `size` bytes from firstCluster of `volume` into path. The chain comes from
// the first FAT copy, else the second, else the clusters are taken as contiguous. Nothing is read
// from outside the volume (FileDataBounds): a file said to run past it is written up to the
// volume's end, and a cluster outside it as zeros; either is Partial. checkExists 1 applies the
// file-exists rule and counts the file.
SaveOutcome SaveFatFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint32_t firstCluster,
                        int16_t checkExists);

// Writes the unnamed data of the NTFS file record at recordSector of `volume` (resident or
// through its runs, sparse runs as zeros) into path; runs are held to the volume as FAT clusters
// are. parent and own are not needed to find the data.
SaveOutcome SaveNtfsFile(const FoundVolume& volume, CString path, CString name, uint64_t size, uint64_t recordSector,
                         uint64_t parent, uint64_t own, int16_t checkExists);

// The file-exists rule for path: true when the file is to be written (path and name may have
// changed to a new name), false when it is skipped. Counts the file when it is written.
bool ApplyFileExistsRule(CString& path, CString& name);

// Writes the file of `volume` into the temporary folder under a fresh "VKD<n>" name, records
// the name for clean-up and returns the path; empty when it could not be written.
CString WriteFoundFileForViewing(const FoundVolume& volume, const FoundFileRef& file);
// While the "Saving Files..." dialog is up on this thread, lets it paint and take its Cancel.
void PumpSavingDialog();

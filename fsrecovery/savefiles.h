// The save of the ticked items: every file below a destination folder, its folders recreated
// with cleaned names, under the file-exists rule, with the "Saving Files..." dialog up.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "afxwin.h"
#include "fsrecovery/file_copy.h"
#include "storage/pure/destination_check.h"
#include "storage/pure/scan_target.h"
#include "storage/pure/globals.h"

// The "Saving Files..." dialog; Cancel stops the save (or the open) of `state` after the block
// being copied. Its files bar runs up to the state's file count.
class CSavingFilesDlg : public CDialog {
public:
    explicit CSavingFilesDlg(CWnd* parent, WriteState* state = nullptr);
    BOOL Create();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { }
    void OnCancel() override;

private:
    WriteState* m_state;
};

// One ticked file: the folders it lies in (names as found on the disk, outermost first; the
// files of one folder share them), the file, and the volume it was found on, which outlives
// the save.
struct SaveItem {
    std::shared_ptr<const std::vector<CString>> folders;
    FoundFileRef file;
    const FoundVolume* volume = nullptr;
};

struct SaveCounts {
    uint64_t saved = 0;
    uint64_t skipped = 0;
    uint64_t failed = 0;
    // The save was stopped: its Cancel, "Cancel" in the file-exists question, a full destination.
    bool aborted = false;
    // What the save asked of the system (nothing for a save refused before it began).
    SaveWork work;
};

extern const wchar_t* const kDestinationOnSourceText;

// The destination rule for saving `items` into `folder`: on any scanned range of their volumes
// or in what the scan read (`read`, when given: its device and range, up to the sector after it),
// it is refused before anything touches the folder; only a folder elsewhere is tried for writing.
DestinationCheck CheckSaveDestination(const CString& folder, const std::vector<SaveItem>& items,
                                      const ScanTarget* read = nullptr);

// Saves the items below destination (blanks around it left off, for the check and every file
// alike). Refuses (with a message, nothing written) a destination
// that is relative, lies on a scanned volume or in what the scan read (`read`), is missing or
// takes no files. Ends with a message of the counts unless `quiet`. The owner is disabled while
// the save runs. `host` is the launcher the save reports to (its figures, and the end of the
// program asked for during the save).
SaveCounts SaveFoundItems(const std::vector<SaveItem>& items, const CString& destination, CWnd* owner,
                          bool quiet = false, SearchHost* host = nullptr, const ScanTarget* read = nullptr);

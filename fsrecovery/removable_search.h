// RemovableSearch: Basic and Deep Search on removable media. While the drive page is up, a worker
// searches each removable medium that "Physical Drives" lists without partitions for FAT16, FAT32
// and NTFS boot sectors, cylinder by cylinder, and adds what it finds in green under the medium.
// A search dialog holds one and hands it its messages (WM_ZR_REMOVABLE_FOUND, WM_ZR_REMOVABLE_ENDED);
// it needs of the dialog only what every search dialog offers (CSearchSession).
#pragma once
#include <atomic>
#include <vector>

#include "app/searchsession.h"
#include "storage/driverecords.h"
#include "storage/pure/stop_flag.h"

// The removable-medium search's messages to its dialog: a partition found (sent, LPARAM the
// partition), the search over (posted).
constexpr UINT WM_ZR_REMOVABLE_FOUND = WM_APP + 0x248;
constexpr UINT WM_ZR_REMOVABLE_ENDED = WM_APP + 0x249;

class RemovableSearch {
public:
    // `driveTreeThread`: the global that tells the search runs (null: the dialog runs none).
    RemovableSearch(CSearchSession& dialog, CWinThread** driveTreeThread)
        : m_dialog(dialog), m_driveTreeThread(driveTreeThread)
    { }
    RemovableSearch(const RemovableSearch&) = delete;
    RemovableSearch& operator=(const RemovableSearch&) = delete;

    // Starts the worker when "Physical Drives" lists a removable medium without partitions;
    // false when none started.
    bool Start();
    // A stop asked of the search, by the dialog or through the worker's thread.
    bool StopAsked() const;
    // The search is at a medium (Next waits for it).
    bool MediumListing() const { return m_worker.load() != nullptr && m_listing != 0; }
    void ClearListing() { m_listing = 0; }
    // The dialog's word for the partition search its drive-tree worker runs.
    std::atomic<int>* ListingWord() { return &m_listing; }
    bool WorkerRunning() const { return m_worker.load() != nullptr; }
    // Ends the search: asks the worker to stop when `stop`, waits for it, gives the controls back
    // and, when `report`, shows the medium's details and the summary. The first caller does the
    // work; nothing to do when no search runs.
    void End(bool stop, bool report);
    // Stop Searching Partitions: after its question, the disk's search or this one ends, keeping
    // what it found.
    void OnStopSearchingPartitions();

    // The dialog's handlers of the two messages.
    LRESULT OnPartitionFound(WPARAM index, LPARAM param);
    LRESULT OnEnded() { End(false, true); return 0; }

private:
    static UINT WorkerProc(LPVOID param);
    // Searches one medium and adds each new partition under its item; on the worker.
    void SearchMediumPartitions(const smpparam& medium);

    CSearchSession& m_dialog;
    CWinThread** const m_driveTreeThread;
    // What the search works on: filled before its worker starts, written by the worker alone
    // while it runs, read again after it ended. Its object (deleted by End) and its stop.
    std::atomic<int> m_listing{ 0 };
    std::vector<smpparam> m_media;    // the physical-drive list as it was at the start
    HTREEITEM m_lastMedium = nullptr; // the medium searched last and its disk number
    int m_lastDisk = -1;
    std::atomic<CWinThread*> m_worker{ nullptr };
    StopFlag m_stop{ 0 };
};

// CDeepSearch: the Deep Search screen, a file-system search session that trusts no partition
// table, boot sector or FAT. Its drive page adds the sector range and the file system to look for;
// Next reads every sector of the range for FAT boot sectors and directory clusters or NTFS file
// records, assembles what it found into volumes and shows their folders in the results tree that
// Basic Search uses, each folder listed, opened and saved through its own volume's geometry.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "app/scanprogress.h"
#include "fsrecovery/fssession.h"
#include "fsrecovery/pure/deep_recognised.h"
#include "fsrecovery/pure/deep_results.h"

// The removable-medium search; null when none runs.
extern CWinThread* g_pDeepDriveTreeThread;

// Sent by the scan worker when its progress is due on screen (LPARAM: a DeepScanStatus).
constexpr UINT WM_ZR_DEEP_SCAN_STATUS = WM_APP + 0x260;
// Sent by the drive-letter volume search as it reads (LPARAM: the sector reached), and posted
// when it has ended.
constexpr UINT WM_ZR_RECOGNISED_PROGRESS = WM_APP + 0x261;
constexpr UINT WM_ZR_RECOGNISED_ENDED = WM_APP + 0x262;

// Where a Deep scan is: carving the range, or assembling and building the results from it.
struct DeepScanStatus {
    enum Phase { Carving, Finishing } phase = Carving;
    uint64_t first = 0, end = 0, at = 0;
};

class CDeepSearch : public CFsSearchSession {
public:
    enum { IDD = 135 };

    // The page (Page()) counts the scans started since the last Back; 0 while the drive page is
    // shown.
    explicit CDeepSearch(SearchHost* host = nullptr);
    ~CDeepSearch() override;

    // Button handlers (public so that tests can reach them).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedRefresh();

    void SetFileListColumns();
    // How many times a scan's results were finished since the dialog opened (one per scan).
    int FinishedScans() const { return m_finishedScans.load(); }

    // Search More Partitions: on a drive letter the volumes inside it are searched for by their
    // boot sectors and listed under it as "Recognised" items; on a disk the disk's search runs.
    void OnBnClickedSearchMorePartitions();
    // Stop Searching Partitions: after its question, whichever search runs ends with what it found.
    void OnBnClickedStopSearchingPartitions();
    bool RecognisedSearchRunning() const { return m_recognisedWorker.load() != nullptr; }
    // The drive-letter search itself (on its worker).
    void RunRecognisedSearch();

    // ---- DeviceDetailHost ----
    void SetFileSystemComboIndex(int index) override;
    void HideFoundFileSystemList() override;
    CListCtrl* RecognisedPartitionStore() override { return &m_recognised; }
    CListCtrl* FoundFileSystemList() override { return &m_foundVolumes; }
    void ShowFileList(int showCommand) override { FileList().ShowWindow(showCommand); }
    void SetRecognisedRange(const CString& startText, const CString& endText, const CString& limitText,
                            uint64_t driveSectors) override;

    // From the scan worker: the carving has examined `done` sectors of its range.
    void NoteCarving(uint64_t done);
    // On the scan worker once the scan (RunDeepSearchScan) ended: the results tree built from
    // the store.
    void BuildScanResults();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnScanWorkerEnded() override;
    void ShowNoResultsNotice() override;
    std::atomic<int32_t>& NoticeState() override;
    // The root lists the files of every FAT volume found: cell 9 tells the volume (its row).
    int VolumeColumnOf(uint32_t volume) const override { return int(volume); }
    void OnResultsBuildStep(ResultsBuildStep step) override;
    void ShowLoadedResults(bool throughDisk) override;
    LRESULT OnScanStatus(WPARAM, LPARAM status);
    void OnTimer(UINT_PTR id);

    // Reads the drive page into `selection`, the range and the file system; false (after its
    // message, or silently) when Next must be refused.
    bool ReadScanRequest(Selection& selection, uint64_t& start, uint64_t& end);
    // The partitions of the disk, or the volumes of the drive letter, the scanned item belongs to,
    // into the recognised-partition table and the results (the scan log keeps them).
    void KeepPartitionList(const Selection& selection, uint16_t diskNumber, HTREEITEM item);
    // The first sector of the volume the selection names: a partition's start, a whole disk's
    // first listed partition (else 0), a drive letter's start on the device read, a recognised
    // volume's start in its drive.
    uint64_t VolumeStartOf(const Selection& selection) const;
    void ShowResultsPage();
    // The scan is over: results tree and file list shown, Back enabled; the tree enabled with
    // "Root" selected unless not `openTree` (a loaded log's, once its message was answered).
    void ShowResultsState(bool openTree = true);

    void OnNMClickFoundVolumes(NMHDR* header, LRESULT* result);
    void OnNMSetfocusFoundVolumes(NMHDR* header, LRESULT* result);
    void OnNMCustomdrawFoundVolumes(NMHDR* header, LRESULT* result);
    LRESULT OnRecognisedProgress(WPARAM, LPARAM sector);
    LRESULT OnRecognisedEnded(WPARAM, LPARAM);
    // Waits for the drive-letter search (asking it to stop first when `stop`), lists what it
    // found and gives the drive page back; nothing to do when none runs.
    void EndRecognisedSearch(bool stop);
    void EndWorkers() override;

    // The drive-letter search: its worker, stop flag, what it reads and what it found (written by
    // the worker alone while it runs).
    std::atomic<CWinThread*> m_recognisedWorker{ nullptr };
    StopFlag m_recognisedStop{ 0 };
    struct RecognisedSearch {
        CString devicePath, key, driveName;
        HTREEITEM driveItem = nullptr;
        uint64_t end = 0;
        std::vector<RecognisedVolume> found;
    } m_recognisedSearch;
    std::vector<RecognisedVolume> m_recognisedRows; // the rows of m_recognised
    bool m_closing = false;
    CHideColumn m_foundVolumes;
    CListCtrl m_recognised;
    CColorStatic m_hint, m_path, m_current, m_range, m_scanned, m_treeLabel, m_wait, m_rangeLabel;
    CProgressCtrl m_treeProgress;
    // The carving's counters, kept current on every report and painted as paced.
    PacedCounts m_counts;
    // What the worker's latest carving report says, and whether a message for it waits.
    static constexpr WPARAM kCarvingReport = 1;
    std::atomic<uint64_t> m_carvedTo{ 0 };
    std::atomic<bool> m_carvingPosted{ false };
    bool m_carving = false; // the carving's counters are on screen (the dialog's thread only)
    uint64_t m_recognisedStart = 0; // the recognised volume shown last
    std::atomic<int> m_finishedScans{ 0 };

    DECLARE_MESSAGE_MAP()
};

// Registers the dialog's runner with the launcher.
void RegisterDeepSearchDialog();

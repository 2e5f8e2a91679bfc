// CCarveSession: what Photo, Signature and Video Search share on top of the search-session base.
// Each is a wizard of three steps on one window: the drive step (drive tree, sector range), the
// options step (a summary of the source, the Thorough box, the destination folder, and for
// Signature and Video Search the file types), and the scan step (the finds as they come, the
// progress and Stop). The session owns everything of one search: its scan state and stop flag, the
// numbering of its finds (from 1 at every scan), the finds the lists show and the counts per type. It is the scan's CarveScanHost: the scan threads hand it
// their finds, which the dialog's thread shows in batches, so the scan never waits for the lists.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "app/searchsession.h"
#include "sigrecovery/carve_scan.h"
#include "sigrecovery/clearingnotice.h"
#include "sigrecovery/pure/handoff.h"

// The controls of the carving steps, by which the three dialogs differ.
struct CarveDialogLayout {
    int summary = 0;       // "Name"/"Value" rows of the chosen source, on the options step
    int thorough = 0;      // "Also perform Thorough Scanning Algorithm Search"
    int optionText = 0;    // the explanation beside it
    int destination = 0;   // the destination folder's edit
    int hint = 0;          // the guide line at the foot of every step
    int openFolder = 0;    // "Open Containing Folder", after a scan
    int currentSector = 0; // the sector being read
    int scannedOf = 0;     // "sectors scanned of total ..."
    int passText = 0;      // which pass runs
    int clearNote = 0;     // shown once a full list was emptied
    // Shown on the options step and hidden on the others.
    std::vector<int> optionsStep;
    // Shown on the drive step and hidden on the others (besides the tree, the detail list and the
    // sector range).
    std::vector<int> driveStep;
};

// The layout of a carving dialog with what the three share filled in: the caption, the sector range
// and its help, the hint over the detail list, the partition search's texts, the pictures of the
// drive tree and of the share button, and the contact line on the glass.
SearchDialogLayout CarveSearchLayout(CarveSearchKind kind);

class CCarveSession : public CSearchSession, public CarveScanHost {
public:
    enum : int { kDriveStep = 0, kOptionsStep = 1, kScanStep = 2 };
    // Result of the modal loop when Back ends the dialog on the drive step.
    static constexpr INT_PTR kBackResult = 2;

    CCarveSession(const SearchDialogLayout& layout, const CarveDialogLayout& carve, CarveSearchKind kind, SearchHost* host);
    ~CCarveSession() override;

    const CarveSearchInfo& Info() const { return m_info; }
    const CarveDialogLayout& CarveLayout() const { return m_carve; }

    // Button handlers (public for the tests that drive the real dialog).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedBrowse();
    void OnBnClickedOpenFolder();
    void OnBnClickedRefreshTree();

    // What the scan has found so far, as the lists show it (the dialog's thread).
    const CarveResults& Results() const { return m_results; }
    // The device and sectors the scan reads, set by the drive step's Next.
    const ScanTarget& Target() const { return m_target; }
    // The folder the finds are saved below, set by the options step's Next.
    const CString& DestinationFolder() const { return m_destination; }
    // True from Stop until the scan has ended.
    bool Stopping() const { return m_stopping; }
    // Shows the finds the scan handed on and not yet shown (tests call it after the scan ended).
    void ShowPendingFinds();

    // ---- CarveScanHost: called on the scan's threads ----
    CarveSearchKind Kind() override { return m_info.kind; }
    CarveScanState& State() override { return m_state; }
    StopFlag& ScanStopFlag() override { return MutableScanStop(); }
    CString DevicePath() override { return m_target.devicePath; }
    uint64_t StartSector() override { return m_target.firstSector; }
    uint64_t EndSector() override { return m_target.endSector; }
    CString Destination() override { return m_destination; }
    bool ThoroughWanted() override { return m_thoroughWanted; }
    CarveNaming& Naming() override { return m_naming; }
    MediaAnswer AskMediaRemoved() override;
    void ShowMessage(const CString& text) override;
    void PassStarting(bool thorough) override;
    void AddResultRow(const CarveFound& found) override;

protected:
    BOOL OnInitDialog() override;
    void EndWorkers() override;
    void OnScanWorkerEnded() override;

    // ---- What each search adds ----
    // The options step's own controls shown (firstTime: coming from the drive step) or hidden
    // (toDriveStep: going back to it, when what the step was filled with goes too).
    virtual void ShowOptionsControls(bool firstTime) = 0;
    virtual void HideOptionsControls(bool toDriveStep) = 0;
    // The options step's Next: false (after telling the user why) keeps the step.
    virtual bool ReadScanOptions() { return true; }
    // The types counted in this scan, in the order their counts are shown.
    virtual std::vector<CString> CountedTypes() = 0;
    // The scan step's lists emptied and shown, or emptied and hidden.
    virtual void ShowScanLists() = 0;
    virtual void HideScanLists() = 0;
    // A pass begins (on the dialog's thread).
    virtual void OnPassStarting(bool thorough) { }
    // A find for the lists; `step` says what the shown list does first.
    virtual void ShowFound(const CarveFound& found, CarveListStep step) = 0;

    // ---- For the searches ----
    void ShowControls(const std::vector<int>& ids, int show);
    void SetHint(const CString& text);
    // The one-second notice over the dialog while a full list is emptied. The dialog stays
    // disabled for that second; the scan goes on meanwhile.
    void ShowClearingNotice();
    CString ControlText(int id);
    LRESULT OnFoundMsg(WPARAM, LPARAM);
    LRESULT OnPassMsg(WPARAM thorough, LPARAM);
    LRESULT OnMessageMsg(WPARAM, LPARAM text);
    void OnTimer(UINT_PTR id);
    // A list that takes the focus shows a selected row: its selection mark's, else the first.
    void OnNMSetfocusList(UINT id, NMHDR* header, LRESULT* result);

    CListCtrl m_summary;
    CColorStatic m_hint, m_optionText, m_contactLabel;
    // The guide line while a scan runs.
    const wchar_t* ScanRunningHint() const;

private:
    bool LeaveDriveStep();
    bool StartScan();
    // The scan ended (by itself or after Stop): its last finds shown and the step's end state.
    void FinishScan();
    void ShowDriveStep();
    void UpdateProgress();
    static UINT ScanWorker(LPVOID session);

    const CarveDialogLayout& m_carve;
    const CarveSearchInfo& m_info;
    CarveScanState m_state;
    CarveNaming m_naming;
    CarveResults m_results;
    HandOff<CarveFound> m_finds;
    ScanTarget m_target;
    CString m_destination;
    bool m_thoroughWanted = true;
    bool m_stopping = false;
    std::unique_ptr<CRawDlg> m_notice;

    DECLARE_MESSAGE_MAP()
};


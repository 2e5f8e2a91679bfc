// CDelvaneDlg: the launcher and the hub every search dialog reaches through g_pMainDlg. It owns
// the search mode, the record tables, the loading and wait dialogs and the temporary-file list,
// runs each search dialog modally on the mode thread, and holds the shared progress, status,
// control-group and shell services.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/pure/record_table.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"
#include "storage/pure/search_mode.h" // the modes SearchMode holds

class CModeless1;
class CPlease_Wail_Modeless;
class CSystemImageList;
class CImageList;

// Runs a mode's search dialog modally on the calling thread (constructed on its stack).
typedef void (*ZrSearchDialogRunner)();
// Each search dialog registers its runner once before the launcher runs (mode 1 to 5; null
// removes it). The mode thread runs nothing for a mode without one.
void RegisterSearchDialog(int searchMode, ZrSearchDialogRunner runner);
ZrSearchDialogRunner GetSearchDialogRunner(int searchMode);
// The page index of a mode's dialog (0 on its drive page), registered with its runner so that
// Go can start Basic and Deep Search on their first pages; null removes it.
void RegisterSearchPageIndex(int searchMode, std::atomic<int>* page);
void RunBasicSearchDialog();
void RunDeepSearchDialog();

// How the mode thread is started (ZrBeginThreadInto); tests replace it to see a start fail.
typedef CWinThread* (*ZrModeThreadStarter)(CWinThread*& slot, AFX_THREADPROC proc, LPVOID param);
ZrModeThreadStarter ZrSetModeThreadStarter(ZrModeThreadStarter starter);

// Posted to the launcher: the mode thread's search dialog has ended (lParam: the thread object).
constexpr UINT WM_ZR_MODE_ENDED = WM_APP + 0x210;
// Sent to the launcher from other threads to run a service on its thread.
constexpr UINT WM_ZR_CLOSE_LOADING = WM_APP + 0x211;
constexpr UINT WM_ZR_SHOW_WAIT = WM_APP + 0x212;
constexpr UINT WM_ZR_CLOSE_WAIT = WM_APP + 0x213;

constexpr UINT_PTR kLoadingTimerId = 10;
constexpr UINT kLoadingTimerMs = 80;

class CDelvaneDlg : public CDialog {
public:
    CDelvaneDlg();
    ~CDelvaneDlg() override;

    std::atomic<int> SearchMode{ 0 };
    std::atomic<int> SearchDialogReady{ 0 };
    uint64_t SelectedDriveValue = 0;
    CString LogicalDrivePath;
    std::atomic<int> DriveTreeRefreshBusy{ 0 };
    HICON m_hIcon = nullptr;
    CModeless1* LoadingDialog = nullptr;
    std::atomic<int> PartitionSearchRunning{ 0 };
    std::atomic<int> FoundPartitionCount{ 0 };
    std::atomic<int> PartitionSearchPending{ 0 };
    std::vector<CString> TempFileNames;
    CPlease_Wail_Modeless* WaitDialog = nullptr;
    int TimerTicks = 0;
    int TempFileCounter = 0;
    // The shell's small icons, kept for every list that shows files and folders while a search
    // runs; taken again by the mode thread and by each search dialog.
    CImageList* SmallImageList = nullptr;
    void KeepSystemImageList();

    // The partitions recognised in the drive tree's items, in memory, filled from any thread (the
    // scans' own records live in the typed stores of the sessions).
    ZrRecordTable RecognisedPartitionTable;
    void EmptyRecordTables();

    // ---- Launching --------------------------------------------------------------------------
    void OnBnClickedBasicSearch();
    void OnBnClickedDeepSearch();
    void OnBnClickedPhotoSearch();
    void OnBnClickedVideoSearch();
    void OnBnClickedSignatureSearch();
    void StartModeSearch();
    // Called by a search dialog's initialisation, on any thread: stops the loading bar's timer
    // and closes the loading dialog.
    void SearchDialogStarted();
    void CloseLoadingDialog();

    // ---- Exit ------------------------------------------------------------------------------
    // The exit question; on Yes the program ends (EndProgram).
    void OnClose();
    // Stops the workers, deletes the temporary files and ends the process.
    void EndProgram();
    // EndProgram, but while found files are being saved on this thread (the exit was asked from
    // within that save's message loop) the save is cancelled first: it deletes the file it was
    // writing, and SaveEnded then ends the program.
    void EndProgramAfterSave();
    // Told by a save of found files that it has ended: ends the program when that was asked for
    // meanwhile (true), else false.
    bool SaveEnded();

    // ---- Progress, status and wait --------------------------------------------------------
    void SetProgressRange64(HWND bar, uint64_t start, uint64_t end, int32_t step);
    void UpdateProgress(HWND bar, uint64_t start, uint64_t end, uint64_t position);
    // Puts the bar of a range set by SetProgressRange64 at `position` at once: a small range at
    // position - start, a large one at its percent (forward only, as UpdateProgress). For work
    // reported now and then rather than step by step.
    void SetProgressPosition64(HWND bar, uint64_t start, uint64_t end, uint64_t position);
    void SetSaveStatusText(const CString& text);
    // The seven property rows of a partition of DiskPartitionTable in the active dialog's list,
    // then that dialog's hint panel hidden and (Deep, Photo, Video, Signature) its range controls
    // shown. A disk or partition number out of range shows nothing.
    void FormatSelectionDetails(const CString& typeText, int partitionIndex, int diskNumber);
    // Safe from any thread: the wait dialog is made and shown on the launcher's thread.
    void ShowWaitDialog(CWnd* owner, BOOL centre);
    void CloseWaitDialog(CWnd* owner);

    // ---- Control groups of the active search dialog ------------------------------------------
    CDialog* ActiveSearchDialog() const;
    // The window the user is looking at, which every message box and small dialog is shown over:
    // `requested` (its top-level window) when it can take input, else the window in front of it,
    // else the active search dialog, else the launcher; `requested` when none can.
    static HWND PickBoxOwner(HWND requested);
    void EnableModeButtons();
    void DisableModeButtons();
    void ShowSectorRangeControls(int showCommand, CWnd* dialog);
    void ShowModeResultControls(int showCommand);
    void ShowHintPanel(int showCommand);
    void ResetScanCounters();
    void SelectFileSystemCombo(const CString& fileSystem);

    // ---- Temporary files and shell ------------------------------------------------------------
    void CleanTempFolder();

    static void ShowAboutDialog();
    static void ShowHelpDialog();
    // After a modal dialog has enabled its owner again: while a log loader or a folder listing
    // runs, the results tree is locked again and the listing's notice comes back to the front.
    static void RestoreBusyState();

private:
    // An exit waits for the save running on this thread (EndProgramAfterSave).
    bool m_endAfterSave = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon() { return m_hIcon; }
    void OnTimer(UINT_PTR id);
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    void OnDestroy();
    void OnShowWindow(BOOL show, UINT status);
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    LRESULT OnHelpKey(WPARAM, LPARAM);
    void OnBnClickedExit() { OnClose(); }
    void OnBnClickedHelp() { ShowHelpDialog(); }
    void OnBnClickedAbout() { ShowAboutDialog(); }
    void OnLinkWeb();
    void OnLinkMail();
    void OnShareLink(UINT id);
    void OnShareButton();
    LRESULT OnModeEnded(WPARAM, LPARAM thread);
    LRESULT OnCloseLoading(WPARAM, LPARAM);
    LRESULT OnShowWaitMsg(WPARAM centre, LPARAM owner);
    LRESULT OnCloseWaitMsg(WPARAM, LPARAM owner);

    void Go(int mode);
    void ReadStartupLogHeader();
    // Glass subclassing on Vista and later with glass on; otherwise composition is turned off.
    void ApplyMainGlass();
    void CreateRecordTables();
    void ShowWaitDialogHere(HWND owner, BOOL centre);
    void CloseWaitDialogHere(HWND owner);

    CMyBtn m_goBasic, m_goDeep, m_goPhoto, m_goVideo, m_goSignature;
    CMyBtn m_contact, m_about, m_exit, m_help;
    CMy_Link_Static m_linkWeb, m_linkMail;
    CColorStatic m_descBasic, m_descDeep, m_descPhoto, m_descVideo, m_descSignature;
    CColorStatic m_titleBasic, m_titleDeep, m_titlePhoto, m_titleVideo, m_titleSignature;
    CColorStatic m_dateLine, m_groupStandard, m_groupSpecific, m_shareLabel;
    CStatic m_frame, m_logo;
    CBitmapButton m_shareButton;
    CToolTipCtrl m_toolTip;
    HICON m_hLogo = nullptr;
    DwmApi m_dwm;
    std::unique_ptr<CSystemImageList> m_systemImages;

    DECLARE_MESSAGE_MAP()
};

// The hints the search dialogs show in their path line and hint labels: what to do on the drive
// page, after a scan, after a carving search, while saving and while a scan runs.
extern const wchar_t* const HintSelectDrive;
extern const wchar_t* const HintSelectFiles;
extern const wchar_t* const HintViewRecovered;
extern const wchar_t* const HintStopRecovery;
extern const wchar_t* const HintStopSearching;

extern CDelvaneDlg* g_pMainDlg;
extern CDialog* g_pBasicSearchDlg;
extern CDialog* g_pDeepSearchDlg;
extern CDialog* g_pPhotoSearchDlg;
extern CDialog* g_pVideoSearchDlg;
extern CDialog* g_pSignatureSearchDlg;
extern CWnd* g_pSavingFilesDlg;
extern CString TempFolderPath;

// The running mode thread; Go does nothing while it is set.
extern CWinThread* g_pModeSearchThread;
// Worker threads that keep the Go buttons idle while they run (the scan-log loaders).
extern CWinThread* g_pBasicLogLoadThread;
// The message of a scan log that cannot be used.
extern const wchar_t* const kInvalidLogText;
extern CWinThread* g_pDeepLogLoadThread;
// Every worker the exit path asks to stop, by the global that holds it. Workers add their global
// once (at start-up or when first started).
void RegisterWorkerGlobal(CWinThread** global);

extern std::atomic<int> LastProgressPercent;

// Deletes the files of `folder` (ending in "\") that this program wrote there: names of the form
// VKD<digits>[.<ext>]. Sub-folders and other programs' files stay. Returns the number deleted.
int DeleteTempFiles(const CString& folder);
// Creates every missing folder of `path`, outermost first.
void CreateDirectoryPath(const CString& path);
void OpenHelpFile();
// TRUE when CurrentDevicePath opens for reading.
BOOL IsSourceOpenable();
void CreateEmptyFile(const CString& path);

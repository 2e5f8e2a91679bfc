// CDelvaneDlg: the launcher. It runs each search dialog modally on the mode thread and is the
// SearchHost (app/searchhost.h) it hands to that dialog: it owns the search mode, the record
// table, the loading and wait dialogs and the temporary-file list, and holds the shared progress,
// status and control-group services. Nothing but the program's start-up names this class.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/searchhost.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"

class CModeless1;
class CPlease_Wail_Modeless;
class CSystemImageList;
class CImageList;

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

class CDelvaneDlg : public CDialog, public SearchHost {
public:
    CDelvaneDlg();
    ~CDelvaneDlg() override;

    HICON m_hIcon = nullptr;
    CModeless1* LoadingDialog = nullptr;
    CPlease_Wail_Modeless* WaitDialog = nullptr;
    int TimerTicks = 0;
    int TempFileCounter = 0;
    // The running mode thread; Go does nothing while it is set.
    CWinThread* ModeSearchThread = nullptr;
    // The shell's small icons, kept for every list that shows files and folders while a search
    // runs; taken again by the mode thread and by each search dialog.
    void KeepSystemImageList() override;
    void EmptyRecordTables() override;

    // ---- Launching --------------------------------------------------------------------------
    void OnBnClickedBasicSearch();
    void OnBnClickedDeepSearch();
    void OnBnClickedPhotoSearch();
    void OnBnClickedVideoSearch();
    void OnBnClickedSignatureSearch();
    void StartModeSearch();
    // Called by a search dialog's initialisation, on any thread: stops the loading bar's timer
    // and closes the loading dialog.
    void SearchDialogStarted() override;
    void CloseLoadingDialog();

    // ---- Exit ------------------------------------------------------------------------------
    // The exit question; on Yes the program ends (EndProgram).
    void OnClose();
    // Stops the workers, deletes the temporary files and ends the process.
    void EndProgram();
    // EndProgram, but while found files are being saved on this thread (the exit was asked from
    // within that save's message loop) the save is cancelled first: it deletes the file it was
    // writing, and SaveEnded then ends the program.
    void EndProgramAfterSave() override;
    bool SaveEnded() override;

    // ---- SearchHost: the window, status and wait ----------------------------------------------
    void SetSaveStatusText(const CString& text) override;
    // Safe from any thread: the wait dialog is made and shown on the launcher's thread.
    void ShowWaitDialog(CWnd* owner, BOOL centre) override;
    void CloseWaitDialog(CWnd* owner) override;

    // ---- SearchHost: control groups of the active search dialog --------------------------------
    void FormatSelectionDetails(const CString& typeText, int partitionIndex, int diskNumber) override;
    void EnableModeButtons() override;
    void DisableModeButtons() override;
    void ShowSectorRangeControls(int showCommand, CWnd* dialog) override;
    void ShowHintPanel(int showCommand) override;
    void SelectFileSystemCombo(const CString& fileSystem) override;

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
    void OnBnClickedHelp();
    void OnBnClickedAbout();
    void OnLinkWeb();
    void OnLinkMail();
    void OnShareLink(UINT id);
    void OnShareButton();
    LRESULT OnModeEnded(WPARAM, LPARAM thread);
    LRESULT OnCloseLoading(WPARAM, LPARAM);
    LRESULT OnShowWaitMsg(WPARAM centre, LPARAM owner);
    LRESULT OnCloseWaitMsg(WPARAM, LPARAM owner);

    void Go(int mode);
    // The parts of the initialisation: the Go buttons' and share icons' tips; the icon buttons
    // and the link labels; the titles' fonts and the white behind every text.
    void AddToolTips();
    void SetupButtonsAndLinks();
    void SetupTexts();
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


// CSigDuplicate: the Signature Search and the Video Search dialog, one class driven by the
// search's description (sigrecovery/pure/carve_search.h): its template, texts, data files and
// folders. On the options step the user ticks the file types of the search's two data files; the
// scan step lists every found file with its shell icon and counts the finds per type.
#pragma once
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "app/colorcontrols.h"
#include "app/hidecolumn.h"
#include "app/sortclass.h"
#include "sigrecovery/carvesession.h"

class CSigDuplicate : public CCarveSession {
public:
    // kind: CarveSearchKind::Signature or CarveSearchKind::Video.
    explicit CSigDuplicate(CarveSearchKind kind, SearchHost* host = nullptr);
    ~CSigDuplicate() override;

    // The type list from the search's two data files (full paths), from row firstRow on: every type
    // once, upper case, ticked, with the description of its first record.
    void FillFileTypeList(const CString& firstPath, const CString& secondPath, int firstRow);
    // The records of a data file (name with its leading backslash) whose types are ticked; a type
    // the list does not have counts as ticked.
    std::vector<FileType1> LoadSignatureFile(const CString& fileName);

    CColoredListCtrl& TypeList() { return m_typeList; }
    CHideColumn& SummaryList() { return m_counts; }
    CColoredListCtrl& ResultList() { return m_results; }

    void OnBnClickedCheckAll();
    void OnBnClickedUncheckAll();

    std::vector<FileType1> SignaturesForPass(bool thorough) override;

protected:
    BOOL OnInitDialog() override;
    void OnDestroyControls() override;
    void ShowOptionsControls(bool firstTime) override;
    void HideOptionsControls(bool toDriveStep) override;
    bool ReadScanOptions() override;
    std::vector<CString> CountedTypes() override;
    void ShowScanLists() override;
    void HideScanLists() override;
    void OnPassStarting(bool thorough) override;
    void ShowFound(const CarveFound& found, CarveListStep step) override;

    void OnNMDblclkResults(NMHDR* header, LRESULT* result);

    CColoredListCtrl m_typeList;
    CHideColumn m_counts;
    CColoredListCtrl m_results;
    CSystemImageList m_icons;
    // The ticks of the type list as Next read them (key -> ticked), for both passes.
    std::map<std::wstring, bool> m_ticks;
    std::vector<FileType1> m_generalSignatures;
    bool m_imageListHeld = false;

    DECLARE_MESSAGE_MAP()
};

// Registers the Photo, Signature and Video Search dialogs with the launcher.
void RegisterCarveSearchDialogs();

// CRawSearch: the Photo Search dialog. Found pictures are saved below the destination like every
// carving search's finds and shown as 100 x 100 thumbnails, made on a thread of their own from the
// saved files; a hidden list counts the finds per picture type.
#pragma once
#include <atomic>

#include "sigrecovery/carvesession.h"
#include "sigrecovery/thumbnails.h"

class CRawSearch : public CCarveSession {
public:
    enum { IDD = 136 };

    explicit CRawSearch(SearchHost* host = nullptr);
    ~CRawSearch() override;

    CThumbsListCtrl& Thumbnails() { return m_thumbs; }
    CListCtrl& TypeCounts() { return m_typeCounts; }
    // True while found pictures wait for their thumbnails.
    bool ThumbnailsPending() const { return m_maker.Busy(); }
    // Shows the thumbnails made and not yet shown (tests).
    void ShowReadyThumbnails();

    // The General or the Advance list, loaded at start-up.
    std::vector<FileType1> SignaturesForPass(bool thorough) override;

protected:
    BOOL OnInitDialog() override;
    void EndWorkers() override;
    void ShowOptionsControls(bool firstTime) override;
    void HideOptionsControls(bool toDriveStep) override;
    std::vector<CString> CountedTypes() override;
    void ShowScanLists() override;
    void HideScanLists() override;
    void OnPassStarting(bool thorough) override;
    void ShowFound(const CarveFound& found, CarveListStep step) override;

    LRESULT OnThumbnailsReady(WPARAM, LPARAM);
    void OnNMDblclkThumbs(NMHDR* header, LRESULT* result);

    // The type counts are per pass: emptied when the Thorough pass's finds begin.
    void CountPass(bool thorough);
    // The type-count row of a find's type key; -1 when the type has none.
    int TypeCountRow(const CString& key);

    CThumbsListCtrl m_thumbs;
    CListCtrl m_typeCounts;
    ThumbnailMaker m_maker;
    bool m_countsThorough = false;

    DECLARE_MESSAGE_MAP()
};

// RowTicks: the ticked rows of every folder of a file-system search's file list listed so far, so
// that a tick stays when another folder is shown: a folder row by its results item, a file row by
// its file. The dialog holds one beside the listing whose rows it keeps.
#pragma once
#include <map>
#include <set>

#include "app/searchsession.h"
#include "fsrecovery/folder_listing.h"
#include "fsrecovery/pure/volume_listing.h"

class RowTicks {
public:
    struct TickedRow {
        HTREEITEM folder = nullptr;
        FoundFileRef file;
        bool operator<(const TickedRow& o) const;
    };
    using Ticked = std::map<HTREEITEM, std::set<TickedRow>>;

    RowTicks(CSearchSession& dialog, FolderListing& rows) : m_dialog(dialog), m_rows(rows) { }
    RowTicks(const RowTicks&) = delete;
    RowTicks& operator=(const RowTicks&) = delete;

    // Notes the file list's tick changes (the rows' state images) on their way to the dialog.
    void NoteMessage(UINT message, LPARAM lParam);
    // The ticks of the rows shown now into their folder's set (rows not shown keep theirs).
    void Keep();
    // The rows shown now ticked as they were when their folder was listed last.
    void Restore();
    // A folder is listed: changes are noted from here.
    void ListingStarts() { m_changed = false; }
    void Clear();
    // The ticked rows by the folder they were listed in.
    const Ticked& Rows() const { return m_ticked; }

private:
    bool RowKey(HTREEITEM listed, int row, TickedRow& key);

    CSearchSession& m_dialog;
    FolderListing& m_rows;
    Ticked m_ticked;
    // A row of the file list was ticked or unticked since its folder was listed (the list tells
    // its owner): without that, leaving a folder reads none of its rows.
    bool m_changed = false;
};

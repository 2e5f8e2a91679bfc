// CTreeClass: the one tree view of the search dialogs. It shows the device tree ("My Computer",
// "Physical Drives", "Logical Drives") and, after a file-system scan, the results folder tree under
// "Root". It keeps three-state check boxes in the items' state images, a per-item colour and font
// map honoured by its own painting, and the detail routines run when a device item is selected.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "afxwin.h"
#include "app/pure/folder_nodes.h"
#include "app/pure/tree_rules.h"

class CTreeClass;

// The tree of the search dialog in use; set by CTreeClass::Create and by each search dialog's
// initialisation.
extern CTreeClass* ActiveTree;
// The item last hit by a click, and the item of the last selection change.
extern HTREEITEM SelectedTreeItem;
// The disk number of the disk selected last, or, for a logical drive, its letter's code.
extern uint16_t SelectedDriveId;
// The size in sectors of the drive holding the recognised partition selected last.
extern uint64_t RecognisedDriveSectors;
// "Recognised" and the number of the recognised partition selected last.
extern CString SelectedPartitionText;
// Page index of the Signature and Video Search dialogs: 0 on their first page.
extern int SigVideoSearchPage;
// Non-zero while a scan-log loader inserts folders (each exactly once, so the id index is not
// consulted).
extern volatile long ScanLogLoading;

// What the device-tree detail routines need from the search dialog that owns the tree: its mode
// and detail list, and the operations they ask of it. Every operation has a do-nothing default,
// so a dialog overrides only what it has.
class DeviceDetailHost {
public:
    // `mode`: the search mode of the dialog (kModeBasic ... kModeSignature); `detailList`: the
    // dialog's file list, used as the detail list on the first page (may be null).
    explicit DeviceDetailHost(int mode, CListCtrl* detailList = nullptr) : m_mode(mode), m_detailList(detailList) { }
    virtual ~DeviceDetailHost() = default;
    int Mode() const { return m_mode; }
    CListCtrl* DetailList() const { return m_detailList; }
    void SetDetailList(CListCtrl* list) { m_detailList = list; }
    virtual bool IsOnFirstPage() const { return true; }
    virtual void ShowHintPanel(int /*showCommand*/) { }
    virtual void ShowSearchHint(const CString& /*itemText*/) { }
    virtual void HideHintLabels() { }
    virtual void ShowSectorRangeControls(int /*showCommand*/) { }
    virtual void SetSectorRangeControls(uint64_t /*first*/, uint64_t /*last*/) { }
    // By name ("FAT16", "FAT32", "NTFS"); SetFileSystemComboIndex(3) is "Unknown".
    virtual void SelectFileSystemCombo(const CString& /*fsName*/) { }
    virtual void SetFileSystemComboIndex(int /*index*/) { }
    virtual void SetDiskSize(uint64_t /*sectors*/) { }
    virtual void ShowTree() { }
    virtual void HideFoundFileSystemList() { }
    virtual void ShowDetailPanel(int /*showCommand*/) { }
    // The seven rows of partition `index` of a disk's partition table; by default the main
    // dialog's service writes them.
    virtual void FormatSelectionDetails(const CString& fsName, int index, int diskNumber);
    // Deep Search: the store of partitions recognised on logical drives and the list that shows
    // those of one drive; may be null elsewhere.
    virtual CListCtrl* RecognisedPartitionStore() { return nullptr; }
    virtual CListCtrl* FoundFileSystemList() { return nullptr; }
    virtual void ShowFileList(int /*showCommand*/) { }
    // The Start, End, Min and Max edits and the range slider (limits 0 to driveSectors).
    virtual void SetRecognisedRange(const CString& /*startText*/, const CString& /*endText*/,
                                    const CString& /*limitText*/, uint64_t /*driveSectors*/)
    { }
    virtual void FocusSecondTree() { }

private:
    int m_mode;
    CListCtrl* m_detailList;
};

// Who answers a tree's selection and expansion notifications: the dialog that owns the tree.
class TreeNotifyHandler {
public:
    virtual ~TreeNotifyHandler() = default;
    virtual void OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result) = 0;
    virtual void OnTreeItemExpanding(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result) = 0;
};

// Inserts "Root" (picture 0) at the top level of ActiveTree after its last item and returns it;
// null, inserting nothing, when there is no active tree.
HTREEITEM InsertTreeRoot();

class CTreeClass : public CTreeCtrl {
public:
    // One entry of the colour-and-font map.
    struct Color_Font {
        COLORREF color = kNoItemColour; // kNoItemColour: the item has no colour of its own
        LOGFONTW logfont{};             // empty face name: the tree's own font
    };

    CTreeClass();
    ~CTreeClass() override;

    // The folder records of the results shown in this tree (emptied with DeleteAllResults); the
    // scan log and the folder listing read them from here.
    ResultFolders Folders;

    // Stores this tree in ActiveTree, then creates the window.
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // ---- check boxes (state images 1 unchecked, 2 checked, 3 partly checked) ----
    void SetCheckRecursive(HTREEITEM item, int state);
    void UpdateParentsChecked(HTREEITEM item);
    void UpdateParentsUnchecked(HTREEITEM item);
    void ToggleCheck(HTREEITEM item);
    // 0..3: the state-image index of the item (0: none).
    int GetCheckState(HTREEITEM item) const;
    void SetCheckState(HTREEITEM item, int state);
    int GetChildCount(HTREEITEM item) const;

    // ---- colours ----
    // 0 stands for the current window-text colour; callers mark found partitions kFoundGreen.
    void SetItemColor(HTREEITEM item, COLORREF color);
    // The entry of an item, or null when it has none.
    const Color_Font* FindColorFont(HTREEITEM item) const;
    // Forgets every item's colour and font: the handles of items taken away may come back for
    // new ones, which must not show them.
    void ForgetItemColors() { m_colorFonts.clear(); }

    // ---- results tree ----
    HTREEITEM InsertResultItem(HTREEITEM parent, CString name, uint32_t reserved1, uint64_t id, uint32_t reserved2,
                               uint32_t reserved3, uint64_t date, uint64_t time, uint32_t parentId, uint32_t reserved4,
                               uint32_t deleted, uint64_t cluster0Start);
    void EnsureRootItem();
    // Deletes every item and frees the folder records and the id index that described them.
    void DeleteAllResults();
    // The folder records of the results items under `parent`, in the tree's order (each item is
    // inserted last under its parent, and results items go only all at once); null when none.
    // A listing reads its subfolders here rather than asking the control for every child.
    const std::vector<FolderNode*>* ResultChildren(HTREEITEM parent) const;
    // Between these two (on the tree's thread), InsertResultItem keeps what it learns of the tree
    // (the top item) instead of asking the control again for every folder,
    // and the last folder under the top item is scrolled into view once at the end.
    void BeginResultInsert();
    void EndResultInsert();

    // ---- device-tree selection ----
    void SetDetailHost(DeviceDetailHost* host) { m_pDetailHost = host; }
    DeviceDetailHost* GetDetailHost() const { return m_pDetailHost; }
    // Parent steps from the item up to the first top-level item (-1 for null).
    int ItemDepth(HTREEITEM item) const;
    // Runs the detail routine the item's text and depth call for.
    void ShowDeviceItem(HTREEITEM item);
    void ResetDetailList();
    void ShowPhysicalDrives(HTREEITEM item);
    void ShowDiskDetails(HTREEITEM item);
    void ShowLogicalDriveDetails(HTREEITEM item);
    void FillPartitionDetails(HTREEITEM item);
    // The disk a partition item lies on (from its disk item), -1 when it names none; the
    // partition's index in that disk's table, -1 when the table does not hold the item.
    int PartitionDiskOf(HTREEITEM item);
    int PartitionIndexOf(HTREEITEM item, int disk);
    // A partition recognised on a logical drive (the item is SelectedTreeItem).
    void ShowSectorRange(CString text);
    void AddLogicalDrivesRoot();
    void AddMyComputerRoot();
    CString GetChildrenFsName(HTREEITEM item);
    // Forgets which item's details are on screen (Refresh, Back and the reset call this).
    void ForgetShownDetails() { m_shownItemText.Empty(); }

    // Text of the group item selected last / the recognised key / the previous item kind.
    CString m_previousItemKind;
    CString m_recognisedKey;
    CString m_shownItemText;

    HTREEITEM m_hRootItem = nullptr;
    HTREEITEM m_hClickedItem = nullptr;

    // The owner that answers this tree's selection and expansion; null: the notifications are
    // left to the control.
    void SetNotifyHandler(TreeNotifyHandler* handler) { m_pNotifyHandler = handler; }

protected:
    void OnLButtonDown(UINT flags, CPoint point);
    void OnPaint();
    void OnTvnItemexpanding(NMHDR* header, LRESULT* result);
    void OnTvnSelchanged(NMHDR* header, LRESULT* result);
    void OnTvnGetInfoTip(NMHDR* header, LRESULT* result);

    void ReplaceDetailColumns(CListCtrl* list);
    // "Logical Drives" or "My Computer": the hint in place of the range and detail panel.
    void ShowGroupHint(const wchar_t* groupText);
    void UpdateParents(HTREEITEM item, bool checked);

    std::unordered_map<HTREEITEM, Color_Font> m_colorFonts;
    std::unordered_map<HTREEITEM, std::vector<FolderNode*>> m_resultChildren;
    // What a batch of InsertResultItem calls knows: the top item and the last folder inserted
    // under it.
    struct ResultInsertBatch {
        int depth = 0;
        bool filled = false; // the tree holds items
        HTREEITEM top = nullptr;
        HTREEITEM lastUnderTop = nullptr;
    } m_batch;
    DeviceDetailHost* m_pDetailHost = nullptr;
    TreeNotifyHandler* m_pNotifyHandler = nullptr;

    DECLARE_MESSAGE_MAP()
};

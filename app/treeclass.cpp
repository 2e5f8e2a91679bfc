#include "app/treeclass.h"

#include <vector>

CTreeClass* ActiveTree = nullptr;
HTREEITEM SelectedTreeItem = nullptr;
uint16_t SelectedDriveId = 0;
uint64_t RecognisedDriveSectors = 0;
CString SelectedPartitionText;
int SigVideoSearchPage = 0;
volatile long ScanLogLoading = 0;

BEGIN_MESSAGE_MAP(CTreeClass, CTreeCtrl)
    ON_WM_LBUTTONDOWN()
    ON_WM_PAINT()
    ON_NOTIFY_REFLECT(TVN_ITEMEXPANDINGW, &CTreeClass::OnTvnItemexpanding)
    ON_NOTIFY_REFLECT(TVN_SELCHANGEDW, &CTreeClass::OnTvnSelchanged)
    ON_NOTIFY_REFLECT(TVN_GETINFOTIPW, &CTreeClass::OnTvnGetInfoTip)
END_MESSAGE_MAP()

CTreeClass::CTreeClass() = default;

CTreeClass::~CTreeClass()
{
    // A tree that goes must not stay reachable through the global.
    if (ActiveTree == this)
        ActiveTree = nullptr;
}

BOOL CTreeClass::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    ActiveTree = this;
    return CTreeCtrl::Create(style, rect, parent, id);
}

// ---- check boxes ------------------------------------------------------------------------------

int CTreeClass::GetCheckState(HTREEITEM item) const
{
    return (int)(GetItemState(item, TVIS_STATEIMAGEMASK) >> 12);
}

void CTreeClass::SetCheckState(HTREEITEM item, int state)
{
    SetItemState(item, INDEXTOSTATEIMAGEMASK(state), TVIS_STATEIMAGEMASK);
}

void CTreeClass::SetCheckRecursive(HTREEITEM item, int state)
{
    if (!item)
        return;
    // Depth first without recursion: result trees can be as deep as the folders on a disk.
    std::vector<HTREEITEM> pending{ item };
    while (!pending.empty()) {
        HTREEITEM current = pending.back();
        pending.pop_back();
        SetCheckState(current, state);
        for (HTREEITEM child = GetChildItem(current); child; child = GetNextSiblingItem(child))
            pending.push_back(child);
    }
}

void CTreeClass::UpdateParents(HTREEITEM item, bool checked)
{
    std::vector<int> states;
    for (HTREEITEM parent = item ? GetParentItem(item) : nullptr; parent; parent = GetParentItem(parent)) {
        states.clear();
        for (HTREEITEM child = GetChildItem(parent); child; child = GetNextSiblingItem(child))
            states.push_back(GetCheckState(child));
        SetCheckState(parent,
                      checked ? ParentStateAfterCheck(GetCheckState(parent), states.data(), states.size())
                              : ParentStateAfterUncheck(states.data(), states.size()));
    }
}

void CTreeClass::UpdateParentsChecked(HTREEITEM item)
{
    UpdateParents(item, true);
}
void CTreeClass::UpdateParentsUnchecked(HTREEITEM item)
{
    UpdateParents(item, false);
}

void CTreeClass::ToggleCheck(HTREEITEM item)
{
    if (!item)
        return;
    if (GetCheck(item)) {
        SetCheckRecursive(item, kCheckUnchecked);
        UpdateParentsUnchecked(item);
    } else {
        SetCheckRecursive(item, kCheckChecked);
        UpdateParentsChecked(item);
    }
}

int CTreeClass::GetChildCount(HTREEITEM item) const
{
    if (!ItemHasChildren(item))
        return 0;
    int count = 0;
    for (HTREEITEM child = GetChildItem(item); child; child = GetNextSiblingItem(child))
        ++count;
    return count;
}

void CTreeClass::OnLButtonDown(UINT flags, CPoint point)
{
    (void)flags;
    UINT hitFlags = 0;
    HTREEITEM item = HitTest(point, &hitFlags);
    SelectedTreeItem = item;
    if (item && (hitFlags & TVHT_ONITEMSTATEICON)) {
        m_hClickedItem = item;
        Select(item, TVGN_CARET);
        ToggleCheck(item);
        return;
    }
    Default();
}

// ---- colours and painting -----------------------------------------------------------------------

void CTreeClass::SetItemColor(HTREEITEM item, COLORREF color)
{
    Color_Font& entry = m_colorFonts[item]; // a new entry has an empty face name: tree font
    if (color == 0) {
        const COLORREF windowText = ::GetSysColor(COLOR_WINDOWTEXT);
        if (windowText != 0)
            color = windowText;
    }
    entry.color = color;
}

const CTreeClass::Color_Font* CTreeClass::FindColorFont(HTREEITEM item) const
{
    auto found = m_colorFonts.find(item);
    return found == m_colorFonts.end() ? nullptr : &found->second;
}

void CTreeClass::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    CRect clip;
    dc.GetClipBox(&clip);

    CDC memory;
    memory.CreateCompatibleDC(&dc);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(&dc, client.Width(), client.Height());
    HGDIOBJ oldBitmap = memory.SelectObject(&bitmap);
    memory.IntersectClipRect(&clip);

    DefWindowProc(WM_PAINT, (WPARAM)memory.GetSafeHdc(), 0);

    LOGFONTW treeFont{};
    if (CFont* font = GetFont())
        font->GetLogFont(&treeFont);
    const bool focused = ::GetFocus() == m_hWnd;
    const COLORREF windowText = ::GetSysColor(COLOR_WINDOWTEXT);
    const UINT visible = GetVisibleCount() + 1;
    HTREEITEM item = GetFirstVisibleItem();
    for (UINT n = 0; item && n < visible; ++n, item = GetNextVisibleItem(item)) {
        const Color_Font* entry = FindColorFont(item);
        if (!entry)
            continue;
        if (focused && (GetItemState(item, TVIS_SELECTED | TVIS_DROPHILITED) & (TVIS_SELECTED | TVIS_DROPHILITED)))
            continue;
        CRect rect;
        if (!GetItemRect(item, &rect, TRUE))
            continue;
        // One font per item and paint, released before the next item.
        CFont font;
        font.CreateFontIndirect(entry->logfont.lfFaceName[0] ? &entry->logfont : &treeFont);
        HGDIOBJ oldFont = memory.SelectObject(&font);
        memory.SetTextColor(entry->color == kNoItemColour ? windowText : PaintedTextColour(entry->color, windowText));
        memory.SetBkColor(::GetSysColor(COLOR_WINDOW));
        const CString text = GetItemText(item);
        memory.TextOut(rect.left + 2, rect.top + 5, text, text.GetLength());
        memory.SelectObject(oldFont);
    }

    dc.BitBlt(clip.left, clip.top, clip.Width(), clip.Height(), &memory, clip.left, clip.top, SRCCOPY);
    memory.SelectObject(oldBitmap);
}

// ---- notifications ------------------------------------------------------------------------------

void CTreeClass::OnTvnItemexpanding(NMHDR* header, LRESULT* result)
{
    *result = 0;
    if (m_pNotifyHandler)
        m_pNotifyHandler->OnTreeItemExpanding(this, reinterpret_cast<NMTREEVIEWW*>(header), result);
}

void CTreeClass::OnTvnSelchanged(NMHDR* header, LRESULT* result)
{
    *result = 0;
    if (m_pNotifyHandler)
        m_pNotifyHandler->OnTreeSelChanged(this, reinterpret_cast<NMTREEVIEWW*>(header), result);
}

void CTreeClass::OnTvnGetInfoTip(NMHDR*, LRESULT* result)
{
    *result = 0;
}

// ---- results tree -------------------------------------------------------------------------------

static const wchar_t kRootText[] = L"Root";

HTREEITEM CTreeClass::InsertResultItem(HTREEITEM parent, CString name, uint32_t, uint64_t id, uint32_t, uint32_t,
                                       uint64_t date, uint64_t time, uint32_t parentId, uint32_t, uint32_t deleted,
                                       uint64_t cluster0Start)
{
    const bool batch = m_batch.depth > 0;
    if (!parent || (!(batch && m_batch.filled) && GetCount() == 0)) {
        HTREEITEM first = GetRootItem();
        if (Folders.FolderNodeList.count == 0 || !first || GetItemText(first) != kRootText) {
            parent = InsertItem(kRootText, 0, 0, TVI_ROOT, TVI_LAST);
            Expand(parent, TVE_EXPAND);
            m_hRootItem = parent;
        } else {
            parent = first;
        }
        m_batch.top = nullptr;
    }

    // A log load inserts each folder once; a Signature or Video Search left on a later page
    // leaves the index alone rather than guessing which entry is whose.
    const bool useIndex = ScanLogLoading == 0 && SigVideoSearchPage == 0;
    if (useIndex) {
        if (HTREEITEM known = Folders.TreeItemIndex.Find(id, cluster0Start)) {
            Folders.LastInsertedItem = { known, (uint32_t)id };
            return known;
        }
    }

    // The top item gets its tick box with its first folder.
    HTREEITEM first = batch ? m_batch.top : nullptr;
    if (first == nullptr) {
        first = GetRootItem();
        if (first && GetCheckState(first) == kCheckNone)
            SetCheckState(first, kCheckUnchecked);
        if (batch)
            m_batch.top = first;
    }
    // Every folder starts unticked, also one found in a folder ticked before: what the user ticked
    // is what is saved.
    const int tick = kCheckUnchecked;

    FolderNode values;
    values.name = name;
    values.ownId = (uint32_t)id;
    values.parentId = parentId;
    values.date = date;
    values.time = time;
    values.deleted = deleted;
    values.cluster0Start = cluster0Start;
    FolderNode* node = AppendFolderNode(Folders.FolderNodeList, values);
    // Text, picture, tick box and folder record in one call: each call on a large tree costs.
    HTREEITEM item = InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM, name, 1, 1,
                                INDEXTOSTATEIMAGEMASK(tick), TVIS_STATEIMAGEMASK, (LPARAM)node, parent, TVI_LAST);
    if (!item) {
        RemoveFolderNode(Folders.FolderNodeList, node);
        return nullptr;
    }
    node->item = item;
    m_resultChildren[parent].push_back(node);
    if (batch)
        m_batch.filled = true;
    if (useIndex)
        Folders.TreeItemIndex.Set(id, item, cluster0Start);
    Folders.LastInsertedItem = { item, (uint32_t)id };

    if (parent == first) {
        if (batch)
            m_batch.lastUnderTop = item;
        else
            EnsureVisible(item);
    }
    return item;
}

const std::vector<FolderNode*>* CTreeClass::ResultChildren(HTREEITEM parent) const
{
    const auto found = m_resultChildren.find(parent);
    return found == m_resultChildren.end() ? nullptr : &found->second;
}

void CTreeClass::BeginResultInsert()
{
    if (m_batch.depth++ == 0)
        m_batch = ResultInsertBatch{ 1 };
}

void CTreeClass::EndResultInsert()
{
    if (m_batch.depth == 0 || --m_batch.depth > 0)
        return;
    if (m_batch.lastUnderTop != nullptr && GetSafeHwnd() != nullptr)
        EnsureVisible(m_batch.lastUnderTop);
    m_batch = ResultInsertBatch{};
}

HTREEITEM InsertTreeRoot()
{
    CTreeClass* tree = ActiveTree;
    if (tree == nullptr || tree->GetSafeHwnd() == nullptr)
        return nullptr;
    const HTREEITEM root = tree->InsertItem(kRootText, 0, 0, TVI_ROOT, TVI_LAST);
    if (tree->m_hRootItem == nullptr)
        tree->m_hRootItem = root;
    return root;
}

void CTreeClass::EnsureRootItem()
{
    if (!m_hRootItem) {
        m_hRootItem = InsertItem(kRootText, 0, 0, TVI_ROOT, TVI_LAST);
    } else if (GetItemText(m_hRootItem) != kRootText) {
        SetItemText(m_hRootItem, kRootText);
        SetItemImage(m_hRootItem, 0, 0);
    }
}

void CTreeClass::DeleteAllResults()
{
    DeleteAllItems();
    m_hRootItem = nullptr;
    m_hClickedItem = nullptr;
    ForgetItemColors();
    m_resultChildren.clear();
    m_batch = ResultInsertBatch{ m_batch.depth };
    Folders.Reset();
}

#include "app/sortclass.h"

#include <mutex>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>

#include "app/pure/listcolumns.h"

// CSortClass

CSortClass::CSortClass(CListCtrl* list, int column, BOOL numeric)
    : m_list(list), m_column(column), m_numeric(numeric ? 1 : 0)
{
    const int count = m_list->GetItemCount();
    for (int row = 0; row < count; ++row) {
        const DWORD_PTR data = m_list->GetItemData(row);
        const CString text = m_list->GetItemText(row, m_column);
        DWORD_PTR item;
        if (m_numeric) {
            m_numbers.push_back(std::unique_ptr<CSortNumber>(
                new CSortNumber{ zr_list::ParseWholeNumber(std::wstring(text.GetString())), data }));
            item = (DWORD_PTR)m_numbers.back().get();
        } else {
            m_texts.push_back(std::make_unique<CSortItem>(data, text));
            item = (DWORD_PTR)m_texts.back().get();
        }
        m_saved[item] = data;
        m_list->SetItemData(row, item);
    }
}

CSortClass::~CSortClass()
{
    const int count = m_list->GetItemCount();
    for (int row = 0; row < count; ++row) {
        const auto saved = m_saved.find(m_list->GetItemData(row));
        if (saved != m_saved.end())
            m_list->SetItemData(row, saved->second);
    }
}

void CSortClass::Sort(BOOL ascending)
{
    PFNLVCOMPARE compare = m_numeric ? (ascending ? CompareNumbersAscending : CompareNumbersDescending)
                                     : (ascending ? CompareTextsAscending : CompareTextsDescending);
    m_list->SortItems(compare, 0);
}

// A row without a sort item (one added after the sort class was made) counts as 0 or as empty.
static int64_t NumberOf(LPARAM item)
{
    return item ? reinterpret_cast<const CSortClass::CSortNumber*>(item)->m_value : 0;
}

static const wchar_t* TextOf(LPARAM item)
{
    return item ? reinterpret_cast<const CSortClass::CSortItem*>(item)->m_text.GetString() : nullptr;
}

int CALLBACK CSortClass::CompareNumbersAscending(LPARAM a, LPARAM b, LPARAM)
{
    return zr_list::CompareWholeNumbers(NumberOf(a), NumberOf(b));
}

int CALLBACK CSortClass::CompareNumbersDescending(LPARAM a, LPARAM b, LPARAM)
{
    return zr_list::CompareWholeNumbers(NumberOf(b), NumberOf(a));
}

int CALLBACK CSortClass::CompareTextsAscending(LPARAM a, LPARAM b, LPARAM)
{
    return zr_list::CompareOrdinalTexts(TextOf(a), TextOf(b));
}

int CALLBACK CSortClass::CompareTextsDescending(LPARAM a, LPARAM b, LPARAM)
{
    return zr_list::CompareOrdinalTexts(TextOf(b), TextOf(a));
}

// CSystemImageList

static CImageList* s_smallList = nullptr;
static CImageList* s_largeList = nullptr;
static int s_users = 0;
// Users come and go on the dialogs' threads and on listing workers.
static std::mutex s_usersLock;

// Wraps one of the shell's lists; the handle stays the shell's.
static void CreateSystemList(CImageList*& list, bool small)
{
    if (list)
        return;
    SHFILEINFOW info = {};
    const UINT flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : 0);
    HIMAGELIST handle = (HIMAGELIST)::SHGetFileInfoW(L".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), flags);
    if (!handle)
        return;
    list = new CImageList;
    list->Attach(handle);
    ImageList_SetBkColor(handle, CLR_NONE);
}

static void ReleaseSystemList(CImageList*& list)
{
    if (!list)
        return;
    list->Detach();
    delete list;
    list = nullptr;
}

CSystemImageList::CSystemImageList()
{
    AddRef();
}

CSystemImageList::~CSystemImageList()
{
    Release();
}

void CSystemImageList::AddRef()
{
    std::lock_guard<std::mutex> lock(s_usersLock);
    if (s_users == 0) {
        CreateSystemList(s_smallList, true);
        CreateSystemList(s_largeList, false);
    } else if (!s_smallList) {
        CreateSystemList(s_smallList, true);
    }
    ++s_users;
}

void CSystemImageList::Release()
{
    std::lock_guard<std::mutex> lock(s_usersLock);
    if (s_users <= 0)
        return;
    if (--s_users == 0) {
        ReleaseSystemList(s_largeList);
        ReleaseSystemList(s_smallList);
    }
}

CImageList* CSystemImageList::GetSmallList()
{
    return s_smallList;
}

CImageList* CSystemImageList::GetLargeList()
{
    return s_largeList;
}

int CSystemImageList::GetIconIndex(LPCWSTR name, BOOL openIcon, BOOL small)
{
    if (!name)
        name = L"";
    const UINT flags =
        SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : 0) | (openIcon ? SHGFI_OPENICON : 0);
    const CString extension(::PathFindExtensionW(name));
    if (m_cached && m_flags == flags && m_extension == extension)
        return m_index;
    SHFILEINFOW info = {};
    ::SHGetFileInfoW(name, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), flags);
    m_extension = extension;
    m_flags = flags;
    m_index = info.iIcon;
    m_cached = true;
    return m_index;
}

int GetFolderIconIndex()
{
    SHFILEINFOW info = {};
    ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                     SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON);
    return info.iIcon;
}

// Sorting any report list by one column through the list's own sort, and the shell's system image
// lists shared by every list and tree of the process.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "afxwin.h"

// Lives on the stack around one Sort: while it exists every row's item data points at a sort item
// holding the row's cell; its destructor gives every row its own item data back.
class CSortClass {
public:
    class CSortItem {
    public:
        CSortItem(DWORD_PTR data, const CString& text) : m_text(text), m_data(data) { }
        virtual ~CSortItem() = default;
        CString m_text;
        DWORD_PTR m_data;
    };
    // Numeric mode: the cell read as a whole decimal number, in 64 bits.
    struct CSortNumber {
        int64_t m_value;
        DWORD_PTR m_data;
    };

    CSortClass(CListCtrl* list, int column, BOOL numeric);
    ~CSortClass();
    CSortClass(const CSortClass&) = delete;
    CSortClass& operator=(const CSortClass&) = delete;

    void Sort(BOOL ascending);

private:
    static int CALLBACK CompareNumbersAscending(LPARAM a, LPARAM b, LPARAM);
    static int CALLBACK CompareNumbersDescending(LPARAM a, LPARAM b, LPARAM);
    static int CALLBACK CompareTextsAscending(LPARAM a, LPARAM b, LPARAM);
    static int CALLBACK CompareTextsDescending(LPARAM a, LPARAM b, LPARAM);

    CListCtrl* m_list;
    int m_column;
    BYTE m_numeric;
    std::vector<std::unique_ptr<CSortItem>> m_texts;
    std::vector<std::unique_ptr<CSortNumber>> m_numbers;
    // Sort item address -> the row's own item data.
    std::unordered_map<DWORD_PTR, DWORD_PTR> m_saved;
};

// The shell's small and large system image lists, created with the first user and released with
// the last; each object caches the icon of the last extension it looked up.
class CSystemImageList {
public:
    CSystemImageList();
    virtual ~CSystemImageList();
    CSystemImageList(const CSystemImageList&) = delete;
    CSystemImageList& operator=(const CSystemImageList&) = delete;

    static void AddRef();
    static void Release();
    static CImageList* GetSmallList();
    static CImageList* GetLargeList();

    // The system icon index for a file name, by its extension (compared case-sensitively).
    int GetIconIndex(LPCWSTR name, BOOL openIcon, BOOL small);

private:
    CString m_extension;
    int m_index = 0;
    UINT m_flags = 0; // the look-up flags the cached index was found with
    bool m_cached = false;
};

// The small system icon index of a folder.
int GetFolderIconIndex();

#include "fsrecovery/pure/result_browse.h"

#include "app/pure/textservices.h"
#include "fsrecovery/pure/result_tree.h"

bool IsDeviceItemText(const CString& text)
{
    static const wchar_t* const kPrefixes[] = { L"Partition", L"Logical", L"My", L"Fixed", L"Physical", L"Removable" };
    for (const wchar_t* prefix : kPrefixes) {
        const CString p(prefix);
        if (text.Left(p.GetLength()) == p)
            return true;
    }
    return false;
}

int CollapsedItemImage(const CString& text, bool isFirstTopLevel)
{
    if (IsDeviceItemText(text))
        return -1;
    return text.Left(4) == L"Root" && isFirstTopLevel ? 0 : 1;
}

FolderRowStamp FolderRowDateTime(bool ntfs, const CString& name, uint64_t date, uint64_t time, const CString& today)
{
    FolderRowStamp stamp;
    if (name == kMiscFolderName) {
        stamp.date = today;
        stamp.time = FormatFatTime(uint16_t(time));
    } else if (ntfs) {
        FormatFileTime(date, stamp.date, stamp.time);
    } else {
        stamp.date = FormatFatDate(uint16_t(date));
        stamp.time = FormatFatTime(uint16_t(time));
    }
    return stamp;
}

bool NoResultsNoticeDue(uint32_t resultsPresent, uint32_t treeItemCount, const CString& firstChildText, int pageIndex)
{
    if (resultsPresent != 0 || pageIndex == kLogLoadedPage)
        return false;
    return treeItemCount == 1 || (treeItemCount == 2 && firstChildText == kMiscFolderName);
}

#include "fsrecovery/pure/save_names.h"

#include <algorithm>

#include "storage/pure/namesanitiser.h"

CString TempViewName(int32_t counter, const CString& foundName)
{
    CString name;
    name.Format(L"VKD%d", counter);
    const int dot = foundName.ReverseFind(L'.');
    if (dot < 0)
        return name;
    CString ext = foundName.Mid(dot + 1);
    ext.Trim();
    if (ext.IsEmpty())
        return name;
    // The sanitiser drops ":" and the other characters a path cannot hold, so an extension can
    // never name an alternate data stream or a folder.
    ext = SanitiseFileName(ext);
    ext.TrimLeft(L'.');
    if (ext.IsEmpty() || ext == kPlaceholderName)
        return name;
    return name + L"." + ext;
}

namespace {
int LastSeparator(const CString& path)
{
    return std::max(path.ReverseFind(L'\\'), path.ReverseFind(L'/'));
}
} // namespace

CString PathFolderPart(const CString& path)
{
    const int at = LastSeparator(path);
    return at < 0 ? CString() : path.Left(at);
}

CString PathNamePart(const CString& path)
{
    return path.Mid(LastSeparator(path) + 1);
}

CString FormatSaveSummary(uint64_t saved, uint64_t skipped, uint64_t failed)
{
    CString text;
    text.Format(L"%llu file(s) saved, %llu skipped, %llu failed.", saved, skipped, failed);
    return text;
}

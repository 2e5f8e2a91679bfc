#include "app/pure/rename_rule.h"

CString RenameCandidate(const CString& path, uint64_t counter)
{
    const int slash = path.ReverseFind(L'\\');
    const CString folder = path.Left(slash + 1);
    const CString name = path.Mid(slash + 1);
    CString suffix;
    suffix.Format(L"_kx_%llu", (unsigned long long)counter);
    const int dot = name.ReverseFind(L'.');
    if (dot < 0)
        return folder + name + suffix;
    return folder + name.Left(dot) + suffix + name.Mid(dot);
}

CString FirstFreeRenameCandidate(const CString& path, const std::function<bool(const CString&)>& exists, uint64_t limit)
{
    for (uint64_t counter = 0; counter < limit; ++counter) {
        CString candidate = RenameCandidate(path, counter);
        if (!exists(candidate))
            return candidate;
    }
    return CString();
}

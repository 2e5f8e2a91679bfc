#include "sigrecovery/pure/carve_output.h"

#include <algorithm>

#include "sigrecovery/pure/carve_search.h"
#include "sigrecovery/pure/filetype.h"
#include "storage/pure/namesanitiser.h"

std::vector<CString> CarvePassFolderNames(CarveSearchKind kind, bool thorough)
{
    return { CString(L"Zembrolix Recovery (Premium)"), CString(DescribeCarveSearch(kind).caption),
             CString(thorough ? L"Omitted" : L"General") };
}

std::vector<CString> CarveFolderNames(CarveSearchKind kind, bool thorough, const CString& extension)
{
    std::vector<CString> names = CarvePassFolderNames(kind, thorough);
    names.push_back(MakeTypeKey(extension));
    return names;
}

bool CarvePassFolder(const CString& destination, CarveSearchKind kind, bool thorough, CString* path)
{
    return JoinUnderFolder(destination, CarvePassFolderNames(kind, thorough), path);
}

bool CarveSearchFolder(const CString& destination, CarveSearchKind kind, CString* path)
{
    std::vector<CString> names = CarvePassFolderNames(kind, false);
    names.pop_back();
    return JoinUnderFolder(destination, names, path);
}

bool CarveFilePath(const CString& destination, CarveSearchKind kind, bool thorough, const CString& extension,
                   const CString& name, CString* path)
{
    std::vector<CString> names = CarveFolderNames(kind, thorough, extension);
    names.push_back(name);
    return JoinUnderFolder(destination, names, path);
}

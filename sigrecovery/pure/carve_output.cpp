#include "sigrecovery/pure/carve_output.h"

#include <algorithm>

#include "sigrecovery/pure/filetype.h"
#include "storage/pure/namesanitiser.h"

std::vector<CString> CarveFolderNames(CarveSearchKind kind, bool thorough, const CString& extension)
{
    const wchar_t* search = kind == CarveSearchKind::Photo ? L"Photo Search"
        : kind == CarveSearchKind::Signature               ? L"Signature Search"
                                                           : L"Video Search";
    return { CString(L"Zembrolix Recovery (Premium)"), CString(search), CString(thorough ? L"Omitted" : L"General"),
             MakeTypeKey(extension) };
}

bool CarveFilePath(const CString& destination, CarveSearchKind kind, bool thorough, const CString& extension,
                   const CString& name, CString* path)
{
    std::vector<CString> names = CarveFolderNames(kind, thorough, extension);
    names.push_back(name);
    return JoinUnderFolder(destination, names, path);
}

void PhotoPictureBuffer::Append(const uint8_t* data, size_t n)
{
    const size_t room = kPictureLimit - m_bytes.size();
    if (n > room)
        m_truncated = true;
    m_bytes.insert(m_bytes.end(), data, data + std::min(n, room));
}

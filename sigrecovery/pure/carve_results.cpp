#include "sigrecovery/pure/carve_results.h"

#include <algorithm>

CString CarveRowText(const CarveFound& found)
{
    return found.incomplete ? found.name + L" (incomplete)" : found.name;
}

CarveListStep NextListStep(size_t shown, bool stopping)
{
    if (shown < kCarveListLimit)
        return CarveListStep::Append;
    return stopping ? CarveListStep::ClearQuietly : CarveListStep::ClearWithNotice;
}

void CarveResults::Start(const std::vector<CString>& typeKeys)
{
    m_types.clear();
    for (const CString& key : typeKeys)
        if (FindType(key) < 0) {
            TypeRow row;
            row.key = key;
            m_types.push_back(row);
        }
    m_shown.clear();
    m_general = m_thorough = m_clearings = 0;
}

int CarveResults::FindType(const CString& key) const
{
    for (size_t i = 0; i < m_types.size(); ++i)
        if (m_types[i].key.CompareNoCase(key) == 0)
            return static_cast<int>(i);
    return -1;
}

CarveListStep CarveResults::Add(const CarveFound& found, bool stopping)
{
    const CarveListStep step = NextListStep(m_shown.size(), stopping);
    if (step != CarveListStep::Append) {
        m_shown.clear();
        ++m_clearings;
    }
    m_shown.push_back(found);
    ++(found.thorough ? m_thorough : m_general);
    const int row = FindType(found.key);
    if (row >= 0) {
        TypeRow& t = m_types[static_cast<size_t>(row)];
        ++t.count;
        t.lastName = found.name;
        t.lastPath = found.path;
    }
    return step;
}

void AddDistinctTypeTexts(const std::vector<FileType1>& list, std::vector<CString>& texts)
{
    for (const FileType1& t : list) {
        const CString text = TypeRowText(t.extension);
        const bool known =
            std::any_of(texts.begin(), texts.end(), [&](const CString& k) { return k.CompareNoCase(text) == 0; });
        if (!text.IsEmpty() && !known)
            texts.push_back(text);
    }
}

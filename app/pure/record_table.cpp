#include "app/pure/record_table.h"

#include <algorithm>

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

int DigitValue(wchar_t c, unsigned base)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

} // namespace

ZrRecordTable::ZrRecordTable(std::initializer_list<Column> columns) : m_columns(columns) { }

void ZrRecordTable::SetColumns(std::initializer_list<Column> columns)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_columns.assign(columns);
    m_rows.clear();
}

int ZrRecordTable::GetColumnCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_columns.size());
}

CString ZrRecordTable::GetColumnName(int column) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return CString();
    return m_columns[column].name;
}

int ZrRecordTable::GetColumnWidth(int column) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return 0;
    return m_columns[column].width;
}

int ZrRecordTable::FindColumn(const wchar_t* name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name == name)
            return static_cast<int>(i);
    return -1;
}

int ZrRecordTable::GetItemCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

std::vector<CString> ZrRecordTable::MakeRow(const std::vector<CString>& cells) const
{
    std::vector<CString> row(m_columns.size());
    for (size_t i = 0; i < row.size() && i < cells.size(); ++i)
        row[i] = cells[i];
    return row;
}

int ZrRecordTable::InsertItem(const CString& text)
{
    return InsertRow({ text });
}

int ZrRecordTable::InsertRow(const std::vector<CString>& cells)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rows.push_back(MakeRow(cells));
    return static_cast<int>(m_rows.size() - 1);
}

int ZrRecordTable::InsertItemAt(int index, const CString& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t at = index < 0 ? 0 : std::min(static_cast<size_t>(index), m_rows.size());
    m_rows.insert(m_rows.begin() + at, MakeRow({ text }));
    return static_cast<int>(at);
}

bool ZrRecordTable::SetItemText(int row, int column, const CString& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 || column >= static_cast<int>(m_columns.size()))
        return false;
    m_rows[row][column] = text;
    return true;
}

CString ZrRecordTable::GetItemText(int row, int column) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 || column >= static_cast<int>(m_columns.size()))
        return CString();
    return m_rows[row][column];
}

std::vector<CString> ZrRecordTable::GetRow(int row) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return {};
    return m_rows[row];
}

uint64_t ZrRecordTable::GetItemNumber(int row, int column, SortKey key) const
{
    uint64_t value = 0;
    return ParseNumber(GetItemText(row, column), key, value) ? value : 0;
}

bool ZrRecordTable::DeleteItem(int row)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return false;
    m_rows.erase(m_rows.begin() + row);
    return true;
}

void ZrRecordTable::DeleteAllItems()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rows.clear();
}

int ZrRecordTable::FindExact(int column, const CString& text, int start) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return -1;
    for (size_t i = start < 0 ? 0 : static_cast<size_t>(start); i < m_rows.size(); ++i)
        if (m_rows[i][column] == text)
            return static_cast<int>(i);
    return -1;
}

bool ZrRecordTable::ParseNumber(const CString& text, SortKey key, uint64_t& value)
{
    const unsigned base = key == SortKey::Hex ? 16 : 10;
    const int n = text.GetLength();
    int i = 0;
    while (i < n && IsBlank(text.GetAt(i)))
        ++i;
    if (base == 16 && i + 1 < n && text.GetAt(i) == L'0' && (text.GetAt(i + 1) == L'x' || text.GetAt(i + 1) == L'X'))
        i += 2;
    uint64_t v = 0;
    int digits = 0;
    for (; i < n; ++i, ++digits) {
        int d = DigitValue(text.GetAt(i), base);
        if (d < 0)
            break;
        v = v > (UINT64_MAX - static_cast<uint64_t>(d)) / base ? UINT64_MAX : v * base + d;
    }
    while (i < n && IsBlank(text.GetAt(i)))
        ++i;
    if (digits == 0 || i != n)
        return false;
    value = v;
    return true;
}

void ZrRecordTable::SortStable(int column, SortKey key, bool ascending)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return;
    if (key == SortKey::Text) {
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [&](const std::vector<CString>& a, const std::vector<CString>& b) {
                             return ascending ? a[column] < b[column] : b[column] < a[column];
                         });
        return;
    }
    // Parse each key once; cells that are not numbers sort as 0, like an empty cell.
    std::vector<std::pair<uint64_t, size_t>> order(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        uint64_t v = 0;
        if (!ParseNumber(m_rows[i][column], key, v))
            v = 0;
        order[i] = { v, i };
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const auto& a, const auto& b) { return ascending ? a.first < b.first : b.first < a.first; });
    std::vector<std::vector<CString>> sorted;
    sorted.reserve(m_rows.size());
    for (const auto& entry : order)
        sorted.push_back(std::move(m_rows[entry.second]));
    m_rows.swap(sorted);
}

std::vector<std::vector<CString>> ZrRecordTable::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rows;
}

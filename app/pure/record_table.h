// ZrRecordTable: an in-memory table of text records, the form in which the scans hand their found
// entries, partitions and clusters to the tree builders and the scan log.
//
// Every field is a text cell (numbers as decimal or hexadecimal text, as the filling code chooses).
// Rows keep their insertion order until a sort; sorts are stable, so rows with equal keys keep
// their relative order. Every member locks the table, so workers may fill a table while the user
// interface thread reads it; an index taken from one call may be stale by the next when another
// thread deletes rows in between (only one search runs at a time, so in practice it is not).
// Indices are int, as in the list controls the tables replace: -1 means "none".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/pure/cstring.h"

class ZrRecordTable {
public:
    struct Column {
        CString name;
        int width = 100; // pixels, for a diagnostic view of the table
    };
    enum class SortKey {
        Text,    // ordinal comparison of the cell texts
        Decimal, // cells read as unsigned decimal numbers
        Hex,     // cells read as unsigned hexadecimal numbers ("0x" allowed)
    };

    ZrRecordTable() = default;
    ZrRecordTable(std::initializer_list<Column> columns);
    ZrRecordTable(const ZrRecordTable&) = delete;
    ZrRecordTable& operator=(const ZrRecordTable&) = delete;

    // Replaces the columns; rows are emptied.
    void SetColumns(std::initializer_list<Column> columns);
    int GetColumnCount() const;
    CString GetColumnName(int column) const;   // "" out of range
    int GetColumnWidth(int column) const;      // 0 out of range
    int FindColumn(const wchar_t* name) const; // exact name, -1 when absent

    int GetItemCount() const;
    // Appends a row whose first cell is `text` (the others empty); returns its index.
    int InsertItem(const CString& text);
    // Appends a row; cells beyond the column count are dropped, missing ones are empty.
    int InsertRow(const std::vector<CString>& cells);
    // Inserts before `index` (clamped to the end); returns the new row's index.
    int InsertItemAt(int index, const CString& text);
    bool SetItemText(int row, int column, const CString& text); // false out of range
    CString GetItemText(int row, int column) const;             // "" out of range
    std::vector<CString> GetRow(int row) const;                 // empty out of range
    // Cell read as a number (see SortKey); 0 when the cell is empty, out of range or not a number.
    uint64_t GetItemNumber(int row, int column, SortKey key = SortKey::Decimal) const;
    bool DeleteItem(int row);
    void DeleteAllItems();

    // The first row at or after `start` whose cell in `column` equals `text` exactly
    // (case-sensitive, whole cell); -1 when none.
    int FindExact(int column, const CString& text, int start = 0) const;
    // Stable sort of the rows by one column.
    void SortStable(int column, SortKey key, bool ascending = true);

    // A consistent copy of every row, for readers that walk the whole table.
    std::vector<std::vector<CString>> Snapshot() const;

    // Parses a cell as SortKey::Decimal or SortKey::Hex does: surrounding blanks allowed, digits
    // only, at most the value of 64 bits (more saturates); anything else is not a number.
    static bool ParseNumber(const CString& text, SortKey key, uint64_t& value);

private:
    std::vector<CString> MakeRow(const std::vector<CString>& cells) const;

    mutable std::mutex m_mutex;
    std::vector<Column> m_columns;
    std::vector<std::vector<CString>> m_rows;
};

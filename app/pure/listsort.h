// Cell comparison and row ordering of the sortable coloured list, free of any window system.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zr_list {

// Reads a date (as a day count); false when the text is not a date. The list supplies the
// system's parser; null means no text is a date.
using DateParser = bool (*)(const std::wstring& text, double* date);

// Whole text as a 64-bit hexadecimal number (leading blanks, a sign and "0x" allowed, as wcstoull
// reads them; a minus wraps as it does there); values beyond 64 bits saturate to the largest.
// Sector numbers and byte sizes are written in decimal, and their digits read as hexadecimal keep
// their order only while nothing saturates: 64 bits hold sixteen digits. False for an empty text
// or trailing rest.
bool ParseHexCell(const std::wstring& text, uint64_t* value);
// Whole text, or all of it but one final "%", as a decimal number.
bool ParseNumberCell(const std::wstring& text, double* value);

// -1, 0 or 1, by the first rule that takes both texts: hexadecimal, decimal, date, then ordinal
// text. Texts of decimal digits only are hexadecimal; up to sixteen digits their order is the
// decimal one.
int CompareCells(const std::wstring& a, const std::wstring& b, DateParser parseDate);

// Row indices 0..n-1 ordered by a three-way comparison of two rows (reversed when descending).
// Terminates and stays in bounds whatever the comparison answers.
std::vector<int> SortedRowOrder(int n, const std::function<int(int, int)>& compare, bool ascending);

} // namespace zr_list

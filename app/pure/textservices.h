// Texts the search dialogs show for on-disk values (FAT and NTFS stamps, sizes, progress),
// and small text helpers. Stateless and thread-safe: every result is returned by value.
#pragma once

#include <cstdint>

#include "cstring.h"
#include "storage/pure/size_text.h" // FormatSize, which the drive lists share

// A day, month (1 to 12; any other reads "ERR") and year -> "05-MAR-2013": the one form of
// every date the lists show.
CString FormatDayMonthYear(unsigned day, unsigned month, unsigned year);

// FAT date word (day bits 0-4, month 5-8, years since 1980 9-15) -> "05-MAR-2013";
// a month of 0 or above 12 reads "ERR".
CString FormatFatDate(uint16_t fatDate);

// FAT time word (seconds/2 bits 0-4, minutes 5-10, hours 11-15) -> "09:05:58"; values are
// printed as they are, so 0xFFFF gives "31:63:62".
CString FormatFatTime(uint16_t fatTime);

// NTFS time stamp (100-ns ticks since 1601-01-01, UTC) -> date "14-NOV-2012" and time
// "hh:mm:ss", both also stored through the out arguments; the time text is the result.
// Stamps of 2^63 and above cannot be converted and give "00-ERR-0000" and "00:00:00".
CString FormatFileTime(uint64_t fileTime, CString& dateText, CString& timeText);

// "<done> / <total> Bytes".
CString FormatByteCount(uint64_t total, uint64_t done);

// "%llu / %llu" of current and total; a current above the total shows as the total.
CString FormatProgress(uint64_t current, uint64_t total);

// False for a name holding a control character (1-31), one of " \ / ? * < > | : or a
// character from 128 to 255; true otherwise (an empty name too).
bool IsValidFileName(const CString& name);

// "0" put in front until the text is at least length long; never cut.
CString PadLeftZeros(const CString& text, int length);

// The trimmed text between the first "(" and the first ")" after it: "Local Disk (C:)" -> "C:".
CString GetTextInParentheses(const CString& text);

// A sector number as typed in a sector field: decimal digits with blanks around them. False (and
// `value` untouched) for anything else (empty, a sign, a letter, or more than 64 bits), so that a
// half-typed field changes nothing.
bool ParseSectorNumber(const CString& text, uint64_t* value);

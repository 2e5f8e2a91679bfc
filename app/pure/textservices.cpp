#include "app/pure/textservices.h"

#include <cwchar>

namespace {

const wchar_t* MonthName(unsigned month)
{
    static const wchar_t* const kNames[13] = { L"JAN", L"FEB", L"MAR", L"APR", L"MAY", L"JUN", L"JUL",
                                               L"AUG", L"SEP", L"OCT", L"NOV", L"DEC", L"ERR" };
    return (month >= 1 && month <= 12) ? kNames[month - 1] : kNames[12];
}

CString TimeText(unsigned hours, unsigned minutes, unsigned seconds)
{
    CString s;
    s.Format(L"%02u:%02u:%02u", hours, minutes, seconds);
    return s;
}

// Civil date of a day count since 1601-01-01 (proleptic Gregorian, as the platform uses).
void CivilFromDays(uint64_t days, unsigned& year, unsigned& month, unsigned& day)
{
    // Shift to an era-based count starting 0000-03-01; 1601-01-01 is day 584694 of it.
    const uint64_t z = days + 584694;
    const uint64_t era = z / 146097;
    const uint64_t doe = z - era * 146097;
    const uint64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const uint64_t mp = (5 * doy + 2) / 153;
    day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<unsigned>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

CString FormatDayMonthYear(unsigned day, unsigned month, unsigned year)
{
    CString s;
    s.Format(L"%02u-%s-%u", day, MonthName(month), year);
    return s;
}

CString FormatFatDate(uint16_t fatDate)
{
    return FormatDayMonthYear(fatDate & 0x1F, (fatDate >> 5) & 0x0F, 1980u + (fatDate >> 9));
}

CString FormatFatTime(uint16_t fatTime)
{
    return TimeText(fatTime >> 11, (fatTime >> 5) & 0x3F, (fatTime & 0x1F) * 2u);
}

CString FormatFileTime(uint64_t fileTime, CString& dateText, CString& timeText)
{
    if (fileTime >= (uint64_t(1) << 63)) {
        dateText = L"00-ERR-0000";
        timeText = L"00:00:00";
        return timeText;
    }
    constexpr uint64_t kTicksPerSecond = 10000000;
    const uint64_t seconds = fileTime / kTicksPerSecond;
    const uint64_t secondOfDay = seconds % 86400;
    unsigned year = 0, month = 0, day = 0;
    CivilFromDays(seconds / 86400, year, month, day);
    dateText = FormatDayMonthYear(day, month, year);
    timeText = TimeText(static_cast<unsigned>(secondOfDay / 3600), static_cast<unsigned>(secondOfDay / 60 % 60),
                        static_cast<unsigned>(secondOfDay % 60));
    return timeText;
}

CString FormatByteCount(uint64_t total, uint64_t done)
{
    CString s;
    s.Format(L"%llu / %llu Bytes", done, total);
    return s;
}

CString FormatProgress(uint64_t current, uint64_t total)
{
    CString s;
    s.Format(L"%llu / %llu", current > total ? total : current, total);
    return s;
}

bool IsValidFileName(const CString& name)
{
    for (int i = 0; i < name.GetLength(); ++i) {
        const unsigned ch = static_cast<unsigned>(name[i]);
        const bool control = ch >= 1 && ch <= 31;
        const bool reserved = ch != 0 && ch < 128 && std::wcschr(L"\"\\/?*<>|:", static_cast<wchar_t>(ch));
        const bool latin1 = ch >= 128 && ch <= 255;
        if (control || reserved || latin1)
            return false;
    }
    return true;
}

CString PadLeftZeros(const CString& text, int length)
{
    CString s = text;
    while (s.GetLength() < length)
        s.Insert(0, L'0');
    return s;
}

CString GetTextInParentheses(const CString& text)
{
    CString rest = text.Mid(text.Find(L'(') + 1);
    const int close = rest.Find(L')');
    CString inside = close < 0 ? CString() : rest.Left(close);
    inside.Trim();
    return inside;
}

bool ParseSectorNumber(const CString& text, uint64_t* value)
{
    CString digits = text;
    digits.Trim();
    if (digits.IsEmpty())
        return false;
    uint64_t n = 0;
    for (int i = 0; i < digits.GetLength(); ++i) {
        const wchar_t c = digits[i];
        if (c < L'0' || c > L'9')
            return false;
        const uint64_t d = uint64_t(c - L'0');
        if (n > (UINT64_MAX - d) / 10)
            return false;
        n = n * 10 + d;
    }
    *value = n;
    return true;
}

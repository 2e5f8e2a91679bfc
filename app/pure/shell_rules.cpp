#include "app/pure/shell_rules.h"

const wchar_t* const kProductTitle = L"Zembrolix Recovery (Premium)";
const wchar_t* const kScanLogMarker = L"ZembrolixWIN7SR2013";

CString ParseCommandLineLogPath(const CString& commandLine)
{
    CString path = commandLine;
    path.Trim();
    if (!path.IsEmpty() && (path.GetAt(0) == L'"' || path.GetAt(path.GetLength() - 1) == L'"')) {
        if (path.GetAt(0) == L'"')
            path = path.Mid(1);
        if (!path.IsEmpty() && path.GetAt(path.GetLength() - 1) == L'"')
            path = path.Left(path.GetLength() - 1);
    }
    return path;
}

CString BuildLogOpenCommand(const CString& programPath)
{
    return L"\"" + programPath + L"\" \"%1\"";
}

bool IsProgramTempFileName(const CString& name)
{
    const int n = name.GetLength();
    if (n < 4 || name.Left(3) != L"VKD")
        return false;
    int i = 3;
    while (i < n && name.GetAt(i) >= L'0' && name.GetAt(i) <= L'9')
        ++i;
    if (i == 3)
        return false; // no counter
    if (i == n)
        return true; // a found file without an extension
    if (name.GetAt(i) != L'.' || i + 1 == n)
        return false;
    CString ext = name.Mid(i + 1);
    if (ext.Find(L'.') >= 0 || ext.GetAt(0) == L' ' || ext.GetAt(ext.GetLength() - 1) == L' ')
        return false;
    return true;
}

bool IsAcceptedStartupLog(const CString& marker, int32_t searchMode)
{
    return marker == kScanLogMarker && (searchMode == 1 || searchMode == 2);
}

CString ExitQuestionText()
{
    return CString(L"Do you want to exit from ") + kProductTitle + L"?";
}

CString GlowingCaption(const CString& text)
{
    if (text == kProductTitle)
        return text;
    return CString(kProductTitle) + L" - " + text;
}

bool IsNotSingleChar(const CString& text, wchar_t ch)
{
    return !(text.GetLength() == 1 && text.GetAt(0) == ch);
}

CString SaveStatusDisplayText(const CString& path)
{
    if (path.GetLength() <= 70)
        return path;
    CString shown;
    for (int i = 0; i < path.GetLength(); ++i) {
        if (path.GetAt(i) == L'\\')
            shown += L' ';
        shown += path.GetAt(i);
    }
    return shown;
}

ZrProgressPlan PlanProgressRange(uint64_t start, uint64_t end, int32_t step)
{
    ZrProgressPlan plan;
    const uint64_t range = end >= start ? end - start : 0;
    if (range < 0x7FFFFFFFull) {
        plan.small = true;
        plan.rangeMax = static_cast<int32_t>(range);
        plan.step = step;
        // A step larger than the whole range could never be taken: the bar is full at once.
        plan.fullAtOnce = step > 0 && static_cast<uint64_t>(step) > range;
    } else {
        plan.small = false;
        plan.rangeMax = 100;
        plan.step = 1;
    }
    return plan;
}

int32_t ProgressPercent(uint64_t start, uint64_t end, uint64_t position)
{
    if (end <= start || position <= start)
        return 0;
    if (position >= end)
        return 100;
    const uint64_t range = end - start;
    uint64_t rest = position - start; // below range
    // floor(rest * 100 / range) without a wider type: two rounds of floor(rest * 10 / range),
    // each adding rest ten times and carrying whole ranges out.
    uint64_t percent = 0;
    for (int round = 0; round < 2; ++round) {
        uint64_t quotient = 0, remainder = 0;
        for (int i = 0; i < 10; ++i) {
            if (remainder >= range - rest) {
                remainder -= range - rest;
                ++quotient;
            } else {
                remainder += rest;
            }
        }
        percent = percent * 10 + quotient;
        rest = remainder;
    }
    return static_cast<int32_t>(percent > 100 ? 100 : percent);
}

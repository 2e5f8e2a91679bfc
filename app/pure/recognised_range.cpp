#include "app/pure/recognised_range.h"

RecognisedItemText ParseRecognisedItemText(const CString& text)
{
    RecognisedItemText out;
    const int dash = text.Find(L'-');
    out.name = dash >= 0 ? text.Left(dash) : text;
    out.name.Trim();
    out.number = StrToInt32(out.name.Mid(10));
    const int last = text.ReverseFind(L'-');
    out.fsName = last >= 0 ? text.Mid(last + 1) : text;
    out.fsName.Trim();
    return out;
}

RecognisedRange ComputeRecognisedRange(const CString& startText, const CString& endText,
                                       const CStringArray& logicalDriveKeys, const CString& drive)
{
    RecognisedRange out;
    out.startText = startText;
    out.endText = endText;
    const uint64_t end = StrToUInt64(endText);
    for (int i = 0; i < logicalDriveKeys.GetSize(); ++i) {
        const CString& key = logicalDriveKeys[i];
        const int bar = key.ReverseFind(L'|');
        if (key.Find(drive) < 0 || bar < 0)
            continue;
        out.limitText = key.Mid(bar);
        out.limitText.Remove(L'|');
        out.limitText.Trim();
        out.driveSectors = StrToUInt64(out.limitText);
        break;
    }
    if (out.driveSectors == 0)
        out.driveSectors = end;
    else if (out.driveSectors < end)
        out.endText.Format(L"%llu", (unsigned long long)out.driveSectors);
    return out;
}

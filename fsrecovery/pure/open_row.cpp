#include "fsrecovery/pure/open_row.h"

namespace {
bool EndsWith(const CString& text, const wchar_t* tail)
{
    const int length = int(wcslen(tail));
    return text.GetLength() >= length && text.Right(length) == tail;
}
} // namespace

OpenRowKind ClassifyOpenRowType(CString type)
{
    type.Trim();
    if (type.IsEmpty())
        return OpenRowKind::None;
    if (EndsWith(type, L"Folder") || EndsWith(type, L"FOLDER"))
        return OpenRowKind::Folder;
    if (EndsWith(type, L"file") || EndsWith(type, L"FILE") || EndsWith(type, L"File"))
        return OpenRowKind::File;
    return OpenRowKind::None;
}

#include "storage/pure/fs_names.h"

#include <algorithm>
#include <cstring>

#include "storage/pure/ntfs_record.h"

namespace {

constexpr size_t kFileNameHeader = 66; // bytes of a $FILE_NAME value before its name
constexpr size_t kDirEntrySize = 32;
constexpr size_t kMaxLongNameEntries = 20; // 255 characters at 13 per entry
constexpr size_t kLongNameOffsets[13] = { 1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30 };

bool IsBlank(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

void TrimBlanks(std::u16string& s)
{
    size_t end = s.size();
    while (end > 0 && IsBlank(s[end - 1]))
        --end;
    size_t begin = 0;
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    s.erase(end);
    s.erase(0, begin);
}

bool IsForbiddenInFileName(char16_t c)
{
    return c == u'"' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'<' || c == u'>' || c == u'|' ||
        c == u':';
}

// Where the extension of name[0 .. length) begins (its last '.', unless a blank follows it), or
// npos.
size_t FindExtension(const char16_t* name, size_t length)
{
    size_t dot = std::u16string::npos;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == u'.')
            dot = i;
        else if (name[i] == u' ' || name[i] == u'\\')
            dot = std::u16string::npos;
    }
    return dot;
}

} // namespace

CString NameToCString(const std::u16string& name)
{
    CString out;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t c = name[i];
        if (sizeof(wchar_t) == 4 && c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        }
        out.AppendChar(wchar_t(c));
    }
    return out;
}

namespace {

// Hands visit(value, chars) each unnamed resident $FILE_NAME of a 1024-byte record whose fixed
// part lies inside its attribute, the name's characters cut at the attribute's end whatever its
// length byte says, until visit returns false. *listed (when given) is set on passing an unnamed
// $ATTRIBUTE_LIST.
template <class Visit> void ForEachFileNameValue(const uint8_t* record, bool* listed, Visit visit)
{
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type != kAttrFileName || at.nameLength != 0 || at.nonResident) {
            if (listed != nullptr && at.type == kAttrAttributeList && at.nameLength == 0)
                *listed = true;
            continue;
        }
        const size_t attrEnd = at.offset + at.length;
        if (at.valueOffset + kFileNameHeader > attrEnd)
            continue;
        const uint8_t* v = record + at.valueOffset;
        const size_t room = (attrEnd - at.valueOffset - kFileNameHeader) / 2;
        if (!visit(v, v[64] < room ? size_t(v[64]) : room))
            return;
    }
}

bool IsFolderRecord(const uint8_t* record)
{
    return record[22] == 3 || record[22] == 2;
}

} // namespace

namespace {

// The first $FILE_NAME value of the name space that comes first in order[0 .. orderCount) among
// those the record has, with its character count and (in `look`, when given) that name space's
// place in the order and whether the walk passed an attribute list; null when it has none.
const uint8_t* FindPreferredFileNameValue(const uint8_t* record, const int* order, size_t orderCount, size_t& chars,
                                          MftNameLook* look = nullptr)
{
    const uint8_t* best = nullptr;
    size_t bestRank = orderCount;
    bool listed = false;
    ForEachFileNameValue(record, look != nullptr ? &listed : nullptr, [&](const uint8_t* v, size_t count) {
        size_t rank = 0;
        while (rank < bestRank && order[rank] != int8_t(v[65]))
            ++rank;
        // The first value of each name space counts; a better one may still follow.
        if (rank < bestRank) {
            best = v;
            bestRank = rank;
            chars = count;
        }
        return bestRank != 0;
    });
    if (look != nullptr) {
        look->rank = bestRank;
        look->listed = listed;
    }
    return best;
}

char16_t NameCharAt(const uint8_t* value, size_t i)
{
    return char16_t(Le16At(value + kFileNameHeader + 2 * i));
}

// Appends the name of the $FILE_NAME value as the list shows it (ReadMftRecordNameBuffer). The
// name is built in one pass on the stack; nothing is allocated beyond nameOut's own growth.
void AppendShownName(const uint8_t* value, size_t chars, bool file, const StopFlag* stop, std::u16string& nameOut)
{
    // A $FILE_NAME holds at most 255 characters (its length is a byte).
    char16_t built[256];
    size_t n = 0, dot = std::u16string::npos;
    bool stopped = false;
    bool forbidden = std::any_of(nameOut.begin(), nameOut.end(), IsForbiddenInFileName);
    for (size_t i = 0; i < chars && n < 256; ++i) {
        if (stop && *stop == 1) {
            stopped = true;
            break;
        }
        char16_t c = NameCharAt(value, i);
        if (c < 0x20)
            c = u' ';
        // Where the extension begins: the last '.', unless a blank or a backslash follows it.
        if (c == u'.')
            dot = n;
        else if (c == u' ' || c == u'\\')
            dot = std::u16string::npos;
        forbidden = forbidden || IsForbiddenInFileName(c);
        built[n++] = c;
    }
    // A file name without an extension: the low bytes of its characters, read as 8-bit text up
    // to the first 0 byte, may show one (a character such as U+042E has the low byte '.').
    if (!stopped && file && dot == std::u16string::npos) {
        char16_t low[256];
        size_t lowLength = 0;
        for (; lowLength < chars && lowLength < 256 && (NameCharAt(value, lowLength) & 0xFF) != 0; ++lowLength)
            low[lowLength] = char16_t(NameCharAt(value, lowLength) & 0xFF);
        const size_t lowDot = FindExtension(low, lowLength);
        if (lowDot != std::u16string::npos) {
            size_t end = lowLength;
            while (end > lowDot && IsBlank(low[end - 1]))
                --end;
            const size_t ext = end - lowDot;
            const size_t from = n > ext ? n - ext : 0;
            for (size_t k = 0; k < ext; ++k) {
                built[from + k] = low[lowDot + k];
                forbidden = forbidden || IsForbiddenInFileName(low[lowDot + k]);
            }
            n = from + ext;
        }
    }
    nameOut.append(built, n);
    // The whole of nameOut trimmed, cleared of the characters a file name cannot hold, and trimmed
    // again where that left blanks at either end.
    if (!nameOut.empty() && (IsBlank(nameOut.front()) || IsBlank(nameOut.back())))
        TrimBlanks(nameOut);
    if (forbidden && !nameOut.empty()) {
        nameOut.erase(std::remove_if(nameOut.begin(), nameOut.end(), IsForbiddenInFileName), nameOut.end());
        TrimBlanks(nameOut);
    }
}

} // namespace

bool FindMftFileName(const uint8_t* record, int nameSpace, MftFileName& out)
{
    size_t chars = 0;
    const int order[] = { nameSpace };
    const uint8_t* v = FindPreferredFileNameValue(record, order, 1, chars);
    if (v == nullptr)
        return false;
    out.parent = Le32At(v);
    out.created = Le64At(v + 8);
    out.isFolder = IsFolderRecord(record);
    out.valueOffset = size_t(v - record);
    out.name.clear();
    for (size_t i = 0; i < chars; ++i)
        out.name.push_back(NameCharAt(v, i));
    return true;
}

size_t PreferredMftNameRank(const uint8_t* record, const int* order, size_t orderCount)
{
    size_t chars = 0;
    MftNameLook look;
    FindPreferredFileNameValue(record, order, orderCount, chars, &look);
    return look.rank;
}

int ParseMftRecordBuffer(const uint8_t* record, int nameSpace, uint32_t* parentOut, uint64_t* createdOut,
                         std::u16string& nameOut)
{
    const int order[] = { nameSpace };
    return ParsePreferredMftName(record, order, 1, parentOut, createdOut, nameOut);
}

int ParsePreferredMftName(const uint8_t* record, const int* order, size_t orderCount, uint32_t* parentOut,
                          uint64_t* createdOut, std::u16string& nameOut, MftNameLook* look)
{
    size_t chars = 0;
    const uint8_t* best = FindPreferredFileNameValue(record, order, orderCount, chars, look);
    if (best == nullptr)
        return 0;
    *parentOut = Le32At(best);
    if (IsFolderRecord(record)) {
        for (size_t i = 0; i < chars; ++i)
            if (const char16_t c = NameCharAt(best, i); c != 0)
                nameOut.push_back(c);
    }
    *createdOut = Le64At(best + 8);
    return 1;
}

int ReadMftRecordNameBuffer(const uint8_t* record, int nameSpace, bool nameFilesToo, const StopFlag* stop,
                            uint32_t* parentOut, uint64_t* createdOut, std::u16string& nameOut)
{
    if (stop && *stop == 1)
        return 0;
    const int order[] = { nameSpace };
    return ReadPreferredMftRecordName(record, order, 1, nameFilesToo, stop, parentOut, createdOut, nameOut);
}

int ReadPreferredMftRecordName(const uint8_t* record, const int* order, size_t orderCount, bool nameFilesToo,
                               const StopFlag* stop, uint32_t* parentOut, uint64_t* createdOut, std::u16string& nameOut,
                               MftNameLook* look)
{
    size_t chars = 0;
    const uint8_t* v = FindPreferredFileNameValue(record, order, orderCount, chars, look);
    if (v == nullptr)
        return 0;
    *parentOut = Le32At(v);
    const bool folder = IsFolderRecord(record);
    if (!folder && !nameFilesToo)
        return 1;
    AppendShownName(v, chars, !folder, stop, nameOut);
    *createdOut = Le64At(v + 8);
    return 1;
}

FatDirEntry DecodeFatDirEntry(const uint8_t* entry)
{
    FatDirEntry e;
    std::memcpy(e.shortName, entry, 11);
    e.attributes = entry[11];
    e.time = Le16At(entry + 22);
    e.date = Le16At(entry + 24);
    e.firstCluster = uint32_t(Le16At(entry + 20)) << 16 | Le16At(entry + 26);
    e.size = Le32At(entry + 28);
    return e;
}

void ParseDirectorySectors(SectorSource* source, const uint8_t* sector, uint16_t entryOffset, uint64_t sectorNumber,
                           std::u16string& nameOut)
{
    if (entryOffset >= kSectorSize || entryOffset % kDirEntrySize != 0)
        return;
    uint8_t work[kSectorSize];
    std::memcpy(work, sector, kSectorSize);
    std::u16string name;
    size_t pos = entryOffset;
    for (size_t taken = 0; taken < kMaxLongNameEntries; ++taken) {
        if (pos == 0) {
            // The long-name entries began in the sector before; without it the name ends here.
            if (!source || sectorNumber == 0 || !source->ReadSector(sectorNumber - 1, work))
                break;
            --sectorNumber;
            pos = kSectorSize;
        }
        pos -= kDirEntrySize;
        const uint8_t* e = work + pos;
        if (e[11] != 0x0F)
            break;
        bool ended = false;
        for (size_t off : kLongNameOffsets) {
            const char16_t c = char16_t(Le16At(e + off));
            if (c == 0) {
                ended = true;
                break;
            }
            name.push_back(c);
        }
        if (ended)
            break;
    }
    nameOut += name;
}

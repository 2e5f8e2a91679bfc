#include "fsrecovery/pure/folder_listing.h"

#include "app/pure/record_table.h"
#include "app/pure/textservices.h"
#include "storage/pure/ntfs_record.h"

namespace {

constexpr int kEntriesPerSector = 16;

CString BytesWithoutBlanks(const uint8_t* bytes, int count)
{
    CString text;
    for (int i = 0; i < count; ++i) {
        if (bytes[i] != ' ')
            text += (wchar_t)bytes[i];
    }
    return text;
}

// Garbage in a directory shows as control or reserved characters in the 8.3 name. Bytes from 0x80
// on are the OEM code page's letters (a short name made for "Ünïcödé.txt" holds them), not
// garbage, so they do not make the entry invalid.
bool IsValidShortName(const CString& name)
{
    CString ascii = name;
    for (int i = 0; i < ascii.GetLength(); ++i) {
        if ((unsigned)ascii[i] >= 0x80)
            ascii.SetAt(i, L'_');
    }
    return IsValidFileName(ascii);
}

} // namespace

CString FileNameExtension(const CString& name)
{
    const int dot = name.ReverseFind(L'.');
    if (dot < 0)
        return CString();
    CString extension = name.Mid(dot);
    extension.Trim();
    return extension == L"." ? CString() : extension;
}

CString FatShortName(const FatDirEntry& entry)
{
    uint8_t base[8];
    for (int i = 0; i < 8; ++i)
        base[i] = entry.shortName[i];
    if (entry.deleted())
        base[0] = '_';
    CString name = BytesWithoutBlanks(base, 8);
    if (entry.shortName[8] != ' ') {
        name += L".";
        name += BytesWithoutBlanks(entry.shortName + 8, 3);
    }
    return name;
}

CString FatDisplayName(const CString& longName, const CString& shortName)
{
    if (longName.IsEmpty())
        return shortName;
    if (FileNameExtension(longName).IsEmpty())
        return longName + FileNameExtension(shortName);
    return longName;
}

bool ListFatDirectorySector(SectorSource* source, const uint8_t* sector, uint64_t sectorNumber, bool fat32,
                            bool withFolders, const StopFlag* stop,
                            const std::function<void(const FatListedEntry&)>& found)
{
    for (int i = 0; i < kEntriesPerSector; ++i) {
        if (stop && *stop == 1)
            return true;
        const uint8_t* raw = sector + i * 32;
        FatListedEntry listed;
        listed.entry = DecodeFatDirEntry(raw);
        const FatDirEntry& entry = listed.entry;
        if (entry.endOfDirectory())
            return false;
        // The volume label sits among the root's entries but is no file.
        if (entry.shortName[0] == '.' || entry.longNamePart() || entry.volumeLabel() ||
            (!withFolders && entry.directory()))
            continue;
        listed.firstCluster = fat32 ? entry.firstCluster : (entry.firstCluster & 0xFFFF);
        listed.deleted = entry.deleted();
        listed.shortName = FatShortName(entry);
        if (!IsValidShortName(listed.shortName))
            continue;
        std::u16string longName;
        ParseDirectorySectors(source, sector, (uint16_t)(i * 32), sectorNumber, longName);
        listed.name = FatDisplayName(NameToCString(longName), listed.shortName);
        if (listed.name.IsEmpty())
            continue;
        found(listed);
    }
    return true;
}

bool ParseNtfsFileKey(const CString& key, uint64_t& parent, uint64_t& sector)
{
    const int bar = key.Find(L'|');
    if (bar <= 0)
        return false;
    CString rest = key.Mid(bar + 1);
    const int end = rest.Find(L'|');
    if (end >= 0)
        rest = rest.Left(end);
    return ZrRecordTable::ParseNumber(key.Left(bar), ZrRecordTable::SortKey::Decimal, parent) &&
        ZrRecordTable::ParseNumber(rest, ZrRecordTable::SortKey::Decimal, sector);
}

NtfsFileInfo ReadNtfsFileInfo(const uint8_t* record, const StopFlag* stop)
{
    NtfsFileInfo info;
    static const int kNameSpaces[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    for (int nameSpace : kNameSpaces) {
        std::u16string name;
        uint32_t parent = 0;
        uint64_t created = 0;
        if (ReadMftRecordNameBuffer(record, nameSpace, true, stop, &parent, &created, name) && !name.empty()) {
            info.name = NameToCString(name);
            info.fileTime = created;
            break;
        }
    }
    size_t offset = 0;
    const int kind = FindUnnamedDataAttribute(record, &offset);
    if (kind == 1 && offset + 20 <= kMftRecordSize)
        info.size = Le32At(record + offset + 16);
    else if (kind == 2 && offset + 56 <= kMftRecordSize)
        info.size = Le64At(record + offset + 48);
    return info;
}

#include "storage/pure/bootsector.h"

#include <cstring>

#include "storage/pure/le.h"

bool HasBootSignature(const uint8_t* sector)
{
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

namespace {
bool TextAt(const uint8_t* sector, size_t offset, const char* text)
{
    return std::memcmp(sector + offset, text, std::strlen(text)) == 0;
}
} // namespace

BootText ClassifyBootText(const uint8_t* sector, bool allowEfi)
{
    if (TextAt(sector, 0x52, "FAT32"))
        return BootText::Fat32;
    if (TextAt(sector, 0x36, "FAT16"))
        return BootText::Fat16;
    if (TextAt(sector, 3, "NTFS"))
        return BootText::Ntfs;
    if (allowEfi && TextAt(sector, 0, "EFI"))
        return BootText::Efi;
    return BootText::None;
}

const wchar_t* BootTextName(BootText text)
{
    switch (text) {
    case BootText::Fat32:
        return L"FAT32";
    case BootText::Fat16:
        return L"FAT16";
    case BootText::Ntfs:
        return L"NTFS";
    default:
        return L"";
    }
}

FatBootFields ReadFatBootFields(const uint8_t* sector, bool fat32)
{
    FatBootFields f;
    f.sectorsPerCluster = sector[0x0D];
    f.reservedSectors = Le16At(sector + 0x0E);
    if (fat32) {
        f.sectorsPerFat = Le32At(sector + 0x24);
        f.rootCluster = Le32At(sector + 0x2C);
    } else {
        f.rootEntries = Le16At(sector + 0x11);
        f.sectorsPerFat = Le16At(sector + 0x16);
    }
    return f;
}

bool IsValidSectorsPerCluster(uint32_t value)
{
    return value >= 1 && value <= 128 && (value & (value - 1)) == 0;
}

bool FatFieldsPlausible(const FatBootFields& f)
{
    return IsValidSectorsPerCluster(f.sectorsPerCluster) && f.reservedSectors > 0 && f.sectorsPerFat > 0;
}

NtfsBootFields ReadNtfsBootFields(const uint8_t* sector)
{
    NtfsBootFields f;
    f.sectorsPerCluster = sector[0x0D];
    f.mftCluster = Le64At(sector + 0x30);
    f.mftMirrCluster = Le64At(sector + 0x38);
    f.clustersPerFileRecord = Le32At(sector + 0x40);
    f.clustersPerIndexRecord = Le32At(sector + 0x44);
    return f;
}

uint32_t NtfsSectorsPerFileRecord(const NtfsBootFields& f)
{
    if (f.clustersPerFileRecord == 0xF6)
        return 2;
    const uint64_t sectors = uint64_t(f.clustersPerFileRecord) * f.sectorsPerCluster;
    return sectors == 2 || sectors == 4 || sectors == 6 || sectors == 8 ? uint32_t(sectors) : 0;
}

uint32_t NtfsSectorsPerIndexRecord(const NtfsBootFields& f)
{
    if (f.clustersPerIndexRecord == 0xF4)
        return 8;
    const uint64_t sectors = uint64_t(f.clustersPerIndexRecord) * f.sectorsPerCluster;
    return sectors <= UINT32_MAX ? uint32_t(sectors) : 0;
}

bool IsMftRecord(const uint8_t* sector)
{
    return TextAt(sector, 0, "FILE");
}

CString NormaliseFsName(const CString& name)
{
    CString upper = name;
    upper.MakeUpper();
    if (upper.Find(L"FAT16") >= 0 || upper == L"FAT")
        return L"FAT16";
    if (upper.Find(L"FAT32") >= 0)
        return L"FAT32";
    if (upper.Find(L"NTFS") >= 0)
        return L"NTFS";
    return L"Unknown";
}

CString GuessFsBySize(uint64_t startSector, uint64_t endSector)
{
    const uint64_t size = endSector >= startSector ? endSector - startSector : 0;
    if (size >= 35ull << 21)
        return L"NTFS";
    if (size >= 2048)
        return L"FAT32";
    return L"Unknown";
}

CString FormatPartitionSearchResult(int diskNumber, int foundCount, bool found, const CString& kind,
                                    const CString& label)
{
    CString line;
    const bool disk = kind == L"Disk";
    if (found && disk)
        line.Format(L"Found %d more partitions in selected %s ( %s - %d )", foundCount, kind, kind, diskNumber);
    else if (found)
        line.Format(L"Found %d more partitions in selected %s ( %s - %s )", foundCount, kind, kind, label);
    else if (disk)
        line.Format(L"No more partitions found in selected %s ( %s - %d )", kind, kind, diskNumber);
    else
        line.Format(L"No more partitions found in selected %s ( %s - %s )", kind, kind, label);
    return line;
}

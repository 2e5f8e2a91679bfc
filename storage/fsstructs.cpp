#include "storage/fsstructs.h"

#include <string>

#include "storage/pure/globals.h"
#include "storage/sectorreader.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "names travel as UTF-16 code units");

namespace {

std::u16string ToUnits(const CString& text)
{
    const wchar_t* p = text.GetString();
    return std::u16string(reinterpret_cast<const char16_t*>(p), size_t(text.GetLength()));
}

bool FolderReadStopped()
{
    return StopFolderRead == 1;
}

} // namespace

void LoadMftRunTable(uint64_t partitionStartSector, const CString& devicePath, int /*flag*/, uint64_t mftStartSector,
                     uint32_t sectorsPerCluster)
{
    DeviceSectorSource source(devicePath);
    // The volume is the selected one: its runs end at its last sector. A selection whose end
    // is not known (0, or before the start) bounds nothing.
    const uint64_t end = SelectedVolumeInfo.endSector;
    LoadMftRunTableFrom(source, partitionStartSector, mftStartSector, sectorsPerCluster, MftRunTable,
                        end > partitionStartSector ? end : UINT64_MAX);
}

FatChainEnd BuildFatClusterChain(const CString& partitionType, uint32_t startCluster, uint64_t fatStartSector,
                                 uint64_t expectedCount, const std::function<bool()>& stop)
{
    DeviceSectorSource source(CurrentDevicePath);
    return BuildFatClusterChainFrom(source, partitionType, startCluster, fatStartSector, FatVolumeParams.sectorsPerFat,
                                    expectedCount, stop);
}

FatChainEnd BuildFatClusterChainDeep(uint32_t startCluster)
{
    DeviceSectorSource source(CurrentDevicePath);
    return BuildFatClusterChainDeepFrom(source, FatVolumeParams, startCluster, FolderReadStopped);
}

uint32_t ParseMftRecord(uint64_t sector, uint32_t* parentOut, uint64_t* createdOut, int nameSpace, CString& nameOut)
{
    uint8_t record[kMftRecordSize];
    if (ReadSectors(CurrentDevicePath, sector, kSectorsPerMftRecord, record) != 1)
        return 0;
    ApplyNtfsFixup(record, sizeof record);
    std::u16string name;
    if (!ParseMftRecordBuffer(record, nameSpace, parentOut, createdOut, name))
        return 0;
    nameOut += NameToCString(name);
    return 1;
}

uint32_t ReadMftRecordName(const uint8_t* record, uint32_t* parentOut, uint64_t* createdOut, int nameSpace,
                           CString& nameOut)
{
    std::u16string name = ToUnits(nameOut);
    if (!ReadMftRecordNameBuffer(record, nameSpace, NameFilesToo == 1, &StopFolderRead, parentOut, createdOut, name))
        return 0;
    nameOut = NameToCString(name);
    return 1;
}

void ParseDirectorySectors(const uint8_t* sector, uint16_t entryOffset, uint64_t sectorNumber, CString& nameOut)
{
    DeviceSectorSource source(CurrentDevicePath);
    std::u16string name;
    ParseDirectorySectors(&source, sector, entryOffset, sectorNumber, name);
    nameOut += NameToCString(name);
}

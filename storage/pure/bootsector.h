// Reading 512-byte boot sectors and partition-table sectors: the signature, the file-system
// texts, the FAT and NTFS fields and their plausibility, and the names of file systems.
#pragma once
#include <cstdint>

#include "cstring.h"

// Bytes 510 and 511 are 0x55, 0xAA.
bool HasBootSignature(const uint8_t* sector);

enum class BootText { None, Fat32, Fat16, Ntfs, Efi };
// "FAT32" at 0x52, "FAT16" at 0x36, "NTFS" at 3 and, when allowEfi, "EFI" at 0; first match.
BootText ClassifyBootText(const uint8_t* sector, bool allowEfi);
// "FAT32", "FAT16", "NTFS"; empty for None and Efi.
const wchar_t* BootTextName(BootText text);

// The FAT fields the volume check works from.
struct FatBootFields {
    uint32_t sectorsPerCluster = 0;
    uint32_t reservedSectors = 0;
    uint32_t rootEntries = 0;   // FAT16
    uint32_t sectorsPerFat = 0; // 16-bit field on FAT16, 32-bit on FAT32
    uint32_t rootCluster = 0;   // FAT32
};
FatBootFields ReadFatBootFields(const uint8_t* sector, bool fat32);
// A power of two from 1 to 128.
bool IsValidSectorsPerCluster(uint32_t value);
// Sectors per cluster valid, reserved sectors and sectors per FAT above 0.
bool FatFieldsPlausible(const FatBootFields& fields);

struct NtfsBootFields {
    uint32_t sectorsPerCluster = 0;
    uint64_t mftCluster = 0;
    uint64_t mftMirrCluster = 0;
    uint32_t clustersPerFileRecord = 0; // the raw 32-bit values
    uint32_t clustersPerIndexRecord = 0;
};
NtfsBootFields ReadNtfsBootFields(const uint8_t* sector);
// Sectors of one file record: 2 for the value 0xF6, else value × sectors per cluster, which
// must be 2, 4, 6 or 8; 0 when it is none of these.
uint32_t NtfsSectorsPerFileRecord(const NtfsBootFields& fields);
// Sectors of one index record: 8 for the value 0xF4, else value × sectors per cluster; 0 when
// that does not fit in 32 bits.
uint32_t NtfsSectorsPerIndexRecord(const NtfsBootFields& fields);
// "FILE" in the first four bytes.
bool IsMftRecord(const uint8_t* sector);

// Upper-cased name: "FAT16" when it holds FAT16 or is FAT, "FAT32" when it holds FAT32, "NTFS"
// when it holds NTFS, else "Unknown".
CString NormaliseFsName(const CString& name);
// By the size end − start: "NTFS" from 35 GiB of sectors, "FAT32" from 1 MiB, else "Unknown"
// (also when end lies before start).
CString GuessFsBySize(uint64_t startSector, uint64_t endSector);
// The result line of a partition search.
CString FormatPartitionSearchResult(int diskNumber, int foundCount, bool found, const CString& kind,
                                    const CString& label);

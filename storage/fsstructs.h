// The NTFS and FAT structure routines the scans call, over the selected device: each reads
// through the sector reader and hands the bytes to the pure decoders, filling the globals
// (MftRunTable, ClusterChain) where the scans expect them.
#pragma once
#include <cstdint>
#include <functional>

#include "cstring.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"

// Fills MftRunTable from the $MFT of the volume on devicePath whose record 0 lies at
// mftStartSector; the volume is the selected one, and no run reaches past its end sector
// (SelectedVolumeInfo.endSector). `flag` is accepted for the scan's call and not used. A volume
// whose record 0 cannot be read leaves the table as it was.
void LoadMftRunTable(uint64_t partitionStartSector, const CString& devicePath, int flag, uint64_t mftStartSector,
                     uint32_t sectorsPerCluster);

// The save path's chain walk on CurrentDevicePath into ClusterChain; the FAT's size comes from
// FatVolumeParams. `stop` is polled once per cluster (the save's abort flags).
FatChainEnd BuildFatClusterChain(const CString& partitionType, uint32_t startCluster, uint64_t fatStartSector,
                                 uint64_t expectedCount, const std::function<bool()>& stop = {});

// The browsing walk on CurrentDevicePath under FatVolumeParams into ClusterChain, ended by
// StopFolderRead too.
FatChainEnd BuildFatClusterChainDeep(uint32_t startCluster);

// Reads the record at sector of CurrentDevicePath, fixes it up and takes the first unnamed
// $FILE_NAME of the name space: parent and creation time, and for folders the name appended
// to nameOut. 0 when the read fails or there is no such $FILE_NAME.
uint32_t ParseMftRecord(uint64_t sector, uint32_t* parentOut, uint64_t* createdOut, int nameSpace, CString& nameOut);

// The same on a record the caller has read and fixed up, with the list's rules: files are
// named only while NameFilesToo is 1, names are cleaned, StopFolderRead ends the reading.
uint32_t ReadMftRecordName(const uint8_t* record, uint32_t* parentOut, uint64_t* createdOut, int nameSpace,
                           CString& nameOut);

// Appends the long name of the short entry at entryOffset of a directory sector to nameOut,
// reading the sector before from CurrentDevicePath when the name begins there.
void ParseDirectorySectors(const uint8_t* sector, uint16_t entryOffset, uint64_t sectorNumber, CString& nameOut);

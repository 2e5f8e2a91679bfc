// The Deep Search carving scan: every sector of a range is examined for the remains of file
// systems wherever they lie, whatever the partition table, boot sector or FAT still says. FAT
// boot sectors and the first sectors of FAT directories (their "." and ".." entries) are what the
// FAT volumes are assembled from (deep_assembly.h); 1024-byte NTFS file records are decoded
// where they are found. The scan reads through a SectorSource, polls a stop flag, reports its
// progress and hands each find to a sink as it goes, so a stopped scan keeps what it found.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cstring.h"
#include "fsrecovery/pure/basic_scan.h" // ScanProgressFn
#include "storage/pure/fs_names.h"
#include "storage/pure/ntfs_record.h"
#include "storage/pure/sector_source.h"

// Sectors per block (512 KiB): one progress step, and the unit a range is read in.
constexpr uint32_t kDeepScanBlockSectors = 1024;

// A FAT16 or FAT32 boot sector as the geometry it states, every sector number absolute.
struct FatBootHit {
    uint64_t sector = 0; // where it was found
    uint32_t sectorsPerFat = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t rootSectors = 0;     // FAT16: root entries / 16; FAT32: 0
    uint64_t rootStart = 0;       // FAT32: the root's first cluster; FAT16: the root's first sector
    uint32_t reservedSectors = 0; // the first FAT's distance from the boot sector
    // Where cluster 0 would begin, so that cluster n begins at cluster0Start + n * sectorsPerCluster.
    // The sum is taken modulo 2^64: on a tiny volume with big clusters it lies "before" sector 0
    // and wraps, and the sums for real clusters (n >= 2) wrap back.
    uint64_t cluster0Start = 0;
    uint64_t firstFat = 0;
    uint64_t secondFat = 0;    // two FAT copies are assumed
    uint64_t totalSectors = 0; // the sector after the volume: its own sector plus the count it states
    bool fat32 = false;
};

// The first sector of a FAT directory, by its "." and ".." entries.
constexpr uint32_t kDirNotAssigned = 0;            // volume: not looked at yet
constexpr uint32_t kDirWithoutVolume = 0xFFFFFFFF; // volume: examined and left without one
struct FatDirCluster {
    uint64_t sector = 0;
    uint32_t self = 0;   // first cluster of ".": its own cluster
    uint32_t parent = 0; // first cluster of "..": 0 for a folder of the root
    uint16_t date = 0;   // last write of "."
    uint16_t time = 0;
    // Filled by the assembly: the volume number (from 1), or one of the two values above, and
    // that volume's cluster-0 sector.
    uint32_t volume = kDirNotAssigned;
    uint64_t cluster0Start = 0;
};

// An NTFS boot sector (the primary at a volume's start or the backup at its end).
struct NtfsBootHit {
    uint64_t sector = 0;
    uint32_t sectorsPerCluster = 0;
    uint64_t totalSectors = 0; // as stated, which excludes the backup boot sector itself
};

// What the header of a carved record and its first $FILE_NAME tell.
struct CarvedMftHeader {
    uint8_t flags = 0;         // header byte 0x16: bit 0 in use, bit 1 directory
    uint32_t recordNumber = 0; // header field 0x2C; only NTFS 3.1 headers carry it
    bool numbered = false;
    uint16_t sequence = 0;      // header field 0x10
    uint64_t baseReference = 0; // header field 0x20: not 0 in an extension record
    uint32_t parent = 0;        // low 32 bits of the parent's reference
    uint64_t created = 0;       // FILETIME of that $FILE_NAME
    // Every sector's fix-up held. A torn record (a write cut short) mixes two versions: the sector
    // that agrees with the header may be the stale one.
    bool whole = true;

    bool IsFolder() const { return flags == 2 || flags == 3; }
    bool IsDeleted() const { return (flags & 1) == 0; }
    // An extension record holds attributes of the file its base record is: no file of its own.
    bool IsExtension() const { return NtfsReferenceRecord(baseReference) != 0; }
};

// What a found file or folder needs of a carved record: its header and its name.
struct CarvedMftName : CarvedMftHeader {
    std::u16string name; // first found of the Win32, Win32+DOS, DOS, POSIX names, as listed
    MftNameLook look;    // that name's name space, and whether the record has a list
};

// One 1024-byte NTFS file record found anywhere, decoded after its fix-up.
struct CarvedMftRecord : CarvedMftHeader {
    enum class Data { None, Resident, NonResident };

    uint64_t sector = 0;
    CString name;           // first found of the Win32, Win32+DOS, DOS, POSIX names
    Data data = Data::None; // the unnamed $DATA
    uint64_t dataSize = 0;
    size_t residentOffset = 0;    // Resident: where the bytes begin in the record
    std::vector<ClusterRun> runs; // NonResident: its clusters, relative to the volume's cluster 0
};

// Bytes 510-511 0x55 0xAA and "FAT32" at 0x52 or "FAT16" at 0x36. A small FAT16 volume whose
// 32-bit sector count (0x20) is 0 keeps its count in the 16-bit field at 0x13.
bool ReadFatBootHit(const uint8_t* sector, uint64_t at, FatBootHit& hit);
// "." followed by ".." at the start of the sector.
bool ReadFatDirCluster(const uint8_t* sector, uint64_t at, FatDirCluster& row);
// The signature, "NTFS" at 3 and sectors per cluster a power of two up to 128.
bool ReadNtfsBootHit(const uint8_t* sector, uint64_t at, NtfsBootHit& hit);
// "FILE" with an allocated size of 1024 bytes.
bool IsCarvableMftRecord(const uint8_t* sector);

// Decodes the header and the name of a record as read: the fix-up is applied to a copy in
// `fixedUp` (1024 bytes), and out.name is reused. False when it does not carry "FILE" with 1024
// allocated bytes.
bool DecodeCarvedMftName(const uint8_t* raw, uint8_t* fixedUp, CarvedMftName& out);

// Decodes a record as read (before its fix-up, which is applied to a copy over all 1024 bytes).
// False when it does not carry "FILE" with 1024 allocated bytes. Every offset in the record is
// checked before it is followed; a malformed attribute ends the attribute walk, not the decode.
bool DecodeCarvedMftRecord(const uint8_t* raw, uint64_t sector, CarvedMftRecord& out);

// The size of the unnamed $DATA of a 1024-byte record whose fix-up is applied here, in place,
// over the whole record: the value length when resident, the real size when not. False when the
// record has none, or the walk to it meets a malformed attribute.
bool FindMftDataAttribute(uint8_t* record, uint64_t* size);

// NTFS sectors per cluster for records of the volume that begins at volumeStart: from a boot
// sector of that volume (its primary, or the backup after its counted sectors), else from the
// first boot sector found, else 8.
uint32_t ChooseNtfsSectorsPerCluster(const std::vector<NtfsBootHit>& boots, uint64_t volumeStart);

// What a scan finds, in the order it finds it (ascending sectors).
class DeepScanSink {
public:
    virtual ~DeepScanSink();
    virtual void FatBoot(const FatBootHit&) { }
    virtual void FatDirectory(const FatDirCluster&) { }
    virtual void NtfsBoot(const NtfsBootHit&) { }
    // A carvable record at `sector`, its 1024 bytes as read (before the fix-up). By default it is
    // decoded whole and handed to MftRecord; a sink that needs less decodes less.
    virtual void MftRecordFound(const uint8_t* raw, uint64_t sector);
    virtual void MftRecord(const CarvedMftRecord&) { }
};

// Keeps every find.
class DeepScanFinds : public DeepScanSink {
public:
    void FatBoot(const FatBootHit& hit) override { fatBoots.push_back(hit); }
    void FatDirectory(const FatDirCluster& row) override { fatDirs.push_back(row); }
    void NtfsBoot(const NtfsBootHit& hit) override { ntfsBoots.push_back(hit); }
    void MftRecord(const CarvedMftRecord& record) override { records.push_back(record); }

    std::vector<FatBootHit> fatBoots;
    std::vector<FatDirCluster> fatDirs;
    std::vector<NtfsBootHit> ntfsBoots;
    std::vector<CarvedMftRecord> records;
};

struct DeepScanTargets {
    bool fat = false;  // FAT boot sectors and directory clusters
    bool ntfs = false; // NTFS boot sectors and file records
    // Boot sectors alone, for searches that list the volumes inside a range.
    bool bootSectorsOnly = false;
};

struct DeepScanOutcome {
    uint64_t examined = 0;   // sectors of the range that were read and examined
    uint64_t unreadable = 0; // sectors of the range that could not be read
    bool stopped = false;
};

// Reads `count` sectors at `first` into buf. Where the read stops short, the rest is read again
// in pieces of `piece` sectors, so that a bad sector costs only its piece. delivered[i] (resized
// to count) says whether sector i arrived; only those may be parsed. Returns how many did.
uint32_t ReadSectorsInPieces(SectorSource& source, uint64_t first, uint32_t count, uint32_t piece, uint8_t* buf,
                             std::vector<uint8_t>& delivered);

// Examines every sector of [first, end) in blocks of kDeepScanBlockSectors from `first`. Every
// block is read whole, the last one too: its sectors past `end` (as far as the device goes) are
// examined and their finds kept as well. A block that fails is read again in small pieces so that
// a bad sector costs only its piece, and only sectors a read delivered are examined. A record
// found is read whole even where it runs past its block. The outcome counts only the sectors of
// the range. `stop` is polled before every block, after its progress report. The range is read
// ahead of its examination on a thread of its own; the sink, the progress and the stop flag are
// called and read on the calling thread only.
DeepScanOutcome RunDeepScan(SectorSource& source, uint64_t first, uint64_t end, DeepScanTargets targets,
                            DeepScanSink& sink, const StopFlag* stop = nullptr,
                            const ScanProgressFn& progress = {});

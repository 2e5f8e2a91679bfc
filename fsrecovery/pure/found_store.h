// FoundStore: what a file-system search found, as typed rows with 64-bit numbers. It takes the
// place of the hidden text tables of the Basic and Deep searches: the scans append rows, the tree
// builder consumes the folder rows, the listings read the file rows of one folder through an
// index, and text cells are made only where a person or the scan log reads them (the *Cells
// functions, in the column order of the table each kind of row stands for).
//
// Rows live in chunks of a few thousand, names in a shared arena of 1 MiB blocks: nothing ever
// needs one huge block or a copy of all rows to grow, which a terabyte disk's ten million file
// records would. An NTFS file row is 48 bytes plus its name (one byte per character when every
// character is below 256, else two).
//
// Volumes: every row belongs to one volume of the store's volume list, and listing, opening and
// saving read that volume's device and geometry. A results tree may so hold folders of several
// volumes (Deep Search finds many FAT volumes on one disk); a results folder names its volume by
// its cluster-0 start (FolderNode::cluster0Start).
//
// Threads: one writer at a time (the scan worker while it scans, then the listing or the save,
// which the session never runs together); readers run on the same thread or after the writer.
// A row that cannot be stored throws std::bad_alloc; the workers end the program on it with the
// out-of-memory message.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/scan_target.h"

// Rows in fixed chunks: appending never moves a row, and the largest block is one chunk.
template <class T, size_t kRowsPerChunk = 8192> class ChunkedRows {
public:
    // Told of every chunk taken (positive) and given back (negative); throws std::bad_alloc to
    // refuse one.
    using Account = void (*)(void* owner, int64_t bytes);
    explicit ChunkedRows(void* owner = nullptr, Account account = nullptr) : m_owner(owner), m_account(account) { }
    ChunkedRows(const ChunkedRows&) = delete;
    ChunkedRows& operator=(const ChunkedRows&) = delete;

    size_t RowCount() const { return m_size; }
    T& operator[](size_t i) { return m_chunks[i / kRowsPerChunk][i % kRowsPerChunk]; }
    const T& operator[](size_t i) const { return m_chunks[i / kRowsPerChunk][i % kRowsPerChunk]; }

    // Returns the new row's index.
    size_t AddRow(const T& row)
    {
        if (m_size == m_chunks.size() * kRowsPerChunk) {
            if (m_account)
                m_account(m_owner, int64_t(kChunkBytes));
            m_chunks.emplace_back(new T[kRowsPerChunk]);
        }
        (*this)[m_size] = row;
        return m_size++;
    }
    // Keeps the first n rows, giving back the chunks no longer used.
    void Truncate(size_t n)
    {
        if (n >= m_size)
            return;
        const size_t chunks = (n + kRowsPerChunk - 1) / kRowsPerChunk;
        if (m_account && chunks < m_chunks.size())
            m_account(m_owner, -int64_t(kChunkBytes * (m_chunks.size() - chunks)));
        m_chunks.resize(chunks);
        m_size = n;
    }
    void Clear()
    {
        if (m_account && !m_chunks.empty())
            m_account(m_owner, -int64_t(kChunkBytes * m_chunks.size()));
        m_chunks.clear();
        m_size = 0;
    }

private:
    static constexpr size_t kChunkBytes = sizeof(T) * kRowsPerChunk;
    std::vector<std::unique_ptr<T[]>> m_chunks;
    size_t m_size = 0;
    void* m_owner;
    Account m_account;
};

// A name in the store's arena. Empty names take no room.
struct NameRef {
    uint32_t offset = 0;
    uint32_t info = 0; // length in UTF-16 units << 1 | 1 when stored two bytes per unit
    uint32_t Length() const { return info >> 1; }
};

// A freed extension record that holds an extent of a deleted file's unnamed $DATA past its first
// cluster: the base record it names, where the extent begins, and the record's first sector.
struct NtfsFreedExtent {
    uint64_t base = 0;
    uint64_t lowestVcn = 0;
    uint64_t sector = 0;
    bool operator<(const NtfsFreedExtent& o) const
    {
        return base != o.base ? base < o.base : lowestVcn != o.lowestVcn ? lowestVcn < o.lowestVcn : sector < o.sector;
    }
    bool operator==(const NtfsFreedExtent& o) const
    {
        return base == o.base && lowestVcn == o.lowestVcn && sector == o.sector;
    }
};

// Where an NTFS volume's file records lie by number, as far as its scan knew: along its $MFT's runs
// (sectors on the device), and where a carving scan found extension records (their own numbers).
// What the files whose attribute lists name other records are read through.
struct NtfsRecordIndex {
    MftRunTableRecord mftRuns;
    std::vector<std::pair<uint64_t, uint64_t>> found; // (record number, sector), ascending
    // The freed extension records with a data extent the scan met, ascending; freedKept: every one
    // of the volume's the scan could see (else they are looked for along the $MFT when wanted).
    std::vector<NtfsFreedExtent> freed;
    bool freedKept = false;
};

// What the saves and opens of one volume's files looked up on it, kept with its results so that
// a later save or open does not look again: its freed extension records with data extents along
// its $MFT and at its carved places (when its scan's index does not hold them all), ascending,
// once a look ran to its end. The store's readers run one at a time (see Threads above).
struct NtfsVolumeLookups {
    std::vector<NtfsFreedExtent> freed;
    bool freedLooked = false;
};

// One volume of the results: what listing, opening and saving need to read its files.
struct FoundVolume {
    FsKind kind = FsKind::Unknown;
    CString devicePath;
    uint64_t firstSector = 0; // the range scanned for it on the device
    uint64_t endSector = 0;
    // Its geometry, partitionType its file system's name ("FAT16", "FAT32", "NTFS").
    FatVolumeParamsRecord params;
    // NTFS: its records by number, when its scan knew them (null: found through params.mftSector).
    std::shared_ptr<const NtfsRecordIndex> ntfsRecords;
    // NTFS: what its saves and opens looked up on it; copies of the volume share it.
    std::shared_ptr<NtfsVolumeLookups> lookups = std::make_shared<NtfsVolumeLookups>();
};

// The id of a volume's root folder: the NTFS root directory's record, the FAT root (cluster 0).
uint32_t RootFolderId(FsKind kind);

// One found folder or entry, the fields of the found-entry table ("Name", "sector", "self",
// "parent", "date", "time", "size", "attr", "sysID", "Type", "Deleted", "Cluster0Start").
// A numeric cell that the scan left empty is told apart from 0 by `cells`.
struct FoundEntryRow {
    enum Cell : uint16_t {
        kSector = 1 << 1,
        kSelf = 1 << 2,
        kParent = 1 << 3,
        kDate = 1 << 4,
        kTime = 1 << 5,
        kSize = 1 << 6,
        kAttr = 1 << 7,
        kSysId = 1 << 8,
        kDeleted = 1 << 10, // the "Deleted" cell is "1" or "0" (deleted says which), not empty
        kCluster0Start = 1 << 11,
    };
    uint64_t sector = 0;
    uint64_t self = 0;
    uint64_t parent = 0;
    uint64_t date = 0;
    uint64_t time = 0;
    uint64_t size = 0;
    uint64_t cluster0Start = 0;
    NameRef name;
    uint32_t volume = 0;
    uint16_t cells = 0;
    uint8_t attr = 0;
    uint8_t sysId = 0;
    bool folder = true; // "Type" is "FOLDER"
    bool deleted = false;
    bool placed = false; // the tree builder put it into the tree
};

// One NTFS file: the NTFS file table's "Sector" ("parent|record sector|"), "name", "size",
// "date", "time" and "type" (the parent again). Name, size and time stamp may be unknown until
// a listing has read the file's record.
struct NtfsFileRow {
    // kCopy: the same record as another row's (a volume's $MFTMirr copy of a record its $MFT
    // holds): kept as found, and in the scan log, but never listed.
    enum Flag : uint32_t { kNamed = 1, kSized = 2, kStamped = 4, kCopy = 8 };
    uint64_t parent = 0;
    uint64_t sector = 0; // the file record's first sector
    uint64_t size = 0;
    uint64_t fileTime = 0;
    NameRef name;
    uint32_t volume = 0;
    uint32_t flags = 0;
};

// One FAT volume a search assembled: the fields of the FAT volume table ("Sector", "SPF", "SPC",
// "Root Sectors", "Root Start", "Reserve Sectors", "Cluster0Start", "firstFAT", "secondFAT",
// "TotalSectors", "PartType", "End Sector").
struct FatVolumeRow {
    uint64_t sector = 0; // its boot sector
    uint32_t sectorsPerFat = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t rootDirSectors = 0;
    uint32_t rootStart = 0;
    uint32_t reservedSectors = 0;
    uint64_t cluster0Start = 0;
    uint64_t firstFatSector = 0;
    uint64_t secondFatSector = 0;
    uint64_t totalSectors = 0;
    FsKind kind = FsKind::Unknown;
    uint64_t endSector = 0;
};

// One partition recognised on a logical drive ("Drive", "Part", "St_Sec", "End_Sec", "Clus0",
// "Drive_E_Sec").
struct RecognisedPartitionRow {
    CString drive;
    CString part;
    uint64_t startSector = 0;
    uint64_t endSector = 0;
    uint64_t cluster0Start = 0;
    uint64_t driveEndSector = 0;
};

class FoundStore {
public:
    static constexpr uint32_t kNoVolume = UINT32_MAX;

    FoundStore();
    ~FoundStore();
    FoundStore(const FoundStore&) = delete;
    FoundStore& operator=(const FoundStore&) = delete;

    // Everything, volumes included.
    void Clear();
    // Bytes the rows and names take; above a limit set here (0: none) a row is refused with
    // std::bad_alloc, before the process itself runs out of room.
    uint64_t BytesUsed() const { return m_bytes; }
    void SetMemoryLimit(uint64_t bytes) { m_limit = bytes; }

    // ---- Volumes ----
    uint32_t AddVolume(const FoundVolume& volume);
    size_t VolumeCount() const { return m_volumes.size(); }
    const FoundVolume& Volume(uint32_t index) const { return m_volumes[index]; }
    void SetNtfsRecords(uint32_t index, std::shared_ptr<const NtfsRecordIndex> records)
    {
        m_volumes[index].ntfsRecords = std::move(records);
    }
    // The volume whose cluster 0 starts at cluster0Start (an NTFS volume: whose first sector it
    // is); with none, volume 0 when the store holds at most one (folders loaded from a scan log
    // that keeps no cluster-0 starts); kNoVolume otherwise.
    uint32_t VolumeOfCluster0(uint64_t cluster0Start) const;

    // ---- Found entries ----
    size_t EntryCount() const { return m_entries.RowCount(); }
    const FoundEntryRow& Entry(size_t index) const { return m_entries[index]; }
    FoundEntryRow& Entry(size_t index) { return m_entries[index]; }
    size_t AddEntry(const FoundEntryRow& row, const std::u16string& name);
    size_t AddEntry(const FoundEntryRow& row, const CString& name);
    CString EntryName(size_t index) const { return Name(m_entries[index].name); }
    void SetEntryName(size_t index, const CString& name);
    // Changes the parent of a row (the indexes follow).
    void SetEntryParent(size_t index, uint64_t parent);
    // Removes the rows marked in `drop` (one flag a row), the others keeping their order.
    void RemoveEntries(const std::vector<bool>& drop);
    void ClearEntries();
    // The row's twelve cells in the found-entry table's column order.
    std::vector<CString> EntryCells(size_t index) const;
    // Rows whose "Type" is "FOLDER", ordered by (volume, parent, self), ties in the order found:
    // the order the tree builder places siblings in. Valid until rows are added or changed.
    const std::vector<uint32_t>& FoldersByParent();
    // The range of FoldersByParent() holding the folders of `parent` on `volume`.
    std::pair<size_t, size_t> FolderRangeOf(uint32_t volume, uint64_t parent);
    // Whether some row (folder or not) has the id `self` on `volume`; the id is compared by its
    // low 32 bits, as the tree's folder records keep it. Changing parents keeps this index.
    bool HasEntryId(uint32_t volume, uint32_t self);
    // The kind of a row's volume (Unknown for a volume the store does not hold).
    FsKind KindOfVolume(uint32_t volume) const
    {
        return volume < m_volumes.size() ? m_volumes[volume].kind : FsKind::Unknown;
    }

    // ---- NTFS files ----
    size_t NtfsFileCount() const { return m_files.RowCount(); }
    const NtfsFileRow& NtfsFile(size_t index) const { return m_files[index]; }
    NtfsFileRow& NtfsFile(size_t index) { return m_files[index]; }
    // After rows' volumes or parents were changed in place (Entry, NtfsFile): the indexes are made
    // again on their next use.
    void RowsChanged()
    {
        m_parentIndexValid = m_idIndexValid = false;
        m_filesIndexed = SIZE_MAX;
    }
    size_t AddNtfsFile(const NtfsFileRow& row, const std::u16string& name);
    CString NtfsFileName(size_t index) const { return Name(m_files[index].name); }
    // What a listing read from the file's record: kept so that the next listing reads nothing.
    void SetNtfsFileDetails(size_t index, const CString& name, uint64_t size, uint64_t fileTime);
    // The rows of the files of `parent` on `volume`, in the order found, copies left out. The index
    // is made on the first call after rows were added, and kept.
    std::pair<const uint32_t*, const uint32_t*> NtfsFilesOf(uint32_t volume, uint64_t parent);
    std::vector<CString> NtfsFileCells(size_t index) const;

    // ---- FAT volumes and recognised partitions (a Deep Search's) ----
    std::vector<FatVolumeRow> fatVolumes;
    std::vector<RecognisedPartitionRow> recognisedPartitions;

    // ---- Names ----
    NameRef StoreName(const char16_t* units, size_t count);
    CString Name(NameRef ref) const;

    // Column names and widths of the tables the rows stand for, for a view or a log.
    static const std::vector<const wchar_t*>& EntryColumns();
    static const std::vector<const wchar_t*>& NtfsFileColumns();
    static const std::vector<const wchar_t*>& FatVolumeColumns();
    static const std::vector<const wchar_t*>& RecognisedPartitionColumns();

private:
    static void Account(void* store, int64_t bytes);

    std::vector<FoundVolume> m_volumes;
    ChunkedRows<FoundEntryRow, 4096> m_entries;
    ChunkedRows<NtfsFileRow> m_files;
    std::vector<std::unique_ptr<uint8_t[]>> m_nameChunks;
    size_t m_nameUsed = 0; // bytes used in the last name chunk
    uint64_t m_bytes = 0;
    uint64_t m_limit = 0;

    std::vector<uint32_t> m_foldersByParent;
    std::vector<uint32_t> m_entriesById; // every row, ordered by (volume, low 32 bits of self)
    bool m_parentIndexValid = false;
    bool m_idIndexValid = false;
    std::vector<uint32_t> m_filesByParent;
    void IndexFilesByParent();
    size_t m_filesIndexed = SIZE_MAX;
};

std::vector<CString> FatVolumeCells(const FatVolumeRow& row);
std::vector<CString> RecognisedPartitionCells(const RecognisedPartitionRow& row);

// The name as UTF-16 code units (on a system whose wchar_t is wider, characters beyond the basic
// plane become surrogate pairs again).
std::u16string ToUtf16Units(const CString& text);

#include "fsrecovery/pure/scan_log_results.h"

#include <algorithm>

#include "fsrecovery/pure/deep_results.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/ntfs_record.h"
#include "storage/pure/sector_source.h"

namespace {

uint64_t Number(const CString& cell)
{
    return StrToUInt64(cell.GetString());
}

uint32_t Number32(const CString& cell)
{
    const uint64_t value = Number(cell);
    return value > UINT32_MAX ? UINT32_MAX : uint32_t(value);
}

template <size_t N> std::array<CString, N> RowOf(const std::vector<CString>& cells)
{
    std::array<CString, N> row;
    for (size_t i = 0; i < N && i < cells.size(); ++i)
        row[i] = cells[i];
    return row;
}

// A number as a save writes it ("%llu"): digits only, no leading zero, at most `max`.
bool ReadWrittenNumber(const CString& text, uint64_t max, uint64_t& value)
{
    const int n = text.GetLength();
    if (n == 0 || (n > 1 && text[0] == L'0'))
        return false;
    value = 0;
    for (int i = 0; i < n; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        const uint64_t digit = uint64_t(text[i] - L'0');
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool IsWrittenNumber(const CString& text, uint64_t max)
{
    uint64_t value = 0;
    return ReadWrittenNumber(text, max, value);
}

// An NTFS file row as FoundStore::NtfsFileCells writes it.
bool IsWrittenNtfsRow(const ScanLogNtfsRow& cells)
{
    // "parent|sector|": the parent's low 32 bits, the record's sector, nothing else.
    const CString& key = cells[0];
    const int bar = key.Find(L'|');
    const int sectorDigits = key.GetLength() - bar - 2;
    uint64_t keyParent = 0, parent = 0;
    if (bar < 0 || sectorDigits < 1 || key[key.GetLength() - 1] != L'|' ||
        !ReadWrittenNumber(key.Left(bar), UINT32_MAX, keyParent) ||
        !IsWrittenNumber(key.Mid(bar + 1, sectorDigits), UINT64_MAX))
        return false;
    return ReadWrittenNumber(cells[5], UINT64_MAX, parent) && uint32_t(parent) == keyParent &&
        (cells[2].IsEmpty() || IsWrittenNumber(cells[2], UINT64_MAX)) &&
        (cells[3].IsEmpty() || IsWrittenNumber(cells[3], UINT64_MAX)) && cells[4].IsEmpty();
}

// Whether a FAT volume row may leave cell i empty: the row of a boot sector has no "End Sector";
// the row of an inferred volume ("0" as its "Sector") has only its "SPC", "Cluster0Start" and
// "PartType".
bool MayBeEmpty(const ScanLogFatVolumeRow& cells, size_t i)
{
    return i == 11 || (cells[0] == L"0" && i != 0 && i != 2 && i != 6 && i != 10);
}

// A FAT volume row as FatVolumeCells writes it, or with the cells left empty that a row of its
// kind may leave empty (MayBeEmpty; read as 0): the columns "SPF" to "Reserve Sectors" are
// 32-bit, "PartType" a file-system name, every other column 64-bit.
bool IsWrittenFatVolumeRow(const ScanLogFatVolumeRow& cells)
{
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].IsEmpty() && MayBeEmpty(cells, i))
            continue;
        const bool written = i == 10 ? FsKindName(FsKindFromName(cells[i])) == cells[i]
                                     : IsWrittenNumber(cells[i], i >= 1 && i <= 5 ? UINT32_MAX : UINT64_MAX);
        if (!written)
            return false;
    }
    return true;
}

// A recognised partition as RecognisedPartitionCells writes it: two texts, then four numbers.
bool IsWrittenRecognisedRow(const ScanLogRecognisedRow& cells)
{
    for (size_t i = 2; i < cells.size(); ++i)
        if (!IsWrittenNumber(cells[i], UINT64_MAX))
            return false;
    return true;
}

// The index of the first row that no save writes; rows.size() when there is none.
template <class Row, class Written> size_t FirstUnwrittenRow(const std::vector<Row>& rows, Written written)
{
    return size_t(std::find_if_not(rows.begin(), rows.end(), written) - rows.begin());
}

// A disk number text of 0 to 25, nothing else (no sign, no other characters).
bool ParseDiskNumber(const CString& text, uint16_t& number)
{
    if (text.IsEmpty() || text.GetLength() > 2)
        return false;
    uint32_t value = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        value = value * 10 + uint32_t(text[i] - L'0');
    }
    if (value >= uint32_t(kMaxDisks))
        return false;
    number = uint16_t(value);
    return true;
}

// A disk description split at its last "|": the description without the final "||", and the
// number after it, each trimmed.
struct DiskDescriptionParts {
    CString description;
    CString numberText;
};

DiskDescriptionParts SplitDiskDescription(const CString& text)
{
    DiskDescriptionParts parts;
    const int bar = text.ReverseFind(L'|');
    if (bar < 0) {
        parts.description = text;
        parts.description.Trim();
        return parts;
    }
    parts.description = text.Left(std::max(0, bar - 1));
    parts.description.Trim();
    parts.numberText = text.Mid(std::max(0, bar - 1));
    parts.numberText.Remove(L'|');
    parts.numberText.Trim();
    return parts;
}

CString LastTwo(const CString& path)
{
    return path.Right(2);
}

LoggedMedium FindDrive(const ScanLogDevice& device, const CStringArray& keys)
{
    LoggedMedium medium;
    const CString size = DecimalText(device.driveSectors);
    const CString exact = device.drivePath + L"|" + size;
    for (int i = 0; i < keys.GetSize(); ++i) {
        if (keys[i] == exact) {
            medium.found = LoggedMedium::Found::Same;
            medium.devicePath = device.drivePath;
            return medium;
        }
    }
    for (int i = 0; i < keys.GetSize(); ++i) {
        const CString& key = keys[i];
        const int bar = key.ReverseFind(L'|');
        if (bar <= 0)
            continue;
        CString sectors = key.Mid(bar);
        sectors.Remove(L'|');
        sectors.Trim();
        if (sectors != size)
            continue;
        medium.found = LoggedMedium::Found::Other;
        medium.devicePath = key.Left(bar);
        medium.loggedName = LastTwo(device.drivePath);
        medium.foundName = LastTwo(medium.devicePath);
        return medium;
    }
    return medium;
}

LoggedMedium FindDisk(const ScanLogDevice& device, const CStringArray& descriptions)
{
    LoggedMedium medium;
    CString logged = device.diskDescription;
    logged.Trim();
    const DiskDescriptionParts wanted = SplitDiskDescription(logged);
    auto take = [&](const CString& entry, LoggedMedium::Found found) {
        const DiskDescriptionParts parts = SplitDiskDescription(entry);
        uint16_t number = 0;
        if (!ParseDiskNumber(parts.numberText, number))
            return false;
        medium.found = found;
        medium.diskNumber = number;
        medium.devicePath.Format(L"\\\\.\\PhysicalDrive%u", unsigned(number));
        medium.loggedName = wanted.numberText;
        medium.foundName = parts.numberText;
        medium.description = entry;
        return true;
    };
    for (int i = 0; i < descriptions.GetSize(); ++i) {
        CString entry = descriptions[i];
        entry.Trim();
        if (entry == logged && take(entry, LoggedMedium::Found::Same))
            return medium;
    }
    for (int i = 0; i < descriptions.GetSize(); ++i) {
        if (SplitDiskDescription(descriptions[i]).description == wanted.description &&
            take(descriptions[i], LoggedMedium::Found::Other))
            return medium;
    }
    return LoggedMedium();
}

} // namespace

// ---- The selection ------------------------------------------------------------------------------

void AddRequestToLog(const ScanRequest& request, const FoundStore& store, ScanLogData& data)
{
    const FoundVolume* first = store.VolumeCount() > 0 ? &store.Volume(0) : nullptr;
    data.header.kind = request.itemKind;
    data.header.diskIdentity = request.diskIdentity;
    ScanLogDevice& device = data.device;
    device.diskDescription = request.diskDescription;
    device.source = ScanLogSourceFor(data.header.mode, request.itemKind, request.ScanAsPhysicalDisk);
    device.drivePath = first != nullptr ? first->devicePath : request.target.devicePath;
    device.driveSectors = request.SelectedVolumeInfo.sizeSectors;
    device.diskNumber = request.diskNumber;
    data.volume = request.SelectedVolumeInfo;
    data.params = first != nullptr ? first->params : request.FatVolumeParams;
    data.geometry = first != nullptr && data.header.mode == kScanLogModeDeep ? VolumeGeometryRecord(first->params)
                                                                               : request.target.geometry;
}

ScanRequest RequestOfLog(const ScanLogData& data, const LoggedMedium& medium)
{
    const bool disk = data.device.source == ScanLogSource::Disk;
    ScanRequest request;
    request.itemKind = data.header.kind;
    request.diskNumber = disk ? medium.diskNumber : data.device.diskNumber;
    request.ScanAsPhysicalDisk = data.device.source == ScanLogSource::Disk &&
        ScanLogSourceFor(data.header.mode, data.header.kind, false) == ScanLogSource::Drive;
    request.target.devicePath = medium.devicePath;
    request.target.firstSector = data.volume.startSector;
    request.target.endSector = data.volume.endSector;
    request.volumeStart = LoggedVolumeStart(data.volume);
    request.volumeEnd = LoggedVolumeEnd(data.volume);
    request.target.kind = FsKindFromName(data.params.partitionType);
    request.target.geometry = data.geometry;
    request.SelectedVolumeInfo = data.volume;
    request.FatVolumeParams = data.params;
    request.diskIdentity = data.header.diskIdentity;
    request.diskDescription =
        disk && !medium.description.IsEmpty() ? medium.description : data.device.diskDescription;
    return request;
}

// ---- Reading --------------------------------------------------------------------------------------

ScanLogResult ReadScanLogToLoad(CArchive& ar, uint32_t dialogMode, ScanLogData& data)
{
    ScanLogResult result = ReadScanLog(ar, dialogMode, data);
    // Cuts the log where its damage begins: `complete` is the last section before it.
    auto cut = [&](ScanLogPart complete) {
        result.complete = std::min(result.complete, complete);
        SetScanLogDamaged(result, CArchiveException(CArchiveException::genericException).GetErrorText());
    };
    const size_t fat = FirstUnwrittenRow(data.fatVolumes, IsWrittenFatVolumeRow);
    if (fat < data.fatVolumes.size()) {
        data.fatVolumes.resize(fat);
        data.folderCount = 0;
        data.tree.clear();
        data.ntfsRows.clear();
        data.ntfsTableWord = 0;
        data.recognisedRows.clear();
        cut(ScanLogPart::Volume);
        return result;
    }
    const size_t ntfs = FirstUnwrittenRow(data.ntfsRows, IsWrittenNtfsRow);
    if (ntfs < data.ntfsRows.size()) {
        data.ntfsRows.resize(ntfs);
        data.ntfsTableWord = 0;
        data.recognisedRows.clear();
        cut(ScanLogPart::Tree);
        return result;
    }
    const size_t recognised = FirstUnwrittenRow(data.recognisedRows, IsWrittenRecognisedRow);
    if (recognised < data.recognisedRows.size()) {
        data.recognisedRows.resize(recognised);
        cut(ScanLogPart::Tree);
    }
    return result;
}

// ---- Tables ---------------------------------------------------------------------------------------

void AddStoreTablesToLog(const FoundStore& store, ScanLogData& data)
{
    data.ntfsRows.reserve(store.NtfsFileCount());
    for (size_t i = 0; i < store.NtfsFileCount(); ++i)
        data.ntfsRows.push_back(RowOf<6>(store.NtfsFileCells(i)));
    for (const FatVolumeRow& row : store.fatVolumes)
        data.fatVolumes.push_back(RowOf<12>(FatVolumeCells(row)));
    for (const RecognisedPartitionRow& row : store.recognisedPartitions)
        data.recognisedRows.push_back(RowOf<6>(RecognisedPartitionCells(row)));
}

NtfsFileRow NtfsFileRowOfCells(const ScanLogNtfsRow& cells)
{
    NtfsFileRow row;
    // "parent|record sector|": the parent's low 32 bits, then the record's sector.
    const CString& key = cells[0];
    const int bar = key.Find(L'|');
    if (bar >= 0)
        row.sector = Number(key.Mid(bar + 1));
    row.parent = !cells[5].IsEmpty() ? Number(cells[5]) : Number(key);
    if (!cells[2].IsEmpty()) {
        row.size = Number(cells[2]);
        row.flags |= NtfsFileRow::kSized;
    }
    if (!cells[3].IsEmpty()) {
        row.fileTime = Number(cells[3]);
        row.flags |= NtfsFileRow::kStamped;
    }
    if (!cells[1].IsEmpty())
        row.flags |= NtfsFileRow::kNamed;
    return row;
}

FatVolumeRow FatVolumeRowOfCells(const ScanLogFatVolumeRow& cells)
{
    FatVolumeRow row;
    row.sector = Number(cells[0]);
    row.sectorsPerFat = Number32(cells[1]);
    row.sectorsPerCluster = Number32(cells[2]);
    row.rootDirSectors = Number32(cells[3]);
    row.rootStart = Number32(cells[4]);
    row.reservedSectors = Number32(cells[5]);
    row.cluster0Start = Number(cells[6]);
    row.firstFatSector = Number(cells[7]);
    row.secondFatSector = Number(cells[8]);
    row.totalSectors = Number(cells[9]);
    row.kind = FsKindFromName(cells[10]);
    row.endSector = Number(cells[11]);
    return row;
}

RecognisedPartitionRow RecognisedPartitionRowOfCells(const ScanLogRecognisedRow& cells)
{
    RecognisedPartitionRow row;
    row.drive = cells[0];
    row.part = cells[1];
    row.startSector = Number(cells[2]);
    row.endSector = Number(cells[3]);
    row.cluster0Start = Number(cells[4]);
    row.driveEndSector = Number(cells[5]);
    return row;
}

FoundVolume FoundVolumeOfFatRow(const FatVolumeRow& row, const CString& devicePath, uint64_t rangeFirst,
                                uint64_t rangeEnd, const std::vector<PartitionExtent>& partitions)
{
    FoundVolume volume = DeepFatStoreVolume(DeepFatVolumeOfRow(row), devicePath, rangeFirst, rangeEnd, partitions);
    // The end the scan held the volume to (an end before its start says nothing).
    if (row.endSector > volume.firstSector)
        volume.endSector = std::min(volume.endSector, row.endSector);
    return volume;
}

void AddScanLogToStore(ScanLogData& data, const CString& devicePath, FoundStore& store,
                       const NtfsGeometryMap* ntfsVolumes, const std::vector<PartitionExtent>& partitions)
{
    for (const ScanLogFatVolumeRow& cells : data.fatVolumes)
        store.fatVolumes.push_back(FatVolumeRowOfCells(cells));
    std::vector<ScanLogFatVolumeRow>().swap(data.fatVolumes);
    // A Deep log's volumes span the range scanned to the selected volume's end, as in the scan.
    const bool deep = data.header.mode == kScanLogModeDeep;
    const uint64_t rangeFirst = data.volume.startSector;
    const uint64_t rangeEnd = deep ? LoggedVolumeEnd(data.volume) : data.volume.endSector;
    // Each row's volume as its record's sector gives it; empty: every row on volume 0.
    std::vector<uint32_t> volumeOfRow;
    const bool byRecords = ntfsVolumes != nullptr && !ntfsVolumes->volumes.empty();
    // A Deep FAT log names each folder's volume by its cluster-0 start, which the rows give.
    if (data.volume.fsName != L"NTFS" && !store.fatVolumes.empty()) {
        for (const FatVolumeRow& row : store.fatVolumes)
            store.AddVolume(FoundVolumeOfFatRow(row, devicePath, rangeFirst, rangeEnd, partitions));
    } else if (byRecords) {
        bool leftover = false;
        volumeOfRow.resize(data.ntfsRows.size());
        for (size_t i = 0; i < data.ntfsRows.size(); ++i) {
            const size_t k = DeepNtfsVolumeOfRecord(*ntfsVolumes, NtfsFileRowOfCells(data.ntfsRows[i]).sector);
            volumeOfRow[i] = uint32_t(k);
            leftover = leftover || k == ntfsVolumes->volumes.size();
        }
        const std::vector<uint32_t> indices =
            AddDeepNtfsVolumes(store, devicePath, rangeFirst, rangeEnd, *ntfsVolumes, leftover, partitions);
        for (uint32_t& v : volumeOfRow)
            v = indices[v];
    } else {
        FoundVolume volume;
        volume.kind = FsKindFromName(data.params.partitionType);
        volume.devicePath = devicePath;
        volume.firstSector = rangeFirst;
        volume.endSector = deep ? EndWithinPartition(partitions, rangeFirst, rangeEnd) : rangeEnd;
        volume.params = data.params;
        store.AddVolume(volume);
    }
    // Rows are taken and freed in blocks, so the text rows and the store never both hold them all.
    constexpr size_t kBlock = 65536;
    std::vector<ScanLogNtfsRow>& rows = data.ntfsRows;
    for (size_t first = 0; first < rows.size(); first += kBlock) {
        const size_t end = std::min(rows.size(), first + kBlock);
        for (size_t i = first; i < end; ++i) {
            NtfsFileRow row = NtfsFileRowOfCells(rows[i]);
            if (!volumeOfRow.empty())
                row.volume = volumeOfRow[i];
            if (byRecords && ntfsVolumes->IsMirrorCopy(row.sector))
                row.flags |= NtfsFileRow::kCopy;
            store.AddNtfsFile(row, ToUtf16Units(rows[i][1]));
            rows[i] = ScanLogNtfsRow();
        }
    }
    std::vector<ScanLogNtfsRow>().swap(rows);
    for (const ScanLogRecognisedRow& cells : data.recognisedRows)
        store.recognisedPartitions.push_back(RecognisedPartitionRowOfCells(cells));
    std::vector<ScanLogRecognisedRow>().swap(data.recognisedRows);
}

NtfsGeometryMap InferLoggedNtfsVolumes(const ScanLogData& data, SectorSource& device,
                                       const std::vector<uint64_t>& knownStarts)
{
    std::vector<NtfsSystemRecord> records;
    size_t reads = 0;
    std::vector<uint8_t> raw(kMftRecordSize);
    for (const ScanLogNtfsRow& cells : data.ntfsRows) {
        if (reads >= kMaxNtfsSystemRecords)
            break;
        const NtfsFileRow row = NtfsFileRowOfCells(cells);
        if (row.parent != 5 || !IsNtfsSystemFileName(cells[1]))
            continue;
        ++reads;
        CarvedMftRecord record;
        if (device.Read(row.sector, uint32_t(kMftRecordSize / kSectorSize), raw.data()) < kMftRecordSize ||
            !DecodeCarvedMftRecord(raw.data(), row.sector, record))
            continue;
        NoteNtfsSystemRecord(record, records);
    }
    // The starts the scan knew: the selected volume's first sector, which is also where the records
    // of no volume are counted from.
    const uint64_t start = LoggedVolumeStart(data.volume);
    NtfsGeometryMap map =
        InferNtfsVolumeGeometry(records, {}, knownStarts.empty() ? std::vector<uint64_t>{ start } : knownStarts, start);
    // What the log read every row with stays the geometry of the rows no volume claims.
    if (IsValidSectorsPerCluster(data.params.sectorsPerCluster))
        map.fallback.sectorsPerCluster = data.params.sectorsPerCluster;
    return map;
}

// ---- Tree -----------------------------------------------------------------------------------------

size_t RebuildScanLogTree(const std::vector<ScanLogTreeItem>& items, ScanLogTreeSink& sink)
{
    std::vector<TreeItemHandle> handles(items.size(), nullptr);
    for (size_t i = 0; i < items.size(); ++i) {
        const ScanLogTreeItem& item = items[i];
        TreeItemHandle made = nullptr;
        if (i == 0 || (item.depth == 0 && !item.hasFolder)) {
            made = sink.InsertTop();
        } else {
            // LinkScanLogTree only names earlier items as parents.
            const bool hasParent = item.parent >= 0 && size_t(item.parent) < i;
            made = sink.Insert(hasParent ? handles[size_t(item.parent)] : nullptr, item.folder);
        }
        if (made == nullptr)
            return i;
        handles[i] = made;
        sink.Progress(i + 1, items.size());
    }
    return items.size();
}

// ---- The medium -----------------------------------------------------------------------------------

LoggedMedium FindLoggedMedium(const ScanLogDevice& device, const CStringArray& driveKeys,
                              const CStringArray& diskDescriptions)
{
    return device.source == ScanLogSource::Drive ? FindDrive(device, driveKeys) : FindDisk(device, diskDescriptions);
}

CString MediumReplacedQuestion(const ScanLogDevice& device, const LoggedMedium& medium)
{
    const bool drive = device.source == ScanLogSource::Drive;
    return CString(L"Original Media connection order on ") + (drive ? L"Drive letter '" : L"Disk number '") +
        medium.loggedName +
        (drive ? L"' has been replaced with media of drive letter '"
               : L"' has been replaced with media of disk number '") +
        medium.foundName + L"' since you saved the selected recovery Log.\n\nDo you want to continue?";
}

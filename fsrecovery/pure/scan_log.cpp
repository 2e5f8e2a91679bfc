#include "fsrecovery/pure/scan_log.h"

#include <algorithm>
#include <set>
#include <utility>

#include "app/pure/shell_rules.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"

namespace {

const wchar_t kRootText[] = L"Root";
const wchar_t kRootRecordName[] = L"Root_Item";
const wchar_t kLineEnd[] = L"\r\n";

CString EndLineText()
{
    return CString(kScanLogMarker) + L"/:*?\"<>|";
}

bool IsKnownFsName(const CString& name)
{
    return name == L"FAT16" || name == L"FAT32" || name == L"NTFS";
}

// 0 is what a Deep scan leaves when it found no boot sector; the file readers refuse to read
// through it. Anything else must be a size a volume can have.
bool IsStoredClusterSize(uint32_t sectorsPerCluster)
{
    return sectorsPerCluster == 0 || IsValidSectorsPerCluster(sectorsPerCluster);
}

bool HasFatVolumes(const ScanLogData& data)
{
    return data.header.mode == kScanLogModeDeep && data.volume.fsName != L"NTFS";
}

bool HasNtfsTables(const ScanLogData& data)
{
    return data.params.partitionType == L"NTFS";
}

// One list of fields serves the writer (f stores) and the reader (f loads), so the two cannot
// drift apart.
template <class Volume, class F> void EachVolumeField(Volume& v, F&& f)
{
    f(v.diskNumber);
    f(v.partitionSelector);
    f(v.fsName);
    f(v.searchModeName);
    f(v.startSector);
    f(v.endSector);
    f(v.startSectorCopy);
    f(v.sizeSectors);
}

template <class Geometry, class F> void EachGeometryField(Geometry& g, F&& f)
{
    f(g.sectorsPerFat);
    f(g.sectorsPerCluster);
    f(g.rootDirSectors);
    f(g.rootStart);
    f(g.reservedSectors);
    f(g.cluster0Start);
    f(g.firstFatSector);
    f(g.secondFatSector);
    f(g.mftSector);
    f(g.mftMirrSector);
    f(g.sectorsPerFileRecord);
    f(g.sectorsPerIndexRecord);
}

template <class Folder, class F> void EachFolderField(Folder& folder, bool deep, F&& f)
{
    f(folder.name);
    f(folder.ownId);
    f(folder.parentId);
    f(folder.date);
    f(folder.time);
    f(folder.deleted);
    if (deep)
        f(folder.cluster0Start);
}

// Everything after the head, in file order, for both directions.
template <class Data, class F> void EachVolumeSection(Data& data, F&& f)
{
    EachVolumeField(data.volume, f);
    EachGeometryField(data.geometry, f);
    EachGeometryField(data.params, f);
    f(data.params.partitionType);
}

// The records a save writes with a fixed name and nothing but zeros: "Root_Item" after the top
// line, and the empty one (no name) for an item without a folder.
bool IsBlankRecord(const ScanLogFolder& f, const wchar_t* name)
{
    return f.name == name && f.ownId == 0 && f.parentId == 0 && f.date == 0 && f.time == 0 && f.deleted == 0 &&
        f.cluster0Start == 0;
}

// ---- writing ----

struct Store {
    CArchive& ar;
    template <class T> void operator()(const T& value) const { ar << value; }
};

template <size_t N> void WriteRows(CArchive& ar, const std::vector<std::array<CString, N>>& rows)
{
    for (const auto& row : rows)
        for (const CString& cell : row)
            ar << cell;
}

void WriteLine(CArchive& ar, uint32_t depth, const CString& text)
{
    CString line(L'\t', static_cast<int>(depth));
    line += ScanLogLineText(text);
    line += kLineEnd;
    ar.WriteString(line);
}

void WriteTree(CArchive& ar, bool deep, const std::vector<ScanLogTreeItem>& tree)
{
    // No line is ever empty: the reader takes an empty one for damage.
    WriteLine(ar, 0, tree.empty() || tree[0].text.IsEmpty() ? CString(kRootText) : tree[0].text);
    ScanLogFolder top;
    top.name = kRootRecordName;
    EachFolderField(top, deep, Store{ ar });
    const ScanLogFolder none;
    for (size_t i = 1; i < tree.size(); ++i) {
        const ScanLogTreeItem& item = tree[i];
        if (item.depth == 0) {
            WriteLine(ar, 0, item.text.IsEmpty() ? CString(kRootText) : item.text);
            continue;
        }
        // The line of an item with a folder is its folder's name: the reader holds them to it.
        const bool named = item.hasFolder && !IsBlankRecord(item.folder, L"");
        WriteLine(ar, item.depth, named ? item.folder.name : item.text);
        EachFolderField(item.hasFolder ? item.folder : none, deep, Store{ ar });
    }
    ar.WriteString(EndLineText() + kLineEnd);
}

// ---- reading ----

struct Load {
    CArchive& ar;
    template <class T> void operator()(T& value) const { ar >> value; }
};

// A count of rows that the bytes left could not hold even with the shortest texts (one byte
// each) is a cut or damaged log; it is refused before anything is read or allocated for it.
void CheckCount(const CArchive& ar, uint64_t count, uint64_t textsPerRow)
{
    if (count > ar.GetRemaining() / textsPerRow)
        AfxThrowArchiveException(CArchiveException::endOfFile);
}

// Rows are appended one by one as they are read, so only whole rows stay. Room is made ahead for
// no more rows than the bytes left hold in texts of the shortest form this program writes (four
// bytes), so memory follows the data, not the count.
template <size_t N> void ReadRows(CArchive& ar, uint64_t count, std::vector<std::array<CString, N>>& rows)
{
    CheckCount(ar, count, N);
    rows.reserve(rows.size() + static_cast<size_t>(std::min<uint64_t>(count, ar.GetRemaining() / (4 * N))));
    for (uint64_t i = 0; i < count; ++i) {
        std::array<CString, N> row;
        for (CString& cell : row)
            ar >> cell;
        rows.push_back(std::move(row));
    }
}

// A drive's device path as the drive list gives it: "\\.\", a letter A to Z and its colon.
bool IsDrivePath(const CString& path)
{
    return path.GetLength() == 6 && path.Left(4) == L"\\\\.\\" && path[4] >= L'A' && path[4] <= L'Z' && path[5] == L':';
}

// False for a block that no save writes: an unknown tag, a drive block for a kind that is saved
// with its disk or with a path that is no drive's, or a disk number outside 0 to 25.
bool ReadDevice(CArchive& ar, ScanLogData& data)
{
    CString tag;
    ar >> tag;
    ScanLogDevice& device = data.device;
    if (tag == L"LOG") {
        if (ScanLogSourceFor(data.header.mode, data.header.kind, false) != ScanLogSource::Drive)
            return false;
        device.source = ScanLogSource::Drive;
        ar >> device.drivePath >> device.driveSectors;
        return IsDrivePath(device.drivePath);
    }
    if (tag != L"PHY")
        return false;
    device.source = ScanLogSource::Disk;
    ar >> device.diskDescription >> device.diskNumber;
    // The description is composed without control characters (DiskDescription): one is damage,
    // which no listed disk could match.
    return device.diskNumber < kMaxDisks && !HasControlCharacter(device.diskDescription);
}

bool VolumeIsValid(const ScanLogData& data)
{
    const SelectedVolumeRecord& v = data.volume;
    return v.diskNumber < kMaxDisks && IsKnownFsName(v.fsName) && v.startSector < v.endSector &&
        IsStoredClusterSize(data.geometry.sectorsPerCluster) && IsStoredClusterSize(data.params.sectorsPerCluster) &&
        IsKnownFsName(data.params.partitionType);
}

size_t LeadingTabs(const CString& line)
{
    size_t n = 0;
    while (static_cast<int>(n) < line.GetLength() && line[n] == L'\t')
        ++n;
    return n;
}

void ThrowDamaged()
{
    AfxThrowArchiveException(CArchiveException::genericException);
}

// One line of the tree as a save writes it: ended by CR LF, not empty, with no control character
// after its leading TABs (the writer blanks them in names). A line the data ends in was cut; one
// that breaks the form was damaged.
bool ReadTreeLine(CArchive& ar, CString& line)
{
    bool crLf = false;
    if (!ar.ReadString(line, &crLf))
        return false;
    if (!crLf) {
        if (ar.GetRemaining() == 0)
            AfxThrowArchiveException(CArchiveException::endOfFile);
        ThrowDamaged();
    }
    if (line.IsEmpty() || HasControlCharacter(line.Mid(static_cast<int>(LeadingTabs(line)))))
        ThrowDamaged();
    return true;
}

// Places each item as it is read under the item its depth gives (LinkScanLogTree).
class TreeLinker {
public:
    int64_t Place(uint32_t depth)
    {
        // m_path[k] is the latest item placed at level k: the ancestors of the item before.
        const size_t level = std::min<size_t>(depth, m_path.size());
        const int64_t parent = level == 0 ? -1 : static_cast<int64_t>(m_path[level - 1]);
        m_path.resize(level);
        m_path.push_back(m_placed++);
        return parent;
    }

private:
    std::vector<size_t> m_path;
    size_t m_placed = 0;
};

// The results tree as a save writes it: every folder is placed once (by its own id and its
// volume's cluster-0 start), under the folder its record names as its parent, or, under a top
// item, as its volume's root folder or one whose parent was not found; the catch-all folder
// holds whatever was found without a place.
class TreeShape {
public:
    explicit TreeShape(uint32_t rootId) : m_rootId(rootId) { }
    bool Fits(const std::vector<ScanLogTreeItem>& tree, const ScanLogTreeItem& item)
    {
        if (!HasRecord(item))
            return true;
        const ScanLogFolder& folder = item.folder;
        const ScanLogTreeItem* parent = item.parent >= 0 ? &tree[static_cast<size_t>(item.parent)] : nullptr;
        if (parent != nullptr && HasRecord(*parent)) {
            if (!IsCatchAllFolder(parent->folder.ownId, parent->folder.name) &&
                folder.parentId != parent->folder.ownId)
                return false;
        } else if (folder.parentId != m_rootId && folder.parentId != kMissingParentId) {
            return false;
        }
        return m_placed.insert({ folder.ownId, folder.cluster0Start }).second;
    }

private:
    // The empty record of an item without a folder holds nothing to place.
    static bool HasRecord(const ScanLogTreeItem& item)
    {
        return item.hasFolder && !IsBlankRecord(item.folder, L"");
    }
    const uint32_t m_rootId;
    std::set<std::pair<uint32_t, uint64_t>> m_placed;
};

// The tree up to its end line. Depths count from the first line's TABs. The first line is
// followed by a record unless it is exactly one TAB; after it, a line with TABs is followed by
// its item's record and a line without is a top-level item with none. Each item is linked to
// its parent as it is read.
// What ties a line to its record is checked as a save writes it: the first line's record is the
// zero "Root_Item" one, and an item's line is its record's name (with control characters
// blanked), or any text before the empty record of an item that had none; and the folders make
// a tree a save writes (TreeShape). Anything else is a damaged log, refused rather than read
// into another tree.
void ReadTree(CArchive& ar, bool deep, uint32_t rootId, std::vector<ScanLogTreeItem>& tree)
{
    const CString endLine = EndLineText();
    CString line;
    if (!ReadTreeLine(ar, line))
        AfxThrowArchiveException(CArchiveException::endOfFile);
    const size_t base = LeadingTabs(line);
    ScanLogTreeItem top;
    top.text = line.Mid(static_cast<int>(base));
    if (line != L"\t") {
        ScanLogFolder record;
        EachFolderField(record, deep, Load{ ar });
        if (base != 0 || !IsBlankRecord(record, kRootRecordName))
            ThrowDamaged();
    }
    TreeLinker linker;
    TreeShape shape(rootId);
    top.parent = linker.Place(top.depth);
    tree.push_back(std::move(top));
    for (;;) {
        // The end line must come; any other line with nothing after it was cut short.
        if (!ReadTreeLine(ar, line) || (line != endLine && ar.GetRemaining() == 0))
            AfxThrowArchiveException(CArchiveException::endOfFile);
        if (line == endLine)
            return;
        const size_t tabs = LeadingTabs(line);
        ScanLogTreeItem item;
        item.depth = static_cast<uint32_t>(tabs > base ? tabs - base : 0);
        item.text = line.Mid(static_cast<int>(tabs));
        if (tabs > 0) {
            EachFolderField(item.folder, deep, Load{ ar });
            if (item.text != ScanLogLineText(item.folder.name) && !IsBlankRecord(item.folder, L""))
                ThrowDamaged();
            item.hasFolder = true;
        }
        item.parent = linker.Place(item.depth);
        if (!shape.Fits(tree, item))
            ThrowDamaged();
        tree.push_back(std::move(item));
    }
}

void ReadNtfsTables(CArchive& ar, ScanLogData& data)
{
    if (!HasNtfsTables(data))
        return;
    uint64_t rows = 0;
    ar >> rows;
    ReadRows(ar, rows, data.ntfsRows);
    ar >> data.ntfsTableWord;
    if (data.header.mode != kScanLogModeDeep)
        return;
    uint32_t recognised = 0;
    ar >> recognised;
    ReadRows(ar, recognised, data.recognisedRows);
}

// The tables, and then the end of the data: a save writes nothing after them.
void ReadTables(CArchive& ar, ScanLogData& data)
{
    ReadNtfsTables(ar, data);
    if (ar.GetRemaining() != 0)
        ThrowDamaged();
}

} // namespace

ScanLogSource ScanLogSourceFor(uint32_t mode, const CString& kind, bool scanAsPhysicalDisk)
{
    const bool driveKind = kind == L"Logical" || (mode == kScanLogModeDeep && kind == L"Recognised");
    return driveKind && !scanAsPhysicalDisk ? ScanLogSource::Drive : ScanLogSource::Disk;
}

CString ScanLogLineText(const CString& itemText)
{
    return BlankControlCharacters(itemText);
}

void WriteScanLog(CArchive& ar, const ScanLogData& data)
{
    const bool deep = data.header.mode == kScanLogModeDeep;
    WriteScanLogHeader(ar, data.header);
    const ScanLogDevice& device = data.device;
    if (device.source == ScanLogSource::Drive)
        ar << CString(L"LOG") << device.drivePath << device.driveSectors;
    else
        ar << CString(L"PHY") << device.diskDescription << device.diskNumber;
    EachVolumeSection(data, Store{ ar });
    if (HasFatVolumes(data)) {
        ar << static_cast<uint64_t>(data.fatVolumes.size());
        WriteRows(ar, data.fatVolumes);
    }
    ar << data.folderCount;
    WriteTree(ar, deep, data.tree);
    if (!HasNtfsTables(data))
        return;
    ar << static_cast<uint64_t>(data.ntfsRows.size());
    WriteRows(ar, data.ntfsRows);
    ar << data.ntfsTableWord;
    if (!deep)
        return;
    ar << static_cast<uint32_t>(data.recognisedRows.size());
    WriteRows(ar, data.recognisedRows);
}

ScanLogResult ReadScanLog(CArchive& ar, uint32_t dialogMode, ScanLogData& data)
{
    data = ScanLogData();
    ScanLogResult result = ReadScanLogHeader(ar, data.header);
    if (result.status != ScanLogStatus::Ok)
        return result;
    if (dialogMode != 0 && data.header.mode != dialogMode) {
        result.status = ScanLogStatus::OtherMode;
        return result;
    }
    const bool deep = data.header.mode == kScanLogModeDeep;

    bool valid = false;
    if (!RunScanLogStep(result, [&] { valid = ReadDevice(ar, data); }))
        return result;
    if (!valid) {
        result.status = ScanLogStatus::Invalid;
        return result;
    }
    result.complete = ScanLogPart::Device;

    if (!RunScanLogStep(result, [&] { EachVolumeSection(data, Load{ ar }); }))
        return result;
    data.volume.sizeBytes = data.volume.sizeSectors * 512;
    if (!VolumeIsValid(data)) {
        result.status = ScanLogStatus::Invalid;
        return result;
    }
    result.complete = ScanLogPart::Volume;

    const bool readFat = RunScanLogStep(result, [&] {
        if (!HasFatVolumes(data))
            return;
        uint64_t count = 0;
        ar >> count;
        ReadRows(ar, count, data.fatVolumes);
    });
    if (!readFat)
        return result;
    result.complete = ScanLogPart::FatVolumes;

    const bool readTree = RunScanLogStep(result, [&] {
        ar >> data.folderCount;
        ReadTree(ar, deep, HasNtfsTables(data) ? kNtfsRootId : kFatRootId, data.tree);
    });
    if (!readTree)
        return result;
    result.complete = ScanLogPart::Tree;

    if (!RunScanLogStep(result, [&] { ReadTables(ar, data); }))
        return result;
    result.complete = ScanLogPart::Tables;
    return result;
}

void LinkScanLogTree(std::vector<ScanLogTreeItem>& items)
{
    TreeLinker linker;
    for (ScanLogTreeItem& item : items)
        item.parent = linker.Place(item.depth);
}

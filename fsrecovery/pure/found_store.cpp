#include "fsrecovery/pure/found_store.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "storage/pure/fs_names.h"

namespace {

constexpr size_t kNameChunkBytes = size_t(1) << 20;
// No file system allows names this long; a longer one is cut here.
constexpr size_t kMaxNameUnits = 0x7FFF;

} // namespace

uint32_t RootFolderId(FsKind kind)
{
    return kind == FsKind::Ntfs ? 5 : 0;
}

std::vector<CString> FatVolumeCells(const FatVolumeRow& row)
{
    return { DecimalText(row.sector),         DecimalText(row.sectorsPerFat),  DecimalText(row.sectorsPerCluster),
             DecimalText(row.rootDirSectors), DecimalText(row.rootStart),      DecimalText(row.reservedSectors),
             DecimalText(row.cluster0Start),  DecimalText(row.firstFatSector), DecimalText(row.secondFatSector),
             DecimalText(row.totalSectors),   FsKindName(row.kind),        DecimalText(row.endSector) };
}

std::vector<CString> RecognisedPartitionCells(const RecognisedPartitionRow& row)
{
    return { row.drive,
             row.part,
             DecimalText(row.startSector),
             DecimalText(row.endSector),
             DecimalText(row.cluster0Start),
             DecimalText(row.driveEndSector) };
}

std::u16string ToUtf16Units(const CString& text)
{
    std::u16string units;
    units.reserve(size_t(text.GetLength()));
    for (int i = 0; i < text.GetLength(); ++i) {
        const uint32_t c = uint32_t(text[i]);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            units.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(char16_t(c));
        }
    }
    return units;
}

// ---- FoundStore ----------------------------------------------------------------------------------

FoundStore::FoundStore() : m_entries(this, Account), m_files(this, Account) { }

FoundStore::~FoundStore() = default;

void FoundStore::Account(void* store, int64_t bytes)
{
    auto* self = static_cast<FoundStore*>(store);
    if (bytes > 0 && self->m_limit != 0 && self->m_bytes + uint64_t(bytes) > self->m_limit)
        throw std::bad_alloc();
    self->m_bytes += uint64_t(bytes);
}

void FoundStore::Clear()
{
    m_volumes.clear();
    ClearEntries();
    m_files.Clear();
    m_filesByParent.clear();
    m_filesByParent.shrink_to_fit();
    m_filesIndexed = SIZE_MAX;
    fatVolumes.clear();
    recognisedPartitions.clear();
    Account(this, -int64_t(m_nameChunks.size() * kNameChunkBytes));
    m_nameChunks.clear();
    m_nameUsed = 0;
}

uint32_t FoundStore::AddVolume(const FoundVolume& volume)
{
    m_volumes.push_back(volume);
    return uint32_t(m_volumes.size() - 1);
}

uint32_t FoundStore::VolumeOfCluster0(uint64_t cluster0Start) const
{
    for (size_t i = 0; i < m_volumes.size(); ++i) {
        if (m_volumes[i].params.cluster0Start == cluster0Start)
            return uint32_t(i);
    }
    return m_volumes.size() <= 1 ? 0 : kNoVolume;
}

// ---- Names ----------------------------------------------------------------------------------

NameRef FoundStore::StoreName(const char16_t* units, size_t count)
{
    NameRef ref;
    count = std::min(count, kMaxNameUnits);
    if (count == 0)
        return ref;
    bool wide = false;
    for (size_t i = 0; i < count && !wide; ++i)
        wide = units[i] > 0xFF;
    const size_t bytes = wide ? count * 2 : count;
    if (m_nameChunks.empty() || m_nameUsed + bytes > kNameChunkBytes) {
        // Offsets are 32-bit: 4 GiB of names is more than the process could hold anyway.
        if (m_nameChunks.size() >= (uint64_t(1) << 32) / kNameChunkBytes)
            throw std::bad_alloc();
        Account(this, int64_t(kNameChunkBytes));
        m_nameChunks.emplace_back(new uint8_t[kNameChunkBytes]);
        m_nameUsed = 0;
    }
    uint8_t* at = m_nameChunks.back().get() + m_nameUsed;
    if (wide) {
        for (size_t i = 0; i < count; ++i) {
            at[2 * i] = uint8_t(units[i]);
            at[2 * i + 1] = uint8_t(units[i] >> 8);
        }
    } else {
        for (size_t i = 0; i < count; ++i)
            at[i] = uint8_t(units[i]);
    }
    ref.offset = uint32_t((m_nameChunks.size() - 1) * kNameChunkBytes + m_nameUsed);
    ref.info = uint32_t(count << 1 | (wide ? 1 : 0));
    m_nameUsed += bytes;
    return ref;
}

CString FoundStore::Name(NameRef ref) const
{
    const size_t count = ref.Length();
    if (count == 0)
        return CString();
    const uint8_t* at = m_nameChunks[ref.offset / kNameChunkBytes].get() + ref.offset % kNameChunkBytes;
    if ((ref.info & 1) == 0) {
        CString text;
        wchar_t* out = text.GetBufferSetLength(int(count));
        for (size_t i = 0; i < count; ++i)
            out[i] = wchar_t(at[i]);
        text.ReleaseBuffer(int(count));
        return text;
    }
    std::u16string units(count, u'\0');
    for (size_t i = 0; i < count; ++i)
        units[i] = char16_t(at[2 * i] | at[2 * i + 1] << 8);
    return NameToCString(units);
}

// ---- Found entries ----------------------------------------------------------------------------

size_t FoundStore::AddEntry(const FoundEntryRow& row, const std::u16string& name)
{
    FoundEntryRow stored = row;
    stored.name = StoreName(name.data(), name.size());
    m_parentIndexValid = m_idIndexValid = false;
    return m_entries.AddRow(stored);
}

size_t FoundStore::AddEntry(const FoundEntryRow& row, const CString& name)
{
    return AddEntry(row, ToUtf16Units(name));
}

void FoundStore::SetEntryName(size_t index, const CString& name)
{
    const std::u16string units = ToUtf16Units(name);
    m_entries[index].name = StoreName(units.data(), units.size());
}

void FoundStore::SetEntryParent(size_t index, uint64_t parent)
{
    m_entries[index].parent = parent;
    m_entries[index].cells |= FoundEntryRow::kParent;
    m_parentIndexValid = false;
}

void FoundStore::RemoveEntries(const std::vector<bool>& drop)
{
    size_t kept = 0;
    for (size_t i = 0; i < m_entries.RowCount(); ++i) {
        if (i < drop.size() && drop[i])
            continue;
        if (kept != i)
            m_entries[kept] = m_entries[i];
        ++kept;
    }
    m_entries.Truncate(kept);
    m_parentIndexValid = m_idIndexValid = false;
}

void FoundStore::ClearEntries()
{
    m_entries.Clear();
    m_foldersByParent.clear();
    m_foldersByParent.shrink_to_fit();
    m_entriesById.clear();
    m_entriesById.shrink_to_fit();
    m_parentIndexValid = m_idIndexValid = false;
}

std::vector<CString> FoundStore::EntryCells(size_t index) const
{
    const FoundEntryRow& r = m_entries[index];
    std::vector<CString> cells(12);
    cells[0] = Name(r.name);
    const struct {
        uint16_t bit;
        int column;
        uint64_t value;
    } numbers[] = { { FoundEntryRow::kSector, 1, r.sector },
                    { FoundEntryRow::kSelf, 2, r.self },
                    { FoundEntryRow::kParent, 3, r.parent },
                    { FoundEntryRow::kDate, 4, r.date },
                    { FoundEntryRow::kTime, 5, r.time },
                    { FoundEntryRow::kSize, 6, r.size },
                    { FoundEntryRow::kAttr, 7, r.attr },
                    { FoundEntryRow::kSysId, 8, r.sysId },
                    { FoundEntryRow::kCluster0Start, 11, r.cluster0Start } };
    for (const auto& n : numbers) {
        if (r.cells & n.bit)
            cells[n.column] = DecimalText(n.value);
    }
    if (r.folder)
        cells[9] = L"FOLDER";
    if (r.cells & FoundEntryRow::kDeleted)
        cells[10] = r.deleted ? L"1" : L"0";
    return cells;
}

namespace {

// The (volume, parent, self) order of folder rows and the (volume, self) order of all rows; the
// id is compared by its low 32 bits, as folder records keep it.
struct EntryKey {
    uint32_t volume;
    uint32_t id;
    uint32_t second;
    uint32_t row;
    bool operator<(const EntryKey& o) const
    {
        if (volume != o.volume)
            return volume < o.volume;
        if (id != o.id)
            return id < o.id;
        if (second != o.second)
            return second < o.second;
        return row < o.row;
    }
};

} // namespace

const std::vector<uint32_t>& FoundStore::FoldersByParent()
{
    if (m_parentIndexValid)
        return m_foldersByParent;
    std::vector<EntryKey> keys;
    for (size_t i = 0; i < m_entries.RowCount(); ++i) {
        const FoundEntryRow& r = m_entries[i];
        if (r.folder)
            keys.push_back({ r.volume, uint32_t(r.parent), uint32_t(r.self), uint32_t(i) });
    }
    std::sort(keys.begin(), keys.end());
    m_foldersByParent.resize(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        m_foldersByParent[i] = keys[i].row;
    m_parentIndexValid = true;
    return m_foldersByParent;
}

std::pair<size_t, size_t> FoundStore::FolderRangeOf(uint32_t volume, uint64_t parent)
{
    const std::vector<uint32_t>& order = FoldersByParent();
    auto key = [&](uint32_t row) {
        const FoundEntryRow& r = m_entries[row];
        return std::make_pair(r.volume, uint32_t(r.parent));
    };
    const auto wanted = std::make_pair(volume, uint32_t(parent));
    const auto first =
        std::lower_bound(order.begin(), order.end(), wanted,
                         [&](uint32_t row, const std::pair<uint32_t, uint32_t>& w) { return key(row) < w; });
    const auto last = std::upper_bound(
        first, order.end(), wanted, [&](const std::pair<uint32_t, uint32_t>& w, uint32_t row) { return w < key(row); });
    return { size_t(first - order.begin()), size_t(last - order.begin()) };
}

bool FoundStore::HasEntryId(uint32_t volume, uint32_t self)
{
    if (!m_idIndexValid) {
        std::vector<EntryKey> keys(m_entries.RowCount());
        for (size_t i = 0; i < m_entries.RowCount(); ++i)
            keys[i] = { m_entries[i].volume, uint32_t(m_entries[i].self), 0, uint32_t(i) };
        std::sort(keys.begin(), keys.end());
        m_entriesById.resize(keys.size());
        for (size_t i = 0; i < keys.size(); ++i)
            m_entriesById[i] = keys[i].row;
        m_idIndexValid = true;
    }
    auto key = [&](uint32_t row) { return std::make_pair(m_entries[row].volume, uint32_t(m_entries[row].self)); };
    const auto wanted = std::make_pair(volume, self);
    const auto at =
        std::lower_bound(m_entriesById.begin(), m_entriesById.end(), wanted,
                         [&](uint32_t row, const std::pair<uint32_t, uint32_t>& w) { return key(row) < w; });
    return at != m_entriesById.end() && key(*at) == wanted;
}

// ---- NTFS files --------------------------------------------------------------------------------

size_t FoundStore::AddNtfsFile(const NtfsFileRow& row, const std::u16string& name)
{
    NtfsFileRow stored = row;
    stored.name = StoreName(name.data(), name.size());
    if (!name.empty())
        stored.flags |= NtfsFileRow::kNamed;
    return m_files.AddRow(stored);
}

void FoundStore::SetNtfsFileDetails(size_t index, const CString& name, uint64_t size, uint64_t fileTime)
{
    NtfsFileRow& row = m_files[index];
    if (!name.IsEmpty()) {
        const std::u16string units = ToUtf16Units(name);
        row.name = StoreName(units.data(), units.size());
        row.flags |= NtfsFileRow::kNamed;
    }
    if (fileTime != 0) {
        row.fileTime = fileTime;
        row.flags |= NtfsFileRow::kStamped;
    }
    row.size = size;
    row.flags |= NtfsFileRow::kSized;
}

void FoundStore::IndexFilesByParent()
{
    // Rows by volume, then parent, then their own order: stable counting passes over 16 bits of
    // the key at a time (parent low, parent high, volume), each pass only where the key needs it,
    // rather than a sort. A key too wide for that (a damaged record) leaves it to the sort.
    uint64_t highestParent = 0;
    uint32_t highestVolume = 0;
    size_t n = 0;
    for (size_t i = 0; i < m_files.RowCount(); ++i) {
        const NtfsFileRow& row = m_files[i];
        if (row.flags & NtfsFileRow::kCopy)
            continue;
        highestParent = std::max(highestParent, row.parent);
        highestVolume = std::max(highestVolume, row.volume);
        m_filesByParent[n++] = uint32_t(i);
    }
    m_filesByParent.resize(n);
    if (highestParent > UINT32_MAX || highestVolume > 0xFFFF) {
        std::sort(m_filesByParent.begin(), m_filesByParent.end(), [&](uint32_t a, uint32_t b) {
            const NtfsFileRow &x = m_files[a], &y = m_files[b];
            if (x.volume != y.volume)
                return x.volume < y.volume;
            if (x.parent != y.parent)
                return x.parent < y.parent;
            return a < b;
        });
        return;
    }
    std::vector<uint32_t> other(n);
    std::vector<uint32_t> starts(0x10001);
    auto pass = [&](auto digit) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const uint32_t row : m_filesByParent)
            ++starts[digit(m_files[row]) + 1];
        for (size_t d = 1; d < starts.size(); ++d)
            starts[d] += starts[d - 1];
        for (const uint32_t row : m_filesByParent)
            other[starts[digit(m_files[row])]++] = row;
        m_filesByParent.swap(other);
    };
    pass([](const NtfsFileRow& r) { return size_t(r.parent & 0xFFFF); });
    if (highestParent > 0xFFFF)
        pass([](const NtfsFileRow& r) { return size_t(r.parent >> 16); });
    if (highestVolume > 0)
        pass([](const NtfsFileRow& r) { return size_t(r.volume); });
}

std::pair<const uint32_t*, const uint32_t*> FoundStore::NtfsFilesOf(uint32_t volume, uint64_t parent)
{
    if (m_filesIndexed != m_files.RowCount()) {
        m_filesByParent.clear();
        m_filesByParent.shrink_to_fit();
        m_filesByParent.resize(m_files.RowCount());
        IndexFilesByParent();
        m_filesIndexed = m_files.RowCount();
    }
    auto less = [&](uint32_t row, const std::pair<uint32_t, uint64_t>& w) {
        return std::make_pair(m_files[row].volume, m_files[row].parent) < w;
    };
    auto greater = [&](const std::pair<uint32_t, uint64_t>& w, uint32_t row) {
        return w < std::make_pair(m_files[row].volume, m_files[row].parent);
    };
    const auto wanted = std::make_pair(volume, parent);
    const auto first = std::lower_bound(m_filesByParent.begin(), m_filesByParent.end(), wanted, less);
    const auto last = std::upper_bound(first, m_filesByParent.end(), wanted, greater);
    const uint32_t* base = m_filesByParent.data();
    return { base + (first - m_filesByParent.begin()), base + (last - m_filesByParent.begin()) };
}

std::vector<CString> FoundStore::NtfsFileCells(size_t index) const
{
    const NtfsFileRow& r = m_files[index];
    std::vector<CString> cells(6);
    cells[0].Format(L"%lu|%llu|", (unsigned long)uint32_t(r.parent), (unsigned long long)r.sector);
    if (r.flags & NtfsFileRow::kNamed)
        cells[1] = Name(r.name);
    if (r.flags & NtfsFileRow::kSized)
        cells[2] = DecimalText(r.size);
    if (r.flags & NtfsFileRow::kStamped)
        cells[3] = DecimalText(r.fileTime);
    cells[5] = DecimalText(r.parent);
    return cells;
}

// ---- Column names -------------------------------------------------------------------------------

const std::vector<const wchar_t*>& FoundStore::EntryColumns()
{
    static const std::vector<const wchar_t*> columns = { L"Name",  L"sector", L"self",    L"parent",
                                                         L"date",  L"time",   L"size",    L"attr",
                                                         L"sysID", L"Type",   L"Deleted", L"Cluster0Start" };
    return columns;
}

const std::vector<const wchar_t*>& FoundStore::NtfsFileColumns()
{
    static const std::vector<const wchar_t*> columns = { L"Sector", L"name", L"size", L"date", L"time", L"type" };
    return columns;
}

const std::vector<const wchar_t*>& FoundStore::FatVolumeColumns()
{
    static const std::vector<const wchar_t*> columns = { L"Sector",        L"SPF",        L"SPC",
                                                         L"Root Sectors",  L"Root Start", L"Reserve Sectors",
                                                         L"Cluster0Start", L"firstFAT",   L"secondFAT",
                                                         L"TotalSectors",  L"PartType",   L"End Sector" };
    return columns;
}

const std::vector<const wchar_t*>& FoundStore::RecognisedPartitionColumns()
{
    static const std::vector<const wchar_t*> columns = { L"Drive",   L"Part",  L"St_Sec",
                                                         L"End_Sec", L"Clus0", L"Drive_E_Sec" };
    return columns;
}

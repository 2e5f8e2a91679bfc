#include "storage/pure/fat_chain.h"

#include <cstring>
#include <new>

#include "storage/pure/ntfs_record.h"
#include "storage/pure/storage_host.h"

namespace {

constexpr uint64_t kMaxFatEntries = uint64_t(1) << 28;

// Keeps the chain's clusters distinct: after a loop was detected (Brent's method, which needs
// no memory beyond the chain), cut the chain where the first cluster would repeat.
void CutAtFirstRepeat(std::vector<uint32_t>& chain, uint32_t next, uint64_t cycleLength)
{
    chain.push_back(next);
    const size_t lambda = size_t(cycleLength);
    size_t mu = 0;
    while (mu + lambda < chain.size() && chain[mu] != chain[mu + lambda])
        ++mu;
    chain.resize(mu + lambda);
}

// The same cut when the tortoise has not met the loop yet: mark the clusters seen.
void CutAtFirstRepeatSlow(std::vector<uint32_t>& chain, uint64_t entries)
{
    std::vector<bool> seen(size_t(entries) + 1);
    for (size_t i = 0; i < chain.size(); ++i) {
        const size_t c = chain[i] < entries ? chain[i] : size_t(entries);
        if (seen[c]) {
            chain.resize(i);
            return;
        }
        seen[c] = true;
    }
}

// Decimal digits after optional blanks; 0 when there are none or the value exceeds `max`.
uint64_t ParseDecimal(const CString& text, uint64_t max)
{
    const wchar_t* p = text.GetString();
    while (*p == L' ' || *p == L'\t')
        ++p;
    uint64_t value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        const uint64_t digit = uint64_t(*p - L'0');
        if (value > (max - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return value;
}

CString Cell(const FatCandidateRow& row, size_t column)
{
    return column < row.size() ? row[column] : CString();
}

uint32_t Cell32(const FatCandidateRow& row, size_t column)
{
    return uint32_t(ParseDecimal(Cell(row, column), UINT32_MAX));
}

uint64_t Cell64(const FatCandidateRow& row, size_t column)
{
    return ParseDecimal(Cell(row, column), UINT64_MAX);
}

} // namespace

uint64_t FatEntryCount(const FatChainGeometry& fat)
{
    const uint64_t n = uint64_t(fat.sectorsPerFat) * (fat.fat32 ? 128 : 256);
    return n < kMaxFatEntries ? n : kMaxFatEntries;
}

FatEntryReader::FatEntryReader(SectorSource& source, const FatChainGeometry& fat)
    : m_source(source), m_fat(fat), m_entries(FatEntryCount(fat))
{ }

bool FatEntryReader::Follow(uint32_t cluster, uint32_t& next, FatChainEnd& end)
{
    if (m_fat.fatStartSector == 0 || cluster >= m_entries) {
        end = FatChainEnd::BeyondFat;
        return false;
    }
    const uint64_t index = m_fat.fat32 ? cluster >> 7 : cluster >> 8;
    if (!m_valid || index != m_index) {
        m_valid = m_source.ReadSector(m_fat.fatStartSector + index, m_buf);
        m_index = index;
    }
    if (!m_valid) {
        end = FatChainEnd::ReadFailed;
        return false;
    }
    if (m_fat.fat32) {
        next = Le32At(m_buf + 4 * (cluster & 0x7F)) & 0x0FFFFFFF;
        if (next >= 0x0FFFFFF8) {
            end = FatChainEnd::EndMark;
            return false;
        }
    } else {
        next = Le16At(m_buf + 2 * (cluster & 0xFF));
        if (next >= 0xFFF8) {
            end = FatChainEnd::EndMark;
            return false;
        }
    }
    if (next < 2) {
        end = FatChainEnd::Free;
        return false;
    }
    return true;
}

FatChainCursor::FatChainCursor(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster)
    : m_reader(source, fat), m_current(startCluster)
{ }

bool FatChainCursor::Next(uint32_t& cluster)
{
    if (m_ended)
        return false;
    if (m_started) {
        uint32_t next = 0;
        if (!m_reader.Follow(m_current, next, m_end)) {
            m_ended = true;
            return false;
        }
        m_current = next;
    }
    m_started = true;
    if (!m_seen.insert(m_current).second) {
        m_end = FatChainEnd::Loop;
        m_ended = true;
        return false;
    }
    cluster = m_current;
    return true;
}

namespace {

FatChainEnd WalkChain(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster, uint64_t maxClusters,
                      const std::function<bool()>& stop, std::vector<uint32_t>& chain)
{
    chain.push_back(startCluster);
    FatEntryReader reader(source, fat);
    const uint64_t entries = reader.Entries();
    uint32_t tortoise = startCluster;
    uint64_t power = 1, lambda = 0;
    for (uint32_t c = startCluster;;) {
        if (chain.size() >= maxClusters)
            return FatChainEnd::CountReached;
        if (stop && stop())
            return FatChainEnd::Stopped;
        uint32_t next = 0;
        FatChainEnd end = FatChainEnd::EndMark;
        if (!reader.Follow(c, next, end))
            return end;
        ++lambda;
        if (next == tortoise) {
            CutAtFirstRepeat(chain, next, lambda);
            return FatChainEnd::Loop;
        }
        chain.push_back(next);
        // Distinct clusters cannot outnumber the entries: past that the walk is in a loop that
        // Brent's tortoise has not met yet.
        if (chain.size() > entries + 1) {
            CutAtFirstRepeatSlow(chain, entries);
            return FatChainEnd::Loop;
        }
        if (lambda == power) {
            tortoise = next;
            power *= 2;
            lambda = 0;
        }
        c = next;
    }
}

} // namespace

FatChainEnd WalkFatChain(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster, uint64_t maxClusters,
                         const std::function<bool()>& stop, std::vector<uint32_t>& chain)
{
    chain.clear();
    try {
        return WalkChain(source, fat, startCluster, maxClusters, stop, chain);
    } catch (const std::bad_alloc&) {
        const bool firstNode = chain.empty();
        std::vector<uint32_t>().swap(chain);
        ReportListMemoryExhausted(ListKind::ClusterChain, firstNode);
        return FatChainEnd::OutOfMemory;
    }
}

void StoreFatCandidateRow(const FatCandidateRow& row, FatVolumeParamsRecord& params)
{
    const bool wasFat16 = params.partitionType == L"FAT16";
    params.cluster0Start = Cell64(row, 6);
    params.sectorsPerFat = Cell32(row, 1);
    params.sectorsPerCluster = Cell32(row, 2);
    params.rootDirSectors = Cell32(row, 3);
    if (params.rootDirSectors == 0 && wasFat16)
        params.rootDirSectors = 32;
    params.rootStart = Cell32(row, 4);
    if (params.rootStart == 0)
        params.rootStart = 2;
    params.reservedSectors = Cell32(row, 5);
    params.firstFatSector = Cell32(row, 7);
    params.secondFatSector = Cell32(row, 8);
    params.partitionType = Cell(row, 10);
}

bool LoadFatCandidateRow(const std::vector<FatCandidateRow>& table, int rowNumber, FatVolumeParamsRecord& params)
{
    if (rowNumber < 1 || size_t(rowNumber) > table.size())
        return false;
    StoreFatCandidateRow(table[size_t(rowNumber) - 1], params);
    return true;
}

bool LoadFatCandidateRowByIndex(const std::vector<FatCandidateRow>& table, int mode, int index,
                                uint64_t wantedCluster0Start, FatVolumeParamsRecord& params)
{
    if (wantedCluster0Start == params.cluster0Start)
        return false;
    if (mode == 1) {
        if (index < 0 || size_t(index) >= table.size())
            return false;
        StoreFatCandidateRow(table[size_t(index)], params);
        return true;
    }
    if (mode != 0)
        return false;
    for (const FatCandidateRow& row : table) {
        if (Cell64(row, 6) == wantedCluster0Start) {
            StoreFatCandidateRow(row, params);
            return true;
        }
    }
    return false;
}

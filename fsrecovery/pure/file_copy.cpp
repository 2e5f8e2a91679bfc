#include "fsrecovery/pure/file_copy.h"

#include <algorithm>

uint64_t ClustersForSize(uint64_t size, uint32_t sectorsPerCluster)
{
    if (sectorsPerCluster == 0)
        return 0;
    const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * kSectorSize;
    return size / clusterBytes + (size % clusterBytes ? 1 : 0);
}

namespace {

// start + cluster * spc, or false when it does not fit in 64 bits.
bool ClusterSector(uint64_t cluster, uint32_t spc, uint64_t start, uint64_t* sector)
{
    if (spc == 0 || cluster > (UINT64_MAX - start) / spc)
        return false;
    *sector = start + cluster * spc;
    return true;
}

void AppendExtent(std::vector<CopyExtent>& out, uint64_t first, uint64_t count, bool sparse)
{
    if (!out.empty()) {
        CopyExtent& last = out.back();
        if (last.sparse == sparse && (sparse || last.firstSector + last.sectorCount == first)) {
            last.sectorCount += count;
            return;
        }
    }
    out.push_back({ first, count, sparse });
}

// Reads a block; when it is not delivered whole, the sectors it lacks are tried one by one so
// that one bad sector costs 512 bytes, not the block. What stays unread is zeros (the source
// zero-fills), so every later byte keeps its offset.
void ReadBlock(SectorSource& source, uint64_t sector, uint32_t count, uint8_t* block)
{
    const size_t delivered = source.Read(sector, count, block);
    if (count == 1 || delivered >= size_t(count) * kSectorSize)
        return;
    for (uint32_t i = uint32_t(delivered / kSectorSize); i < count; ++i)
        source.Read(sector + i, 1, block + size_t(i) * kSectorSize);
}

} // namespace

bool FatChainExtents(const std::vector<uint32_t>& chain, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                     std::vector<CopyExtent>& out)
{
    out.clear();
    for (uint32_t cluster : chain) {
        uint64_t sector = 0;
        if (!ClusterSector(cluster, sectorsPerCluster, cluster0Start, &sector))
            return false;
        AppendExtent(out, sector, sectorsPerCluster, false);
    }
    return true;
}

bool FatContiguousExtents(uint32_t firstCluster, uint64_t count, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                          std::vector<CopyExtent>& out)
{
    out.clear();
    uint64_t sector = 0;
    if (!ClusterSector(firstCluster, sectorsPerCluster, cluster0Start, &sector) ||
        count > UINT64_MAX / sectorsPerCluster)
        return false;
    if (count != 0)
        out.push_back({ sector, count * sectorsPerCluster, false });
    return true;
}

bool NtfsRunExtents(const std::vector<ClusterRun>& runs, uint32_t sectorsPerCluster, uint64_t volumeStart,
                    std::vector<CopyExtent>& out)
{
    out.clear();
    if (sectorsPerCluster == 0)
        return false;
    for (const ClusterRun& run : runs) {
        if (run.clusterCount > UINT64_MAX / sectorsPerCluster)
            return false;
        const uint64_t sectors = run.clusterCount * sectorsPerCluster;
        uint64_t first = 0;
        if (!run.sparse && !ClusterSector(run.firstCluster, sectorsPerCluster, volumeStart, &first))
            return false;
        AppendExtent(out, first, sectors, run.sparse);
    }
    return true;
}

CopyResult CopyExtents(SectorSource& source, const std::vector<CopyExtent>& extents, uint64_t size,
                       uint32_t blockSectors, const CopySink& sink, const CopyStop& stop, const CopyProgress& progress)
{
    if (blockSectors == 0 || blockSectors > kMaxSectorsPerRead)
        return CopyResult::BadGeometry;
    std::vector<uint8_t> block(size_t(blockSectors) * kSectorSize);
    uint64_t written = 0;
    for (const CopyExtent& extent : extents) {
        if (!extent.sparse && extent.sectorCount > UINT64_MAX - extent.firstSector)
            return CopyResult::BadGeometry;
        for (uint64_t done = 0; done < extent.sectorCount && written < size;) {
            if (stop && stop())
                return CopyResult::Stopped;
            const uint32_t count = uint32_t(std::min<uint64_t>(blockSectors, extent.sectorCount - done));
            const size_t blockBytes = size_t(count) * kSectorSize;
            if (extent.sparse)
                std::fill(block.begin(), block.begin() + blockBytes, uint8_t(0));
            else
                ReadBlock(source, extent.firstSector + done, count, block.data());
            const size_t piece = size_t(std::min<uint64_t>(blockBytes, size - written));
            if (!sink(block.data(), piece))
                return CopyResult::WriteFailed;
            written += piece;
            done += count;
            if (progress)
                progress(written);
        }
        if (written >= size)
            break;
    }
    return written >= size ? CopyResult::Done : CopyResult::RunsEnded;
}

bool ResidentDataSpan(const uint8_t* record, size_t attributeOffset, uint64_t size, size_t* dataOffset)
{
    NtfsAttribute attr;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, attr) || attr.offset != attributeOffset ||
        attr.nonResident || size > attr.valueLength)
        return false;
    *dataOffset = attr.valueOffset;
    return true;
}

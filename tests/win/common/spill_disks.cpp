#include "common/spill_disks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/basic_search_fixture.h"
#include "tests/pure/storage_test_util.h"

namespace zr_test {

namespace {

constexpr uint64_t kSector = 512;

using storage_test::PutLe32;
using storage_test::PutLe64;

// Entry k (0-3) of a partition-table sector.
void PutMbrEntry(std::vector<uint8_t>& sector, int k, uint8_t type, uint64_t start, uint64_t count)
{
    uint8_t* e = &sector[446 + 16 * size_t(k)];
    std::memset(e, 0, 16);
    e[4] = type;
    PutLe32(e + 8, uint32_t(start));
    PutLe32(e + 12, uint32_t(count));
}

std::vector<uint8_t> TableSector()
{
    std::vector<uint8_t> sector(kSector, 0);
    sector[510] = 0x55, sector[511] = 0xAA;
    return sector;
}

uint8_t TypeOf(const std::wstring& fs)
{
    return fs == L"FAT16" ? 0x06 : fs == L"FAT32" ? 0x0C : 0x07;
}

} // namespace

SpillDisk::SpillDisk(int number, PartitionKind kind)
{
    const std::wstring image = ImagePath(L"spilldisk.img");
    for (const LayoutEntry& e : LoadLayout(L"spilldisk.img")) {
        SpillVolume v;
        v.fs = e.fs == "fat16" ? L"FAT16" : e.fs == "fat32" ? L"FAT32" : L"NTFS";
        v.start = e.start;
        v.sectors = e.count;
        m_boots.push_back(ReadAt(image, e.start * kSector, kSector));
        if (m_boots.back().size() != kSector)
            return;
        v.sectorsPerCluster = m_boots.back()[0x0D];
        m_volumes.push_back(v);
    }
    m_file = std::make_unique<DiskFile>(number, L"spilldisk.img", 0);
    m_sectors = ReadOnlyFile(image).Size() / kSector;
    if (m_volumes.size() != 3 || !m_file->Made() || !WriteTable(kind))
        return;
    for (SpillVolume& v : m_volumes) {
        if (v.fs != L"NTFS") {
            if (!PlantLastFile(v))
                return;
            continue;
        }
        // runout.bin begins at the volume's last whole cluster (as its own count of sectors gives
        // it) and runs two clusters on; its partition holds the clusters that end inside it.
        const uint64_t total = Le64At(m_boots[size_t(&v - m_volumes.data())].data() + 0x28);
        const uint64_t last = total / v.sectorsPerCluster - 1;
        v.lastFile = "runout.bin";
        v.lastFileSector = v.start + last * v.sectorsPerCluster;
        for (uint64_t c = last; c < last + 3 && (c + 1) * v.sectorsPerCluster <= v.sectors; ++c)
            v.lastFileSectors += v.sectorsPerCluster;
    }
    m_made = true;
}

bool SpillDisk::WriteTable(PartitionKind kind)
{
    if (kind == PartitionKind::Primary)
        return true; // the image's own table
    std::vector<uint8_t> mbr = ReadAt(ImagePath(L"spilldisk.img"), 0, kSector);
    if (mbr.size() != kSector)
        return false;
    for (int k = 0; k < 4; ++k)
        PutMbrEntry(mbr, k, 0, 0, 0);
    if (kind == PartitionKind::Gpt) {
        // A protective entry, the header's signature (all the reader asks of it) and an entry per
        // volume, its last sector inclusive.
        PutMbrEntry(mbr, 0, 0xEE, 1, m_sectors - 1);
        std::vector<uint8_t> header(kSector, 0), entries(kSector, 0);
        std::memcpy(header.data(), "EFI PART", 8);
        static const uint8_t basicData[16] = { 0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                               0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7 };
        for (size_t k = 0; k < m_volumes.size(); ++k) {
            uint8_t* e = &entries[128 * k];
            std::memcpy(e, basicData, 16);
            e[16] = uint8_t(k + 1);
            PutLe64(e + 32, m_volumes[k].start);
            PutLe64(e + 40, m_volumes[k].start + m_volumes[k].sectors - 1);
        }
        return m_file->Patch(0, mbr) && m_file->Patch(kSector, header) && m_file->Patch(2 * kSector, entries);
    }
    // Logical: one extended partition from the sector before the first volume; each volume's
    // extended boot record in the sector before it, linking to the next one's.
    const uint64_t base = m_volumes[0].start - 1;
    PutMbrEntry(mbr, 0, 0x05, base, m_sectors - base);
    if (!m_file->Patch(0, mbr))
        return false;
    for (size_t k = 0; k < m_volumes.size(); ++k) {
        const SpillVolume& v = m_volumes[k];
        std::vector<uint8_t> ebr = TableSector();
        PutMbrEntry(ebr, 0, TypeOf(v.fs), 1, v.sectors);
        if (k + 1 < m_volumes.size()) {
            const SpillVolume& next = m_volumes[k + 1];
            PutMbrEntry(ebr, 1, 0x05, next.start - 1 - base, next.sectors + 1);
        }
        if (!m_file->Patch((v.start - 1) * kSector, ebr))
            return false;
    }
    return true;
}

bool SpillDisk::PlantLastFile(SpillVolume& v)
{
    const uint8_t* b = m_boots[&v - m_volumes.data()].data();
    const bool fat32 = v.fs == L"FAT32";
    const uint32_t spc = v.sectorsPerCluster;
    const uint64_t fatSectors = uint64_t(b[0x10]) * (fat32 ? Le32At(b + 0x24) : Le16At(b + 0x16));
    const uint64_t rootSectors = fat32 ? 0 : Le16At(b + 0x11) * 32u / kSector;
    const uint64_t total = Le16At(b + 0x13) != 0 ? Le16At(b + 0x13) : Le32At(b + 0x20);
    const uint64_t data = v.start + Le16At(b + 0x0E) + fatSectors + rootSectors;
    if (spc == 0 || total != v.sectors || data >= v.start + total)
        return false;
    const uint64_t clusters = (v.start + total - data) / spc;
    const uint64_t lastSector = data + (clusters - 1) * spc;
    const uint32_t lastCluster = uint32_t(clusters + 1);
    // The first free entry of the root directory (FAT32: of its first cluster).
    const uint64_t root = fat32 ? data + (uint64_t(Le32At(b + 0x2C)) - 2) * spc : data - rootSectors;
    const std::wstring image = ImagePath(L"spilldisk.img");
    std::vector<uint8_t> dir = ReadAt(image, root * kSector, size_t(fat32 ? spc : rootSectors) * kSector);
    size_t at = 0;
    while (at + 32 <= dir.size() && dir[at] != 0)
        at += 32;
    if (at + 32 > dir.size())
        return false;
    uint8_t* e = &dir[at];
    std::memcpy(e, "LASTCLUSBIN", 11);
    e[0] = 0xE5; // deleted: its clusters are taken as one run
    e[11] = 0x20;
    e[20] = uint8_t(lastCluster >> 16), e[21] = uint8_t(lastCluster >> 24);
    e[26] = uint8_t(lastCluster), e[27] = uint8_t(lastCluster >> 8);
    PutLe32(e + 28, uint32_t(24 * spc * kSector));
    const uint64_t sector = root + at / kSector;
    const std::vector<uint8_t> entrySector(dir.begin() + ptrdiff_t(at / kSector * kSector),
                                           dir.begin() + ptrdiff_t(at / kSector * kSector + kSector));
    v.lastFile = "ASTCLUS.BIN";
    v.lastFileSector = lastSector;
    v.lastFileSectors = spc;
    return m_file->Patch(sector * kSector, entrySector);
}

bool SpillDisk::Claim(size_t k, const SizeClaim& claim)
{
    if (k >= m_volumes.size())
        return false;
    const SpillVolume& v = m_volumes[k];
    std::vector<uint8_t> boot = m_boots[k];
    const uint64_t total = claim.stated ? v.sectors + claim.more : 0;
    std::vector<uint64_t> copies = { v.start };
    if (v.fs == L"NTFS") {
        copies.push_back(v.start + v.sectors - 1);
        if (claim.stated)
            PutLe64(&boot[0x28], total);
        else
            boot.assign(kSector, 0);
    } else {
        if (v.fs == L"FAT32" && Le16At(boot.data() + 0x32) != 0)
            copies.push_back(v.start + Le16At(boot.data() + 0x32));
        boot[0x13] = boot[0x14] = 0;
        PutLe32(&boot[0x20], uint32_t(total));
    }
    for (uint64_t at : copies)
        if (!m_file->Patch(at * kSector, boot))
            return false;
    return true;
}

std::vector<uint8_t> SpillDisk::Read(uint64_t sector, uint64_t count) const
{
    return ReadAt(m_file->Path(), sector * kSector, size_t(count * kSector));
}

void ExpectSavedAsThePartitionHoldsIt(const SpillDisk& disk, size_t k, const std::map<std::string, std::string>& saved)
{
    const SpillVolume& v = disk.Volumes()[k];
    const std::string prefix = std::to_string(k + 1) + ":/";
    int files = 0;
    for (const TruthLine& e : LoadTruth(L"spilldisk.img")) {
        if (e.path.compare(0, prefix.size(), prefix) != 0 || e.path.substr(prefix.size()) == v.lastFile)
            continue;
        ++files;
        const std::string sha = e.notes.rfind("clipped=", 0) == 0 ? e.notes.substr(8) : e.sha256;
        EXPECT_EQ(1u, saved.count(sha)) << e.path;
    }
    EXPECT_GE(files, 2);
    EXPECT_EQ(1u, saved.count(Sha256Hex(disk.Read(v.lastFileSector, v.lastFileSectors)))) << v.lastFile;
}

} // namespace zr_test

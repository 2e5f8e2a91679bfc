// The found-entry store: names kept exactly, rows that never move as the store grows, the cells
// the tables show (an empty cell is not a 0), the per-folder file index over several volumes,
// and a refused row that leaves the store as it was.
#include <gtest/gtest.h>

#include <new>

#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/found_store.h"

namespace {

FoundVolume Volume(FsKind kind, uint64_t cluster0Start)
{
    FoundVolume v;
    v.kind = kind;
    v.params.cluster0Start = cluster0Start;
    v.params.partitionType = FsKindName(kind);
    return v;
}

TEST(FoundStore, NamesComeBackExactlyWhateverTheirCharactersAndNumber)
{
    FoundStore store;
    const std::u16string names[] = {
        u"",
        u"README.TXT",
        u"na\u00efve r\u00e9sum\u00e9",          // below 256: one byte each
        u"\u00dcn\u00efc\u00f6d\u00e9 \u2013 x", // a dash above 255
        u"\xD83D\xDE00 smile",                   // a surrogate pair
        std::u16string(300, u'a'),
    };
    std::vector<size_t> rows;
    // Enough names to fill several 1 MiB blocks of the arena.
    for (int round = 0; round < 4000; ++round)
        for (const std::u16string& name : names)
            rows.push_back(store.AddNtfsFile(NtfsFileRow(), name));
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::u16string& want = names[i % std::size(names)];
        ASSERT_EQ(ToUtf16Units(store.NtfsFileName(rows[i])), want) << i;
        EXPECT_EQ((store.NtfsFile(rows[i]).flags & NtfsFileRow::kNamed) != 0, !want.empty());
    }
    EXPECT_GT(store.BytesUsed(), 3u << 20);
}

TEST(FoundStore, RowsKeepTheirPlaceAsTheStoreGrows)
{
    FoundStore store;
    store.AddVolume(Volume(FsKind::Ntfs, 2048));
    FoundEntryRow first;
    first.self = 77;
    const FoundEntryRow* kept = &store.Entry(store.AddEntry(first, CString(L"first")));
    for (uint64_t i = 0; i < 100000; ++i) {
        NtfsFileRow file;
        file.parent = i % 7;
        file.sector = 1000 + 2 * i;
        store.AddNtfsFile(file, u"f");
        FoundEntryRow row;
        row.self = i;
        store.AddEntry(row, u"d");
    }
    EXPECT_EQ(kept, &store.Entry(0));
    EXPECT_EQ(77u, kept->self);
    EXPECT_EQ(1000u + 2 * 99999, store.NtfsFile(99999).sector);
    EXPECT_EQ(100001u, store.EntryCount());
}

// Rows removed leave the others in their order, names and indexes right; a file marked as a copy
// of another is never listed.
TEST(FoundStore, RemovedRowsAndCopiesLeaveTheRestAsItWas)
{
    FoundStore store;
    store.AddVolume(Volume(FsKind::Ntfs, 2048));
    std::vector<bool> drop;
    for (uint32_t i = 0; i < 9000; ++i) { // more than two chunks of rows
        FoundEntryRow row;
        row.self = 100 + i;
        row.parent = 5;
        store.AddEntry(row, i % 3 == 1 ? u"gone" : u"kept");
        drop.push_back(i % 3 == 1);
    }
    ASSERT_TRUE(store.HasEntryId(0, 101));
    const uint64_t before = store.BytesUsed();
    store.RemoveEntries(drop);
    ASSERT_EQ(6000u, store.EntryCount());
    for (size_t i = 0; i < store.EntryCount(); ++i) {
        ASSERT_EQ(CString(L"kept"), store.EntryName(i));
        ASSERT_EQ(100 + (i / 2) * 3 + (i % 2) * 2, store.Entry(i).self) << i;
    }
    EXPECT_FALSE(store.HasEntryId(0, 101));
    EXPECT_TRUE(store.HasEntryId(0, 102));
    EXPECT_EQ(6000u, store.FolderRangeOf(0, 5).second - store.FolderRangeOf(0, 5).first);
    EXPECT_LT(store.BytesUsed(), before); // a chunk given back

    for (uint32_t i = 0; i < 4; ++i) {
        NtfsFileRow file;
        file.parent = 5;
        file.sector = 1000 + 2 * i;
        file.flags = i == 2 ? NtfsFileRow::kCopy : 0;
        store.AddNtfsFile(file, u"f");
    }
    const auto listed = store.NtfsFilesOf(0, 5);
    ASSERT_EQ(3, listed.second - listed.first);
    EXPECT_EQ(std::vector<uint32_t>({ 0, 1, 3 }), std::vector<uint32_t>(listed.first, listed.second));
    EXPECT_EQ(4u, store.NtfsFileCount());
}

TEST(FoundStore, CellsAreTheTablesTextsWithEmptyCellsKept)
{
    FoundStore store;
    const uint32_t fat16 = store.AddVolume(Volume(FsKind::Fat16, 500));
    AddMiscFolderRow(store, fat16, 0, 0x1234);
    FatDirRow dir;
    dir.sector = 0x1'0000'0005ull; // beyond 2 TiB: kept whole
    dir.self = 9;
    dir.parent = 0;
    dir.date = 0x5A21;
    dir.time = 0x6000;
    dir.attr = 0x10;
    AddFatDirRows(store, fat16, { dir }, false);
    AddFatDirRows(store, fat16, { dir }, true);
    NtfsScanRecord deleted;
    deleted.folder = true;
    deleted.deleted = true;
    deleted.record = 40;
    deleted.parent = 5;
    deleted.created = 132000000000000000ull;
    deleted.name = u"Old";
    AddNtfsRecord(store, fat16, NtfsScanRecord(deleted));

    using Cells = std::vector<CString>;
    EXPECT_EQ(store.EntryCells(0),
              (Cells{ L"KXR_Miscellaneous", L"0", L"268435455", L"0", L"0", L"4660", L"0", L"16", L"", L"FOLDER", L"",
                      L"" }));
    EXPECT_EQ(
        store.EntryCells(1),
        (Cells{ L"DIR1", L"4294967301", L"9", L"0", L"23073", L"24576", L"0", L"16", L"0", L"FOLDER", L"", L"" }));
    EXPECT_EQ(store.EntryCells(2)[8], L""); // FAT32 rows have no sysID
    EXPECT_EQ(store.EntryCells(3),
              (Cells{ L"Old", L"", L"40", L"5", L"132000000000000000", L"", L"", L"", L"", L"FOLDER", L"1", L"" }));

    // A file found with its name, then what a listing read from its record.
    NtfsScanRecord file;
    file.record = 41;
    file.sector = 6000;
    file.parent = 40;
    file.created = 7;
    file.name = u"a.txt";
    AddNtfsRecord(store, fat16, std::move(file));
    EXPECT_EQ(store.NtfsFileCells(0), (Cells{ L"40|6000|", L"a.txt", L"", L"7", L"", L"40" }));
    store.SetNtfsFileDetails(0, CString(), 1234, 0);
    EXPECT_EQ(store.NtfsFileCells(0), (Cells{ L"40|6000|", L"a.txt", L"1234", L"7", L"", L"40" }));
    EXPECT_EQ(store.FatVolumeColumns().size(), FatVolumeCells(FatVolumeRow()).size());
}

TEST(FoundStore, FilesOfAFolderComeFromItsOwnVolumeInTheOrderFound)
{
    FoundStore store;
    const uint32_t a = store.AddVolume(Volume(FsKind::Ntfs, 2048)), b = store.AddVolume(Volume(FsKind::Ntfs, 90000));
    auto add = [&](uint32_t volume, uint64_t parent, uint64_t sector) {
        NtfsFileRow row;
        row.volume = volume;
        row.parent = parent;
        row.sector = sector;
        store.AddNtfsFile(row, u"x");
    };
    add(a, 5, 10), add(b, 5, 20), add(a, 30, 30), add(a, 5, 40), add(b, 30, 50);
    auto sectors = [&](uint32_t volume, uint64_t parent) {
        std::vector<uint64_t> out;
        const auto range = store.NtfsFilesOf(volume, parent);
        for (const uint32_t* row = range.first; row != range.second; ++row)
            out.push_back(store.NtfsFile(*row).sector);
        return out;
    };
    EXPECT_EQ(sectors(a, 5), (std::vector<uint64_t>{ 10, 40 }));
    EXPECT_EQ(sectors(b, 5), (std::vector<uint64_t>{ 20 }));
    EXPECT_EQ(sectors(a, 31), std::vector<uint64_t>());
    add(a, 5, 60); // a later row is indexed too
    EXPECT_EQ(sectors(a, 5), (std::vector<uint64_t>{ 10, 40, 60 }));

    // A folder names its volume by its cluster-0 start; one loaded without it has the only volume.
    EXPECT_EQ(b, store.VolumeOfCluster0(90000));
    EXPECT_EQ(FoundStore::kNoVolume, store.VolumeOfCluster0(0));
    FoundStore single;
    single.AddVolume(Volume(FsKind::Fat32, 4000));
    EXPECT_EQ(0u, single.VolumeOfCluster0(0));
}

// The index holds every row once, by volume, parent and the order found, whatever the width of
// the parents: beyond 16 bits, and beyond 32 (a damaged record).
TEST(FoundStore, FilesOfAFolderIndexedWhateverTheParentsWidth)
{
    for (const uint64_t far : { uint64_t(70000), uint64_t(1) << 40 }) {
        FoundStore store;
        store.AddVolume(Volume(FsKind::Ntfs, 2048));
        store.AddVolume(Volume(FsKind::Ntfs, 90000));
        const uint64_t parents[] = { 5, far, 0x10005, 5, far + 1, 0x10005, 5 };
        for (uint64_t i = 0; i < 3 * std::size(parents); ++i) {
            NtfsFileRow row;
            row.volume = uint32_t(i % 2);
            row.parent = parents[i % std::size(parents)];
            row.sector = i;
            store.AddNtfsFile(row, u"x");
        }
        size_t seen = 0;
        for (uint32_t volume = 0; volume < 2; ++volume) {
            for (const uint64_t parent : parents) {
                const auto range = store.NtfsFilesOf(volume, parent);
                std::vector<uint64_t> sectors, expected;
                for (const uint32_t* row = range.first; row != range.second; ++row)
                    sectors.push_back(store.NtfsFile(*row).sector);
                for (uint64_t i = 0; i < 3 * std::size(parents); ++i)
                    if (i % 2 == volume && parents[i % std::size(parents)] == parent)
                        expected.push_back(i);
                EXPECT_EQ(sectors, expected) << far << " " << volume << " " << parent;
                if (parent != 0x10005 && parent != 5)
                    seen += sectors.size();
            }
        }
        EXPECT_EQ(seen, 6u);
    }
}

TEST(FoundStore, ARefusedRowLeavesTheStoreAsItWas)
{
    FoundStore store;
    store.SetMemoryLimit(4u << 20);
    size_t added = 0;
    EXPECT_THROW(
        for (;;) {
            NtfsFileRow row;
            row.sector = added;
            store.AddNtfsFile(row, u"a name of some length.txt");
            ++added;
        },
        std::bad_alloc);
    EXPECT_EQ(added, store.NtfsFileCount());
    EXPECT_LE(store.BytesUsed(), 4u << 20);
    EXPECT_EQ(added - 1, store.NtfsFile(added - 1).sector);
    store.Clear();
    EXPECT_EQ(0u, store.BytesUsed());
}

} // namespace

// Fuzzes the decoding of carved NTFS file records: the fix-up over the whole record, the name,
// the unnamed $DATA and its runs, FindMftDataAttribute, and the carving scan over a small disk,
// with the naming of base records from their extension records.
//
// Input: the first 1024 bytes are a record as read from the disk (its "FILE" and allocated size
// forced so that it is decoded); the whole input is also the disk the scan carves.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/deep_results.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t raw[kMftRecordSize] = {};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    std::memcpy(raw, "FILE", 4);
    raw[0x1C] = 0x00, raw[0x1D] = 0x04, raw[0x1E] = raw[0x1F] = 0;
    uint8_t asRead[kMftRecordSize];
    std::memcpy(asRead, raw, sizeof asRead);

    CarvedMftRecord record;
    if (!DecodeCarvedMftRecord(raw, 3, record))
        abort();
    if (record.data == CarvedMftRecord::Data::Resident &&
        (record.residentOffset > kMftRecordSize || record.dataSize > kMftRecordSize - record.residentOffset))
        abort(); // resident bytes always lie inside the record
    if (record.name.GetLength() > 255)
        abort();
    uint64_t dataSize = 0;
    const bool found = FindMftDataAttribute(raw, &dataSize);
    if (found != (record.data != CarvedMftRecord::Data::None) || (found && dataSize != record.dataSize))
        abort(); // the scan and the file list agree on every record

    FoundStore store;
    DeepNtfsStoreSink rows(store);
    rows.MftRecord(record);
    rows.MftRecordFound(asRead, record.sector);
    FinishDeepNtfsStore(store, InferNtfsVolumeGeometry(rows.systemRecords, {}, {}, 0), L"d", 0, 8, 0);
    if (store.EntryCount() > 2)
        abort(); // a folder found twice is one folder (beside the catch-all folder)
    for (size_t i = 0; i < store.NtfsFileCount(); ++i)
        if (store.NtfsFileName(i) != record.name || store.NtfsFile(i).parent != record.parent)
            abort(); // the scan's own decoding reads a file as the whole decoding does

    MemorySectorSource disk(data, size);
    FoundStore carvedStore;
    DeepNtfsStoreSink carved(carvedStore);
    RunDeepScan(disk, 0, size / kSectorSize + 2, { false, true }, carved);
    ChooseNtfsSectorsPerCluster(carved.boots, 0);
    // Nameless base records named from the extension records found, read back from the disk.
    FinishDeepNtfsStore(carvedStore, InferNtfsVolumeGeometry(carved.systemRecords, carved.boots, { 0 }, 0), L"d", 0,
                        size / kSectorSize + 2, 0, {}, &carved.records, &disk);
    return 0;
}

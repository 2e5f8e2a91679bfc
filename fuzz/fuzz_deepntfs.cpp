// Fuzzes the decoding of carved NTFS file records: the fix-up over the whole record, the name,
// the unnamed $DATA and its runs, FindMftDataAttribute, and the carving scan over a small disk.
//
// Input: the first 1024 bytes are a record as read from the disk (its "FILE" and allocated size
// forced so that it is decoded); the whole input is also the disk the scan carves.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fsrecovery/pure/deep_assembly.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t raw[kMftRecordSize] = {};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    std::memcpy(raw, "FILE", 4);
    raw[0x1C] = 0x00, raw[0x1D] = 0x04, raw[0x1E] = raw[0x1F] = 0;

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

    DeepNtfsRows rows;
    rows.MftRecord(record);
    rows.MftRecord(record);
    if (rows.folders.size() > 1)
        abort(); // a folder found twice is one folder

    MemorySectorSource disk(data, size);
    DeepNtfsRows carved;
    RunDeepScan(disk, 0, size / kSectorSize + 2, { false, true }, carved);
    ChooseNtfsSectorsPerCluster(carved.boots, 0);
    return 0;
}

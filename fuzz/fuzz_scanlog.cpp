// Fuzzes the scan-log reader: any input ends in a status, never a crash, an overread or an
// allocation out of proportion to the input; the tree links only point back; and a log that
// reads completely is written and read again to the same bytes, so that reader and writer
// agree on every field. A load's reading, which also holds the rows to what a save writes,
// keeps a beginning of what the reader read: all of it when it accepts the log.
// Input: byte 0 = (archive buffer-size choice << 2) | dialog mode (0 either, 1 Basic, 2 Deep);
// the rest is the log.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fsrecovery/pure/scan_log.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "tests/pure/alloc_watch.h"
#include "tests/pure/scan_log_samples.h"

namespace {

using scan_log_test::Save;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

ScanLogResult Load(const uint8_t* bytes, size_t size, uint32_t mode, unsigned bufferSize, ScanLogData& data)
{
    CMemFile f(bytes, size);
    CArchive ar(&f, CArchive::load, bufferSize);
    return ReadScanLog(ar, mode, data);
}

template <class Row> bool IsBeginningOf(const std::vector<Row>& part, const std::vector<Row>& whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// A load's reading of the same input against the reader's.
void CheckLoadReading(const uint8_t* bytes, size_t size, uint32_t mode, const ScanLogResult& read,
                      const ScanLogData& data)
{
    CMemFile f(bytes, size);
    CArchive ar(&f, CArchive::load);
    ScanLogData loaded;
    const ScanLogResult result = ReadScanLogToLoad(ar, mode, loaded);
    Check(result.complete <= read.complete);
    Check(result.status == read.status || result.status == ScanLogStatus::Damaged);
    Check((result.status == ScanLogStatus::Damaged) == !result.errorText.IsEmpty());
    Check(IsBeginningOf(loaded.fatVolumes, data.fatVolumes) && IsBeginningOf(loaded.ntfsRows, data.ntfsRows) &&
          IsBeginningOf(loaded.recognisedRows, data.recognisedRows));
    Check(loaded.tree.empty() || loaded.tree.size() == data.tree.size());
    if (result.status == ScanLogStatus::Ok)
        Check(Save(loaded) == Save(data));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const unsigned kBuffers[] = { 4096, 16, 17, 512 };
    if (size < 1)
        return 0;
    const uint32_t mode = (data[0] & 3u) % 3;
    const unsigned bufferSize = kBuffers[(data[0] >> 2) & 3u];
    const uint8_t* log = data + 1;
    const size_t logSize = size - 1;

    ScanLogData read;
    ScanLogResult result;
    const size_t largest = alloc_watch::Largest([&] { result = Load(log, logSize, mode, bufferSize, read); });
    // Every row, folder and text follows bytes of the input; none is sized by a count.
    Check(largest <= 128 * logSize + 64 * 1024);
    Check((result.status == ScanLogStatus::Ok) == (result.complete == ScanLogPart::Tables));
    Check((result.status == ScanLogStatus::Damaged) == !result.errorText.IsEmpty());
    for (size_t i = 0; i < read.tree.size(); ++i)
        Check(read.tree[i].parent < static_cast<int64_t>(i));
    CheckLoadReading(log, logSize, mode, result, read);
    if (result.status != ScanLogStatus::Ok)
        return 0;

    const std::vector<uint8_t> once = Save(read);
    ScanLogData again;
    Check(Load(once.data(), once.size(), mode, 4096, again).status == ScanLogStatus::Ok);
    Check(Save(again) == once);
    return 0;
}

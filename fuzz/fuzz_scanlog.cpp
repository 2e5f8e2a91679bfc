// Fuzzes the scan-log reader: any input ends in a status, never a crash, an overread or an
// allocation out of proportion to the input; the tree links only point back; and a log that
// reads completely is written and read again to the same bytes, so that reader and writer
// agree on every field.
// Input: byte 0 = (archive buffer-size choice << 2) | dialog mode (0 either, 1 Basic, 2 Deep);
// the rest is the log.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fsrecovery/pure/scan_log.h"
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
    if (result.status != ScanLogStatus::Ok)
        return 0;

    const std::vector<uint8_t> once = Save(read);
    ScanLogData again;
    Check(Load(once.data(), once.size(), mode, 4096, again).status == ScanLogStatus::Ok);
    Check(Save(again) == once);
    return 0;
}

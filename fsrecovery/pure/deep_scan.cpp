#include "fsrecovery/pure/deep_scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "storage/pure/bootsector.h"
#include "storage/pure/fs_names.h"

DeepScanSink::~DeepScanSink() = default;

void DeepScanSink::MftRecordFound(const uint8_t* raw, uint64_t sector)
{
    CarvedMftRecord record;
    if (DecodeCarvedMftRecord(raw, sector, record))
        MftRecord(record);
}

namespace {

// A failed block is read again in pieces of this many sectors.
constexpr uint32_t kRetrySectors = 64;

} // namespace

bool ReadFatBootHit(const uint8_t* s, uint64_t at, FatBootHit& hit)
{
    if (!HasBootSignature(s))
        return false;
    const BootText text = ClassifyBootText(s, false);
    if (text != BootText::Fat32 && text != BootText::Fat16)
        return false;
    hit = FatBootHit();
    hit.fat32 = text == BootText::Fat32;
    const FatBootFields f = ReadFatBootFields(s, hit.fat32);
    hit.sector = at;
    hit.sectorsPerFat = f.sectorsPerFat;
    hit.sectorsPerCluster = f.sectorsPerCluster;
    hit.reservedSectors = f.reservedSectors;
    hit.firstFat = at + f.reservedSectors;
    hit.secondFat = hit.firstFat + f.sectorsPerFat;
    const uint64_t afterFats = hit.secondFat + f.sectorsPerFat;
    uint64_t count = Le32At(s + 0x20);
    if (hit.fat32) {
        hit.rootStart = f.rootCluster;
    } else {
        hit.rootSectors = f.rootEntries / 16;
        hit.rootStart = afterFats;
        if (count == 0)
            count = Le16At(s + 0x13);
    }
    hit.cluster0Start = afterFats + hit.rootSectors - 2ull * f.sectorsPerCluster;
    hit.totalSectors = at + count;
    return true;
}

bool ReadFatDirCluster(const uint8_t* s, uint64_t at, FatDirCluster& row)
{
    if (s[0] != '.' || s[1] != ' ' || s[0x20] != '.' || s[0x21] != '.' || s[0x22] != ' ')
        return false;
    row = FatDirCluster();
    row.sector = at;
    row.self = MakeDword(s[0x1A], s[0x1B], s[0x14], s[0x15]);
    row.parent = MakeDword(s[0x3A], s[0x3B], s[0x34], s[0x35]);
    row.date = Le16At(s + 0x18);
    row.time = Le16At(s + 0x16);
    return true;
}

bool ReadNtfsBootHit(const uint8_t* s, uint64_t at, NtfsBootHit& hit)
{
    if (!HasBootSignature(s) || ClassifyBootText(s, false) != BootText::Ntfs)
        return false;
    const NtfsBootFields f = ReadNtfsBootFields(s);
    if (!IsValidSectorsPerCluster(f.sectorsPerCluster))
        return false;
    hit.sector = at;
    hit.sectorsPerCluster = f.sectorsPerCluster;
    hit.totalSectors = Le64At(s + 0x28);
    return true;
}

bool IsCarvableMftRecord(const uint8_t* s)
{
    return IsFileRecord(s, kSectorSize) && Le32At(s + 0x1C) == kMftRecordSize;
}

bool DecodeCarvedMftName(const uint8_t* raw, uint8_t* rec, CarvedMftName& out)
{
    if (!IsCarvableMftRecord(raw))
        return false;
    std::memcpy(rec, raw, kMftRecordSize);
    out.whole = ApplyNtfsFixup(rec, kMftRecordSize);
    const NtfsRecordHeader header = ReadNtfsRecordHeader(rec);
    out.flags = header.flags;
    out.numbered = header.numbered;
    out.recordNumber = header.number;
    out.sequence = header.sequence;
    out.baseReference = header.baseReference;
    out.name.clear();
    out.parent = 0;
    out.created = 0;
    static const int kNameSpaces[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    if (ReadPreferredMftRecordName(rec, kNameSpaces, 4, true, nullptr, &out.parent, &out.created, out.name,
                                   &out.look) != 1) {
        out.parent = 0;
        out.created = 0;
    }
    return true;
}

bool DecodeCarvedMftRecord(const uint8_t* raw, uint64_t sector, CarvedMftRecord& out)
{
    uint8_t rec[kMftRecordSize];
    CarvedMftName name;
    if (!DecodeCarvedMftName(raw, rec, name))
        return false;
    out = CarvedMftRecord();
    static_cast<CarvedMftHeader&>(out) = name;
    out.sector = sector;
    out.name = NameToCString(name.name);

    NtfsAttribute data;
    if (FindNtfsAttribute(rec, sizeof rec, kAttrData, true, data)) {
        if (!data.nonResident) {
            out.data = CarvedMftRecord::Data::Resident;
            out.dataSize = data.valueLength;
            out.residentOffset = data.valueOffset;
        } else {
            out.data = CarvedMftRecord::Data::NonResident;
            out.dataSize = data.dataSize;
            // Runs up to a malformed pair are kept: the data before it is still where they say.
            DecodeMappingPairs(rec + data.valueOffset, data.valueLength, out.runs);
        }
    }
    return true;
}

bool FindMftDataAttribute(uint8_t* record, uint64_t* size)
{
    ApplyNtfsFixup(record, kMftRecordSize);
    NtfsAttribute data;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, data))
        return false;
    *size = data.nonResident ? data.dataSize : data.valueLength;
    return true;
}

uint32_t ChooseNtfsSectorsPerCluster(const std::vector<NtfsBootHit>& boots, uint64_t volumeStart)
{
    for (const NtfsBootHit& b : boots) {
        // The backup lies in the volume's last sector: right after the counted sectors, or the
        // last of them where the count takes in the whole partition.
        const uint64_t d = b.sector > volumeStart ? b.sector - volumeStart : 0;
        const bool backup = d != 0 && (d == b.totalSectors || d + 1 == b.totalSectors);
        if (b.sector == volumeStart || backup)
            return b.sectorsPerCluster;
    }
    return boots.empty() ? 8 : boots.front().sectorsPerCluster;
}

uint32_t ReadSectorsInPieces(SectorSource& source, uint64_t first, uint32_t count, uint32_t piece, uint8_t* buf,
                             std::vector<uint8_t>& delivered)
{
    delivered.assign(count, 0);
    if (count == 0 || piece == 0)
        return 0;
    const uint32_t whole = uint32_t(std::min<size_t>(count, source.Read(first, count, buf) / kSectorSize));
    std::fill_n(delivered.begin(), whole, 1);
    uint32_t total = whole;
    for (uint32_t at = whole; at < count; at += piece) {
        const uint32_t n = std::min(piece, count - at);
        const size_t got = source.Read(first + at, n, buf + size_t(at) * kSectorSize);
        const uint32_t arrived = uint32_t(std::min<size_t>(n, got / kSectorSize));
        std::fill_n(delivered.begin() + at, arrived, 1);
        total += arrived;
    }
    return total;
}

namespace {

// Blocks read at once: one read of 4 MiB costs the system less than eight of 512 KiB.
constexpr uint32_t kBlocksPerRead = 8;
constexpr uint64_t kReadSectors = uint64_t(kBlocksPerRead) * kDeepScanBlockSectors;

// Waits for the other thread of a read ahead: yielding while the wait is short (a read or the
// examination of one takes about a millisecond), then sleeping, so that a long wait on a slower
// partner costs no processor. Locks and events would cost a call into the system for every read
// under some systems.
template <class Ready> void WaitUntil(Ready ready)
{
    const auto start = std::chrono::steady_clock::now();
    while (!ready()) {
        if (std::chrono::steady_clock::now() - start < std::chrono::microseconds(250))
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// One read of the range: `count` sectors at `first`, and which of them arrived.
struct RangeRead {
    uint64_t first = 0;
    uint32_t count = 0;
    uint8_t* data = nullptr;
    std::vector<uint8_t> delivered;
};

// Reads the range ahead of its examination, on a thread of its own, into a ring of buffers: the
// examination of one read and the next read overlap. Read k covers kReadSectors from first +
// k * kReadSectors, the last one to the end of its last whole block. The source is used by one
// thread at a time (a device handle has one position).
class ReadAhead {
public:
    ReadAhead(SectorSource& source, uint64_t first, uint64_t total)
        : m_source(source), m_first(first), m_total(total),
          m_storage(kRing * kReadSectors * kSectorSize + kBufferAlignment)
    {
        // Buffers on a page boundary: the system copies into them several times faster.
        const uintptr_t at = reinterpret_cast<uintptr_t>(m_storage.data());
        uint8_t* base = m_storage.data() + (kBufferAlignment - at % kBufferAlignment) % kBufferAlignment;
        for (size_t k = 0; k < kRing; ++k)
            m_ring[k].data = base + k * kReadSectors * kSectorSize;
        m_reads = (total + kReadSectors - 1) / kReadSectors;
    }
    ~ReadAhead()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next read, once it is done (the one taken before is given back); null after the last.
    // The reading begins with the first call.
    const RangeRead* Next()
    {
        if (!m_started && m_reads != 0) {
            m_started = true;
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                m_inline = true; // no thread to be had: each read when it is needed
            }
        }
        if (m_taken != 0)
            m_released.store(m_taken, std::memory_order_release);
        if (m_taken == m_reads)
            return nullptr;
        if (m_inline)
            ReadOne(m_taken);
        else
            WaitUntil([&] { return m_done.load(std::memory_order_acquire) > m_taken; });
        return &m_ring[m_taken++ % kRing];
    }

    // A read of the examination's own, between the reads ahead.
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf)
    {
        std::lock_guard<std::mutex> lock(m_sourceMutex);
        return m_source.Read(sector, count, buf);
    }

private:
    static constexpr size_t kRing = 4;
    static constexpr size_t kBufferAlignment = 4096;

    void Run()
    {
        for (uint64_t k = 0; k < m_reads; ++k) {
            WaitUntil([&] { return m_quit || k < m_released.load(std::memory_order_acquire) + kRing; });
            if (m_quit)
                return;
            ReadOne(k);
            m_done.store(k + 1, std::memory_order_release);
        }
    }

    void ReadOne(uint64_t k)
    {
        RangeRead& read = m_ring[k % kRing];
        read.first = m_first + k * kReadSectors;
        const uint64_t left = m_total - k * kReadSectors;
        // Whole blocks, the last one too; never past the last sector there is.
        const uint64_t blocks = (std::min(left, kReadSectors) + kDeepScanBlockSectors - 1) / kDeepScanBlockSectors;
        read.count = uint32_t(std::min<uint64_t>(blocks * kDeepScanBlockSectors, UINT64_MAX - read.first));
        std::lock_guard<std::mutex> lock(m_sourceMutex);
        ReadSectorsInPieces(m_source, read.first, read.count, kRetrySectors, read.data, read.delivered);
    }

    SectorSource& m_source;
    const uint64_t m_first, m_total;
    uint64_t m_reads = 0;
    std::vector<uint8_t> m_storage;
    RangeRead m_ring[kRing];
    std::mutex m_sourceMutex;
    std::atomic<uint64_t> m_done{ 0 };     // reads finished
    std::atomic<uint64_t> m_released{ 0 }; // reads the examination is done with
    uint64_t m_taken = 0;                  // reads handed to the examination
    std::atomic<bool> m_quit{ false };
    bool m_started = false;
    bool m_inline = false;
    std::thread m_thread;
};

class BlockScanner {
public:
    BlockScanner(ReadAhead& reader, DeepScanTargets targets, DeepScanSink& sink)
        : m_reader(reader), m_targets(targets), m_sink(sink)
    { }

    // Examines the delivered sectors of [from, from + count) of `read`; returns how many of the
    // first `counted` were delivered.
    uint32_t Examine(const RangeRead& read, uint32_t from, uint32_t count, uint32_t counted)
    {
        uint32_t examined = 0;
        for (uint32_t i = from; i < from + count; ++i) {
            if (!read.delivered[i])
                continue;
            examined += i - from < counted ? 1 : 0;
            ExamineSector(read, i);
        }
        return examined;
    }

private:
    void ExamineSector(const RangeRead& read, uint32_t i)
    {
        const uint8_t* s = read.data + size_t(i) * kSectorSize;
        const uint64_t at = read.first + i;
        // Most sectors are none of these: two bytes tell.
        const bool signature = HasBootSignature(s);
        if (m_targets.fat && signature) {
            FatBootHit boot;
            if (ReadFatBootHit(s, at, boot))
                m_sink.FatBoot(boot);
        }
        if (m_targets.ntfs && signature) {
            NtfsBootHit boot;
            if (ReadNtfsBootHit(s, at, boot))
                m_sink.NtfsBoot(boot);
        }
        if (m_targets.bootSectorsOnly)
            return;
        if (m_targets.fat && s[0] == '.') {
            FatDirCluster dir;
            if (ReadFatDirCluster(s, at, dir))
                m_sink.FatDirectory(dir);
        }
        if (!m_targets.ntfs || s[0] != 'F' || !IsCarvableMftRecord(s))
            return;
        // The record's second sector: in the buffer, or read on its own at the buffer's end.
        const uint8_t* raw = s;
        if (i + 1 >= read.count || !read.delivered[i + 1]) {
            if (m_reader.Read(at, 2, m_record) != kMftRecordSize)
                return;
            raw = m_record;
        }
        m_sink.MftRecordFound(raw, at);
    }

    ReadAhead& m_reader;
    DeepScanTargets m_targets;
    DeepScanSink& m_sink;
    uint8_t m_record[kMftRecordSize];
};

} // namespace

DeepScanOutcome RunDeepScan(SectorSource& source, uint64_t first, uint64_t end, DeepScanTargets targets,
                            DeepScanSink& sink, const StopFlag* stop, const ScanProgressFn& progress)
{
    DeepScanOutcome outcome;
    if (end <= first || (!targets.fat && !targets.ntfs))
        return outcome;
    const uint64_t total = end - first;
    ReadAhead reader(source, first, total);
    BlockScanner scanner(reader, targets, sink);
    uint64_t done = 0;
    while (!outcome.stopped && done < total) {
        // Polled before the read is waited for too: a stop before the scan begins reads nothing.
        if (progress)
            progress(done, total);
        if (stop != nullptr && stop->load()) {
            outcome.stopped = true;
            break;
        }
        const RangeRead* read = reader.Next();
        if (read == nullptr)
            break;
        // Block by block: every block is read whole, the last one too, as far as the device goes,
        // and what lies in its sectors past the range's end is found as well.
        for (uint32_t from = 0; from < read->count && done < total; from += kDeepScanBlockSectors) {
            if (from != 0) {
                if (progress)
                    progress(done, total);
                if (stop != nullptr && stop->load()) {
                    outcome.stopped = true;
                    break;
                }
            }
            const uint32_t block = std::min(kDeepScanBlockSectors, read->count - from);
            const uint32_t counted = uint32_t(std::min<uint64_t>(block, total - done));
            const uint32_t examined = scanner.Examine(*read, from, block, counted);
            outcome.examined += examined;
            outcome.unreadable += counted - examined;
            done += counted;
        }
    }
    if (progress && !outcome.stopped)
        progress(total, total);
    return outcome;
}

#include "sigrecovery/pure/carve_pass.h"

#include <algorithm>

CarveReadHost::~CarveReadHost() = default;

MediaAnswer MediaQuestion::Ask()
{
    if (m_always)
        return MediaAnswer::Retry;
    ++m_asked;
    const MediaAnswer a = m_host.MediaRemovedAnswer();
    if (a == MediaAnswer::RetryAlways) {
        m_always = true;
        return MediaAnswer::Retry;
    }
    return a;
}

namespace {

// Reads the sectors from `from` on one by one. Returns true when at least one sector was read;
// a sector that delivers part of itself ends the chunk's valid bytes there.
bool ReadSectorBySector(SectorSource& source, uint32_t from, CarveChunk& out)
{
    bool any = false;
    out.validBytes = size_t(out.sectorCount) * kSectorSize;
    for (uint32_t i = from; i < out.sectorCount; ++i) {
        uint8_t* p = out.data.data() + size_t(i) * kSectorSize;
        const size_t n = source.Read(out.firstSector + i, 1, p);
        if (n == kSectorSize) {
            out.unreadable[i] = 0;
            any = true;
        } else if (n == 0) {
            out.unreadable[i] = 1;
        } else {
            out.unreadable[i] = 0;
            out.validBytes = size_t(i) * kSectorSize + n;
            return true;
        }
    }
    return any;
}

} // namespace

bool ReadCarveChunk(SectorSource& source, uint64_t first, uint32_t count, MediaQuestion& question, CarveChunk& out)
{
    out.firstSector = first;
    out.sectorCount = count;
    out.data.resize(size_t(count) * kSectorSize); // every read zero-fills what it does not deliver
    out.unreadable.assign(count, 0);
    const size_t want = size_t(count) * kSectorSize;
    const size_t n = count == 0 ? 0 : source.Read(first, count, out.data.data());
    out.validBytes = n;
    if (n == want || (n % kSectorSize) != 0)
        return true; // whole, or the device ends inside

    const uint32_t good = static_cast<uint32_t>(n / kSectorSize);
    if (ReadSectorBySector(source, good, out) || good > 0)
        return true;

    switch (question.Ask()) {
    case MediaAnswer::Cancel:
        return false;
    case MediaAnswer::Retry:
    case MediaAnswer::RetryAlways:
        if (question.ReopenDevice())
            ReadSectorBySector(source, 0, out);
        return true;
    case MediaAnswer::Skip:
        return true;
    }
    return true;
}

uint32_t CarveChunkLength(const CarveRange& range, uint64_t s)
{
    if (s > range.end || range.chunkSectors == 0)
        return 0;
    uint64_t left = range.end - s + 1;
    if (left == 0)
        left = UINT64_MAX; // wraps only for the whole 64-bit range
    if (range.deviceBytes != 0) {
        const uint64_t deviceSectors = range.deviceBytes / kSectorSize + (range.deviceBytes % kSectorSize != 0);
        if (s >= deviceSectors)
            return 0;
        left = std::min(left, deviceSectors - s);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(left, range.chunkSectors));
}

bool CarveChunkReader::Next(CarveChunk& out)
{
    if (m_done)
        return false;
    const uint32_t len = CarveChunkLength(m_range, m_next);
    if (len == 0) {
        m_done = true;
        return false;
    }
    if (!ReadCarveChunk(m_source, m_next, len, m_question, out)) {
        m_done = m_cancelled = true;
        return false;
    }
    // Even an unreadable last sector ends where the device does.
    if (m_range.deviceBytes != 0 && m_range.deviceBytes / kSectorSize - m_next < len)
        out.validBytes =
            std::min<size_t>(out.validBytes, static_cast<size_t>(m_range.deviceBytes - m_next * kSectorSize));
    if (out.validBytes < size_t(len) * kSectorSize)
        m_done = true; // the device ends here
    const uint64_t after = m_next + len;
    if (after < m_next)
        m_done = true; // wrapped: nothing after
    m_next = after;
    return true;
}

bool FeedCarveChunk(CarveEngine& engine, const CarveChunk& chunk)
{
    return engine.Feed(chunk.data.data(), chunk.sectorCount, chunk.validBytes, chunk.unreadable.data());
}

CarvePassEnd CarvePassOutcome(const CarveEngine& engine, bool cancelled)
{
    if (engine.SinkFailed())
        return CarvePassEnd::SinkFailed;
    if (cancelled)
        return CarvePassEnd::Cancelled;
    if (engine.Stopped())
        return CarvePassEnd::Stopped;
    return CarvePassEnd::Completed;
}

CarvePassEnd RunCarvePass(SectorSource& source, const CarveRange& range, CarveEngine& engine, MediaQuestion& question,
                          const StopFlag* stop, std::atomic<uint64_t>* progress)
{
    CarveChunkReader reader(source, range, question);
    CarveChunk chunk;
    engine.Begin(range.start);
    bool stopped = false;
    while (!(stopped = IsStopped(stop)) && reader.Next(chunk)) {
        if (progress)
            progress->store(chunk.firstSector + chunk.sectorCount);
        if (!FeedCarveChunk(engine, chunk))
            break;
    }
    engine.Finish();
    if (stopped)
        return engine.SinkFailed() ? CarvePassEnd::SinkFailed : CarvePassEnd::Stopped;
    return CarvePassOutcome(engine, reader.Cancelled());
}

// One carving pass over a sector range: reading the range in chunks (with the sector-by-sector
// fallback and the "storage device is no longer available" question) and feeding the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "sigrecovery/pure/carve_engine.h"
#include "storage/pure/sector_source.h"

// The chunk the scans read: 512 sectors (256 KiB).
constexpr uint32_t kCarveChunkSectors = 512;

// The answers of the media-removed question.
enum class MediaAnswer {
    Cancel,      // "Cancel Searching"
    Retry,       // "Retry and Continue..."
    RetryAlways, // the same with "Apply this action until the searching completes" set
    Skip,        // the question closed any other way: go on without the unread sectors
};

// What a pass needs from its owner besides the bytes.
class CarveReadHost {
public:
    virtual ~CarveReadHost();
    // The answer to the media-removed question, asked modally on the calling thread.
    virtual MediaAnswer MediaRemovedAnswer() = 0;
    // Closes and opens the device again before a retry; false when it cannot be opened.
    virtual bool ReopenDevice() { return true; }
};

// The question as one pass asks it: once the answer was RetryAlways, later failures of the same
// pass retry at once without asking.
class MediaQuestion {
public:
    explicit MediaQuestion(CarveReadHost& host) : m_host(host) { }
    MediaAnswer Ask(); // Cancel, Retry or Skip
    bool ReopenDevice() { return m_host.ReopenDevice(); }
    unsigned AskedCount() const { return m_asked; }

private:
    CarveReadHost& m_host;
    bool m_always = false;
    unsigned m_asked = 0;
};

struct CarveChunk {
    uint64_t firstSector = 0;
    uint32_t sectorCount = 0;
    size_t validBytes = 0;           // bytes that exist: all, or fewer where the device ends
    std::vector<uint8_t> data;       // sectorCount * 512 bytes; unread sectors are zero
    std::vector<uint8_t> unreadable; // one flag per sector
};

// Reads sectors [first, first + count). A chunk that does not read whole is read again sector by
// sector: only the sectors that cannot be read are marked and left zero; a sector that delivers
// part of itself is where the device ends. When nothing of the chunk can be read the question is
// asked: Retry reopens the device and reads once more. False: the user cancelled.
bool ReadCarveChunk(SectorSource& source, uint64_t first, uint32_t count, MediaQuestion& question, CarveChunk& out);

struct CarveRange {
    uint64_t start = 0;       // first sector
    uint64_t end = 0;         // last sector, inclusive
    uint64_t deviceBytes = 0; // size of the device; 0 unknown
    uint32_t chunkSectors = kCarveChunkSectors;
};

// Sectors of the chunk that starts at s: at most chunkSectors, never past the range's end or the
// device's; 0 when s is beyond either.
uint32_t CarveChunkLength(const CarveRange& range, uint64_t s);

// The chunks of a range, in order.
class CarveChunkReader {
public:
    CarveChunkReader(SectorSource& source, const CarveRange& range, MediaQuestion& question)
        : m_source(source), m_range(range), m_question(question), m_next(range.start)
    { }
    // The next chunk into out; false at the end of the range or the device, or when cancelled.
    bool Next(CarveChunk& out);
    bool Cancelled() const { return m_cancelled; }

private:
    SectorSource& m_source;
    CarveRange m_range;
    MediaQuestion& m_question;
    uint64_t m_next;
    bool m_done = false;
    bool m_cancelled = false;
};

enum class CarvePassEnd { Completed, Stopped, Cancelled, SinkFailed };

// Feeds one chunk; false when the pass ends with it (see Outcome).
bool FeedCarveChunk(CarveEngine& engine, const CarveChunk& chunk);
// How a pass ended, from its reader's and engine's state (after engine.Finish()).
CarvePassEnd CarvePassOutcome(const CarveEngine& engine, bool cancelled);

// A whole pass on the calling thread: stop is polled before every chunk (the engine polls it
// before every sector); progress (may be null) receives the next sector to read after each chunk.
// Every pending item is closed whatever the way out.
CarvePassEnd RunCarvePass(SectorSource& source, const CarveRange& range, CarveEngine& engine, MediaQuestion& question,
                          const StopFlag* stop, std::atomic<uint64_t>* progress);

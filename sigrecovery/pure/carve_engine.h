// The carving engine: finds files by their header bytes in a stream of sectors.
//
// The engine is fed sector-aligned blocks in device order (with the number of bytes a read
// really delivered and which sectors could not be read) and reports items as they open, as their
// bytes pass and as they close. At every sector start it probes only the distinct signature
// positions of its set, and at each position only the records whose first byte equals the byte
// found there, in list order.
//
// An item ends at the first of: the next header (a sector where any signature matched), its
// start plus its maximum size, the end of the scanned data. Positions are absolute byte
// numbers on the device; an item's end is exclusive. Events come in position order: at one
// position, closes (by size first, then by header or end, oldest first) come before opens.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "cstring.h"
#include "sigrecovery/pure/filetype.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/stop_flag.h"

// The numbered name of a found item: prefix, the number with at least five digits (zero
// filled), suffix, ".", and the extension without one leading dot ("JPG", ".JPG" -> JPG00007.JPG).
CString MakeNumberedFileName(const CString& prefix, const CString& extension, const CString& suffix, uint64_t number);

// The active signature set of one pass, indexed for the scan.
class SignatureSet {
public:
    struct Record {
        FileType1 type;
        uint16_t pos = 0;   // 0-based position of the first byte inside a sector
        uint8_t length = 0; // 1..50
        uint8_t bytes[kMaxSignatureBytes] = {};
        uint64_t maxSize = 0; // above 0
    };

    SignatureSet() = default;
    // Keeps the list's order. Records outside the format (offset not 1..512, length not 1..50,
    // maximum size not above 0, bytes above 255) are refused: a size of 0 would let an item
    // grow without bound.
    explicit SignatureSet(const std::vector<FileType1>& list);

    size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    size_t RefusedCount() const { return m_refused; }
    const Record& Get(size_t i) const { return m_records[i]; }

    // The distinct positions in order of first appearance, each with its candidates by first
    // byte: Candidates(k, b) lists record indices in list order.
    size_t ProbeCount() const { return m_probes.size(); }
    uint16_t ProbePos(size_t k) const { return m_probes[k].pos; }
    const int32_t* CandidatesBegin(size_t k, uint8_t b) const { return m_candidates.data() + m_probes[k].first[b]; }
    const int32_t* CandidatesEnd(size_t k, uint8_t b) const { return m_candidates.data() + m_probes[k].first[b + 1]; }

private:
    struct Probe {
        uint16_t pos = 0;
        uint32_t first[257] = {};
    };
    std::vector<Record> m_records;
    std::vector<Probe> m_probes;
    std::vector<int32_t> m_candidates;
    size_t m_refused = 0;
};

// How the engine names an item when it opens.
class CarveNamer {
public:
    virtual ~CarveNamer();
    virtual CString Name(const FileType1& type) = 0;
};

// Signature and Video Search: numbers run per type (key of the extension) and go on from pass to
// pass; the name is the key, the number and the key as extension, e.g. JPG00001.JPG.
class TypeNumbering : public CarveNamer {
public:
    CString Name(const FileType1& type) override;
    // The last number given to a type (its key); 0 before the first.
    uint64_t Last(const CString& key) const;

private:
    std::map<std::wstring, uint64_t> m_last;
};

// Photo Search: the hit number of the pass after a prefix ("GNKX" or "THKX"), the extension as
// stored, e.g. GNKX00001.JPG; numbers start at 1 in every pass.
class HitNumbering : public CarveNamer {
public:
    explicit HitNumbering(const CString& prefix) : m_prefix(prefix) { }
    CString Name(const FileType1& type) override;

private:
    CString m_prefix;
    uint64_t m_hits = 0;
};

// CutShort: the pass stopped on a sink failure before the item received its bytes up to its own
// end (its size, the next header): the write that failed was its own or another item's, or the
// failure was a create or a close.
enum class CarveClose : uint8_t { NextHeader, MaxSize, EndOfData, CutShort };

enum class CarvePolicy : uint8_t {
    AllMatches, // Signature and Video Search: every matching record of every position opens an item
    FirstMatch, // Photo Search: the first full match ends the sector
};

struct CarveItem {
    uint64_t id = 0;    // 0, 1, ... in opening order within the engine's life
    int32_t record = 0; // index in the signature set
    CString extension;  // the record's extension text as stored
    CString name;       // numbered name; a sink may change it when it opens the item
    uint64_t start = 0; // absolute byte of the header sector
    uint64_t limit = 0; // start + maximum size (saturated)
};

// Receives the engine's events. Returning false from any call stops the pass (a write error, a
// full disk); the engine then closes what is pending when Finish is called, each at the end of what
// it received: with CutShort, unless that was its own end (EndOfData then).
class CarveSink {
public:
    virtual ~CarveSink();
    virtual bool OnOpen(CarveItem& item) = 0;
    // The item's next n bytes, in order, from its start; unreadable sectors arrive as zeros.
    virtual bool OnData(const CarveItem& item, const uint8_t* data, size_t n) { return true; }
    virtual bool OnClose(const CarveItem& item, uint64_t end, CarveClose why) = 0;
};

class CarveEngine {
public:
    // stop may be null; when it is set before a sector, that sector and all later ones are not
    // scanned.
    CarveEngine(const SignatureSet& set, CarvePolicy policy, CarveNamer& namer, CarveSink& sink,
                const StopFlag* stop = nullptr);
    CarveEngine(const CarveEngine&) = delete;
    CarveEngine& operator=(const CarveEngine&) = delete;

    // The first sector of the data. Call once before the first Feed.
    void Begin(uint64_t firstSector);
    // The next sectorCount sectors, continuing where the last feed ended. data holds
    // sectorCount * 512 bytes of which the first validBytes were delivered; fewer than all
    // means the data ends inside this block. unreadable (null: none) has one flag per sector:
    // non-zero sectors are zero-filled, never matched, and no signature reaches into them.
    // Returns false once the engine is stopped (flag, sink) or the data has ended.
    bool Feed(const uint8_t* data, uint32_t sectorCount, size_t validBytes, const uint8_t* unreadable);
    // The end of the data or of the pass: closes every pending item. Idempotent.
    void Finish();

    bool Stopped() const { return m_stopped; }
    bool SinkFailed() const { return m_sinkFailed; }
    // The absolute byte where scanning ended (the start of the first sector not scanned).
    uint64_t ScannedEnd() const { return m_scanEnd; }
    size_t PendingCount() const { return m_pending.size(); }

private:
    bool CheckStop();
    // Scans one sector whose first byte is at absolute position `at`; `reach` bytes from sec are
    // valid (up to 512 of the sector plus the start of the next). Returns false to stop.
    bool ScanSector(const uint8_t* sec, size_t reach, uint64_t at);
    // Hands the bytes up to absolute position `to` to the pending items, closing those whose
    // limit is reached; base holds the bytes from absolute position baseAt on.
    bool EmitTo(uint64_t to, const uint8_t* base, uint64_t baseAt);
    bool CloseAll(uint64_t at, CarveClose why);
    bool ProcessTail(size_t extraReach);

    const SignatureSet& m_set;
    CarvePolicy m_policy;
    CarveNamer& m_namer;
    CarveSink& m_sink;
    const StopFlag* m_stop;

    std::vector<CarveItem> m_pending; // oldest first
    std::vector<int32_t> m_matches;   // of the current sector
    uint64_t m_nextId = 0;
    uint64_t m_nextSector = 0; // of the next feed
    uint64_t m_scanEnd = 0;
    uint64_t m_emitPos = 0;
    bool m_begun = false;
    bool m_ended = false;
    bool m_stopped = false;
    bool m_sinkFailed = false;
    bool m_finished = false;
    // After an OnData failed: the pending items before this index took the bytes up to m_takenTo;
    // the others, and all of them after any other failure, have theirs up to m_emitPos.
    size_t m_cutFrom = 0;
    uint64_t m_takenTo = 0;
    // The last position where a header was found: the items open before it end there.
    uint64_t m_headerAt = UINT64_MAX;
    // The last full, readable sector of the previous feed, waiting for the first bytes of the
    // next one so that a signature running past the block's end is compared with real bytes.
    bool m_haveTail = false;
    uint64_t m_tailAt = 0;
    // Where the bytes of the block being scanned are: emission reads from here.
    const uint8_t* m_base = nullptr;
    uint64_t m_baseAt = 0;
    uint8_t m_tail[kSectorSize + 64] = {};
};

// Where the decoders get their sectors from. Everything that parses on-disk structures takes a
// SectorSource, so the same code reads a device under Windows, an image file in the native
// tests and a byte buffer in the fuzzers. Every source is read-only by construction.
#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

constexpr uint32_t kSectorSize = 512;
// The largest count one read accepts: its byte count must fit in 32 bits.
constexpr uint32_t kMaxSectorsPerRead = 0x7FFFFF;

class SectorSource {
public:
    virtual ~SectorSource();
    // Reads `count` sectors starting at `sector` into buf, which holds count * 512 bytes.
    // Returns the number of bytes delivered. Bytes the medium did not deliver (a short read
    // at its end) are zero-filled, never left as they were. 0 means failure: nothing was
    // delivered (read at or past the end, I/O error, count 0 or above kMaxSectorsPerRead) and
    // the whole buffer is zero-filled; callers must not parse it.
    virtual size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) = 0;

    // One whole sector; true when at least one byte of it was delivered.
    bool ReadSector(uint64_t sector, uint8_t* buf) { return Read(sector, 1, buf) != 0; }
};

// Byte offset of a sector, or false when it does not fit in 64 bits.
bool SectorToOffset(uint64_t sector, uint64_t* offset);
// Checks count and zero-fills; the common start of every Read. False when count is invalid.
bool BeginSectorRead(uint32_t count, uint8_t* buf);
// For a reader that fills the buffer itself: checks count without filling, and afterwards
// zero-fills what the read did not deliver (`got` bytes were), returning got. A buffer is so
// written once, not cleared first and then read into.
bool CheckSectorRead(uint32_t count, const uint8_t* buf);
size_t FinishSectorRead(uint32_t count, uint8_t* buf, size_t got);

// Sectors from bytes in memory: the buffer of a fuzzer input, or an image a test builds.
// The view form does not copy; the data must outlive the source.
class MemorySectorSource : public SectorSource {
public:
    MemorySectorSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) { }
    explicit MemorySectorSource(std::vector<uint8_t> bytes)
        : m_own(std::move(bytes)), m_data(m_own.data()), m_size(m_own.size())
    { }
    MemorySectorSource(const MemorySectorSource&) = delete;
    MemorySectorSource& operator=(const MemorySectorSource&) = delete;
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override;
    uint64_t SizeBytes() const { return m_size; }

private:
    std::vector<uint8_t> m_own;
    const uint8_t* m_data;
    size_t m_size;
};

// Sectors from an image file through the C++ library, opened for reading only. For the native
// tests and tools; the program itself reads devices through the Windows reader.
class FileSectorSource : public SectorSource {
public:
    explicit FileSectorSource(const std::string& path);
    bool IsOpen() const { return m_open; }
    uint64_t SizeBytes() const { return m_size; }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override;

private:
    std::ifstream m_file;
    bool m_open = false;
    uint64_t m_size = 0;
};

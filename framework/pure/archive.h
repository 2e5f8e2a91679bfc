// Binary archives: the byte-stream interface, the in-memory stream and CArchive, the
// serializer our scan logs are written with. All values are little-endian on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "cstring.h"
#include "exceptions.h"

// What CArchive reads from and writes to. CMemFile keeps the bytes in memory; CFile (Windows
// only) is a real file. Failures throw CFileException or CMemoryException by pointer.
class CByteStream {
public:
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    virtual ~CByteStream() = default;
    // Returns the number of bytes read: fewer than asked only at the end of the data.
    virtual unsigned Read(void* buf, unsigned count) = 0;
    // Writes everything or throws.
    virtual void Write(const void* buf, unsigned count) = 0;
    virtual uint64_t Seek(int64_t offset, unsigned from) = 0;
    virtual uint64_t GetPosition() const = 0;
    virtual uint64_t GetLength() const = 0;
    virtual void Flush() { }
    virtual void Close() { }

    void SeekToBegin() { Seek(0, begin); }
    uint64_t SeekToEnd() { return Seek(0, end); }
};

class CMemFile : public CByteStream {
public:
    CMemFile() = default;
    CMemFile(const void* data, size_t size); // starts at position 0 over a copy of the data

    unsigned Read(void* buf, unsigned count) override;
    void Write(const void* buf, unsigned count) override;
    uint64_t Seek(int64_t offset, unsigned from) override;
    uint64_t GetPosition() const override { return m_pos; }
    uint64_t GetLength() const override { return m_data.size(); }
    void SetLength(uint64_t length);

    // Writing past this many bytes fails with CFileException::diskFull, as a full disk would.
    void SetWriteLimit(uint64_t limit) { m_limit = limit; }

    const std::vector<uint8_t>& GetData() const { return m_data; }
    std::vector<uint8_t> Detach();

private:
    std::vector<uint8_t> m_data;
    uint64_t m_pos = 0;
    uint64_t m_limit = UINT64_MAX;
};

class CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2 };

    // The stream must outlive the archive; the archive never closes it.
    CArchive(CByteStream* stream, unsigned mode, unsigned bufferSize = 4096);
    // A storing archive writes what is buffered; errors here are swallowed (destructors must
    // not throw), so call Close() to see them.
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_loading; }
    bool IsStoring() const { return !m_loading; }
    CByteStream* GetFile() const { return m_file; }

    // Bytes left to read: what is buffered plus what the stream still holds. Callers bound
    // counts read from the archive by this before allocating. The stream is asked once; after
    // that the archive counts what it takes, so asking per value costs no call to a file.
    uint64_t GetRemaining() const;

    // Raw bytes. Read returns fewer than asked only at the end of the data.
    unsigned Read(void* buf, unsigned count);
    void Write(const void* buf, unsigned count);

    // Storing: writes the buffer to the stream. Loading: moves the stream back to the first
    // byte not yet consumed, so the stream can be used directly again.
    void Flush();
    void Close(); // Flush, then detach from the stream
    void Abort(); // detach without writing anything

    // Integers in their own size, bool as one byte, float and double as IEEE bits; wchar_t is
    // one 16-bit unit. Use fixed-width types in anything archived: long is 4 bytes on Windows
    // and 8 natively.
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>> CArchive& operator<<(T value)
    {
        if constexpr (std::is_same_v<T, bool>) {
            WriteLE(value ? 1u : 0u, 1);
        } else if constexpr (std::is_same_v<T, wchar_t>) {
            WriteLE(static_cast<uint64_t>(static_cast<uint32_t>(value)) & 0xFFFF, 2);
        } else if constexpr (std::is_floating_point_v<T>) {
            static_assert(sizeof(T) == 4 || sizeof(T) == 8, "float or double only");
            using U = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
            U bits;
            static_assert(sizeof(bits) == sizeof(value));
            std::memcpy(&bits, &value, sizeof bits);
            WriteLE(bits, sizeof bits);
        } else {
            WriteLE(static_cast<uint64_t>(value), sizeof(T));
        }
        return *this;
    }
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>> CArchive& operator>>(T& value)
    {
        if constexpr (std::is_same_v<T, bool>) {
            value = ReadLE(1) != 0;
        } else if constexpr (std::is_same_v<T, wchar_t>) {
            value = static_cast<wchar_t>(ReadLE(2));
        } else if constexpr (std::is_floating_point_v<T>) {
            static_assert(sizeof(T) == 4 || sizeof(T) == 8, "float or double only");
            using U = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
            U bits = static_cast<U>(ReadLE(sizeof(U)));
            std::memcpy(&value, &bits, sizeof bits);
        } else {
            value = static_cast<T>(ReadLE(sizeof(T)));
        }
        return *this;
    }

    // Strings in the archive form: FF FE FF, the length in UTF-16 units (1, 3, 7 or 15 bytes
    // of prefix), then the units, little-endian, no terminator. Loading also accepts the narrow
    // form (no FF FE marker, one Latin-1 byte per character).
    CArchive& operator<<(const CString& s);
    CArchive& operator<<(const wchar_t* s) { return *this << CString(s); }
    CArchive& operator>>(CString& s);

    // Text lines: WriteString writes the UTF-16 units alone (add L"\r\n" for a line);
    // ReadString reads up to and including the next line feed and drops it together with a
    // carriage return before it. Returns false when no data is left. crLf, when given, says
    // whether the line ended in CR LF (false for a lone LF or for the end of the data).
    void WriteString(const CString& s);
    bool ReadString(CString& s, bool* crLf = nullptr);

    // Element counts: 16 bits, or FFFF then 32 bits, or FFFF FFFFFFFF then 64 bits.
    void WriteCount(uint64_t count);
    uint64_t ReadCount();

private:
    void CheckOpen(bool forLoading) const;
    void WriteLE(uint64_t value, unsigned size);
    uint64_t ReadLE(unsigned size);
    void ReadExact(void* buf, size_t count);
    // Makes at least 'want' bytes available in the buffer if the stream has them; returns how
    // many are available (may be fewer at the end of the data).
    size_t Fill(size_t want);
    void ReadUnits(uint64_t count, int charSize, CString& s);

    CByteStream* m_file;
    bool m_loading;
    unsigned m_mode;
    std::vector<uint8_t> m_buf;
    size_t m_cur = 0; // loading: next unread byte; storing: bytes buffered
    size_t m_end = 0; // loading: end of the valid bytes
    // Loading: the stream's bytes after its position, once GetRemaining has asked for them.
    mutable bool m_streamLeftKnown = false;
    mutable uint64_t m_streamLeft = 0;
    void TakenFromStream(unsigned count);
};

// Writes a CString's text as UTF-16 units; with 32-bit wchar_t, characters above U+FFFF
// become surrogate pairs (and invalid values U+FFFD).
void AppendUtf16(const CString& s, std::vector<uint16_t>& out);

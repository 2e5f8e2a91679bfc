#include "archive.h"

#include <algorithm>
#include <climits>
#include <new>

// ---------------------------------------------------------------------------------------------
// CMemFile

CMemFile::CMemFile(const void* data, size_t size)
{
    if (size)
        m_data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}

unsigned CMemFile::Read(void* buf, unsigned count)
{
    if (m_pos >= m_data.size() || count == 0)
        return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, m_data.size() - m_pos));
    std::memcpy(buf, m_data.data() + m_pos, n);
    m_pos += n;
    return static_cast<unsigned>(n);
}

void CMemFile::Write(const void* buf, unsigned count)
{
    if (count == 0)
        return;
    uint64_t end = m_pos + count;
    bool full = end > m_limit;
    if (full)
        end = std::max(m_limit, m_pos);
    // The vector must be able to hold the end position on this platform.
    if (end > static_cast<uint64_t>(SIZE_MAX / 2))
        AfxThrowMemoryException();
    if (end > m_data.size()) {
        try {
            m_data.resize(static_cast<size_t>(end));
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
    }
    if (end > m_pos) {
        std::memcpy(m_data.data() + m_pos, buf, static_cast<size_t>(end - m_pos));
        m_pos = end;
    }
    if (full)
        AfxThrowFileException(CFileException::diskFull, 112);
}

uint64_t CMemFile::Seek(int64_t offset, unsigned from)
{
    int64_t base = from == begin ? 0
        : from == current        ? static_cast<int64_t>(m_pos)
                                 : static_cast<int64_t>(m_data.size());
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset) || from > end)
        AfxThrowFileException(CFileException::badSeek, 131);
    m_pos = static_cast<uint64_t>(base + offset);
    return m_pos;
}

void CMemFile::SetLength(uint64_t length)
{
    if (length > static_cast<uint64_t>(SIZE_MAX / 2))
        AfxThrowMemoryException();
    try {
        m_data.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

std::vector<uint8_t> CMemFile::Detach()
{
    std::vector<uint8_t> out;
    out.swap(m_data);
    m_pos = 0;
    return out;
}

// ---------------------------------------------------------------------------------------------
// UTF-16

void AppendUtf16(const CString& s, std::vector<uint16_t>& out)
{
    const wchar_t* p = s.GetString();
    int n = s.GetLength();
    out.reserve(out.size() + static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(p[i]);
        if (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<uint16_t>(c));
        } else if (c <= 0xFFFF) {
            out.push_back(static_cast<uint16_t>(c));
        } else if (c <= 0x10FFFF) {
            c -= 0x10000;
            out.push_back(static_cast<uint16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<uint16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(0xFFFD);
        }
    }
}

namespace {

// With 32-bit wchar_t a surrogate pair read from UTF-16 is one character; unpaired halves
// stay as they are so that writing the text back gives the same units. Returns the new length.
size_t JoinSurrogates(wchar_t* w, size_t n)
{
    if (sizeof(wchar_t) != 4)
        return n;
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(w[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            uint32_t d = static_cast<uint32_t>(w[i + 1]);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                w[o++] = static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
                ++i;
                continue;
            }
        }
        w[o++] = w[i];
    }
    return o;
}

std::vector<uint8_t> UnitsToBytes(const std::vector<uint16_t>& units)
{
    std::vector<uint8_t> bytes(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(units[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    return bytes;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CArchive

CArchive::CArchive(CByteStream* stream, unsigned mode, unsigned bufferSize)
    : m_file(stream), m_loading((mode & load) != 0), m_mode(mode)
{
    // Integers are read from the buffer in one piece, so it holds at least the largest.
    m_buf.resize(std::max(bufferSize, 16u));
}

CArchive::~CArchive()
{
    if (m_file && !m_loading && !(m_mode & bNoFlushOnDelete)) {
        try {
            Flush();
        } catch (CException* e) {
            e->Delete();
        } catch (...) { }
    }
}

void CArchive::CheckOpen(bool forLoading) const
{
    if (!m_file)
        AfxThrowArchiveException(CArchiveException::genericException);
    if (forLoading && !m_loading)
        AfxThrowArchiveException(CArchiveException::writeOnly);
    if (!forLoading && m_loading)
        AfxThrowArchiveException(CArchiveException::readOnly);
}

uint64_t CArchive::GetRemaining() const
{
    if (!m_file || !m_loading)
        return 0;
    if (!m_streamLeftKnown) {
        uint64_t len = m_file->GetLength(), pos = m_file->GetPosition();
        m_streamLeft = len > pos ? len - pos : 0;
        m_streamLeftKnown = true;
    }
    return (m_end - m_cur) + m_streamLeft;
}

void CArchive::TakenFromStream(unsigned count)
{
    m_streamLeft -= std::min<uint64_t>(count, m_streamLeft);
}

size_t CArchive::Fill(size_t want)
{
    if (m_end - m_cur >= want)
        return m_end - m_cur;
    if (m_cur) {
        std::memmove(m_buf.data(), m_buf.data() + m_cur, m_end - m_cur);
        m_end -= m_cur;
        m_cur = 0;
    }
    while (m_end < want) {
        unsigned n = m_file->Read(m_buf.data() + m_end, static_cast<unsigned>(m_buf.size() - m_end));
        TakenFromStream(n);
        if (n == 0)
            break;
        m_end += n;
    }
    return m_end;
}

unsigned CArchive::Read(void* buf, unsigned count)
{
    CheckOpen(true);
    uint8_t* dst = static_cast<uint8_t*>(buf);
    unsigned done = 0;
    while (done < count) {
        if (m_cur == m_end) {
            unsigned left = count - done;
            if (left >= m_buf.size()) {
                // Large reads bypass the buffer.
                unsigned n = m_file->Read(dst + done, left);
                TakenFromStream(n);
                if (n == 0)
                    break;
                done += n;
                continue;
            }
            if (Fill(1) == 0)
                break;
        }
        size_t n = std::min<size_t>(m_end - m_cur, count - done);
        std::memcpy(dst + done, m_buf.data() + m_cur, n);
        m_cur += n;
        done += static_cast<unsigned>(n);
    }
    return done;
}

void CArchive::ReadExact(void* buf, size_t count)
{
    uint8_t* dst = static_cast<uint8_t*>(buf);
    while (count) {
        unsigned chunk = static_cast<unsigned>(std::min<size_t>(count, 1u << 30));
        if (Read(dst, chunk) != chunk)
            AfxThrowArchiveException(CArchiveException::endOfFile);
        dst += chunk;
        count -= chunk;
    }
}

void CArchive::Write(const void* buf, unsigned count)
{
    CheckOpen(false);
    if (count > m_buf.size() - m_cur)
        Flush();
    if (count >= m_buf.size()) {
        m_file->Write(buf, count);
        return;
    }
    std::memcpy(m_buf.data() + m_cur, buf, count);
    m_cur += count;
}

void CArchive::Flush()
{
    if (!m_file)
        return;
    if (m_loading) {
        // Give back what was read ahead, so the stream stands where the archive does.
        if (m_end > m_cur)
            m_file->Seek(-static_cast<int64_t>(m_end - m_cur), CByteStream::current);
        m_cur = m_end = 0;
        m_streamLeftKnown = false;
        return;
    }
    size_t n = m_cur;
    m_cur = 0; // a failed write is reported once, not again from the destructor
    if (n)
        m_file->Write(m_buf.data(), static_cast<unsigned>(n));
}

void CArchive::Close()
{
    if (!m_file)
        return;
    Flush();
    m_file = nullptr;
}

void CArchive::Abort()
{
    m_file = nullptr;
    m_cur = m_end = 0;
}

void CArchive::WriteLE(uint64_t value, unsigned size)
{
    uint8_t b[8];
    for (unsigned i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(value >> (8 * i));
    Write(b, size);
}

uint64_t CArchive::ReadLE(unsigned size)
{
    CheckOpen(true);
    if (Fill(size) < size)
        AfxThrowArchiveException(CArchiveException::endOfFile);
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i)
        v |= static_cast<uint64_t>(m_buf[m_cur + i]) << (8 * i);
    m_cur += size;
    return v;
}

CArchive& CArchive::operator<<(const CString& s)
{
    std::vector<uint16_t> units;
    AppendUtf16(s, units);
    uint64_t n = units.size();
    WriteLE(0xFF, 1);
    WriteLE(0xFFFE, 2); // the marker of a UTF-16 string
    if (n < 0xFF) {
        WriteLE(n, 1);
    } else if (n < 0xFFFE) {
        WriteLE(0xFF, 1);
        WriteLE(n, 2);
    } else if (n < 0xFFFFFFFF) {
        WriteLE(0xFF, 1);
        WriteLE(0xFFFF, 2);
        WriteLE(n, 4);
    } else {
        WriteLE(0xFF, 1);
        WriteLE(0xFFFF, 2);
        WriteLE(0xFFFFFFFF, 4);
        WriteLE(n, 8);
    }
    std::vector<uint8_t> bytes = UnitsToBytes(units);
    for (size_t i = 0; i < bytes.size(); i += 1u << 30)
        Write(bytes.data() + i, static_cast<unsigned>(std::min<size_t>(bytes.size() - i, 1u << 30)));
    return *this;
}

CArchive& CArchive::operator>>(CString& s)
{
    CheckOpen(true);
    // Past a 16-bit length of FFFF come 32 bits, and past a 32-bit FFFFFFFF come 64 bits.
    auto longForm = [this](uint64_t word) {
        if (word < 0xFFFF)
            return word;
        uint64_t dword = ReadLE(4);
        return dword < 0xFFFFFFFF ? dword : ReadLE(8);
    };
    int charSize = 1;
    uint64_t len = ReadLE(1);
    if (len == 0xFF) {
        uint64_t word = ReadLE(2);
        if (word == 0xFFFE) {
            charSize = 2;
            len = ReadLE(1);
            if (len == 0xFF)
                len = longForm(ReadLE(2));
        } else {
            len = longForm(word);
        }
    }
    if (len > static_cast<uint64_t>(INT_MAX))
        AfxThrowArchiveException(CArchiveException::badIndex);
    // Check the claim against the data before allocating anything for it.
    if (len * static_cast<uint64_t>(charSize) > GetRemaining())
        AfxThrowArchiveException(CArchiveException::endOfFile);
    ReadUnits(len, charSize, s);
    return *this;
}

void CArchive::ReadUnits(uint64_t count, int charSize, CString& s)
{
    // The units go straight into the new string's buffer: one allocation a text, which is what
    // loading a log of millions of texts costs most.
    CString text;
    wchar_t* out = text.GetBufferSetLength(static_cast<int>(count));
    size_t o = 0;
    uint8_t chunk[4096];
    uint64_t left = count * static_cast<uint64_t>(charSize);
    while (left) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, sizeof chunk));
        ReadExact(chunk, n);
        if (charSize == 1) {
            for (size_t i = 0; i < n; ++i)
                out[o++] = static_cast<wchar_t>(chunk[i]);
        } else {
            for (size_t i = 0; i + 1 < n; i += 2)
                out[o++] = static_cast<wchar_t>(chunk[i] | (chunk[i + 1] << 8));
        }
        left -= n;
    }
    text.ReleaseBuffer(static_cast<int>(JoinSurrogates(out, o)));
    s = std::move(text);
}

void CArchive::WriteString(const CString& s)
{
    CheckOpen(false);
    std::vector<uint16_t> units;
    AppendUtf16(s, units);
    std::vector<uint8_t> bytes = UnitsToBytes(units);
    for (size_t i = 0; i < bytes.size(); i += 1u << 30)
        Write(bytes.data() + i, static_cast<unsigned>(std::min<size_t>(bytes.size() - i, 1u << 30)));
}

bool CArchive::ReadString(CString& s, bool* crLf)
{
    CheckOpen(true);
    std::wstring line;
    bool any = false, done = false;
    if (crLf != nullptr)
        *crLf = false;
    while (!done) {
        size_t avail = Fill(2);
        if (avail == 0)
            break;
        if (avail == 1)
            AfxThrowArchiveException(CArchiveException::endOfFile); // half a unit
        any = true;
        while (m_end - m_cur >= 2) {
            wchar_t unit = static_cast<wchar_t>(m_buf[m_cur] | (m_buf[m_cur + 1] << 8));
            m_cur += 2;
            if (unit == L'\n') {
                if (!line.empty() && line.back() == L'\r') {
                    line.pop_back();
                    if (crLf != nullptr)
                        *crLf = true;
                }
                done = true;
                break;
            }
            line += unit;
        }
    }
    if (!any)
        return false;
    line.resize(JoinSurrogates(&line[0], line.size()));
    s = CString(line);
    return true;
}

void CArchive::WriteCount(uint64_t count)
{
    if (count < 0xFFFF) {
        WriteLE(count, 2);
    } else if (count < 0xFFFFFFFF) {
        WriteLE(0xFFFF, 2);
        WriteLE(count, 4);
    } else {
        WriteLE(0xFFFF, 2);
        WriteLE(0xFFFFFFFF, 4);
        WriteLE(count, 8);
    }
}

uint64_t CArchive::ReadCount()
{
    uint64_t word = ReadLE(2);
    if (word != 0xFFFF)
        return word;
    uint64_t dword = ReadLE(4);
    return dword != 0xFFFFFFFF ? dword : ReadLE(8);
}

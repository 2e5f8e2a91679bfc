#include "storage/pure/sector_source.h"

#include <cstring>

SectorSource::~SectorSource() = default;

bool SectorToOffset(uint64_t sector, uint64_t* offset)
{
    if (sector > (UINT64_MAX >> 9))
        return false;
    *offset = sector << 9;
    return true;
}

bool BeginSectorRead(uint32_t count, uint8_t* buf)
{
    if (!CheckSectorRead(count, buf))
        return false;
    std::memset(buf, 0, size_t(count) * kSectorSize);
    return true;
}

bool CheckSectorRead(uint32_t count, const uint8_t* buf)
{
    return count != 0 && count <= kMaxSectorsPerRead && buf != nullptr;
}

size_t FinishSectorRead(uint32_t count, uint8_t* buf, size_t got)
{
    const size_t bytes = size_t(count) * kSectorSize;
    if (got > bytes)
        got = bytes;
    std::memset(buf + got, 0, bytes - got);
    return got;
}

size_t MemorySectorSource::Read(uint64_t sector, uint32_t count, uint8_t* buf)
{
    uint64_t offset = 0;
    if (!BeginSectorRead(count, buf) || !SectorToOffset(sector, &offset) || offset >= m_size)
        return 0;
    const uint64_t want = uint64_t(count) * kSectorSize;
    const size_t n = size_t(want < m_size - offset ? want : m_size - offset);
    std::memcpy(buf, m_data + offset, n);
    return n;
}

FileSectorSource::FileSectorSource(const std::string& path) : m_file(path, std::ios::in | std::ios::binary)
{
    if (!m_file)
        return;
    m_file.seekg(0, std::ios::end);
    const std::streamoff end = m_file.tellg();
    if (end < 0)
        return;
    m_size = uint64_t(end);
    m_open = true;
}

size_t FileSectorSource::Read(uint64_t sector, uint32_t count, uint8_t* buf)
{
    uint64_t offset = 0;
    if (!BeginSectorRead(count, buf) || !m_open || !SectorToOffset(sector, &offset) || offset >= m_size)
        return 0;
    m_file.clear();
    m_file.seekg(std::streamoff(offset), std::ios::beg);
    if (!m_file)
        return 0;
    m_file.read(reinterpret_cast<char*>(buf), std::streamsize(uint64_t(count) * kSectorSize));
    const std::streamsize got = m_file.gcount();
    m_file.clear();
    return got > 0 ? size_t(got) : 0;
}

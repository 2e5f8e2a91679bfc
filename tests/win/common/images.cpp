#include "common/images.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace zr_test {

namespace {

constexpr uint64_t kSector = 512;

std::vector<std::string> Split(const std::string& line, char sep)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, sep);)
        out.push_back(field);
    return out;
}

// The data lines of a TSV file in the images folder (comments start with '#'), each split at tabs.
std::vector<std::vector<std::string>> ReadTsv(const std::wstring& file)
{
    std::vector<std::vector<std::string>> rows;
    ReadOnlyFile f(ImagePath(file));
    if (!f.IsOpen())
        return rows;
    std::vector<uint8_t> bytes = f.Read(0, size_t(f.Size()));
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        rows.push_back(Split(line, '\t'));
    }
    return rows;
}

uint64_t ToU64(const std::string& s)
{
    return s == "-" ? 0 : std::stoull(s);
}

} // namespace

std::wstring ImagesDir()
{
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(L"ZR_IMAGES", buf, 4096);
    if (n == 0 || n >= 4096)
        return L"";
    std::wstring dir = L"Z:";
    for (const wchar_t* p = buf; *p; ++p)
        dir += *p == L'/' ? L'\\' : *p;
    while (dir.size() > 3 && dir.back() == L'\\')
        dir.pop_back();
    return dir;
}

std::wstring ImagePath(const std::wstring& name)
{
    return ImagesDir() + L"\\" + name;
}

std::wstring DosDeviceFile(const wchar_t* name)
{
    wchar_t prefix[2048];
    const DWORD n = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 2048);
    if (n == 0 || n >= 2048)
        return L"";
    std::wstring path = L"Z:";
    for (const wchar_t* p = prefix; *p != 0; ++p)
        path += *p == L'/' ? L'\\' : *p;
    return path + L"\\dosdevices\\" + name;
}

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

ReadOnlyFile::ReadOnlyFile(const std::wstring& path)
    : m_h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr))
{ }

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_h != INVALID_HANDLE_VALUE)
        CloseHandle(m_h);
}

uint64_t ReadOnlyFile::Size() const
{
    if (!IsOpen())
        return 0;
    LARGE_INTEGER size;
    if (GetFileSizeEx(m_h, &size))
        return uint64_t(size.QuadPart);
    GET_LENGTH_INFORMATION len;
    DWORD got = 0;
    if (DeviceIoControl(m_h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got, nullptr))
        return uint64_t(len.Length.QuadPart);
    return 0;
}

std::vector<uint8_t> ReadOnlyFile::Read(uint64_t offset, size_t n) const
{
    std::vector<uint8_t> out;
    if (!IsOpen() || n == 0)
        return out;
    // A small file is not read into a buffer of the size asked for.
    if (const uint64_t size = Size(); size != 0) {
        if (offset >= size)
            return out;
        n = size_t(std::min<uint64_t>(n, size - offset));
    }
    const uint64_t first = offset / kSector * kSector;
    const uint64_t last = (offset + n + kSector - 1) / kSector * kSector;
    std::vector<uint8_t> buf(size_t(last - first));
    size_t have = 0;
    while (have < buf.size()) {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(first + have);
        if (!SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN))
            break;
        DWORD chunk = DWORD(std::min<size_t>(buf.size() - have, 1u << 24));
        DWORD got = 0;
        if (!ReadFile(m_h, buf.data() + have, chunk, &got, nullptr) || got == 0)
            break;
        have += got;
    }
    const size_t skip = size_t(offset - first);
    if (have > skip)
        out.assign(buf.begin() + skip, buf.begin() + std::min(have, skip + n));
    return out;
}

std::vector<uint8_t> ReadAt(const std::wstring& path, uint64_t offset, size_t n)
{
    ReadOnlyFile f(path);
    return f.Read(offset, n);
}

namespace {

bool CopyRange(HANDLE to, const std::wstring& from, uint64_t fromSector, uint64_t toSector, uint32_t count)
{
    const std::vector<uint8_t> bytes = ReadAt(from, fromSector * kSector, size_t(count) * kSector);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(toSector * kSector);
    DWORD written = 0;
    return bytes.size() == size_t(count) * kSector && ::SetFilePointerEx(to, at, nullptr, FILE_BEGIN) &&
        ::WriteFile(to, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

} // namespace

bool MakeWipedMbrDisk(const std::wstring& path)
{
    const std::wstring mbr = ImagePath(L"mbr.img");
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = CopyRange(h, mbr, 2048, 63, 8);
    for (uint64_t start : { 2048u, 206848u, 339968u, 374784u })
        ok = ok && CopyRange(h, mbr, start, start, 8);
    ok = ok && CopyRange(h, mbr, 206848 + 131071, 206848 + 131071, 1); // the NTFS backup boot sector
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(ReadOnlyFile(mbr).Size());
    ok = ok && end.QuadPart > 0 && ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
    ::CloseHandle(h);
    return ok;
}

DiskFile::DiskFile(int number, const wchar_t* image, uint64_t bytes, uint64_t at)
{
    wchar_t name[32];
    swprintf(name, 32, L"physicaldrive%d", number);
    m_path = DosDeviceFile(name);
    const std::wstring from = ImagePath(image);
    const uint64_t size = ReadOnlyFile(from).Size();
    HANDLE h = m_path.empty() || size == 0
        ? INVALID_HANDLE_VALUE
        : ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER start;
    start.QuadPart = LONGLONG(at * 512);
    bool whole = ::SetFilePointerEx(h, start, nullptr, FILE_BEGIN) != FALSE;
    for (uint64_t done = 0; done < size && whole; done += 8u << 20) {
        const std::vector<uint8_t> chunk = ReadAt(from, done, 8u << 20);
        DWORD written = 0;
        whole = !chunk.empty() && ::WriteFile(h, chunk.data(), DWORD(chunk.size()), &written, nullptr);
    }
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(std::max(bytes, at * 512 + size));
    ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
    m_made = whole;
}

bool DiskFile::Patch(uint64_t offset, const std::vector<uint8_t>& bytes)
{
    HANDLE h = ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD written = 0;
    const bool done = ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
        ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    ::CloseHandle(h);
    return done;
}

void DiskFile::Remove()
{
    if (!m_path.empty())
        ::DeleteFileW(m_path.c_str());
}

std::vector<LayoutEntry> LoadLayout(const std::wstring& image)
{
    std::vector<LayoutEntry> out;
    for (auto& r : ReadTsv(image + L".layout.tsv")) {
        if (r.size() < 9)
            continue;
        out.push_back({ ToU64(r[2]), ToU64(r[3]), r[4] });
    }
    return out;
}

std::vector<CarveEntry> LoadCarveManifest(const std::wstring& image)
{
    std::vector<CarveEntry> out;
    for (auto& r : ReadTsv(image + L".manifest.tsv")) {
        if (r.size() < 5)
            continue;
        out.push_back({ ToU64(r[0]), ToU64(r[1]), r[2], r[3], r[4] });
    }
    return out;
}

std::string Sha256Hex(const void* data, size_t n)
{
    test_sha256::Sha256 h;
    h.Update(static_cast<const uint8_t*>(data), n);
    return h.HexDigest();
}

CarveMediaTruth LoadCarveMediaTruth(const std::wstring& image)
{
    CarveMediaTruth out;
    for (auto& r : ReadTsv(image + L".truth.tsv")) {
        if (r.size() >= 7 && r[0] == "planted")
            out.planted.push_back({ r[1], r[2], ToU64(r[3]), ToU64(r[4]), r[5], r[6] });
        else if (r.size() >= 10 && r[0] == "found")
            out.found.push_back({ r[1], r[2], r[3], r[4], ToU64(r[5]), ToU64(r[6]), r[7], r[8], r[9] });
    }
    return out;
}

} // namespace zr_test

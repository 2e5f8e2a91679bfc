#include "common/images.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace zr_test {

namespace {

constexpr uint64_t kSector = 512;

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        size_t at = line.find(sep, from);
        out.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return out;
        from = at + 1;
    }
}

// The data lines of a TSV file in the images folder (comments start with '#'), each split at
// tabs; comment lines go to comments when asked for.
std::vector<std::vector<std::string>> ReadTsv(const std::wstring& file,
                                              std::vector<std::string>* comments = nullptr) {
    std::vector<std::vector<std::string>> rows;
    ReadOnlyFile f(ImagePath(file));
    if (!f.IsOpen()) return rows;
    std::vector<uint8_t> bytes = f.Read(0, size_t(f.Size()));
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (comments) comments->push_back(line);
            continue;
        }
        rows.push_back(Split(line, '\t'));
    }
    return rows;
}

uint64_t ToU64(const std::string& s) { return s == "-" ? 0 : std::stoull(s); }

} // namespace

std::wstring ImagesDir() {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(L"ZR_IMAGES", buf, 4096);
    if (n == 0 || n >= 4096) return L"";
    std::wstring dir = L"Z:";
    for (const wchar_t* p = buf; *p; ++p) dir += *p == L'/' ? L'\\' : *p;
    while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    return dir;
}

std::wstring ImagePath(const std::wstring& name) { return ImagesDir() + L"\\" + name; }

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

ReadOnlyFile::ReadOnlyFile(const std::wstring& path)
    : m_h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (m_h == INVALID_HANDLE_VALUE) m_error = GetLastError();
}

ReadOnlyFile::~ReadOnlyFile() {
    if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
}

uint64_t ReadOnlyFile::Size() const {
    if (!IsOpen()) return 0;
    LARGE_INTEGER size;
    if (GetFileSizeEx(m_h, &size)) return uint64_t(size.QuadPart);
    GET_LENGTH_INFORMATION len;
    DWORD got = 0;
    if (DeviceIoControl(m_h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got, nullptr))
        return uint64_t(len.Length.QuadPart);
    return 0;
}

std::vector<uint8_t> ReadOnlyFile::Read(uint64_t offset, size_t n) const {
    std::vector<uint8_t> out;
    if (!IsOpen() || n == 0) return out;
    const uint64_t first = offset / kSector * kSector;
    const uint64_t last = (offset + n + kSector - 1) / kSector * kSector;
    std::vector<uint8_t> buf(size_t(last - first));
    size_t have = 0;
    while (have < buf.size()) {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(first + have);
        if (!SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN)) break;
        DWORD chunk = DWORD(std::min<size_t>(buf.size() - have, 1u << 24));
        DWORD got = 0;
        if (!ReadFile(m_h, buf.data() + have, chunk, &got, nullptr) || got == 0) break;
        have += got;
    }
    const size_t skip = size_t(offset - first);
    if (have > skip) out.assign(buf.begin() + skip, buf.begin() + std::min(have, skip + n));
    return out;
}

std::vector<uint8_t> ReadAt(const std::wstring& path, uint64_t offset, size_t n) {
    ReadOnlyFile f(path);
    return f.Read(offset, n);
}

bool TruthEntry::HasNote(const std::string& tag) const {
    for (const std::string& n : notes)
        if (n == tag || n.compare(0, tag.size() + 1, tag + ":") == 0) return true;
    return false;
}

std::string TruthEntry::Note(const std::string& tag) const {
    for (const std::string& n : notes)
        if (n.compare(0, tag.size() + 1, tag + ":") == 0) return n.substr(tag.size() + 1);
    return "";
}

Truth LoadTruth(const std::wstring& image) {
    Truth truth;
    std::vector<std::string> comments;
    auto rows = ReadTsv(image + L".truth.tsv", &comments);
    truth.found = !rows.empty();
    for (const std::string& c : comments)
        if (c.compare(0, 11, "# fallback:") == 0) truth.fallback = true;
    for (auto& r : rows) {
        if (r.size() < 4) continue;
        TruthEntry e;
        e.state = r[0];
        e.path = r[1];
        size_t colon = e.path.find(':');
        if (colon != std::string::npos && colon + 1 < e.path.size() && e.path[colon + 1] == '/') {
            e.partition = std::stoi(e.path.substr(0, colon));
            e.path = e.path.substr(colon + 1);
        }
        e.isDir = !e.path.empty() && e.path.back() == '/';
        e.size = r[2] == "-" ? -1 : std::stoll(r[2]);
        e.sha256 = r[3] == "-" ? "" : r[3];
        if (r.size() > 4 && !r[4].empty()) e.notes = Split(r[4], ',');
        truth.entries.push_back(e);
    }
    return truth;
}

std::vector<LayoutEntry> LoadLayout(const std::wstring& image) {
    std::vector<LayoutEntry> out;
    for (auto& r : ReadTsv(image + L".layout.tsv")) {
        if (r.size() < 9) continue;
        LayoutEntry e;
        e.index = std::stoi(r[0]);
        e.type = r[1];
        e.start = ToU64(r[2]);
        e.count = ToU64(r[3]);
        e.fs = r[4];
        e.cluster = uint32_t(ToU64(r[5]));
        e.label = r[6];
        e.guid = r[7];
        e.name = r[8];
        out.push_back(e);
    }
    return out;
}

std::vector<CarveEntry> LoadCarveManifest(const std::wstring& image) {
    std::vector<CarveEntry> out;
    for (auto& r : ReadTsv(image + L".manifest.tsv")) {
        if (r.size() < 5) continue;
        out.push_back({ToU64(r[0]), ToU64(r[1]), r[2], r[3], r[4]});
    }
    return out;
}

// ------------------------------------------------------------------ SHA-256 (FIPS 180-4)

namespace {

const uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) { return x >> n | x << (32 - n); }

} // namespace

Sha256::Sha256()
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Block(const uint8_t* p) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    uint32_t e = m_state[4], f = m_state[5], g = m_state[6], h = m_state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[i] + w[i];
        uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
    m_state[5] += f;
    m_state[6] += g;
    m_state[7] += h;
}

void Sha256::Update(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_total += n;
    while (n) {
        size_t take = std::min(n, sizeof m_buf - m_used);
        memcpy(m_buf + m_used, p, take);
        m_used += take;
        p += take;
        n -= take;
        if (m_used == sizeof m_buf) {
            Block(m_buf);
            m_used = 0;
        }
    }
}

std::string Sha256::HexDigest() {
    const uint64_t bits = m_total * 8;
    const uint8_t pad = 0x80;
    Update(&pad, 1);
    const uint8_t zero = 0;
    while (m_used != 56) Update(&zero, 1);
    uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = uint8_t(bits >> (56 - 8 * i));
    Update(len, 8);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint32_t v : m_state)
        for (int shift = 28; shift >= 0; shift -= 4) out += hex[(v >> shift) & 15];
    return out;
}

std::string Sha256Hex(const void* data, size_t n) {
    Sha256 h;
    h.Update(data, n);
    return h.HexDigest();
}

} // namespace zr_test

// The images of the carving benchmarks (bench_carve, bench_carvesearch): 1 MiB blocks of junk
// (sparse holes, text, random bytes, bytes that begin signatures), with headers or whole files
// planted on them, and a plain read of an image to measure the scans against. Images are kept
// between runs.
#pragma once
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sigrecovery/pure/carve_pass.h"
#include "sigrecovery/pure/filetype.h"
#include "storage/sector_source.h"

namespace bench {

inline std::string ReadWhole(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

inline void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(f, &fd));
        FindClose(f);
    }
    RemoveDirectoryW(dir.c_str());
}

// Block i (1 MiB) of the junk both images are made of; false for a hole left sparse.
inline bool JunkBlock(uint64_t i, uint64_t mib, std::vector<uint8_t>& block, uint32_t& x)
{
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    static const char kWords[] = "the data of a file that was lost and found again in sectors ";
    const int kind = static_cast<int>(i % 4);
    if (kind == 0 && i + 32 < mib)
        return false; // a hole: zeros the file system need not store
    for (size_t k = 0; k < block.size(); ++k) {
        if (kind == 1)
            block[k] = static_cast<uint8_t>(kWords[(k * 7 + i) % (sizeof kWords - 1)]);
        else if (kind == 2)
            block[k] = static_cast<uint8_t>(next());
        else
            block[k] = static_cast<uint8_t>("\xFF\xD8PK%\x89RG"[next() % 8]);
    }
    return true;
}

inline bool WriteAt(HANDLE h, uint64_t at, const uint8_t* data, size_t n)
{
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(at);
    DWORD put = 0;
    return SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && WriteFile(h, data, DWORD(n), &put, nullptr) && put == n;
}

// The junk image of mib MiB; then plant(h) writes what lies on it.
template <class Plant> inline bool MakeJunkImage(const std::wstring& path, uint64_t mib, Plant plant)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> block(1 << 20);
    uint32_t x = 2463534242u;
    bool ok = true;
    for (uint64_t i = 0; i < mib && ok; ++i)
        if (JunkBlock(i, mib, block, x))
            ok = WriteAt(h, i << 20, block.data(), block.size());
    ok = ok && plant(h);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(mib << 20);
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

inline std::vector<uint8_t> HeaderBytes(const FileType1& t)
{
    std::vector<uint8_t> sig(t.signatureLength);
    for (int j = 0; j < t.signatureLength; ++j)
        sig[j] = static_cast<uint8_t>(t.signature[j]);
    return sig;
}

// One header of every signature, 64 KiB apart, in the last 32 MiB.
inline bool MakeImage(const std::wstring& path, uint64_t mib, const std::vector<FileType1>& headers)
{
    return MakeJunkImage(path, mib, [&](HANDLE h) {
        const uint64_t base = (mib - 32) << 20;
        for (size_t r = 0; r < headers.size(); ++r) {
            const std::vector<uint8_t> sig = HeaderBytes(headers[r]);
            if (!WriteAt(h, base + r * 65536 + uint64_t(headers[r].offset - 1), sig.data(), sig.size()))
                return false;
        }
        return true;
    });
}

// `files` files spread over the image, one per slot of equal size, each a header of one of
// `headers` in turn and random bytes.
inline bool MakePlantedImage(const std::wstring& path, uint64_t mib, uint64_t files,
                             const std::vector<FileType1>& headers)
{
    return MakeJunkImage(path, mib, [&](HANDLE h) {
        std::mt19937 rng(500);
        const uint64_t slot = (mib << 20) / files / 512 * 512;
        std::vector<uint8_t> body;
        for (uint64_t f = 0; f < files; ++f) {
            const FileType1& t = headers[f % headers.size()];
            body.resize(size_t(32 << 10) + rng() % (1u << 20));
            for (uint8_t& b : body)
                b = static_cast<uint8_t>(rng());
            std::fill(body.begin(), body.begin() + 512, 0);
            const std::vector<uint8_t> sig = HeaderBytes(t);
            std::copy(sig.begin(), sig.end(), body.begin() + (t.offset - 1));
            const uint64_t at = f * slot + (rng() % ((slot - body.size()) / 512)) * 512;
            if (!WriteAt(h, at, body.data(), body.size()))
                return false;
        }
        return true;
    });
}

// A file planted whole on an image: its path, size, extension (lower case, no dot) and first
// kPlantedHead bytes (all of them when it is smaller).
struct PlantedFile {
    static constexpr size_t kPlantedHead = 64 << 10;
    std::wstring path;
    uint64_t size = 0;
    std::wstring extension;
    std::vector<uint8_t> head;
};

// The files listed in folder\manifest.tsv (a name and a size a line, as bench/carve_files.py
// writes it), their heads read; empty when the manifest or a file is missing.
inline std::vector<PlantedFile> ReadPlantedFiles(const std::wstring& folder)
{
    std::vector<PlantedFile> files;
    FILE* manifest = _wfopen((folder + L"\\manifest.tsv").c_str(), L"r");
    if (manifest == nullptr)
        return files;
    char name[256];
    unsigned long long size = 0;
    bool complete = true;
    while (complete && std::fscanf(manifest, "%255s %llu", name, &size) == 2) {
        PlantedFile f;
        f.path = folder + L"\\" + std::wstring(name, name + std::strlen(name));
        f.size = size;
        const size_t dot = f.path.find_last_of(L'.');
        f.extension = dot == std::wstring::npos ? std::wstring() : f.path.substr(dot + 1);
        HANDLE h = CreateFileW(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        f.head.resize(size_t(std::min<uint64_t>(size, PlantedFile::kPlantedHead)));
        DWORD got = 0;
        complete = h != INVALID_HANDLE_VALUE && ReadFile(h, f.head.data(), DWORD(f.head.size()), &got, nullptr) &&
            got == f.head.size();
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        files.push_back(std::move(f));
    }
    std::fclose(manifest);
    if (!complete)
        files.clear();
    return files;
}

// The junk image with `files` planted whole, one per slot of equal size, each at a sector
// boundary somewhere in its slot; false when a file does not fit in a slot.
inline bool MakeImageOfFiles(const std::wstring& path, uint64_t mib, const std::vector<PlantedFile>& files)
{
    if (files.empty())
        return false;
    const uint64_t slot = (mib << 20) / files.size() / 512 * 512;
    for (const PlantedFile& f : files)
        if (f.size > slot)
            return false;
    return MakeJunkImage(path, mib, [&](HANDLE h) {
        std::mt19937 rng(240);
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string bytes = ReadWhole(files[i].path);
            if (bytes.size() != files[i].size)
                return false;
            const uint64_t at = i * slot + (rng() % ((slot - bytes.size()) / 512 + 1)) * 512;
            if (!WriteAt(h, at, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
                return false;
        }
        return true;
    });
}

inline double SequentialRead(const std::wstring& image, uint64_t bytes)
{
    HANDLE h = OpenDeviceForReading(image.c_str());
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<uint8_t> buf(size_t(kCarveChunkSectors) * 512);
    const auto t0 = std::chrono::steady_clock::now();
    volatile uint8_t sink = 0;
    for (uint64_t s = 0; s * 512 < bytes; s += kCarveChunkSectors) {
        if (ReadSectorsFromHandle(h, s, kCarveChunkSectors, buf.data()) == 0)
            break;
        sink = sink + buf[0];
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    CloseHandle(h);
    return double(bytes) / (1 << 20) / secs;
}

// A plain write of `bytes` to a new file in folder, in chunks of the scan's size: what saving the
// found files cannot beat. The file is deleted afterwards.
inline double SequentialWrite(const std::wstring& folder, uint64_t bytes)
{
    const std::wstring path = folder + L"\\zr_bench_carve_write.tmp";
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<uint8_t> buf(size_t(kCarveChunkSectors) * 512, 0x5A);
    const auto t0 = std::chrono::steady_clock::now();
    DWORD put = 0;
    for (uint64_t done = 0; done < bytes; done += buf.size())
        if (!WriteFile(h, buf.data(), DWORD(buf.size()), &put, nullptr))
            break;
    CloseHandle(h);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    DeleteFileW(path.c_str());
    return double(bytes) / (1 << 20) / secs;
}

// The folder of the images: argument `index` when given, else the temporary folder; without its
// trailing backslash.
inline std::wstring FolderArgument(int argc, wchar_t** argv, int index)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = argc > index ? argv[index] : temp;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

// The image's size in bytes; 0 when it does not exist.
inline uint64_t ImageBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attr;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attr))
        return 0;
    return (uint64_t(attr.nFileSizeHigh) << 32) | attr.nFileSizeLow;
}

} // namespace bench

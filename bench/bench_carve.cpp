// Carving pass against a plain sequential read of the same image with the same chunk size.
//
//   bench_carve [folder] [MiB] [signature folder]
//
// Makes (once) an image of MiB mebibytes in folder (default: the temp folder, 2048 MiB): blocks
// of zeros left sparse, text, random bytes and low-entropy bytes that often pass the first-byte
// test, with one header of every signature planted in the last 32 MiB so that the found files
// written stay small. Then reads it twice sequentially (the second read is the warm figure) and
// runs one pass with each of the six signature files, saving the found files to a scratch folder
// that is removed after each pass. Prints MB/s of each and the ratio pass / read.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sigrecovery/carve_scan.h"
#include "storage/sectorreader.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string ReadWhole(const std::wstring& path)
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

void RemoveTree(const std::wstring& dir)
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

bool MakeImage(const std::wstring& path, uint64_t mib, const std::vector<FileType1>& headers)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> block(1 << 20);
    uint32_t x = 2463534242u;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    static const char kWords[] = "the data of a file that was lost and found again in sectors ";
    for (uint64_t i = 0; i < mib; ++i) {
        const int kind = static_cast<int>(i % 4);
        if (kind == 0 && i + 32 < mib)
            continue; // a hole: zeros the file system need not store
        for (size_t k = 0; k < block.size(); ++k) {
            if (kind == 1)
                block[k] = static_cast<uint8_t>(kWords[(k * 7 + i) % (sizeof kWords - 1)]);
            else if (kind == 2)
                block[k] = static_cast<uint8_t>(next());
            else
                block[k] = static_cast<uint8_t>("\xFF\xD8PK%\x89RG"[next() % 8]);
        }
        LARGE_INTEGER pos;
        pos.QuadPart = static_cast<LONGLONG>(i << 20);
        DWORD put = 0;
        if (!SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) ||
            !WriteFile(h, block.data(), DWORD(block.size()), &put, nullptr)) {
            CloseHandle(h);
            return false;
        }
    }
    // One header of every signature, 64 KiB apart, in the last 32 MiB.
    const uint64_t base = (mib - 32) << 20;
    for (size_t r = 0; r < headers.size(); ++r) {
        const FileType1& t = headers[r];
        std::vector<uint8_t> sig(t.signatureLength);
        for (int j = 0; j < t.signatureLength; ++j)
            sig[j] = static_cast<uint8_t>(t.signature[j]);
        LARGE_INTEGER pos;
        pos.QuadPart = static_cast<LONGLONG>(base + r * 65536 + uint64_t(t.offset - 1));
        DWORD put = 0;
        SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
        WriteFile(h, sig.data(), DWORD(sig.size()), &put, nullptr);
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(mib << 20);
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    return true;
}

class BenchHost : public CarveScanHost {
public:
    BenchHost(const std::wstring& image, uint64_t sectors, const std::wstring& dest, CarveSearchKind kind)
        : naming(kind), m_image(image), m_sectors(sectors), m_dest(dest), m_kind(kind)
    { }
    CarveSearchKind Kind() override { return m_kind; }
    CarveScanState& State() override { return state; }
    CString DevicePath() override { return CString(m_image); }
    uint64_t StartSector() override { return 0; }
    uint64_t EndSector() override { return m_sectors - 1; }
    CString Destination() override { return CString(m_dest); }
    std::vector<FileType1> SignaturesForPass(bool) override { return {}; }
    MediaAnswer AskMediaRemoved() override { return MediaAnswer::Cancel; }
    void ShowMessage(const CString& text) override { wprintf(L"  message: %ls\n", text.GetString()); }
    void AddResultRow(const CarveFound&) override { ++found; }
    CarveNaming& Naming() override { return naming; }
    uint64_t found = 0;
    CarveScanState state;
    CarveNaming naming;

private:
    std::wstring m_image;
    uint64_t m_sectors;
    std::wstring m_dest;
    CarveSearchKind m_kind;
};

double SequentialRead(const std::wstring& image, uint64_t bytes)
{
    HANDLE h = OpenDeviceForReading(image.c_str());
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<uint8_t> buf(size_t(kCarveChunkSectors) * 512);
    const auto t0 = Clock::now();
    volatile uint8_t sink = 0;
    for (uint64_t s = 0; s * 512 < bytes; s += kCarveChunkSectors) {
        if (ReadSectorsFromHandle(h, s, kCarveChunkSectors, buf.data()) == 0)
            break;
        sink = sink + buf[0];
    }
    const double secs = Seconds(t0);
    CloseHandle(h);
    return double(bytes) / (1 << 20) / secs;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = argc > 1 ? argv[1] : temp;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    const uint64_t mib = argc > 2 ? _wtoi64(argv[2]) : 2048;
    std::wstring sigDir = argc > 3 ? argv[3] : L"";
    if (sigDir.empty()) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        sigDir = exe;
        sigDir = sigDir.substr(0, sigDir.find_last_of(L'\\')) + L"\\..\\resources\\signatures";
    }
    static const wchar_t* kFiles[] = { L"QORVENExt2.dll",   L"QORVENExt2Adv.dll", L"QORVENSig.dll",
                                       L"QORVENSigAdv.dll", L"QORVENVideo.dll",   L"QORVENVideoAdv.dll" };
    std::vector<std::vector<FileType1>> lists;
    std::vector<FileType1> all;
    for (const wchar_t* f : kFiles) {
        std::vector<FileType1> list;
        std::vector<int32_t> offsets;
        AddAllEntries(ParseSignatureFile(ReadWhole(sigDir + L"\\" + f)), list, offsets);
        if (list.empty()) {
            wprintf(L"no signatures in %ls\\%ls\n", sigDir.c_str(), f);
            return 1;
        }
        all.insert(all.end(), list.begin(), list.end());
        lists.push_back(list);
    }
    if (all.size() * 65536 > (32u << 20))
        all.resize((32u << 20) / 65536);

    const std::wstring image = folder + L"\\zr_bench_carve_" + std::to_wstring(mib) + L".img";
    WIN32_FILE_ATTRIBUTE_DATA attr;
    const bool have = GetFileAttributesExW(image.c_str(), GetFileExInfoStandard, &attr) &&
        ((uint64_t(attr.nFileSizeHigh) << 32) | attr.nFileSizeLow) == (mib << 20);
    if (!have) {
        const auto t0 = Clock::now();
        if (!MakeImage(image, mib, all)) {
            wprintf(L"cannot make %ls\n", image.c_str());
            return 1;
        }
        wprintf(L"made %ls (%llu MiB) in %.1f s\n", image.c_str(), (unsigned long long)mib, Seconds(t0));
    }
    const uint64_t bytes = mib << 20;
    SequentialRead(image, bytes);
    const double read = SequentialRead(image, bytes);
    wprintf(L"sequential read, %u-sector chunks: %.0f MB/s\n", kCarveChunkSectors, read);

    // The reading pipeline alone: a pass with no signatures.
    lists.insert(lists.begin(), std::vector<FileType1>());
    static const wchar_t* kNames[] = { L"(no signatures)", kFiles[0], kFiles[1], kFiles[2],
                                       kFiles[3],          kFiles[4], kFiles[5] };
    // Each pass twice: reading ahead on two threads (the program's way) and with reads and
    // matching on one thread.
    wprintf(L"%-20ls %10ls  %18ls  %18ls  %ls\n", L"signature file", L"signatures", L"read-ahead", L"one thread",
            L"found");
    for (size_t i = 0; i < lists.size(); ++i) {
        const SignatureSet set(lists[i]);
        double rates[2] = {};
        uint64_t found = 0;
        bool completed = true;
        for (int mode = 0; mode < 2; ++mode) {
            const std::wstring dest = folder + L"\\zr_bench_carve_out";
            CreateDirectoryW(dest.c_str(), nullptr);
            CarvePassSettings settings;
            settings.kind = i < 3 ? CarveSearchKind::Photo
                : i < 5           ? CarveSearchKind::Signature
                                  : CarveSearchKind::Video;
            settings.readAhead = mode == 0;
            BenchHost host(image, bytes / 512, dest, settings.kind);
            const auto t0 = Clock::now();
            const CarvePassEnd end = RunDeviceCarvePass(host, set, host.naming.ForPass(false), settings);
            rates[mode] = double(bytes) / (1 << 20) / Seconds(t0);
            found = host.found;
            completed = completed && end == CarvePassEnd::Completed;
            RemoveTree(dest);
        }
        wprintf(L"%-20ls %10zu  %7.0f MB/s (%.2f)  %7.0f MB/s (%.2f)  %llu%ls\n", kNames[i], set.Size(), rates[0],
                rates[0] / read, rates[1], rates[1] / read, (unsigned long long)found,
                completed ? L"" : L" (not completed)");
    }
    return 0;
}

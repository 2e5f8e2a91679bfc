// Carving passes against a plain sequential read of the same image with the same chunk size.
//
//   bench_carve [folder] [MiB] [signature folder] [files]
//
// The scan alone: makes (once) an image of MiB mebibytes in folder (default: the temp folder,
// 2048 MiB): blocks of zeros left sparse, text, random bytes and low-entropy bytes that often pass
// the first-byte test, with one header of every signature planted in the last 32 MiB so that the
// found files written stay small. Then reads it twice sequentially (the second read is the warm
// figure) and runs one pass with each of the six signature files, saving the found files to a
// scratch folder that is removed after each pass. Prints MB/s of each and the ratio pass / read.
//
// The searches: unless files is 0 (default 500), a second image of the same size holds that many
// files (a header of a General signature of Photo, Signature or Video Search and 32 KiB to 1 MiB of
// random bytes) spread over it among the same junk. Photo, Signature and Video Search each run
// their scan thread over it (General and Thorough pass, the found files saved) against a plain
// read of that image; per pass: MB/s, the ratio, the
// files found, the MiB saved, and the process's peak working set so far. Every byte after a
// header belongs to a found file up to the next header, so a pass saves most of the image: a plain
// write of the image's size is measured too.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/carve_images.h"
#include "bench/synth_volumes.h"
#include "sigrecovery/carve_scan.h"
#include "storage/sector_source.h"

namespace {

using namespace bench;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class BenchHost : public CarveScanHost {
public:
    BenchHost(const std::wstring& image, uint64_t sectors, const std::wstring& dest, CarveSearchKind kind)
        : naming(kind), m_image(image), m_sectors(sectors), m_dest(dest), m_kind(kind)
    { }
    CarveSearchKind Kind() override { return m_kind; }
    CarveScanState& State() override { return state; }
    StopFlag& ScanStopFlag() override { return stop; }
    CString DevicePath() override { return CString(m_image); }
    uint64_t StartSector() override { return 0; }
    uint64_t EndSector() override { return m_sectors - 1; }
    CString Destination() override { return CString(m_dest); }
    std::vector<FileType1> SignaturesForPass(bool thorough) override { return thorough ? thoroughList : generalList; }
    MediaAnswer AskMediaRemoved() override { return MediaAnswer::Cancel; }
    void ShowMessage(const CString& text) override { wprintf(L"  message: %ls\n", text.GetString()); }
    void PassStarting(bool) override { marks.push_back({ Clock::now(), found, written }); }
    void AddResultRow(const CarveFound& f) override
    {
        ++found;
        WIN32_FILE_ATTRIBUTE_DATA attr;
        if (GetFileAttributesExW(f.path, GetFileExInfoStandard, &attr))
            written += (uint64_t(attr.nFileSizeHigh) << 32) | attr.nFileSizeLow;
    }
    void ScanFinished() override { marks.push_back({ Clock::now(), found, written }); }
    CarveNaming& Naming() override { return naming; }

    struct Mark {
        Clock::time_point at;
        uint64_t found, written;
    };
    uint64_t found = 0, written = 0;
    std::vector<FileType1> generalList, thoroughList;
    std::vector<Mark> marks;
    CarveScanState state;
    StopFlag stop{ 0 };
    CarveNaming naming;

private:
    std::wstring m_image;
    uint64_t m_sectors;
    std::wstring m_dest;
    CarveSearchKind m_kind;
};

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring folder = FolderArgument(argc, argv, 1);
    const uint64_t mib = argc > 2 ? _wtoi64(argv[2]) : 2048;
    const uint64_t files = argc > 4 ? _wtoi64(argv[4]) : 500;
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

    // The headers of the planted files: the General signatures of the three searches.
    std::vector<FileType1> planted;
    for (size_t i : { 0, 2, 4 })
        planted.insert(planted.end(), lists[i].begin(), lists[i].end());
    const std::vector<std::vector<FileType1>> searchLists = lists;

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
    if (files == 0)
        return 0;

    const std::wstring plantedImage =
        folder + L"\\zr_bench_carve_" + std::to_wstring(mib) + L"_" + std::to_wstring(files) + L"files.img";
    const bool havePlanted = GetFileAttributesExW(plantedImage.c_str(), GetFileExInfoStandard, &attr) &&
        ((uint64_t(attr.nFileSizeHigh) << 32) | attr.nFileSizeLow) == (mib << 20);
    if (!havePlanted) {
        const auto t0 = Clock::now();
        if (!MakePlantedImage(plantedImage, mib, files, planted)) {
            wprintf(L"cannot make %ls\n", plantedImage.c_str());
            return 1;
        }
        wprintf(L"made %ls (%llu MiB, %llu files) in %.1f s\n", plantedImage.c_str(), (unsigned long long)mib,
                (unsigned long long)files, Seconds(t0));
    }
    SequentialRead(plantedImage, bytes);
    const double plantedRead = SequentialRead(plantedImage, bytes);
    const double plainWrite = SequentialWrite(folder, bytes);
    wprintf(L"\n%llu planted files; sequential read: %.0f MB/s, sequential write: %.0f MB/s\n",
            (unsigned long long)files, plantedRead, plainWrite);
    wprintf(L"%-18ls %-9ls %18ls %8ls %12ls %10ls\n", L"search", L"pass", L"scan", L"found", L"saved", L"peak");
    const struct {
        CarveSearchKind kind;
        const wchar_t* name;
        size_t general;
    } searches[] = { { CarveSearchKind::Photo, L"Photo Search", 0 },
                     { CarveSearchKind::Signature, L"Signature Search", 2 },
                     { CarveSearchKind::Video, L"Video Search", 4 } };
    for (const auto& search : searches) {
        const std::wstring dest = folder + L"\\zr_bench_carve_out";
        CreateDirectoryW(dest.c_str(), nullptr);
        BenchHost host(plantedImage, bytes / 512, dest, search.kind);
        host.generalList = searchLists[search.general];
        host.thoroughList = searchLists[search.general + 1];
        CarveSearchThreadProc(&host);
        for (size_t m = 0; m + 1 < host.marks.size(); ++m) {
            const double rate = double(bytes) / (1 << 20) / Seconds(host.marks[m].at, host.marks[m + 1].at);
            wprintf(L"%-18ls %-9ls %7.0f MB/s (%.2f) %8llu %8.0f MiB %6.0f MiB\n", search.name,
                    m == 0 ? L"General" : L"Thorough", rate, rate / plantedRead,
                    (unsigned long long)(host.marks[m + 1].found - host.marks[m].found),
                    double(host.marks[m + 1].written - host.marks[m].written) / (1 << 20), bench::PeakMiB());
        }
        RemoveTree(dest);
    }
    return 0;
}

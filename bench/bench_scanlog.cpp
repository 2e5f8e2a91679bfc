// Saving and loading a large scan log: a Basic NTFS log of 300,000 file rows and 20,000 folders
// (up to six levels deep) written to a file in the temporary folder and read back, through the
// archive's 4096-byte buffer as the dialogs do. Prints seconds and the heap's peak each way
// (bytes live at once, counted by this program's operator new, above what was live before).
//
//   bench_scanlog [ROWS FOLDERS]
//
// Built natively (optimised, without sanitizers) over a C file, and for Windows over the
// program's own file class.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#ifdef _WIN32
#include "framework/file.h"
#endif

#include "fsrecovery/pure/scan_log.h"
#include "tests/pure/scan_log_samples.h"

namespace {

// ---- heap accounting ----

size_t g_live = 0;
size_t g_peak = 0;
constexpr size_t kHeader = 16; // keeps the block's size and the alignment of malloc

void* Allocate(size_t size)
{
    void* block = std::malloc(size + kHeader);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    g_live += size;
    if (g_live > g_peak)
        g_peak = g_live;
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p)
{
    if (p == nullptr)
        return;
    void* block = static_cast<char*>(p) - kHeader;
    g_live -= *static_cast<size_t*>(block);
    std::free(block);
}

} // namespace

void* operator new(size_t size)
{
    return Allocate(size);
}
void* operator new[](size_t size)
{
    return Allocate(size);
}
void operator delete(void* p) noexcept
{
    Release(p);
}
void operator delete[](void* p) noexcept
{
    Release(p);
}
void operator delete(void* p, size_t) noexcept
{
    Release(p);
}
void operator delete[](void* p, size_t) noexcept
{
    Release(p);
}

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
// On Windows the program's own file class, so that the figures include its calls to the system.
class LogFile : public CFile {
public:
    LogFile(const std::string& path, bool write)
        : CFile(CString(path.c_str()), write ? modeCreate | modeReadWrite | shareExclusive : modeRead | shareExclusive)
    { }
};
#else
// The archive's stream over a C file.
class LogFile : public CByteStream {
public:
    LogFile(const std::string& path, bool write) : m_file(std::fopen(path.c_str(), write ? "wb+" : "rb"))
    {
        if (m_file == nullptr)
            AfxThrowFileException(CFileException::fileNotFound);
    }
    ~LogFile() override { Close(); }
    unsigned Read(void* buf, unsigned count) override
    {
        return static_cast<unsigned>(std::fread(buf, 1, count, m_file));
    }
    void Write(const void* buf, unsigned count) override
    {
        if (std::fwrite(buf, 1, count, m_file) != count)
            AfxThrowFileException(CFileException::diskFull);
    }
    uint64_t Seek(int64_t offset, unsigned from) override
    {
        const int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
        if (std::fseek(m_file, static_cast<long>(offset), whence) != 0)
            AfxThrowFileException(CFileException::badSeek);
        return GetPosition();
    }
    uint64_t GetPosition() const override { return static_cast<uint64_t>(std::ftell(m_file)); }
    uint64_t GetLength() const override
    {
        const long at = std::ftell(m_file);
        std::fseek(m_file, 0, SEEK_END);
        const long length = std::ftell(m_file);
        std::fseek(m_file, at, SEEK_SET);
        return static_cast<uint64_t>(length);
    }
    void Close() override
    {
        if (m_file != nullptr)
            std::fclose(m_file);
        m_file = nullptr;
    }

private:
    FILE* m_file;
};
#endif

ScanLogData MakeLog(uint64_t rows, uint64_t folders)
{
    ScanLogData d = scan_log_test::Sample(kScanLogModeBasic, L"NTFS", ScanLogSource::Drive);
    d.folderCount = folders;
    d.tree.resize(1); // "Root"
    d.ntfsRows.clear();
    // Folders in pre-order, each level holding up to 8 folders of the next, six levels at most,
    // each under its parent's item as a save writes them.
    uint32_t depth = 1;
    std::vector<uint32_t> above{ 5 }; // above[k]: the folder the next one at depth k + 1 goes under
    for (uint64_t i = 0; i < folders; ++i) {
        CString name;
        name.Format(L"Folder %06llu - Documents and Settings", static_cast<unsigned long long>(i));
        const uint32_t id = uint32_t(64 + i);
        d.tree.push_back(scan_log_test::Item(depth, name, id, above[depth - 1]));
        above.resize(depth);
        above.push_back(id);
        depth = (i % 8 == 7) ? (depth > 1 ? depth - 1 : 1) : (depth < 6 && i % 3 == 0 ? depth + 1 : depth);
    }
    for (uint64_t i = 0; i < rows; ++i) {
        ScanLogNtfsRow row;
        row[0].Format(L"%llu", static_cast<unsigned long long>(6291456 + 2 * i));
        row[1].Format(L"IMG_%06llu.JPG", static_cast<unsigned long long>(i));
        row[2].Format(L"%llu", static_cast<unsigned long long>(1000 + i * 37 % 5000000));
        row[3] = L"05-MAR-2013";
        row[4] = L"10:11:12";
        row[5] = L"FILE";
        d.ntfsRows.push_back(row);
    }
    return d;
}

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double MiB(size_t bytes)
{
    return double(bytes) / (1 << 20);
}

double KiB(size_t bytes)
{
    return double(bytes) / 1024;
}

} // namespace

int main(int argc, char** argv)
{
    const uint64_t rows = argc > 2 ? std::strtoull(argv[1], nullptr, 10) : 300000;
    const uint64_t folders = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20000;
    const char* tmp = std::getenv("TEMP");
    if (tmp == nullptr)
        tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/zr_bench_scanlog.QLX";

    try {
        uint64_t size = 0;
        size_t saveBase = 0, savePeak = 0;
        double saveSeconds = 0;
        {
            const ScanLogData log = MakeLog(rows, folders);
            saveBase = g_peak = g_live;
            const Clock::time_point t0 = Clock::now();
            LogFile out(path, true);
            CArchive ar(&out, CArchive::store, 4096);
            WriteScanLog(ar, log);
            ar.Close();
            size = out.GetLength();
            out.Close();
            saveSeconds = Seconds(t0, Clock::now());
            savePeak = g_peak - saveBase;
            std::printf("log in memory  %8.1f MiB  (%llu rows, %llu folders)\n", MiB(saveBase),
                        static_cast<unsigned long long>(rows), static_cast<unsigned long long>(folders));
        }

        const size_t loadBase = g_peak = g_live;
        const Clock::time_point t0 = Clock::now();
        ScanLogData read;
        LogFile in(path, false);
        CArchive ar(&in, CArchive::load, 4096);
        const ScanLogResult result = ReadScanLog(ar, kScanLogModeBasic, read);
        const double loadSeconds = Seconds(t0, Clock::now());
        const size_t loadPeak = g_peak - loadBase;

        std::printf("file           %8.1f MiB\n", MiB(size));
        std::printf("save           %8.3f s   peak heap %9.0f KiB\n", saveSeconds, KiB(savePeak));
        std::printf("load           %8.3f s   peak heap %9.0f KiB  (%s: %zu folders, %zu rows)\n", loadSeconds,
                    KiB(loadPeak), result.status == ScanLogStatus::Ok ? "ok" : "FAILED", read.tree.size() - 1,
                    read.ntfsRows.size());
        in.Close();
        std::remove(path.c_str());
        return result.status == ScanLogStatus::Ok ? 0 : 1;
    } catch (CException* e) {
        std::printf("failed: %ls\n", e->GetErrorText().GetString());
        e->Delete();
    }
    std::remove(path.c_str());
    return 1;
}

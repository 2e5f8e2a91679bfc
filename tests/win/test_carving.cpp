// The carving scan on a real device under Wine: carve.img (\\.\PhysicalDrive3) against its
// manifest, with a small signature set and a host that answers for the dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "sigrecovery/carve_scan.h"
#include "thread.h"

using namespace zr_test;

namespace {

FileType1 Sig(const char* ext, const char* hex, const char* maxSize)
{
    FileType1 t;
    t.extension = ext;
    t.maxSize = maxSize;
    t.offset = 1;
    t.hexText = hex;
    for (size_t i = 0; hex[2 * i] != 0; ++i)
        t.signature[t.signatureLength++] = std::stoi(std::string(hex + 2 * i, 2), nullptr, 16);
    t.firstByte = t.signature[0];
    return t;
}

// wav's maximum size is below its file's size on purpose: that item ends by size.
std::vector<FileType1> CarveTypes()
{
    return { Sig(".JPG", "FFD8FFE0", "600000"), Sig(".PNG", "89504E470D0A1A0A", "200000"),
             Sig(".PDF", "25504446", "50000"),  Sig(".ZIP", "504B0304", "60000"),
             Sig(".GIF", "47494638", "20000"),  Sig(".BMP", "424D", "40000"),
             Sig(".WAV", "52494646", "50000"),  Sig(".RTF", "7B5C72746631", "10000") };
}

const std::map<std::string, std::string> kKeyOfType = { { "jpeg", "JPG" }, { "png", "PNG" }, { "pdf", "PDF" },
                                                        { "zip", "ZIP" },  { "gif", "GIF" }, { "bmp", "BMP" },
                                                        { "wav", "WAV" },  { "rtf", "RTF" } };
const wchar_t kCarveDevice[] = L"\\\\.\\PhysicalDrive3";
const std::wstring kRecovered = L"\\Zembrolix Recovery (Premium)\\";

struct Row {
    std::wstring key, name, path;
    bool thorough;
};

class TestHost : public CarveScanHost {
public:
    TestHost(const std::wstring& device, uint64_t start, uint64_t end, const std::wstring& dest,
             CarveSearchKind kind = CarveSearchKind::Signature)
        : device(device), start(start), end(end), dest(dest), kind(kind), naming(kind)
    { }
    CarveSearchKind Kind() override { return kind; }
    CarveScanState& State() override { return state; }
    StopFlag& ScanStopFlag() override { return stop; }
    CString DevicePath() override { return CString(device); }
    uint64_t StartSector() override { return start; }
    uint64_t EndSector() override { return end; }
    CString Destination() override { return CString(dest); }
    bool ThoroughWanted() override { return thorough; }
    std::vector<FileType1> SignaturesForPass(bool thoroughPass) override
    {
        return thoroughPass ? thoroughTypes : generalTypes;
    }
    CarveNaming& Naming() override { return naming; }
    MediaAnswer AskMediaRemoved() override { return ++asked, answer; }
    void ShowMessage(const CString& text) override { messages.push_back(text.GetString()); }
    void AddResultRow(const CarveFound& found) override
    {
        rows.push_back({ found.key.GetString(), found.name.GetString(), found.path.GetString(), found.thorough });
        if (stopAfterRows != 0 && rows.size() == stopAfterRows)
            stop.store(1);
    }
    void PassStarting(bool thoroughPass) override { passes.push_back(thoroughPass); }
    void ScanFinished() override { finished = true; }

    std::wstring device;
    uint64_t start, end;
    std::wstring dest;
    CarveSearchKind kind;
    CarveScanState state;
    StopFlag stop{ 0 };
    CarveNaming naming;
    bool thorough = true;
    MediaAnswer answer = MediaAnswer::Skip;
    unsigned asked = 0;
    size_t stopAfterRows = 0;
    std::vector<std::wstring> messages;
    std::vector<Row> rows;
    std::vector<bool> passes;
    std::vector<FileType1> generalTypes, thoroughTypes;
    bool finished = false;
};

std::vector<uint8_t> FileBytes(const std::wstring& path)
{
    ReadOnlyFile f(path);
    return f.IsOpen() ? f.Read(0, static_cast<size_t>(f.Size())) : std::vector<uint8_t>();
}

class Carving : public ::testing::Test {
public:
    void SetUp() override
    {
        manifest = LoadCarveManifest(L"carve.img");
        if (manifest.empty())
            GTEST_SKIP() << "no carve manifest (ZR_IMAGES not set?)";
        ReadOnlyFile dev(kCarveDevice);
        ASSERT_TRUE(dev.IsOpen());
        sectors = dev.Size() / 512;
        ASSERT_GT(sectors, 0u);
    }
    void TearDown() override
    {
        std::map<std::string, std::string> saved;
        for (const std::wstring& dir : folders)
            TakeSavedFiles(dir, "", saved);
    }
    std::wstring Folder(const wchar_t* tag)
    {
        folders.push_back(NewTempFolder((std::wstring(L"zrcarve_") + tag).c_str()).GetString());
        return folders.back();
    }
    std::vector<CarveEntry> manifest;
    uint64_t sectors = 0;
    std::vector<std::wstring> folders;
};

} // namespace

// Every planted file is found at its offset with its type's next number, with and without the
// read-ahead thread; the saved file holds the device's bytes up to the item's end (the next
// header or the type's maximum size).
TEST_F(Carving, FindsEveryPlantedFileAndSavesItsBytes)
{
    for (bool readAhead : { true, false }) {
        SCOPED_TRACE(readAhead ? "read-ahead" : "reads on the pass thread");
        const std::wstring dest = Folder(L"all");
        TestHost host(kCarveDevice, 0, sectors - 1, dest);
        const SignatureSet set(CarveTypes());
        CarvePassSettings settings;
        settings.readAhead = readAhead;
        ASSERT_EQ(RunDeviceCarvePass(host, set, host.naming.ForPass(false), settings), CarvePassEnd::Completed);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.asked, 0u);
        EXPECT_EQ(host.state.progressSector.load(), sectors);
        EXPECT_EQ(host.rows.size(), manifest.size());

        std::map<std::wstring, unsigned> perType;
        for (size_t i = 0; i < manifest.size(); ++i) {
            const CarveEntry& e = manifest[i];
            SCOPED_TRACE(e.name);
            const std::wstring key = Widen(kKeyOfType.at(e.type));
            const std::wstring name = MakeNumberedFileName(key.c_str(), key.c_str(), L"", ++perType[key]).GetString();
            auto row = std::find_if(host.rows.begin(), host.rows.end(), [&](const Row& r) { return r.name == name; });
            ASSERT_NE(row, host.rows.end());
            EXPECT_EQ(row->path, dest + kRecovered + L"Signature Search\\General\\" + key + L"\\" + name);
            const std::vector<uint8_t> saved = FileBytes(row->path);
            ASSERT_FALSE(saved.empty());
            EXPECT_EQ(saved, ReadAt(kCarveDevice, e.offset, saved.size()));
            const uint64_t nextStart = i + 1 < manifest.size() ? manifest[i + 1].offset : sectors * 512;
            uint64_t maxSize = 0;
            for (size_t k = 0; k < set.Size(); ++k)
                if (MakeTypeKey(set.Get(k).type.extension) == CString(key.c_str()))
                    maxSize = set.Get(k).maxSize;
            if (nextStart - e.offset >= e.size && maxSize >= e.size)
                EXPECT_EQ(Sha256Hex(saved.data(), std::min<size_t>(saved.size(), e.size)), e.sha256);
            else
                EXPECT_EQ(saved.size(), std::min(nextStart - e.offset, maxSize));
        }
    }
}

// A second search into the same folder (a new session, its numbering fresh) numbers on past the
// files already there instead of overwriting them.
TEST_F(Carving, NeverOverwritesAnEarlierFind)
{
    const std::wstring dest = Folder(L"again");
    const SignatureSet set(std::vector<FileType1>{ CarveTypes()[0] });
    for (const wchar_t* firstName : { L"JPG00001.JPG", L"JPG00005.JPG" }) {
        TestHost host(kCarveDevice, 0, sectors - 1, dest);
        ASSERT_EQ(RunDeviceCarvePass(host, set, host.naming.ForPass(false), CarvePassSettings()),
                  CarvePassEnd::Completed);
        ASSERT_EQ(host.rows.size(), 4u);
        EXPECT_EQ(host.rows.front().name, firstName);
    }
    const std::vector<uint8_t> first = FileBytes(dest + kRecovered + L"Signature Search\\General\\JPG\\JPG00001.JPG");
    EXPECT_EQ(Sha256Hex(first.data(), std::min<size_t>(first.size(), manifest[0].size)), manifest[0].sha256);
}

// A stop keeps every item found before it: each opened item is listed and its file exists.
TEST_F(Carving, StopListsEveryItemFoundBeforeIt)
{
    TestHost host(kCarveDevice, 0, sectors - 1, Folder(L"stop"));
    host.stopAfterRows = 3;
    const SignatureSet set(CarveTypes());
    EXPECT_EQ(RunDeviceCarvePass(host, set, host.naming.ForPass(false), CarvePassSettings()), CarvePassEnd::Stopped);
    ASSERT_GE(host.rows.size(), 3u);
    EXPECT_LT(host.rows.size(), manifest.size());
    for (const Row& r : host.rows)
        EXPECT_NE(GetFileAttributesW(r.path.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(r.name);
}

// A device that cannot be opened: Retry asks again for every chunk, RetryAlways once per pass,
// Cancel stops the scan.
TEST_F(Carving, MediaQuestionFollowsTheAnswer)
{
    const SignatureSet set(CarveTypes());
    const std::wstring dest = Folder(L"gone");
    struct Case {
        MediaAnswer answer;
        CarvePassEnd end;
        unsigned asked;
        uint32_t stop;
    };
    for (const Case c : { Case{ MediaAnswer::Retry, CarvePassEnd::Completed, 1 + 4, 0 },
                          Case{ MediaAnswer::RetryAlways, CarvePassEnd::Completed, 1, 0 },
                          Case{ MediaAnswer::Cancel, CarvePassEnd::Cancelled, 1, 1 } }) {
        TestHost host(L"\\\\.\\PhysicalDrive9", 0, 4 * 512 - 1, dest);
        host.answer = c.answer;
        EXPECT_EQ(RunDeviceCarvePass(host, set, host.naming.ForPass(false), CarvePassSettings()), c.end);
        EXPECT_EQ(host.asked, c.asked);
        EXPECT_EQ(host.stop.load(), c.stop);
        EXPECT_TRUE(host.rows.empty());
    }
}

// The scan thread runs the General pass, then the Thorough pass on its own signatures, and clears
// its stop flag; without the Thorough box, or after a stop, only the General pass runs; a start
// not below the end is refused with the end-sector message.
TEST_F(Carving, ScanThreadRunsThePassesAskedFor)
{
    const std::wstring dest = Folder(L"thread");
    auto run = [&](TestHost& host) {
        CWinThread* thread = nullptr;
        ASSERT_NE(ZrBeginThreadInto(thread, CarveSearchThreadProc, &host), nullptr);
        ASSERT_EQ(WaitForSingleObject(thread->m_hThread, 60000), WAIT_OBJECT_0);
        delete thread;
        EXPECT_TRUE(host.finished);
        EXPECT_EQ(host.stop.load(), 0u);
    };
    TestHost host(kCarveDevice, 0, sectors - 1, dest);
    host.generalTypes = { CarveTypes()[2] };  // PDF
    host.thoroughTypes = { CarveTypes()[4] }; // GIF
    run(host);
    EXPECT_EQ(host.passes, (std::vector<bool>{ false, true }));
    ASSERT_EQ(host.rows.size(), 3u);
    EXPECT_FALSE(host.rows[1].thorough);
    EXPECT_TRUE(host.rows[2].thorough);
    EXPECT_EQ(host.rows[2].path, dest + kRecovered + L"Signature Search\\Omitted\\GIF\\GIF00001.GIF");
    // Back and Next: the session's second scan numbers from 1 again, passing over the first
    // scan's files, which stay; into another folder its names are the first scan's.
    const std::vector<uint8_t> firstGif = FileBytes(host.rows[2].path);
    host.rows.clear();
    run(host);
    ASSERT_EQ(host.rows.size(), 3u);
    EXPECT_EQ(host.rows[0].name, L"PDF00003.PDF");
    EXPECT_EQ(host.rows[2].name, L"GIF00002.GIF");
    EXPECT_EQ(FileBytes(dest + kRecovered + L"Signature Search\\Omitted\\GIF\\GIF00001.GIF"), firstGif);
    host.rows.clear();
    host.dest = Folder(L"thread2");
    run(host);
    ASSERT_EQ(host.rows.size(), 3u);
    EXPECT_EQ(host.rows[0].name, L"PDF00001.PDF");
    EXPECT_EQ(host.rows[2].name, L"GIF00001.GIF");

    TestHost unticked(kCarveDevice, 0, sectors - 1, dest);
    unticked.generalTypes = host.generalTypes;
    unticked.thoroughTypes = host.thoroughTypes;
    unticked.thorough = false;
    run(unticked);
    EXPECT_EQ(unticked.passes, (std::vector<bool>{ false }));

    TestHost stopped(kCarveDevice, 0, sectors - 1, dest);
    stopped.generalTypes = host.generalTypes;
    stopped.thoroughTypes = host.thoroughTypes;
    stopped.stopAfterRows = 1;
    run(stopped);
    EXPECT_EQ(stopped.passes, (std::vector<bool>{ false }));
    for (const Row& r : stopped.rows)
        EXPECT_FALSE(r.thorough);

    TestHost refused(kCarveDevice, 10, 10, dest);
    EXPECT_EQ(CarveSearchThreadProc(&refused), 0u);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_NE(refused.messages[0].find(L"End Sector"), std::wstring::npos);
    EXPECT_TRUE(refused.finished);
}

namespace {

// The repository's copy of a data file, read through Wine's Z: drive.
std::vector<FileType1> ShippedSignatures(const wchar_t* name, bool ticked)
{
    std::string here = __FILE__; // <repo>/tests/win/this file
    for (int up = 0; up < 3; ++up)
        here = here.substr(0, here.find_last_of("/\\"));
    std::wstring path = L"Z:" + Widen(here) + L"/resources/signatures" + name;
    for (wchar_t& ch : path)
        if (ch == L'/')
            ch = L'\\';
    ReadOnlyFile f(path);
    const std::vector<uint8_t> bytes = f.Read(0, static_cast<size_t>(f.Size()));
    const SignatureFileContent content = ParseSignatureFile(std::string(bytes.begin(), bytes.end()));
    std::vector<FileType1> list;
    std::vector<int32_t> offsets;
    if (ticked)
        AddTickedEntries(content, list, offsets, [](const CString&) { return true; });
    else
        AddAllEntries(content, list, offsets);
    return list;
}

} // namespace

// Each search over the carving medium with the shipped signature files, through the scan thread
// and the writer: every find of the truth is saved under its name and folder with exactly the
// bytes the truth gives; a second scan of the
// same session (Back, then Next) adds files under new names and leaves the first ones as they are.
TEST(CarvingMedium, EverySearchSavesWhatTheTruthSays)
{
    const CarveMediaTruth truth = LoadCarveMediaTruth(L"carvemedia.img");
    if (truth.found.empty())
        GTEST_SKIP() << "no carvemedia truth (ZR_IMAGES not set?)";
    const wchar_t kDevice[] = L"\\\\.\\PhysicalDrive6";
    ReadOnlyFile device(kDevice);
    ASSERT_TRUE(device.IsOpen());
    const uint64_t sectors = device.Size() / 512;
    const struct {
        CarveSearchKind kind;
        const char* search;
    } searches[] = { { CarveSearchKind::Photo, "photo" },
                     { CarveSearchKind::Signature, "sig" },
                     { CarveSearchKind::Video, "video" } };
    for (const auto& s : searches) {
        SCOPED_TRACE(s.search);
        const CarveSearchInfo& info = DescribeCarveSearch(s.kind);
        const std::wstring dest = NewTempFolder(L"zrmedia").GetString();
        TestHost host(kDevice, 0, sectors - 1, dest, s.kind);
        host.generalTypes = ShippedSignatures(info.generalFile, info.typesTicked);
        host.thoroughTypes = ShippedSignatures(info.thoroughFile, info.typesTicked);
        EXPECT_EQ(CarveSearchThreadProc(&host), 0u);
        EXPECT_TRUE(host.messages.empty());

        std::map<std::wstring, std::string> firstScan; // path -> sha256
        size_t expected = 0;
        for (const CarveFind& f : truth.found) {
            if (f.search != s.search)
                continue;
            ++expected;
            auto row = std::find_if(host.rows.begin(), host.rows.end(),
                                    [&](const Row& r) { return Narrow(r.name) == f.name; });
            ASSERT_NE(row, host.rows.end()) << f.name;
            EXPECT_EQ(row->thorough, f.pass == "thorough") << f.name;
            CString folder;
            ASSERT_TRUE(CarvePassFolder(dest.c_str(), s.kind, row->thorough, &folder));
            EXPECT_EQ(row->path, std::wstring(folder.GetString()) + L"\\" + Widen(f.key) + L"\\" + row->name);
            const std::vector<uint8_t> saved = FileBytes(row->path);
            EXPECT_EQ(saved.size(), f.end - f.start) << f.name;
            EXPECT_EQ(Sha256Hex(saved), f.sha256) << f.name;
            firstScan[row->path] = f.sha256;
        }
        EXPECT_EQ(host.rows.size(), expected);

        host.rows.clear();
        host.finished = false;
        EXPECT_EQ(CarveSearchThreadProc(&host), 0u);
        ASSERT_EQ(host.rows.size(), expected);
        for (const Row& r : host.rows)
            EXPECT_EQ(firstScan.count(r.path), 0u) << Narrow(r.path);
        for (const auto& [path, sha] : firstScan)
            EXPECT_EQ(Sha256Hex(FileBytes(path)), sha) << Narrow(path);
        std::map<std::string, std::string> taken;
        TakeSavedFiles(dest, "", taken);
        RemoveDirectoryW(dest.c_str());
    }
}

namespace {

// A medium of kTurnSectors sectors with a header at every third one, read one sector a chunk, so
// that a pass takes thousands of turns. Every `slowEvery`-th read takes `slowMs`; the read
// numbered `stopAt` (from 1; 0: none) asks for the stop first, and so does the scan of the header
// numbered `stopAtFind`, which then takes `slowMs` before the scan goes on.
constexpr uint64_t kTurnSectors = 6000;

struct TurnsRun : public SectorSource, public CarveReadHost, public CarveSink {
    TurnsRun(uint32_t slowEvery, DWORD slowMs, uint32_t stopAt, uint32_t stopAtFind)
        : slowEvery(slowEvery), slowMs(slowMs), stopAt(stopAt), stopAtFind(stopAtFind),
          set(std::vector<FileType1>{ Sig(".ZRT", "5A525454", "100000") }),
          engine(set, CarvePolicy::AllMatches, namer, *this, &stop)
    {
        range.end = kTurnSectors - 1;
        range.chunkSectors = 1;
    }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (!BeginSectorRead(count, buf) || sector >= kTurnSectors)
            return 0;
        const uint32_t n = uint32_t(std::min<uint64_t>(count, kTurnSectors - sector));
        for (uint32_t i = 0; i < n; ++i)
            if ((sector + i) % 3 == 0)
                memcpy(buf + size_t(i) * 512, "ZRTT", 4);
        const uint32_t read = ++reads;
        if (read == stopAt)
            stop.store(1);
        if (read == stopAt || read % slowEvery == 0)
            Sleep(slowMs);
        return size_t(n) * 512;
    }
    MediaAnswer MediaRemovedAnswer() override { return MediaAnswer::Cancel; }
    bool OnOpen(CarveItem& item) override
    {
        starts.push_back(item.start);
        if (starts.size() == stopAtFind) {
            stop.store(1);
            Sleep(slowMs);
        }
        return true;
    }
    bool OnClose(const CarveItem&, uint64_t, CarveClose) override { return true; }

    const uint32_t slowEvery;
    const DWORD slowMs;
    const uint32_t stopAt, stopAtFind;
    std::atomic<uint32_t> reads{ 0 };
    std::vector<uint64_t> starts;
    StopFlag stop{ 0 };
    CarveScanState state;
    CarveRange range;
    MediaQuestion question{ *this };
    const SignatureSet set;
    TypeNumbering namer;
    CarveEngine engine;
    bool fed = false;
};

UINT __cdecl RunTurns(LPVOID param)
{
    TurnsRun& run = *static_cast<TurnsRun*>(param);
    CarveChunkReader reader(run, run.range, run.question);
    run.engine.Begin(0);
    run.fed = FeedCarveChunksInTurns(reader, run.engine, run.state, run.stop);
    run.engine.Finish();
    return 0;
}

// Holds a waiting thread just after it has said that it sleeps, as a busy machine may.
void HoldTheSleeper()
{
    Sleep(1);
}

} // namespace

// The two threads of a pass take turns over thousands of chunks, whatever the timing: reads slow
// enough that the waiting side goes to sleep, and that side held between saying so and looking
// once more; every header is scanned once, in order. A stop ends the pass whatever its threads
// wait for then: the read turn (the other side reading) or the turn to scan (the other side
// scanning); the headers scanned are the first ones, in order.
TEST(CarvingTurns, TwoThreadsTakeTurnsAndAStopEndsThePass)
{
    struct Case {
        const char* what;
        uint32_t slowEvery;
        DWORD slowMs;
        uint32_t stopAt, stopAtFind;
    };
    const CarveWaitHook before = SetCarveWaitHook(HoldTheSleeper);
    for (const Case c : { Case{ "slow reads, many turns", 40, 12, 0, 0 },
                          Case{ "a stop while the other side reads", 1000000, 40, 900, 0 },
                          Case{ "a stop while the other side scans", 1000000, 40, 0, 300 } }) {
        SCOPED_TRACE(c.what);
        // On the heap: a pass that never ends keeps using it.
        auto* run = new TurnsRun(c.slowEvery, c.slowMs, c.stopAt, c.stopAtFind);
        CWinThread* thread = nullptr;
        ASSERT_NE(ZrBeginThreadInto(thread, RunTurns, run), nullptr);
        if (WaitForSingleObject(thread->m_hThread, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the pass does not end (" << run->reads.load() << " chunks read)";
            run->stop.store(1);
            EXPECT_EQ(WaitForSingleObject(thread->m_hThread, 10000), (DWORD)WAIT_OBJECT_0) << "a stop does not end it";
            SetCarveWaitHook(before);
            return; // what it uses stays
        }
        delete thread;
        EXPECT_TRUE(run->fed);
        const bool stopped = c.stopAt != 0 || c.stopAtFind != 0;
        const size_t headers = size_t(kTurnSectors / 3);
        if (stopped) {
            EXPECT_LT(run->starts.size(), headers);
            EXPECT_LE(run->reads.load(), std::max(c.stopAt, c.stopAtFind * 3) + 2);
        } else {
            EXPECT_EQ(run->starts.size(), headers);
            EXPECT_EQ(run->state.progressSector.load(), kTurnSectors);
        }
        for (size_t i = 0; i < run->starts.size(); ++i)
            ASSERT_EQ(run->starts[i], uint64_t(i) * 3 * 512) << i;
        delete run;
    }
    SetCarveWaitHook(before);
}

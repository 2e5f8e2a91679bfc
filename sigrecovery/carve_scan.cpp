#include "sigrecovery/carve_scan.h"

#include <map>
#include <memory>

#include "devicepath.h"
#include "app/pure/sector_fields.h"
#include "storage/sector_source.h"
#include "thread.h"

CarveScanHost::~CarveScanHost() = default;

CString CarveWriteErrorText(DWORD error, const CString& path, bool cutShort)
{
    CString text;
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        text.Format(L"The destination disk is full. The search has been stopped; the files found until now "
                    L"are in the destination folder.\n\n%s",
                    path.GetString());
    else
        text.Format(L"A found file could not be saved (error %lu). The search has been stopped.\n\n%s",
                    static_cast<unsigned long>(error), path.GetString());
    if (cutShort)
        text += L"\n\nThis file is incomplete: it holds only the bytes that could be written.";
    return text;
}

namespace {

// The device of one pass: one handle kept open for reading, opened again before a retry.
class PassDevice : public SectorSource, public CarveReadHost {
public:
    PassDevice(CarveScanHost& host, const CString& path) : m_host(host), m_path(path) { ReopenDevice(); }
    bool IsOpen() const { return m_source->IsOpen(); }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override { return m_source->Read(sector, count, buf); }
    MediaAnswer MediaRemovedAnswer() override { return m_host.AskMediaRemoved(); }
    bool ReopenDevice() override
    {
        m_source.reset();
        m_source.reset(new KeptHandleSectorSource(m_path));
        return m_source->IsOpen();
    }

private:
    CarveScanHost& m_host;
    CString m_path;
    std::unique_ptr<KeptHandleSectorSource> m_source;
};

// Creates every folder of path below (and not including) base.
bool EnsureFoldersBelow(const CString& base, const CString& path)
{
    for (int at = path.Find(L'\\', base.GetLength() + 1); at > 0; at = path.Find(L'\\', at + 1)) {
        const CString folder = path.Left(at);
        if (!CreateDirectoryW(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

// Saves every found item below the destination as its bytes pass, and lists it when it closes.
class FoundFileWriter : public CarveSink {
public:
    FoundFileWriter(CarveScanHost& host, const SignatureSet& set, CarveNamer& namer, const CarvePassSettings& s)
        : m_host(host), m_set(set), m_namer(namer), m_kind(s.kind), m_thorough(s.thorough),
          m_destination(host.Destination())
    { }
    ~FoundFileWriter() override
    {
        for (auto& entry : m_open)
            CloseHandle(entry.second.handle);
    }

    bool OnOpen(CarveItem& item) override
    {
        const FileType1& type = m_set.Get(static_cast<size_t>(item.record)).type;
        // Never overwrite: an existing name gives way to the type's next number.
        for (int attempt = 0; attempt < 100000; ++attempt) {
            CString path;
            if (!CarveFilePath(m_destination, m_kind, m_thorough, type.extension, item.name, &path))
                return Fail(ERROR_BAD_PATHNAME, m_destination);
            if (!EnsureFoldersBelow(m_destination, path))
                return Fail(GetLastError(), path);
            if (IsRawDevicePath(path))
                return Fail(ERROR_ACCESS_DENIED, path); // never a device
            HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                m_open[item.id] = OpenFile{ h, path };
                return true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return Fail(error, path);
            item.name = m_namer.Name(type);
        }
        return Fail(ERROR_FILE_EXISTS, m_destination);
    }

    bool OnData(const CarveItem& item, const uint8_t* data, size_t n) override
    {
        auto it = m_open.find(item.id);
        if (it == m_open.end())
            return true;
        while (n > 0) {
            const DWORD part = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(it->second.handle, data, part, &written, nullptr) || written == 0) {
                // The file stays, cut short here, and is listed as incomplete.
                if (!m_failed)
                    m_cutShort = item.id;
                return Fail(written == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError(), it->second.path);
            }
            data += written;
            n -= written;
        }
        return true;
    }

    bool OnClose(const CarveItem& item, uint64_t end, CarveClose why) override
    {
        CString path;
        auto it = m_open.find(item.id);
        if (it != m_open.end()) {
            CloseHandle(it->second.handle);
            path = it->second.path;
            m_open.erase(it);
        }
        // A find the program's close ended where the scan had got to is not the file: it goes,
        // rather than staying behind cut short. One that ended at its own end stays.
        if (why == CarveClose::EndOfData && m_host.State().closing.load()) {
            if (!path.IsEmpty())
                DeleteFileW(path);
            return true;
        }
        const FileType1& type = m_set.Get(static_cast<size_t>(item.record)).type;
        CarveFound found;
        found.key = MakeTypeKey(type.extension);
        found.name = item.name;
        found.path = path;
        found.thorough = m_thorough;
        // Incomplete: any file the failure stopped before its own end, not only the one whose
        // write failed (one open beside it, or beside a file that could not be made).
        found.incomplete = !path.IsEmpty() && why == CarveClose::CutShort;
        m_host.AddResultRow(found);
        return true;
    }

    bool Failed() const { return m_failed; }
    DWORD Error() const { return m_error; }
    const CString& ErrorPath() const { return m_errorPath; }
    // The failure left the file it names cut short.
    bool ErrorCutShort() const { return m_cutShort != kNone; }

private:
    bool Fail(DWORD error, const CString& path)
    {
        if (!m_failed) {
            m_failed = true;
            m_error = error;
            m_errorPath = path;
        }
        return false;
    }

    struct OpenFile {
        HANDLE handle;
        CString path;
    };
    CarveScanHost& m_host;
    const SignatureSet& m_set;
    CarveNamer& m_namer;
    CarveSearchKind m_kind;
    bool m_thorough;
    CString m_destination;
    std::map<uint64_t, OpenFile> m_open;
    static constexpr uint64_t kNone = UINT64_MAX;
    bool m_failed = false;
    DWORD m_error = 0;
    CString m_errorPath;
    uint64_t m_cutShort = kNone; // the item whose write failed part way
};

std::atomic<CarveWaitHook> g_waitHook{ nullptr };

// One side of the read-ahead waiting for the other: spins briefly, then yields (a cached chunk
// takes tens of microseconds, less than an event round trip costs under Wine), then sleeps on an
// event that the other side sets only when it sees the sleeper's flag. `ready` is asked any number
// of times, once more after the flag is up so that a wake between the two is not lost: it only
// looks, and what the thread waited for it takes after the wait.
class Waiter {
public:
    Waiter() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { }
    ~Waiter() { CloseHandle(m_event); }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    template <class Ready> void WaitFor(Ready ready)
    {
        for (int spin = 0; spin < 2000; ++spin) {
            if (ready())
                return;
            if (spin < 1000)
                YieldProcessor();
            else
                SwitchToThread();
        }
        while (!ready()) {
            m_sleeping.store(true);
            if (const CarveWaitHook hook = g_waitHook.load())
                hook();
            if (!ready())
                WaitForSingleObject(m_event, 1);
            m_sleeping.store(false);
        }
    }
    void Wake()
    {
        if (m_sleeping.load())
            SetEvent(m_event);
    }

private:
    HANDLE m_event;
    std::atomic<bool> m_sleeping{ false };
};

// Two threads take turns: each reads the next chunk into its own buffer, then waits for its
// turn and scans that chunk, while the other thread reads the following one. Reading overlaps
// matching, and each chunk is scanned on the processor that read it, where its bytes still are
// (handing a filled buffer to another processor made the scan wait on its cache lines).
struct TakeTurns {
    TakeTurns(CarveChunkReader& r, CarveEngine& e, CarveScanState& s, const StopFlag& f)
        : reader(r), engine(e), state(s), stop(f)
    { }
    // No more chunks: the data ended, the engine stopped, or a stop was asked for.
    bool Ended() const { return over.load() || IsStopped(&stop); }

    CarveChunkReader& reader;
    CarveEngine& engine;
    CarveScanState& state;
    const StopFlag& stop;
    std::atomic<bool> reading{ false };  // one reader at a time: the reader reads in order
    std::atomic<uint64_t> nextRead{ 0 }; // the index of the chunk read next
    std::atomic<uint64_t> turn{ 0 };     // the index of the chunk scanned next
    // No more chunks: the data ended, the engine stopped, or a side left at a stop.
    std::atomic<bool> over{ false };
    Waiter waits[2];
};

// The loop of one of the two threads (side 0 or 1). A stop ends it whatever it waits for.
void TakeTurnsLoop(TakeTurns& tt, int side)
{
    CarveChunk chunk;
    Waiter& mine = tt.waits[side];
    Waiter& other = tt.waits[1 - side];
    const auto leave = [&] {
        tt.over.store(true);
        other.Wake();
    };
    for (;;) {
        // Take the read turn; the other side may still be reading the chunk before this one.
        bool took = false;
        while (!tt.Ended() && !(took = !tt.reading.exchange(true)))
            mine.WaitFor([&] { return tt.Ended() || !tt.reading.load(); });
        if (!took) {
            leave();
            return;
        }
        const uint64_t index = tt.nextRead.fetch_add(1);
        const bool got = !IsStopped(&tt.stop) && tt.reader.Next(chunk);
        tt.reading.store(false);
        other.Wake();
        // Scan it when the chunks before it are done.
        mine.WaitFor([&] { return tt.Ended() || tt.turn.load() == index; });
        if (tt.Ended()) {
            leave();
            return;
        }
        if (got) {
            tt.state.progressSector.store(chunk.firstSector + chunk.sectorCount);
            if (!FeedCarveChunk(tt.engine, chunk))
                tt.over.store(true);
        } else {
            tt.over.store(true);
        }
        tt.turn.fetch_add(1);
        other.Wake();
    }
}

UINT __cdecl TakeTurnsProc(LPVOID param)
{
    TakeTurnsLoop(*static_cast<TakeTurns*>(param), 1);
    return 0;
}

} // namespace

CarveWaitHook SetCarveWaitHook(CarveWaitHook hook)
{
    return g_waitHook.exchange(hook);
}

bool FeedCarveChunksInTurns(CarveChunkReader& reader, CarveEngine& engine, CarveScanState& state, const StopFlag& stop)
{
    TakeTurns tt(reader, engine, state, stop);
    CWinThread* helper = nullptr;
    if (ZrBeginThreadInto(helper, TakeTurnsProc, &tt) == nullptr)
        return false;
    TakeTurnsLoop(tt, 0);
    WaitForSingleObject(helper->m_hThread, INFINITE);
    delete helper;
    return true;
}

CarvePassEnd RunDeviceCarvePass(CarveScanHost& host, const SignatureSet& set, CarveNamer& namer,
                                const CarvePassSettings& settings)
{
    CarveScanState& state = host.State();
    StopFlag& stop = host.ScanStopFlag();
    const CString path = host.DevicePath();
    CarveRange range;
    range.start = host.StartSector();
    range.end = host.EndSector();
    range.chunkSectors = settings.chunkSectors;
    HANDLE probe = OpenDeviceForReading(path);
    if (probe != INVALID_HANDLE_VALUE) {
        range.deviceBytes = DeviceSizeBytes(probe);
        CloseHandle(probe);
    }
    state.progressSector.store(range.start);

    PassDevice device(host, path);
    MediaQuestion question(device);
    if (!device.IsOpen()) {
        const MediaAnswer answer = question.Ask();
        if (answer == MediaAnswer::Cancel) {
            stop.store(1);
            return CarvePassEnd::Cancelled;
        }
        if (answer == MediaAnswer::Retry)
            device.ReopenDevice();
    }

    FoundFileWriter writer(host, set, namer, settings);
    CarveEngine engine(set, settings.kind == CarveSearchKind::Photo ? CarvePolicy::FirstMatch : CarvePolicy::AllMatches,
                       namer, writer, &stop);
    CarvePassEnd end;
    CarveChunkReader reader(device, range, question);
    engine.Begin(range.start); // before the helper may feed it
    if (settings.readAhead && FeedCarveChunksInTurns(reader, engine, state, stop)) {
        engine.Finish();
        end = CarvePassOutcome(engine, reader.Cancelled());
        if (end == CarvePassEnd::Completed && IsStopped(&stop))
            end = CarvePassEnd::Stopped;
    } else {
        end = RunCarvePass(device, range, engine, question, &stop, &state.progressSector);
    }

    if (end == CarvePassEnd::Cancelled || end == CarvePassEnd::SinkFailed)
        stop.store(1);
    if (end == CarvePassEnd::SinkFailed && writer.Failed())
        host.ShowMessage(CarveWriteErrorText(writer.Error(), writer.ErrorPath(), writer.ErrorCutShort()));
    return end;
}

namespace {

// One pass of a search over the signatures the host gives for it. An empty set reads nothing.
void RunSearchPass(CarveScanHost& host, CarveSearchKind kind, bool thorough)
{
    const SignatureSet set(host.SignaturesForPass(thorough));
    if (thorough && set.Empty())
        return;
    host.PassStarting(thorough);
    if (set.Empty())
        return;
    CarvePassSettings settings;
    settings.kind = kind;
    settings.thorough = thorough;
    RunDeviceCarvePass(host, set, host.Naming().ForPass(thorough), settings);
}

} // namespace

UINT __cdecl CarveSearchThreadProc(LPVOID param)
{
    CarveScanHost* host = static_cast<CarveScanHost*>(param);
    if (host == nullptr)
        return 1;
    const CarveSearchKind kind = host->Kind();
    StopFlag& stop = host->ScanStopFlag();
    if (!IsScanRange(host->StartSector(), host->EndSector())) {
        host->ShowMessage(SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart));
    } else {
        host->Naming().Restart();
        RunSearchPass(*host, kind, false);
        if (!IsStopped(&stop) && host->ThoroughWanted())
            RunSearchPass(*host, kind, true);
    }
    host->ScanFinished();
    stop.store(0);
    return 0;
}

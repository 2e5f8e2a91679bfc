// The carving scans on a device: reading ahead while the engine matches (two threads that take
// turns, each scanning the chunk it read), the writer of found files, and the scan thread of the
// carving searches. The dialogs that start them talk to the scan through CarveScanHost.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "sigrecovery/pure/carve_engine.h"
#include "sigrecovery/pure/carve_output.h"
#include "sigrecovery/pure/carve_pass.h"
#include "sigrecovery/pure/carve_results.h"
#include "sigrecovery/pure/carve_search.h"
#include "storage/pure/stop_flag.h"

// What one running carving search shares between its dialog and its scan threads. It belongs to
// the search's session, not to the program: nothing of one search is left for the next.
struct CarveScanState {
    // Set before the stop when the program closes: a find still open then is cut short by the
    // close, not by its data, and is deleted rather than kept. Cleared by the dialog before a scan.
    std::atomic<bool> closing{ false };
    // The next sector the running pass reads; the dialog shows it from a timer.
    std::atomic<uint64_t> progressSector{ 0 };
};

// What the dialog of a carving search gives its scan. Called on the scan's threads.
class CarveScanHost {
public:
    virtual ~CarveScanHost();
    virtual CarveSearchKind Kind() = 0;
    virtual CarveScanState& State() = 0;
    // The search's one stop: set by the dialog's Stop and close, and by a pass that must end (the
    // media question cancelled, a found file that cannot be written); polled before every chunk
    // and every sector; cleared by the scan at its end.
    virtual StopFlag& ScanStopFlag() = 0;
    virtual CString DevicePath() = 0;
    virtual uint64_t StartSector() = 0;
    virtual uint64_t EndSector() = 0;
    virtual CString Destination() = 0;
    // The Thorough pass follows an unstopped General pass only when the user asked for it.
    virtual bool ThoroughWanted() { return true; }
    // The signatures of a pass: Photo Search's General or Advance list; the ticked types of the
    // Signature or Video Search data file of the pass. Asked just before the pass.
    virtual std::vector<FileType1> SignaturesForPass(bool thorough) = 0;
    // The numbering of the finds; the scan thread starts it again for every scan.
    virtual CarveNaming& Naming() = 0;
    // "The selected storage device is no longer available." (dialog 256), modal.
    virtual MediaAnswer AskMediaRemoved() = 0;
    // A message box over the dialog ("Message", information icon).
    virtual void ShowMessage(const CString& text) = 0;
    // Before a pass: texts, summary rows and progress range of the dialog.
    virtual void PassStarting(bool thorough) { }
    // A closed item, with the full path it was saved to (empty when it could not be). Photo
    // Search reads its thumbnail back from that file, off the scan's threads.
    virtual void AddResultRow(const CarveFound& found) = 0;
    // After the last pass: the dialog's end steps (guide text, buttons).
    virtual void ScanFinished() { }
};

// The texts a pass shows when it ends by a write error; cutShort: the error left the file at path
// incomplete.
CString CarveWriteErrorText(DWORD error, const CString& path, bool cutShort);

struct CarvePassSettings {
    CarveSearchKind kind = CarveSearchKind::Signature;
    bool thorough = false;
    uint32_t chunkSectors = kCarveChunkSectors;
    // Two threads take turns reading ahead and scanning, one chunk buffer each; false: reads
    // and scanning on the pass's thread alone.
    bool readAhead = true;
};

// Feeds the engine (begun, not finished) the reader's chunks on two threads that take turns: the
// calling thread and a helper, each scanning the chunk it read, in order. Ends at the end of the
// data, when the engine stops, or at a stop, whatever either thread waits for then. False when
// no helper thread could be made (nothing was read).
bool FeedCarveChunksInTurns(CarveChunkReader& reader, CarveEngine& engine, CarveScanState& state, const StopFlag& stop);

// Tests: called by a thread of FeedCarveChunksInTurns that waits for the other, after it has said
// that it sleeps and before it looks once more, where a busy machine may hold it. Returns the
// hook it replaces; none in the program.
using CarveWaitHook = void (*)();
CarveWaitHook SetCarveWaitHook(CarveWaitHook hook);

// One pass over the host's range with the given set: found files are saved below the host's
// destination and listed through AddResultRow. The host's stop flag is polled throughout; a
// cancelled question or a write error sets it. Every pending item is closed and listed whatever
// the way out.
CarvePassEnd RunDeviceCarvePass(CarveScanHost& host, const SignatureSet& set, CarveNamer& namer,
                                const CarvePassSettings& settings);

// The scan thread of every carving search (param: the dialog's CarveScanHost): the numbering
// started again at 1, the General pass,
// then, unless it was stopped and when the user asked for it, the Thorough pass, then the
// dialog's end steps; the stop flag is cleared at the end. A range whose end is not after its
// start is refused with the end-sector message.
UINT __cdecl CarveSearchThreadProc(LPVOID param);

// The carving scans on a device: reading ahead while the engine matches (two threads that take
// turns, each scanning the chunk it read), the writer of found files, and the Signature and Video
// pass threads. The dialogs that start them talk to the scan through CarveScanHost.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "sigrecovery/pure/carve_engine.h"
#include "sigrecovery/pure/carve_output.h"
#include "sigrecovery/pure/carve_pass.h"

// Stop requests of the carving scans: set by the dialogs' Stop buttons (and by a scan that must
// end), polled before every chunk and every sector, cleared by the dialogs before a scan and by
// the Signature/Video pass thread at its end. The only state that crosses threads during a pass.
extern std::atomic<int32_t> StopSignatureScan;
extern std::atomic<int32_t> StopPhotoScan;
// Items closed by General and by Thorough passes of Signature and Video Search; the dialogs set
// them to 0 when they start.
extern std::atomic<uint64_t> GeneralFoundCount;
extern std::atomic<uint64_t> OmittedFoundCount;
// The next sector the running carving pass will read; the dialogs show it from a timer.
extern std::atomic<uint64_t> CarveProgressSector;

// What the dialog of a carving search gives its scan. Called on the scan's threads.
class CarveScanHost {
public:
    virtual ~CarveScanHost();
    virtual CString DevicePath() = 0;
    virtual uint64_t StartSector() = 0;
    virtual uint64_t EndSector() = 0;
    virtual CString Destination() = 0;
    // "The selected storage device is no longer available." (dialog 256), modal.
    virtual MediaAnswer AskMediaRemoved() = 0;
    // A message box over the dialog ("Message", information icon).
    virtual void ShowMessage(const CString& text) = 0;
    // A closed item: its type key (JPG), its name and the full path it was saved to.
    virtual void AddResultRow(const CString& key, const CString& name, const CString& path) = 0;
    // Photo Search: a closed picture's bytes (at most 64 MiB of it) for its thumbnail.
    virtual void AddThumbnail(const std::vector<uint8_t>& bytes, const CString& name) { }
    // Before a pass: texts, summary rows and progress range of the dialog.
    virtual void PassStarting(bool thorough) { }
    // Signature and Video: empties the shared lists and loads the Thorough file's ticked types
    // into SignatureFileTypeList / SignatureOffsetList.
    virtual void LoadThoroughSignatures() { }
    // After the last pass: the dialog's end steps (guide text, buttons).
    virtual void ScanFinished() { }
    // Signature and Video: the numbers that continue from pass to pass (the summary's LastfileNo).
    virtual TypeNumbering& Numbering() = 0;
};

// The texts a pass shows when it ends by a write error.
CString CarveWriteErrorText(DWORD error, const CString& path);

struct CarvePassSettings {
    CarveSearchKind kind = CarveSearchKind::Signature;
    bool thorough = false;
    uint32_t chunkSectors = kCarveChunkSectors;
    // Two threads take turns reading ahead and scanning, one chunk buffer each; false: reads
    // and scanning on the pass's thread alone.
    bool readAhead = true;
};

// One pass over the host's range with the given set: found files are saved below the host's
// destination and listed through AddResultRow. stop is polled throughout; a cancelled question or
// a write error sets it. Every pending item is closed and listed whatever the way out.
CarvePassEnd RunDeviceCarvePass(CarveScanHost& host, const SignatureSet& set, CarveNamer& namer,
                                const CarvePassSettings& settings, std::atomic<int32_t>& stop);

// Photo Search's pass: the General or Advance lists, names "GNKX"/"THKX" with the pass's hit
// number, each closed picture handed to AddThumbnail; StopPhotoScan ends it.
CarvePassEnd RunPhotoScanPass(CarveScanHost& host, bool thorough, const CarvePassSettings& settings);

// Signature and Video Search: the General pass over the loaded lists, then, unless stopped, the
// Thorough pass over the reloaded lists, then the dialog's end steps; the stop flag is cleared at
// the end. param is the dialog's CarveScanHost.
UINT __cdecl SignatureSearchThreadProc(LPVOID param);
UINT __cdecl VideoSearchThreadProc(LPVOID param);

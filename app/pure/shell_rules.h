// Rules of the application shell that need no window: the command-line log path, the shell
// command of the scan-log association, the names of our own temporary files, the start-up log
// header check and the arithmetic of the progress bars.
#pragma once

#include <cstdint>

#include "framework/pure/cstring.h"

// The product title, shown in captions, the exit question and the about entry.
extern const wchar_t* const kProductTitle;
// The marker a scan log of this program carries after its kind string.
extern const wchar_t* const kScanLogMarker;

// The scan-log path from the program's command line: blanks trimmed at both ends, then (when the
// text starts or ends with a double quote) one leading and then one trailing quote removed.
CString ParseCommandLineLogPath(const CString& commandLine);

// The shell command of the scan-log association: the program's path and the document argument,
// both quoted, so that paths with blanks reach the program as one argument.
CString BuildLogOpenCommand(const CString& programPath);

// True for the names the file-opening workers write into the temporary folder: "VKD", one or
// more decimal digits, and optionally "." and an extension without further dots or blanks at its
// ends. Every other file, whatever it contains, belongs to someone else.
bool IsProgramTempFileName(const CString& name);

// The start-up log header: the marker must match and the search mode must be one whose whole log
// the program can load at start (1 Basic, 2 Deep).
bool IsAcceptedStartupLog(const CString& marker, int32_t searchMode);

// "Do you want to exit from <title>?"
CString ExitQuestionText();

// A dialog's caption text: "<title> - <text>", or the title alone when `text` is the title.
CString GlowingCaption(const CString& text);

// FALSE only when `text` is exactly the one character `ch`.
bool IsNotSingleChar(const CString& text, wchar_t ch);

// A save path as the saving dialog shows it: above 70 characters every "\" gets a blank before
// it so that the label can wrap.
CString SaveStatusDisplayText(const CString& path);

// How a progress bar shows a 64-bit range. A small range (below 0x7FFFFFFF) counts steps
// exactly; a larger one is shown in whole percent, forward only.
struct ZrProgressPlan {
    bool small = true;
    int32_t rangeMax = 0; // the control's upper limit (its lower one is 0)
    int32_t step = 1;
    bool fullAtOnce = false; // the step exceeds the range: show the bar full
};
ZrProgressPlan PlanProgressRange(uint64_t start, uint64_t end, int32_t step);

// Percent of a large range reached at `position`, clamped to 0..100 (a position before the start
// is 0, past the end 100); 0 when the range is empty.
int32_t ProgressPercent(uint64_t start, uint64_t end, uint64_t position);

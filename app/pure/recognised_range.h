// The texts behind the selection of a partition recognised on a logical drive: what its tree
// item's text says, and the sector range and limit shown for it.
#pragma once
#include <cstdint>

#include "framework/pure/cstring.h"

// "Recognised2 - 1024 MB - NTFS": name "Recognised2", number 2, file system "NTFS".
struct RecognisedItemText {
    CString name;   // the part before the first "-", trimmed
    int number = 0; // the name without the word "Recognised"; 0 when none
    CString fsName; // the part after the last "-", trimmed
};
RecognisedItemText ParseRecognisedItemText(const CString& text);

// The range edits and slider limit of a recognised partition. The drive's size comes from the
// first key ("\\.\X:|sectors") that holds the drive and a "|"; without one the partition's end is
// the limit. An end beyond the drive is shown as the drive's last sector count instead.
struct RecognisedRange {
    CString startText;
    CString endText;
    CString limitText;
    uint64_t driveSectors = 0;
};
RecognisedRange ComputeRecognisedRange(const CString& startText, const CString& endText,
                                       const CStringArray& logicalDriveKeys, const CString& drive);

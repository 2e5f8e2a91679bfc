// What sets the three carving searches apart, as data: one description each, so that one dialog
// class and one scan routine serve Photo, Signature and Video Search. Also the texts that only the
// carving searches show, and the numbering of the files a search session finds.
#pragma once

#include <cstdint>

#include "cstring.h"
#include "sigrecovery/pure/carve_engine.h"
#include "sigrecovery/pure/carve_output.h"

struct CarveSearchInfo {
    CarveSearchKind kind;
    const wchar_t* caption;       // "Signature Search": the window caption, the "Search Type" value,
                                  // the search's folder below the destination
    const wchar_t* kindWord;      // "Signature": the pass texts and the results-location text
    const wchar_t* generalFile;   // data file of the General pass, with its leading backslash
    const wchar_t* thoroughFile;  // data file of the Thorough pass
    CarvePolicy policy;           // Photo: the first match of a sector; the others: every match
    bool typesTicked;             // the user ticks the types to look for (type list of both files)
    bool thumbnails;              // found pictures are shown as thumbnails
    bool typeCountsShown;         // the per-type counts are a visible list
    int countColumnWidth;         // width of "No. of files found" (0 where the list is hidden)
    uint64_t minSectorSpan;       // the smallest End - Start the drive step accepts
    const wchar_t* clearingTitle; // first line of the notice shown while the full list is cleared
    const wchar_t* clearingNote;  // its second line, also the note over the list
    const wchar_t* rangeHelpTip;  // tool tip of the sector-range help button
};

const CarveSearchInfo& DescribeCarveSearch(CarveSearchKind kind);

// ---- Texts ----------------------------------------------------------------------------------

// Where the results of both passes are saved, for the guide line of the options step.
CString CarveResultsLocationText(CarveSearchKind kind);
// The running pass, shown under the progress bar.
CString CarvePassText(CarveSearchKind kind, bool thorough);
// The two paragraphs beside the Thorough check box.
extern const wchar_t* const kCarveThoroughExplanation;
// Signature and Video Search: Next on the type step with no type ticked.
extern const wchar_t* const kCarveNoTypeTickedText;
// Title of the folder browser for the destination.
extern const wchar_t* const kCarveBrowseTitle;

// ---- Selection summary ----------------------------------------------------------------------

struct CarveSummaryRow {
    CString name;
    CString value;
};

// The rows that tell the chosen source on the options step, by the kind of the selected tree
// item ("Logical", "Hard Disk", "part"; any other kind gives none). partitionType is the
// property list's type row.
std::vector<CarveSummaryRow> CarveSelectionSummary(CarveSearchKind kind, const CString& itemKind,
                                                   const CString& partitionType, uint64_t start, uint64_t end);

// ---- Progress -------------------------------------------------------------------------------

// The bar position, out of `steps`, after `done` of `span` sectors: in proportion over any span,
// short or long, and never past the end.
uint32_t CarveProgressPosition(uint64_t done, uint64_t span, uint32_t steps);

// ---- Numbering ------------------------------------------------------------------------------

// The number in a Signature or Video find's name: the digits after the type key (JPG00012.JPG
// gives 12); 0 when the name does not start with the key followed by digits.
uint64_t FoundNameNumber(const CString& name, const CString& key);

// The names of the files one scan finds: every scan (also the next one after Back and Next)
// numbers from 1 again. Photo Search numbers each pass's finds after its own prefix ("GNKX",
// "THKX"); Signature and Video Search number per type, on through both passes. A name whose file
// already exists gives way to the next number when the file is made, so no earlier find is
// overwritten.
class CarveNaming {
public:
    explicit CarveNaming(CarveSearchKind kind) : m_kind(kind) { }
    CarveNaming(const CarveNaming&) = delete;
    CarveNaming& operator=(const CarveNaming&) = delete;

    CarveNamer& ForPass(bool thorough);
    // A new scan: every numbering starts again at 1.
    void Restart();

private:
    CarveSearchKind m_kind;
    TypeNumbering m_perType;
    HitNumbering m_general{ L"GNKX" };
    HitNumbering m_thorough{ L"THKX" };
};

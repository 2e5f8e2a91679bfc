// What a carving search has found, as its lists show it: the found files (at most 2,000 shown at
// a time), the count per file type and the count per pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "sigrecovery/pure/filetype.h"

// A found file as the scan hands it on.
struct CarveFound {
    CString key;           // the type key, e.g. JPG
    CString name;          // its numbered name
    CString path;          // the full path it was saved to; empty when it could not be saved
    bool thorough = false; // found by the Thorough pass
    // Its file is cut short: the destination took only part of its bytes.
    bool incomplete = false;
};

// The text of a find's row in the result and thumbnail lists: its name, marked when its file is
// incomplete.
CString CarveRowText(const CarveFound& found);

// The result list and the thumbnail list show at most this many rows.
constexpr size_t kCarveListLimit = 2000;

enum class CarveListStep {
    Append,          // the row is added
    ClearWithNotice, // the list is emptied, with the one-second notice, and the row added
    ClearQuietly,    // the same without the notice: a stop is under way and must not wait
};

// What happens to a list showing `shown` rows when one more comes. A full list is emptied before
// the next row; the row itself always follows, also while stopping: every find stays listed.
CarveListStep NextListStep(size_t shown, bool stopping);

// The finds of one scan as the dialog shows them. Counts only grow, and only with finds: a
// clearing empties the shown list and touches no count, so they cannot wrap, whichever passes
// the cleared rows came from. Every shown row keeps its own path and pass.
class CarveResults {
public:
    struct TypeRow {
        CString key;
        uint64_t count = 0;
        CString lastName; // of the type's last find
        CString lastPath;
    };

    // A new scan: one type row per key in the order given (the ticked types in type-list order,
    // duplicates once), every count 0, nothing shown.
    void Start(const std::vector<CString>& typeKeys);
    // A find: the step the shown list takes before the find becomes its last row. A key without a
    // type row is shown and counted per pass, but has no row to count in.
    CarveListStep Add(const CarveFound& found, bool stopping);

    const std::vector<TypeRow>& TypeRows() const { return m_types; }
    int FindType(const CString& key) const; // case-insensitive; -1 when there is none
    const std::vector<CarveFound>& Shown() const { return m_shown; }
    uint64_t FoundCount(bool thorough) const { return thorough ? m_thorough : m_general; }
    uint64_t FoundCount() const { return m_general + m_thorough; }
    uint64_t Clearings() const { return m_clearings; }

private:
    std::vector<TypeRow> m_types;
    std::vector<CarveFound> m_shown;
    uint64_t m_general = 0;
    uint64_t m_thorough = 0;
    uint64_t m_clearings = 0;
};

// Appends the types of list that texts does not hold yet, in list order, each as its first record
// writes it (TypeRowText). A type is its whole extension, whatever its case: "tif" is not "tiff"
// and has a row of its own wherever it comes. (Photo Search counts the types of its General and
// then its Advance list, having no type list to tick.)
void AddDistinctTypeTexts(const std::vector<FileType1>& list, std::vector<CString>& texts);

#include "sigrecovery/pure/carve_search.h"

namespace {

const wchar_t kFilesNote[] =
    L"To maintain the speed of recovery, recovered file window is cleared after every 2000 files.";
const wchar_t kVideosNote[] =
    L"To maintain the speed of recovery, recovered file window is cleared after every 2000 videos.";
const wchar_t kThumbnailsNote[] =
    L"To maintain the speed of recovery, thumbnails preview window is cleared after every 2000 thumbnails.";

const CarveSearchInfo kSearches[] = {
    { CarveSearchKind::Photo, L"Photo Search", L"Photo", L"\\QORVENExt2.dll", L"\\QORVENExt2Adv.dll",
      CarvePolicy::FirstMatch, false, true, false, 0, 2, L"Clearing current preview window...", kThumbnailsNote,
      L"Help for 'Sector Range'" },
    { CarveSearchKind::Signature, L"Signature Search", L"Signature", L"\\QORVENSig.dll", L"\\QORVENSigAdv.dll",
      CarvePolicy::AllMatches, true, false, true, 100, 1, L"Clearing recovered file window...", kFilesNote,
      L"Help for 'Sector Range'" },
    { CarveSearchKind::Video, L"Video Search", L"Video", L"\\QORVENVideo.dll", L"\\QORVENVideoAdv.dll",
      CarvePolicy::AllMatches, true, false, true, 120, 1, L"Clearing recovered file window...", kVideosNote,
      L"Help for Sector Range" },
};

} // namespace

const CarveSearchInfo& DescribeCarveSearch(CarveSearchKind kind)
{
    for (const CarveSearchInfo& info : kSearches)
        if (info.kind == kind)
            return info;
    return kSearches[0];
}

const wchar_t* const kCarveThoroughExplanation =
    L"\nZembrolix Primary scanning Algorithm emphasizes on recovery of file types that are created by world\x2019s "
    L"most of the Digital Camera, Mobile Phones, digital gadgets and Editing or Organizing tools.\n\nZembrolix "
    L"Thorough Scanning Algorithm Search Empowers the recovery procedure to find additional and exceptional files "
    L"structures that are not recoverable in General Recovery Procedure (most likely due to exceptional internal "
    L"structure of such files). However, enabling the Thorough Scanning Algorithm Search doubles the time taken by "
    L"Primary Recovery procedure.";
const wchar_t* const kCarveNoTypeTickedText =
    L"Please select at least one Extension type to continue recovery process?";
const wchar_t* const kCarveBrowseTitle = L"Browse the Destination path where the recovered data will be saved : ";

CString CarveResultsLocationText(CarveSearchKind kind)
{
    const CString word = DescribeCarveSearch(kind).kindWord;
    return L"The results of Primary Scanning are saved in folder: Zembrolix Recovery (Premium) >> " + word +
        L" Search >> General, in selected location by user and (if selected) Thorough Scanning results are saved "
        L"in folder: Zembrolix Recovery (Premium) >> " +
        word + L" Search >> Omitted, in the same path.";
}

CString CarvePassText(CarveSearchKind kind, bool thorough)
{
    if (kind == CarveSearchKind::Photo)
        return thorough ? L"(Currently performing Search based on:  Thorough Scanning Algorithm)"
                        : L"(Currently performing Search based on:  General Recovery Procedure)";
    const CString word = DescribeCarveSearch(kind).kindWord;
    return thorough ? L"(Searching files based on:  Thorough " + word + L" Scanning Algorithm)"
                    : L"(Searching files based on:  General " + word + L" Recovery Procedure)";
}

std::vector<CarveSummaryRow> CarveSelectionSummary(CarveSearchKind kind, const CString& itemKind,
                                                   const CString& partitionType, uint64_t start, uint64_t end)
{
    const CString search = DescribeCarveSearch(kind).caption;
    if (itemKind == L"Hard Disk")
        return { { L"1. Search Type : ", search },
                 { L"2. Start Sector : ", DecimalText(start) },
                 { L"3. End Sector : ", DecimalText(end) } };
    if (itemKind == L"Logical" || itemKind == L"part")
        return { { L"1. Search Type : ", search },
                 { L"2. Partition Type : ", partitionType },
                 { L"3. Start Sector : ", DecimalText(start) },
                 { L"4. End Sector : ", DecimalText(end) } };
    return {};
}

uint64_t FoundNameNumber(const CString& name, const CString& key)
{
    if (key.IsEmpty() || name.GetLength() <= key.GetLength() || name.Left(key.GetLength()).CompareNoCase(key) != 0)
        return 0;
    uint64_t number = 0;
    for (int i = key.GetLength(); i < name.GetLength() && name[i] >= L'0' && name[i] <= L'9'; ++i) {
        if (number > (UINT64_MAX - 9) / 10)
            return 0;
        number = number * 10 + uint64_t(name[i] - L'0');
    }
    return number;
}

CarveNamer& CarveNaming::ForPass(bool thorough)
{
    if (m_kind != CarveSearchKind::Photo)
        return m_perType;
    return thorough ? static_cast<CarveNamer&>(m_thorough) : m_general;
}

void CarveNaming::Restart()
{
    m_perType = TypeNumbering();
    m_general = HitNumbering(L"GNKX");
    m_thorough = HitNumbering(L"THKX");
}

uint32_t CarveProgressPosition(uint64_t done, uint64_t span, uint32_t steps)
{
    if (span == 0 || steps == 0)
        return 0;
    if (done >= span)
        return steps;
    // done < span: the product fits in 64 bits for any span below 2^64 / steps sectors; beyond
    // that, whole steps of the span are counted instead.
    if (span <= UINT64_MAX / steps)
        return uint32_t(done * steps / span);
    const uint64_t counted = done / (span / steps);
    return uint32_t(counted < steps ? counted : steps - 1);
}

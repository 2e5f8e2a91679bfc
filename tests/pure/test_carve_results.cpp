// What a carving search shows of its finds, fed by the real engine: the 2,000-row list with its
// clearings, the counts per type and per pass, and the names a session gives across scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "carve_reference.h"
#include "sigrecovery/pure/carve_results.h"
#include "sigrecovery/pure/carve_search.h"

using namespace carve_test;

namespace {

std::vector<uint8_t> Bytes(const char* text)
{
    return std::vector<uint8_t>(text, text + std::char_traits<char>::length(text));
}

// Every find of a pass goes to the results as the dialog would hand it on.
struct ResultsSink : CarveSink {
    ResultsSink(CarveResults& r, bool t) : results(r), thorough(t) { }
    bool OnOpen(CarveItem&) override { return true; }
    bool OnClose(const CarveItem& item, uint64_t, CarveClose) override
    {
        CarveFound found;
        found.key = MakeTypeKey(item.extension);
        found.name = item.name;
        found.path = L"E:\\Saved\\" + item.name;
        found.thorough = thorough;
        steps.push_back(results.Add(found, false));
        largest = std::max(largest, results.Shown().size());
        names.push_back(item.name.Str());
        return true;
    }
    CarveResults& results;
    bool thorough;
    std::vector<CarveListStep> steps;
    size_t largest = 0;
    std::vector<std::wstring> names;
};

// A medium of `count` sectors, each opening with the header of kinds[i % kinds.size()].
Medium Headers(const std::vector<FileType1>& kinds, size_t count, size_t from = 0)
{
    Medium m;
    m.bytes.assign(count * 512, 0);
    for (size_t i = from; i < count; ++i) {
        const FileType1& t = kinds[i % kinds.size()];
        for (int j = 0; j < t.signatureLength; ++j)
            m.bytes[i * 512 + size_t(t.offset - 1 + j)] = uint8_t(t.signature[j]);
    }
    return m;
}

ResultsSink RunPass(const Medium& m, const std::vector<FileType1>& list, CarvePolicy policy, CarveNamer& namer,
                    CarveResults& results, bool thorough)
{
    ResultsSink sink(results, thorough);
    const SignatureSet set(list);
    CarveEngine engine(set, policy, namer, sink);
    FixedAnswer host(MediaAnswer::Cancel);
    MediaQuestion question(host);
    MemorySectorSource source(m.bytes.data(), m.bytes.size());
    CarveRange range;
    range.end = m.Sectors() - 1;
    range.deviceBytes = m.bytes.size();
    EXPECT_EQ(RunCarvePass(source, range, engine, question, nullptr, nullptr), CarvePassEnd::Completed);
    return sink;
}

const FileType1 kJpg = MakeSignature(".jpg", Bytes("\xFF\xD8\xFF\xE0"), 1, "1000000");
const FileType1 kPng = MakeSignature(".png", Bytes("\x89PNG"), 1, "1000000");
const FileType1 kGif = MakeSignature(".gif", Bytes("GIF89a"), 1, "1000000");

// 3,000 General finds then 1,500 Thorough ones: the list is cleared at the 2,001st and 4,001st
// find (the second time holding rows of both passes), and no count loses or wraps anything.
TEST(CarveResultList, MoreThan2000FindsKeepEveryCountAndEveryShownPath)
{
    const Medium general = Headers({ kJpg, kPng }, 3000);
    const Medium thorough = Headers({ kGif }, 1500);
    CarveResults results;
    results.Start({ L"JPG", L"PNG", L"GIF", L"png" });
    ASSERT_EQ(results.TypeRows().size(), 3u);
    CarveNaming naming(CarveSearchKind::Signature);
    const ResultsSink a =
        RunPass(general, { kJpg, kPng }, CarvePolicy::AllMatches, naming.ForPass(false), results, false);
    const ResultsSink b = RunPass(thorough, { kGif }, CarvePolicy::AllMatches, naming.ForPass(true), results, true);

    std::vector<CarveListStep> steps = a.steps;
    steps.insert(steps.end(), b.steps.begin(), b.steps.end());
    ASSERT_EQ(steps.size(), 4500u);
    for (size_t i = 0; i < steps.size(); ++i)
        ASSERT_EQ(steps[i], i == 2000 || i == 4000 ? CarveListStep::ClearWithNotice : CarveListStep::Append) << i;
    EXPECT_EQ(std::max(a.largest, b.largest), kCarveListLimit);
    EXPECT_EQ(results.Clearings(), 2u);

    EXPECT_EQ(results.FoundCount(), 4500u);
    EXPECT_EQ(results.FoundCount(false), 3000u);
    EXPECT_EQ(results.FoundCount(true), 1500u);
    for (const CarveResults::TypeRow& row : results.TypeRows())
        EXPECT_EQ(row.count, 1500u) << ToUtf8(row.key);
    EXPECT_EQ(results.TypeRows()[2].lastName, L"GIF01500.GIF");

    // The rows still shown are the last 500 finds, each with its own path and pass.
    ASSERT_EQ(results.Shown().size(), 500u);
    for (size_t i = 0; i < 500; ++i) {
        const CarveFound& row = results.Shown()[i];
        EXPECT_EQ(row.name.Str(), b.names[1000 + i]);
        EXPECT_EQ(row.path, L"E:\\Saved\\" + row.name);
        EXPECT_TRUE(row.thorough);
    }

    // A stop under way: the full list is emptied without the notice, and the find is still shown.
    CarveResults stopping;
    stopping.Start({ L"JPG" });
    CarveFound find;
    find.key = L"JPG";
    for (size_t i = 0; i < kCarveListLimit; ++i)
        stopping.Add(find, false);
    find.name = L"JPG02001.JPG";
    EXPECT_EQ(stopping.Add(find, true), CarveListStep::ClearQuietly);
    ASSERT_EQ(stopping.Shown().size(), 1u);
    EXPECT_EQ(stopping.Shown()[0].name, L"JPG02001.JPG");
    EXPECT_EQ(stopping.TypeRows()[0].count, 2001u);
}

// Back and Next start a new scan in the same session: its lists start afresh and its names start
// at 1 again; within a scan no name repeats, over both passes.
TEST(CarveNamingSession, EachScanNumbersFromOneAndNoNameRepeatsWithinIt)
{
    const Medium m = Headers({ kJpg, kPng, kGif }, 30);
    for (CarveSearchKind kind : { CarveSearchKind::Signature, CarveSearchKind::Photo }) {
        const CarvePolicy policy = DescribeCarveSearch(kind).policy;
        CarveNaming naming(kind);
        std::vector<std::wstring> firsts;
        for (int scan = 0; scan < 2; ++scan) {
            naming.Restart();
            std::set<std::wstring> seen;
            CarveResults results; // what the dialog shows is new for every scan
            results.Start({ L"JPG", L"PNG", L"GIF" });
            for (bool thorough : { false, true }) {
                const ResultsSink s =
                    RunPass(m, { kJpg, kPng, kGif }, policy, naming.ForPass(thorough), results, thorough);
                ASSERT_EQ(s.names.size(), 30u);
                firsts.push_back(s.names[0]);
                for (const std::wstring& name : s.names)
                    EXPECT_TRUE(seen.insert(name).second) << ToUtf8(CString(name));
            }
            EXPECT_EQ(results.FoundCount(), 60u);
        }
        if (kind == CarveSearchKind::Signature)
            EXPECT_EQ(
                firsts,
                (std::vector<std::wstring>{ L"JPG00001.JPG", L"JPG00011.JPG", L"JPG00001.JPG", L"JPG00011.JPG" }));
        else
            EXPECT_EQ(
                firsts,
                (std::vector<std::wstring>{ L"GNKX00001.jpg", L"THKX00001.jpg", L"GNKX00001.jpg", L"THKX00001.jpg" }));
    }
}

// Each type of both lists once, as its first record writes it; a type whose extension begins
// another's (or is begun by it) still has a row of its own, in either order.
TEST(CarveResultList, PhotoCountsEachTypeOfBothListsOnce)
{
    std::vector<CString> texts;
    AddDistinctTypeTexts({ kJpg, kPng, MakeSignature(".JPG", Bytes("\xFF\xD8\xFF\xE1"), 1, "5") }, texts);
    AddDistinctTypeTexts({ MakeSignature(".jp", Bytes("\x01"), 1, "5"), kGif, kPng,
                           MakeSignature(" .TIFF ", Bytes("MM"), 1, "5"), MakeSignature(".tif", Bytes("II"), 1, "5"),
                           MakeSignature(".jpeg", Bytes("\x02"), 1, "5") },
                         texts);
    EXPECT_EQ(texts, (std::vector<CString>{ L"jpg", L"png", L"jp", L"gif", L"TIFF", L"tif", L"jpeg" }));

    // The counts find each type's own row whatever case the find's key has.
    CarveResults results;
    results.Start(texts);
    for (const char* ext : { ".tif", ".TIF", ".jp", ".tiff" }) {
        CarveFound found;
        found.key = MakeTypeKey(ext);
        results.Add(found, false);
    }
    const std::vector<CarveResults::TypeRow>& rows = results.TypeRows();
    ASSERT_EQ(texts.size(), rows.size());
    EXPECT_EQ(2u, rows[size_t(results.FindType(L"tif"))].count);
    EXPECT_EQ(1u, rows[size_t(results.FindType(L"TIFF"))].count);
    EXPECT_EQ(1u, rows[size_t(results.FindType(L"JP"))].count);
    EXPECT_EQ(0u, rows[size_t(results.FindType(L"JPG"))].count);
    EXPECT_EQ(0u, rows[size_t(results.FindType(L"jpeg"))].count);
}

} // namespace

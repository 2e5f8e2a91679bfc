// The carving engine with the shipped signature files on the carving medium (carvemedia.img):
// every pass of every search finds exactly the items of the medium's truth, which the fixture
// worked out on its own, with the bytes a saved file must hold.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "carve_reference.h"
#include "fs_image_walk.h"
#include "sha256_util.h"
#include "sigrecovery/pure/carve_search.h"
#include "storage_test_util.h"

using namespace carve_test;
using test_sha256::Sha256;

namespace {

std::vector<std::vector<std::string>> ReadTruth(const std::string& path)
{
    std::ifstream in(path);
    return fs_walk::ReadTsvRows(in);
}

std::string RepoFile(const std::string& relative)
{
    std::string dir = __FILE__; // <repo>/tests/pure/this file
    for (int up = 0; up < 3; ++up)
        dir = dir.substr(0, dir.find_last_of("/\\"));
    return dir + "/" + relative;
}

std::vector<FileType1> ShippedList(const char* file, bool ticked)
{
    std::ifstream f(RepoFile(std::string("resources/signatures/") + file), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<FileType1> list;
    std::vector<int32_t> offsets;
    const SignatureFileContent content = ParseSignatureFile(bytes);
    if (ticked)
        AddTickedEntries(content, list, offsets, [](const CString&) { return true; });
    else
        AddAllEntries(content, list, offsets);
    return list;
}

// Each item as the truth writes it: key, name, start, end, close, sha256 of its bytes.
struct HashingSink : ::CarveSink {
    bool OnOpen(CarveItem& item) override
    {
        hashes[item.id] = std::make_unique<Sha256>();
        return true;
    }
    bool OnData(const CarveItem& item, const uint8_t* p, size_t n) override
    {
        hashes[item.id]->Update(p, n);
        return true;
    }
    bool OnClose(const CarveItem& item, uint64_t end, CarveClose why) override
    {
        const std::string name(item.name.Str().begin(), item.name.Str().end());
        const std::wstring key = MakeTypeKey(item.extension).Str();
        items.push_back({ std::string(key.begin(), key.end()), name, std::to_string(item.start), std::to_string(end),
                          why == CarveClose::NextHeader    ? "header"
                              : why == CarveClose::MaxSize ? "size"
                                                           : "end",
                          hashes[item.id]->HexDigest() });
        return true;
    }
    std::map<uint64_t, std::unique_ptr<Sha256>> hashes;
    std::vector<std::vector<std::string>> items;
};

TEST(CarveMedia, EveryPassFindsWhatTheTruthSaysWithItsBytes)
{
    const std::string image = storage_test::ImagesDir() + "/carvemedia.img";
    const auto truth = ReadTruth(image + ".truth.tsv");
    FileSectorSource source(image);
    if (truth.empty() || !source.IsOpen())
        GTEST_SKIP() << "no carvemedia.img (ZR_IMAGES not set?)";
    const struct {
        const char* search;
        CarveSearchKind kind;
    } searches[] = { { "photo", CarveSearchKind::Photo },
                     { "sig", CarveSearchKind::Signature },
                     { "video", CarveSearchKind::Video } };

    std::map<std::string, std::vector<std::string>> planted;
    for (const auto& row : truth)
        if (row.at(0) == "planted")
            planted[row.at(1)] = row;
    size_t plantedFound = 0;
    for (const auto& s : searches) {
        const CarveSearchInfo& info = DescribeCarveSearch(s.kind);
        CarveNaming naming(s.kind);
        for (bool thorough : { false, true }) {
            SCOPED_TRACE(std::string(s.search) + (thorough ? " thorough" : " general"));
            std::string file;
            for (const wchar_t* c = (thorough ? info.thoroughFile : info.generalFile) + 1; *c; ++c)
                file += static_cast<char>(*c);
            const SignatureSet set(ShippedList(file.c_str(), info.typesTicked));
            ASSERT_FALSE(set.Empty());
            HashingSink sink;
            CarveEngine engine(set, info.policy, naming.ForPass(thorough), sink);
            FixedAnswer host(MediaAnswer::Cancel);
            MediaQuestion question(host);
            CarveRange range;
            range.end = source.SizeBytes() / 512 - 1;
            range.deviceBytes = source.SizeBytes();
            ASSERT_EQ(RunCarvePass(source, range, engine, question, nullptr, nullptr), CarvePassEnd::Completed);

            std::vector<std::vector<std::string>> rows, expected;
            for (const auto& row : truth)
                if (row.at(0) == "found" && row.at(1) == s.search && row.at(2) == (thorough ? "thorough" : "general"))
                    rows.push_back(row);
            for (const auto& row : rows)
                expected.push_back({ row.at(3), row.at(4), row.at(5), row.at(6), row.at(7), row.at(8) });
            auto byStart = [](const auto& a, const auto& b) {
                return std::stoull(a[2]) != std::stoull(b[2]) ? std::stoull(a[2]) < std::stoull(b[2]) : a[1] < b[1];
            };
            std::sort(expected.begin(), expected.end(), byStart);
            std::sort(sink.items.begin(), sink.items.end(), byStart);
            EXPECT_EQ(sink.items, expected);

            // A planted file is carved whole from its first byte, or up to what took its place.
            for (const auto& row : rows) {
                if (row.at(9) == "-")
                    continue;
                const auto& p = planted.at(row.at(9));
                const uint64_t start = std::stoull(row.at(5)), end = std::stoull(row.at(6));
                const uint64_t size = std::stoull(p.at(4));
                ++plantedFound;
                if (p.at(6) == "-") {
                    ASSERT_GE(end - start, size) << p.at(1);
                    std::vector<uint8_t> bytes(size_t(size + 511) / 512 * 512);
                    ASSERT_EQ(source.Read(start / 512, uint32_t(bytes.size() / 512), bytes.data()), bytes.size());
                    Sha256 h;
                    h.Update(bytes.data(), size_t(size));
                    EXPECT_EQ(h.HexDigest(), p.at(5)) << p.at(1);
                } else if (p.at(6).rfind("overlapped-by:", 0) == 0) {
                    EXPECT_EQ(end, std::stoull(planted.at(p.at(6).substr(14)).at(3))) << p.at(1);
                } else {
                    EXPECT_EQ(end, source.SizeBytes()) << p.at(1);
                }
            }
        }
    }
    EXPECT_EQ(plantedFound + 1, planted.size()); // all but the plain ZIP, which no search knows
}

} // namespace

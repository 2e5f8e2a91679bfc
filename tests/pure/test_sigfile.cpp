// The signature data files: their parser, the type key, the signature lists, and the six files
// we ship, checked against the scan's rules and against samples made by real tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sigrecovery/pure/filetype.h"

namespace {

std::string Record(const std::string& ext, const std::string& size, const std::string& sig, const std::string& offset,
                   const std::string& desc = "Description: d", const char* eol = "\n")
{
    std::string s;
    for (const std::string& line : { ext, size, sig, offset, std::string("Notes: free"), desc })
        s += line + eol;
    return s;
}

std::string Good(const std::string& ext = "Extension:.jpg", const std::string& sig = "Signature: FFD8FFE0",
                 const std::string& offset = "Offset: 1")
{
    return Record(ext, "Max Size: 1048576", sig, offset);
}

TEST(SignatureParser, ReadsValuesAfterTheLastColon)
{
    std::string noFinalEol = Record(".png", "  999 ", "89504E47", "512", "Portable Network Graphics");
    noFinalEol.pop_back();
    const SignatureFileContent c = ParseSignatureFile(
        Record("Type: ext:.jpg", "Size: 10:20", "Sig:: ffd8ffe0 ", "Off:\t3\t", "Description: JPEG: photos", "\r\n") +
        noFinalEol);
    ASSERT_EQ(c.refused.size(), 0u);
    ASSERT_EQ(c.entries.size(), 2u);
    const FileType1& a = c.entries[0].type;
    EXPECT_EQ(a.maxSize, L"20");
    EXPECT_EQ(std::vector<int32_t>(a.signature, a.signature + a.signatureLength),
              (std::vector<int32_t>{ 255, 216, 255, 224 }));
    EXPECT_EQ(a.offset, 3);
    EXPECT_EQ(c.entries[0].description, L"photos"); // no CR left over
    EXPECT_EQ(c.entries[1].type.offset, 512);       // lines without a colon are values whole
    EXPECT_EQ(MaxSizeBytes(c.entries[1].type), 999);
}

TEST(SignatureParser, RefusesRecordsOutsideTheFormatAndShiftedOrCutRecords)
{
    const char* const cases[][4] = {
        // extension, max size, signature, offset
        { ".j", "5", "", "1" },
        { ".j", "5", "FFD8FG", "1" },
        { ".j", "5", "FFD8-", "1" }, // a stray character as the odd last digit too
        { ".j", "5", "FF", "0" },
        { ".j", "5", "FF", "513" },
        { " . ", "5", "FF", "1" },
        { ".j", "0", "FF", "1" },
        { ".j", "-5", "FF", "1" },
        { ".j", "9223372036854775808", "FF", "1" },
        { ".j", "5", "FF", "99999999999999999999" },
    };
    std::vector<std::string> texts;
    for (const auto& c : cases)
        texts.push_back(Record(c[0], c[1], c[2], c[3]));
    texts.push_back(Record(".j", "5", std::string(101, 'A'), "1")); // 51 bytes, the last of one digit
    for (const std::string& text : texts) {
        const SignatureFileContent r = ParseSignatureFile(Good(".a") + text + Good(".b"));
        ASSERT_EQ(r.refused.size(), 1u) << text;
        EXPECT_EQ(r.refused[0].firstLine, 7) << text;
        ASSERT_EQ(r.entries.size(), 2u) << text; // the records around it still load
    }
    for (const char* notHex : { "FFD8FG", "FFD8-" })
        EXPECT_EQ(ParseSignatureFile(Record(".j", "5", notHex, "1")).refused.at(0).reason, "signature is not hex");
    const SignatureFileContent edge =
        ParseSignatureFile(Record(".x", "9223372036854775807", std::string(100, 'a'), "512"));
    ASSERT_EQ(edge.entries.size(), 1u); // the limits themselves are inside the format
    EXPECT_EQ(edge.entries[0].type.signatureLength, 50);
    // An odd digit count: the last digit alone is the lowest digit of a last byte.
    for (const char* sig : { "ABC", "abc" }) {
        const SignatureFileContent odd = ParseSignatureFile(Record(".x", "5", sig, "1"));
        ASSERT_EQ(odd.entries.size(), 1u) << sig;
        const FileType1& t = odd.entries[0].type;
        EXPECT_EQ(std::vector<int32_t>(t.signature, t.signature + t.signatureLength),
                  (std::vector<int32_t>{ 171, 12 }));
        EXPECT_EQ(t.firstByte, 171);
    }
    EXPECT_EQ(ParseSignatureFile(Record(".x", "5", std::string(99, 'f'), "1")).entries.at(0).type.signatureLength, 50);
    // Cut short by the end of the file: refused, not padded with empty values.
    const SignatureFileContent cut = ParseSignatureFile(Good() + "Extension:.png\nMax Size: 5\nSignature: 89\n");
    EXPECT_EQ(cut.entries.size(), 1u);
    EXPECT_EQ(cut.refused.size(), 1u);
    // A blank line shifts the next record: refused rather than read with a size as its signature.
    const SignatureFileContent shifted = ParseSignatureFile(Good() + "\n" + Good(".png") + Good(".gif"));
    EXPECT_EQ(shifted.entries.size(), 1u);
}

TEST(SignatureLists, OneTypeKeyDistinctOffsetsTickedTypesAndTypeRows)
{
    const struct {
        const wchar_t* in;
        const wchar_t* key;
    } keys[] = {
        { L" .jpg ", L"JPG" }, { L". jpg", L"JPG" }, { L"..jpg", L".JPG" }, { L" . ", L"" }, { L".tar.gz", L"TAR.GZ" }
    };
    for (const auto& k : keys)
        EXPECT_EQ(MakeTypeKey(k.in), k.key) << ToUtf8(k.in);
    EXPECT_EQ(ParseSignatureFile(Good("Extension: . mp4")).entries.at(0).key, L"MP4"); // the parser uses it too

    std::vector<FileType1> list, ticked;
    std::vector<int32_t> offsets, tickedOffsets;
    const SignatureFileContent c =
        ParseSignatureFile(Good(".a", "Signature: 01", "Offset: 3") + Good(".b", "Signature: 01", "Offset: 1") +
                           Good(".c", "Signature: 01", "Offset: 3"));
    AddAllEntries(c, list, offsets);
    EXPECT_EQ(offsets, (std::vector<int32_t>{ 3, 1 }));
    EXPECT_EQ(list.size(), 3u); // equal records both stay, in file order
    AddTickedEntries(c, ticked, tickedOffsets, [](const CString& key) { return key != L"A"; });
    ASSERT_EQ(ticked.size(), 2u);
    EXPECT_EQ(ticked[0].extension, L".B"); // upper-cased for the Signature and Video lists
    std::vector<FileTypeRow> rows;
    AddFileTypeRows(ParseSignatureFile(Record(".pdf", "1", "25", "1", "D: first pdf") +
                                       Record(".PDF", "1", "26", "1", "D: second")),
                    rows);
    AddFileTypeRows(ParseSignatureFile(Record("pdf", "1", "27", "1", "D: thorough")), rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].description, L"first pdf");
}

// ---- The shipped data files ----------------------------------------------------------------

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct SearchFiles {
    const char* search;
    const char* general;
    const char* thorough;
};
const SearchFiles kSearches[] = {
    { "photo", "QORVENExt2.dll", "QORVENExt2Adv.dll" },
    { "sig", "QORVENSig.dll", "QORVENSigAdv.dll" },
    { "video", "QORVENVideo.dll", "QORVENVideoAdv.dll" },
};

// Both files of a search, general first.
std::vector<SignatureFileEntry> LoadShipped(const SearchFiles& s)
{
    std::string dir = __FILE__; // <repo>/tests/pure/this file
    for (int up = 0; up < 3; ++up)
        dir = dir.substr(0, dir.find_last_of("/\\"));
    std::vector<SignatureFileEntry> all;
    for (const char* name : { s.general, s.thorough }) {
        const SignatureFileContent c = ParseSignatureFile(ReadWholeFile(dir + "/resources/signatures/" + name));
        EXPECT_TRUE(c.refused.empty()) << name << " line " << c.refused.at(0).firstLine;
        EXPECT_GE(c.entries.size(), 8u) << name;
        all.insert(all.end(), c.entries.begin(), c.entries.end());
    }
    return all;
}

// True when every sector matching `wide` also matches `narrow`.
bool Covers(const FileType1& narrow, const FileType1& wide)
{
    for (int i = 0; i < narrow.signatureLength; ++i) {
        const int k = narrow.offset + i - wide.offset;
        if (k < 0 || k >= wide.signatureLength || wide.signature[k] != narrow.signature[i])
            return false;
    }
    return true;
}

std::string Describe(const SignatureFileEntry& e)
{
    std::string s;
    for (wchar_t ch : e.type.hexText.Str())
        s += static_cast<char>(ch);
    return s + " at " + std::to_string(e.type.offset) + " (line " + std::to_string(e.firstLine) + ")";
}

TEST(ShippedSignatureFiles, LoadWithoutRefusalsAndKeepTheScanRules)
{
    for (const SearchFiles& s : kSearches) {
        // No record of a search's two files matches a sector that another always matches too:
        // no shared or prefix signatures, so no file is found twice and none is hidden.
        const std::vector<SignatureFileEntry> all = LoadShipped(s);
        for (size_t i = 0; i < all.size(); ++i)
            for (size_t j = 0; j < all.size(); ++j)
                EXPECT_FALSE(i != j && Covers(all[i].type, all[j].type))
                    << s.search << ": " << Describe(all[i]) << " is implied by " << Describe(all[j]);

        for (const SignatureFileEntry& e : all) {
            // Short or bare container markers recur inside file bodies and split files.
            EXPECT_GE(e.type.signatureLength, 3) << Describe(e);
            for (const wchar_t* marker : { L"504B0304", L"4F676753", L"52494646", L"000001BA", L"000001B3" })
                EXPECT_NE(e.type.hexText, marker) << Describe(e);
            EXPECT_FALSE(e.type.hexText == L"66747970" && e.type.offset == 1) << Describe(e);
            EXPECT_LE(e.type.offset + e.type.signatureLength - 1, 512) << Describe(e);
            EXPECT_GE(MaxSizeBytes(e.type), 1024 * 1024) << Describe(e);
            EXPECT_EQ(e.type.extension.Left(1), L".") << Describe(e);
        }
    }
}

// Every sample under ZR_SIG_SAMPLES/<search>/ is recognised by exactly one record of its
// search's two files, and that record names the sample's own type.
TEST(ShippedSignatureFiles, RecogniseSamplesMadeByRealTools)
{
    const char* root = std::getenv("ZR_SIG_SAMPLES");
    if (!root)
        GTEST_SKIP() << "ZR_SIG_SAMPLES not set";
    namespace fs = std::filesystem;
    int samples = 0;
    for (const SearchFiles& s : kSearches) {
        const std::vector<SignatureFileEntry> all = LoadShipped(s);
        const fs::path dir = fs::path(root) / s.search;
        if (!fs::is_directory(dir))
            continue;
        for (const fs::directory_entry& f : fs::directory_iterator(dir)) {
            std::string head = ReadWholeFile(f.path().string());
            head.resize(512 + kMaxSignatureBytes, '\0');
            std::vector<size_t> matches;
            for (size_t i = 0; i < all.size(); ++i) {
                const FileType1& t = all[i].type;
                bool same = true;
                for (int k = 0; k < t.signatureLength && same; ++k)
                    same = static_cast<unsigned char>(head[t.offset - 1 + k]) == t.signature[k];
                if (same)
                    matches.push_back(i);
            }
            ++samples;
            ASSERT_EQ(matches.size(), 1u) << f.path().string();
            EXPECT_EQ(all[matches[0]].key, MakeTypeKey(CString(f.path().extension().string().c_str())))
                << f.path().string();
        }
    }
    EXPECT_GE(samples, 20);
}

} // namespace

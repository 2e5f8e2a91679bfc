// The signature data files: their parser, the type key, the signature lists, and the six files
// we ship (loaded and checked against the rules the carving scan depends on, and against sample
// files made by real tools when ZR_SIG_SAMPLES names a folder of them).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sigrecovery/pure/filetype.h"

namespace {

std::string Record(const std::string& ext, const std::string& size, const std::string& sig,
                   const std::string& offset, const std::string& desc = "Description: d",
                   const char* eol = "\n") {
    std::string s;
    for (const std::string& line : {ext, size, sig, offset, std::string("Notes: free"), desc}) s += line + eol;
    return s;
}

std::string Good(const std::string& ext = "Extension:.jpg", const std::string& sig = "Signature: FFD8FFE0",
                 const std::string& offset = "Offset: 1") {
    return Record(ext, "Max Size: 1048576", sig, offset);
}

TEST(SignatureParser, ReadsValuesAfterTheLastColon) {
    const std::string crlf = Record("E:.gif", "S:5", "H:474946", "O:1", "D:caf\xe9 \xff", "\r\n");
    std::string noFinalEol = Record(".png", "  999 ", "89504E47", "512", "Portable Network Graphics");
    noFinalEol.pop_back();
    SignatureFileContent c = ParseSignatureFile(
        Record("Type: ext:.jpg", "Size: 10:20", "Sig:: ffd8ffe0 ", "Off:\t3\t", "Description: JPEG: photos") + crlf +
        noFinalEol);
    ASSERT_EQ(c.refused.size(), 0u);
    ASSERT_EQ(c.entries.size(), 3u);
    const FileType1& a = c.entries[0].type;
    EXPECT_EQ(a.extension, L".jpg");
    EXPECT_EQ(c.entries[0].key, L"JPG");
    EXPECT_EQ(a.maxSize, L"20");
    EXPECT_EQ(a.hexText, L"FFD8FFE0");
    EXPECT_EQ(std::vector<int32_t>(a.signature, a.signature + a.signatureLength),
              (std::vector<int32_t>{255, 216, 255, 224}));
    EXPECT_EQ(a.firstByte, 255);
    EXPECT_EQ(a.offset, 3);
    EXPECT_EQ(c.entries[0].description, L"photos");
    EXPECT_EQ(c.entries[1].description, L"caf\u00e9 \u00ff");  // 8-bit text, no CR left over
    EXPECT_EQ(c.entries[1].type.extension, L".gif");
    EXPECT_EQ(c.entries[2].type.extension, L".png");  // lines without a colon are values whole
    EXPECT_EQ(c.entries[2].type.offset, 512);
    EXPECT_EQ(c.entries[2].firstLine, 13);
    EXPECT_EQ(MaxSizeBytes(c.entries[2].type), 999);
    EXPECT_TRUE(ParseSignatureFile("").entries.empty());
}

TEST(SignatureParser, RefusesRecordsOutsideTheFormat) {
    struct Case { const char* name; std::string text; };
    const Case cases[] = {
        {"empty signature", Good(".jpg", "Signature:")},
        {"odd hex", Good(".jpg", "Signature: ABC")},
        {"non-hex digit", Good(".jpg", "Signature: FFD8FG")},
        {"inner blank", Good(".jpg", "Signature: FF D8")},
        {"51 bytes", Good(".jpg", "Signature:" + std::string(102, 'A'))},
        {"offset 0", Good(".jpg", "Signature: FF", "Offset: 0")},
        {"offset 513", Good(".jpg", "Signature: FF", "Offset: 513")},
        {"negative offset", Good(".jpg", "Signature: FF", "Offset: -1")},
        {"offset with text", Good(".jpg", "Signature: FF", "Offset: 1x")},
        {"huge offset", Good(".jpg", "Signature: FF", "Offset: 99999999999999999999")},
        {"empty offset", Good(".jpg", "Signature: FF", "Offset:")},
        {"empty extension", Good("Extension:", "Signature: FF")},
        {"only a dot", Good("Extension: . ", "Signature: FF")},
        {"size 0", Record(".jpg", "0", "FF", "1")},
        {"size negative", Record(".jpg", "-5", "FF", "1")},
        {"size not a number", Record(".jpg", "1 MB", "FF", "1")},
        {"size above 2^63-1", Record(".jpg", "9223372036854775808", "FF", "1")},
    };
    for (const Case& c : cases) {
        SignatureFileContent r = ParseSignatureFile(Good(".a") + c.text + Good(".b"));
        ASSERT_EQ(r.refused.size(), 1u) << c.name;
        EXPECT_EQ(r.refused[0].firstLine, 7) << c.name;
        ASSERT_EQ(r.entries.size(), 2u) << c.name;  // the records around it still load
        EXPECT_EQ(r.entries[1].key, L"B") << c.name;
    }
    // The limits themselves are inside the format.
    SignatureFileContent edge = ParseSignatureFile(
        Record(".x", "9223372036854775807", std::string(100, 'a'), "512") + Good(".y", "Signature: 00", "Offset: 1"));
    ASSERT_EQ(edge.entries.size(), 2u);
    EXPECT_EQ(edge.entries[0].type.signatureLength, 50);
    EXPECT_EQ(edge.entries[0].type.signature[49], 0xAA);
    EXPECT_EQ(MaxSizeBytes(edge.entries[0].type), INT64_MAX);
    EXPECT_EQ(edge.entries[1].type.firstByte, 0);
}

TEST(SignatureParser, ShortAndShiftedRecords) {
    // A record cut short by the end of the file is refused, not padded with empty values.
    std::string cut = Good() + "Extension:.png\nMax Size: 5\nSignature: 89\n";
    SignatureFileContent c = ParseSignatureFile(cut);
    EXPECT_EQ(c.entries.size(), 1u);
    ASSERT_EQ(c.refused.size(), 1u);
    EXPECT_EQ(c.refused[0].firstLine, 7);

    // A blank last line is a record of its own, and it is incomplete.
    EXPECT_EQ(ParseSignatureFile(Good() + "\n").refused.size(), 1u);

    // A blank line between records shifts the next one: its lines land in the wrong places
    // and it is refused rather than read with a size as its signature.
    SignatureFileContent shifted = ParseSignatureFile(Good() + "\n" + Good(".png") + Good(".gif"));
    EXPECT_EQ(shifted.entries.size(), 1u);
    EXPECT_FALSE(shifted.refused.empty());
}

TEST(SignatureTypeKey, OneKeyForEveryWayOfWritingAnExtension) {
    struct Case { const wchar_t* in; const wchar_t* key; } cases[] = {
        {L".jpg", L"JPG"}, {L"jpg", L"JPG"}, {L" .jpg ", L"JPG"}, {L". jpg", L"JPG"}, {L".JPG", L"JPG"},
        {L"..jpg", L".JPG"}, {L"", L""}, {L".", L""}, {L" . ", L""}, {L".tar.gz", L"TAR.GZ"},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeTypeKey(c.in), c.key) << c.in;
    // The key the parser stores is the same function's answer.
    EXPECT_EQ(ParseSignatureFile(Good("Extension: . mp4")).entries.at(0).key, L"MP4");
}

TEST(SignatureLists, EqualityOffsetsAndTickedTypes) {
    FileType1 a, b;
    a.offset = b.offset = 1;
    a.firstByte = b.firstByte = 0xFF;
    a.signatureLength = 4;
    b.signatureLength = 2;
    a.extension = L".jpg";
    EXPECT_EQ(a, b);  // only position and first byte count
    b.firstByte = 0xFE;
    EXPECT_NE(a, b);

    std::vector<FileType1> list;
    std::vector<int32_t> offsets;
    SignatureFileContent c = ParseSignatureFile(Good(".a", "Signature: 01", "Offset: 3") + Good(".b", "Signature: 01", "Offset: 1") +
                                                Good(".c", "Signature: 01", "Offset: 3") + Good(".d", "Signature: 01", "Offset: 512"));
    AddAllEntries(c, list, offsets);
    EXPECT_EQ(offsets, (std::vector<int32_t>{3, 1, 512}));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[2].extension, L".c");  // equal records both stay, in file order
    EXPECT_EQ(list[0], list[2]);

    std::vector<FileType1> ticked;
    std::vector<int32_t> tickedOffsets;
    AddTickedEntries(c, ticked, tickedOffsets, [](const CString& key) { return key != L"A"; });
    ASSERT_EQ(ticked.size(), 3u);
    EXPECT_EQ(ticked[0].extension, L".B");  // upper-cased for the Signature and Video lists
    EXPECT_EQ(tickedOffsets, (std::vector<int32_t>{1, 3, 512}));
}

TEST(SignatureLists, TypeRowsFromTwoFiles) {
    std::vector<FileTypeRow> rows;
    AddFileTypeRows(ParseSignatureFile(Record(".pdf", "1", "25", "1", "D: first pdf") +
                                       Record(".PDF", "1", "26", "1", "D: second pdf") +
                                       Record(".doc", "1", "D0", "1", "D:")),
                    rows);
    AddFileTypeRows(ParseSignatureFile(Record("pdf", "1", "27", "1", "D: thorough pdf") +
                                       Record(".7z", "1", "37", "1", "D: archive")),
                    rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].key, L"PDF");
    EXPECT_EQ(rows[0].description, L"first pdf");
    EXPECT_EQ(rows[1].key, L"DOC");
    EXPECT_EQ(rows[1].description, L"");
    EXPECT_EQ(rows[2].key, L"7Z");
}

// ---- The shipped data files ----------------------------------------------------------------

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

std::string ShippedDir() {
    if (const char* dir = std::getenv("ZR_SIG_DIR")) return dir;
    std::string here = __FILE__;  // <repo>/tests/pure/this file
    for (int up = 0; up < 3; ++up) here = here.substr(0, here.find_last_of("/\\"));
    return here + "/resources/signatures";
}

struct SearchFiles { const char* search; const char* general; const char* thorough; };
const SearchFiles kSearches[] = {
    {"photo", "QORVENExt2.dll", "QORVENExt2Adv.dll"},
    {"sig", "QORVENSig.dll", "QORVENSigAdv.dll"},
    {"video", "QORVENVideo.dll", "QORVENVideoAdv.dll"},
};

SignatureFileContent LoadShipped(const char* name) {
    const std::string bytes = ReadWholeFile(ShippedDir() + "/" + name);
    EXPECT_FALSE(bytes.empty()) << "cannot read " << ShippedDir() << "/" << name;
    return ParseSignatureFile(bytes);
}

// A record as the bytes it demands at sector positions.
std::map<int, int32_t> Demands(const FileType1& t) {
    std::map<int, int32_t> d;
    for (int i = 0; i < t.signatureLength; ++i) d[t.offset + i] = t.signature[i];
    return d;
}

// True when every sector matching `wide` also matches `narrow`: `narrow`'s demands are part of
// `wide`'s. A prefix at the same offset and an identical signature are the plain cases.
bool Covers(const FileType1& narrow, const FileType1& wide) {
    const std::map<int, int32_t> n = Demands(narrow), w = Demands(wide);
    for (const auto& [pos, byte] : n) {
        auto it = w.find(pos);
        if (it == w.end() || it->second != byte) return false;
    }
    return true;
}

std::string Describe(const SignatureFileEntry& e) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " at %d (line %d)", e.type.offset, e.firstLine);
    std::string s;
    for (wchar_t ch : e.type.hexText.Str()) s += static_cast<char>(ch);
    return s + buf;
}

TEST(ShippedSignatureFiles, LoadWithoutRefusalsAndKeepTheScanRules) {
    for (const SearchFiles& s : kSearches) {
        const SignatureFileContent general = LoadShipped(s.general), thorough = LoadShipped(s.thorough);
        EXPECT_TRUE(general.refused.empty()) << s.general << " line " << general.refused.at(0).firstLine;
        EXPECT_TRUE(thorough.refused.empty()) << s.thorough << " line " << thorough.refused.at(0).firstLine;
        EXPECT_GE(general.entries.size(), 8u) << s.general;
        EXPECT_GE(thorough.entries.size(), 8u) << s.thorough;

        // Within a file, and between the general and thorough file of a search, no record
        // matches a sector that another one always matches too: no shared or prefix
        // signatures, so no pass finds one file twice and the first-match order never hides a
        // more specific type.
        std::vector<SignatureFileEntry> all = general.entries;
        all.insert(all.end(), thorough.entries.begin(), thorough.entries.end());
        for (size_t i = 0; i < all.size(); ++i) {
            for (size_t j = 0; j < all.size(); ++j) {
                if (i == j) continue;
                EXPECT_FALSE(Covers(all[i].type, all[j].type))
                    << s.search << ": " << Describe(all[i]) << " is implied by " << Describe(all[j]);
            }
        }

        for (const SignatureFileEntry& e : all) {
            // Short or bare container markers recur inside file bodies and split files.
            EXPECT_GE(e.type.signatureLength, 3) << Describe(e);
            for (const wchar_t* marker : {L"504B0304", L"4F676753", L"52494646", L"FFD9", L"000001BA", L"000001B3"})
                EXPECT_NE(e.type.hexText, marker) << Describe(e);
            EXPECT_FALSE(e.type.hexText == L"66747970" && e.type.offset == 1) << Describe(e);
            EXPECT_LE(e.type.offset + e.type.signatureLength - 1, 512) << Describe(e);
            EXPECT_FALSE(e.description.IsEmpty()) << Describe(e);
            EXPECT_GE(MaxSizeBytes(e.type), 1024 * 1024) << Describe(e);
            EXPECT_EQ(e.type.extension.Left(1), L".") << Describe(e);
        }
    }
}

// Every sample under ZR_SIG_SAMPLES/<search>/ is recognised by exactly one record of its
// search's two files, and that record names the sample's own type.
TEST(ShippedSignatureFiles, RecogniseSamplesMadeByRealTools) {
    const char* root = std::getenv("ZR_SIG_SAMPLES");
    if (!root) GTEST_SKIP() << "ZR_SIG_SAMPLES not set";
    namespace fs = std::filesystem;
    int samples = 0;
    for (const SearchFiles& s : kSearches) {
        std::vector<SignatureFileEntry> all = LoadShipped(s.general).entries;
        for (const SignatureFileEntry& e : LoadShipped(s.thorough).entries) all.push_back(e);
        std::vector<bool> hit(all.size(), false);
        const fs::path dir = fs::path(root) / s.search;
        if (!fs::is_directory(dir)) continue;
        for (const fs::directory_entry& f : fs::directory_iterator(dir)) {
            std::string head = ReadWholeFile(f.path().string());
            head.resize(512 + kMaxSignatureBytes, '\0');
            const CString wanted = MakeTypeKey(CString(f.path().extension().string().c_str()));
            std::vector<size_t> matches;
            for (size_t i = 0; i < all.size(); ++i) {
                const FileType1& t = all[i].type;
                bool same = true;
                for (int k = 0; k < t.signatureLength && same; ++k)
                    same = static_cast<unsigned char>(head[t.offset - 1 + k]) == t.signature[k];
                if (same) matches.push_back(i);
            }
            ++samples;
            ASSERT_EQ(matches.size(), 1u) << f.path().string();
            EXPECT_EQ(all[matches[0]].key, wanted) << f.path().string();
            hit[matches[0]] = true;
        }
        for (size_t i = 0; i < all.size(); ++i)
            if (!hit[i]) std::printf("  no sample for %s %s\n", s.search, Describe(all[i]).c_str());
    }
    EXPECT_GE(samples, 20);
}

}  // namespace

// The carving scan on a real device path under Wine: the carving image (\\.\PhysicalDrive3) with
// its manifest, a small signature set made here, and a host that answers for the dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/images.h"
#include "sigrecovery/carve_scan.h"
#include "thread.h"

using namespace zr_test;

namespace {

FileType1 Sig(const char* ext, const char* hex, int offset, const char* maxSize) {
    FileType1 t;
    t.extension = ext;
    t.maxSize = maxSize;
    t.offset = offset;
    t.hexText = hex;
    for (size_t i = 0; hex[2 * i] != 0; ++i) t.signature[t.signatureLength++] = std::stoi(std::string(hex + 2 * i, 2), nullptr, 16);
    t.firstByte = t.signature[0];
    return t;
}

// wav's maximum size is below its file's size on purpose: that item ends by size.
std::vector<FileType1> CarveTypes() {
    return {Sig(".JPG", "FFD8FFE0", 1, "600000"),  Sig(".PNG", "89504E470D0A1A0A", 1, "200000"),
            Sig(".PDF", "25504446", 1, "50000"),    Sig(".ZIP", "504B0304", 1, "60000"),
            Sig(".GIF", "47494638", 1, "20000"),    Sig(".BMP", "424D", 1, "40000"),
            Sig(".WAV", "52494646", 1, "50000"),    Sig(".RTF", "7B5C72746631", 1, "10000")};
}

const std::map<std::string, std::string> kKeyOfType = {{"jpeg", "JPG"}, {"png", "PNG"}, {"pdf", "PDF"},
                                                       {"zip", "ZIP"},  {"gif", "GIF"}, {"bmp", "BMP"},
                                                       {"wav", "WAV"},  {"rtf", "RTF"}};

struct Row {
    std::wstring key, name, path;
};

class TestHost : public CarveScanHost {
public:
    TestHost(const std::wstring& device, uint64_t start, uint64_t end, const std::wstring& dest)
        : device(device), start(start), end(end), dest(dest) {}
    CString DevicePath() override { return CString(device); }
    uint64_t StartSector() override { return start; }
    uint64_t EndSector() override { return end; }
    CString Destination() override { return CString(dest); }
    MediaAnswer AskMediaRemoved() override {
        ++asked;
        return answer;
    }
    void ShowMessage(const CString& text) override { messages.push_back(text.GetString()); }
    void AddThumbnail(const std::vector<uint8_t>& bytes, const CString& name) override {
        thumbnails.push_back({name.GetString(), bytes});
    }
    void AddResultRow(const CString& key, const CString& name, const CString& path) override {
        rows.push_back({key.GetString(), name.GetString(), path.GetString()});
        if (stopAfterRows != 0 && rows.size() == stopAfterRows) StopSignatureScan.store(1);
    }
    void PassStarting(bool thorough) override { passes.push_back(thorough); }
    void LoadThoroughSignatures() override {
        for (const FileType1& t : thoroughTypes) AddSignature(t, SignatureFileTypeList, SignatureOffsetList);
    }
    void ScanFinished() override { finished = true; }
    TypeNumbering& Numbering() override { return numbering; }

    std::wstring device;
    uint64_t start, end;
    std::wstring dest;
    MediaAnswer answer = MediaAnswer::Skip;
    unsigned asked = 0;
    size_t stopAfterRows = 0;
    std::vector<std::wstring> messages;
    std::vector<Row> rows;
    std::vector<std::pair<std::wstring, std::vector<uint8_t>>> thumbnails;
    std::vector<bool> passes;
    std::vector<FileType1> thoroughTypes;
    bool finished = false;
    TypeNumbering numbering;
};

// Removes a folder this test made, with everything in it.
void RemoveFolder(const std::wstring& dir) {
    std::wstring from = dir + L'\0';   // the list ends with an extra NUL
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::wstring FreshFolder(const wchar_t* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"zrcarve_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                       std::to_wstring(GetTickCount());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::vector<uint8_t> FileBytes(const std::wstring& path) {
    ReadOnlyFile f(path);
    return f.IsOpen() ? f.Read(0, static_cast<size_t>(f.Size())) : std::vector<uint8_t>();
}

const wchar_t kCarveDevice[] = L"\\\\.\\PhysicalDrive3";

class Carving : public ::testing::Test {
public:
    void SetUp() override {
        manifest = LoadCarveManifest(L"carve.img");
        if (manifest.empty()) GTEST_SKIP() << "no carve manifest (ZR_IMAGES not set?)";
        ReadOnlyFile dev(kCarveDevice);
        ASSERT_TRUE(dev.IsOpen());
        sectors = dev.Size() / 512;
        ASSERT_GT(sectors, 0u);
        StopSignatureScan.store(0);
    }
    void TearDown() override {
        for (const std::wstring& dir : folders) RemoveFolder(dir);
    }
    std::wstring Folder(const wchar_t* tag) {
        folders.push_back(FreshFolder(tag));
        return folders.back();
    }
    std::vector<CarveEntry> manifest;
    uint64_t sectors = 0;
    std::vector<std::wstring> folders;
};

}  // namespace

// Every planted file is found at its offset with its type's next number; the saved file holds
// the device's bytes from there to the item's end, which covers the whole original unless the
// type's maximum size is smaller.
void CheckPlantedFiles(Carving& t, bool readAhead) {
    SCOPED_TRACE(readAhead ? "read-ahead" : "reads on the pass thread");
    const std::vector<CarveEntry>& manifest = t.manifest;
    const uint64_t sectors = t.sectors;
    const std::wstring dest = t.Folder(L"all");
    TestHost host(kCarveDevice, 0, sectors - 1, dest);
    const SignatureSet set(CarveTypes());
    CarvePassSettings settings;
    settings.readAhead = readAhead;
    std::atomic<int32_t> stop{0};
    ASSERT_EQ(RunDeviceCarvePass(host, set, host.numbering, settings, stop), CarvePassEnd::Completed);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.asked, 0u);
    EXPECT_EQ(CarveProgressSector.load(), sectors);

    std::map<std::wstring, unsigned> perType;
    for (size_t i = 0; i < manifest.size(); ++i) {
        const CarveEntry& e = manifest[i];
        SCOPED_TRACE(e.name);
        const std::wstring key = Widen(kKeyOfType.at(e.type));
        const std::wstring name = MakeNumberedFileName(key.c_str(), key.c_str(), L"", ++perType[key]).GetString();
        auto row = std::find_if(host.rows.begin(), host.rows.end(), [&](const Row& r) { return r.name == name; });
        ASSERT_NE(row, host.rows.end());
        EXPECT_EQ(row->key, key);
        EXPECT_EQ(row->path, dest + L"\\Zembrolix Recovery (Premium)\\Signature Search\\General\\" + key + L"\\" + name);
        const std::vector<uint8_t> saved = FileBytes(row->path);
        ASSERT_FALSE(saved.empty());
        // The saved bytes are the device's from the planted offset on.
        EXPECT_EQ(saved, ReadAt(kCarveDevice, e.offset, saved.size()));
        const uint64_t nextStart = i + 1 < manifest.size() ? manifest[i + 1].offset : sectors * 512;
        uint64_t maxSize = 0;
        for (size_t k = 0; k < set.Size(); ++k)
            if (MakeTypeKey(set.Get(k).type.extension) == CString(key.c_str())) maxSize = set.Get(k).maxSize;
        if (nextStart - e.offset >= e.size && maxSize >= e.size) {
            ASSERT_GE(saved.size(), e.size);
            EXPECT_EQ(Sha256Hex(saved.data(), e.size), e.sha256);
        } else {
            EXPECT_EQ(saved.size(), std::min(nextStart - e.offset, maxSize));
        }
    }
    EXPECT_EQ(host.rows.size(), manifest.size());
}

// Both reading ahead on two threads and with reads on the pass's own thread.
TEST_F(Carving, FindsEveryPlantedFileAndSavesItsBytes) {
    CheckPlantedFiles(*this, true);
    CheckPlantedFiles(*this, false);
}

// A second pass into the same folder never overwrites: names move on to the next free number.
TEST_F(Carving, NeverOverwritesAnEarlierFind) {
    const std::wstring dest = Folder(L"again");
    const std::vector<FileType1> jpgOnly = {CarveTypes()[0]};
    const SignatureSet set(jpgOnly);
    std::vector<std::wstring> firstNames;
    for (int run = 0; run < 2; ++run) {
        TestHost host(kCarveDevice, 0, sectors - 1, dest);   // a fresh numbering each time
        std::atomic<int32_t> stop{0};
        ASSERT_EQ(RunDeviceCarvePass(host, set, host.numbering, CarvePassSettings(), stop), CarvePassEnd::Completed);
        ASSERT_EQ(host.rows.size(), 4u);
        if (run == 0) {
            for (const Row& r : host.rows) firstNames.push_back(r.name);
            EXPECT_EQ(firstNames.front(), L"JPG00001.JPG");
        } else {
            EXPECT_EQ(host.rows.front().name, L"JPG00005.JPG");
            EXPECT_EQ(host.rows.back().name, L"JPG00008.JPG");
        }
    }
    const std::vector<uint8_t> first = FileBytes(dest + L"\\Zembrolix Recovery (Premium)\\Signature Search\\General\\JPG\\JPG00001.JPG");
    EXPECT_EQ(Sha256Hex(first.data(), std::min<size_t>(first.size(), manifest[0].size)), manifest[0].sha256);
}

// A stop keeps every item found before it: each opened item is listed and its file exists.
TEST_F(Carving, StopListsEveryItemFoundBeforeIt) {
    const std::wstring dest = Folder(L"stop");
    TestHost host(kCarveDevice, 0, sectors - 1, dest);
    host.stopAfterRows = 3;
    const SignatureSet set(CarveTypes());
    EXPECT_EQ(RunDeviceCarvePass(host, set, host.numbering, CarvePassSettings(), StopSignatureScan), CarvePassEnd::Stopped);
    ASSERT_GE(host.rows.size(), 3u);
    EXPECT_LT(host.rows.size(), manifest.size());
    for (const Row& r : host.rows) EXPECT_NE(GetFileAttributesW(r.path.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(r.name);
    StopSignatureScan.store(0);
}

// A device that cannot be opened: "Retry and Continue..." asks again for every chunk, the same
// answer with its check box set is not asked again in that pass, and "Cancel Searching" stops.
TEST_F(Carving, MediaQuestionFollowsTheAnswer) {
    const SignatureSet set(CarveTypes());
    const std::wstring dest = Folder(L"gone");
    struct Case { MediaAnswer answer; CarvePassEnd end; unsigned asked; int32_t stop; };
    for (const Case c : {Case{MediaAnswer::Retry, CarvePassEnd::Completed, 1 + 4, 0},
                         Case{MediaAnswer::RetryAlways, CarvePassEnd::Completed, 1, 0},
                         Case{MediaAnswer::Cancel, CarvePassEnd::Cancelled, 1, 1}}) {
        TestHost host(L"\\\\.\\PhysicalDrive9", 0, 4 * 512 - 1, dest);
        host.answer = c.answer;
        std::atomic<int32_t> stop{0};
        EXPECT_EQ(RunDeviceCarvePass(host, set, host.numbering, CarvePassSettings(), stop), c.end);
        EXPECT_EQ(host.asked, c.asked);
        EXPECT_EQ(stop.load(), c.stop);
        EXPECT_TRUE(host.rows.empty());
    }
}

// The Signature pass thread: General pass, then the Thorough pass on the reloaded lists, each
// below its own folder and counted apart; the stop flag is clear at the end.
TEST_F(Carving, SignatureThreadRunsBothPasses) {
    const std::wstring dest = Folder(L"thread");
    TestHost host(kCarveDevice, 0, sectors - 1, dest);
    SignatureFileTypeList.clear();
    SignatureOffsetList.clear();
    AddSignature(CarveTypes()[2], SignatureFileTypeList, SignatureOffsetList);   // PDF
    host.thoroughTypes = {CarveTypes()[4]};                                       // GIF
    GeneralFoundCount.store(0);
    OmittedFoundCount.store(0);
    CWinThread* thread = nullptr;
    ASSERT_NE(ZrBeginThreadInto(thread, SignatureSearchThreadProc, &host), nullptr);
    ASSERT_EQ(WaitForSingleObject(thread->m_hThread, 60000), WAIT_OBJECT_0);
    delete thread;
    EXPECT_TRUE(host.finished);
    EXPECT_EQ(host.passes, (std::vector<bool>{false, true}));
    EXPECT_EQ(GeneralFoundCount.load(), 2u);
    EXPECT_EQ(OmittedFoundCount.load(), 1u);
    ASSERT_EQ(host.rows.size(), 3u);
    EXPECT_EQ(host.rows[2].path, dest + L"\\Zembrolix Recovery (Premium)\\Signature Search\\Omitted\\GIF\\GIF00001.GIF");
    EXPECT_EQ(StopSignatureScan.load(), 0);

    // A start that is not below the end is refused with the end-sector message.
    TestHost refused(kCarveDevice, 10, 10, dest);
    EXPECT_EQ(SignatureSearchThreadProc(&refused), 0u);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_NE(refused.messages[0].find(L"End Sector"), std::wstring::npos);
    EXPECT_TRUE(refused.finished);
    SignatureFileTypeList.clear();
    SignatureOffsetList.clear();
}

// Photo Search: the first match of a sector, names by prefix and hit number with the extension as
// stored, files below "Photo Search", and each picture's bytes handed on for its thumbnail.
TEST_F(Carving, PhotoPassNamesByHitAndKeepsThePictures) {
    const std::wstring dest = Folder(L"photo");
    TestHost host(kCarveDevice, 0, sectors - 1, dest);
    const std::vector<FileType1> kept = AdvanceFileTypeList;
    AdvanceFileTypeList = {Sig(".jpg", "FFD8FFE0", 1, "600000"), Sig(".jpe", "FFD8", 1, "600000"),
                           Sig(".png", "89504E470D0A1A0A", 1, "200000")};
    EXPECT_EQ(RunPhotoScanPass(host, true, CarvePassSettings()), CarvePassEnd::Completed);
    AdvanceFileTypeList = kept;
    EXPECT_EQ(host.passes, (std::vector<bool>{true}));
    std::vector<std::wstring> expected;
    for (const CarveEntry& e : manifest)
        if (e.type == "jpeg" || e.type == "png") expected.push_back(e.type == "png" ? L"png" : L"jpg");
    ASSERT_EQ(host.rows.size(), expected.size());
    ASSERT_EQ(host.thumbnails.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::wstring name = MakeNumberedFileName(L"THKX", expected[i].c_str(), L"", i + 1).GetString();
        EXPECT_EQ(host.rows[i].name, name);
        const std::wstring key = expected[i] == L"png" ? L"PNG" : L"JPG";
        EXPECT_EQ(host.rows[i].path, dest + L"\\Zembrolix Recovery (Premium)\\Photo Search\\Omitted\\" + key + L"\\" + name);
        EXPECT_EQ(host.thumbnails[i].first, name);
        EXPECT_EQ(host.thumbnails[i].second, FileBytes(host.rows[i].path));
    }
}

// CFile over real files in the temp folder: archives through a file, open failures, write
// failures surfacing as CFileException, and the refusal to open devices for writing.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "file.h"

namespace {

class FileTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
        m_dir.Format(L"%szr_file_test_%lu", tmp, GetCurrentProcessId());
        CreateDirectoryW(m_dir, nullptr);
    }
    void TearDown() override {
        for (const CString& p : m_made) DeleteFileW(p);
        RemoveDirectoryW(m_dir);
    }
    CString Path(const wchar_t* name) {
        CString p = m_dir + L"\\" + name;
        m_made.push_back(p);
        return p;
    }
    CString m_dir;
    std::vector<CString> m_made;
};

// Catches the CFileException* f throws; returns its cause and OS error, or {-1, 0}.
std::pair<int, long> FileError(const std::function<void()>& f) {
    try {
        f();
    } catch (CException* e) {
        auto* fe = dynamic_cast<CFileException*>(e);
        std::pair<int, long> r = fe ? std::make_pair(fe->m_cause, fe->m_lOsError) : std::make_pair(-2, 0L);
        e->Delete();
        return r;
    }
    return {-1, 0};
}

struct Row {
    CString path;
    uint64_t size;
    uint32_t cluster;
    int32_t state;
};

std::vector<Row> SampleRows() {
    std::vector<Row> rows;
    for (int i = 0; i < 2000; ++i) {
        Row r;
        r.path.Format(L"\\PHOTOS\\Holiday 2023\\IMG_%04d \u00e9t\u00e9.jpg", i);
        r.size = (uint64_t(i) << 33) + 17;
        r.cluster = 0x80000000u + i;
        r.state = i % 3 - 1;
        rows.push_back(r);
    }
    return rows;
}

void WriteLog(CArchive& ar, const std::vector<Row>& rows) {
    ar << CString(L"ZRLOG") << uint32_t(1);
    ar.WriteCount(rows.size());
    for (const Row& r : rows) ar << r.path << r.size << r.cluster << r.state;
    ar.WriteString(CString(L"Scan finished\r\n"));
    ar.WriteString(CString(L"2000 files\r\n"));
}

TEST_F(FileTest, ScanLogRoundTripsThroughAFile) {
    const std::vector<Row> rows = SampleRows();
    CString path = Path(L"scan.zrl");
    {
        CFile f(path, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite | CFile::typeBinary);
        CArchive ar(&f, CArchive::store);
        WriteLog(ar, rows);
        ar.Close();
        f.Close();
    }
    // The file holds exactly what the same archive writes into memory.
    CMemFile mem;
    {
        CArchive ar(&mem, CArchive::store);
        WriteLog(ar, rows);
    }
    CFile f;
    ASSERT_TRUE(f.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    ASSERT_EQ(f.GetLength(), mem.GetLength());
    std::vector<uint8_t> bytes(static_cast<size_t>(f.GetLength()));
    EXPECT_EQ(f.Read(bytes.data(), static_cast<unsigned>(bytes.size())), bytes.size());
    EXPECT_EQ(bytes, mem.GetData());
    EXPECT_EQ(f.Read(bytes.data(), 1), 0u);

    f.SeekToBegin();
    CArchive ar(&f, CArchive::load);
    CString magic, line;
    uint32_t version;
    ar >> magic >> version;
    EXPECT_EQ(magic, L"ZRLOG");
    EXPECT_EQ(version, 1u);
    uint64_t count = ar.ReadCount();
    ASSERT_EQ(count, rows.size());
    ASSERT_LE(count, ar.GetRemaining());
    for (const Row& expect : rows) {
        Row r;
        ar >> r.path >> r.size >> r.cluster >> r.state;
        ASSERT_EQ(r.path, expect.path);
        ASSERT_EQ(r.size, expect.size);
        ASSERT_EQ(r.cluster, expect.cluster);
        ASSERT_EQ(r.state, expect.state);
    }
    ASSERT_TRUE(ar.ReadString(line));
    EXPECT_EQ(line, L"Scan finished");
    ASSERT_TRUE(ar.ReadString(line));
    EXPECT_EQ(line, L"2000 files");
    EXPECT_FALSE(ar.ReadString(line));
    EXPECT_EQ(f.GetFilePath(), path);
    EXPECT_EQ(f.GetFileName(), L"scan.zrl");
}

TEST_F(FileTest, OpenFailuresDescribeTheCause) {
    CFile f;
    CFileException error;
    CString missing = Path(L"missing.zrl");
    EXPECT_FALSE(f.Open(missing, CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, long(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(error.m_strFileName, missing);
    EXPECT_EQ(f.m_hFile, CFile::hFileNull);

    EXPECT_FALSE(f.Open(m_dir + L"\\no\\such\\dir\\x.zrl", CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::badPath);

    auto r = FileError([&] { CFile thrower(missing, CFile::modeRead); });
    EXPECT_EQ(r.first, CFileException::fileNotFound);
    EXPECT_EQ(r.second, long(ERROR_FILE_NOT_FOUND));

    // An exclusive open keeps others out.
    CString path = Path(L"exclusive.zrl");
    CFile owner(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive);
    CFile other;
    EXPECT_FALSE(other.Open(path, CFile::modeRead | CFile::shareDenyNone, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
}

TEST_F(FileTest, WriteFailuresThrowFileException) {
    CString path = Path(L"readonly.zrl");
    {
        CFile f(path, CFile::modeCreate | CFile::modeWrite);
        f.Write("data", 4);
    }
    CFile f(path, CFile::modeRead);
    auto r = FileError([&] { f.Write("x", 1); });
    EXPECT_EQ(r.first, CFileException::accessDenied);
    EXPECT_EQ(r.second, long(ERROR_ACCESS_DENIED));
    r = FileError([&] {
        CArchive ar(&f, CArchive::store);
        ar << CString(L"a log that cannot be written");
        ar.Close();
    });
    EXPECT_EQ(r.first, CFileException::accessDenied);
    {
        CArchive ar(&f, CArchive::store);
        ar << uint32_t(1);
    }  // the same failure in the destructor stays inside it
    EXPECT_EQ(f.GetLength(), 4u);

    // Reading an archive past the end of a real file.
    f.SeekToBegin();
    CArchive ar(&f, CArchive::load);
    uint64_t v;
    try {
        ar >> v;
        ADD_FAILURE() << "no exception";
    } catch (CException* e) {
        auto* ae = dynamic_cast<CArchiveException*>(e);
        ASSERT_NE(ae, nullptr);
        EXPECT_EQ(ae->m_cause, CArchiveException::endOfFile);
        e->Delete();
    }
}

TEST_F(FileTest, DevicesAreNeverOpenedForWriting) {
    const wchar_t* devices[] = {L"\\\\.\\PhysicalDrive0", L"\\\\.\\PhysicalDrive1", L"\\\\.\\C:", L"\\\\.\\X:",
                                L"//./physicaldrive0", L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition0",
                                L"\\\\?\\C:"};
    const UINT writeModes[] = {CFile::modeWrite, CFile::modeReadWrite, CFile::modeCreate | CFile::modeWrite,
                               CFile::modeCreate | CFile::modeNoTruncate | CFile::modeRead};
    for (const wchar_t* dev : devices) {
        for (UINT mode : writeModes) {
            SCOPED_TRACE(ToUtf8(CString(dev)));
            CFile f;
            CFileException error;
            EXPECT_FALSE(f.Open(dev, mode | CFile::shareDenyNone, &error));
            EXPECT_EQ(f.m_hFile, CFile::hFileNull);
            EXPECT_EQ(error.m_cause, CFileException::accessDenied);
            EXPECT_EQ(error.m_lOsError, long(ERROR_ACCESS_DENIED));
            auto r = FileError([&] { CFile thrower(dev, mode); });
            EXPECT_EQ(r.first, CFileException::accessDenied);
        }
    }
    // A long-form path to an ordinary file is not a device.
    CString longForm = CString(L"\\\\?\\") + Path(L"long.zrl");
    CFile f;
    EXPECT_TRUE(f.Open(longForm, CFile::modeCreate | CFile::modeWrite));
    f.Close();
    DeleteFileW(longForm);
}

TEST_F(FileTest, SeekLengthAndTruncation) {
    CString path = Path(L"seek.bin");
    CFile f(path, CFile::modeCreate | CFile::modeReadWrite);
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    f.Write(data.data(), 100);
    EXPECT_EQ(f.GetPosition(), 100u);
    EXPECT_EQ(f.Seek(-10, CFile::end), 90u);
    uint8_t b[20];
    EXPECT_EQ(f.Read(b, 20), 10u);
    EXPECT_EQ(b[0], 90);
    EXPECT_EQ(f.Seek(5, CFile::begin), 5u);
    EXPECT_EQ(f.Seek(5, CFile::current), 10u);
    EXPECT_EQ(f.SeekToEnd(), 100u);
    f.SetLength(50);
    EXPECT_EQ(f.GetLength(), 50u);
    auto r = FileError([&] { f.Seek(-1, CFile::begin); });
    EXPECT_NE(r.first, -1);
    f.Flush();
    f.Close();
    f.Close();  // closing twice is harmless

    {
        CFile keep(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite);
        EXPECT_EQ(keep.GetLength(), 50u);
    }
    CFile truncate(path, CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(truncate.GetLength(), 0u);
}

}  // namespace

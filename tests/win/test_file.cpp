// CFile over real files: write failures surfacing as CFileException, and the refusal to open
// devices for writing.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "file.h"

namespace {

class FileTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
        m_dir.Format(L"%szr_file_test_%lu", tmp, GetCurrentProcessId());
        CreateDirectoryW(m_dir, nullptr);
    }
    void TearDown() override
    {
        for (const CString& p : m_made)
            DeleteFileW(p);
        RemoveDirectoryW(m_dir);
    }
    CString Path(const wchar_t* name)
    {
        m_made.push_back(m_dir + L"\\" + name);
        return m_made.back();
    }
    CString m_dir;
    std::vector<CString> m_made;
};

// The cause and OS error of the CFileException f throws, or {-1, 0}.
std::pair<int, long> FileError(const std::function<void()>& f)
{
    try {
        f();
    } catch (CException* e) {
        auto* fe = dynamic_cast<CFileException*>(e);
        std::pair<int, long> r = fe ? std::make_pair(fe->m_cause, fe->m_lOsError) : std::make_pair(-2, 0L);
        e->Delete();
        return r;
    }
    return { -1, 0 };
}

TEST_F(FileTest, WriteFailuresThrowFileException)
{
    CString path = Path(L"readonly.zrl");
    CFile(path, CFile::modeCreate | CFile::modeWrite).Write("data", 4);
    CFile f(path, CFile::modeRead);
    EXPECT_EQ(FileError([&] { f.Write("x", 1); }),
              std::make_pair(int(CFileException::accessDenied), long(ERROR_ACCESS_DENIED)));
    auto r = FileError([&] {
        CArchive ar(&f, CArchive::store);
        ar << CString(L"a log that cannot be written");
        ar.Close();
    });
    EXPECT_EQ(r.first, CFileException::accessDenied);
    {
        CArchive ar(&f, CArchive::store);
        ar << uint32_t(1);
    } // the same failure in the destructor stays inside it
    EXPECT_EQ(f.GetLength(), 4u);
}

TEST_F(FileTest, DevicesAreNeverOpenedForWriting)
{
    const wchar_t* devices[] = { L"\\\\.\\PhysicalDrive0",
                                 L"\\\\.\\PhysicalDrive1",
                                 L"\\\\.\\C:",
                                 L"\\\\.\\X:",
                                 L"//./physicaldrive0",
                                 L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition0",
                                 L"\\\\?\\C:" };
    const UINT writeModes[] = { CFile::modeWrite, CFile::modeReadWrite, CFile::modeCreate | CFile::modeWrite,
                                CFile::modeCreate | CFile::modeNoTruncate | CFile::modeRead };
    for (const wchar_t* dev : devices) {
        for (UINT mode : writeModes) {
            SCOPED_TRACE(ToUtf8(CString(dev)));
            CFile f;
            CFileException error;
            EXPECT_FALSE(f.Open(dev, mode | CFile::shareDenyNone, &error));
            EXPECT_EQ(f.m_hFile, CFile::hFileNull);
            EXPECT_EQ(error.m_cause, CFileException::accessDenied);
            EXPECT_EQ(FileError([&] { CFile thrower(dev, mode); }).first, CFileException::accessDenied);
        }
    }
    // A long-form path to an ordinary file is not a device.
    CString longForm = CString(L"\\\\?\\") + Path(L"long.zrl");
    CFile f;
    EXPECT_TRUE(f.Open(longForm, CFile::modeCreate | CFile::modeWrite));
}

} // namespace

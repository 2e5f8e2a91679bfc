// The archive codec over in-memory streams: exact bytes, length forms, truncation, hostile
// length claims, buffering and full streams; and the raw-device test that guards file writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "archive.h"
#include "devicepath.h"
#include "tests/pure/alloc_watch.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Store(const std::function<void(CArchive&)>& write, unsigned bufferSize = 4096)
{
    CMemFile f;
    {
        CArchive ar(&f, CArchive::store, bufferSize);
        write(ar);
        ar.Close();
    }
    return f.Detach();
}

// The m_cause of the E that f throws, -1 for no exception, -2 for another exception.
template <class E> int Cause(const std::function<void()>& f)
{
    try {
        f();
    } catch (CException* e) {
        auto* x = dynamic_cast<E*>(e);
        const int cause = x ? x->m_cause : -2;
        e->Delete();
        return cause;
    }
    return -1;
}
int ArchiveCause(const std::function<void()>& f)
{
    return Cause<CArchiveException>(f);
}

CString ReadCString(const Bytes& b, unsigned bufferSize = 4096)
{
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, bufferSize);
    CString s;
    ar >> s;
    EXPECT_EQ(ar.GetRemaining(), 0u);
    return s;
}

Bytes Prefix(const Bytes& b, size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(ArchiveBytes, ExactBytesOfNumbersAndCounts)
{
    const Bytes b = Store([](CArchive& ar) {
        ar << uint8_t(0x12) << uint16_t(0x3456) << int32_t(-2) << uint64_t(0x0102030405060708) << true << 1.5;
        for (uint64_t c : { uint64_t(5), uint64_t(0xFFFF), uint64_t(0x100000000) })
            ar.WriteCount(c);
    });
    const Bytes expect = { 0x12, 0x56, 0x34, 0xFE, 0xFF, 0xFF, 0xFF, 8,    7,    6,    5,    4,
                           3,    2,    1,    0x01, 0,    0,    0,    0,    0,    0,    0xF8, 0x3F,
                           0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                           0xFF, 0xFF, 0,    0,    0,    0,    1,    0,    0,    0 };
    EXPECT_EQ(b, expect);
    CMemFile f(b.data() + 24, b.size() - 24);
    CArchive ar(&f, CArchive::load, 16);
    for (uint64_t c : { uint64_t(5), uint64_t(0xFFFF), uint64_t(0x100000000) })
        EXPECT_EQ(ar.ReadCount(), c);
}

TEST(ArchiveStrings, EveryLengthFormRoundTripsAndOldFormsRead)
{
    const struct {
        int length;
        Bytes prefix;
    } forms[] = {
        { 0, { 0xFF, 0xFE, 0xFF, 0x00 } },
        { 254, { 0xFF, 0xFE, 0xFF, 0xFE } },
        { 255, { 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00 } },
        { 65534, { 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00 } },
        { 70000, { 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00 } },
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.length);
        CString s;
        for (int i = 0; i < form.length; ++i)
            s += static_cast<wchar_t>(L'A' + i % 26);
        const Bytes b = Store([&](CArchive& ar) { ar << s; }, 64);
        ASSERT_EQ(b.size(), form.prefix.size() + 2 * static_cast<size_t>(form.length));
        EXPECT_EQ(Prefix(b, form.prefix.size()), form.prefix);
        EXPECT_EQ(ReadCString(b), s);
        EXPECT_EQ(ReadCString(b, 16), s); // the text spans many refills
    }
    // Narrow strings are Latin-1; a supplementary character is a surrogate pair.
    EXPECT_EQ(ReadCString({ 3, 'a', 'b', 0xE9 }), L"ab\u00e9");
    EXPECT_EQ(ReadCString({ 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 'h', 'i' }), L"hi");
    EXPECT_EQ(ReadCString({ 0xFF, 0xFE, 0xFF, 0x03, 0x3D, 0xD8, 0x00, 0xDE, 0x78, 0x00 }), L"\U0001F600x");
}

TEST(ArchiveStrings, HugeClaimsAreRefusedBeforeAllocating)
{
    const Bytes claims[] = {
        { 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 'a', 0, 'b', 0 },         // 2^31 units
        { 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 1, 0, 0 }, // 2^40
        { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i' },
        { 0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x10, 'a', 0 },
    };
#ifdef ZR_WATCH_ALLOCATIONS
    ASSERT_NE(alloc_watch::hooks, 0);
#endif
    for (const Bytes& b : claims) {
        SCOPED_TRACE(testing::PrintToString(b));
        CMemFile f(b.data(), b.size());
        CArchive ar(&f, CArchive::load);
        CString s(L"unchanged");
        int cause = -1;
        EXPECT_LT(alloc_watch::Largest([&] { cause = ArchiveCause([&] { ar >> s; }); }), 4096u);
        EXPECT_TRUE(cause == CArchiveException::endOfFile || cause == CArchiveException::badIndex) << cause;
        EXPECT_EQ(s, L"unchanged");
    }
}

// A scan-log-like archive of every kind of field; cut anywhere, reading it must throw.
TEST(ArchiveTruncation, EveryCutThrowsArchiveException)
{
    auto mixed = [](unsigned bufferSize) {
        return Store(
            [](CArchive& ar) {
                ar << CString(L"ZRLOG") << uint64_t(0x123456789A);
                ar.WriteCount(2);
                ar << CString(L'y', 300) << true;
                ar.WriteString(CString(L"\u00e9t\u00e9\r\n"));
                ar.WriteCount(70000);
                ar << CString(L"end");
            },
            bufferSize);
    };
    auto read = [](CArchive& ar) {
        CString s;
        uint64_t u64;
        bool b;
        ar >> s >> u64;
        ar.ReadCount();
        ar >> s >> b;
        if (!ar.ReadString(s))
            AfxThrowArchiveException(CArchiveException::endOfFile); // as a log reader does
        ar.ReadCount();
        ar >> s;
        if (s != L"end")
            AfxThrowArchiveException(CArchiveException::genericException);
    };
    const Bytes full = mixed(64);
    ASSERT_EQ(full, mixed(4096)); // buffering never changes the bytes
    for (unsigned readBuffer : { 16u, 4096u }) {
        {
            CMemFile f(full.data(), full.size());
            CArchive ar(&f, CArchive::load, readBuffer);
            read(ar);
            EXPECT_EQ(ar.GetRemaining(), 0u);
        }
        for (size_t cut = 0; cut < full.size(); ++cut) {
            Bytes part = Prefix(full, cut); // exactly sized: ASan sees any read past it
            CMemFile f(part.data(), part.size());
            CArchive ar(&f, CArchive::load, readBuffer);
            ASSERT_NE(ArchiveCause([&] { read(ar); }), -1) << "cut at " << cut << " went unnoticed";
        }
    }
}

TEST(ArchiveLines, LinesAcrossRefillsAndAHalfUnitAtTheEnd)
{
    const CString longLine(L'L', 10000);
    const Bytes b = Store([&](CArchive& ar) { ar.WriteString(L"cr\rinside\r\n" + longLine + L"\nlast"); });
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, 16);
    CString line;
    // How each line ended: CR LF, a lone LF, the end of the data.
    const std::pair<CString, bool> lines[] = { { L"cr\rinside", true }, { longLine, false }, { L"last", false } };
    for (const auto& want : lines) {
        bool crLf = !want.second;
        ASSERT_TRUE(ar.ReadString(line, &crLf));
        EXPECT_EQ(line, want.first);
        EXPECT_EQ(crLf, want.second);
    }
    EXPECT_FALSE(ar.ReadString(line));
    const Bytes half = { 'a', 0, '\r', 0, '\n', 0, 'b' };
    CMemFile g(half.data(), half.size());
    CArchive h(&g, CArchive::load);
    ASSERT_TRUE(h.ReadString(line));
    EXPECT_EQ(ArchiveCause([&] { h.ReadString(line); }), CArchiveException::endOfFile);
}

TEST(ArchiveErrors, FullStreamReportsOnCloseAndIsSilentInDestructor)
{
    CMemFile f;
    f.SetWriteLimit(10);
    {
        CArchive ar(&f, CArchive::store);
        ar << CString(L"more than ten bytes");
        EXPECT_EQ(Cause<CFileException>([&] { ar.Close(); }), CFileException::diskFull);
    }
    EXPECT_EQ(f.GetLength(), 10u);
    CMemFile g;
    g.SetWriteLimit(2);
    {
        CArchive ar(&g, CArchive::store);
        ar << uint64_t(1);
    } // the destructor's failed flush must not escape
    EXPECT_EQ(g.GetLength(), 2u);
    CMemFile h;
    CArchive load(&h, CArchive::load);
    EXPECT_EQ(ArchiveCause([&] { load << uint32_t(1); }), CArchiveException::readOnly);
}

// A log of a million texts must not ask the file for its length and position a million times
// (each a system call on a real file), and the count must stay exact across refills, reads that
// bypass the buffer and a flush that gives back what was read ahead.
TEST(ArchiveRemaining, TheStreamIsAskedOnceAndTheCountStaysExact)
{
    struct CountingFile : CMemFile {
        using CMemFile::CMemFile;
        uint64_t GetLength() const override { return ++asks, CMemFile::GetLength(); }
        uint64_t GetPosition() const override { return ++asks, CMemFile::GetPosition(); }
        mutable int asks = 0;
    };
    const Bytes b = Store([](CArchive& ar) {
        for (int i = 0; i < 2000; ++i)
            ar << CString(L"text") << uint32_t(i);
        ar.Write(Bytes(10000, 7).data(), 10000);
    });
    CountingFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, 64);
    uint64_t left = b.size();
    for (int i = 0; i < 2000; ++i) {
        CString s;
        uint32_t n = 0;
        ar >> s >> n;
        left -= 4 + 8 + 4;
        ASSERT_EQ(ar.GetRemaining(), left);
    }
    EXPECT_LE(f.asks, 2);
    Bytes raw(6000);
    ASSERT_EQ(ar.Read(raw.data(), 6000), 6000u); // larger than the buffer: read past it
    EXPECT_EQ(ar.GetRemaining(), 4000u);
    ar.Flush();
    EXPECT_EQ(ar.GetRemaining(), 4000u);
    EXPECT_EQ(f.GetPosition(), b.size() - 4000);
}

TEST(DevicePaths, RawDevicesAreRecognised)
{
    for (const wchar_t* p : { L"\\\\.\\PhysicalDrive0", L"\\\\.\\C:", L"//./physicaldrive1", L"\\\\.\\pipe\\x",
                              L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1", L"\\??\\C:", L"\\\\?\\C:",
                              L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}", L"\\\\?\\PhysicalDrive2",
                              L"\\\\?\\Harddisk0Partition1", L"\\\\?\\CdRom0" })
        EXPECT_TRUE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    for (const wchar_t* p : { L"C:\\logs\\scan.zrl", L"\\\\?\\C:\\logs\\scan.zrl", L"\\\\?\\UNC\\srv\\share\\a",
                              L"\\\\server\\share\\file", L"relative\\path", L"", L"\\\\.", L"C:",
                              L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\dir\\f.txt" })
        EXPECT_FALSE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    EXPECT_FALSE(IsRawDevicePath(nullptr));
}

} // namespace

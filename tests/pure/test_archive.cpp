// The archive codec over in-memory streams: exact bytes, every string length form, lines,
// truncation and hostile length claims, buffering, modes and the exception convention.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "archive.h"
#include "devicepath.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
#define ZR_WATCH_ALLOCATIONS 1
#endif
#endif

namespace {

#ifdef ZR_WATCH_ALLOCATIONS
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};
void OnMalloc(const volatile void*, size_t size) {
    if (g_watching && size > g_largest) g_largest = size;
}
void OnFree(const volatile void*) {}
#endif

// The largest single allocation made while f runs. Natively the sanitizer's allocator hooks
// tell; elsewhere this returns 0, and a huge allocation shows as std::bad_alloc or
// std::length_error escaping instead (a 32-bit process cannot reserve gigabytes).
size_t LargestAllocation(const std::function<void()>& f) {
#ifdef ZR_WATCH_ALLOCATIONS
    static const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    EXPECT_NE(installed, 0);
    g_largest = 0;
    g_watching = true;
    f();
    g_watching = false;
    return g_largest;
#else
    f();
    return 0;
#endif
}

using Bytes = std::vector<uint8_t>;

Bytes Store(const std::function<void(CArchive&)>& write, unsigned bufferSize = 4096) {
    CMemFile f;
    {
        CArchive ar(&f, CArchive::store, bufferSize);
        write(ar);
        ar.Close();
    }
    return f.Detach();
}

// Runs f and returns the cause of the CArchiveException it throws, or -1 for no exception.
// Any other exception type fails the test.
int ArchiveCause(const std::function<void()>& f) {
    try {
        f();
    } catch (CException* e) {
        auto* ae = dynamic_cast<CArchiveException*>(e);
        int cause = ae ? ae->m_cause : -2;
        e->Delete();
        EXPECT_NE(cause, -2) << "not a CArchiveException";
        return cause;
    }
    return -1;
}

CString ReadCString(const Bytes& b, unsigned bufferSize = 4096) {
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, bufferSize);
    CString s;
    ar >> s;
    EXPECT_EQ(ar.GetRemaining(), 0u);
    return s;
}

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

TEST(ArchiveBytes, StringExamples) {
    EXPECT_EQ(Store([](CArchive& ar) { ar << CString(); }), (Bytes{0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar << CString(L"LOG"); }),
              (Bytes{0xFF, 0xFE, 0xFF, 0x03, 0x4C, 0x00, 0x4F, 0x00, 0x47, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar << L"\u00e9"; }), (Bytes{0xFF, 0xFE, 0xFF, 0x01, 0xE9, 0x00}));
}

TEST(ArchiveBytes, IntegersAreLittleEndianWithTheirOwnWidth) {
    Bytes b = Store([](CArchive& ar) {
        ar << uint8_t(0x12) << uint16_t(0x3456) << uint32_t(0x789ABCDE) << int32_t(-2)
           << uint64_t(0x0102030405060708) << int64_t(-3) << true << L'\u20ac' << 1.5 << 0.25f;
    });
    Bytes expect = {0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78, 0xFE, 0xFF, 0xFF, 0xFF,
                    0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
                    0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                    0x01, 0xAC, 0x20,
                    0, 0, 0, 0, 0, 0, 0xF8, 0x3F,
                    0, 0, 0x80, 0x3E};
    EXPECT_EQ(b, expect);

    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load);
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    int32_t i32;
    uint64_t u64;
    int64_t i64;
    bool flag;
    wchar_t ch;
    double d;
    float fl;
    ar >> u8 >> u16 >> u32 >> i32 >> u64 >> i64 >> flag >> ch >> d >> fl;
    EXPECT_EQ(u8, 0x12);
    EXPECT_EQ(u16, 0x3456);
    EXPECT_EQ(u32, 0x789ABCDEu);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(u64, 0x0102030405060708u);
    EXPECT_EQ(i64, -3);
    EXPECT_TRUE(flag);
    EXPECT_EQ(ch, L'\u20ac');
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(fl, 0.25f);
    EXPECT_EQ(ar.GetRemaining(), 0u);
    EXPECT_EQ(ArchiveCause([&] { ar >> u8; }), CArchiveException::endOfFile);
}

TEST(ArchiveBytes, AnyNonZeroByteReadsAsTrue) {
    Bytes b = {0x00, 0x02};
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load);
    bool x = true, y = false;
    ar >> x >> y;
    EXPECT_FALSE(x);
    EXPECT_TRUE(y);
}

struct LengthForm {
    int length;
    Bytes prefix;
};

TEST(ArchiveStrings, EveryLengthFormRoundTrips) {
    const LengthForm forms[] = {
        {0, {0xFF, 0xFE, 0xFF, 0x00}},
        {1, {0xFF, 0xFE, 0xFF, 0x01}},
        {254, {0xFF, 0xFE, 0xFF, 0xFE}},
        {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.length);
        CString s;
        for (int i = 0; i < form.length; ++i) s += static_cast<wchar_t>(L'A' + i % 26);
        Bytes b = Store([&](CArchive& ar) { ar << s; }, 64);
        ASSERT_EQ(b.size(), form.prefix.size() + 2 * static_cast<size_t>(form.length));
        EXPECT_EQ(Prefix(b, form.prefix.size()), form.prefix);
        EXPECT_EQ(ReadCString(b), s);
        EXPECT_EQ(ReadCString(b, 16), s);  // a small buffer: the text spans many refills
    }
}

TEST(ArchiveStrings, ReaderAcceptsEveryPrefixVariant) {
    // 64-bit length form, even for a short text.
    EXPECT_EQ(ReadCString({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0,
                           'a', 0, 'b', 0, 'c', 0}),
              L"abc");
    // A 16-bit FFFE after the marker is a length, not a second marker.
    Bytes b = {0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF};
    b.resize(b.size() + 2 * 0xFFFE, 'x');
    EXPECT_EQ(ReadCString(b).GetLength(), 0xFFFE);
    // Narrow strings: no marker, one Latin-1 byte per character, in each length form.
    EXPECT_EQ(ReadCString({3, 'a', 'b', 0xE9}), L"ab\u00e9");
    EXPECT_EQ(ReadCString({0}), L"");
    Bytes narrow = {0xFF, 0x00, 0x01};
    narrow.resize(narrow.size() + 256, 'n');
    EXPECT_EQ(ReadCString(narrow), CString(L'n', 256));
    EXPECT_EQ(ReadCString({0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 'h', 'i'}), L"hi");
}

TEST(ArchiveStrings, SupplementaryCharactersUseSurrogatePairs) {
    CString s(L"\U0001F600x");
    Bytes b = Store([&](CArchive& ar) { ar << s; });
    EXPECT_EQ(b, (Bytes{0xFF, 0xFE, 0xFF, 0x03, 0x3D, 0xD8, 0x00, 0xDE, 0x78, 0x00}));
    EXPECT_EQ(ReadCString(b), s);
    // An unpaired surrogate survives a read and a write unchanged.
    Bytes lone = {0xFF, 0xFE, 0xFF, 0x02, 0x00, 0xD8, 0x41, 0x00};
    CString t = ReadCString(lone);
    EXPECT_EQ(Store([&](CArchive& ar) { ar << t; }), lone);
}

TEST(ArchiveStrings, HugeClaimsAreRefusedBeforeAllocating) {
    // Each claims far more text than the few bytes behind it.
    const Bytes claims[] = {
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 'a', 0, 'b', 0},          // 2^31 units
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0, 'b', 0, 0, 0},    // 2^31-1
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 1, 0, 0},  // 2^40
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'},
        {0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x10, 'a', 0},
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (const Bytes& b : claims) {
        SCOPED_TRACE(testing::PrintToString(b));
        CMemFile f(b.data(), b.size());
        CArchive ar(&f, CArchive::load);
        CString s(L"unchanged");
        int cause = -1;
        size_t largest = LargestAllocation([&] { cause = ArchiveCause([&] { ar >> s; }); });
        EXPECT_LT(largest, 4096u);
        EXPECT_TRUE(cause == CArchiveException::endOfFile || cause == CArchiveException::badIndex) << cause;
        EXPECT_EQ(s, L"unchanged");
    }
}

// A scan-log-like archive of every kind of field, and a reader that checks each one.
Bytes MixedArchive(unsigned bufferSize) {
    return Store(
        [](CArchive& ar) {
            ar << CString(L"ZRLOG") << uint32_t(3) << uint64_t(0x123456789A);
            ar.WriteCount(2);
            ar << CString(L"\\DOCS\\Meeting notes.txt") << int64_t(-1) << uint16_t(7);
            ar << CString(L'y', 300) << true;
            ar.WriteString(CString(L"line one\r\n"));
            ar.WriteString(CString(L"\u00e9t\u00e9\r\n"));
            ar << CString(L'x', 300) << 2.5 << int32_t(-9);
            ar.WriteCount(70000);
            ar << CString(L"end");
        },
        bufferSize);
}

void ReadMixed(CArchive& ar) {
    CString s;
    uint32_t u32;
    uint64_t u64;
    int64_t i64;
    uint16_t u16;
    bool b;
    double d;
    int32_t i32;
    ar >> s >> u32 >> u64;
    EXPECT_EQ(s, L"ZRLOG");
    EXPECT_EQ(ar.ReadCount(), 2u);
    ar >> s >> i64 >> u16;
    ar >> s >> b;
    // A log reader treats a missing line as the end of the data.
    if (!ar.ReadString(s)) AfxThrowArchiveException(CArchiveException::endOfFile);
    if (!ar.ReadString(s)) AfxThrowArchiveException(CArchiveException::endOfFile);
    ar >> s >> d >> i32;
    ar.ReadCount();
    ar >> s;
    if (s != L"end") AfxThrowArchiveException(CArchiveException::genericException);
}

TEST(ArchiveTruncation, EveryCutThrowsArchiveException) {
    for (unsigned readBuffer : {16u, 4096u}) {
        Bytes full = MixedArchive(64);
        ASSERT_EQ(full, MixedArchive(4096));  // buffering never changes the bytes
        {
            CMemFile f(full.data(), full.size());
            CArchive ar(&f, CArchive::load, readBuffer);
            ReadMixed(ar);
            EXPECT_EQ(ar.GetRemaining(), 0u);
        }
        for (size_t cut = 0; cut < full.size(); ++cut) {
            Bytes part = Prefix(full, cut);  // exactly sized: ASan sees any read past it
            CMemFile f(part.data(), part.size());
            CArchive ar(&f, CArchive::load, readBuffer);
            int cause = ArchiveCause([&] { ReadMixed(ar); });
            ASSERT_NE(cause, -1) << "cut at " << cut << " went unnoticed";
        }
    }
}

TEST(ArchiveLines, RoundTripWithCrLf) {
    CString longLine(L'L', 10000);
    Bytes b = Store([&](CArchive& ar) {
        ar.WriteString(CString(L"first\r\n"));
        ar.WriteString(CString(L"second \u00e9\U0001F600 line\r\n"));
        ar.WriteString(CString(L"\r\n"));
        ar.WriteString(CString(L"cr\rinside\r\n"));
        ar.WriteString(longLine + L"\r\n");
        ar.WriteString(CString(L"unix\n"));
        ar.WriteString(CString(L"last, unterminated"));
    });
    EXPECT_EQ(Prefix(b, 14), (Bytes{'f', 0, 'i', 0, 'r', 0, 's', 0, 't', 0, '\r', 0, '\n', 0}));
    for (unsigned buffer : {16u, 4096u}) {
        CMemFile f(b.data(), b.size());
        CArchive ar(&f, CArchive::load, buffer);
        CString line;
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"first");
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"second \u00e9\U0001F600 line");
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"");
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"cr\rinside");
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, longLine);
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"unix");
        ASSERT_TRUE(ar.ReadString(line));
        EXPECT_EQ(line, L"last, unterminated");
        EXPECT_FALSE(ar.ReadString(line));
        EXPECT_FALSE(ar.ReadString(line));
    }
}

TEST(ArchiveLines, HalfAUnitAtTheEndThrows) {
    Bytes b = {'a', 0, '\r', 0, '\n', 0, 'b'};
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load);
    CString line;
    ASSERT_TRUE(ar.ReadString(line));
    EXPECT_EQ(line, L"a");
    EXPECT_EQ(ArchiveCause([&] { ar.ReadString(line); }), CArchiveException::endOfFile);
}

TEST(ArchiveCounts, FormsAndBounds) {
    Bytes b = Store([](CArchive& ar) {
        ar.WriteCount(5);
        ar.WriteCount(0xFFFE);
        ar.WriteCount(0xFFFF);
        ar.WriteCount(0x100000000ull);
    });
    Bytes expect = {0x05, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(b, expect);
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, 16);
    EXPECT_EQ(ar.ReadCount(), 5u);
    EXPECT_EQ(ar.GetRemaining(), b.size() - 2);
    EXPECT_EQ(ar.ReadCount(), 0xFFFEu);
    EXPECT_EQ(ar.ReadCount(), 0xFFFFu);
    // A reader bounds a claimed row count by the bytes left before reserving rows.
    uint64_t rows = ar.ReadCount();
    EXPECT_EQ(rows, 0x100000000ull);
    EXPECT_GT(rows, ar.GetRemaining());
}

TEST(ArchiveBuffering, RawReadsAndStreamPosition) {
    Bytes data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    CMemFile f(data.data(), data.size());
    {
        CArchive ar(&f, CArchive::load, 64);
        uint8_t small[3];
        EXPECT_EQ(ar.Read(small, 3), 3u);
        EXPECT_EQ(ar.GetRemaining(), 9997u);
        Bytes big(5000);  // larger than the buffer: partly direct from the stream
        EXPECT_EQ(ar.Read(big.data(), 5000), 5000u);
        EXPECT_TRUE(std::equal(big.begin(), big.end(), data.begin() + 3));
        ar.Flush();  // gives back what was read ahead
        EXPECT_EQ(f.GetPosition(), 5003u);
        Bytes rest(6000);
        EXPECT_EQ(ar.Read(rest.data(), 6000), 4997u);  // short only at the end
        EXPECT_EQ(rest[0], data[5003]);
        EXPECT_EQ(ar.Read(rest.data(), 10), 0u);
    }
}

TEST(ArchiveModes, WrongDirectionAndClosedArchivesThrow) {
    CMemFile f;
    CArchive store(&f, CArchive::store);
    EXPECT_TRUE(store.IsStoring());
    uint32_t v = 0;
    CString s;
    EXPECT_EQ(ArchiveCause([&] { store >> v; }), CArchiveException::writeOnly);
    EXPECT_EQ(ArchiveCause([&] { store >> s; }), CArchiveException::writeOnly);
    EXPECT_EQ(ArchiveCause([&] { store.ReadString(s); }), CArchiveException::writeOnly);
    store << uint32_t(1);
    store.Close();
    EXPECT_EQ(f.GetLength(), 4u);
    EXPECT_EQ(ArchiveCause([&] { store << uint32_t(2); }), CArchiveException::genericException);

    f.SeekToBegin();
    CArchive load(&f, CArchive::load);
    EXPECT_TRUE(load.IsLoading());
    EXPECT_EQ(ArchiveCause([&] { load << v; }), CArchiveException::readOnly);
    EXPECT_EQ(ArchiveCause([&] { load.WriteString(s); }), CArchiveException::readOnly);
    load >> v;
    EXPECT_EQ(v, 1u);
}

TEST(ArchiveModes, DestructorFlushesUnlessTold) {
    CMemFile f;
    { CArchive ar(&f, CArchive::store); ar << uint32_t(7); }
    EXPECT_EQ(f.GetLength(), 4u);
    CMemFile g;
    { CArchive ar(&g, CArchive::store | CArchive::bNoFlushOnDelete); ar << uint32_t(7); }
    EXPECT_EQ(g.GetLength(), 0u);
    CMemFile h;
    { CArchive ar(&h, CArchive::store); ar << uint32_t(7); ar.Abort(); }
    EXPECT_EQ(h.GetLength(), 0u);
}

TEST(ArchiveErrors, FullStreamReportsOnCloseAndIsSilentInDestructor) {
    CMemFile f;
    f.SetWriteLimit(10);
    {
        CArchive ar(&f, CArchive::store);
        ar << CString(L"more than ten bytes");
        try {
            ar.Close();
            ADD_FAILURE() << "no exception";
        } catch (CException* e) {
            auto* fe = dynamic_cast<CFileException*>(e);
            ASSERT_NE(fe, nullptr);
            EXPECT_EQ(fe->m_cause, CFileException::diskFull);
            wchar_t msg[128];
            EXPECT_TRUE(e->GetErrorMessage(msg, 128));
            EXPECT_NE(CString(msg).Find(L"not enough space"), -1);
            e->Delete();
        }
    }
    EXPECT_EQ(f.GetLength(), 10u);  // what fitted was written
    CMemFile g;
    g.SetWriteLimit(2);
    {
        CArchive ar(&g, CArchive::store);
        ar << uint64_t(1);
    }  // the destructor's failed flush must not escape
    EXPECT_EQ(g.GetLength(), 2u);
    // Writes larger than the buffer go straight to the stream and fail at once.
    CMemFile h;
    h.SetWriteLimit(100);
    CArchive ar(&h, CArchive::store, 16);
    CString big(L'b', 100);
    try {
        ar << big;
        ADD_FAILURE() << "no exception";
    } catch (CException* e) {
        EXPECT_NE(dynamic_cast<CFileException*>(e), nullptr);
        e->Delete();
    }
}

TEST(MemFile, SeekWriteAndLimits) {
    CMemFile f;
    EXPECT_EQ(f.Seek(4, CByteStream::begin), 4u);
    f.Write("ab", 2);  // past the end: the gap reads as zeros
    EXPECT_EQ(f.GetData(), (Bytes{0, 0, 0, 0, 'a', 'b'}));
    EXPECT_EQ(f.Seek(-1, CByteStream::end), 5u);
    EXPECT_EQ(f.Seek(-5, CByteStream::current), 0u);
    char c[8];
    EXPECT_EQ(f.Read(c, 8), 6u);
    EXPECT_EQ(f.Read(c, 8), 0u);
    EXPECT_EQ(f.SeekToEnd(), 6u);
    f.Seek(100, CByteStream::begin);
    EXPECT_EQ(f.Read(c, 8), 0u);
    try {
        f.Seek(-101, CByteStream::current);
        ADD_FAILURE() << "no exception";
    } catch (CException* e) {
        auto* fe = dynamic_cast<CFileException*>(e);
        ASSERT_NE(fe, nullptr);
        EXPECT_EQ(fe->m_cause, CFileException::badSeek);
        e->Delete();
    }
    f.SetLength(2);
    EXPECT_EQ(f.GetLength(), 2u);
}

TEST(Exceptions, MessagesAreReadableAndBounded) {
    CArchiveException ae(CArchiveException::endOfFile, L"scan.zrl");
    wchar_t buf[200];
    ASSERT_TRUE(ae.GetErrorMessage(buf, 200));
    EXPECT_STREQ(buf, L"Unexpected end of data while reading an archive in \"scan.zrl\".");
    wchar_t small[6];
    ASSERT_TRUE(ae.GetErrorMessage(small, 6));
    EXPECT_STREQ(small, L"Unexp");
    EXPECT_FALSE(ae.GetErrorMessage(small, 0));

    CFileException fe(CFileException::OsErrorToException(32), 32, L"C:\\log.zrl");
    EXPECT_EQ(fe.m_cause, CFileException::sharingViolation);
    EXPECT_EQ(fe.GetErrorText(), L"The file is in use by another process for \"C:\\log.zrl\" (error 32).");
    EXPECT_EQ(CFileException::OsErrorToException(2), CFileException::fileNotFound);
    EXPECT_EQ(CFileException::OsErrorToException(112), CFileException::diskFull);
    EXPECT_EQ(CFileException::OsErrorToException(5), CFileException::accessDenied);
    EXPECT_EQ(CFileException::OsErrorToException(99999), CFileException::genericException);
}

TEST(DevicePaths, RawDevicesAreRecognised) {
    for (const wchar_t* p : {L"\\\\.\\PhysicalDrive0", L"\\\\.\\C:", L"//./physicaldrive1", L"\\\\.\\pipe\\x",
                             L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1", L"\\\\?\\globalroot",
                             L"\\??\\C:", L"\\\\?\\C:", L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}",
                             L"\\\\?\\PhysicalDrive2", L"\\\\?\\Harddisk0Partition1", L"\\\\?\\CdRom0"})
        EXPECT_TRUE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    for (const wchar_t* p : {L"C:\\logs\\scan.zrl", L"\\\\?\\C:\\logs\\scan.zrl", L"\\\\?\\UNC\\srv\\share\\a",
                             L"\\\\server\\share\\file", L"relative\\path", L"",
                             L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\dir\\f.txt", L"\\\\.",
                             L"C:"})
        EXPECT_FALSE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    EXPECT_FALSE(IsRawDevicePath(nullptr));
}

}  // namespace

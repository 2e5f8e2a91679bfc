// The archive codec over in-memory streams: exact bytes, every string length form, lines,
// truncation and hostile length claims, buffering, modes and the exception convention.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>
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
const int g_hooks = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
#endif

// The largest single allocation made while f runs, natively; 0 elsewhere, where a huge
// allocation shows as std::bad_alloc escaping instead (32 bits cannot reserve gigabytes).
size_t LargestAllocation(const std::function<void()>& f) {
#ifdef ZR_WATCH_ALLOCATIONS
    EXPECT_NE(g_hooks, 0);
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

// The m_cause of the E that f throws, -1 for no exception, -2 for another exception.
template <class E> int Cause(const std::function<void()>& f) {
    try {
        f();
    } catch (CException* e) {
        auto* x = dynamic_cast<E*>(e);
        int cause = x ? x->m_cause : -2;
        e->Delete();
        return cause;
    }
    return -1;
}
int ArchiveCause(const std::function<void()>& f) { return Cause<CArchiveException>(f); }
int FileCause(const std::function<void()>& f) { return Cause<CFileException>(f); }

CString ReadCString(const Bytes& b, unsigned bufferSize = 4096) {
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, bufferSize);
    CString s;
    ar >> s;
    EXPECT_EQ(ar.GetRemaining(), 0u);
    return s;
}

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

TEST(ArchiveBytes, ExactBytesOfStringsAndIntegers) {
    EXPECT_EQ(Store([](CArchive& ar) { ar << CString(); }), (Bytes{0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar << CString(L"LOG"); }),
              (Bytes{0xFF, 0xFE, 0xFF, 0x03, 0x4C, 0x00, 0x4F, 0x00, 0x47, 0x00}));
    Bytes b = Store([](CArchive& ar) {
        ar << uint8_t(0x12) << uint16_t(0x3456) << int32_t(-2) << uint64_t(0x0102030405060708) << true
           << L'\u20ac' << 1.5 << 0.25f;
    });
    const Bytes expect = {0x12, 0x56, 0x34, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1, 0x01,
                          0xAC, 0x20, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0, 0, 0x80, 0x3E};
    EXPECT_EQ(b, expect);
    const uint8_t two = 0x02;  // read back by the fuzzer's round trip; any non-zero byte is true
    CMemFile f(&two, 1);
    CArchive ar(&f, CArchive::load);
    bool flag = false;
    ar >> flag;
    EXPECT_TRUE(flag);
    EXPECT_EQ(ArchiveCause([&] { ar >> flag; }), CArchiveException::endOfFile);
}

TEST(ArchiveStrings, EveryLengthFormRoundTrips) {
    const struct { int length; Bytes prefix; } forms[] = {
        {0, {0xFF, 0xFE, 0xFF, 0x00}},
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
    // Narrow strings: no marker, one Latin-1 byte per character, in each length form.
    EXPECT_EQ(ReadCString({3, 'a', 'b', 0xE9}), L"ab\u00e9");
    Bytes narrow = {0xFF, 0x00, 0x01};
    narrow.resize(narrow.size() + 256, 'n');
    EXPECT_EQ(ReadCString(narrow), CString(L'n', 256));
    EXPECT_EQ(ReadCString({0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 'h', 'i'}), L"hi");
    // Supplementary characters are surrogate pairs; an unpaired one survives a read and a write.
    EXPECT_EQ(ReadCString({0xFF, 0xFE, 0xFF, 0x03, 0x3D, 0xD8, 0x00, 0xDE, 0x78, 0x00}), L"\U0001F600x");
    Bytes lone = {0xFF, 0xFE, 0xFF, 0x02, 0x00, 0xD8, 0x41, 0x00};
    CString t = ReadCString(lone);
    EXPECT_EQ(Store([&](CArchive& ar) { ar << t; }), lone);
}

TEST(ArchiveStrings, HugeClaimsAreRefusedBeforeAllocating) {
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
            ar << CString(L"ZRLOG") << uint64_t(0x123456789A);
            ar.WriteCount(2);
            ar << CString(L'y', 300) << true << uint16_t(7);
            ar.WriteString(CString(L"\u00e9t\u00e9\r\n"));
            ar << 2.5;
            ar.WriteCount(70000);
            ar << CString(L"end");
        },
        bufferSize);
}

void ReadMixed(CArchive& ar) {
    CString s; uint64_t u64; uint16_t u16; bool b; double d;
    ar >> s >> u64;
    EXPECT_EQ(ar.ReadCount(), 2u);
    ar >> s >> b >> u16;
    if (!ar.ReadString(s)) AfxThrowArchiveException(CArchiveException::endOfFile);  // as a log reader does
    ar >> d;
    ar.ReadCount();
    ar >> s;
    if (s != L"end") AfxThrowArchiveException(CArchiveException::genericException);
}

TEST(ArchiveTruncation, EveryCutThrowsArchiveException) {
    const Bytes full = MixedArchive(64);
    ASSERT_EQ(full, MixedArchive(4096));  // buffering never changes the bytes
    for (unsigned readBuffer : {16u, 4096u}) {
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
            ASSERT_NE(ArchiveCause([&] { ReadMixed(ar); }), -1) << "cut at " << cut << " went unnoticed";
        }
    }
}

TEST(ArchiveLines, RoundTripWithCrLf) {
    const CString longLine(L'L', 10000);
    const std::pair<CString, CString> lines[] = {  // as written, as read
        {L"first\r\n", L"first"}, {L"\u00e9\U0001F600\r\n", L"\u00e9\U0001F600"}, {L"\r\n", L""},
        {L"cr\rinside\r\n", L"cr\rinside"}, {longLine + L"\r\n", longLine}, {L"unix\n", L"unix"}, {L"last", L"last"}};
    Bytes b = Store([&](CArchive& ar) {
        for (const auto& l : lines) ar.WriteString(l.first);
    });
    EXPECT_EQ(Prefix(b, 14), (Bytes{'f', 0, 'i', 0, 'r', 0, 's', 0, 't', 0, '\r', 0, '\n', 0}));
    for (unsigned buffer : {16u, 4096u}) {
        CMemFile f(b.data(), b.size());
        CArchive ar(&f, CArchive::load, buffer);
        CString line;
        for (const auto& l : lines) {
            ASSERT_TRUE(ar.ReadString(line));
            EXPECT_EQ(line, l.second);
        }
        EXPECT_FALSE(ar.ReadString(line));
        EXPECT_FALSE(ar.ReadString(line));
    }
    Bytes half = {'a', 0, '\r', 0, '\n', 0, 'b'};  // half a unit at the end
    CMemFile f(half.data(), half.size());
    CArchive ar(&f, CArchive::load);
    CString line;
    ASSERT_TRUE(ar.ReadString(line));
    EXPECT_EQ(ArchiveCause([&] { ar.ReadString(line); }), CArchiveException::endOfFile);
}

TEST(ArchiveCounts, FormsAndBounds) {
    const uint64_t counts[] = {5, 0xFFFE, 0xFFFF, 0x100000000};
    Bytes b = Store([&](CArchive& ar) {
        for (uint64_t c : counts) ar.WriteCount(c);
    });
    const Bytes expect = {0x05, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(b, expect);
    CMemFile f(b.data(), b.size());
    CArchive ar(&f, CArchive::load, 16);
    for (uint64_t c : counts) EXPECT_EQ(ar.ReadCount(), c);
}

TEST(ArchiveBuffering, RawReadsAndStreamPosition) {
    Bytes data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    CMemFile f(data.data(), data.size());
    CArchive ar(&f, CArchive::load, 64);
    Bytes got(6000);
    EXPECT_EQ(ar.Read(got.data(), 3), 3u);
    EXPECT_EQ(ar.Read(got.data() + 3, 5000), 5000u);  // larger than the buffer: partly direct
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 5003, data.begin()));
    ar.Flush();  // gives back what was read ahead
    EXPECT_EQ(f.GetPosition(), 5003u);
    EXPECT_EQ(ar.Read(got.data(), 6000), 4997u);  // short only at the end
    EXPECT_EQ(got[0], data[5003]);
    EXPECT_EQ(ar.Read(got.data(), 10), 0u);
}

TEST(ArchiveModes, WrongDirectionClosedAndDestructor) {
    CMemFile f;
    CArchive store(&f, CArchive::store);
    uint32_t v = 0;
    CString s;
    EXPECT_EQ(ArchiveCause([&] { store >> v; }), CArchiveException::writeOnly);
    store << uint32_t(1);
    store.Close();
    EXPECT_EQ(ArchiveCause([&] { store << uint32_t(2); }), CArchiveException::genericException);
    f.SeekToBegin();
    CArchive load(&f, CArchive::load);
    EXPECT_EQ(ArchiveCause([&] { load << v; }), CArchiveException::readOnly);
    EXPECT_EQ(ArchiveCause([&] { load.WriteString(s); }), CArchiveException::readOnly);

    CMemFile g, h, k;
    { CArchive ar(&g, CArchive::store); ar << uint32_t(7); }
    { CArchive ar(&h, CArchive::store | CArchive::bNoFlushOnDelete); ar << uint32_t(7); }
    { CArchive ar(&k, CArchive::store); ar << uint32_t(7); ar.Abort(); }
    EXPECT_EQ(g.GetLength(), 4u);
    EXPECT_EQ(h.GetLength(), 0u);
    EXPECT_EQ(k.GetLength(), 0u);
}

TEST(ArchiveErrors, FullStreamReportsOnCloseAndIsSilentInDestructor) {
    CMemFile f;
    f.SetWriteLimit(10);
    {
        CArchive ar(&f, CArchive::store);
        ar << CString(L"more than ten bytes");
        EXPECT_EQ(FileCause([&] { ar.Close(); }), CFileException::diskFull);
    }
    EXPECT_EQ(f.GetLength(), 10u);  // what fitted was written
    CMemFile g;
    g.SetWriteLimit(2);
    {
        CArchive ar(&g, CArchive::store);
        ar << uint64_t(1);
    }  // the destructor's failed flush must not escape
    EXPECT_EQ(g.GetLength(), 2u);
    CMemFile h;  // writes larger than the buffer go straight to the stream and fail at once
    h.SetWriteLimit(100);
    CArchive ar(&h, CArchive::store, 16);
    EXPECT_EQ(FileCause([&] { ar << CString(L'b', 100); }), CFileException::diskFull);
}

TEST(MemFile, GapReadsAsZerosAndBadSeekThrows) {
    CMemFile f;
    EXPECT_EQ(f.Seek(4, CByteStream::begin), 4u);
    f.Write("ab", 2);
    EXPECT_EQ(f.GetData(), (Bytes{0, 0, 0, 0, 'a', 'b'}));
    char c[8];
    f.Seek(100, CByteStream::begin);
    EXPECT_EQ(f.Read(c, 8), 0u);
    EXPECT_EQ(FileCause([&] { f.Seek(-101, CByteStream::current); }), CFileException::badSeek);
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
    EXPECT_EQ(fe.GetErrorText(), L"The file is in use by another process for \"C:\\log.zrl\" (error 32).");
}

TEST(DevicePaths, RawDevicesAreRecognised) {
    for (const wchar_t* p : {L"\\\\.\\PhysicalDrive0", L"\\\\.\\C:", L"//./physicaldrive1", L"\\\\.\\pipe\\x",
                             L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1", L"\\\\?\\globalroot",
                             L"\\??\\C:", L"\\\\?\\C:", L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}",
                             L"\\\\?\\PhysicalDrive2", L"\\\\?\\Harddisk0Partition1", L"\\\\?\\CdRom0"})
        EXPECT_TRUE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    for (const wchar_t* p : {L"C:\\logs\\scan.zrl", L"\\\\?\\C:\\logs\\scan.zrl", L"\\\\?\\UNC\\srv\\share\\a",
                             L"\\\\server\\share\\file", L"relative\\path", L"", L"\\\\.", L"C:",
                             L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\dir\\f.txt"})
        EXPECT_FALSE(IsRawDevicePath(p)) << ToUtf8(CString(p));
    EXPECT_FALSE(IsRawDevicePath(nullptr));
}

}  // namespace

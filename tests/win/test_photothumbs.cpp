// Photo Search's pictures: the picture reader's hold on the stream it decodes (kept while its
// picture lives, let go once, never used after), its rewinding, what a failed decode leaves behind
// (corrupt JPEG and PNG bytes), and GDI+ still decoding thumbnails after Back and in a Photo Search
// opened again.
#include <gtest/gtest.h>

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/maindlg.h"
#include "app/startup.h"
#include "common/basic_search_fixture.h"
#include "common/carve_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "sigrecovery/photosearch.h"
#include "sigrecovery/sigsearch.h"
#include "sigrecovery/pure/thumb_layout.h"
#include "sigrecovery/thumbnails.h"

using namespace zr_test;

namespace {

// A stream over bytes, left at its end as a writer leaves it, that counts its references and
// notes every call made while it has none (a use after its last release) and every release too
// many. The test owns the object; the count starts at 1 for the test's own reference.
class CountedStream final : public IStream {
public:
    explicit CountedStream(const std::vector<uint8_t>& bytes)
    {
        ::CreateStreamOnHGlobal(nullptr, TRUE, &m_inner);
        ULONG written = 0;
        if (m_inner != nullptr && !bytes.empty())
            m_inner->Write(bytes.data(), ULONG(bytes.size()), &written);
    }
    ~CountedStream()
    {
        if (m_inner != nullptr)
            m_inner->Release();
    }
    CountedStream(const CountedStream&) = delete;
    CountedStream& operator=(const CountedStream&) = delete;

    long Refs() const { return m_refs; }
    bool Misused() const { return m_misused; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        Check();
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        Check();
        return ULONG(++m_refs);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        Check();
        return ULONG(--m_refs);
    }
    HRESULT STDMETHODCALLTYPE Read(void* to, ULONG n, ULONG* got) override { return Check(), m_inner->Read(to, n, got); }
    HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG n, ULONG* put) override
    {
        return Check(), m_inner->Write(from, n, put);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER by, DWORD origin, ULARGE_INTEGER* at) override
    {
        return Check(), m_inner->Seek(by, origin, at);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return Check(), m_inner->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER n, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override
    {
        return Check(), m_inner->CopyTo(to, n, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return Check(), m_inner->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return Check(), m_inner->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER at, ULARGE_INTEGER n, DWORD type) override
    {
        return Check(), m_inner->LockRegion(at, n, type);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER at, ULARGE_INTEGER n, DWORD type) override
    {
        return Check(), m_inner->UnlockRegion(at, n, type);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return Check(), m_inner->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override { return Check(), m_inner->Clone(out); }

private:
    void Check()
    {
        if (m_refs <= 0)
            m_misused = true;
    }
    IStream* m_inner = nullptr;
    long m_refs = 1;
    bool m_misused = false;
};

// The bytes of a picture planted in carvemedia.img.
std::vector<uint8_t> Planted(const char* name)
{
    for (const CarvePlanted& p : LoadCarveMediaTruth(L"carvemedia.img").planted)
        if (p.name == name)
            return ReadAt(ImagePath(L"carvemedia.img"), p.offset, size_t(p.size));
    return {};
}

// Reads every pixel of the picture's first row: the picture's own bits, whatever it was made from.
bool PixelsReadable(Gdiplus::Bitmap& picture)
{
    Gdiplus::BitmapData data{};
    Gdiplus::Rect row(0, 0, int(picture.GetWidth()), 1);
    if (picture.LockBits(&row, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;
    picture.UnlockBits(&data);
    return true;
}

class PictureReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartGdiplusOnce());
        jpeg = Planted("photo1.jpg");
        png = Planted("pic1.png");
        if (jpeg.empty() || png.empty())
            GTEST_SKIP() << "no carvemedia pictures (ZR_IMAGES not set?)";
        std::unique_ptr<Gdiplus::Bitmap> fallback = CPicDataReader::GetDefaultImage();
        ASSERT_NE(nullptr, fallback);
        defaultSize = { LONG(fallback->GetWidth()), LONG(fallback->GetHeight()) };
        ASSERT_GT(defaultSize.cx, 0);
    }

    // The corrupt pictures: a JPEG without its frame (its first marker, then noise), a JPEG cut
    // in its header, a PNG whose header chunk says no width (and fails its check), a PNG cut after
    // that chunk, bytes that are no picture, and nothing.
    std::vector<std::pair<const char*, std::vector<uint8_t>>> Corrupt() const
    {
        std::vector<uint8_t> noise(4096);
        for (size_t i = 0; i < noise.size(); ++i)
            noise[i] = uint8_t(i * 151 + 7);
        std::vector<uint8_t> frameless = { 0xFF, 0xD8 };
        frameless.insert(frameless.end(), noise.begin(), noise.end());
        std::vector<uint8_t> badHeader = png;
        for (size_t i = 16; i < 20; ++i) // no width, and the header chunk's check value wrong
            badHeader[i] = 0;
        badHeader[29] ^= 0xFF;
        return { { "frameless jpeg", frameless },
                 { "jpeg cut in its header", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 20) },
                 { "png with a broken header chunk", badHeader },
                 { "png cut after its header", std::vector<uint8_t>(png.begin(), png.begin() + 33) },
                 { "no picture", noise },
                 { "empty", {} } };
    }

    bool IsDefault(Gdiplus::Bitmap& picture) const
    {
        return LONG(picture.GetWidth()) == defaultSize.cx && LONG(picture.GetHeight()) == defaultSize.cy;
    }

    std::vector<uint8_t> jpeg, png;
    SIZE defaultSize{};
};

// A decoded stream, left at its end by its writer, is read from its start and held while the
// picture lives; every picture handed out is the caller's own and outlives the reader and the
// stream. A new load lets go of the one before; the reader's end lets go of the last, once.
TEST_F(PictureReaderTest, HoldsTheStreamOfItsPictureAndLetsGoOfItOnce)
{
    CountedStream first(jpeg), second(png);
    std::unique_ptr<Gdiplus::Bitmap> kept;
    {
        CPicDataReader reader;
        ASSERT_TRUE(reader.LoadFromStream(&first));
        EXPECT_TRUE(reader.Loaded());
        EXPECT_GT(first.Refs(), 1);
        kept = reader.GetImage();
        std::unique_ptr<Gdiplus::Bitmap> again = reader.GetImage();
        ASSERT_TRUE(kept != nullptr && again != nullptr);
        EXPECT_NE(kept.get(), again.get());
        EXPECT_FALSE(IsDefault(*kept));
        EXPECT_EQ(kept->GetWidth(), again->GetWidth());
        again.reset();

        ASSERT_TRUE(reader.LoadFromStream(&second));
        EXPECT_EQ(1, first.Refs()) << "the first stream is still held";
        EXPECT_GT(second.Refs(), 1);
    }
    EXPECT_EQ(1, second.Refs());
    // The streams' last references go: the picture kept reads its own bits, not a stream's.
    first.Release();
    second.Release();
    ASSERT_NE(nullptr, kept);
    EXPECT_TRUE(PixelsReadable(*kept));
    EXPECT_FALSE(first.Misused() || second.Misused());
}

// A stream that does not decode is not held, and leaves no picture: the reader gives the default
// picture, a loaded picture before it is let go, and a good stream after it decodes again. From a
// file: false, and the file is not kept open. A thumbnail of it is the default picture.
TEST_F(PictureReaderTest, AFailedDecodeHoldsNothingAndGivesTheDefaultPicture)
{
    const CString folder = NewTempFolder(L"zrpicreader");
    for (const auto& [what, bytes] : Corrupt()) {
        SCOPED_TRACE(what);
        CountedStream good(jpeg), bad(bytes), after(png);
        {
            CPicDataReader reader;
            ASSERT_TRUE(reader.LoadFromStream(&good));
            EXPECT_FALSE(reader.LoadFromStream(&bad));
            EXPECT_FALSE(reader.Loaded());
            EXPECT_EQ(1, good.Refs());
            EXPECT_EQ(1, bad.Refs());
            std::unique_ptr<Gdiplus::Bitmap> shown = reader.GetImage();
            ASSERT_NE(nullptr, shown);
            EXPECT_TRUE(IsDefault(*shown));
            EXPECT_TRUE(reader.LoadFromStream(&after));
        }
        EXPECT_EQ(1, after.Refs());
        EXPECT_FALSE(good.Misused() || bad.Misused() || after.Misused());

        const CString path = folder + L"\\corrupt.bin";
        HANDLE h = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
        {
            CPicDataReader reader;
            EXPECT_FALSE(reader.SetPath(path));
            EXPECT_TRUE(::DeleteFileW(path)) << "the file is still open";
        }
        const Thumbnail thumb = MakeThumbnail(path); // gone now: no picture either
        EXPECT_FALSE(thumb.decoded);
        BITMAP info{};
        ASSERT_TRUE(thumb.bitmap != nullptr && ::GetObjectW(thumb.bitmap, sizeof(info), &info) != 0);
        EXPECT_EQ(kThumbSize, info.bmWidth);
        EXPECT_EQ(kThumbSize, info.bmHeight);
        ::DeleteObject(thumb.bitmap);
    }
    ::RemoveDirectoryW(folder);
}

// Puts `hook` in this program's import slot of dll!function; the function it replaced, or null.
void* ReplaceImport(const char* dll, const char* function, void* hook)
{
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0)
            continue;
        auto* name = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL32(name->u1.Ordinal) ||
                strcmp(reinterpret_cast<const char*>(
                           reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name),
                       function) != 0)
                continue;
            DWORD was = 0;
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &was);
            void* previous = reinterpret_cast<void*>(slot->u1.Function);
            slot->u1.Function = DWORD(reinterpret_cast<uintptr_t>(hook));
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), was, &was);
            return previous;
        }
    }
    return nullptr;
}

// GDI+ under Wine decodes also after its shutdown: the shutdowns are counted where the program
// calls them.
typedef void(WINAPI* ShutdownFn)(ULONG_PTR);
ShutdownFn g_realShutdown = nullptr;
std::vector<ULONG_PTR> g_shutdowns;
void WINAPI CountShutdown(ULONG_PTR token)
{
    g_shutdowns.push_back(token);
    g_realShutdown(token);
}

// Thumbnails decode after Back (a second scan), in a Photo Search opened again after one that
// ended with Back, and after one the launcher ran and ended: nothing on the way out stops GDI+.
TEST_F(CarveSearchTest, ThumbnailsDecodeAfterBackAndInAPhotoSearchOpenedAgain)
{
    // The range up to the fourth picture: three finds, each a whole picture.
    constexpr uint64_t kEnd = 14639616 / 512 - 1;
    size_t expected = 0;
    for (const CarveFind& f : Expected("photo", false))
        expected += f.start <= kEnd * 512;
    ASSERT_EQ(3u, expected);
    auto scanAndCheck = [&] {
        ScanInto(NewDestination());
        CThumbsListCtrl& thumbs = static_cast<CRawSearch&>(*dlg).Thumbnails();
        ASSERT_EQ(int(expected), thumbs.Count());
        for (int i = 0; i < thumbs.Count(); ++i)
            EXPECT_TRUE(thumbs.Decoded(i)) << ToUtf8(thumbs.GetItemText(i, 0));
    };

    ASSERT_TRUE(StartGdiplusOnce());
    g_shutdowns.clear();
    g_realShutdown = reinterpret_cast<ShutdownFn>(
        ReplaceImport("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(&CountShutdown)));
    ASSERT_NE(nullptr, g_realShutdown);
    struct Restore {
        ~Restore() { ReplaceImport("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(g_realShutdown)); }
    } restore;

    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        Open(CarveSearchKind::Photo);
        SelectMedium(false, 0, kEnd);
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        dlg->CheckDlgButton(IDC_PS_THOROUGH, BST_UNCHECKED);
        scanAndCheck();
        dlg->OnBnClickedBack();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page());
        scanAndCheck();
        for (int step = 0; step < 3; ++step)
            dlg->OnBnClickedBack();
        EXPECT_FALSE(dlg->IsWindowVisible()) << "Back on the drive step did not end the dialog";
        dlg->DestroyWindow();
        dlg.reset();
        PumpPending();

        if (opening == 0) { // the launcher's own run, ended with Back
            RegisterCarveSearchDialogs();
            main.SearchMode = kModePhoto;
            ModalWatchdog watchdog(20000);
            DialogAnswerer back(IDC_PS_BACK, IDC_PS_BACK);
            GetSearchDialogRunner(kModePhoto)(&main);
            EXPECT_EQ(1, back.Count());
            EXPECT_FALSE(watchdog.Fired());
        }
    }
    EXPECT_EQ(0, std::count(g_shutdowns.begin(), g_shutdowns.end(), GdiplusStartupToken())) << "GDI+ was shut down";
}

} // namespace

#include "sigrecovery/thumbnails.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include "resources/resource.h"
#include "sigrecovery/pure/thumb_layout.h"

namespace {

constexpr int kImageListGrowth = 256;

// A stream over the file that reads only what the decoder asks for: a found picture's file often
// runs on far beyond the picture (up to the next header), and its thumbnail reads none of that.
IStream* OpenFileStream(const CString& path)
{
    IStream* stream = nullptr;
    if (::SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr,
                                 &stream) != S_OK)
        return nullptr;
    return stream;
}

// A 100 x 100 bitmap of `picture` drawn at `at` on white; null when the drawing fails.
HBITMAP DrawOnSquare(Gdiplus::Bitmap& picture, const ThumbPlacement& at)
{
    Gdiplus::Bitmap canvas(kThumbSize, kThumbSize, PixelFormat24bppRGB);
    canvas.SetResolution(picture.GetHorizontalResolution(), picture.GetVerticalResolution());
    Gdiplus::Status drawn = Gdiplus::GenericError;
    {
        Gdiplus::Graphics g(&canvas);
        g.Clear(Gdiplus::Color(255, 255, 255, 255));
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        drawn = g.DrawImage(&picture, at.x, at.y, at.width, at.height);
    }
    HBITMAP bitmap = nullptr;
    if (drawn != Gdiplus::Ok || canvas.GetHBITMAP(Gdiplus::Color(255, 255, 255, 255), &bitmap) != Gdiplus::Ok)
        return nullptr;
    return bitmap;
}

} // namespace

// ---- The picture reader ---------------------------------------------------------------------------

CFileDataReader::~CFileDataReader() = default;

bool CFileDataReader::SetPath(const CString& path)
{
    m_path = path;
    return false;
}

CPicDataReader::CPicDataReader() = default;

CPicDataReader::~CPicDataReader()
{
    Release();
}

void CPicDataReader::Release()
{
    m_image.reset();
    if (m_stream != nullptr)
        m_stream->Release();
    m_stream = nullptr;
}

bool CPicDataReader::LoadFromStream(IStream* stream)
{
    Release();
    if (stream == nullptr)
        return false;
    // Whoever wrote the stream left it at its end.
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream, FALSE));
    if (image == nullptr || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0 || image->GetHeight() == 0)
        return false; // what was made goes with `image`
    stream->AddRef();
    m_stream = stream;
    m_image = std::move(image);
    return true;
}

bool CPicDataReader::SetPath(const CString& path)
{
    CFileDataReader::SetPath(path);
    Release();
    IStream* stream = OpenFileStream(path);
    if (stream == nullptr)
        return false;
    const bool loaded = LoadFromStream(stream);
    stream->Release();
    return loaded;
}

std::unique_ptr<Gdiplus::Bitmap> CPicDataReader::GetImage()
{
    if (m_image != nullptr) {
        std::unique_ptr<Gdiplus::Bitmap> copy(
            m_image->Clone(0, 0, int(m_image->GetWidth()), int(m_image->GetHeight()), PixelFormat32bppARGB));
        if (copy != nullptr && copy->GetLastStatus() == Gdiplus::Ok)
            return copy;
    }
    return GetDefaultImage();
}

std::unique_ptr<Gdiplus::Bitmap> CPicDataReader::GetDefaultImage()
{
    // Loaded once and kept for the life of the process; every caller gets a picture of its own.
    static HBITMAP const picture = ::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_NO_PICTURE));
    if (picture == nullptr)
        return std::make_unique<Gdiplus::Bitmap>(kThumbSize, kThumbSize, PixelFormat24bppRGB);
    return std::unique_ptr<Gdiplus::Bitmap>(Gdiplus::Bitmap::FromHBITMAP(picture, nullptr));
}

Thumbnail MakeThumbnail(const CString& path)
{
    Thumbnail thumb;
    CPicDataReader reader;
    if (reader.SetPath(path)) {
        std::unique_ptr<Gdiplus::Bitmap> picture = reader.GetImage();
        thumb.bitmap = DrawOnSquare(*picture, FitThumbnail(picture->GetWidth(), picture->GetHeight()));
        thumb.decoded = thumb.bitmap != nullptr;
    }
    if (thumb.bitmap == nullptr) {
        std::unique_ptr<Gdiplus::Bitmap> picture = CPicDataReader::GetDefaultImage();
        ThumbPlacement whole;
        whole.width = whole.height = kThumbSize;
        thumb.bitmap = DrawOnSquare(*picture, whole);
    }
    return thumb;
}

// ---- The maker ------------------------------------------------------------------------------------

ThumbnailMaker::~ThumbnailMaker()
{
    Stop();
}

void ThumbnailMaker::Start(HWND notify, UINT message)
{
    Stop();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notify = notify;
    m_message = message;
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void ThumbnailMaker::Add(const CString& name, const CString& path)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop || !m_thread.joinable())
            return;
        m_jobs.push_back(Job{ name, path });
    }
    m_wake.notify_one();
}

std::vector<ThumbnailMaker::Ready> ThumbnailMaker::TakeReady()
{
    return m_ready.TakeAll();
}

bool ThumbnailMaker::Busy() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_jobs.empty() || m_working != 0 || !m_ready.Empty();
}

void ThumbnailMaker::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    for (Ready& r : m_ready.TakeAll())
        ::DeleteObject(r.thumbnail.bitmap);
}

void ThumbnailMaker::Run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
            ++m_working;
        }
        Ready ready{ job.name, job.path, MakeThumbnail(job.path) };
        bool tell = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_working;
            if (!m_stop)
                tell = m_ready.Put(ready);
            else
                ::DeleteObject(ready.thumbnail.bitmap);
        }
        if (tell)
            ::PostMessageW(m_notify, m_message, 0, 0);
    }
}

// ---- The list -------------------------------------------------------------------------------------

CThumbsListCtrl::CThumbsListCtrl() = default;
CThumbsListCtrl::~CThumbsListCtrl() = default;

BOOL CThumbsListCtrl::CreateList(CWnd* parent, const RECT& rect, UINT id)
{
    if (!Create(WS_CHILD | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LVS_ICON, rect, parent, id))
        return FALSE;
    ResetImages();
    return TRUE;
}

void CThumbsListCtrl::ResetImages()
{
    Clear();
    SetImageList(nullptr, LVSIL_NORMAL);
    m_images.DeleteImageList();
    // Grown in steps of many pictures: an image list grown one picture at a time copies all its
    // pictures at every new one.
    m_images.Create(kThumbSize, kThumbSize, ILC_COLOR24, 0, kImageListGrowth);
    SetImageList(&m_images, LVSIL_NORMAL);
}

void CThumbsListCtrl::Clear()
{
    DeleteAllItems();
    if (m_images.GetSafeHandle() != nullptr)
        m_images.SetImageCount(0);
    m_items.clear();
}

void CThumbsListCtrl::AddThumbnail(HBITMAP bitmap, const CString& name, bool decoded, const CString& path)
{
    const int index = GetItemCount();
    // Each item shows the picture its own add gave: a picture the list could not take leaves
    // its item without one and the pictures after it with theirs.
    const int image = bitmap != nullptr ? ImageList_Add(m_images.GetSafeHandle(), bitmap, nullptr) : -1;
    m_items.push_back(Item{ path, decoded });
    InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, index, name, 0, 0, image >= 0 ? image : I_IMAGENONE,
               LPARAM(index));
    const ThumbGridPoint at = ThumbGridPosition(size_t(index));
    POINT point{ at.x, at.y };
    SendMessage(LVM_SETITEMPOSITION32, WPARAM(index), LPARAM(&point));
    // The newest row in view, without scrolling after every picture.
    if (++m_scrollTick >= 4 || (index > 0 && index % kThumbColumns == 0)) {
        m_scrollTick = 0;
        PostMessage(WM_VSCROLL, SB_BOTTOM, 0);
    }
}

LRESULT CThumbsListCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CListCtrl::WindowProc(message, wParam, lParam);
    // Some list views lay all items out on their own spacing when they first paint, whenever
    // that comes: after the first picture, or after the last one when the dialog was busy.
    if (message == WM_PAINT)
        KeepGrid();
    return result;
}

void CThumbsListCtrl::KeepGrid()
{
    const int count = GetItemCount();
    if (count == 0)
        return;
    const auto placed = [&](int item) {
        const ThumbGridPoint want = ThumbGridPosition(size_t(item));
        POINT at{};
        SendMessage(LVM_GETITEMPOSITION, WPARAM(item), LPARAM(&at));
        return at.x == want.x && at.y == want.y;
    };
    if (placed(0) && placed(count - 1))
        return;
    for (int item = 0; item < count; ++item) {
        const ThumbGridPoint at = ThumbGridPosition(size_t(item));
        POINT point{ at.x, at.y };
        SendMessage(LVM_SETITEMPOSITION32, WPARAM(item), LPARAM(&point));
    }
}

bool CThumbsListCtrl::Decoded(int item) const
{
    return item >= 0 && size_t(item) < m_items.size() && m_items[size_t(item)].decoded;
}

CString CThumbsListCtrl::PathOf(int item) const
{
    return item >= 0 && size_t(item) < m_items.size() ? m_items[size_t(item)].path : CString();
}

// Photo Search's thumbnails: the picture reader that decodes a found picture with GDI+, the maker
// that turns found pictures into 100 x 100 thumbnails on a thread of its own (so that decoding never
// holds up the scan), and the icon-view list that shows them on a five-column grid.
#pragma once
#include <windows.h>

#include <objidl.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "afxwin.h"
#include "sigrecovery/pure/handoff.h"

namespace Gdiplus {
class Bitmap;
}

// Reads a picture from somewhere and hands it out.
class CFileDataReader {
public:
    virtual ~CFileDataReader();
    // Decodes the picture in the stream, from its start; false when it holds none.
    virtual bool LoadFromStream(IStream* stream) { return false; }
    // Decodes the picture in the file at path; false when there is none.
    virtual bool SetPath(const CString& path);
    // A picture the caller owns; never null while GDI+ works.
    virtual std::unique_ptr<Gdiplus::Bitmap> GetImage() = 0;
    const CString& Path() const { return m_path; }

protected:
    CString m_path;
};

class CPicDataReader : public CFileDataReader {
public:
    CPicDataReader();
    ~CPicDataReader() override;

    bool LoadFromStream(IStream* stream) override;
    bool SetPath(const CString& path) override;
    // A copy of the decoded picture, or the default picture when nothing was decoded. The reader
    // keeps its own picture: every object it returns is the caller's.
    std::unique_ptr<Gdiplus::Bitmap> GetImage() override;
    bool Loaded() const { return m_image != nullptr; }
    // The picture shown for what cannot be decoded (bitmap IDB_NO_PICTURE), a new object each time.
    static std::unique_ptr<Gdiplus::Bitmap> GetDefaultImage();

private:
    void Release();
    // The stream stays with the picture: GDI+ may read it again while the picture lives.
    IStream* m_stream = nullptr;
    std::unique_ptr<Gdiplus::Bitmap> m_image;
};

// A 100 x 100 thumbnail: the picture fitted on white, or the default picture when it does not
// decode. The bitmap is the caller's (DeleteObject).
struct Thumbnail {
    HBITMAP bitmap = nullptr;
    bool decoded = false;
};
Thumbnail MakeThumbnail(const CString& path);

// Makes thumbnails one after another on its own thread, in the order asked for, and hands them to
// a window: the window is posted `message` when a batch is ready and takes it with TakeReady.
class ThumbnailMaker {
public:
    struct Ready {
        CString name, path;
        Thumbnail thumbnail;
    };
    ThumbnailMaker() = default;
    ~ThumbnailMaker();
    ThumbnailMaker(const ThumbnailMaker&) = delete;
    ThumbnailMaker& operator=(const ThumbnailMaker&) = delete;

    void Start(HWND notify, UINT message);
    // Asks for a thumbnail; nothing while the maker is stopped.
    void Add(const CString& name, const CString& path);
    std::vector<Ready> TakeReady();
    // True while asked-for thumbnails are not yet taken.
    bool Busy() const;
    // Ends the thread at once: what was asked for and not made is dropped, what was made and not
    // taken is freed.
    void Stop();

private:
    void Run();
    struct Job {
        CString name, path;
    };
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    size_t m_working = 0;
    bool m_stop = true;
    std::thread m_thread;
    HWND m_notify = nullptr;
    UINT m_message = 0;
    HandOff<Ready> m_ready;
};

// The icon-view list of thumbnails. Each item remembers its file and whether its picture decoded.
class CThumbsListCtrl : public CListCtrl {
public:
    CThumbsListCtrl();
    ~CThumbsListCtrl() override;

    // Created hidden over `rect` of `parent`, with an empty thumbnail image list.
    BOOL CreateList(CWnd* parent, const RECT& rect, UINT id);
    // A new, empty image list (before each scan).
    void ResetImages();
    // Every item and picture removed; the grid starts again at its first square.
    void Clear();
    // Appends a thumbnail (the list copies the bitmap) as the last item, at its grid square.
    void AddThumbnail(HBITMAP bitmap, const CString& name, bool decoded, const CString& path);
    int Count() const { return GetItemCount(); }
    bool Decoded(int item) const;
    CString PathOf(int item) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Every item back on its grid square when the list has moved any of them.
    void KeepGrid();

    struct Item {
        CString path;
        bool decoded;
    };
    CImageList m_images;
    std::vector<Item> m_items;
    int m_scrollTick = 0;
};

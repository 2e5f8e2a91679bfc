// Animation controls on glass. The control draws its frames straight to the screen, where they
// come out transparent; this procedure keeps a player of its own on the same clip (opened and
// started by the control's own messages), whose ticker thread posts the redraw message once per
// frame, and draws that frame through a buffered paint.
#include "look/glassprocs.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <commctrl.h>
#include <vfw.h>

using namespace zr_glass_impl;

namespace {

class FramePlayer {
public:
    FramePlayer() { ::AVIFileInit(); }
    ~FramePlayer()
    {
        Stop();
        if (m_frames)
            ::AVIStreamGetFrameClose(m_frames);
        if (m_stream)
            ::AVIStreamRelease(m_stream);
        if (m_file)
            ::AVIFileRelease(m_file);
        if (m_drawDib)
            ::DrawDibClose(m_drawDib);
        if (!m_tempFile.empty())
            ::DeleteFileW(m_tempFile.c_str());
        if (m_wake)
            ::CloseHandle(m_wake);
        ::AVIFileExit();
    }
    FramePlayer(const FramePlayer&) = delete;
    FramePlayer& operator=(const FramePlayer&) = delete;

    // A clip from a resource of `instance` (type "AVI") or from a file. False when neither opens.
    bool Open(HINSTANCE instance, LPCWSTR name)
    {
        std::wstring path;
        if (HRSRC found = ::FindResourceW(instance, name, L"AVI")) {
            if (!ExtractResource(instance, found))
                return false;
            path = m_tempFile;
        } else if (!IS_INTRESOURCE(name)) {
            path = name;
        } else {
            return false;
        }
        if (::AVIFileOpenW(&m_file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) != 0)
            return false;
        if (::AVIFileGetStream(m_file, &m_stream, streamtypeVIDEO, 0) != 0)
            return false;
        AVISTREAMINFOW info = {};
        ::AVIStreamInfoW(m_stream, &info, sizeof(info));
        if (info.dwRate > 0)
            m_frameMs = (DWORD)std::max<uint64_t>(10, uint64_t(info.dwScale) * 1000 / info.dwRate);
        m_first = ::AVIStreamStart(m_stream);
        m_length = ::AVIStreamLength(m_stream);
        m_frames = ::AVIStreamGetFrameOpen(m_stream, nullptr);
        m_drawDib = ::DrawDibOpen();
        m_wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        return m_frames != nullptr && m_drawDib != nullptr && m_wake != nullptr && m_length > 0;
    }

    // Plays frames `from` to `to` (0xFFFF: the last) `repeat` times (-1: until stopped): the ticker
    // posts `message` with the frame number to `window` at the clip's rate.
    void Play(HWND window, UINT message, int repeat, UINT from, UINT to)
    {
        Stop();
        const LONG last = m_length - 1;
        const LONG first = std::min<LONG>((LONG)from, last);
        const LONG end = to == 0xFFFF ? last : std::min<LONG>((LONG)to, last);
        if (repeat == 0 || end < first)
            return;
        m_stop = false;
        ::ResetEvent(m_wake);
        m_ticker = std::thread([this, window, message, repeat, first, end] {
            int rounds = repeat;
            LONG frame = first;
            while (!m_stop) {
                if (!::PostMessageW(window, message, (WPARAM)frame, 0))
                    break; // the window is gone
                ::WaitForSingleObject(m_wake, m_frameMs);
                if (++frame > end) {
                    if (rounds > 0 && --rounds == 0)
                        break;
                    frame = first;
                }
            }
        });
    }

    void Stop()
    {
        m_stop = true;
        if (m_wake)
            ::SetEvent(m_wake);
        if (m_ticker.joinable())
            m_ticker.join();
    }

    // The frame as a packed DIB, or null.
    const BITMAPINFOHEADER* Frame(LONG frame) const
    {
        if (!m_frames || frame < 0 || frame >= m_length)
            return nullptr;
        return static_cast<const BITMAPINFOHEADER*>(::AVIStreamGetFrame(m_frames, m_first + frame));
    }
    HDRAWDIB DrawDib() const { return m_drawDib; }

private:
    bool ExtractResource(HINSTANCE instance, HRSRC found)
    {
        HGLOBAL loaded = ::LoadResource(instance, found);
        const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
        const DWORD size = ::SizeofResource(instance, found);
        wchar_t folder[MAX_PATH] = {}, file[MAX_PATH] = {};
        if (!bytes || !size || !::GetTempPathW(MAX_PATH, folder) || !::GetTempFileNameW(folder, L"ZRA", 0, file))
            return false;
        m_tempFile = file;
        HANDLE out = ::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const BOOL ok = ::WriteFile(out, bytes, size, &written, nullptr) && written == size;
        ::CloseHandle(out);
        return ok != FALSE;
    }

    PAVIFILE m_file = nullptr;
    PAVISTREAM m_stream = nullptr;
    PGETFRAME m_frames = nullptr;
    HDRAWDIB m_drawDib = nullptr;
    LONG m_first = 0, m_length = 0;
    DWORD m_frameMs = 66;
    std::wstring m_tempFile;
    HANDLE m_wake = nullptr;
    std::atomic<bool> m_stop{ false };
    std::thread m_ticker;

public:
    LONG current = 0; // the frame shown; set from the ticker's messages on the window's thread
};

FramePlayer* PlayerOf(const AeroSubclassRecord* record)
{
    return static_cast<FramePlayer*>(record->player);
}

void OpenClip(HWND window, AeroSubclassRecord* record, WPARAM wParam, LPCWSTR name)
{
    ClosePlayer(record);
    if (!name)
        return;
    HINSTANCE instance = wParam ? reinterpret_cast<HINSTANCE>(wParam)
                                : reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
    auto* player = new FramePlayer;
    if (player->Open(instance, name))
        record->player = player;
    else
        delete player;
}

void PaintFrame(HWND window, const AeroSubclassRecord* record, HDC dc)
{
    const FramePlayer* player = PlayerOf(record);
    RECT client;
    ::GetClientRect(window, &client);
    if (!player) {
        PaintControlOnGlass(window, dc, &client, FALSE);
        return;
    }
    GlassBuffer buffer(record->uxTheme, dc, client);
    if (!buffer.dc())
        return;
    buffer.Clear(client);
    const BITMAPINFOHEADER* frame = player->Frame(player->current);
    if (!frame)
        return;
    const int width = frame->biWidth, height = frame->biHeight < 0 ? -frame->biHeight : frame->biHeight;
    int x = 0, y = 0;
    if (::GetWindowLongW(window, GWL_STYLE) & ACS_CENTER) {
        x = (client.right - width) / 2;
        y = (client.bottom - height) / 2;
    }
    DWORD colours = frame->biClrUsed;
    if (colours == 0 && frame->biBitCount <= 8)
        colours = 1u << frame->biBitCount;
    const BYTE* bits = reinterpret_cast<const BYTE*>(frame) + frame->biSize + colours * sizeof(RGBQUAD);
    ::DrawDibDraw(player->DrawDib(), buffer.dc(), x, y, width, height, const_cast<BITMAPINFOHEADER*>(frame),
                  const_cast<BYTE*>(bits), 0, 0, width, height, 0);
    buffer.SetAlpha(RECT{ x, y, x + width, y + height }, 255);
}

std::wstring Widen(LPCSTR text)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? (size_t)length : 1, L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    return wide;
}

} // namespace

namespace zr_glass_impl {

void ClosePlayer(AeroSubclassRecord* record)
{
    if (record && record->player) {
        delete PlayerOf(record);
        record->player = nullptr;
    }
}

LRESULT CALLBACK AnimateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The player follows the control whether or not glass is in use now, so that it is ready
    // when composition comes on; the ticker stops before the window goes.
    if (AeroSubclassRecord* r = AeroGetRecord(window)) {
        switch (message) {
        case WM_DESTROY:
            ClosePlayer(r);
            break;
        case ACM_OPENW:
        case ACM_OPENA: {
            const LRESULT opened = CallPrevious(r, window, message, wParam, lParam);
            if (!(r = AeroGetRecord(window)))
                return opened;
            if (!opened)
                OpenClip(window, r, wParam, nullptr);
            else if (message == ACM_OPENA && lParam && !IS_INTRESOURCE(lParam))
                OpenClip(window, r, wParam, Widen(reinterpret_cast<LPCSTR>(lParam)).c_str());
            else
                OpenClip(window, r, wParam, reinterpret_cast<LPCWSTR>(lParam));
            return opened;
        }
        case ACM_PLAY:
            if (FramePlayer* player = PlayerOf(r))
                player->Play(window, r->redrawMessage, (int)wParam, LOWORD(lParam), HIWORD(lParam));
            break;
        case ACM_STOP:
            if (FramePlayer* player = PlayerOf(r))
                player->Stop();
            break;
        default:
            break;
        }
    }
    AeroSubclassRecord* record = nullptr;
    LRESULT result = 0;
    if (ControlPrologue(window, message, wParam, lParam, AnimateProc, true, &record, &result))
        return result;
    if (message == record->redrawMessage) {
        if (FramePlayer* player = PlayerOf(record))
            player->current = (LONG)wParam;
        if (HDC dc = ::GetDC(window)) {
            PaintFrame(window, record, dc);
            ::ReleaseDC(window, dc);
        }
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (HDC dc = ::BeginPaint(window, &ps))
            PaintFrame(window, record, dc);
        ::EndPaint(window, &ps);
        return 1;
    }
    return CallPrevious(record, window, message, wParam, lParam);
}

} // namespace zr_glass_impl

#include "WindowPicture.h"

#include "ui/toolkit/SkinRenderer.h"
#include "util/GdiObject.h"

#include <objidl.h>
#include <gdiplus.h>

namespace {

// Draws `width` x `height` pixels with `draw` into a top-down 32-bit picture.
template <typename Draw>
WindowPicture Picture(int width, int height, Draw draw)
{
    WindowPicture picture;
    picture.width = width;
    picture.height = height;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    CGdiObject<HBITMAP> bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return picture;
    CMemoryDC dc(nullptr, std::move(bitmap));
    if (!dc || !draw(dc.Get()))
        return picture;
    ::GdiFlush();
    const auto* source = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(source, source + size_t(picture.width) * size_t(picture.height));
    for (uint32_t& pixel : picture.pixels)
        pixel |= 0xFF000000u;
    return picture;
}

} // namespace

WindowPicture CaptureClient(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    return Picture(client.right, client.bottom, [&](HDC dc) {
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        return true;
    });
}

WindowPicture CaptureScreen(HWND window)
{
    RECT rect{};
    if (!::GetWindowRect(window, &rect))
        return WindowPicture{};
    return CaptureScreenArea(rect);
}

WindowPicture CaptureScreenArea(const RECT& rect)
{
    return Picture(rect.right - rect.left, rect.bottom - rect.top, [&](HDC dc) {
        HDC screen = ::GetDC(nullptr);
        const bool copied = ::BitBlt(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left,
                                     rect.top, SRCCOPY | CAPTUREBLT) != FALSE;
        ::ReleaseDC(nullptr, screen);
        return copied;
    });
}

bool SavePng(const WindowPicture& picture, const std::wstring& path)
{
    if (picture.pixels.empty() || !uitk::CSkinRenderer::StartGdiplus())
        return false;
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, encoders);
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(encoders[i].MimeType) != L"image/png")
            continue;
        Gdiplus::Bitmap bitmap(picture.width, picture.height, picture.width * 4, PixelFormat32bppARGB,
                               reinterpret_cast<BYTE*>(const_cast<uint32_t*>(picture.pixels.data())));
        return bitmap.Save(path.c_str(), &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
    }
    return false;
}

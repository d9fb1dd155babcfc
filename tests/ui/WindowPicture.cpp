#include "WindowPicture.h"

#include "ui/toolkit/SkinRenderer.h"
#include "util/GdiObject.h"

#include <objidl.h>
#include <gdiplus.h>

WindowPicture CaptureClient(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    WindowPicture picture;
    picture.width = client.right;
    picture.height = client.bottom;
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
    CMemoryDC dc(nullptr);
    dc.Select(bitmap.Get());
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    ::GdiFlush();
    const auto* source = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(source, source + size_t(picture.width) * size_t(picture.height));
    for (uint32_t& pixel : picture.pixels)
        pixel |= 0xFF000000u;
    return picture;
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

#include "SkinRenderer.h"

#include "AttributeParse.h"
#include "SkinResources.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cwctype>

namespace uitk {
namespace {

bool IsEmpty(const RECT& rc) { return rc.left == 0 && rc.top == 0 && rc.right == 0 && rc.bottom == 0; }

// Reads key='value' items; quotes may be ' or ".
void ParseItems(const std::wstring& text, TImageString& image)
{
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && std::iswspace(text[at]))
            ++at;
        size_t equals = text.find(L'=', at);
        if (equals == std::wstring::npos || equals + 1 >= text.size())
            return;
        std::wstring key = text.substr(at, equals - at);
        key.erase(std::remove_if(key.begin(), key.end(), ::iswspace), key.end());
        wchar_t quote = text[equals + 1];
        if (quote != L'\'' && quote != L'"')
            return;
        size_t close = text.find(quote, equals + 2);
        if (close == std::wstring::npos)
            return;
        std::wstring value = text.substr(equals + 2, close - equals - 2);
        if (key == L"file")
            image.file = value;
        else if (key == L"corner")
            image.corner = ParseRect(value);
        else if (key == L"dest") {
            image.dest = ParseRect(value);
            image.hasDest = !IsEmpty(image.dest);
        } else if (key == L"source") {
            image.source = ParseRect(value);
            image.hasSource = !IsEmpty(image.source);
        }
        at = close + 1;
    }
}

void DrawPart(Gdiplus::Graphics& graphics, Gdiplus::Image& image, const Gdiplus::ImageAttributes& attributes,
              int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    graphics.DrawImage(&image, Gdiplus::Rect(dx, dy, dw, dh), sx, sy, sw, sh, Gdiplus::UnitPixel, &attributes);
}

// Nine parts: the corners keep their size, the edges stretch along one
// axis and the middle along both.
void DrawNineParts(Gdiplus::Graphics& graphics, Gdiplus::Image& image, const RECT& dest, const RECT& source,
                   RECT corner)
{
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = source.right - source.left, sh = source.bottom - source.top;
    corner.left = std::min<LONG>(corner.left, std::min(dw, sw));
    corner.right = std::min<LONG>(corner.right, std::min(dw, sw) - corner.left);
    corner.top = std::min<LONG>(corner.top, std::min(dh, sh));
    corner.bottom = std::min<LONG>(corner.bottom, std::min(dh, sh) - corner.top);
    const int dxs[3] = {int(dest.left), int(dest.left + corner.left), int(dest.right - corner.right)};
    const int dws[3] = {int(corner.left), int(dw - corner.left - corner.right), int(corner.right)};
    const int sxs[3] = {int(source.left), int(source.left + corner.left), int(source.right - corner.right)};
    const int sws[3] = {int(corner.left), int(sw - corner.left - corner.right), int(corner.right)};
    const int dys[3] = {int(dest.top), int(dest.top + corner.top), int(dest.bottom - corner.bottom)};
    const int dhs[3] = {int(corner.top), int(dh - corner.top - corner.bottom), int(corner.bottom)};
    const int sys[3] = {int(source.top), int(source.top + corner.top), int(source.bottom - corner.bottom)};
    const int shs[3] = {int(corner.top), int(sh - corner.top - corner.bottom), int(corner.bottom)};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            DrawPart(graphics, image, attributes, dxs[col], dys[row], dws[col], dhs[row], sxs[col], sys[row],
                     sws[col], shs[row]);
}

// Where a single line of width x height lands in `rc`, vertically centred.
RECT TextExtent(const RECT& rc, int width, int height, TextAlign align)
{
    const int top = (rc.top + rc.bottom - height) / 2;
    const int left = align == TextAlign::Center ? (rc.left + rc.right - width) / 2
                     : align == TextAlign::Right ? rc.right - width
                                                 : rc.left;
    return RECT{left, top, left + width, top + height};
}

} // namespace

bool CSkinRenderer::StartGdiplus()
{
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

TImageString CSkinRenderer::ParseImageString(const std::wstring& text)
{
    TImageString image;
    if (text.find(L'=') == std::wstring::npos)
        image.file = text;
    else
        ParseItems(text, image);
    return image;
}

bool CSkinRenderer::DrawImageString(HDC dc, const RECT& control, const std::wstring& text)
{
    TImageString parsed = ParseImageString(text);
    Gdiplus::Bitmap* image = CSkinResources::GetImage(parsed.file);
    if (!image)
        return false;
    RECT dest = control;
    if (parsed.hasDest)
        dest = RECT{control.left + parsed.dest.left, control.top + parsed.dest.top, control.left + parsed.dest.right,
                    control.top + parsed.dest.bottom};
    RECT source{0, 0, LONG(image->GetWidth()), LONG(image->GetHeight())};
    if (parsed.hasSource)
        source = parsed.source;
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBilinear);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    DrawNineParts(graphics, *image, dest, source, parsed.corner);
    return true;
}

bool CSkinRenderer::DrawImageCropped(HDC dc, const RECT& rc, const std::wstring& file)
{
    Gdiplus::Bitmap* image = CSkinResources::GetImage(ParseImageString(file).file);
    if (!image)
        return false;
    int width = std::min<int>(rc.right - rc.left, int(image->GetWidth()));
    int height = std::min<int>(rc.bottom - rc.top, int(image->GetHeight()));
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(image, Gdiplus::Rect(rc.left, rc.top, width, height), 0, 0, width, height, Gdiplus::UnitPixel);
    return true;
}

void CSkinRenderer::FillColor(HDC dc, const RECT& rc, DWORD argb)
{
    Gdiplus::Graphics graphics(dc);
    Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
    graphics.FillRectangle(&brush, Gdiplus::Rect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top));
}

RECT CSkinRenderer::DrawTextLine(HDC dc, HFONT font, const RECT& rc, const std::wstring& text, DWORD argb,
                                 TextAlign align, bool endEllipsis)
{
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (endEllipsis ? DT_END_ELLIPSIS : DT_NOCLIP);
    format |= align == TextAlign::Center ? DT_CENTER : align == TextAlign::Right ? DT_RIGHT : DT_LEFT;
    HGDIOBJ old = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(argb >> 16 & 0xFF, argb >> 8 & 0xFF, argb & 0xFF));
    RECT box = rc;
    RECT covered = rc;
    if (!endEllipsis) {
        RECT measured{};
        ::DrawTextW(dc, text.c_str(), int(text.size()), &measured, format | DT_CALCRECT);
        covered = TextExtent(rc, measured.right - measured.left, measured.bottom - measured.top, align);
        ::UnionRect(&covered, &covered, &rc);
    }
    ::DrawTextW(dc, text.c_str(), int(text.size()), &box, format);
    ::SelectObject(dc, old);
    return covered;
}

} // namespace uitk

#pragma once

#include "UIDefs.h"

#include <string>

namespace uitk {

// An image string of the markup taken apart: a bare member name, or
// key='value' items file, corner, dest (and source) in any order.
struct TImageString {
    std::wstring file;
    RECT corner{};    // borders kept unstretched when the image is scaled
    RECT dest{};      // where inside the control; empty = the whole control
    RECT source{};    // part of the image; empty = all of it
    bool hasDest = false;
    bool hasSource = false;
};

class CSkinRenderer {
public:
    // Starts GDI+ once; it stays up until the process ends.
    static bool StartGdiplus();

    static TImageString ParseImageString(const std::wstring& text);
    // Draws an image string over a control's rectangle; false when the image is missing.
    static bool DrawImageString(HDC dc, const RECT& control, const std::wstring& text);
    // Draws the image's top-left part of the rectangle's size at the rectangle.
    static bool DrawImageCropped(HDC dc, const RECT& rc, const std::wstring& file);
    static void FillColor(HDC dc, const RECT& rc, DWORD argb);
    // One line of text in the rectangle. Text too wide for it ends in an
    // ellipsis, or with `endEllipsis` false runs on past the rectangle whole.
    // Returns the area drawn over: the rectangle and what the text overran.
    static RECT DrawTextLine(HDC dc, HFONT font, const RECT& rc, const std::wstring& text, DWORD argb,
                             TextAlign align, bool endEllipsis = true);
};

} // namespace uitk

#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

// A 32-bit premultiplied ARGB pixel buffer; row 0 is the top row even when
// the rows are stored bottom-up, as in a DIB section of positive height.
struct CShadowPixels {
    uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    bool bottomUp = true;

    uint32_t* Row(int top) const { return bits + size_t(bottomUp ? height - 1 - top : top) * size_t(width); }
};

// A soft drop shadow for a borderless window: a layered window of its own
// that lies around its owner and follows it.
class CWndShadow {
public:
    CWndShadow() = default;
    virtual ~CWndShadow() = default;
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    // Once per process; without UpdateLayeredWindow no shadow is ever made.
    static bool Initialize(HINSTANCE instance);
    static bool IsAvailable();

    void Attach(HWND owner);
    void Redraw(HWND owner);
    // `showing`: the owner is being shown and has no WS_VISIBLE yet.
    void RefreshVisibility(HWND owner, bool showing = false);
    // Fills a cleared buffer of the shadow's size for an owner of the given
    // size; the owner's window region, when it has one, gives its shape.
    void RenderShadow(const CShadowPixels& pixels, HWND owner, const RECT& ownerRect) const;

    void SetSize(int size) { m_size = int8_t(size); RedrawIfVisible(); }
    void SetPosition(int x, int y) { m_xOffset = int8_t(x); m_yOffset = int8_t(y); RedrawIfVisible(); }
    void SetSharpness(unsigned sharpness) { m_sharpness = uint8_t(sharpness); RedrawIfVisible(); }
    void SetDarkness(unsigned darkness) { m_darkness = uint8_t(darkness); RedrawIfVisible(); }
    void SetColor(COLORREF color) { m_color = color; RedrawIfVisible(); }

    HWND GetShadowWindow() const { return m_shadow; }
    bool IsVisible() const { return (m_status & kVisible) != 0; }

private:
    enum : uint8_t { kEnabled = 1, kVisible = 2, kParentVisible = 4, kDisabledByAero = 8 };

    static LRESULT CALLBACK HookedParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void RedrawIfVisible();
    void MoveWithOwner(HWND owner);
    void OnOwnerSize(HWND owner, WPARAM wParam, LPARAM lParam);
    LRESULT OnOwnerShowWindow(HWND owner, WPARAM wParam, LPARAM lParam);

    HWND m_shadow = nullptr;
    HWND m_owner = nullptr;
    WNDPROC m_parentProc = nullptr;
    uint8_t m_status = 0;
    uint8_t m_darkness = 150;
    uint8_t m_sharpness = 5;
    int8_t m_size = 0;
    int8_t m_xOffset = 5;
    int8_t m_yOffset = 5;
    LPARAM m_lastOwnerSize = 0;
    bool m_redrawPending = false;
    COLORREF m_color = RGB(0, 0, 0);
};

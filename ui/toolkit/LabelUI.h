#pragma once

#include "ControlUI.h"

namespace uitk {

// One line of text, vertically centred, inside its text padding.
class CLabelUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"Label"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void SetText(const std::wstring& text) override;
    void DoPaint(HDC dc, const RECT& rcPaint) override;

    void SetTextColor(DWORD color) { m_textColor = color; Invalidate(); }
    void SetFont(int id) { m_font = id; Invalidate(); }
    int GetFont() const { return m_font; }
    TextAlign GetAlign() const { return m_align; }

protected:
    void PaintText(HDC dc) override;
    void PaintTextIn(HDC dc, const RECT& inset);

    RECT m_textPadding{};

private:
    int m_font = -1;
    TextAlign m_align = TextAlign::Left;
    DWORD m_textColor = 0xFF000000;
    DWORD m_disabledTextColor = 0xFFA7A6AA;
    // Text too wide for the label ends in an ellipsis, or with the attribute
    // endellipsis="false" is drawn whole, running on past the label.
    bool m_endEllipsis = true;
    RECT m_rcDrawn{}; // the label and whatever its text last overran
};

} // namespace uitk

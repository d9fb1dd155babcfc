#include "LabelUI.h"

#include "AttributeParse.h"
#include "ControlHost.h"
#include "SkinRenderer.h"

namespace uitk {

CControlUI* CLabelUI::GetInterface(const std::wstring& name)
{
    return name == L"Label" ? this : CControlUI::GetInterface(name);
}

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"font")
        m_font = ParseInt(value);
    else if (name == L"align")
        m_align = ParseAlign(value);
    else if (name == L"textcolor")
        m_textColor = ParseColor(value);
    else if (name == L"disabledtextcolor")
        m_disabledTextColor = ParseColor(value);
    else if (name == L"textpadding")
        m_textPadding = ParseRect(value);
    else if (name == L"endellipsis")
        m_endEllipsis = ParseBool(value);
    else
        CControlUI::SetAttribute(name, value);
}

// Text that ran on past the label is cleared with the label's own area.
void CLabelUI::SetText(const std::wstring& text)
{
    if (text != GetText() && m_manager && IsVisible() && !::IsRectEmpty(&m_rcDrawn))
        m_manager->Invalidate(m_rcDrawn);
    CControlUI::SetText(text);
}

// A repaint of only the area the text ran on over still draws the text there.
void CLabelUI::DoPaint(HDC dc, const RECT& rcPaint)
{
    RECT overlap;
    if (!::IntersectRect(&overlap, &rcPaint, &m_rcItem) && ::IntersectRect(&overlap, &rcPaint, &m_rcDrawn)) {
        PaintText(dc);
        return;
    }
    CControlUI::DoPaint(dc, rcPaint);
}

void CLabelUI::PaintText(HDC dc)
{
    PaintTextIn(dc, m_textPadding);
}

void CLabelUI::PaintTextIn(HDC dc, const RECT& inset)
{
    std::wstring text = GetText();
    if (text.empty() || !m_manager)
        return;
    RECT rc{m_rcItem.left + inset.left, m_rcItem.top + inset.top, m_rcItem.right - inset.right,
            m_rcItem.bottom - inset.bottom};
    DWORD color = IsEnabled() ? m_textColor : m_disabledTextColor;
    m_rcDrawn = CSkinRenderer::DrawTextLine(dc, m_manager->GetFont(m_font), rc, text, color, m_align, m_endEllipsis);
}

} // namespace uitk

#include "ControlUI.h"

#include "AttributeParse.h"
#include "ContainerUI.h"
#include "ControlHost.h"
#include "SkinRenderer.h"

namespace uitk {

CControlUI::~CControlUI()
{
    if (m_manager)
        m_manager->ReapControl(this);
}

CControlUI* CControlUI::GetInterface(const std::wstring& name)
{
    return name == L"Control" ? this : nullptr;
}

void CControlUI::SetText(const std::wstring& text)
{
    if (m_text == text)
        return;
    m_text = text;
    Invalidate();
}

void CControlUI::SetManager(CControlHost* manager, CContainerUI* parent, bool init)
{
    m_manager = manager;
    m_parent = parent;
    if (init && m_manager)
        DoInit();
}

void CControlUI::SetPos(const RECT& rc)
{
    RECT fixed = rc;
    if (fixed.right < fixed.left)
        fixed.right = fixed.left;
    if (fixed.bottom < fixed.top)
        fixed.bottom = fixed.top;
    Invalidate();
    m_rcItem = fixed;
    Invalidate();
}

void CControlUI::SetFixedWidth(int cx)
{
    if (cx < 0 || cx == m_cxyFixed.cx)
        return;
    m_cxyFixed.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy)
{
    if (cy < 0 || cy == m_cxyFixed.cy)
        return;
    m_cxyFixed.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    if (!visible && m_manager)
        m_manager->ForgetInput(this);
    NeedParentUpdate();
}

void CControlUI::SetEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        m_hot = m_pushed = false;
    Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& image)
{
    if (m_bkImage == image)
        return;
    m_bkImage = image;
    Invalidate();
}

void CControlUI::SetBkColor(DWORD color)
{
    m_bkColor = color;
    Invalidate();
}

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"name")
        m_name = value;
    else if (name == L"text")
        SetText(value);
    else if (name == L"width")
        SetFixedWidth(ParseInt(value));
    else if (name == L"height")
        SetFixedHeight(ParseInt(value));
    else if (name == L"maxwidth")
        m_cxyMax.cx = ParseInt(value);
    else if (name == L"maxheight")
        m_cxyMax.cy = ParseInt(value);
    else if (name == L"padding")
        m_rcPadding = ParseRect(value);
    else if (name == L"float")
        m_float = ParseBool(value);
    else if (name == L"pos")
        m_rcFloat = ParseRect(value);
    else if (name == L"visible")
        SetVisible(ParseBool(value));
    else if (name == L"enabled")
        SetEnabled(ParseBool(value));
    else if (name == L"mouse")
        SetMouseEnabled(ParseBool(value));
    else if (name == L"bkcolor")
        SetBkColor(ParseColor(value));
    else if (name == L"bkimage")
        SetBkImage(value);
}

CControlUI* CControlUI::FindControlAt(POINT pt)
{
    if (!m_visible || !::PtInRect(&m_rcItem, pt))
        return nullptr;
    return this;
}

CControlUI* CControlUI::FindControlByName(const std::wstring& name)
{
    return m_name == name ? this : nullptr;
}

void CControlUI::DoPaint(HDC dc, const RECT& rcPaint)
{
    RECT overlap;
    if (!::IntersectRect(&overlap, &rcPaint, &m_rcItem))
        return;
    PaintBkColor(dc);
    PaintBkImage(dc);
    PaintStatusImage(dc);
    PaintText(dc);
}

void CControlUI::DoEvent(SControlEvent& event)
{
    switch (event.kind) {
    case EventType::MouseEnter:
        m_hot = IsEnabled();
        Invalidate();
        break;
    case EventType::MouseLeave:
        m_hot = false;
        Invalidate();
        break;
    case EventType::ButtonDown:
        m_pushed = IsEnabled();
        Invalidate();
        break;
    case EventType::ButtonUp:
        m_pushed = false;
        Invalidate();
        break;
    default:
        break;
    }
}

bool CControlUI::Activate()
{
    return IsVisible() && IsEnabled();
}

void CControlUI::Invalidate()
{
    if (m_manager && m_visible)
        m_manager->Invalidate(m_rcItem);
}

void CControlUI::NeedParentUpdate()
{
    if (m_manager)
        m_manager->NeedUpdate();
}

void CControlUI::PaintBkColor(HDC dc)
{
    if (m_bkColor >> 24)
        CSkinRenderer::FillColor(dc, m_rcItem, m_bkColor);
}

void CControlUI::PaintBkImage(HDC dc)
{
    if (!m_bkImage.empty())
        DrawImage(dc, m_bkImage);
}

bool CControlUI::DrawImage(HDC dc, const std::wstring& image)
{
    if (!m_manager)
        return false;
    return CSkinRenderer::DrawImageString(dc, m_rcItem, image);
}

} // namespace uitk

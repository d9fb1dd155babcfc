#include "ProgressUI.h"

#include "AttributeParse.h"
#include "ControlHost.h"
#include "SkinRenderer.h"

#include <algorithm>

namespace uitk {

CControlUI* CProgressUI::GetInterface(const std::wstring& name)
{
    return name == L"Progress" ? this : CLabelUI::GetInterface(name);
}

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"foreimage")
        SetForeImage(value);
    else if (name == L"hor")
        m_horizontal = ParseBool(value);
    else if (name == L"min")
        SetMinValue(ParseInt(value));
    else if (name == L"max")
        SetMaxValue(ParseInt(value));
    else if (name == L"value")
        SetValue(ParseInt(value));
    else
        CLabelUI::SetAttribute(name, value);
}

void CProgressUI::SetValue(int value)
{
    int kept = std::max(m_min, std::min(value, m_max));
    if (kept == m_value)
        return;
    m_value = kept;
    Invalidate();
}

void CProgressUI::PaintStatusImage(HDC dc)
{
    if (m_foreImage.empty() || !m_manager || m_max <= m_min)
        return;
    int value = std::max(m_min, std::min(m_value, m_max));
    RECT part = m_rcItem;
    if (m_horizontal)
        part.right = part.left + (value - m_min) * (m_rcItem.right - m_rcItem.left) / (m_max - m_min);
    else
        part.top = part.bottom - (value - m_min) * (m_rcItem.bottom - m_rcItem.top) / (m_max - m_min);
    if (part.right > part.left && part.bottom > part.top)
        CSkinRenderer::DrawImageCropped(dc, part, m_foreImage);
}

} // namespace uitk

#include "ButtonUI.h"

#include "ControlHost.h"

namespace uitk {

CControlUI* CButtonUI::GetInterface(const std::wstring& name)
{
    return name == L"Button" ? this : CLabelUI::GetInterface(name);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"normalimage")
        m_normalImage = value;
    else if (name == L"hotimage")
        m_hotImage = value;
    else if (name == L"pushedimage")
        m_pushedImage = value;
    else if (name == L"disabledimage")
        m_disabledImage = value;
    else
        CLabelUI::SetAttribute(name, value);
    Invalidate();
}

bool CButtonUI::Activate()
{
    if (!CLabelUI::Activate())
        return false;
    if (m_manager)
        m_manager->SendNotify(this, L"click");
    return true;
}

// The most specific state that has an image wins; normal is the fallback.
void CButtonUI::PaintStatusImage(HDC dc)
{
    if (!IsEnabled() && !m_disabledImage.empty() && DrawImage(dc, m_disabledImage))
        return;
    if (IsPushed() && IsHot() && !m_pushedImage.empty() && DrawImage(dc, m_pushedImage))
        return;
    if (IsHot() && !m_hotImage.empty() && DrawImage(dc, m_hotImage))
        return;
    if (!m_normalImage.empty())
        DrawImage(dc, m_normalImage);
}

} // namespace uitk

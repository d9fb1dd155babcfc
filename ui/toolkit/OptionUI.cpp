#include "OptionUI.h"

#include "AttributeParse.h"
#include "ControlHost.h"

namespace uitk {

CControlUI* COptionUI::GetInterface(const std::wstring& name)
{
    return name == L"Option" ? this : CButtonUI::GetInterface(name);
}

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"group")
        m_group = value;
    else if (name == L"selected")
        Selected(ParseBool(value), false);
    else if (name == L"selectedimage")
        m_selectedImage = value;
    else
        CButtonUI::SetAttribute(name, value);
}

void COptionUI::Selected(bool selected, bool notify)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    if (m_manager && selected && !m_group.empty())
        m_manager->ForEachOptionInGroup(m_group, [&](COptionUI& other) {
            if (&other != this)
                other.Selected(false, notify);
        });
    if (m_manager && notify)
        m_manager->SendNotify(this, L"selectchanged");
    Invalidate();
}

// A grouped option cannot be unselected by a click on itself; a lone one toggles.
bool COptionUI::Activate()
{
    if (!CControlUI::Activate())
        return false;
    if (!m_group.empty())
        Selected(true);
    else
        Selected(!m_selected);
    return true;
}

void COptionUI::PaintStatusImage(HDC dc)
{
    if (m_selected && !m_selectedImage.empty() && DrawImage(dc, m_selectedImage))
        return;
    CButtonUI::PaintStatusImage(dc);
}

} // namespace uitk

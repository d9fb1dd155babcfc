#include "VerticalLayoutUI.h"

#include "StackLayout.h"

namespace uitk {

CControlUI* CVerticalLayoutUI::GetInterface(const std::wstring& name)
{
    return name == L"VerticalLayout" ? this : CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::ArrangeItems(const RECT& rc)
{
    StackItems(m_items, rc, StackAxis{true});
}

} // namespace uitk

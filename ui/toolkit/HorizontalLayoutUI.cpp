#include "HorizontalLayoutUI.h"

#include "StackLayout.h"

namespace uitk {

CControlUI* CHorizontalLayoutUI::GetInterface(const std::wstring& name)
{
    return name == L"HorizontalLayout" ? this : CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::ArrangeItems(const RECT& rc)
{
    StackItems(m_items, rc, StackAxis{false});
}

} // namespace uitk

#include "ContainerUI.h"

#include "ControlHost.h"

namespace uitk {

CContainerUI::~CContainerUI()
{
    for (CControlUI* item : m_items)
        delete item;
}

CControlUI* CContainerUI::GetInterface(const std::wstring& name)
{
    return name == L"Container" ? this : CControlUI::GetInterface(name);
}

bool CContainerUI::Add(CControlUI* control)
{
    if (!control)
        return false;
    m_items.push_back(control);
    if (m_manager)
        control->SetManager(m_manager, this);
    NeedParentUpdate();
    return true;
}

CControlUI* CContainerUI::GetItemAt(int index) const
{
    return index >= 0 && index < GetCount() ? m_items[size_t(index)] : nullptr;
}

void CContainerUI::SetManager(CControlHost* manager, CContainerUI* parent, bool init)
{
    for (CControlUI* item : m_items)
        item->SetManager(manager, this, init);
    CControlUI::SetManager(manager, parent, init);
}

void CContainerUI::SetPos(const RECT& rc)
{
    CControlUI::SetPos(rc);
    ArrangeItems(m_rcItem);
    for (CControlUI* item : m_items)
        if (item->IsVisible() && item->IsFloat())
            SetFloatPos(item);
}

// Left and top are relative to the container; a zero right and bottom take
// the size from the width and height attributes.
void CContainerUI::SetFloatPos(CControlUI* control)
{
    RECT pos = control->GetFloatPos();
    RECT rc{m_rcItem.left + pos.left, m_rcItem.top + pos.top, m_rcItem.left + pos.right,
            m_rcItem.top + pos.bottom};
    if (pos.right == 0 && pos.bottom == 0) {
        rc.right = rc.left + control->GetFixedWidth();
        rc.bottom = rc.top + control->GetFixedHeight();
    }
    control->SetPos(rc);
}

CControlUI* CContainerUI::FindControlAt(POINT pt)
{
    if (!IsVisible() || !::PtInRect(&m_rcItem, pt))
        return nullptr;
    // Later children lie on top of earlier ones, floating ones on top of all.
    for (int pass = 0; pass < 2; ++pass) {
        bool wantFloat = pass == 0;
        for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
            if ((*it)->IsFloat() != wantFloat)
                continue;
            if (CControlUI* hit = (*it)->FindControlAt(pt))
                return hit;
        }
    }
    return this;
}

CControlUI* CContainerUI::FindControlByName(const std::wstring& name)
{
    if (GetName() == name)
        return this;
    for (CControlUI* item : m_items)
        if (CControlUI* found = item->FindControlByName(name))
            return found;
    return nullptr;
}

void CContainerUI::DoPaint(HDC dc, const RECT& rcPaint)
{
    RECT overlap;
    if (!::IntersectRect(&overlap, &rcPaint, &m_rcItem))
        return;
    CControlUI::DoPaint(dc, rcPaint);
    for (int pass = 0; pass < 2; ++pass)
        for (CControlUI* item : m_items)
            if (item->IsVisible() && item->IsFloat() == (pass == 1))
                item->DoPaint(dc, rcPaint);
}

} // namespace uitk

#pragma once

#include "ContainerUI.h"

namespace uitk {

// Stacks its children from top to bottom.
class CVerticalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override { return L"VerticalLayout"; }
    CControlUI* GetInterface(const std::wstring& name) override;

protected:
    void ArrangeItems(const RECT& rc) override;
};

} // namespace uitk

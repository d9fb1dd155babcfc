#pragma once

#include "ContainerUI.h"

namespace uitk {

// Stacks its children from left to right.
class CHorizontalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override { return L"HorizontalLayout"; }
    CControlUI* GetInterface(const std::wstring& name) override;

protected:
    void ArrangeItems(const RECT& rc) override;
};

} // namespace uitk

#pragma once

#include "ControlUI.h"

#include <vector>

namespace uitk {

// A control that owns child controls. Floating children are placed at their
// own position relative to the container; the layouts place the others.
class CContainerUI : public CControlUI {
public:
    ~CContainerUI() override;

    std::wstring GetClass() const override { return L"Container"; }
    CControlUI* GetInterface(const std::wstring& name) override;

    bool Add(CControlUI* control); // takes ownership
    int GetCount() const { return int(m_items.size()); }
    CControlUI* GetItemAt(int index) const;

    void SetManager(CControlHost* manager, CContainerUI* parent, bool init = true) override;
    void SetPos(const RECT& rc) override;
    CControlUI* FindControlAt(POINT pt) override;
    CControlUI* FindControlByName(const std::wstring& name) override;
    void DoPaint(HDC dc, const RECT& rcPaint) override;

protected:
    // Places the children that flow; the container itself lays out nothing.
    virtual void ArrangeItems(const RECT& rc) { (void)rc; }
    void SetFloatPos(CControlUI* control);

    std::vector<CControlUI*> m_items;
};

} // namespace uitk

#pragma once

#include "LabelUI.h"

namespace uitk {

// A label that reacts to the mouse and sends "click" when activated.
class CButtonUI : public CLabelUI {
public:
    std::wstring GetClass() const override { return L"Button"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    bool Activate() override;

protected:
    void PaintStatusImage(HDC dc) override;

    std::wstring m_normalImage;
    std::wstring m_hotImage;
    std::wstring m_pushedImage;
    std::wstring m_disabledImage;
};

} // namespace uitk

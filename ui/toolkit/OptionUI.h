#pragma once

#include "ButtonUI.h"

namespace uitk {

// A radio button: options with the same group name exclude each other.
// A change of selection sends "selectchanged".
class COptionUI : public CButtonUI {
public:
    std::wstring GetClass() const override { return L"Option"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    bool Activate() override;

    const std::wstring& GetGroup() const { return m_group; }
    bool IsSelected() const { return m_selected; }
    void Selected(bool selected, bool notify = true);

protected:
    void PaintStatusImage(HDC dc) override;

private:
    std::wstring m_group;
    bool m_selected = false;
    std::wstring m_selectedImage;
};

} // namespace uitk

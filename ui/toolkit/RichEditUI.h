#pragma once

#include "LabelUI.h"

namespace uitk {

// A text box that shows one line inside its inset. The windows of this
// program only ever put text into it, so it draws the text itself and
// opens no native rich-edit window.
class CRichEditUI : public CLabelUI {
public:
    std::wstring GetClass() const override { return L"RichEdit"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    const RECT& GetInset() const { return m_textPadding; }
};

} // namespace uitk

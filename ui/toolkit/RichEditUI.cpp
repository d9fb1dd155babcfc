#include "RichEditUI.h"

#include "AttributeParse.h"

namespace uitk {

CControlUI* CRichEditUI::GetInterface(const std::wstring& name)
{
    return name == L"RichEdit" ? this : CLabelUI::GetInterface(name);
}

void CRichEditUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"inset")
        m_textPadding = ParseRect(value);
    else if (name == L"multiline" || name == L"readonly" || name == L"wantreturn")
        return; // always one line, and never typed into
    else
        CLabelUI::SetAttribute(name, value);
}

} // namespace uitk

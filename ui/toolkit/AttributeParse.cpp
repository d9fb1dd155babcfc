#include "AttributeParse.h"

#include <cwchar>
#include <cwctype>

namespace uitk {

int ParseInt(const std::wstring& text)
{
    return int(std::wcstol(text.c_str(), nullptr, 10));
}

bool ParseBool(const std::wstring& text)
{
    return text == L"true";
}

RECT ParseRect(const std::wstring& text)
{
    LONG values[4] = {0, 0, 0, 0};
    const wchar_t* p = text.c_str();
    for (int i = 0; i < 4 && *p; ++i) {
        wchar_t* end = nullptr;
        values[i] = std::wcstol(p, &end, 10);
        if (end == p)
            break;
        p = end;
        while (*p == L',' || std::iswspace(*p))
            ++p;
    }
    return RECT{values[0], values[1], values[2], values[3]};
}

DWORD ParseColor(const std::wstring& text)
{
    size_t start = 0;
    if (!text.empty() && text[0] == L'#')
        start = 1;
    else if (text.size() > 1 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
        start = 2;
    return DWORD(std::wcstoul(text.c_str() + start, nullptr, 16));
}

TextAlign ParseAlign(const std::wstring& text)
{
    if (text.find(L"center") != std::wstring::npos)
        return TextAlign::Center;
    if (text.find(L"right") != std::wstring::npos)
        return TextAlign::Right;
    return TextAlign::Left;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace uitk

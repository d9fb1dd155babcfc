#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "UIDefs.h"

namespace uitk {

// Readers for the attribute values of the layout markup. They are lenient:
// what cannot be read becomes 0 and extra text is ignored.
int ParseInt(const std::wstring& text);
bool ParseBool(const std::wstring& text); // only "true"
// "l,t,r,b"; fewer numbers leave the rest 0, so "50" sets the left side alone.
RECT ParseRect(const std::wstring& text);
// "#AARRGGBB" or "0xAARRGGBB"; six digits give alpha 0.
DWORD ParseColor(const std::wstring& text);
TextAlign ParseAlign(const std::wstring& text);
bool EqualNoCase(const std::wstring& a, const std::wstring& b);

} // namespace uitk

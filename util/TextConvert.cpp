#include "util/TextConvert.h"

#include <windows.h>

#include <climits>

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string WideToAnsi(const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0,
                                             nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string narrow(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, narrow.data(), needed, nullptr,
                          nullptr);
    return narrow;
}

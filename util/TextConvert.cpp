#include "util/TextConvert.h"

#include <windows.h>

#include <climits>

namespace {

// Characters the code page lacks become its default character, never a
// look-alike: "Ä" must not turn into "A", which may name another folder.
// Some code pages (UTF-8 among them) take no flags at all.
int ToAnsi(const std::wstring& text, char* out, int outSize)
{
    const int length = static_cast<int>(text.size());
    const int written =
        ::WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, out, outSize, nullptr, nullptr);
    if (written > 0 || ::GetLastError() != ERROR_INVALID_FLAGS)
        return written;
    return ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, out, outSize, nullptr, nullptr);
}

} // namespace

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
    const int needed = ToAnsi(text, nullptr, 0);
    if (needed <= 0)
        return {};
    std::string narrow(static_cast<size_t>(needed), '\0');
    ToAnsi(text, narrow.data(), needed);
    return narrow;
}

bool FitsAnsiCodePage(const std::wstring& text) { return AnsiToWide(WideToAnsi(text)) == text; }

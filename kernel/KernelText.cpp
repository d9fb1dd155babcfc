#include "KernelText.h"

#include "DlbtApi.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace kernel {
namespace {

std::wstring ToWide(UINT codePage, const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), needed);
    return wide;
}

std::string ToNarrow(UINT codePage, const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0)
        ::WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

template <typename Char>
int CopyText(const Char* text, size_t size, Char* buffer, int* length)
{
    if (!length)
        return DLBT_ERROR_INVALID_ARGUMENT;
    const size_t needed = size + 1;
    if (needed > INT_MAX)
        return DLBT_ERROR_INVALID_ARGUMENT;
    if (!buffer || *length < static_cast<int>(needed)) {
        *length = static_cast<int>(needed);
        return buffer ? DLBT_ERROR_BUFFER_TOO_SMALL : DLBT_OK;
    }
    std::memcpy(buffer, text, size * sizeof(Char));
    buffer[size] = Char(0);
    *length = static_cast<int>(needed);
    return DLBT_OK;
}

} // namespace

std::string WideToUtf8(const std::wstring& text) { return ToNarrow(CP_UTF8, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string WideToAnsi(const std::wstring& text) { return ToNarrow(CP_THREAD_ACP, text); }

std::wstring ErrorText(const boost::system::error_code& error)
{
    if (error.category() != boost::system::system_category())
        return Utf8ToWide(error.message()); // libtorrent's and the C library's texts are ASCII
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, static_cast<DWORD>(error.value()), 0,
                                          reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? L"system error " + std::to_wstring(error.value()) : message;
}

void Tell(const std::wstring& text) { ::OutputDebugStringW((L"DLBT: " + text + L"\n").c_str()); }

int CopyOut(const std::string& text, char* buffer, int* length)
{
    return CopyText(text.data(), text.size(), buffer, length);
}

int CopyOut(const std::wstring& text, wchar_t* buffer, int* length)
{
    return CopyText(text.data(), text.size(), buffer, length);
}

} // namespace kernel

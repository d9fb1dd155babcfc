#include "shell/Registry.h"

#include "util/UniqueRegKey.h"

#include <windows.h>

namespace {

const DWORD kReadChars = 256;
const REGSAM kAccess = KEY_READ | KEY_WRITE;

CUniqueRegKey OpenOrCreateKey(const std::wstring& keyPath)
{
    CUniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, kAccess, key.Receive()) == ERROR_SUCCESS)
        return key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                          nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        key.Reset();
    return key;
}

// Whether `bytes` of data of this type hold a properly terminated string.
bool IsTerminatedString(DWORD type, const wchar_t* data, DWORD bytes)
{
    if (bytes == 0)
        return true;
    if (bytes % sizeof(wchar_t) != 0)
        return false;
    const DWORD chars = bytes / sizeof(wchar_t);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return data[chars - 1] == L'\0';
    case REG_MULTI_SZ:
        return data[chars - 1] == L'\0' && (chars == 1 || data[chars - 2] == L'\0');
    default:
        return false;
    }
}

bool ReadString(HKEY key, const std::wstring& valueName, std::wstring& value)
{
    wchar_t buffer[kReadChars] = {};
    DWORD type = REG_NONE;
    DWORD bytes = sizeof(buffer);
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
        ERROR_SUCCESS)
        return false;
    if (!IsTerminatedString(type, buffer, bytes))
        return false;
    value = buffer; // up to the first zero character
    return true;
}

bool WriteString(HKEY key, const std::wstring& valueName, const std::wstring& value)
{
    const DWORD bytes = DWORD((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            bytes) == ERROR_SUCCESS;
}

bool DeleteString(HKEY key, const std::wstring& valueName)
{
    std::wstring ignored;
    if (!ReadString(key, valueName, ignored))
        return false;
    return ::RegDeleteValueW(key, valueName.c_str()) == ERROR_SUCCESS;
}

} // namespace

bool RegStringValue(ERegOp op, std::wstring keyPath, const std::wstring& valueName, std::wstring& value)
{
    if (op != ERegOp::Read && op != ERegOp::Write && op != ERegOp::Delete)
        return false;
    if (keyPath.empty())
        return false;
    if (keyPath.back() != L'\\')
        keyPath += L'\\';

    CUniqueRegKey key = OpenOrCreateKey(keyPath);
    if (!key)
        return false;
    switch (op) {
    case ERegOp::Read:
        return ReadString(key.Get(), valueName, value);
    case ERegOp::Write:
        return WriteString(key.Get(), valueName, value);
    case ERegOp::Delete:
        return DeleteString(key.Get(), valueName);
    }
    return false;
}

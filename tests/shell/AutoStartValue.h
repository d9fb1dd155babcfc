#pragma once

#include "util/UniqueRegKey.h"

#include <windows.h>

#include <string>

// The program's value under the current user's Run key, looked at and set
// directly, past the code under test.
inline const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const wchar_t kAutoStartName[] = L"Vantor_Tessary_Korvane";

inline void RemoveAutoStartValue()
{
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kAutoStartName);
}

inline bool AutoStartValueExists()
{
    return ::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kAutoStartName, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

inline bool ReadAutoStartValue(std::wstring& value)
{
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer);
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kAutoStartName, RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
        ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

inline void WriteAutoStartRaw(DWORD type, const void* data, DWORD bytes)
{
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kAutoStartName, type, data, bytes);
}

inline void WriteAutoStartValue(DWORD type, const std::wstring& text)
{
    WriteAutoStartRaw(type, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

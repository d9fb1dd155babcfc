#pragma once

#include <windows.h>

#include <utility>

// Owns an open registry key and closes it exactly once.
class CUniqueRegKey {
public:
    CUniqueRegKey() = default;
    explicit CUniqueRegKey(HKEY key) : m_key(key) {}
    ~CUniqueRegKey() { Reset(); }

    CUniqueRegKey(const CUniqueRegKey&) = delete;
    CUniqueRegKey& operator=(const CUniqueRegKey&) = delete;
    CUniqueRegKey(CUniqueRegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    CUniqueRegKey& operator=(CUniqueRegKey&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_key, nullptr));
        return *this;
    }

    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }
    // For the Reg* functions that hand out a key.
    HKEY* Receive()
    {
        Reset();
        return &m_key;
    }
    void Reset(HKEY key = nullptr)
    {
        if (m_key)
            ::RegCloseKey(m_key);
        m_key = key;
    }

private:
    HKEY m_key = nullptr;
};

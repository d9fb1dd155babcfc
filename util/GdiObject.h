#pragma once

#include <windows.h>

#include <utility>

// Owns one GDI object (pen, brush, font, bitmap, region) and deletes it once.
template <typename T>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(T object) : m_object(object) {}
    ~CGdiObject() { Reset(); }

    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : m_object(other.Release()) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    T Get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    T Release() { return std::exchange(m_object, nullptr); }
    void Reset(T object = nullptr)
    {
        if (m_object)
            ::DeleteObject(m_object);
        m_object = object;
    }

private:
    T m_object = nullptr;
};

// A memory device context drawing into a bitmap it owns. Windows refuses to
// delete a bitmap that is still selected (it leaks instead), so the DC puts
// back what it found before the bitmap goes, and the bitmap goes before the DC.
class CMemoryDC {
public:
    CMemoryDC(HDC compatibleWith, CGdiObject<HBITMAP> bitmap)
        : m_dc(::CreateCompatibleDC(compatibleWith)), m_bitmap(std::move(bitmap))
    {
        if (m_dc && m_bitmap)
            m_previous = ::SelectObject(m_dc, m_bitmap.Get());
    }
    ~CMemoryDC()
    {
        if (m_previous)
            ::SelectObject(m_dc, m_previous);
        m_bitmap.Reset();
        if (m_dc)
            ::DeleteDC(m_dc);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    // False when the DC or its bitmap could not be made.
    explicit operator bool() const { return m_dc && m_previous; }
    HDC Get() const { return m_dc; }

private:
    HDC m_dc;
    CGdiObject<HBITMAP> m_bitmap;
    HGDIOBJ m_previous = nullptr;
};

// Releases a window's device context got with GetDC.
class CWindowDC {
public:
    explicit CWindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDC() { if (m_dc) ::ReleaseDC(m_window, m_dc); }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

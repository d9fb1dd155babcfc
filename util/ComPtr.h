#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <utility>

// Holds one reference to a COM object and releases it once.
template <typename T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Reset(); }

    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    CComPtr(CComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // For calls that hand out a new reference.
    T** Receive()
    {
        Reset();
        return &m_object;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (m_object)
            std::exchange(m_object, nullptr)->Release();
    }

private:
    T* m_object = nullptr;
};

// A BSTR made from a wide string and freed once.
class CBstr {
public:
    explicit CBstr(const wchar_t* text) : m_text(::SysAllocString(text)) {}
    ~CBstr() { ::SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};

// COM on the calling thread for the life of the object. A thread already in
// another apartment (RPC_E_CHANGED_MODE) can use COM all the same, but only a
// successful initialisation is undone.
class CComApartment {
public:
    explicit CComApartment(DWORD mode) : m_result(::CoInitializeEx(nullptr, mode)) {}
    ~CComApartment()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    bool Usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

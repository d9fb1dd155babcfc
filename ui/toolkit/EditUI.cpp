#include "EditUI.h"

#include "AttributeParse.h"
#include "ControlHost.h"
#include "SkinResources.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace uitk {
namespace {

const int kTextInset = 3;

COLORREF ToColorRef(DWORD argb) { return RGB(argb >> 16 & 0xFF, argb >> 8 & 0xFF, argb & 0xFF); }

} // namespace

CEditUI::CEditUI()
{
    SetTextColor(m_nativeTextColor);
}

CEditUI::~CEditUI()
{
    if (m_native)
        ::DestroyWindow(m_native);
}

CControlUI* CEditUI::GetInterface(const std::wstring& name)
{
    return name == L"Edit" ? this : CLabelUI::GetInterface(name);
}

void CEditUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"numberonly")
        m_numberOnly = ParseBool(value);
    else if (name == L"maxchar")
        m_maxChar = ParseInt(value);
    else if (name == L"nativebkcolor")
        m_nativeBkColor = ParseColor(value);
    else {
        if (name == L"textcolor")
            m_nativeTextColor = ParseColor(value);
        CLabelUI::SetAttribute(name, value);
    }
}

std::wstring CEditUI::GetText() const
{
    if (!m_native)
        return CLabelUI::GetText();
    std::vector<wchar_t> buffer(size_t(::GetWindowTextLengthW(m_native)) + 1);
    ::GetWindowTextW(m_native, buffer.data(), int(buffer.size()));
    return buffer.data();
}

void CEditUI::SetText(const std::wstring& text)
{
    std::wstring limited = m_maxChar > 0 && int(text.size()) > m_maxChar ? text.substr(0, size_t(m_maxChar)) : text;
    CLabelUI::SetText(limited);
    if (m_native)
        ::SetWindowTextW(m_native, limited.c_str());
}

void CEditUI::SetVisible(bool visible)
{
    if (!visible)
        EndEditing();
    CLabelUI::SetVisible(visible);
}

void CEditUI::SetEnabled(bool enabled)
{
    if (!enabled)
        EndEditing();
    CLabelUI::SetEnabled(enabled);
}

void CEditUI::DoEvent(SControlEvent& event)
{
    CLabelUI::DoEvent(event);
    if (event.kind == EventType::ButtonDown && IsEnabled() && IsKeyboardEnabled())
        BeginEditing();
}

void CEditUI::PaintText(HDC dc)
{
    if (!m_native)
        PaintTextIn(dc, RECT{kTextInset, 0, kTextInset, 0});
}

HBRUSH CEditUI::NativeBackground(HDC dc)
{
    ::SetBkColor(dc, ToColorRef(m_nativeBkColor));
    ::SetTextColor(dc, ToColorRef(m_nativeTextColor));
    if (!m_nativeBrush)
        m_nativeBrush.Reset(::CreateSolidBrush(ToColorRef(m_nativeBkColor)));
    return m_nativeBrush.Get();
}

void CEditUI::BeginEditing()
{
    if (m_native || !m_manager || !m_manager->GetPaintWindow())
        return;
    HFONT font = m_manager->GetFont(GetFont());
    TEXTMETRICW metrics{};
    {
        HDC dc = ::GetDC(m_manager->GetPaintWindow());
        HGDIOBJ old = ::SelectObject(dc, font);
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, old);
        ::ReleaseDC(m_manager->GetPaintWindow(), dc);
    }
    int height = std::min<int>(metrics.tmHeight, m_rcItem.bottom - m_rcItem.top);
    int top = m_rcItem.top + (m_rcItem.bottom - m_rcItem.top - height) / 2;
    DWORD style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_LEFT | (m_numberOnly ? ES_NUMBER : 0);
    m_native = ::CreateWindowExW(0, L"EDIT", CLabelUI::GetText().c_str(), style, m_rcItem.left + kTextInset, top,
                                 m_rcItem.right - m_rcItem.left - 2 * kTextInset, height,
                                 m_manager->GetPaintWindow(), nullptr, CSkinResources::GetInstance(), nullptr);
    if (!m_native)
        return;
    ::SetWindowLongPtrW(m_native, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_nativeDefault = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(m_native, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CEditUI::NativeProc)));
    ::SendMessageW(m_native, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (m_maxChar > 0)
        ::SendMessageW(m_native, EM_LIMITTEXT, WPARAM(m_maxChar), 0);
    ::SendMessageW(m_native, EM_SETSEL, 0, -1);
    ::SetFocus(m_native);
    Invalidate();
}

void CEditUI::EndEditing()
{
    if (!m_native)
        return;
    std::wstring text = GetText();
    HWND native = std::exchange(m_native, nullptr);
    ::SetWindowLongPtrW(native, GWLP_USERDATA, 0);
    ::SetWindowLongPtrW(native, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_nativeDefault));
    ::DestroyWindow(native);
    CLabelUI::SetText(text);
    Invalidate();
}

LRESULT CALLBACK CEditUI::NativeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CEditUI*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    WNDPROC original = self ? self->m_nativeDefault : nullptr;
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_KEYDOWN && wParam == VK_RETURN) {
        ::SetFocus(self->m_manager->GetPaintWindow());
        return 0;
    }
    LRESULT result = ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
    if (msg == WM_KILLFOCUS)
        ::PostMessageW(self->m_manager->GetPaintWindow(), CControlHost::kEndEditMessage, 0,
                       reinterpret_cast<LPARAM>(hwnd));
    return result;
}

} // namespace uitk

#include "WindowWnd.h"

#include "ControlHost.h"
#include "SkinResources.h"

#include <algorithm>

namespace uitk {

bool CWindowWnd::RegisterWindowClass()
{
    std::wstring name = GetWindowClassName();
    HINSTANCE instance = CSkinResources::GetInstance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(instance, name.c_str(), &existing))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = GetClassStyle();
    wc.lpfnWndProc = &CWindowWnd::WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name.c_str();
    return ::RegisterClassExW(&wc) != 0;
}

HWND CWindowWnd::Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x, int y, int cx,
                        int cy, HMENU menu)
{
    if (!RegisterWindowClass())
        return nullptr;
    return ::CreateWindowExW(exStyle, GetWindowClassName().c_str(), name.c_str(), style, x, y, cx, cy, parent, menu,
                             CSkinResources::GetInstance(), this);
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus)
{
    if (::IsWindow(m_hWnd))
        ::ShowWindow(m_hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal()
{
    // The object may delete itself when its window goes, so only locals are
    // used once the loop runs.
    HWND window = m_hWnd;
    HWND owner = ::GetWindow(window, GW_OWNER);
    ::ShowWindow(window, SW_SHOWNORMAL);
    if (owner)
        ::EnableWindow(owner, FALSE);
    UINT result = 0;
    MSG msg{};
    bool quit = false;
    while (::IsWindow(window)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            break;
        }
        if (got < 0)
            break;
        if (msg.message == WM_CLOSE && msg.hwnd == window) {
            result = UINT(msg.wParam);
            if (owner) {
                ::EnableWindow(owner, TRUE);
                ::SetFocus(owner);
            }
        }
        if (CControlHost::TranslateMessage(&msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetFocus(owner);
    }
    if (quit)
        ::PostQuitMessage(int(msg.wParam));
    return result;
}

void CWindowWnd::Close(UINT result)
{
    if (::IsWindow(m_hWnd))
        ::PostMessageW(m_hWnd, WM_CLOSE, result, 0);
}

void CWindowWnd::CenterWindow()
{
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT area = monitor.rcWork;
    RECT center = area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &center);
    int width = window.right - window.left, height = window.bottom - window.top;
    int x = (center.left + center.right - width) / 2;
    int y = (center.top + center.bottom - height) / 2;
    // Keep the whole window on the work area where it fits.
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId)
{
    HINSTANCE instance = CSkinResources::GetInstance();
    auto big = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_DEFAULTCOLOR | LR_SHARED));
    auto small = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  LR_DEFAULTCOLOR | LR_SHARED));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<CWindowWnd*>(create->lpCreateParams);
        if (self) {
            self->m_hWnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg != WM_NCDESTROY)
        return self->HandleMessage(msg, wParam, lParam);
    LRESULT result = self->HandleMessage(msg, wParam, lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(hwnd);
    return result;
}

} // namespace uitk

#include "app/StandInWindow.h"

namespace {
const wchar_t kClassName[] = L"KorvaneStandInWnd";
const int kWidth = 520;
const int kHeight = 340;
} // namespace

bool CStandInWindow::Create(HINSTANCE instance, const wchar_t* title)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &CStandInWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass);

    m_hwnd = ::CreateWindowExW(0, kClassName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    return m_hwnd != nullptr;
}

void CStandInWindow::Show()
{
    ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(m_hwnd);
}

LRESULT CALLBACK CStandInWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

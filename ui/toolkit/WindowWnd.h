#pragma once

#include <windows.h>

#include <string>

namespace uitk {

// A native window with a registered class whose messages go to a virtual
// handler. OnFinalMessage runs once the native window is gone.
class CWindowWnd {
public:
    CWindowWnd() = default;
    virtual ~CWindowWnd() = default;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    HWND Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Shows the window, disables its owner and dispatches messages until
    // the window is gone. The result is the wParam of the window's WM_CLOSE.
    // A WM_QUIT taken meanwhile ends the run and is posted again.
    UINT ShowModal();
    void Close(UINT result = IDOK);
    // Centres over the owner, or in the work area of the window's monitor.
    void CenterWindow();
    void SetIcon(UINT resourceId);
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

protected:
    virtual std::wstring GetWindowClassName() const = 0;
    virtual UINT GetClassStyle() const { return 0; }
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hwnd) { (void)hwnd; }

    HWND m_hWnd = nullptr;

private:
    bool RegisterWindowClass();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

} // namespace uitk

#pragma once

#include <windows.h>

// A plain top-level window with the main window's title that holds the
// program's place until the skinned main window exists: a second start finds
// it, and closing it ends the message loop.
class CStandInWindow {
public:
    bool Create(HINSTANCE instance, const wchar_t* title);
    void Show();
    HWND Handle() const { return m_hwnd; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

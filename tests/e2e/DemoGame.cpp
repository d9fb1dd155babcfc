// The demo's game: it writes "game-started.txt" into its working folder,
// opens a window saying it runs, and ends when that is closed (or after a
// minute, so an unattended demo never waits on it).
#include <windows.h>

namespace {

const wchar_t kTitle[] = L"Korvane - demo game";
const UINT_PTR kEndTimer = 1;

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        RECT client;
        ::GetClientRect(window, &client);
        HBRUSH sky = ::CreateSolidBrush(RGB(24, 40, 72));
        ::FillRect(dc, &client, sky);
        ::DeleteObject(sky);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 214, 90));
        ::DrawTextW(dc, L"Korvane is installed and running.", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kEndTimer)
            ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

bool WriteMarker()
{
    wchar_t self[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    char text[MAX_PATH * 6] = {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, self, -1, text, sizeof text, nullptr, nullptr);
    HANDLE file = ::CreateFileW(L"game-started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(file, text, size > 0 ? static_cast<DWORD>(size - 1) : 0, &written, nullptr);
    ::CloseHandle(file);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    if (!WriteMarker())
        return 1;
    WNDCLASSW type{};
    type.lpfnWndProc = GameProc;
    type.hInstance = instance;
    type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = L"KorvaneDemoGame";
    ::RegisterClassW(&type);
    HWND window = ::CreateWindowW(type.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                                  270, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ::SetTimer(window, kEndTimer, 60 * 1000, nullptr);
    ::ShowWindow(window, show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}

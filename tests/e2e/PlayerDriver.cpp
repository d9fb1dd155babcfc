// The player's part in the demo: starts the downloader, prints each line its
// window shows, and (without a player at the screen) presses start itself,
// takes pictures of the window ready, downloading and completed, and closes
// it once the game has run.
//
//   player_driver PROGRAM FOLDER PICTURES_FOLDER [--press-start]
//
// Ends with the downloader's exit code; 2 when it could not run it.
#include "e2e/DebugOutputMonitor.h"
#include "support/ChildProcess.h"
#include "ui/WindowPicture.h"
#include "util/TextConvert.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

const wchar_t kWindowTitle[] = L"Korvane下载器";
const wchar_t kGameWindowTitle[] = L"Korvane - demo game";

void Print(const std::wstring& text)
{
    const std::string utf8 = [&] {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string narrow(size > 0 ? size - 1 : 0, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
        return narrow;
    }();
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool SaveScreenPicture(HWND window, const std::wstring& path)
{
    const WindowPicture picture = CaptureScreen(window);
    return !picture.pixels.empty() && SavePng(picture, path);
}

void PressStart(HWND window)
{
    // The start button: 118 x 40 at the right of the bottom row.
    const LPARAM start = MAKELPARAM(632 - 15 - 59, 302 - 15 - 20);
    ::PostMessageW(window, WM_MOUSEMOVE, 0, start);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, start);
    ::PostMessageW(window, WM_LBUTTONUP, 0, start);
}

int Percent(const std::wstring& line) { return _wtoi(line.c_str()); }

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        Print(L"usage: player_driver PROGRAM FOLDER PICTURES_FOLDER [--press-start]");
        return 2;
    }
    const std::wstring program = argv[1], folder = argv[2], pictures = std::wstring(argv[3]) + L"\\";
    const bool pressStart = argc > 4 && std::wstring(argv[4]) == L"--press-start";
    ::SetConsoleOutputCP(CP_UTF8);

    std::atomic<DWORD> downloader{0};
    std::atomic<int> lastPercent{-1};
    std::atomic<bool> completed{false};
    DebugOutputMonitor monitor([&](DWORD processId, const std::wstring& text) {
        if (processId != downloader || text.rfind(L"Korvane: ", 0) != 0)
            return;
        const std::wstring line = text.substr(9);
        Print(L"  window: " + line);
        lastPercent = Percent(line);
        if (line.find(L"下载完成！") != std::wstring::npos)
            completed = true;
    });
    if (!monitor.Running())
        Print(L"demo: another debug viewer runs; the window's lines are not shown");

    ChildProcess child;
    if (!child.Start(program, L"", folder)) {
        Print(L"demo: the downloader could not be started");
        return 2;
    }
    downloader = child.Id();
    const HWND window = child.WaitForWindowTitled(kWindowTitle);
    if (!window) {
        Print(L"demo: the downloader showed no window");
        return 2;
    }
    WaitFor([&] { return ::IsWindowVisible(window) != FALSE; });
    if (!pressStart) {
        Print(L"demo: the downloader is open; press its start button");
        const DWORD code = child.WaitForExit(std::chrono::hours(24));
        return static_cast<int>(code);
    }

    // Ready once the description and torrent are in; the start button
    // refuses before, so it is pressed until the window shows a line.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    SaveScreenPicture(window, pictures + L"ready.png");
    Print(L"demo: ready; pressing start");
    WaitFor([&] {
        if (lastPercent >= 0)
            return true;
        PressStart(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return lastPercent >= 0;
    }, std::chrono::seconds(60));

    bool downloadingSaved = false;
    WaitFor([&] {
        if (!downloadingSaved && lastPercent >= 30 && !completed)
            downloadingSaved = SaveScreenPicture(window, pictures + L"downloading.png");
        return completed.load();
    }, std::chrono::minutes(30));
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the completion painted
    SaveScreenPicture(window, pictures + L"completed.png");

    // The game the downloader started: its window, then closed.
    if (WaitFor([&] { return ::FindWindowW(nullptr, kGameWindowTitle) != nullptr; }, std::chrono::seconds(30))) {
        const HWND game = ::FindWindowW(nullptr, kGameWindowTitle);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        SaveScreenPicture(game, pictures + L"game.png");
        ::PostMessageW(game, WM_CLOSE, 0, 0);
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return static_cast<int>(child.WaitForExit(std::chrono::seconds(60)));
}

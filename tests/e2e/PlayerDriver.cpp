// The player's part in the demo: starts the downloader, prints each line its
// window shows, and (without a player at the screen) presses start itself,
// takes pictures of the window ready, downloading and completed, and closes
// it once the game has run.
//
//   player_driver PROGRAM FOLDER PICTURES_FOLDER [--press-start]
//
// Ends with the downloader's exit code; 2 when it could not run it.
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "ui/WindowPicture.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

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
        std::wstring line;
        if (processId != downloader || !ProgramDriver::ProgressLine(text, line))
            return;
        Print(L"  window: " + line);
        lastPercent = PercentOf(line);
        if (line.find(L"下载完成！") != std::wstring::npos)
            completed = true;
    });
    if (!monitor.Running())
        Print(L"demo: another debug viewer runs; the window's lines are not shown");

    ProgramDriver driver(monitor);
    if (!driver.Launch(program, folder)) {
        Print(L"demo: the downloader could not be started");
        return 2;
    }
    downloader = driver.Id();
    if (!driver.WaitForWindow()) {
        Print(L"demo: the downloader showed no window");
        return 2;
    }
    const HWND window = driver.Window();
    if (!pressStart) {
        Print(L"demo: the downloader is open; press its start button");
        const DWORD code = driver.WaitForExit(std::chrono::hours(24));
        return static_cast<int>(code);
    }

    // Ready once the description and torrent are in.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    SaveScreenPicture(window, pictures + L"ready.png");
    Print(L"demo: ready; pressing start");
    if (!driver.PressStart())
        Print(L"demo: the window did not take the start press");

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
    return static_cast<int>(driver.WaitForExit(std::chrono::seconds(60)));
}

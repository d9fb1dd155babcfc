// The program benchmark's player (bench/program-bench.sh runs it): starts the
// downloader, and either presses start and times the road to the completion
// line, or leaves the window alone in its ready state. Then it holds the
// downloader open until the script has taken its measurements and signals so
// with a file, and closes the window.
//
//   program_bench PROGRAM FOLDER download|ready [--limit SECONDS]
//
// Prints, each on a line of its own as it happens:
//   "window SECONDS"    from the launch to the window shown
//   "ready"             the window shown and its description fetched
//   "pressed"           the start press the window took
//   "complete SECONDS"  from that press to the window's completion line
//   "line TEXT"         every progress line the window shows (UTF-8)
//   "exit CODE"         the downloader's exit code
// and waits for FOLDER\bench.release before closing the window.
// Exit code 0, or 2 when the downloader could not be driven.
#include "e2e/DebugOutputMonitor.h"
#include "support/ChildProcess.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kWindowTitle[] = L"Korvane下载器";
const wchar_t kCompletion[] = L"下载完成！";
const wchar_t kLinePrefix[] = L"Korvane: ";

// One write per line: the window's lines come from the monitor's thread.
void Print(const std::string& text)
{
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string Seconds(Clock::duration span)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(span).count());
    return text;
}

void PressStart(HWND window)
{
    // The start button: 118 x 40 at the right of the bottom row.
    const LPARAM start = MAKELPARAM(632 - 15 - 59, 302 - 15 - 20);
    ::PostMessageW(window, WM_MOUSEMOVE, 0, start);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, start);
    ::PostMessageW(window, WM_LBUTTONUP, 0, start);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Waits without waking until the release file appears or the downloader
// ends: the script may be measuring the idle window's CPU, and the
// wineserver that counts in it serves this process too.
void WaitForRelease(const std::wstring& folder, const std::wstring& release, const ChildProcess& child)
{
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    const CUniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, child.Id()));
    const HANDLE change = ::FindFirstChangeNotificationW(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    if (!process.Valid() || change == INVALID_HANDLE_VALUE) {
        while (!Exists(release) && child.Running() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
    } else {
        const HANDLE events[] = {change, process.Get()};
        while (!Exists(release) && Clock::now() < deadline &&
               ::WaitForMultipleObjects(2, events, FALSE, 60 * 1000) != WAIT_OBJECT_0 + 1)
            ::FindNextChangeNotification(change);
    }
    if (change != INVALID_HANDLE_VALUE)
        ::FindCloseChangeNotification(change);
}

struct Lines {
    std::atomic<DWORD> processId{0};
    std::atomic<bool> any{false};
    std::atomic<bool> completed{false};
    std::atomic<Clock::rep> completedAt{0};
};

// The window takes a press only once the description and torrent are in;
// a press it took shows as a progress line within a tick or two. The time
// of the press that took is where the download begins.
bool PressUntilTaken(HWND window, const Lines& lines, Clock::time_point& pressedAt)
{
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (Clock::now() < deadline && ::IsWindow(window)) {
        pressedAt = Clock::now();
        PressStart(window);
        if (WaitFor([&] { return lines.any.load(); }, std::chrono::milliseconds(1500)))
            return true;
    }
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        Print("usage: program_bench PROGRAM FOLDER download|ready [--limit SECONDS]");
        return 2;
    }
    const std::wstring program = argv[1], folder = argv[2], mode = argv[3];
    const int limitSeconds = argc > 5 && std::wstring(argv[4]) == L"--limit" ? _wtoi(argv[5]) : 1800;
    const std::wstring release = folder + L"\\bench.release";
    _setmode(_fileno(stdout), _O_BINARY); // plain line ends for the script
    ::DeleteFileW(release.c_str());

    Lines lines;
    DebugOutputMonitor monitor([&](DWORD processId, const std::wstring& text) {
        if (processId != lines.processId || text.rfind(kLinePrefix, 0) != 0)
            return;
        const std::wstring line = text.substr(std::size(kLinePrefix) - 1);
        if (line.find(kCompletion) != std::wstring::npos && !lines.completed) {
            lines.completedAt = Clock::now().time_since_epoch().count();
            lines.completed = true;
        }
        lines.any = true;
        Print("line " + Utf8(line));
    });
    if (!monitor.Running()) {
        Print("failed: another debug viewer runs on this desktop");
        return 2;
    }

    const auto launchedAt = Clock::now();
    ChildProcess child;
    if (!child.Start(program, L"", folder)) {
        Print("failed: the downloader could not be started");
        return 2;
    }
    lines.processId = child.Id();
    const HWND window = child.WaitForWindowTitled(kWindowTitle);
    if (!window || !WaitFor([&] { return ::IsWindowVisible(window) != FALSE; })) {
        Print("failed: the downloader showed no window");
        return 2;
    }
    Print("window " + Seconds(Clock::now() - launchedAt));
    // The description and torrent come from a server on this machine: two
    // ticks of the window's 500 ms timer are plenty.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Print("ready");

    if (mode == L"download") {
        Clock::time_point pressedAt;
        if (!PressUntilTaken(window, lines, pressedAt)) {
            Print("failed: the window did not take the start press");
            return 2;
        }
        Print("pressed");
        if (!WaitFor([&] { return lines.completed.load() || !child.Running(); },
                     std::chrono::seconds(limitSeconds)) || !lines.completed) {
            Print("failed: no completion line");
            return 2;
        }
        const Clock::time_point completedAt{Clock::duration(lines.completedAt.load())};
        Print("complete " + Seconds(completedAt - pressedAt));
    }

    WaitForRelease(folder, release, child);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD code = child.WaitForExit(std::chrono::seconds(60));
    Print("exit " + std::to_string(code));
    return 0;
}

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
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kCompletion[] = L"下载完成！";

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

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Waits without waking until the release file appears or the downloader
// ends: the script may be measuring the idle window's CPU, and the
// wineserver that counts in it serves this process too.
void WaitForRelease(const std::wstring& folder, const std::wstring& release, const ProgramDriver& driver)
{
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    const CUniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, driver.Id()));
    const HANDLE change = ::FindFirstChangeNotificationW(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    if (!process.Valid() || change == INVALID_HANDLE_VALUE) {
        while (!Exists(release) && driver.Running() && Clock::now() < deadline)
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
    std::atomic<bool> completed{false};
    std::atomic<Clock::rep> completedAt{0};
};

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
        std::wstring line;
        if (processId != lines.processId || !ProgramDriver::ProgressLine(text, line))
            return;
        if (line.find(kCompletion) != std::wstring::npos && !lines.completed) {
            lines.completedAt = Clock::now().time_since_epoch().count();
            lines.completed = true;
        }
        Print("line " + Utf8(line));
    });
    if (!monitor.Running()) {
        Print("failed: another debug viewer runs on this desktop");
        return 2;
    }

    const auto launchedAt = Clock::now();
    ProgramDriver driver(monitor);
    if (!driver.Launch(program, folder)) {
        Print("failed: the downloader could not be started");
        return 2;
    }
    lines.processId = driver.Id();
    if (!driver.WaitForWindow()) {
        Print("failed: the downloader showed no window");
        return 2;
    }
    Print("window " + Seconds(Clock::now() - launchedAt));
    // The description and torrent come from a server on this machine: two
    // ticks of the window's 500 ms timer are plenty.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Print("ready");

    // The press the window took is where the download begins.
    if (mode == L"download") {
        if (!driver.PressStart()) {
            Print("failed: the window did not take the start press");
            return 2;
        }
        Print("pressed");
        if (!WaitFor([&] { return lines.completed.load() || !driver.Running(); },
                     std::chrono::seconds(limitSeconds)) || !lines.completed) {
            Print("failed: no completion line");
            return 2;
        }
        const Clock::time_point completedAt{Clock::duration(lines.completedAt.load())};
        Print("complete " + Seconds(completedAt - driver.PressedAt()));
    }

    WaitForRelease(folder, release, driver);
    ::PostMessageW(driver.Window(), WM_CLOSE, 0, 0);
    const DWORD code = driver.WaitForExit(std::chrono::seconds(60));
    Print("exit " + std::to_string(code));
    return 0;
}

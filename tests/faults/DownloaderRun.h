#pragma once

#include "e2e/DebugOutputMonitor.h"
#include "support/ChildProcess.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// One run of the program as shipped, driven as a player drives it: started
// from its folder, its big button pressed, its message boxes answered, and
// what its window shows read from the lines it writes to the debug output.
class DownloaderRun {
public:
    explicit DownloaderRun(const DebugOutputMonitor& monitor) : m_monitor(monitor) {}

    // Starts `program` in its folder (with the usage reports going to the
    // tests' collector) and waits for its window to show.
    bool Start(const std::wstring& program, const std::wstring& folder);
    // Presses start until the window shows the download or asks the player
    // something.
    bool PressStart();
    // One click on the spot shared by start, pause and resume.
    void PressBigButton() const;

    // The lines the window has shown, newest last, as "N% text".
    std::vector<std::wstring> Lines() const;
    std::wstring LastLine() const;
    bool WaitForLine(const std::function<bool(const std::wstring&)>& wanted,
                     std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
    bool WaitForPercent(int percent, std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
    // Every line shown, for a failure message.
    std::string Shown() const;

    // A message box of the program with this caption, once it shows.
    HWND WaitForMessageBox(const wchar_t* caption, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

    void Kill() const { m_process.Kill(); }
    DWORD WaitForExit(std::chrono::milliseconds limit) const { return m_process.WaitForExit(limit); }

private:
    const DebugOutputMonitor& m_monitor;
    ChildProcess m_process;
    HWND m_window = nullptr;
};

// The text of a message box, and its OK button pressed.
std::wstring MessageBoxText(HWND box);
void PressOk(HWND box);

// The percentage at the head of a shown line.
int PercentOf(const std::wstring& line);

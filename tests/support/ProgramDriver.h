#pragma once

#include "support/ChildProcess.h"
#include "support/DebugOutputMonitor.h"
#include "support/WindowLayout.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// The program as a player meets it: started from its folder, its main
// window found by its title, its buttons pressed by name where the skin's
// layout puts them, and what the window shows read from the progress lines
// it writes to the debug output ("Korvane: N% text").
class ProgramDriver {
public:
    using Clock = std::chrono::steady_clock;

    // The monitor collects the lines; it must outlive the driver.
    explicit ProgramDriver(const DebugOutputMonitor& monitor) : m_monitor(monitor) {}

    // A variable set for the program (and not for the caller) when it starts.
    void SetEnvironment(const std::wstring& name, const std::wstring& value);
    // Starts `program` in `folder`; true once its window is shown.
    bool Start(const std::wstring& program, const std::wstring& folder)
    {
        return Launch(program, folder) && WaitForWindow();
    }
    // Only starts the process, for copies started at the same moment.
    bool Launch(const std::wstring& program, const std::wstring& folder);
    bool WaitForWindow(std::chrono::milliseconds limit = std::chrono::seconds(60));

    // One click on a button of the main window by its name in the layout
    // ("btn_start", "btn_pause", "btn_resume"...); false when the layout of
    // the program's skin has no such button.
    bool Press(const std::wstring& button);
    // Presses start until the window has taken it: it shows a line, or it
    // is disabled because a message box the press raised is up.
    bool PressStart(std::chrono::milliseconds limit = std::chrono::seconds(240));
    // When the press the window took was made.
    Clock::time_point PressedAt() const { return m_pressedAt; }

    // The lines the window has shown, newest last, as "N% text".
    std::vector<std::wstring> Lines() const;
    std::wstring LastLine() const;
    bool WaitForLine(const std::function<bool(const std::wstring&)>& wanted,
                     std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
    bool WaitForPercent(int percent, std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
    // Waits until the last line shows `text`, whatever its percentage.
    bool WaitUntilShowing(const std::wstring& text, std::chrono::milliseconds limit = std::chrono::seconds(90)) const;
    // When the window first showed `line`; the clock's epoch when it never did.
    Clock::time_point TimeOf(const std::wstring& line) const;
    // Everything the program wrote to the debug output, for a failure message.
    std::string Shown() const;

    HWND Window() const { return m_window; }
    DWORD Id() const { return m_process.Id(); }
    bool Running() const { return m_process.Running(); }
    // The window still answers messages: its thread is not stuck.
    bool Responsive() const;
    void Kill() const { m_process.Kill(); }
    // The exit code, or STILL_ACTIVE when the program has not ended within `limit`.
    DWORD WaitForExit(std::chrono::milliseconds limit) const { return m_process.WaitForExit(limit); }
    // A message box of the program with this caption, once it shows.
    HWND WaitForMessageBox(const wchar_t* caption, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

    // The line a text written to the debug output shows; false for any
    // other text.
    static bool ProgressLine(const std::wstring& text, std::wstring& line);

private:
    const DebugOutputMonitor& m_monitor;
    std::vector<std::pair<std::wstring, std::wstring>> m_environment;
    std::wstring m_program;
    WindowLayout m_layout; // read at the first press
    ChildProcess m_process;
    DWORD m_startError = 0;
    HWND m_window = nullptr;
    Clock::time_point m_pressedAt;
};

// The percentage at the head of a shown line, and the text after it.
int PercentOf(const std::wstring& line);
std::wstring TextOf(const std::wstring& line);

// The text of a message box, and its OK button pressed.
std::wstring MessageBoxText(HWND box);
void PressOk(HWND box);

// Top-level windows titled as the program's main window, of any process.
int CountProgramWindows();

#pragma once

#include "support/ChildProcess.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

// The program as shipped (its usage reports going to the fault server),
// started and used as a player does: it is watched through the lines its
// window writes to the debug output ("Korvane: N% text") and driven by
// clicks on its one big button, which is start, pause or resume as the
// window shows.
class PlayerProgram {
public:
    PlayerProgram(std::wstring exePath, std::wstring workingFolder);

    // Starts the program; true once its window is shown.
    bool Start() { return Launch() && WaitForWindow(); }
    // Only starts the process, for copies started at the same moment.
    bool Launch();
    bool WaitForWindow();
    void PressMainButton() const;
    // Pressed twice: pause, then resume, which starts a failed download over.
    void PressPauseThenResume() const;

    // The texts the window has shown, in order, without their percentage.
    std::vector<std::wstring> ShownTexts() const;
    // Waits until the last text shown is `text`.
    bool WaitUntilShowing(const std::wstring& text, std::chrono::seconds limit = std::chrono::seconds(90)) const;
    // Everything the window showed, for a failure message.
    std::string Transcript() const;

    bool Running() const { return m_process.Running(); }
    // The window still answers messages: its thread is not stuck.
    bool Responsive() const;
    DWORD WaitForExit(std::chrono::seconds limit) const { return m_process.WaitForExit(limit); }
    HWND Window() const { return m_window; }
    DWORD Id() const { return m_process.Id(); }

private:
    std::vector<std::wstring> DebugTexts() const;

    std::wstring m_exePath;
    std::wstring m_workingFolder;
    ChildProcess m_process;
    HWND m_window = nullptr;
};

// Top-level windows titled as the program's main window, of any process.
int CountProgramWindows();

#pragma once

#include "util/UniqueHandle.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

// Polls `condition` until it holds or `limit` has passed; no fixed sleeps.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(60));

// The Windows path under Wine of a path on the build machine (drive Z: is
// the Unix root in every Wine prefix).
std::wstring WindowsPathOfHostPath(const std::string& hostPath);

// A program started by a test; a process still running when the object goes
// is ended, so no test leaves one behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;

    bool Start(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& workingFolder);
    DWORD Id() const { return m_id; }
    bool Running() const;

    // Ends the process at once, as a crash or the task manager would, and
    // waits until it is gone.
    void Kill() const;

    // The exit code, or STILL_ACTIVE when it has not ended within `limit`.
    DWORD WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

    // The process's top-level window with this title, hidden or not.
    HWND FindWindowTitled(const wchar_t* title) const;
    HWND WaitForWindowTitled(const wchar_t* title,
                             std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

private:
    CUniqueHandle m_process;
    DWORD m_id = 0;
};

#include "support/ChildProcess.h"

#include <thread>
#include <vector>

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::wstring WindowsPathOfHostPath(const std::string& hostPath)
{
    std::wstring path = L"Z:";
    for (char c : hostPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

ChildProcess::~ChildProcess()
{
    if (Running())
        Kill();
}

void ChildProcess::Kill() const
{
    ::TerminateProcess(m_process.Get(), 1);
    ::WaitForSingleObject(m_process.Get(), 10000);
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workingFolder)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingFolder.c_str(), &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
    return true;
}

bool ChildProcess::Running() const
{
    return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::WaitForExit(std::chrono::milliseconds limit) const
{
    if (::WaitForSingleObject(m_process.Get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t title[256] = {};
    ::GetWindowTextW(window, title, 256);
    if (owner == search->processId && std::wstring(title) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
} // namespace

HWND ChildProcess::FindWindowTitled(const wchar_t* title) const
{
    WindowSearch search{m_id, title, nullptr};
    ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ChildProcess::WaitForWindowTitled(const wchar_t* title, std::chrono::milliseconds limit) const
{
    HWND window = nullptr;
    WaitFor([&] { return (window = FindWindowTitled(title)) != nullptr; }, limit);
    return window;
}

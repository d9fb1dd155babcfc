#include "app/SingleInstance.h"

CSingleInstance::Result CSingleInstance::Acquire(const std::wstring& mutexName)
{
    CUniqueHandle mutex(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    const DWORD error = ::GetLastError();
    if (!mutex)
        return Result::Failed;
    if (error == ERROR_ALREADY_EXISTS)
        return Result::AlreadyRunning;
    m_mutex = mutex.Release();
    return Result::Acquired;
}

bool CSingleInstance::ActivateRunningCopy(const wchar_t* windowTitle)
{
    HWND window = ::FindWindowW(nullptr, windowTitle);
    if (!window)
        return false;
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(window);
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SetFocus(window);
    return true;
}

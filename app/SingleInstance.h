#pragma once

#include "util/UniqueHandle.h"

#include <string>

// One running copy per engine port: the first start owns a named mutex for
// the life of the process, a later start finds it taken and hands over to
// the running copy's window. The mutex is never closed: only the end of the
// process lets go of it, so a start during a slow exit still hands over
// instead of running a second copy on the same files and ports.
class CSingleInstance {
public:
    enum class Result { Acquired, AlreadyRunning, Failed };

    Result Acquire(const std::wstring& mutexName);

    // Brings the running copy's top-level window, found by its title, to the
    // front and shows it, even when that copy was started hidden.
    static bool ActivateRunningCopy(const wchar_t* windowTitle);

private:
    HANDLE m_mutex = nullptr;
};

#pragma once

#include "util/UniqueHandle.h"

#include <windows.h>

// Owns at most one worker thread at a time. The thread is created suspended
// so that a derived class can finish preparing its run before it starts.
class CSingleThreadManager {
public:
    CSingleThreadManager() = default;
    virtual ~CSingleThreadManager();
    CSingleThreadManager(const CSingleThreadManager&) = delete;
    CSingleThreadManager& operator=(const CSingleThreadManager&) = delete;

    // False, changing nothing, while the previous thread is still running.
    virtual BOOL Create(LONG parameter, LPTHREAD_START_ROUTINE procedure);
    virtual BOOL Resume();
    virtual void Close() { Stop(); }
    // Asks the thread to end and waits for it, however long that takes.
    virtual void Stop();
    // Progress notifications of the worker; the base ignores them.
    virtual BOOL OnStatus(LONG /*code*/) { return TRUE; }
    virtual void SignalStop() {}

    // True when no thread runs, or once it has ended within `milliseconds`.
    bool WaitForThread(DWORD milliseconds) const;

    LONG Parameter() const { return m_parameter; }

protected:
    // The destructor of a derived class joins the thread itself, before the
    // members the thread uses are gone.
    void JoinThread();

private:
    CUniqueHandle m_thread;
    DWORD m_threadId = 0;
    LONG m_parameter = 0;
};

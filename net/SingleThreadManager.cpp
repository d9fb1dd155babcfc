#include "net/SingleThreadManager.h"

CSingleThreadManager::~CSingleThreadManager() { JoinThread(); }

BOOL CSingleThreadManager::Create(LONG parameter, LPTHREAD_START_ROUTINE procedure)
{
    if (m_thread) {
        if (::WaitForSingleObject(m_thread.Get(), 0) != WAIT_OBJECT_0)
            return FALSE;
        Stop();
    }
    m_parameter = parameter;
    m_thread.Reset(::CreateThread(nullptr, 0, procedure, this, CREATE_SUSPENDED, &m_threadId));
    if (!m_thread)
        m_threadId = 0;
    return m_thread.Valid();
}

BOOL CSingleThreadManager::Resume()
{
    return ::ResumeThread(m_thread.Get()) != static_cast<DWORD>(-1);
}

void CSingleThreadManager::Stop()
{
    if (!m_thread)
        return;
    SignalStop();
    JoinThread();
}

bool CSingleThreadManager::WaitForThread(DWORD milliseconds) const
{
    return !m_thread || ::WaitForSingleObject(m_thread.Get(), milliseconds) == WAIT_OBJECT_0;
}

void CSingleThreadManager::JoinThread()
{
    if (!m_thread)
        return;
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
    m_threadId = 0;
}

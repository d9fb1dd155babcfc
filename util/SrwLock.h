#pragma once

#include <windows.h>

// A slim reader/writer lock and a condition variable on it, both Windows'
// own: they wait inside the process, where the C++ runtime's mutexes under
// MinGW's posix threads are kernel objects, a system call (and under Wine a
// server request) for every wait and wake.
class CSrwLock {
public:
    CSrwLock() = default;
    CSrwLock(const CSrwLock&) = delete;
    CSrwLock& operator=(const CSrwLock&) = delete;

    void LockExclusive() { ::AcquireSRWLockExclusive(&m_lock); }
    void UnlockExclusive() { ::ReleaseSRWLockExclusive(&m_lock); }
    void LockShared() { ::AcquireSRWLockShared(&m_lock); }
    void UnlockShared() { ::ReleaseSRWLockShared(&m_lock); }
    SRWLOCK* Native() { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

// Holds a lock exclusively for the rest of the scope; `Unlocked` lets go of
// it for a stretch of work that must not hold it.
class CExclusiveLock {
public:
    explicit CExclusiveLock(CSrwLock& lock) : m_lock(lock) { m_lock.LockExclusive(); }
    ~CExclusiveLock() { m_lock.UnlockExclusive(); }
    CExclusiveLock(const CExclusiveLock&) = delete;
    CExclusiveLock& operator=(const CExclusiveLock&) = delete;

    CSrwLock& Lock() { return m_lock; }

    template <typename Work>
    auto Unlocked(Work work)
    {
        struct SRelock {
            CSrwLock& lock;
            ~SRelock() { lock.LockExclusive(); }
        } relock{m_lock};
        m_lock.UnlockExclusive();
        return work();
    }

private:
    CSrwLock& m_lock;
};

// Holds a lock shared for the rest of the scope.
class CSharedLock {
public:
    explicit CSharedLock(CSrwLock& lock) : m_lock(lock) { m_lock.LockShared(); }
    ~CSharedLock() { m_lock.UnlockShared(); }
    CSharedLock(const CSharedLock&) = delete;
    CSharedLock& operator=(const CSharedLock&) = delete;

private:
    CSrwLock& m_lock;
};

class CConditionVariable {
public:
    CConditionVariable() = default;
    CConditionVariable(const CConditionVariable&) = delete;
    CConditionVariable& operator=(const CConditionVariable&) = delete;

    // Waits, with `held` held exclusively, until `ready()` is true.
    template <typename Ready>
    void Wait(CExclusiveLock& held, Ready ready)
    {
        while (!ready())
            ::SleepConditionVariableSRW(&m_variable, held.Lock().Native(), INFINITE, 0);
    }
    void WakeOne() { ::WakeConditionVariable(&m_variable); }
    void WakeAll() { ::WakeAllConditionVariable(&m_variable); }

private:
    CONDITION_VARIABLE m_variable = CONDITION_VARIABLE_INIT;
};

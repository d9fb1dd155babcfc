#pragma once

#include "util/CriticalSection.h"
#include "util/UniqueHandle.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <vector>

// What WinINet may still touch of a fetch after the fetch has given up on a
// request: the events its status callback sets, the handle it reported and
// the buffer a pending read fills. A pending operation cannot be cancelled,
// so this state lives on, reference counted, until WinINet has let go: the
// fetcher holds one reference, every request handle WinINet reported holds
// one until its closing notification, and an open in flight holds one until
// its completion.
class CRequestContext {
public:
    // In this order: a wait on all of them ends at the lowest signalled one.
    enum Event { kCompleted, kClosing, kAbort, kShutdown, kEventCount };
    static constexpr DWORD kChunkBytes = 1024;

    // The new context holds the caller's reference.
    static CRequestContext* Create();
    void AddRef();
    void Release();

    void Set(Event event) { ::SetEvent(m_events[event].Get()); }
    void Reset(Event event) { ::ResetEvent(m_events[event].Get()); }
    bool IsSet(Event event) const;
    // Both wait without a time limit.
    void WaitFor(Event event) const;
    Event WaitForAny() const;

    // The handle last reported as created.
    HINTERNET CreatedHandle() const { return m_created.load(); }

    // Brackets InternetOpenUrlW. `EndOpen` is for an open that did not go
    // pending; `AbandonOpen` for a pending open the worker stops waiting
    // for: its handle is closed now or as soon as WinINet reports it.
    void BeginOpen();
    void EndOpen();
    void AbandonOpen();
    bool OpenInFlight() const { return m_opening.load(); }

    // The record and buffer of the current read; WinINet fills them later
    // when the read goes pending.
    INTERNET_BUFFERSA& PrepareRead(DWORD bytes);
    const char* ReadBytes() const { return m_chunk; }

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID information, DWORD length);

private:
    CRequestContext();
    ~CRequestContext() = default;
    void OnHandleCreated(HINTERNET handle);
    void OnHandleClosing(HINTERNET handle);
    void OnRequestComplete(const INTERNET_ASYNC_RESULT& result);
    void CloseAbandonedHandle();

    CUniqueHandle m_events[kEventCount];
    std::atomic<long> m_references{1};
    std::atomic<HINTERNET> m_created{nullptr};
    std::atomic<bool> m_opening{false};
    std::atomic<bool> m_openAbandoned{false};
    CCriticalSection m_handlesLock;
    std::vector<HINTERNET> m_liveHandles; // reported, not yet closing
    INTERNET_BUFFERSA m_record{};
    char m_chunk[kChunkBytes];
};

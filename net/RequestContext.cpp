#include "net/RequestContext.h"

#include <algorithm>

CRequestContext::CRequestContext()
{
    for (auto& event : m_events)
        event.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
}

CRequestContext* CRequestContext::Create() { return new CRequestContext(); }

void CRequestContext::AddRef() { ++m_references; }

void CRequestContext::Release()
{
    if (--m_references == 0)
        delete this;
}

bool CRequestContext::IsSet(Event event) const
{
    return ::WaitForSingleObject(m_events[event].Get(), 0) == WAIT_OBJECT_0;
}

void CRequestContext::WaitFor(Event event) const
{
    ::WaitForSingleObject(m_events[event].Get(), INFINITE);
}

CRequestContext::Event CRequestContext::WaitForAny() const
{
    HANDLE events[kEventCount];
    for (int i = 0; i < kEventCount; ++i)
        events[i] = m_events[i].Get();
    const DWORD result = ::WaitForMultipleObjects(kEventCount, events, FALSE, INFINITE);
    if (result < WAIT_OBJECT_0 + kEventCount)
        return static_cast<Event>(result - WAIT_OBJECT_0);
    return kAbort; // the wait itself failed: treat it as being told to stop
}

void CRequestContext::BeginOpen()
{
    AddRef();
    m_created = nullptr;
    m_openAbandoned = false;
    m_opening = true;
}

void CRequestContext::EndOpen()
{
    if (m_opening.exchange(false))
        Release();
}

void CRequestContext::AbandonOpen()
{
    m_openAbandoned = true;
    CloseAbandonedHandle();
}

void CRequestContext::CloseAbandonedHandle()
{
    if (HINTERNET handle = m_created.exchange(nullptr))
        ::InternetCloseHandle(handle);
}

INTERNET_BUFFERSA& CRequestContext::PrepareRead(DWORD bytes)
{
    m_record = INTERNET_BUFFERSA{};
    m_record.dwStructSize = sizeof(m_record);
    m_record.lpvBuffer = m_chunk;
    m_record.dwBufferLength = std::min(bytes, kChunkBytes);
    return m_record;
}

void CALLBACK CRequestContext::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                              LPVOID information, DWORD length)
{
    auto* self = reinterpret_cast<CRequestContext*>(context);
    if (!self || !information)
        return;
    switch (status) {
    case INTERNET_STATUS_HANDLE_CREATED:
        // The record's first field is the new handle; some WinINet versions
        // pass just that handle.
        if (length >= sizeof(HINTERNET))
            self->OnHandleCreated(*static_cast<const HINTERNET*>(information));
        break;
    case INTERNET_STATUS_HANDLE_CLOSING:
        self->OnHandleClosing(handle);
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        if (length >= sizeof(INTERNET_ASYNC_RESULT))
            self->OnRequestComplete(*static_cast<const INTERNET_ASYNC_RESULT*>(information));
        break;
    default:
        break;
    }
}

void CRequestContext::OnHandleCreated(HINTERNET handle)
{
    if (!handle)
        return;
    {
        CCriticalSectionLock lock(m_handlesLock);
        if (std::find(m_liveHandles.begin(), m_liveHandles.end(), handle) != m_liveHandles.end())
            return;
        m_liveHandles.push_back(handle);
    }
    AddRef();
    m_created = handle;
}

void CRequestContext::OnHandleClosing(HINTERNET handle)
{
    Set(kClosing);
    bool wasLive = false;
    {
        CCriticalSectionLock lock(m_handlesLock);
        auto found = std::find(m_liveHandles.begin(), m_liveHandles.end(), handle);
        if (found != m_liveHandles.end()) {
            m_liveHandles.erase(found);
            wasLive = true;
        }
    }
    if (wasLive)
        Release(); // may be the last reference: nothing may follow
}

void CRequestContext::OnRequestComplete(const INTERNET_ASYNC_RESULT& result)
{
    const bool open = m_opening.exchange(false);
    const bool failed = result.dwError != ERROR_SUCCESS;
    if (open) {
        // The completion of an open names the request handle; it is known
        // before the worker wakes. One nobody waits for any more is closed.
        const auto handle = reinterpret_cast<HINTERNET>(result.dwResult);
        if (!failed && handle) {
            OnHandleCreated(handle);
            m_created = handle;
        }
        if (m_openAbandoned)
            CloseAbandonedHandle();
    }
    Set(failed ? kAbort : kCompleted);
    if (open)
        Release(); // may be the last reference: nothing may follow
}

#include "net/AsyncGetHttpFile.h"

#include "net/RequestContext.h"
#include "util/AtomicFileWrite.h"
#include "util/DirectoryTree.h"

#include <cwchar>

namespace {

constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

// Progress notification codes of the worker.
constexpr LONG kStatusFailed = 0;
constexpr LONG kStatusDone = 1;
constexpr LONG kStatusRead = 2;
constexpr LONG kStatusAccepted = 3;

void CopyCut(wchar_t* target, const wchar_t* source)
{
    const size_t length = source ? wcsnlen(source, CAsyncGetHttpFile::kMaxTextLength) : 0;
    wmemcpy(target, source ? source : L"", length);
    target[length] = L'\0';
}

} // namespace

CAsyncGetHttpFile::CAsyncGetHttpFile(DWORD maxBodyBytes)
    : m_maxBodyBytes(maxBodyBytes), m_context(CRequestContext::Create())
{
}

CAsyncGetHttpFile::~CAsyncGetHttpFile()
{
    Stop();
    ReleaseSession();
    m_context->Release();
}

BOOL CAsyncGetHttpFile::Start(const wchar_t* url, const wchar_t* path)
{
    // A thread is made first so that a refused start leaves the flags of the
    // run still under way alone.
    if (!Create(0, &CAsyncGetHttpFile::WorkerProcedure))
        return FALSE;
    {
        CCriticalSectionLock lock(m_lock);
        m_finished = false;
        m_succeeded = TRUE;
    }
    m_request = nullptr;
    CopyCut(m_url, url);
    if (path)
        CopyCut(m_path, path);
    m_rangeStart = 0;
    m_statusCode = 0;
    m_contentLength = 0;
    m_context->Reset(CRequestContext::kClosing);
    m_context->Reset(CRequestContext::kAbort);
    return Resume();
}

void CAsyncGetHttpFile::Shutdown()
{
    Stop();
    ReleaseSession();
    std::vector<char>().swap(m_body);
}

void CAsyncGetHttpFile::SignalStop() { m_context->Set(CRequestContext::kAbort); }

CAsyncGetHttpFile::Outcome CAsyncGetHttpFile::ReadOutcome()
{
    CCriticalSectionLock lock(m_lock);
    return Outcome{m_finished, m_succeeded != FALSE};
}

DWORD WINAPI CAsyncGetHttpFile::WorkerProcedure(LPVOID self)
{
    static_cast<CAsyncGetHttpFile*>(self)->Run();
    return 0;
}

DWORD WINAPI CAsyncGetHttpFile::CallbackThreadProcedure(LPVOID self)
{
    auto* fetcher = static_cast<CAsyncGetHttpFile*>(self);
    ::InternetSetStatusCallbackW(fetcher->m_session, &CRequestContext::StatusCallback);
    fetcher->m_context->Set(CRequestContext::kCompleted);
    fetcher->m_context->WaitFor(CRequestContext::kShutdown);
    return 0;
}

void CAsyncGetHttpFile::Run()
{
    const bool succeeded =
        (m_session || OpenSession()) && OpenRequest() && ReadBody() && Save();
    CloseRequest();
    OnStatus(succeeded ? kStatusDone : kStatusFailed);
    Finish(succeeded);
}

bool CAsyncGetHttpFile::OpenSession()
{
    m_session = ::InternetOpenW(m_userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                INTERNET_FLAG_ASYNC);
    if (!m_session)
        return false;
    m_context->Reset(CRequestContext::kShutdown);
    m_context->Reset(CRequestContext::kCompleted);
    m_callbackThread.Reset(::CreateThread(nullptr, 0, &CAsyncGetHttpFile::CallbackThreadProcedure,
                                          this, 0, &m_callbackThreadId));
    if (!m_callbackThread)
        return false;
    m_context->WaitFor(CRequestContext::kCompleted);
    return true;
}

bool CAsyncGetHttpFile::OpenRequest()
{
    wchar_t header[64];
    swprintf(header, 64, L"Range: bytes=%u-\r\n", static_cast<unsigned>(m_rangeStart));
    m_context->Reset(CRequestContext::kCompleted);
    m_context->BeginOpen();
    HINTERNET request = ::InternetOpenUrlW(m_session, m_url, header, static_cast<DWORD>(-1),
                                           kOpenFlags, reinterpret_cast<DWORD_PTR>(m_context));
    if (request) {
        m_context->EndOpen();
    } else {
        if (::GetLastError() != ERROR_IO_PENDING) {
            m_context->EndOpen();
            return false;
        }
        if (m_context->WaitForAny() != CRequestContext::kCompleted) {
            m_context->AbandonOpen();
            return false;
        }
        request = m_context->CreatedHandle();
    }
    m_request = request;
    return m_request && AcceptResponse();
}

bool CAsyncGetHttpFile::AcceptResponse()
{
    DWORD size = sizeof(m_statusCode);
    if (!::HttpQueryInfoW(m_request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                          &m_statusCode, &size, nullptr))
        return false;
    if (m_statusCode != 200 && m_statusCode != 206)
        return false;
    size = sizeof(m_contentLength);
    m_lengthKnown = ::HttpQueryInfoW(m_request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                     &m_contentLength, &size, nullptr) != FALSE;
    if (!m_lengthKnown)
        m_contentLength = 0;
    if (m_contentLength > m_maxBodyBytes)
        return false;
    m_body.clear();
    m_body.reserve(m_lengthKnown ? m_contentLength : CRequestContext::kChunkBytes);
    OnStatus(kStatusAccepted);
    return true;
}

// With a Content-Length the body must arrive whole; without one it is read
// to its end, up to the largest body this fetcher holds. An empty body is a
// failure.
bool CAsyncGetHttpFile::ReadBody()
{
    if (m_lengthKnown && m_contentLength == 0)
        return false;
    for (;;) {
        const DWORD wanted = m_lengthKnown
                                 ? m_contentLength - static_cast<DWORD>(m_body.size())
                                 : CRequestContext::kChunkBytes;
        DWORD received = 0;
        if (!ReadChunk(wanted, received))
            return false;
        const char* bytes = m_context->ReadBytes();
        m_body.insert(m_body.end(), bytes, bytes + received);
        if (m_body.size() > m_maxBodyBytes)
            return false;
        const double percent =
            m_lengthKnown ? static_cast<double>(m_body.size()) / m_contentLength * 100 : 0;
        OnStatus(static_cast<LONG>((static_cast<DWORD>(percent) & 0xFFFF) << 16 | kStatusRead));
        if (received == 0 || (m_lengthKnown && m_body.size() >= m_contentLength))
            break;
    }
    return !m_body.empty() && (!m_lengthKnown || m_body.size() == m_contentLength);
}

bool CAsyncGetHttpFile::ReadChunk(DWORD wanted, DWORD& received)
{
    INTERNET_BUFFERSA& record = m_context->PrepareRead(wanted);
    m_context->Reset(CRequestContext::kCompleted);
    if (::InternetReadFileExA(m_request, &record, IRF_ASYNC, reinterpret_cast<DWORD_PTR>(m_context))) {
        if (m_context->IsSet(CRequestContext::kAbort)) {
            m_context->Reset(CRequestContext::kAbort);
            return false;
        }
    } else {
        if (::GetLastError() != ERROR_IO_PENDING)
            return false;
        if (m_context->WaitForAny() != CRequestContext::kCompleted)
            return false;
    }
    received = record.dwBufferLength;
    return received <= wanted && received <= CRequestContext::kChunkBytes;
}

// The body replaces the destination in one step, so a failed run never
// touches the file and a reader never sees half of one.
bool CAsyncGetHttpFile::Save() const
{
    if (m_body.empty() || (m_bodyCheck && !m_bodyCheck(m_body.data(), m_body.size())))
        return false;
    if (m_path[0] == L'\0')
        return true;
    const std::wstring path = m_path;
    const size_t slash = path.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    if (!folder.empty() && ::GetDriveTypeW(folder.c_str()) != DRIVE_FIXED)
        CreateFolderOnDriveOrShare(folder); // creating the file decides in the end
    return WriteFileAtomically(path, m_body.data(), m_body.size());
}

// A completion that arrives late is consumed; closing, abort or shutdown end
// the wait.
void CAsyncGetHttpFile::CloseRequest()
{
    if (!m_request)
        return;
    if (::InternetCloseHandle(m_request) && ::GetLastError() != ERROR_INVALID_HANDLE) {
        while (m_context->WaitForAny() == CRequestContext::kCompleted)
            m_context->Reset(CRequestContext::kCompleted);
    }
    m_request = nullptr;
}

void CAsyncGetHttpFile::Finish(bool succeeded)
{
    CCriticalSectionLock lock(m_lock);
    m_succeeded = succeeded ? TRUE : FALSE;
    m_finished = true;
}

void CAsyncGetHttpFile::ReleaseSession()
{
    if (m_callbackThread) {
        m_context->Set(CRequestContext::kShutdown);
        ::WaitForSingleObject(m_callbackThread.Get(), INFINITE);
        m_callbackThread.Reset();
        m_callbackThreadId = 0;
    }
    if (m_session) {
        // An open still in flight reports its completion through the
        // session's callback, and its reference to the context goes then.
        if (!m_context->OpenInFlight())
            ::InternetSetStatusCallbackW(m_session, nullptr);
        ::InternetCloseHandle(m_session);
        m_session = nullptr;
    }
}

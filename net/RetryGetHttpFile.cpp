#include "net/RetryGetHttpFile.h"

void CRetryGetHttpFile::Start(const std::wstring& url, const std::wstring& path, DWORD maxAttempts,
                              BodyCheck check)
{
    m_handled = false;
    if (m_fetcher)
        return;
    m_url = url;
    m_path = path;
    m_bodyCheck = check;
    ++m_attempts;
    m_maxAttempts = maxAttempts;
    if (m_attempts <= m_maxAttempts)
        StartAttempt();
}

void CRetryGetHttpFile::Poll()
{
    if (!m_fetcher)
        return;
    const CAsyncGetHttpFile::Outcome outcome = m_fetcher->ReadOutcome();
    if (!outcome.finished && ::GetTickCount() - m_attemptStart <= m_attemptLimitMs)
        return;
    m_fetcher->Shutdown();
    m_fetcher.reset();
    // An attempt stopped at the time limit has not succeeded, whatever its
    // flags said while it ran.
    if (outcome.finished && outcome.succeeded) {
        m_succeeded = true;
        return;
    }
    ++m_attempts;
    m_handled = false;
    if (m_attempts > m_maxAttempts)
        return;
    StartAttempt();
}

void CRetryGetHttpFile::StartAttempt()
{
    m_fetcher = std::make_unique<CAsyncGetHttpFile>();
    m_fetcher->SetBodyCheck(m_bodyCheck);
    if (m_fetcher->Start(m_url.c_str(), m_path.c_str()))
        m_attemptStart = ::GetTickCount();
}

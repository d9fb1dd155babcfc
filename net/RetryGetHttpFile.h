#pragma once

#include "net/AsyncGetHttpFile.h"

#include <windows.h>

#include <memory>
#include <string>

// A fetch of up to a maximum number of attempts, one CAsyncGetHttpFile at a
// time, each with a time limit. The owner calls `Poll` periodically while
// `m_handled` is false; once `m_succeeded` is true or `m_fetcher` is null
// the job has ended and the owner sets `m_handled`.
class CRetryGetHttpFile {
public:
    static constexpr DWORD kDefaultAttemptLimitMs = 60000;

    explicit CRetryGetHttpFile(DWORD attemptLimitMs = kDefaultAttemptLimitMs)
        : m_attemptLimitMs(attemptLimitMs)
    {
    }

    // Does nothing but clear `m_handled` while an attempt is under way. A
    // body that `check` refuses fails its attempt.
    void Start(const std::wstring& url, const std::wstring& path, DWORD maxAttempts, BodyCheck check = nullptr);
    // Ends an attempt that finished or ran out of time, and starts the next
    // one after a failure while attempts remain.
    void Poll();

    std::unique_ptr<CAsyncGetHttpFile> m_fetcher;
    DWORD m_attempts = 0; // attempts started, never reset
    DWORD m_attemptStart = 0;
    std::wstring m_url;
    std::wstring m_path;
    DWORD m_maxAttempts = 0;
    BodyCheck m_bodyCheck = nullptr;
    bool m_succeeded = false;
    bool m_handled = true;

private:
    void StartAttempt();

    DWORD m_attemptLimitMs;
};

#pragma once

#include "net/BodyCheck.h"
#include "net/SingleThreadManager.h"
#include "util/CriticalSection.h"
#include "util/UniqueHandle.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

class CRequestContext;

// Fetches one URL on a worker thread with WinINet in asynchronous mode and
// keeps the body in memory; when a destination is given, the body replaces
// that file at the end. The owner polls the outcome with `ReadOutcome`;
// nothing calls back into it.
class CAsyncGetHttpFile : public CSingleThreadManager {
public:
    // Bodies are held in memory whole; a larger one fails.
    static constexpr DWORD kDefaultMaxBodyBytes = 64u << 20;
    static constexpr size_t kMaxTextLength = 1023; // longer URLs and paths are cut

    explicit CAsyncGetHttpFile(DWORD maxBodyBytes = kDefaultMaxBodyBytes);
    ~CAsyncGetHttpFile() override;

    // False when the previous run is still under way or no thread could be
    // made. A null `path` keeps the destination of the previous run.
    BOOL Start(const wchar_t* url, const wchar_t* path);
    // Set before Start: a body the check refuses is not saved, and the run fails.
    void SetBodyCheck(BodyCheck check) { m_bodyCheck = check; }
    // Stops the run and releases the session; the object may be destroyed
    // afterwards.
    void Shutdown();
    void SignalStop() override;

    struct Outcome {
        bool finished;
        bool succeeded;
    };
    Outcome ReadOutcome();

    // The body of a finished, successful run: exactly the bytes received.
    const std::vector<char>& Body() const { return m_body; }
    const wchar_t* Url() const { return m_url; }
    const wchar_t* DestinationPath() const { return m_path; }

private:
    static DWORD WINAPI WorkerProcedure(LPVOID self);
    static DWORD WINAPI CallbackThreadProcedure(LPVOID self);
    void Run();
    bool OpenSession();
    bool OpenRequest();
    bool AcceptResponse();
    bool ReadBody();
    bool ReadChunk(DWORD wanted, DWORD& received);
    bool Save() const;
    void CloseRequest();
    void Finish(bool succeeded);
    void ReleaseSession();

    const DWORD m_maxBodyBytes;
    BodyCheck m_bodyCheck = nullptr;
    CRequestContext* m_context;
    std::vector<char> m_body;
    HINTERNET m_session = nullptr;
    wchar_t m_userAgent[1024 + 1] = {};
    CUniqueHandle m_callbackThread;
    DWORD m_callbackThreadId = 0;
    HINTERNET m_request = nullptr;
    wchar_t m_url[kMaxTextLength + 1] = {};
    wchar_t m_path[kMaxTextLength + 1] = {};
    DWORD m_rangeStart = 0;
    DWORD m_statusCode = 0;
    DWORD m_contentLength = 0;
    bool m_lengthKnown = false;
    CCriticalSection m_lock; // guards the two flags below only
    bool m_finished = false;
    BOOL m_succeeded = TRUE;
};

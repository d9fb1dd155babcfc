#pragma once

#include "net/PublisherKey.h"
#include "net/RetryGetHttpFile.h"

#include <windows.h>

#include <string>

// A file fetched in the background, attempt after attempt, and, when the
// program knows its publisher's key, the file's detached signature fetched
// before it ("<address>.sig"): only a body that this signature verifies
// replaces the file, and only then does the signature replace the one kept
// beside it ("<path>.sig"). A missing or wrong signature ends the fetch as
// failed with the file as it was. Without a key it is a plain fetch.
class CSignedFetch {
public:
    explicit CSignedFetch(const CPublisherKey& key) : m_key(key) {}

    // Starts over once the previous fetch has ended and been handled; a
    // fetch under way goes on.
    void Start(const std::wstring& url, const std::wstring& path, DWORD maxAttempts, BodyCheck check = nullptr);
    // Carries the fetch on: the next attempt, or the file after its signature.
    void Poll();
    // It has succeeded, or given up.
    bool Ended() const;

    // The same at once, blocking the caller, as DownloadUrlToFile does.
    static void FetchNow(const CPublisherKey& key, const std::string& url, const std::wstring& path,
                         BodyCheck check = nullptr);

    // Set by the owner once it has acted on the ending; cleared by Start.
    bool m_handled = true;

private:
    static std::wstring SignaturePath(const std::wstring& path) { return path + L".sig"; }
    static std::wstring FetchedSignaturePath(const std::wstring& path) { return path + L".sig.new"; }
    // `check` and the signature fetched for `path` both accept the body.
    BodyCheck Verifying(const std::wstring& path, BodyCheck check) const;
    void KeepSignatureOf(const std::wstring& path) const;

    const CPublisherKey& m_key;
    CRetryGetHttpFile m_signature;
    CRetryGetHttpFile m_file;
    bool m_signatureStage = false;
    std::wstring m_url;
    std::wstring m_path;
    DWORD m_maxAttempts = 0;
    BodyCheck m_check;
};

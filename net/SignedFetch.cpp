#include "net/SignedFetch.h"

#include "net/UrlClient.h"

#include <fstream>

namespace {

bool IsSignature(const char*, size_t size) { return size == CPublisherKey::kSignatureSize; }

bool JobEnded(const CRetryGetHttpFile& job) { return job.m_succeeded || !job.m_fetcher; }

// At most a signature's size: whatever else the file holds is no signature.
std::string ReadSignature(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string bytes(CPublisherKey::kSignatureSize, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

} // namespace

void CSignedFetch::Start(const std::wstring& url, const std::wstring& path, DWORD maxAttempts, BodyCheck check)
{
    const bool idle = m_handled && !m_signature.m_fetcher && !m_file.m_fetcher;
    m_handled = false;
    if (!idle)
        return;
    m_signature = CRetryGetHttpFile();
    m_file = CRetryGetHttpFile();
    m_url = url;
    m_path = path;
    m_maxAttempts = maxAttempts;
    m_check = std::move(check);
    m_signatureStage = !m_key.Empty();
    ::DeleteFileW(FetchedSignaturePath(path).c_str());
    if (m_signatureStage)
        m_signature.Start(url + L".sig", FetchedSignaturePath(path), maxAttempts, IsSignature);
    else
        m_file.Start(url, path, maxAttempts, m_check);
}

void CSignedFetch::Poll()
{
    if (m_signatureStage) {
        m_signature.Poll();
        if (!JobEnded(m_signature))
            return;
        m_signatureStage = false;
        if (m_signature.m_succeeded)
            m_file.Start(m_url, m_path, m_maxAttempts, Verifying(m_path, m_check));
        return;
    }
    const bool running = m_file.m_fetcher != nullptr;
    m_file.Poll();
    if (running && m_file.m_succeeded && !m_key.Empty())
        KeepSignatureOf(m_path);
}

bool CSignedFetch::Ended() const { return !m_signatureStage && JobEnded(m_file); }

BodyCheck CSignedFetch::Verifying(const std::wstring& path, BodyCheck check) const
{
    const std::string signature = ReadSignature(FetchedSignaturePath(path));
    return [key = m_key, signature, check](const char* data, size_t size) {
        return (!check || check(data, size)) && key.Verifies(data, size, signature);
    };
}

void CSignedFetch::KeepSignatureOf(const std::wstring& path) const
{
    ::MoveFileExW(FetchedSignaturePath(path).c_str(), SignaturePath(path).c_str(), MOVEFILE_REPLACE_EXISTING);
}

void CSignedFetch::FetchNow(const CPublisherKey& key, const std::string& url, const std::wstring& path,
                            BodyCheck check)
{
    if (key.Empty()) {
        DownloadUrlToFile(url, path, check);
        return;
    }
    const CSignedFetch fetch(key);
    ::DeleteFileW(FetchedSignaturePath(path).c_str());
    DownloadUrlToFile(url + ".sig", FetchedSignaturePath(path), IsSignature);
    DownloadUrlToFile(url, path, fetch.Verifying(path, check));
    if (key.VerifiesFile(path, FetchedSignaturePath(path)))
        fetch.KeepSignatureOf(path);
}

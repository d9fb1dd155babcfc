#include "net/PublisherKey.h"

#include "util/UniqueHandle.h"

#include <openssl/evp.h>

#include <windows.h>

#include <memory>
#include <vector>

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The whole file, or false when it cannot be read or is larger than `limit`.
bool ReadFile(const std::wstring& path, size_t limit, std::string& bytes)
{
    const CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !::GetFileSizeEx(file.Get(), &size) || static_cast<uint64_t>(size.QuadPart) > limit)
        return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    return bytes.empty() ||
           (::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size());
}

// A description or a torrent: anything larger is no file the program fetches.
const size_t kLargestSignedFile = 64u << 20;

} // namespace

CPublisherKey::CPublisherKey(const std::string& hex) : m_empty(hex.empty())
{
    if (hex.size() != 2 * m_key.size())
        return;
    for (size_t i = 0; i < m_key.size(); ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return;
        m_key[i] = static_cast<unsigned char>(high * 16 + low);
    }
    m_valid = true;
}

bool CPublisherKey::Verifies(const char* data, size_t size, const std::string& signature) const
{
    if (!m_valid || signature.size() != kSignatureSize)
        return false;
    const std::unique_ptr<EVP_PKEY, PkeyFree> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, m_key.data(), m_key.size()));
    const std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
    return key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(data), size) == 1;
}

bool CPublisherKey::VerifiesFile(const std::wstring& path, const std::wstring& signaturePath) const
{
    std::string bytes, signature;
    return ReadFile(path, kLargestSignedFile, bytes) && ReadFile(signaturePath, kSignatureSize, signature) &&
           Verifies(bytes.data(), bytes.size(), signature);
}

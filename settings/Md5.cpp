#include "settings/Md5.h"

#include <windows.h>
#include <wincrypt.h>

#include <climits>

namespace {

class CCryptProvider {
public:
    CCryptProvider()
    {
        if (!::CryptAcquireContextW(&m_provider, nullptr, nullptr, PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            m_provider = 0;
    }
    ~CCryptProvider()
    {
        if (m_provider)
            ::CryptReleaseContext(m_provider, 0);
    }
    CCryptProvider(const CCryptProvider&) = delete;
    CCryptProvider& operator=(const CCryptProvider&) = delete;

    HCRYPTPROV Get() const { return m_provider; }

private:
    HCRYPTPROV m_provider = 0;
};

class CCryptHash {
public:
    CCryptHash(HCRYPTPROV provider, ALG_ID algorithm)
    {
        if (!provider || !::CryptCreateHash(provider, algorithm, 0, 0, &m_hash))
            m_hash = 0;
    }
    ~CCryptHash()
    {
        if (m_hash)
            ::CryptDestroyHash(m_hash);
    }
    CCryptHash(const CCryptHash&) = delete;
    CCryptHash& operator=(const CCryptHash&) = delete;

    HCRYPTHASH Get() const { return m_hash; }

private:
    HCRYPTHASH m_hash = 0;
};

std::string LowercaseHex(const BYTE* bytes, DWORD count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

std::string Md5Hex(const std::string& bytes)
{
    if (bytes.size() > ULONG_MAX)
        return std::string();
    CCryptProvider provider;
    CCryptHash hash(provider.Get(), CALG_MD5);
    BYTE digest[16];
    DWORD digestSize = sizeof digest;
    if (!hash.Get() ||
        !::CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size()), 0) ||
        !::CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &digestSize, 0))
        return std::string();
    return LowercaseHex(digest, digestSize);
}

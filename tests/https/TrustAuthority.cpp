// Makes the test prefix trust a test certificate authority (its user's root
// store), or forget it again:
//
//   trust_authority add|remove HOST_PATH_OF_DER_CERTIFICATE
//
// Run before and after the programs that are to trust it: Wine reads the
// root store into a process once, so a program does not see an authority
// added while it runs.
#include "support/ChildProcess.h"

#include <windows.h>

#include <wincrypt.h>

#include <cwchar>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

struct StoreCloser {
    void operator()(HCERTSTORE store) const { ::CertCloseStore(store, 0); }
};
struct CertificateFreer {
    void operator()(PCCERT_CONTEXT certificate) const { ::CertFreeCertificateContext(certificate); }
};

// The store keeps each certificate under its SHA-1 thumbprint. Wine deletes
// a root certificate only from the store in memory, so the key goes here.
bool Forget(PCCERT_CONTEXT certificate)
{
    BYTE thumbprint[20] = {};
    DWORD size = sizeof thumbprint;
    if (!::CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint, &size))
        return false;
    std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
    for (DWORD i = 0; i < size; ++i) {
        wchar_t hex[3];
        swprintf(hex, 3, L"%02X", thumbprint[i]);
        key += hex;
    }
    const LSTATUS result = ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const std::wstring action = argv[1];
    const std::wstring hostPath = argv[2];
    std::ifstream in(WindowsPathOfHostPath(std::string(hostPath.begin(), hostPath.end())).c_str(), std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::unique_ptr<const CERT_CONTEXT, CertificateFreer> certificate(::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
    std::unique_ptr<void, StoreCloser> store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!certificate || !store)
        return 1;
    if (action == L"add")
        return ::CertAddCertificateContextToStore(store.get(), certificate.get(), CERT_STORE_ADD_REPLACE_EXISTING,
                                                  nullptr)
                   ? 0
                   : 1;
    if (action == L"remove")
        return Forget(certificate.get()) ? 0 : 1;
    return 2;
}

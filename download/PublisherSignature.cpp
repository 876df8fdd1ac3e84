#include "download/PublisherSignature.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <algorithm>

#include "framework/SystemLibrary.h"

namespace {

struct TrustEntries {
    decltype(&::WinVerifyTrust) verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) providerData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::WTHelperGetProvCertFromChain) certificate = nullptr;
    decltype(&::CertVerifyCertificateChainPolicy) policy = nullptr;
};

// What makes a chain untrusted whatever the policy answers: Wine's Authenticode policy passes a
// chain that ends below any root (partial), so the chain's own verdict is read as well.
constexpr DWORD kUntrustedChain = CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_REVOKED |
                                  CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_CYCLIC |
                                  CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_IS_PARTIAL_CHAIN |
                                  CERT_TRUST_IS_EXPLICIT_DISTRUST;

// One verification's state, closed on every path.
class Verification {
public:
    Verification(const TrustEntries& entries, HANDLE hFile, const wchar_t* pszPath) : m_entries(entries)
    {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = pszPath;
        m_file.hFile = hFile;
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        // Offline: no revocation, and no intermediate fetched from the network.
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_result = Run();
    }
    ~Verification()
    {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        Run();
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    LONG Result() const { return m_result; }
    CRYPT_PROVIDER_SGNR* Signer() const
    {
        CRYPT_PROVIDER_DATA* pData = m_entries.providerData(m_data.hWVTStateData);
        return pData ? m_entries.signer(pData, 0, FALSE, 0) : nullptr;
    }

private:
    LONG Run()
    {
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        return m_entries.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }

    const TrustEntries& m_entries;
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_DATA m_data{};
    LONG m_result = 0;
};

bool Refuse(CString& why, const char* pszFormat, unsigned long nCode = 0)
{
    why.Format(pszFormat, nCode);
    return false;
}

}  // namespace

bool IsSignedByPinnedPublisher(HANDLE hFile, const wchar_t* pszPath, const std::vector<Sha256Digest>& pins,
                               CString& why)
{
    if (pins.empty()) return Refuse(why, "no signer is pinned");
    const UniqueLibrary wintrust = LoadSystemLibrary(L"wintrust.dll");
    const UniqueLibrary crypt32 = LoadSystemLibrary(L"crypt32.dll");
    TrustEntries entries;
    if (!wintrust || !crypt32 || !ResolveEntry(wintrust.Get(), "WinVerifyTrust", entries.verify) ||
        !ResolveEntry(wintrust.Get(), "WTHelperProvDataFromStateData", entries.providerData) ||
        !ResolveEntry(wintrust.Get(), "WTHelperGetProvSignerFromChain", entries.signer) ||
        !ResolveEntry(wintrust.Get(), "WTHelperGetProvCertFromChain", entries.certificate) ||
        !ResolveEntry(crypt32.Get(), "CertVerifyCertificateChainPolicy", entries.policy))
        return Refuse(why, "the platform's signature check cannot be loaded");

    const Verification verification(entries, hFile, pszPath);
    if (verification.Result() != 0)
        return Refuse(why, "its signature does not verify (0x%08lX)", static_cast<unsigned long>(verification.Result()));
    CRYPT_PROVIDER_SGNR* pSigner = verification.Signer();
    CRYPT_PROVIDER_CERT* pCertificate = pSigner ? entries.certificate(pSigner, 0) : nullptr;
    if (!pCertificate || !pCertificate->pCert || !pSigner->pChainContext) return Refuse(why, "its signer cannot be read");

    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!entries.policy(CERT_CHAIN_POLICY_AUTHENTICODE, pSigner->pChainContext, &policy, &status) || status.dwError != 0)
        return Refuse(why, "its signer's chain fails the Authenticode policy (0x%08lX)", status.dwError);
    if (pSigner->pChainContext->TrustStatus.dwErrorStatus & kUntrustedChain)
        return Refuse(why, "its signer's chain does not end at a trusted root (0x%08lX)",
                      pSigner->pChainContext->TrustStatus.dwErrorStatus);

    CSha256 hash;
    Sha256Digest thumbprint{};
    const CERT_CONTEXT* pCert = pCertificate->pCert;
    if (!hash.Update(pCert->pbCertEncoded, pCert->cbCertEncoded) || !hash.Finish(thumbprint))
        return Refuse(why, "its signer's thumbprint cannot be computed");
    if (std::find(pins.begin(), pins.end(), thumbprint) == pins.end())
        return Refuse(why, "its signer is not a pinned publisher certificate");
    return true;
}

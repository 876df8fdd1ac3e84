#include "download/Sha256.h"

#include <bcrypt.h>

#include <climits>
#include <cstring>
#include <memory>

#include "framework/SystemLibrary.h"
#include "framework/Trace.h"

struct CSha256::Entries {
    decltype(&::BCryptOpenAlgorithmProvider) open;
    decltype(&::BCryptCloseAlgorithmProvider) close;
    decltype(&::BCryptCreateHash) create;
    decltype(&::BCryptHashData) hashData;
    decltype(&::BCryptFinishHash) finish;
    decltype(&::BCryptDestroyHash) destroy;
};


CSha256::CSha256()
{
    m_bcrypt = LoadSystemLibrary(L"bcrypt.dll");
    if (!m_bcrypt) {
        m_bFailed = true;
        return;
    }
    const HMODULE h = m_bcrypt.Get();
    auto pEntries = std::make_unique<Entries>();
    Entries& entries = *pEntries;
    if (!ResolveEntry(h, "BCryptOpenAlgorithmProvider", entries.open) ||
        !ResolveEntry(h, "BCryptCloseAlgorithmProvider", entries.close) || !ResolveEntry(h, "BCryptCreateHash", entries.create) ||
        !ResolveEntry(h, "BCryptHashData", entries.hashData) || !ResolveEntry(h, "BCryptFinishHash", entries.finish) ||
        !ResolveEntry(h, "BCryptDestroyHash", entries.destroy)) {
        Trace("SHA-256 unavailable: bcrypt.dll lacks an entry point");
        m_bFailed = true;
        return;
    }
    m_pEntries = std::move(pEntries);

    BCRYPT_ALG_HANDLE hAlgorithm = nullptr;
    BCRYPT_HASH_HANDLE hHash = nullptr;
    NTSTATUS status = m_pEntries->open(&hAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status >= 0) {
        m_hAlgorithm = hAlgorithm;
        status = m_pEntries->create(hAlgorithm, &hHash, nullptr, 0, nullptr, 0, 0);
        if (status >= 0) m_hHash = hHash;
    }
    if (status < 0) {
        Trace("SHA-256 unavailable (status 0x%08lX)", static_cast<unsigned long>(status));
        m_bFailed = true;
    }
}

CSha256::~CSha256()
{
    // The handles go before the library that made them (m_bcrypt is freed after this body).
    if (m_hHash) m_pEntries->destroy(static_cast<BCRYPT_HASH_HANDLE>(m_hHash));
    if (m_hAlgorithm) m_pEntries->close(static_cast<BCRYPT_ALG_HANDLE>(m_hAlgorithm), 0);
}

bool CSha256::Update(const void* pData, size_t cbData)
{
    const BYTE* p = static_cast<const BYTE*>(pData);
    while (!m_bFailed && cbData > 0) {
        const ULONG cbPiece = cbData > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(cbData);
        if (m_pEntries->hashData(static_cast<BCRYPT_HASH_HANDLE>(m_hHash), const_cast<BYTE*>(p), cbPiece, 0) < 0)
            m_bFailed = true;
        p += cbPiece;
        cbData -= cbPiece;
    }
    return !m_bFailed;
}

bool CSha256::Finish(Sha256Digest& digest)
{
    if (m_bFailed) return false;
    m_bFailed = m_pEntries->finish(static_cast<BCRYPT_HASH_HANDLE>(m_hHash), digest.data(),
                                   static_cast<ULONG>(digest.size()), 0) < 0;
    // A finished hash takes no more data.
    const bool bDone = !m_bFailed;
    m_bFailed = true;
    return bDone;
}

bool CSha256::ParseHex(const char* pszText, Sha256Digest& digest)
{
    if (!pszText || std::strlen(pszText) != digest.size() * 2) return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < digest.size(); ++i) {
        const int hi = nibble(pszText[2 * i]);
        const int lo = nibble(pszText[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        digest[i] = static_cast<BYTE>(hi << 4 | lo);
    }
    return true;
}

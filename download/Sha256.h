// SHA-256 through the platform's cryptography (bcrypt, loaded by the digest that needs it), fed
// as the bytes arrive so that a download is checked without reading its file a second time.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <memory>

#include "framework/Handles.h"

using Sha256Digest = std::array<BYTE, 32>;

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // False once anything has failed; the digest is then never produced.
    bool Update(const void* pData, size_t cbData);
    bool Finish(Sha256Digest& digest);

    // 64 hexadecimal digits, either case, nothing else around them.
    static bool ParseHex(const char* pszText, Sha256Digest& digest);

private:
    struct Entries;

    UniqueLibrary m_bcrypt;
    std::unique_ptr<const Entries> m_pEntries;  // into m_bcrypt; set once all are found
    void* m_hAlgorithm = nullptr;  // BCRYPT_ALG_HANDLE
    void* m_hHash = nullptr;       // BCRYPT_HASH_HANDLE
    bool m_bFailed = false;
};

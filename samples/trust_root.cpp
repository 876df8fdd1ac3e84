// Makes a machine trust a root certificate, as an administrator deploys a publisher's or a
// company's root: the demo's Wine prefix trusts the test chain's root this way, so that the
// loader signed with the test publisher's certificate passes the chain policy there.
//   trust_root <root.cer>     (DER); exits 0 once the machine's Root store holds it
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: trust_root <root.cer>\n", stderr);
        return 2;
    }
    HANDLE file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "trust_root: cannot open the certificate (error %lu)\n", ::GetLastError());
        return 1;
    }
    std::vector<BYTE> der(64 * 1024);  // a certificate is a few KiB; anything larger is not one
    DWORD got = 0;
    const BOOL read = ::ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
    ::CloseHandle(file);
    if (!read || got == 0 || got == der.size()) {
        std::fputs("trust_root: the file is not a certificate of a readable size\n", stderr);
        return 1;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        std::fprintf(stderr, "trust_root: cannot open the machine's Root store (error %lu)\n", ::GetLastError());
        return 1;
    }
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), got,
                                                          CERT_STORE_ADD_USE_EXISTING, nullptr);
    const DWORD error = ::GetLastError();
    ::CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "trust_root: the certificate was not added (error 0x%08lx)\n", error);
        return 1;
    }
    return 0;
}

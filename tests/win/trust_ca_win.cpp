// parvex-trust-ca.exe FILE.der: puts a test authority into the machine's
// trusted root store of the Wine prefix it runs in, so that the module
// accepts the test servers' certificates. Taking it out again is the test
// script's `reg delete` of the certificate's key: the store's own removal
// leaves the key behind.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: parvex-trust-ca FILE.der\n", stderr);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::string der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fputs("parvex-trust-ca: the certificate file is empty or unreadable\n", stderr);
        return 2;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!root) {
        std::fprintf(stderr, "parvex-trust-ca: the machine's root store did not open (%lu)\n", GetLastError());
        return 1;
    }
    BOOL added =
        CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!added) std::fprintf(stderr, "parvex-trust-ca: the certificate was not added (0x%08lX)\n", GetLastError());
    CertCloseStore(root, 0);
    return added ? 0 : 1;
}

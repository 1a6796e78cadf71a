#include <winsock2.h>
#include <ws2tcpip.h>

#include "cert_check_win.h"

#include <cstring>

#include "format.h"
#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

constexpr wchar_t kRefused[] = L"TLS refused the certificate of";

void Refuse(const ServerName& server, long code, const std::wstring& reason) {
    TraceFailure(kRefused, server.name, code, reason);
}

// The chain's error bits as the errors the system's own checks report for
// them, with words a server team can act on. Every bit that is set is named.
struct ChainError {
    DWORD bit;
    HRESULT code;
    const wchar_t* words;
};
const ChainError kChainErrors[] = {
    {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED, L"expired or not yet valid"},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT, L"untrusted root: self-signed or from an unknown authority"},
    {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING, L"partial chain: the issuer is unknown"},
    {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED, L"revoked"},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE, L"a signature in the chain is not valid"},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE, L"not issued for a server"},
};

bool ChainIsSound(PCCERT_CHAIN_CONTEXT chain, const ServerName& server) {
    DWORD status = chain->TrustStatus.dwErrorStatus;
    if (status == 0) return true;
    std::wstring words;
    HRESULT code = CERT_E_CHAINING;
    bool named = false;
    for (const ChainError& e : kChainErrors) {
        if (!(status & e.bit)) continue;
        if (!named) code = e.code;
        words += (named ? L"; " : L"") + std::wstring(e.words);
        named = true;
    }
    if (!named) words = FormatText(L"the chain has errors, status 0x%08lX", static_cast<unsigned long>(status));
    Refuse(server, code, words);
    return false;
}

// The system's SSL rules for a server: for a name, that the certificate
// names it; for an address, without a name (the address is matched below).
bool PolicyAccepts(PCCERT_CHAIN_CONTEXT chain, const ServerName& server) {
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = server.isAddress ? nullptr : const_cast<wchar_t*>(server.name.c_str());
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) {
        TraceFailure(L"TLS policy check for", server.name, static_cast<long>(GetLastError()));
        return false;
    }
    if (status.dwError == 0) return true;
    long code = static_cast<long>(status.dwError);
    if (code == CERT_E_CN_NO_MATCH) {
        Refuse(server, code, L"wrong name: the certificate is for another host");
        return false;
    }
    for (const ChainError& e : kChainErrors) {
        if (e.code != code) continue;
        Refuse(server, code, e.words);
        return false;
    }
    TraceFailure(kRefused, server.name, code);
    return false;
}

bool SameAddress(const CRYPT_DATA_BLOB& entry, const NetAddress& ip) {
    size_t length = ip.family == 4 ? 4 : 16;
    return entry.cbData == length && std::memcmp(entry.pbData, ip.bytes, length) == 0;
}

// The system's policy matches names only, so an address literal is looked
// for among the certificate's subjectAltName iPAddress entries here.
bool CertificateHoldsAddress(PCCERT_CONTEXT certificate, const ServerName& server) {
    const CERT_INFO* info = certificate->pCertInfo;
    PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    bool found = false;
    if (extension &&
        CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                            extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
        for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
            const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
            found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && SameAddress(entry.IPAddress, server.ip);
        }
        LocalFree(names);
    }
    if (!found) Refuse(server, CERT_E_CN_NO_MATCH, L"the IP address is not in the certificate");
    return found;
}

}  // namespace

ServerName ServerNameOf(const std::string& host) {
    ServerName server;
    server.name = FromUtf8(host);
    if (InetPtonA(AF_INET, host.c_str(), server.ip.bytes) == 1) {
        server.isAddress = true;
        server.ip.family = 4;
    } else if (InetPtonA(AF_INET6, host.c_str(), server.ip.bytes) == 1) {
        server.isAddress = true;
        server.ip.family = 6;
    }
    return server;
}

bool CheckServerCertificate(PCCERT_CONTEXT certificate, const ServerName& server) {
    // The other certificates the server sent are in the certificate's store:
    // the intermediates come from there.
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, 0, nullptr, &chain)) {
        TraceFailure(L"TLS certificate chain of", server.name, static_cast<long>(GetLastError()));
        return false;
    }
    bool trusted = ChainIsSound(chain, server) && PolicyAccepts(chain, server) &&
                   (!server.isAddress || CertificateHoldsAddress(certificate, server));
    CertFreeCertificateChain(chain);
    return trusted;
}

}  // namespace parvex

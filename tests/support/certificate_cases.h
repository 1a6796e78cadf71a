// The certificates of the test PKI a client meets over https: the good one
// reached by name and by each address family, and every kind it must refuse.
// The upload and download tests run each of them.
#pragma once
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/trace.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/trace_lines.h"
#include "tests/support/wait_for.h"

namespace parvex::testing {

struct CertificateCase {
    const char* name;
    const char* certificate;  // the server's, in the test PKI
    const char* host;         // the URL's
    bool accepted;
    const wchar_t* reason;  // refused: the trace line that says why
};

inline const CertificateCase kCertificateCases[] = {
    {"ByName", "localhost.pem", "localhost", true, nullptr},
    {"ByIpv4Address", "localhost.pem", "127.0.0.1", true, nullptr},
    {"ByIpv6Address", "localhost.pem", "[::1]", true, nullptr},
    {"SelfSigned", "selfsigned.pem", "localhost", false,
     L"parvex: verify the certificate of localhost: error 18 (self-signed certificate)"},
    {"UnknownCa", "unknown.pem", "localhost", false,
     L"parvex: verify the certificate of localhost: error 20 (unable to get local issuer certificate)"},
    {"UnknownCaSentAlong", "unknown-chain.pem", "localhost", false,
     L"parvex: verify the certificate of localhost: error 19 (self-signed certificate in certificate chain)"},
    {"OtherName", "othername.pem", "localhost", false,
     L"parvex: verify the certificate of localhost: error 62 (hostname mismatch)"},
    {"Expired", "expired.pem", "localhost", false,
     L"parvex: verify the certificate of localhost: error 10 (certificate has expired)"},
    {"Ipv4AddressNotInTheCertificate", "wrongip.pem", "127.0.0.1", false,
     L"parvex: verify the certificate of 127.0.0.1: error 64 (IP address mismatch)"},
    {"Ipv6AddressNotInTheCertificate", "wrongip.pem", "[::1]", false,
     L"parvex: verify the certificate of ::1: error 64 (IP address mismatch)"},
};

inline std::string CertificateCaseName(const ::testing::TestParamInfo<CertificateCase>& info) {
    return info.param.name;
}

// A refused server saw its handshakes fail, and not one request byte.
inline void ExpectNoRequestBytes(MailServerProcess& server) {
    EXPECT_TRUE(WaitFor([&] { return server.Get("/__tls").find(" failed=0") == std::string::npos; }))
        << server.Get("/__tls");
    EXPECT_EQ(server.Get("/__tls").substr(0, 13), "handshakes=0 ");
    EXPECT_EQ(server.RecordedCount(), 0);
    EXPECT_EQ(server.Get("/__stats"), "uploads=0 exists=0 downloads=0 bad=0");
}

}  // namespace parvex::testing

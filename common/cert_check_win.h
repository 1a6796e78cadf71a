// The module's own judgement of a TLS server's certificate. SChannel is asked
// to leave the server unchecked (the check it does of its own varies between
// systems and some pass anything), so this is the only one: the chain must
// reach a trusted root with no error at all, and the certificate must name
// the host, or hold the IP address the URL gave.
#pragma once
#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "platform_types.h"

namespace parvex {

// What the URL named the server by: a host name, or an address literal
// (then ip is set and name is what the user wrote, for the trace).
struct ServerName {
    std::wstring name;
    bool isAddress = false;
    NetAddress ip;
};

// Reads host (UTF-8, no brackets) as an IPv4 or IPv6 literal when it is one.
ServerName ServerNameOf(const std::string& host);

// True when certificate (with the other certificates the server sent in its
// store) is trusted for server. The reason for a refusal is traced.
bool CheckServerCertificate(PCCERT_CONTEXT certificate, const ServerName& server);

}  // namespace parvex

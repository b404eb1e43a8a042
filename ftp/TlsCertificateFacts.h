#pragma once

#include <cstdint>
#include <string>

// What the user is shown about a server's certificate before trusting it.
struct TlsCertificateFacts {
    std::string host; // the host name or address connected to
    uint16_t port = 21;
    std::string subject;
    std::string issuer;
    std::string notBefore; // "2026-12-08 15:00:00 UTC"
    std::string notAfter;
    std::string sha256; // "AB:CD:...", 32 bytes of the DER certificate
    bool chainTrusted = false; // the system's store vouches for its issuers and signatures
    bool withinValidity = false;
};

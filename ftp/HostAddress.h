#pragma once

#include "ftp/WinInet.h"

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

class CancelToken;
class Deadline;

// A server as the user writes it: "name", "name:port", "a.b.c.d:port",
// "[v6]:port", "[v6]" or a bare IPv6 address.
struct HostAddress {
    std::string host; // without brackets
    uint16_t port = 21;
};

struct ResolvedAddress {
    sockaddr_storage address {};
    socklen_t length = 0;
};

// False when the text names no host or carries a port that is not 1..65535.
// A port in the text wins over defaultPort; defaultPort 0 means 21.
bool parseHostAddress(const char *text, uint16_t defaultPort, HostAddress &out);

// Resolves the host to its addresses, in the resolver's order. Numeric
// addresses are converted on the spot; names are looked up on a helper
// thread so that the wait can be cancelled and has a deadline; the thread
// is joined once it answered (it outlives the call only after a cancel or a
// time-out, until the resolver gives up). Results:
// 0, 12007 name not resolved, 12002 time-out, 12017 cancelled.
DWORD resolveHostAddress(const HostAddress &host, std::vector<ResolvedAddress> &out,
    const Deadline &deadline, const CancelToken &cancel);

// "a.b.c.d" or "v6" text of an address (for messages and tests).
std::string addressText(const sockaddr_storage &address);

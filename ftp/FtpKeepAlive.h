#pragma once

#include <memory>

class FtpConnection;

// Keeps idle connections from the servers' idle time-outs: one thread for
// the process, alive while there are connections to watch, sends NOOP on a
// connection that no call has used for its keep-alive interval (and never
// while a call or a file is open on it).
namespace KeepAlive {
void watch(const std::shared_ptr<FtpConnection> &connection);
// A keep-alive interval changed: the watch looks again at once.
void rethink();
} // namespace KeepAlive

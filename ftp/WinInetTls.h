#pragma once

// Our own addition to the FTP entry points: who is asked about a server
// certificate that the system's store does not vouch for.

#include "ftp/TlsCertificateFacts.h"
#include "ftp/WinInet.h"

#include <functional>

// True lets the connection go on with this certificate. Runs on the thread
// that called InternetConnectA, while that call waits; closing the session
// meanwhile refuses whatever it answers.
using TlsCertificateQuestion = std::function<bool(const TlsCertificateFacts &)>;

// For every later InternetConnectA on the session handle. Without one, such
// a certificate is refused (12045). A certificate naming another host is
// refused without asking (12038).
BOOL InternetSetCertificateQuestion(HINTERNET session, TlsCertificateQuestion question);

#pragma once

#include "ftp/FtpControlConnection.h"
#include "ftp/FtpReconnect.h"
#include "ftp/FtpTlsSession.h"
#include "ftp/HostAddress.h"
#include "ftp/InternetHandle.h"

#include <atomic>
#include <string>

// What the server offered in its FEAT reply.
struct FtpFeatures {
    bool mlst = false;
    bool utf8 = false;
    bool size = false;
    bool epsv = false;
    bool restStream = false;
    bool mdtm = false;
};

// The connection handle: one logged-in FTP session over one control
// connection. Its calls run one at a time (CallGuard) and poll the token of
// the handle they work for, so closing that handle ends them.
class FtpConnection : public InternetHandle {
public:
    FtpConnection(std::shared_ptr<InternetHandle> session, DWORD_PTR context);
    ~FtpConnection() override;

    // Before open(): whether and how to encrypt, and who is asked about a
    // certificate the system does not vouch for.
    void setSecurity(TlsPolicy policy, TlsCertificateQuestion question)
    {
        tls.configure(policy, std::move(question));
    }
    // "TLS 1.3" for an encrypted connection, empty for a plain one.
    const std::string &tlsProtocol() const { return tls.protocol(); }
    // Listings and files travel encrypted too.
    bool tlsProtectsData() const { return tls.protectsData(); }

    // Resolves, connects, reads the greeting, secures the connection as
    // setSecurity() asked (12190, 12157, 12038, 12045), logs in, asks FEAT, turns UTF-8
    // on when offered and sets TYPE I. loginText gets the greeting and the
    // login replies. Codes: 12007, 12029, 12002, 12013, 12014, 12003, 12030, 12017.
    DWORD open(const HostAddress &host, const std::string &user, const std::string &password,
        std::string &loginText, int &loginCode);

    // One command whose final reply must be 2xx (or 3xx when intermediateOk);
    // a refusal is 12003 with the reply kept for the response text.
    DWORD simpleCommand(const std::string &line, bool intermediateOk = false);
    DWORD rename(const std::string &from, const std::string &to);

    // Opens a passive data connection and sends the transfer command. On
    // success the data socket is connected and the server has answered 1xx
    // (finalReceived false) or already its final 2xx (finalReceived true).
    DWORD beginTransfer(
        const std::string &line, TcpSocket &data, bool &finalReceived, const CancelToken &cancel);
    // Reads the final reply of a transfer: 2xx or 12003.
    DWORD endTransfer(const CancelToken &cancel);

    // SIZE of a remote file, or -1 when the server does not tell.
    int64_t remoteSize(const std::string &path, const CancelToken &cancel);
    // MDTM of a remote file (UTC); false when the server does not tell.
    bool remoteTime(const std::string &path, TFileTime &out, const CancelToken &cancel);

    FtpControlConnection &control() { return ctrl; }
    const FtpFeatures &features() const { return feats; }
    // Set while a file handle is open on this connection: other commands
    // are refused with 12110 meanwhile.
    std::atomic<bool> transferOpen { false };
    // Minutes east of UTC of the server's LIST times (INTERNET_OPTION_LIST_TIME_ZONE).
    std::atomic<int> listTimeZoneMinutes { 0 };

    // A check made by every call: 12110 while a file is open, 12030 once the
    // control connection is lost.
    DWORD readyForCommand() const;
    // readyForCommand(), but a control connection the server closed or reset
    // (found now or earlier, before anything of this call was sent) is made
    // again once; if that fails the call gets the original error.
    DWORD prepareCommand();
    // Logs in again over this handle after the server dropped the connection;
    // the messages get a note.
    DWORD reconnect(const char *why);
    FtpReconnect &recovery() { return reconnector; }
    // Drops what belonged to the lost control connection, before a new open().
    void forgetSession();

    // Idle time, for the keep-alive: calls mark their end.
    void touch();
    long long idleMs() const;
    // A NOOP while nothing else uses the connection; a connection found lost
    // is left marked so that the next call reconnects. False when the
    // connection was busy or broken already.
    bool keepAlive();

    // Makes the calling thread's response text the last reply read, if one was.
    void publishResponse(unsigned long long repliesBefore);
    unsigned long long replyCount() const { return ctrl.repliesRead(); }

protected:
    DWORD finishGracefully() override;
    void release() override;

private:
    DWORD connectTo(const HostAddress &host, const CancelToken &cancel);
    DWORD login(const std::string &user, const std::string &password, std::string &loginText,
        int &loginCode);
    void readFeatures();
    DWORD openDataChannel(TcpSocket &data, const CancelToken &cancel);
    DWORD connectData(TcpSocket &data, uint16_t port, const CancelToken &cancel);

    FtpControlConnection ctrl;
    FtpTlsSession tls;
    FtpFeatures feats;
    bool epsvRefused = false;
    bool closedReported = false;
    FtpReconnect reconnector;
    std::atomic<long long> lastUse { 0 }; // steady clock, ms
    std::atomic<bool> quiet { false }; // the keep-alive reports no status
};

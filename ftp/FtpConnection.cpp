#include "ftp/FtpConnection.h"

#include "ftp/FileTime.h"

#include <netinet/in.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

std::string upperWord(const std::string &line)
{
    size_t i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\r')
        word += char(std::toupper(static_cast<unsigned char>(line[i++])));
    return word;
}

// "229 Entering Extended Passive Mode (|||6446|)"
bool parseEpsvPort(const std::string &text, uint16_t &port)
{
    const size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size())
        return false;
    const char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d)
        return false;
    unsigned long value = 0;
    size_t i = open + 4;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 6) {
        value = value * 10 + unsigned(text[i++] - '0');
        ++digits;
    }
    if (digits == 0 || i >= text.size() || text[i] != d || value == 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": only the port is used, the
// address is the control connection's peer whatever the server names.
bool parsePasvPort(const std::string &text, uint16_t &port)
{
    for (size_t start = 4; start < text.size(); ++start) {
        if (!std::isdigit(static_cast<unsigned char>(text[start])))
            continue;
        unsigned numbers[6];
        size_t i = start;
        int n = 0;
        for (; n < 6; ++n) {
            unsigned value = 0;
            size_t digits = 0;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))
                && digits < 4) {
                value = value * 10 + unsigned(text[i++] - '0');
                ++digits;
            }
            if (digits == 0 || value > 255)
                break;
            numbers[n] = value;
            if (n < 5) {
                if (i >= text.size() || text[i] != ',')
                    break;
                ++i;
            }
        }
        if (n == 6) {
            port = uint16_t(numbers[4] * 256 + numbers[5]);
            return port != 0;
        }
        while (start < text.size() && std::isdigit(static_cast<unsigned char>(text[start])))
            ++start;
    }
    return false;
}

} // namespace

FtpConnection::FtpConnection(std::shared_ptr<InternetHandle> session, DWORD_PTR context)
    : InternetHandle(HandleKind::Connection, std::move(session), context)
{
    ctrl.setStatusHook([this](DWORD status, DWORD value) {
        if (!quiet.load())
            reportStatus(status, &value, sizeof value);
    });
    touch();
}

FtpConnection::~FtpConnection()
{
    releaseOnce();
}

DWORD FtpConnection::readyForCommand() const
{
    if (transferOpen.load())
        return ERROR_FTP_TRANSFER_IN_PROGRESS;
    if (ctrl.isBroken())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    return ERROR_SUCCESS;
}

void FtpConnection::publishResponse(unsigned long long repliesBefore)
{
    if (ctrl.repliesRead() != repliesBefore)
        ThreadState::setResponse(ctrl.lastReply().code, ctrl.lastReply().text);
}

DWORD FtpConnection::connectTo(const HostAddress &host, const CancelToken &cancel)
{
    const FtpTimeouts t = timeouts();
    std::vector<ResolvedAddress> addresses;
    DWORD code = resolveHostAddress(host, addresses, Deadline(t.connectMs), cancel);
    if (code != ERROR_SUCCESS)
        return code;
    for (const ResolvedAddress &a : addresses) {
        code = ctrl.socket().connectTo(reinterpret_cast<const sockaddr *>(&a.address), a.length,
            Deadline(t.connectMs), cancel);
        if (code == ERROR_SUCCESS || code == ERROR_INTERNET_OPERATION_CANCELLED)
            return code;
    }
    return code;
}

DWORD FtpConnection::open(const HostAddress &host, const std::string &user,
    const std::string &password, std::string &loginText, int &loginCode)
{
    const CancelToken &cancel = cancelToken();
    DWORD code = connectTo(host, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    FtpReply reply;
    code = ctrl.readFinalReply(reply, timeouts().receiveMs, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    loginText = reply.text;
    loginCode = reply.code;
    if (!reply.positive())
        return ERROR_INTERNET_EXTENDED_ERROR;
    code = tls.secureControl(ctrl, host, timeouts().receiveMs, cancel, loginText, loginCode);
    if (code != ERROR_SUCCESS)
        return code;
    code = login(user, password, loginText, loginCode);
    if (code == ERROR_SUCCESS)
        code = tls.protectData(ctrl, timeouts().receiveMs, cancel, loginText, loginCode);
    if (code != ERROR_SUCCESS)
        return code;
    readFeatures();
    if (feats.utf8) {
        code = ctrl.command("OPTS UTF8 ON", reply, timeouts().receiveMs, cancel);
        if (code != ERROR_SUCCESS)
            return code;
    }
    code = ctrl.command("TYPE I", reply, timeouts().receiveMs, cancel);
    if (code == ERROR_SUCCESS && !reply.positive()) {
        loginText += reply.text; // the refusal is what the caller needs to see
        loginCode = reply.code;
        code = ERROR_INTERNET_EXTENDED_ERROR;
    }
    return code;
}

DWORD FtpConnection::login(
    const std::string &user, const std::string &password, std::string &loginText, int &loginCode)
{
    const CancelToken &cancel = cancelToken();
    const int timeout = timeouts().receiveMs;
    const bool anonymous = user.empty();
    FtpReply reply;
    // USER and PASS end the log-in alike: a send failure, acceptance, the
    // server closing or asking for an account. False: the log-in goes on.
    DWORD code = ERROR_SUCCESS;
    auto ended = [&](const std::string &line) {
        code = ctrl.command(line, reply, timeout, cancel);
        if (code != ERROR_SUCCESS)
            return true;
        loginText += reply.text;
        loginCode = reply.code;
        if (reply.closing())
            code = ERROR_INTERNET_EXTENDED_ERROR;
        else if (reply.code == 332)
            code = ERROR_INTERNET_LOGIN_FAILURE;
        return reply.positive() || reply.closing() || reply.code == 332;
    };
    if (ended("USER " + (anonymous ? std::string("anonymous") : user)))
        return code;
    if (reply.code != 331)
        return ERROR_INTERNET_INCORRECT_USER_NAME;
    const std::string pass = anonymous && password.empty() ? std::string("anonymous@") : password;
    if (ended("PASS " + pass))
        return code;
    return ERROR_INTERNET_INCORRECT_PASSWORD;
}

void FtpConnection::readFeatures()
{
    FtpReply reply;
    if (ctrl.command("FEAT", reply, timeouts().receiveMs, cancelToken()) != ERROR_SUCCESS
        || reply.code != 211)
        return;
    size_t pos = reply.text.find('\n');
    while (pos != std::string::npos && pos + 1 < reply.text.size()) {
        const size_t end = reply.text.find('\n', pos + 1);
        const std::string line = reply.text.substr(
            pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
        if (!line.empty() && line[0] == ' ') {
            const std::string word = upperWord(line);
            feats.mlst |= word == "MLST";
            feats.utf8 |= word == "UTF8";
            feats.size |= word == "SIZE";
            feats.epsv |= word == "EPSV";
            feats.mdtm |= word == "MDTM";
            feats.restStream |= word == "REST" && upperWord(line.substr(5)) == "STREAM";
        }
        pos = end;
    }
}

DWORD FtpConnection::simpleCommand(const std::string &line, bool intermediateOk)
{
    FtpReply reply;
    DWORD code = ctrl.command(line, reply, timeouts().receiveMs, cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    if (reply.positive() || (intermediateOk && reply.intermediate()))
        return ERROR_SUCCESS;
    return ERROR_INTERNET_EXTENDED_ERROR;
}

DWORD FtpConnection::rename(const std::string &from, const std::string &to)
{
    FtpReply reply;
    DWORD code = ctrl.command("RNFR " + from, reply, timeouts().receiveMs, cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    if (!reply.intermediate())
        return ERROR_INTERNET_EXTENDED_ERROR;
    return simpleCommand("RNTO " + to);
}

int64_t FtpConnection::remoteSize(const std::string &path, const CancelToken &cancel)
{
    if (!feats.size)
        return -1;
    FtpReply reply;
    if (ctrl.command("SIZE " + path, reply, timeouts().receiveMs, cancel) != ERROR_SUCCESS
        || reply.code != 213 || reply.text.size() < 5)
        return -1;
    const char *p = reply.text.c_str() + 4;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return -1;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(p, &end, 10);
    return value > (1ULL << 62) ? -1 : int64_t(value);
}

bool FtpConnection::remoteTime(const std::string &path, TFileTime &out, const CancelToken &cancel)
{
    if (!feats.mdtm)
        return false;
    FtpReply reply;
    if (ctrl.command("MDTM " + path, reply, timeouts().receiveMs, cancel) != ERROR_SUCCESS
        || reply.code != 213 || reply.text.size() < 18)
        return false;
    // "213 YYYYMMDDHHMMSS[.fff]"
    const std::string digits = reply.text.substr(4, 14);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    auto field
        = [&digits](size_t at, size_t length) { return std::stoi(digits.substr(at, length)); };
    TSystemTime when;
    when.year = field(0, 4);
    when.month = field(4, 2);
    when.day = field(6, 2);
    when.hour = field(8, 2);
    when.minute = field(10, 2);
    when.second = field(12, 2);
    return FileTime::fromSystemTime(when, out);
}

DWORD FtpConnection::connectData(TcpSocket &data, uint16_t port, const CancelToken &cancel)
{
    sockaddr_storage peer {};
    socklen_t length = 0;
    if (!ctrl.socket().peerAddress(peer, length))
        return ERROR_INTERNET_CONNECTION_ABORTED;
    if (peer.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in &>(peer).sin_port = htons(port);
    else
        reinterpret_cast<sockaddr_in6 &>(peer).sin6_port = htons(port);
    return data.connectTo(
        reinterpret_cast<const sockaddr *>(&peer), length, Deadline(timeouts().connectMs), cancel);
}

DWORD FtpConnection::openDataChannel(TcpSocket &data, const CancelToken &cancel)
{
    const int timeout = timeouts().receiveMs;
    FtpReply reply;
    DWORD code;
    if (!epsvRefused) {
        code = ctrl.command("EPSV", reply, timeout, cancel);
        if (code != ERROR_SUCCESS)
            return code;
        uint16_t port = 0;
        if (reply.code == 229 && parseEpsvPort(reply.text, port)) {
            code = connectData(data, port, cancel);
            if (code == ERROR_SUCCESS || code == ERROR_INTERNET_OPERATION_CANCELLED
                || code == ERROR_INTERNET_TIMEOUT)
                return code;
        }
        if (reply.closing())
            return ERROR_INTERNET_EXTENDED_ERROR;
        if (reply.code >= 500 || reply.code == 229)
            epsvRefused = true; // not offered, or offered and not reachable: PASV from now on
    }
    code = ctrl.command("PASV", reply, timeout, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    uint16_t port = 0;
    if (reply.code != 227 || !parsePasvPort(reply.text, port))
        return ERROR_INTERNET_EXTENDED_ERROR;
    return connectData(data, port, cancel);
}

DWORD FtpConnection::beginTransfer(
    const std::string &line, TcpSocket &data, bool &finalReceived, const CancelToken &cancel)
{
    finalReceived = false;
    const int timeout = timeouts().receiveMs;
    if (line.find_first_of("\r\n") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    DWORD code = ctrl.settle(timeout, cancel);
    if (code == ERROR_SUCCESS)
        code = openDataChannel(data, cancel);
    if (code == ERROR_SUCCESS)
        code = ctrl.send(line, timeout, cancel);
    FtpReply reply;
    if (code == ERROR_SUCCESS)
        code = ctrl.readReply(reply, timeout, cancel);
    if (code == ERROR_SUCCESS && reply.code != 226 && ctrl.isStray(reply)) {
        ctrl.forgetStray(); // a late 426 of an abandoned transfer, not this one's answer
        code = ctrl.readReply(reply, timeout, cancel);
    }
    if (code == ERROR_SUCCESS && !reply.preliminary() && !reply.positive())
        code = ERROR_INTERNET_EXTENDED_ERROR;
    if (code == ERROR_SUCCESS && tls.protectsData()) {
        code = tls.secureData(data, ctrl, timeouts().receiveMs, cancel);
        if (code != ERROR_SUCCESS && !reply.positive())
            ctrl.abandonTransfer(code);
    }
    if (code != ERROR_SUCCESS) {
        data.abortiveClose();
        return code;
    }
    finalReceived = reply.positive();
    return ERROR_SUCCESS;
}

DWORD FtpConnection::endTransfer(const CancelToken &cancel)
{
    FtpReply reply;
    const DWORD code = ctrl.readFinalReply(reply, timeouts().receiveMs, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    return reply.positive() ? ERROR_SUCCESS : ERROR_INTERNET_EXTENDED_ERROR;
}

DWORD FtpConnection::finishGracefully()
{
    return ERROR_SUCCESS; // release() says QUIT without waiting for the answer
}

void FtpConnection::release()
{
    const bool wasOpen = ctrl.socket().isOpen();
    ctrl.quit();
    if (wasOpen && !closedReported) {
        closedReported = true;
        reportStatus(INTERNET_STATUS_CONNECTION_CLOSED, nullptr, 0);
    }
}

namespace {

long long steadyNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void FtpConnection::touch()
{
    lastUse.store(steadyNowMs());
}

long long FtpConnection::idleMs() const
{
    return steadyNowMs() - lastUse.load();
}

void FtpConnection::forgetSession()
{
    ctrl.reset();
    feats = FtpFeatures();
    epsvRefused = false;
}

DWORD FtpConnection::reconnect(const char *why)
{
    const DWORD code = reconnector.reconnect(*this);
    if (code == ERROR_SUCCESS)
        FtpReconnect::addNote(why);
    return code;
}

DWORD FtpConnection::prepareCommand()
{
    DWORD code = readyForCommand();
    if (code == ERROR_FTP_TRANSFER_IN_PROGRESS)
        return code;
    if (code == ERROR_SUCCESS) {
        // A 421 or the end of the stream that arrived meanwhile shows here,
        // before this call sends anything.
        code = ctrl.settle(timeouts().receiveMs, cancelToken());
        if (code == ERROR_SUCCESS)
            return code;
    }
    if (!ctrl.lostByPeer() || cancelToken().cancelled())
        return code;
    return reconnect("Connection lost; reconnected.") == ERROR_SUCCESS ? DWORD(ERROR_SUCCESS)
                                                                       : code;
}

bool FtpConnection::keepAlive()
{
    CallGuard call(*this, CallGuard::NoWait {});
    if (!call.ok() || transferOpen.load() || ctrl.isBroken())
        return false;
    quiet = true;
    FtpReply reply;
    ctrl.command("NOOP", reply, timeouts().receiveMs, cancelToken());
    quiet = false;
    touch();
    return true;
}

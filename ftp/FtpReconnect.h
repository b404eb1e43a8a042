#pragma once

#include "ftp/HostAddress.h"
#include "ftp/WinInet.h"

#include <mutex>
#include <string>
#include <vector>

class FtpConnection;

// What a connection was opened with and which directory it went to, so that
// a control connection the server dropped can be made again as it was: the
// same open path (login, features, encryption) and the same CWDs.
// Also the calling thread's notes about reconnects and resumes, for the
// messages a user sees.
class FtpReconnect {
public:
    void remember(
        const HostAddress &host, const std::string &user, const std::string &password, DWORD flags);
    // After a successful CWD: an absolute one starts the trail afresh.
    void enteredDirectory(const std::string &directory);

    // Logs in anew over the same handle and replays the directory trail.
    // The connection must be lost and the caller hold a call on it.
    DWORD reconnect(FtpConnection &connection);

    static void addNote(const std::string &line);
    static std::string takeNotes();

private:
    std::mutex mutex;
    bool known = false;
    HostAddress host;
    std::string user;
    std::string password;
    DWORD flags = 0;
    std::vector<std::string> trail; // CWD arguments since the last absolute one
};

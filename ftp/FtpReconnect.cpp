#include "ftp/FtpReconnect.h"

#include "ftp/FtpConnection.h"

namespace {

// A trail this long comes from a loop, not a user: replaying it would not help.
constexpr size_t kMaxTrail = 64;
constexpr size_t kMaxNotes = 16 * 1024;

thread_local std::string notes;

} // namespace

void FtpReconnect::remember(
    const HostAddress &hostAddress, const std::string &name, const std::string &secret, DWORD f)
{
    std::lock_guard<std::mutex> lock(mutex);
    known = true;
    host = hostAddress;
    user = name;
    password = secret;
    flags = f;
    trail.clear();
}

void FtpReconnect::enteredDirectory(const std::string &directory)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!directory.empty() && directory[0] == '/')
        trail.clear();
    if (trail.size() < kMaxTrail)
        trail.push_back(directory);
    else
        known = false; // lost track of where the connection was
}

DWORD FtpReconnect::reconnect(FtpConnection &connection)
{
    HostAddress where;
    std::string name, secret;
    std::vector<std::string> directories;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!known)
            return ERROR_INTERNET_CONNECTION_ABORTED;
        where = host;
        name = user;
        secret = password;
        directories = trail;
    }
    connection.forgetSession();
    std::string loginText;
    int loginCode = 0;
    DWORD code = connection.open(where, name, secret, loginText, loginCode);
    for (size_t i = 0; code == ERROR_SUCCESS && i < directories.size(); ++i)
        code = connection.simpleCommand("CWD " + directories[i]);
    if (code != ERROR_SUCCESS)
        connection.control().quit(); // lost for good: the caller reports its own error
    return code;
}

void FtpReconnect::addNote(const std::string &line)
{
    if (notes.size() + line.size() + 2 <= kMaxNotes)
        notes += line + "\r\n";
}

std::string FtpReconnect::takeNotes()
{
    std::string taken;
    taken.swap(notes);
    return taken;
}

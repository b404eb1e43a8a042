#pragma once

#include <QString>

// An ftp://, ftps:// or sftp:// address, taken apart and percent-decoded:
// ftp://[user[:password]@]host[:port]/path. The path is split into the
// folder and the last name, since only the server can tell whether that
// name is a file or a folder.
struct SiteUrl {
    QString scheme; // "ftp", "ftps" or "sftp"
    QString host; // an IPv6 literal without its brackets
    int port = 21;
    QString user; // empty: anonymous
    QString password;
    QString folder = QStringLiteral("/"); // starts and ends with "/"
    QString name; // the last name of the path; empty when it ends with "/"
    QString error; // not empty: the address cannot be used, and why

    bool isValid() const { return error.isEmpty(); }
    bool encrypted() const { return scheme == QLatin1String("ftps"); }
    bool sftp() const { return scheme == QLatin1String("sftp"); }
    int defaultPort() const { return sftp() ? 22 : 21; }
    // As the FTP layer and the site book take a host: "host", "host:2121",
    // "[::1]:2121"; the port only when it is not the scheme's own (21, or 22
    // for sftp).
    QString hostField() const;
    // The folder and name together, as the server knows the path.
    QString path() const { return folder + name; }
};

SiteUrl parseSiteUrl(const QString &text);

// Host and port of a site book's host field ("host", "host:port",
// "[v6]:port"), for comparing it with an address: false when it holds none.
// A field without a port has defaultPort.
bool splitHostField(const QString &field, QString &host, int &port, int defaultPort = 21);

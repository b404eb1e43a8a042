#pragma once

#include <QString>

// The python3-pyftpdlib server that CTest's "ftpserver" fixture started on
// 127.0.0.1: anonymous read-only over anonRoot(), and user()/password() with
// write access over userRoot().
struct FtpFixture {
    static bool available(); // false when run outside CTest's fixture
    static int port();
    static QString host(); // "127.0.0.1:<port>"
    static QString anonRoot();
    static QString userRoot();
    static QString user() { return QStringLiteral("vrex"); }
    static QString password() { return QStringLiteral("secret"); }
    // A fresh folder under userRoot() for one test, returned as its remote path.
    static QString freshUserFolder(const QString &name);
};

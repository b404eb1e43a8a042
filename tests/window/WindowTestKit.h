#pragma once

#include "ftp/WinInet.h"
#include "widgets/TListView.h"

#include <QDateTime>
#include <QFile>
#include <QItemSelectionModel>
#include <QStringList>
#include <QTreeWidgetItem>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utime.h>

// What the window tests share: the site dialog's fields, reading the lists
// and the tree as a person sees them, and a server that never answers.

struct SiteFields {
    SiteFields(const QString &h, const QString &d, const QString &dir = QStringLiteral("/"),
        const QString &l = QString(), const QString &p = QString())
        : host(h), description(d), directory(dir), login(l), password(p)
    {
    }
    QString host, description, directory, login, password;
};

inline QStringList column(const TListView *list, int c)
{
    QStringList texts;
    for (int r = 0; r < list->rowCount(); ++r)
        texts << list->shownModel()->index(r, c).data().toString();
    return texts;
}

inline QTreeWidgetItem *child(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

inline QStringList childTexts(QTreeWidgetItem *parent)
{
    QStringList texts;
    for (int i = 0; parent && i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

// Network waits short enough for a test, long enough for a loaded machine.
inline void useShortNetworkTimeouts()
{
    DWORD ms = 3000;
    InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
}

// Selects the rows of `list` whose first column reads each of `names`;
// false (with the reason logged) when one is not shown.
[[nodiscard]] inline bool selectRowsNamed(TListView *list, const QStringList &names)
{
    QItemSelectionModel *selection = list->selectionModel();
    selection->clearSelection();
    const QStringList shown = column(list, 0);
    for (const QString &name : names) {
        const int row = shown.indexOf(name);
        if (row < 0) {
            qWarning("%s", qPrintable(name + " not in " + shown.join(',')));
            return false;
        }
        selection->select(list->shownModel()->index(row, 0),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    return true;
}

// Files on either side of a transfer, as a test makes and reads them.
inline QByteArray fileContents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

[[nodiscard]] inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

[[nodiscard]] inline bool setModified(const QString &path, const QDateTime &at)
{
    const time_t t = time_t(at.toSecsSinceEpoch());
    utimbuf times { t, t };
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

// A loopback port that accepts connections and never says a word; closed,
// a port where nobody listens.
class SilentListener {
public:
    SilentListener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd, reinterpret_cast<sockaddr *>(&addr), len);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    ~SilentListener() { close(); }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    int port = 0;

private:
    int fd = -1;
};

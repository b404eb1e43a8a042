#pragma once

#include "widgets/TListView.h"

#include <QStringList>
#include <QTreeWidgetItem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

#include "storage/SiteUrl.h"

#include <QStringList>
#include <QUrl>

namespace {

QString describeUrlError(const QUrl &url)
{
    const QString why = url.errorString();
    if (why.contains(QLatin1String("port"), Qt::CaseInsensitive))
        return QStringLiteral("The port is not a number from 1 to 65535.");
    if (why.contains(QLatin1String("host"), Qt::CaseInsensitive)
        || why.contains(QLatin1String("IPv6"), Qt::CaseInsensitive))
        return QStringLiteral("The host name is not valid.");
    return QStringLiteral("The address is not valid.");
}

// Splits the still encoded path, so that an encoded "/" cannot make a name
// into a path, and decodes each name on its own.
bool splitPath(const QString &encoded, SiteUrl &out)
{
    QStringList names = encoded.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const bool endsInFolder = encoded.isEmpty() || encoded.endsWith(QLatin1Char('/'));
    QString folder = QStringLiteral("/");
    for (int i = 0; i < names.size(); ++i) {
        const QString name = QUrl::fromPercentEncoding(names[i].toUtf8());
        if (name == QLatin1String("..") || name == QLatin1String(".")) {
            out.error = QStringLiteral("The path holds \"%1\"; name the folder itself.").arg(name);
            return false;
        }
        for (const QChar c : name) {
            if (c == QLatin1Char('/') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
                || c == QChar(0)) {
                out.error = QStringLiteral("The name \"%1\" holds a character that no name "
                                           "on a server can hold.")
                                .arg(name.simplified());
                return false;
            }
        }
        if (i == names.size() - 1 && !endsInFolder)
            out.name = name;
        else
            folder += name + QLatin1Char('/');
    }
    out.folder = folder;
    return true;
}

} // namespace

QString SiteUrl::hostField() const
{
    const QString shown
        = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return port == defaultPort() ? shown : shown + QLatin1Char(':') + QString::number(port);
}

SiteUrl parseSiteUrl(const QString &text)
{
    SiteUrl out;
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    out.scheme = url.scheme().toLower();
    if (!trimmed.contains(QLatin1String("://"))) {
        out.error = QStringLiteral("It is not an address of the form ftp://host/folder/.");
        return out;
    }
    if (out.scheme != QLatin1String("ftp") && out.scheme != QLatin1String("ftps")
        && out.scheme != QLatin1String("sftp")) {
        out.error = QStringLiteral("The scheme \"%1\" is not one that Vrex Explorer opens "
                                   "(ftp, ftps or sftp).")
                        .arg(url.scheme());
        return out;
    }
    if (!url.isValid()) {
        out.error = describeUrlError(url);
        return out;
    }
    out.host = url.host(QUrl::FullyDecoded);
    if (out.host.isEmpty()) {
        out.error = QStringLiteral("The address names no host.");
        return out;
    }
    out.port = url.port(out.defaultPort());
    if (out.port < 1) {
        out.error = QStringLiteral("The port is not a number from 1 to 65535.");
        return out;
    }
    out.user = url.userName(QUrl::FullyDecoded);
    out.password = url.password(QUrl::FullyDecoded);
    if (out.user.isEmpty() && !out.password.isEmpty()) {
        out.error = QStringLiteral("The address gives a password but no user name.");
        return out;
    }
    splitPath(url.path(QUrl::FullyEncoded), out);
    return out;
}

bool splitHostField(const QString &field, QString &host, int &port, int defaultPort)
{
    const QUrl url(QStringLiteral("ftp://") + field.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty())
        return false;
    host = url.host(QUrl::FullyDecoded);
    port = url.port(defaultPort);
    return true;
}

#include "storage/SettingsStoreFile.h"

#include "storage/PrivateFile.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <utility>

namespace {

const QByteArray kMagic("VrexReg\n", 8);
constexpr quint32 kFormatVersion = 1;
constexpr int kDigestSize = 32;
// Four short settings need a few hundred bytes; anything this big is not ours.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

QByteArray digestOf(const QByteArray &body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256);
}

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

} // namespace

SettingsStoreFile::SettingsStoreFile(const QString &path) : filePath(path) { }

QString SettingsStoreFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
        + QStringLiteral("/settings.dat");
}

QString SettingsStoreFile::takeLoadWarning()
{
    ensureLoaded();
    return std::exchange(warning, QString());
}

QString SettingsStoreFile::normalized(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

SettingsStoreFile::Stamp SettingsStoreFile::stampOf(const QString &path)
{
    Stamp stamp;
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = quint64(st.st_size);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

void SettingsStoreFile::ensureLoaded()
{
    const Stamp now = stampOf(filePath);
    if (loaded && now == seen)
        return;
    const bool firstLoad = !loaded;
    loaded = true;
    seen = now;
    // No file: the first run. A file removed while running keeps what we have.
    if (!now.exists)
        return;
    Keys read;
    QString why;
    if (readFile(read, why))
        keys = read;
    else if (firstLoad)
        warning = QStringLiteral("The settings file %1 %2. Default settings are used.")
                      .arg(filePath, why);
}

bool SettingsStoreFile::readFile(Keys &read, QString &why) const
{
    QFile file(filePath);
    if (file.size() > kMaxFileSize) {
        why = QStringLiteral("is damaged");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return false;
    }
    if (!parse(file.readAll(), read)) {
        why = QStringLiteral("is damaged");
        return false;
    }
    return true;
}

bool SettingsStoreFile::parse(const QByteArray &bytes, Keys &out)
{
    if (bytes.size() < kMagic.size() + kDigestSize)
        return false;
    const QByteArray body = bytes.left(bytes.size() - kDigestSize);
    if (!body.startsWith(kMagic) || digestOf(body) != bytes.right(kDigestSize))
        return false;
    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_0);
    in.skipRawData(kMagic.size());
    quint32 version = 0, keyCount = 0;
    in >> version >> keyCount;
    if (version != kFormatVersion)
        return false;
    for (quint32 k = 0; k < keyCount && in.status() == QDataStream::Ok; ++k) {
        QByteArray path;
        quint32 valueCount = 0;
        in >> path >> valueCount;
        Key key { QString::fromUtf8(path), {} };
        for (quint32 v = 0; v < valueCount && in.status() == QDataStream::Ok; ++v) {
            QByteArray name;
            Value value;
            in >> name >> value.type >> value.data;
            value.name = QString::fromUtf8(name);
            key.values.insert(folded(value.name), value);
        }
        out.insert(folded(key.path), key);
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}

QByteArray SettingsStoreFile::serialize(const Keys &keys)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out.writeRawData(kMagic.constData(), int(kMagic.size()));
    out << kFormatVersion << quint32(keys.size());
    for (const Key &key : keys) {
        out << key.path.toUtf8() << quint32(key.values.size());
        for (const Value &value : key.values)
            out << value.name.toUtf8() << value.type << value.data;
    }
    return body + digestOf(body);
}

int32_t SettingsStoreFile::commit(const Keys &next)
{
    QFileDevice::FileError error = QFileDevice::NoError;
    if (!PrivateFile::write(filePath, serialize(next), nullptr, &error)) {
        if (!keepUnwritten)
            return error == QFileDevice::PermissionsError ? RegResult::AccessDenied
                                                          : RegResult::CantWrite;
        keys = next;
        return RegResult::Success;
    }
    keys = next;
    seen = stampOf(filePath);
    return RegResult::Success;
}

int32_t SettingsStoreFile::openKey(const QString &path, bool create)
{
    ensureLoaded();
    const QString wanted = normalized(path);
    if (wanted.isEmpty() || keys.contains(folded(wanted)))
        return RegResult::Success;
    if (!create)
        return RegResult::FileNotFound;
    // Like the registry, creating a key creates the keys above it.
    Keys next = keys;
    QString prefix;
    for (const QString &part : wanted.split(QLatin1Char('\\'))) {
        prefix = prefix.isEmpty() ? part : prefix + QLatin1Char('\\') + part;
        if (!next.contains(folded(prefix)))
            next.insert(folded(prefix), Key { prefix, {} });
    }
    return commit(next);
}

int32_t SettingsStoreFile::queryValue(
    const QString &keyPath, const QString &name, uint32_t &type, QByteArray &data)
{
    ensureLoaded();
    const auto key = keys.constFind(folded(normalized(keyPath)));
    if (key == keys.cend())
        return RegResult::FileNotFound;
    const auto value = key->values.constFind(folded(name));
    if (value == key->values.cend())
        return RegResult::FileNotFound;
    type = value->type;
    data = value->data;
    return RegResult::Success;
}

int32_t SettingsStoreFile::setValue(
    const QString &keyPath, const QString &name, uint32_t type, const QByteArray &data)
{
    ensureLoaded();
    const QString path = normalized(keyPath);
    if (!path.isEmpty() && !keys.contains(folded(path)))
        return RegResult::FileNotFound;
    Keys next = keys;
    Key &key = next[folded(path)];
    key.path = path;
    key.values.insert(folded(name), Value { name, type, data });
    return commit(next);
}

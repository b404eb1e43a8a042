#pragma once

#include "storage/RegistryRoot.h"

#include <QMap>

// The current user's settings: registry keys with typed values, kept in one
// file and rewritten whole (atomically) on every change. A change is taken
// into memory only once it is on disk, so a failed write changes nothing.
// The file is read again whenever another process has replaced it, so two
// running instances do not undo each other's settings.
//
// File layout (QDataStream, version Qt 6.0, big-endian):
//   8 bytes "VrexReg\n", quint32 format version (1), quint32 key count,
//   per key: QByteArray path (UTF-8), quint32 value count,
//     per value: QByteArray name (UTF-8), quint32 type, QByteArray data;
//   then the SHA-256 of everything before it (32 raw bytes).
class SettingsStoreFile : public RegistryRoot {
public:
    explicit SettingsStoreFile(const QString &path);

    // <per-user config folder of the application>/settings.dat
    static QString defaultPath();
    QString path() const { return filePath; }

    // Why the file could not be used at load (then the store starts empty);
    // handed out once.
    QString takeLoadWarning();

    // Once a failed write has been reported, the program runs on: later
    // changes that cannot be written are still kept in memory for this run
    // (each is tried on disk again) instead of failing.
    void keepUnwrittenChanges() { keepUnwritten = true; }

    int32_t openKey(const QString &path, bool create) override;
    int32_t queryValue(
        const QString &keyPath, const QString &name, uint32_t &type, QByteArray &data) override;
    int32_t setValue(const QString &keyPath, const QString &name, uint32_t type,
        const QByteArray &data) override;

private:
    struct Value {
        QString name;
        uint32_t type = REG_NONE;
        QByteArray data;
    };
    struct Key {
        QString path;
        QMap<QString, Value> values; // by case-folded name
    };
    using Keys = QMap<QString, Key>; // by case-folded path

    // Identifies one version of the file: every save makes a new inode.
    struct Stamp {
        bool exists = false;
        quint64 device = 0, inode = 0, size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp &o) const
        {
            return exists == o.exists && device == o.device && inode == o.inode && size == o.size
                && modifiedNs == o.modifiedNs;
        }
    };

    static QString normalized(const QString &path);
    static Stamp stampOf(const QString &path);
    void ensureLoaded();
    bool readFile(Keys &read, QString &why) const;
    int32_t commit(const Keys &next);
    static QByteArray serialize(const Keys &keys);
    static bool parse(const QByteArray &bytes, Keys &keys);

    QString filePath;
    bool loaded = false;
    Stamp seen;
    Keys keys;
    QString warning;
    bool keepUnwritten = false;
};
